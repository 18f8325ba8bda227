#include "framework/DateUtils.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "support/FakeClock.h"

using framework::DateTimeToSystemTime;
using framework::DaysFromCivil;
using framework::SystemTimeToDateTime;

TEST(DateUtils, EpochsLandOnTheirDays) {
  EXPECT_EQ(DaysFromCivil(1899, 12, 30), 0);
  EXPECT_EQ(DaysFromCivil(1900, 1, 1), 2);
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 25569);
  EXPECT_EQ(DaysFromCivil(2036, 2, 7), 49712);
}

TEST(DateUtils, FieldsRoundTripAndRoundToTheNearestMillisecond) {
  platform::SYSTEMTIME s{2025, 1, 0, 1, 13, 45, 30, 123};
  const double value = SystemTimeToDateTime(s);
  const platform::SYSTEMTIME back = DateTimeToSystemTime(value);
  EXPECT_EQ(back.wYear, 2025);
  EXPECT_EQ(back.wMonth, 1);
  EXPECT_EQ(back.wDay, 1);
  EXPECT_EQ(back.wDayOfWeek, 3);  // a Wednesday
  EXPECT_EQ(back.wHour, 13);
  EXPECT_EQ(back.wMinute, 45);
  EXPECT_EQ(back.wSecond, 30);
  EXPECT_EQ(back.wMilliseconds, 123);

  // 0.4 ms before midnight rounds up into the next day.
  const platform::SYSTEMTIME next = DateTimeToSystemTime(3.0 - 0.0004 / 86400.0);
  EXPECT_EQ(next.wDay, 2);
  EXPECT_EQ(next.wHour, 0);
  EXPECT_EQ(next.wMilliseconds, 0);
}

TEST(DateUtils, CalendarRulesForLeapYearsAndDaysOfTheWeek) {
  EXPECT_EQ(DaysFromCivil(2024, 3, 1) - DaysFromCivil(2024, 2, 28), 2);  // 29 February
  EXPECT_EQ(DaysFromCivil(2026, 3, 1) - DaysFromCivil(2026, 2, 28), 1);
  EXPECT_EQ(DaysFromCivil(1900, 3, 1) - DaysFromCivil(1900, 2, 28), 1);  // not a leap year
  EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);  // but 2000 is
  const platform::SYSTEMTIME leap = DateTimeToSystemTime(DaysFromCivil(2024, 2, 28) + 1.75);
  EXPECT_EQ(leap.wMonth, 2);
  EXPECT_EQ(leap.wDay, 29);
  EXPECT_EQ(leap.wHour, 18);
  EXPECT_EQ(leap.wDayOfWeek, 4);                                              // a Thursday
  EXPECT_EQ(DateTimeToSystemTime(DaysFromCivil(2026, 11, 1)).wDayOfWeek, 0);  // a Sunday
  EXPECT_EQ(DateTimeToSystemTime(0.0).wDayOfWeek, 6);                         // a Saturday
}

TEST(DateUtils, TimesBeforeTheEpochCountBackToTheDayBefore) {
  // -1.25 is 1899-12-28 18:00: the day is the floor, the time of day runs forward from it.
  const platform::SYSTEMTIME s = DateTimeToSystemTime(-1.25);
  EXPECT_EQ(s.wYear, 1899);
  EXPECT_EQ(s.wMonth, 12);
  EXPECT_EQ(s.wDay, 28);
  EXPECT_EQ(s.wHour, 18);
  EXPECT_EQ(s.wDayOfWeek, 4);  // a Thursday
  // Back again: day -2 plus three quarters of a day.
  EXPECT_DOUBLE_EQ(SystemTimeToDateTime(s), -1.25);
}

TEST(DateUtils, ValuesOutsideTheCalendarGiveNoFields) {
  const platform::SYSTEMTIME none{};
  auto is_none = [&](const platform::SYSTEMTIME& s) {
    return s.wYear == none.wYear && s.wMonth == none.wMonth && s.wDay == none.wDay &&
           s.wHour == none.wHour && s.wMilliseconds == none.wMilliseconds;
  };
  EXPECT_TRUE(is_none(DateTimeToSystemTime(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_TRUE(is_none(DateTimeToSystemTime(std::numeric_limits<double>::infinity())));
  EXPECT_TRUE(is_none(DateTimeToSystemTime(-std::numeric_limits<double>::infinity())));
  EXPECT_TRUE(is_none(DateTimeToSystemTime(1e300)));
  // The first and last days that fields can hold, and just beyond them.
  const platform::SYSTEMTIME first = DateTimeToSystemTime(DaysFromCivil(1, 1, 1));
  EXPECT_EQ(first.wYear, 1);
  EXPECT_EQ(first.wDay, 1);
  EXPECT_TRUE(is_none(DateTimeToSystemTime(DaysFromCivil(1, 1, 1) - 1e-6)));
  const platform::SYSTEMTIME last = DateTimeToSystemTime(DaysFromCivil(9999, 12, 31) + 0.5);
  EXPECT_EQ(last.wYear, 9999);
  EXPECT_EQ(last.wMonth, 12);
  EXPECT_EQ(last.wHour, 12);
  EXPECT_TRUE(is_none(DateTimeToSystemTime(DaysFromCivil(10000, 1, 1))));
}

TEST(DateUtils, NowIsThePlatformsLocalClockToTheMillisecond) {
  testing_support::FakeClock clock;
  clock.SetZone(-300, false);  // the zone plays no part in the local reading
  clock.local = DaysFromCivil(2026, 11, 1) + (1 * 3600 + 30 * 60 + 10.25) / 86400.0;
  EXPECT_NEAR(framework::Now(), clock.local, 1e-3 / 86400.0 / 100);
  EXPECT_EQ(clock.calls, std::vector<std::string>{"local"});
}
