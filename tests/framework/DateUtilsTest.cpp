#include "framework/DateUtils.h"

#include <gtest/gtest.h>

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
