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

class PosixClock final : public ClockApi {
 public:
  void GetLocalTime(SYSTEMTIME* time) override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm t{};
    localtime_r(&now.tv_sec, &t);
    *time = FromTm(t, now.tv_nsec);
  }

  void GetSystemTime(SYSTEMTIME* time) override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm t{};
    gmtime_r(&now.tv_sec, &t);
    *time = FromTm(t, now.tv_nsec);
  }

  // The zone's offset in force now. Linux keeps no separate standard and daylight biases, so
  // the whole offset is in Bias and the answer says whether daylight saving time is in force.
  uint32_t GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) override {
    const time_t now = ::time(nullptr);
    std::tm t{};
    if (!localtime_r(&now, &t)) {
      SetLastError(static_cast<uint32_t>(errno));
      return TIME_ZONE_ID_INVALID;
    }
    *info = TIME_ZONE_INFORMATION{};
    info->Bias = static_cast<int32_t>(-t.tm_gmtoff / 60);  // minutes, UTC = local + bias
    if (t.tm_isdst > 0) return TIME_ZONE_ID_DAYLIGHT;
    return t.tm_isdst == 0 ? TIME_ZONE_ID_STANDARD : TIME_ZONE_ID_UNKNOWN;
  }

  bool SetLocalTime(const SYSTEMTIME* time) override {
    std::tm t{};
    t.tm_year = time->wYear - 1900;
    t.tm_mon = time->wMonth - 1;
    t.tm_mday = time->wDay;
    t.tm_hour = time->wHour;
    t.tm_min = time->wMinute;
    t.tm_sec = time->wSecond;
    t.tm_isdst = -1;
    const time_t seconds = mktime(&t);
    if (seconds == static_cast<time_t>(-1)) {
      SetLastError(EINVAL);
      return false;
    }
    const timespec value{seconds, static_cast<long>(time->wMilliseconds) * 1000000L};
    if (clock_settime(CLOCK_REALTIME, &value) != 0) {
      SetLastError(static_cast<uint32_t>(errno));
      return false;
    }
    return true;
  }
};

}  // namespace

ClockApi& ClockApi::Real() {
  static PosixClock clock;
  return clock;
}

}  // namespace platform
