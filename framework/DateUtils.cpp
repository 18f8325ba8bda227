#include "framework/DateUtils.h"

#include <cmath>
#include <cstdint>

namespace framework {

namespace {

// Howard Hinnant's days-from-civil, shifted so that day 0 is 1899-12-30.
constexpr int64_t kUnixToDateTimeDays = 25569;  // 1970-01-01 is day 25569

int64_t DaysFromCivilUnix(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDaysUnix(int64_t z, int& year, unsigned& month, unsigned& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(y + (month <= 2));
}

}  // namespace

int DaysFromCivil(int year, int month, int day) {
  return static_cast<int>(
      DaysFromCivilUnix(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
      kUnixToDateTimeDays);
}

TDateTime SystemTimeToDateTime(const platform::SYSTEMTIME& time) {
  const double days = DaysFromCivil(time.wYear, time.wMonth, time.wDay);
  const double ms =
      ((time.wHour * 60.0 + time.wMinute) * 60.0 + time.wSecond) * 1000.0 + time.wMilliseconds;
  return days + ms / kMillisecondsPerDay;
}

platform::SYSTEMTIME DateTimeToSystemTime(TDateTime value) {
  // Outside years 1 to 9999 (and for NaN) the fields would not hold the date; all zero is no
  // date at all, which the platform refuses to set and the formats show as nothing.
  if (!(value >= kMinDateTime && value < kMaxDateTime)) return platform::SYSTEMTIME{};
  // Whole milliseconds since the epoch, nearest; floor keeps times before 1899-12-30 right.
  const auto total = static_cast<int64_t>(std::llround(value * kMillisecondsPerDay));
  int64_t days = total / 86400000;
  int64_t ms = total % 86400000;
  if (ms < 0) {
    ms += 86400000;
    --days;
  }
  int year = 0;
  unsigned month = 0, day = 0;
  CivilFromDaysUnix(days - kUnixToDateTimeDays, year, month, day);
  platform::SYSTEMTIME s;
  s.wYear = static_cast<uint16_t>(year);
  s.wMonth = static_cast<uint16_t>(month);
  s.wDay = static_cast<uint16_t>(day);
  // 1899-12-30 was a Saturday (6).
  s.wDayOfWeek = static_cast<uint16_t>((((days + 6) % 7) + 7) % 7);
  s.wHour = static_cast<uint16_t>(ms / 3600000);
  s.wMinute = static_cast<uint16_t>(ms / 60000 % 60);
  s.wSecond = static_cast<uint16_t>(ms / 1000 % 60);
  s.wMilliseconds = static_cast<uint16_t>(ms % 1000);
  return s;
}

TDateTime Now() {
  platform::SYSTEMTIME now;
  platform::GetLocalTime(&now);
  return SystemTimeToDateTime(now);
}

}  // namespace framework
