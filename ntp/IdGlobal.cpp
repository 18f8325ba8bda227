#include "ntp/IdGlobal.h"

#include "platform/WinTime.h"

namespace ntp {

double TimeZoneBiasDays() {
  platform::TIME_ZONE_INFORMATION zone;
  const uint32_t state = platform::GetTimeZoneInformation(&zone);
  // Minutes to days in floating point: a bias of 330 (UTC-5:30) is not a whole number of hours.
  return platform::BiasInForceMinutes(zone, state) / 1440.0;
}

bool SetLocalTime(framework::TDateTime value) {
  const platform::SYSTEMTIME fields = framework::DateTimeToSystemTime(value);
  return platform::SetLocalTime(&fields);
}

}  // namespace ntp
