#pragma once
// The two platform services the time query needs besides sockets: the local-to-UTC bias and
// setting the local clock.
#include "framework/DateUtils.h"

namespace ntp {

// Days to add to a local date-time to get UTC, read from the platform's time-zone information
// on every call: (Bias + DaylightBias) / 1440 while daylight saving time is in force,
// (Bias + StandardBias) / 1440 otherwise. When the platform cannot tell, the bias is 0 (UTC).
double TimeZoneBiasDays();

// Sets the computer's local clock to a date-time, rounded to the nearest millisecond. False when
// the platform refuses (no right to change the time).
bool SetLocalTime(framework::TDateTime value);

}  // namespace ntp
