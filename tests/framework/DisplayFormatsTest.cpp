#include "framework/DisplayFormats.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <cmath>

using framework::DaysFromCivil;
using framework::FormatExponent;
using framework::FormatFixed;
using framework::FormatLongTime;
using framework::FormatShortDate;
using framework::FormatTimeOfDay;

namespace {

constexpr double kMs = 1.0 / 86400000.0;  // one millisecond in days

// A number written with a point, as the user's locale writes it.
QString Local(const char* text) {
  QString result = QString::fromLatin1(text);
  result.replace('.', QLocale::system().decimalPoint());
  return result;
}

}  // namespace

TEST(FormatTimeOfDay, DropsWholeDaysAndShowsMilliseconds) {
  EXPECT_EQ(FormatTimeOfDay(0.5 + 1.5 / 86400.0), "12:00:01 500");
  EXPECT_EQ(FormatTimeOfDay(25.0 / 24.0), "1:00:00 000");
  EXPECT_EQ(FormatTimeOfDay(30.0 / 24.0), "6:00:00 000");
  EXPECT_EQ(FormatTimeOfDay(0.0), "0:00:00 000");
  // A UTC field counted from 1900: only the time of day shows, whatever the whole days.
  EXPECT_EQ(FormatTimeOfDay(45000.0 + (23 * 3600 + 59 * 60 + 59.999) / 86400.0), "23:59:59 999");
}

TEST(FormatTimeOfDay, RoundsToTheNearestMillisecond) {
  EXPECT_EQ(FormatTimeOfDay((10.0 + 0.1236) / 86400.0), "0:00:10 124");
  EXPECT_EQ(FormatTimeOfDay((10.0 + 0.1234) / 86400.0), "0:00:10 123");
  EXPECT_EQ(FormatTimeOfDay(59.9996 / 86400.0), "0:01:00 000");
}

TEST(FormatTimeOfDay, NegativeDurationsCarryASignUnlessTheyRoundToZero) {
  EXPECT_EQ(FormatTimeOfDay(-61.25 / 86400.0), "-0:01:01 250");
  EXPECT_EQ(FormatTimeOfDay(-1.25), "-6:00:00 000");  // the whole day goes, the sign stays
  EXPECT_EQ(FormatTimeOfDay(-0.0001 / 86400.0), "0:00:00 000");
}

TEST(FormatFixed, ExactDecimalsWithoutThousandsSeparators) {
  EXPECT_EQ(FormatFixed(-2.5, 5), Local("-2.50000"));
  EXPECT_EQ(FormatFixed(1234567.891, 3), Local("1234567.891"));
  EXPECT_EQ(FormatFixed(0.0004, 3), Local("0.000"));
  EXPECT_EQ(FormatFixed(-0.0004, 3), Local("0.000"));
  EXPECT_EQ(FormatFixed(-0.0006, 3), Local("-0.001"));
  EXPECT_EQ(FormatFixed(64.0, 5), Local("64.00000"));
}

TEST(FormatExponent, FiveSignificantDigitsAndABareExponent) {
  EXPECT_EQ(FormatExponent(std::ldexp(1.0, -20)), Local("9.5367E-7"));
  EXPECT_EQ(FormatExponent(1.0), Local("1.0000E+0"));
  EXPECT_EQ(FormatExponent(1536.0), Local("1.5360E+3"));
  EXPECT_EQ(FormatExponent(0.0), Local("0.0000E+0"));
  EXPECT_EQ(FormatExponent(-std::ldexp(1.0, 17)), Local("-1.3107E+5"));
  EXPECT_EQ(FormatExponent(std::ldexp(1.0, -128)), Local("2.9387E-39"));
}

TEST(FormatDates, TheShortDateIsTheLocalesOfTheRoundedDay) {
  // 0.4 ms before midnight shows the next day, as the time would.
  const double late = DaysFromCivil(2026, 10, 31) + 1.0 - 0.4 * kMs;
  EXPECT_EQ(FormatShortDate(late),
            QLocale::system().toString(QDate(2026, 11, 1), QLocale::ShortFormat));
  EXPECT_EQ(FormatShortDate(DaysFromCivil(2024, 2, 29) + 0.99),
            QLocale::system().toString(QDate(2024, 2, 29), QLocale::ShortFormat));
}

TEST(FormatDates, TheLongTimeShowsSecondsOfTheRoundedTimeAndNoZone) {
  const double day = DaysFromCivil(2026, 7, 1);
  const double two_pm = day + 14.0 / 24;
  EXPECT_EQ(FormatLongTime(two_pm - 0.4 * kMs), FormatLongTime(two_pm));
  EXPECT_NE(FormatLongTime(two_pm - 0.6 * kMs), FormatLongTime(two_pm));
  EXPECT_NE(FormatLongTime(two_pm + 1000 * kMs), FormatLongTime(two_pm));
  EXPECT_NE(FormatLongTime(two_pm), FormatLongTime(day + 2.0 / 24));  // 14:00 is not 02:00
  // A local date-time carries no zone: nothing but the locale's day-half names is in words.
  QString text = FormatLongTime(two_pm);
  text.remove(QLocale::system().amText()).remove(QLocale::system().pmText());
  for (const QChar c : text) EXPECT_FALSE(c.isLetter()) << FormatLongTime(two_pm).toStdString();
}
