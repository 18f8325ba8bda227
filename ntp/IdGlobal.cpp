#include "ntp/IdGlobal.h"

#include "platform/WinTime.h"

namespace ntp {

double TimeZoneBiasDays() {
  platform::TIME_ZONE_INFORMATION zone;
  const uint32_t state = platform::GetTimeZoneInformation(&zone);
  if (state == platform::TIME_ZONE_ID_INVALID) return 0.0;
  const int minutes = state == platform::TIME_ZONE_ID_DAYLIGHT ? zone.Bias + zone.DaylightBias
                                                               : zone.Bias + zone.StandardBias;
  return minutes / 1440.0;
}

bool SetLocalTime(framework::TDateTime value) {
  const platform::SYSTEMTIME fields = framework::DateTimeToSystemTime(value);
  return platform::SetLocalTime(&fields);
}

}  // namespace ntp
