#include "framework/DisplayFormats.h"

#include <gtest/gtest.h>

#include <cmath>

using framework::FormatExponent;
using framework::FormatFixed;
using framework::FormatTimeOfDay;

TEST(FormatTimeOfDay, DropsWholeDaysAndShowsMilliseconds) {
  EXPECT_EQ(FormatTimeOfDay(0.5 + 1.5 / 86400.0), "12:00:01 500");
  EXPECT_EQ(FormatTimeOfDay(25.0 / 24.0), "1:00:00 000");
  EXPECT_EQ(FormatTimeOfDay(30.0 / 24.0), "6:00:00 000");
  EXPECT_EQ(FormatTimeOfDay(0.0), "0:00:00 000");
}

TEST(FormatTimeOfDay, NegativeDurationsCarryASignUnlessTheyRoundToZero) {
  EXPECT_EQ(FormatTimeOfDay(-61.25 / 86400.0), "-0:01:01 250");
  EXPECT_EQ(FormatTimeOfDay(-0.0001 / 86400.0), "0:00:00 000");
}

TEST(FormatFixed, ExactDecimalsWithoutThousandsSeparators) {
  EXPECT_EQ(FormatFixed(-2.5, 5), "-2.50000");
  EXPECT_EQ(FormatFixed(1234567.891, 3), "1234567.891");
  EXPECT_EQ(FormatFixed(0.0004, 3), "0.000");
  EXPECT_EQ(FormatFixed(-0.0004, 3), "0.000");
}

TEST(FormatExponent, FiveSignificantDigitsAndABareExponent) {
  EXPECT_EQ(FormatExponent(std::ldexp(1.0, -20)), "9.5367E-7");
  EXPECT_EQ(FormatExponent(1.0), "1.0000E+0");
  EXPECT_EQ(FormatExponent(1536.0), "1.5360E+3");
  EXPECT_EQ(FormatExponent(0.0), "0.0000E+0");
}
