#include <cerrno>
#include <ctime>

#include "platform/LastError.h"
#include "platform/WinTime.h"

namespace platform {

namespace {

SYSTEMTIME FromTm(const std::tm& t, long nanoseconds) {
  SYSTEMTIME s;
  s.wYear = static_cast<uint16_t>(t.tm_year + 1900);
  s.wMonth = static_cast<uint16_t>(t.tm_mon + 1);
  s.wDayOfWeek = static_cast<uint16_t>(t.tm_wday);
  s.wDay = static_cast<uint16_t>(t.tm_mday);
  s.wHour = static_cast<uint16_t>(t.tm_hour);
  s.wMinute = static_cast<uint16_t>(t.tm_min);
  s.wSecond = static_cast<uint16_t>(t.tm_sec);
  s.wMilliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
  return s;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::timespec KernelNow() {
  return Current<KernelClockApi>().Now();
}

class PosixKernelClock final : public KernelClockApi {
 public:
  std::timespec Now() override {
    std::timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
  }
  int Set(const std::timespec& utc) override {
    return clock_settime(CLOCK_REALTIME, &utc) == 0 ? 0 : errno;
  }
};

class PosixClock final : public ClockApi {
 public:
  void GetLocalTime(SYSTEMTIME* time) override {
    const std::timespec now = KernelNow();
    std::tm t{};
    tzset();  // the zone may have changed since the last reading
    localtime_r(&now.tv_sec, &t);
    *time = FromTm(t, now.tv_nsec);
  }

  void GetSystemTime(SYSTEMTIME* time) override {
    const std::timespec now = KernelNow();
    std::tm t{};
    gmtime_r(&now.tv_sec, &t);
    *time = FromTm(t, now.tv_nsec);
  }

  // The zone's offset in force now. Linux keeps no separate standard and daylight biases, so
  // the whole offset is in Bias and the answer says whether daylight saving time is in force.
  uint32_t GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) override {
    const time_t now = KernelNow().tv_sec;
    std::tm t{};
    tzset();
    if (!localtime_r(&now, &t)) {
      SetLastError(static_cast<uint32_t>(errno));
      return TIME_ZONE_ID_INVALID;
    }
    *info = TIME_ZONE_INFORMATION{};
    info->Bias = static_cast<int32_t>(-t.tm_gmtoff / 60);  // minutes, UTC = local + bias
    if (t.tm_isdst > 0) return TIME_ZONE_ID_DAYLIGHT;
    return t.tm_isdst == 0 ? TIME_ZONE_ID_STANDARD : TIME_ZONE_ID_UNKNOWN;
  }

  // As the Windows call does, the fields are turned into UTC with the bias in force now, the
  // one the caller's own conversions used. Asking the zone rules for the fields' own offset
  // would pick standard time in the hour repeated when daylight saving time ends, and set the
  // clock an hour off during the first pass through that hour.
  bool SetLocalTime(const SYSTEMTIME* time) override {
    TIME_ZONE_INFORMATION zone;
    const uint32_t state = GetTimeZoneInformation(&zone);
    std::timespec utc{};
    if (!LocalTimeToUtc(*time, BiasInForceMinutes(zone, state), utc)) {
      SetLastError(EINVAL);
      return false;
    }
    const int error = Current<KernelClockApi>().Set(utc);
    if (error != 0) {
      SetLastError(static_cast<uint32_t>(error));
      return false;
    }
    return true;
  }
};

}  // namespace

int32_t BiasInForceMinutes(const TIME_ZONE_INFORMATION& zone, uint32_t state) {
  if (state == TIME_ZONE_ID_INVALID) return 0;
  return state == TIME_ZONE_ID_DAYLIGHT ? zone.Bias + zone.DaylightBias
                                        : zone.Bias + zone.StandardBias;
}

bool LocalTimeToUtc(const SYSTEMTIME& local, int32_t bias_minutes, std::timespec& utc) {
  if (local.wMonth < 1 || local.wMonth > 12 || local.wDay < 1 ||
      local.wDay > DaysInMonth(local.wYear, local.wMonth) || local.wHour > 23 ||
      local.wMinute > 59 || local.wSecond > 59 || local.wMilliseconds > 999)
    return false;
  std::tm t{};
  t.tm_year = local.wYear - 1900;
  t.tm_mon = local.wMonth - 1;
  t.tm_mday = local.wDay;
  t.tm_hour = local.wHour;
  t.tm_min = local.wMinute;
  t.tm_sec = local.wSecond;
  // The fields read as UTC, then moved by the bias: no zone rules take part.
  const time_t as_if_utc = timegm(&t);
  utc.tv_sec = as_if_utc + static_cast<time_t>(bias_minutes) * 60;
  utc.tv_nsec = static_cast<long>(local.wMilliseconds) * 1000000L;
  return true;
}

ClockApi& ClockApi::Real() {
  static PosixClock clock;
  return clock;
}

KernelClockApi& KernelClockApi::Real() {
  static PosixKernelClock clock;
  return clock;
}

}  // namespace platform
