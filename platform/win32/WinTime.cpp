// The clock area over the Windows calls themselves. Our structures keep only the fields the
// program reads, so each one is copied field by field.
#include "platform/WinTime.h"

#include "platform/win32/WindowsHeaders.h"

namespace platform {

namespace {

SYSTEMTIME FromWindows(const ::SYSTEMTIME& w) {
  SYSTEMTIME s;
  s.wYear = w.wYear;
  s.wMonth = w.wMonth;
  s.wDayOfWeek = w.wDayOfWeek;
  s.wDay = w.wDay;
  s.wHour = w.wHour;
  s.wMinute = w.wMinute;
  s.wSecond = w.wSecond;
  s.wMilliseconds = w.wMilliseconds;
  return s;
}

::SYSTEMTIME ToWindows(const SYSTEMTIME& s) {
  ::SYSTEMTIME w{};
  w.wYear = s.wYear;
  w.wMonth = s.wMonth;
  w.wDayOfWeek = s.wDayOfWeek;
  w.wDay = s.wDay;
  w.wHour = s.wHour;
  w.wMinute = s.wMinute;
  w.wSecond = s.wSecond;
  w.wMilliseconds = s.wMilliseconds;
  return w;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (negative before it).
int64_t DaysSince1970(int year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;                                          // 0..399
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;  // 0..365
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

class Win32Clock final : public ClockApi {
 public:
  void GetLocalTime(SYSTEMTIME* time) override {
    ::SYSTEMTIME now;
    ::GetLocalTime(&now);
    *time = FromWindows(now);
  }

  void GetSystemTime(SYSTEMTIME* time) override {
    ::SYSTEMTIME now;
    ::GetSystemTime(&now);
    *time = FromWindows(now);
  }

  // Windows' biases are minutes with UTC = local + bias, as ours are.
  uint32_t GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) override {
    ::TIME_ZONE_INFORMATION zone{};
    const ::DWORD state = ::GetTimeZoneInformation(&zone);
    if (state == TIME_ZONE_ID_INVALID) return state;  // the last error says why
    *info = TIME_ZONE_INFORMATION{};
    info->Bias = zone.Bias;
    info->StandardBias = zone.StandardBias;
    info->DaylightBias = zone.DaylightBias;
    return state;
  }

  // Windows turns the fields into UTC with the bias in force now, and refuses fields that are
  // no time on a real date (ERROR_INVALID_PARAMETER) and a caller without the system-time
  // privilege enabled (ERROR_PRIVILEGE_NOT_HELD).
  bool SetLocalTime(const SYSTEMTIME* time) override {
    const ::SYSTEMTIME fields = ToWindows(*time);
    return ::SetLocalTime(&fields) != FALSE;
  }
};

}  // namespace

int32_t BiasInForceMinutes(const TIME_ZONE_INFORMATION& zone, uint32_t state) {
  if (state == TIME_ZONE_ID_INVALID) return 0;
  return state == TIME_ZONE_ID_DAYLIGHT ? zone.Bias + zone.DaylightBias
                                        : zone.Bias + zone.StandardBias;
}

bool LocalTimeToUtc(const SYSTEMTIME& local, int32_t bias_minutes, timespec& utc) {
  if (local.wMonth < 1 || local.wMonth > 12 || local.wDay < 1 ||
      local.wDay > DaysInMonth(local.wYear, local.wMonth) || local.wHour > 23 ||
      local.wMinute > 59 || local.wSecond > 59 || local.wMilliseconds > 999)
    return false;
  // The fields read as UTC, then moved by the bias: no zone rules take part.
  const int64_t seconds = DaysSince1970(local.wYear, local.wMonth, local.wDay) * 86400 +
                          local.wHour * 3600 + local.wMinute * 60 + local.wSecond;
  utc.tv_sec = static_cast<time_t>(seconds + int64_t{bias_minutes} * 60);
  utc.tv_nsec = static_cast<long>(local.wMilliseconds) * 1000000L;
  return true;
}

ClockApi& ClockApi::Real() {
  static Win32Clock clock;
  return clock;
}

}  // namespace platform
