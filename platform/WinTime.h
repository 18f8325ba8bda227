#pragma once
// The clock area: local and UTC clock readings as calendar fields, the time-zone bias and
// setting the local clock, shaped as the Windows calls they stand for.
#include <time.h>  // timespec: the C++ library for Windows has no std::timespec

#include <cstdint>
#include <ctime>

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

// Minutes to add to local time to get UTC, from what GetTimeZoneInformation gave: Bias +
// DaylightBias while daylight saving time is in force, Bias + StandardBias in every other
// case, and 0 (UTC) when the platform could not tell.
int32_t BiasInForceMinutes(const TIME_ZONE_INFORMATION& zone, uint32_t state);

// The UTC instant that local calendar fields stand for when UTC = local + `bias_minutes`, as
// seconds and nanoseconds since 1970-01-01 00:00 UTC. False when the fields are not a time of
// day on a real date (the day of week is ignored).
bool LocalTimeToUtc(const SYSTEMTIME& local, int32_t bias_minutes, timespec& utc);

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

// The kernel's real-time clock under the Linux stand-in of ClockApi. Tests install a fake one to
// run the real stand-in (zone rules included) at any instant, and to see what it would set
// without touching the machine's clock.
class KernelClockApi {
 public:
  virtual ~KernelClockApi() = default;
  virtual timespec Now() = 0;
  // 0, or the errno of the refusal.
  virtual int Set(const timespec& utc) = 0;

  static KernelClockApi& Real();
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
