#pragma once
// The clock area: local and UTC clock readings as calendar fields, the time-zone bias and
// setting the local clock, shaped as the Windows calls they stand for.
#include <cstdint>

#include "platform/Seam.h"

namespace platform {

struct SYSTEMTIME {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;      // 1..12
  uint16_t wDayOfWeek = 0;  // 0 = Sunday
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;
};

// Biases in minutes, UTC = local + bias.
struct TIME_ZONE_INFORMATION {
  int32_t Bias = 0;
  int32_t StandardBias = 0;
  int32_t DaylightBias = 0;
};

constexpr uint32_t TIME_ZONE_ID_UNKNOWN = 0;
constexpr uint32_t TIME_ZONE_ID_STANDARD = 1;
constexpr uint32_t TIME_ZONE_ID_DAYLIGHT = 2;
constexpr uint32_t TIME_ZONE_ID_INVALID = 0xFFFFFFFF;

class ClockApi {
 public:
  virtual ~ClockApi() = default;
  virtual void GetLocalTime(SYSTEMTIME* time) = 0;
  virtual void GetSystemTime(SYSTEMTIME* time) = 0;
  virtual uint32_t GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) = 0;
  // False (with the last error set) when the clock may not be set.
  virtual bool SetLocalTime(const SYSTEMTIME* time) = 0;

  static ClockApi& Real();
};

inline void GetLocalTime(SYSTEMTIME* time) {
  Current<ClockApi>().GetLocalTime(time);
}
inline void GetSystemTime(SYSTEMTIME* time) {
  Current<ClockApi>().GetSystemTime(time);
}
inline uint32_t GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) {
  return Current<ClockApi>().GetTimeZoneInformation(info);
}
inline bool SetLocalTime(const SYSTEMTIME* time) {
  return Current<ClockApi>().SetLocalTime(time);
}

}  // namespace platform
