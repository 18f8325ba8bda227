// The query tool's display forms where it is built without Qt: the C locale's forms, the same
// on every machine and under Wine. Standard C++ only, as the forms themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "framework/DateUtils.h"
#include "tools/tempomere-query/PlainFormats.h"

using framework::DaysFromCivil;
using namespace tempomere_query;

namespace {

constexpr double kMs = 1.0 / 86400000.0;  // one millisecond in days

TEST(PlainNumbers, FixedDecimalsWithAPointAndNoSignOnZero) {
  EXPECT_EQ(PlainFixed(-2.5, 5), "-2.50000");
  EXPECT_EQ(PlainFixed(1234567.891, 3), "1234567.891");
  EXPECT_EQ(PlainFixed(0.0004, 3), "0.000");
  EXPECT_EQ(PlainFixed(-0.0004, 3), "0.000");
  EXPECT_EQ(PlainFixed(-0.0006, 3), "-0.001");
  EXPECT_EQ(PlainFixed(64.0, 5), "64.00000");
  EXPECT_EQ(PlainFixed(-1e300, 1).size(), 304u) << "the whole number, never cut short";
}

TEST(PlainNumbers, ExponentsHaveFiveSignificantDigitsAndABareExponent) {
  EXPECT_EQ(PlainExponent(std::ldexp(1.0, -20)), "9.5367E-7");
  EXPECT_EQ(PlainExponent(1.0), "1.0000E+0");
  EXPECT_EQ(PlainExponent(1536.0), "1.5360E+3");
  EXPECT_EQ(PlainExponent(0.0), "0.0000E+0");
  EXPECT_EQ(PlainExponent(-std::ldexp(1.0, 17)), "-1.3107E+5");
  EXPECT_EQ(PlainExponent(std::ldexp(1.0, -128)), "2.9387E-39");
  EXPECT_EQ(PlainExponent(1e300), "1.0000E+300");
}

TEST(PlainDates, IsoDateAndTwentyFourHourTimeOfTheRoundedValue) {
  // 0.4 ms before midnight is the next day, as the time would be.
  const double late = DaysFromCivil(2026, 10, 31) + 1.0 - 0.4 * kMs;
  EXPECT_EQ(PlainShortDate(late), "2026-11-01");
  EXPECT_EQ(PlainLongTime(late), "00:00:00");
  const double afternoon = DaysFromCivil(2024, 2, 29) + (14 * 3600 + 5 * 60 + 9.6) / 86400.0;
  EXPECT_EQ(PlainShortDate(afternoon), "2024-02-29");
  EXPECT_EQ(PlainLongTime(afternoon), "14:05:09") << "seconds are cut, not rounded";
  EXPECT_EQ(PlainShortDate(0.0), "1899-12-30");
  EXPECT_EQ(PlainLongTime(0.0), "00:00:00");
  EXPECT_EQ(PlainShortDate(DaysFromCivil(10000, 1, 1)), "") << "no calendar date holds it";
  EXPECT_EQ(PlainLongTime(std::numeric_limits<double>::quiet_NaN()), "");
}

TEST(PlainDates, TheTimeOfDayDropsWholeDaysAndShowsMilliseconds) {
  EXPECT_EQ(PlainTimeOfDay(0.5 + 1.5 / 86400.0), "12:00:01 500");
  EXPECT_EQ(PlainTimeOfDay(25.0 / 24.0), "1:00:00 000");
  EXPECT_EQ(PlainTimeOfDay(0.0), "0:00:00 000");
  EXPECT_EQ(PlainTimeOfDay(45000.0 + (23 * 3600 + 59 * 60 + 59.999) / 86400.0), "23:59:59 999");
  EXPECT_EQ(PlainTimeOfDay((10.0 + 0.1236) / 86400.0), "0:00:10 124");
  EXPECT_EQ(PlainTimeOfDay(-61.25 / 86400.0), "-0:01:01 250");
  EXPECT_EQ(PlainTimeOfDay(-0.0001 / 86400.0), "0:00:00 000");
}

}  // namespace
