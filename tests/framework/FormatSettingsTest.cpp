#include "framework/FormatSettings.h"

#include <gtest/gtest.h>

#include <limits>

using framework::ScopedUserLocale;
using framework::TryStrToInt64;
using framework::TryTextToFloat;

namespace {

struct IntRow {
  const char* name;
  const char* text;
  bool converts;
  int64_t value;
};

class Int64Conversion : public ::testing::TestWithParam<IntRow> {};

TEST_P(Int64Conversion, ReadsWholeNumbersStrictly) {
  const IntRow& row = GetParam();
  int64_t value = 12345;
  EXPECT_EQ(TryStrToInt64(row.text, value), row.converts) << row.text;
  if (row.converts) {
    EXPECT_EQ(value, row.value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Int64Conversion,
    ::testing::Values(
        IntRow{"Plain", "42", true, 42}, IntRow{"LeadingZeros", "007", true, 7},
        IntRow{"PlusSign", "+12", true, 12}, IntRow{"LeadingBlanks", "  -5", true, -5},
        IntRow{"TrailingBlank", "5 ", false, 0}, IntRow{"Empty", "", false, 0},
        IntRow{"LoneSign", "-", false, 0}, IntRow{"Decimal", "4.5", false, 0},
        IntRow{"Largest", "9223372036854775807", true, std::numeric_limits<int64_t>::max()},
        IntRow{"Smallest", "-9223372036854775808", true, std::numeric_limits<int64_t>::min()},
        IntRow{"Overflow", "9223372036854775808", false, 0}, IntRow{"Hex", "$00FF", true, 255},
        IntRow{"HexLower", "$ff", true, 255}, IntRow{"HexAllBits", "$FFFFFFFFFFFFFFFF", true, -1},
        IntRow{"HexTooLong", "$1FFFFFFFFFFFFFFFF", false, 0},
        IntRow{"HexWithoutDigits", "$", false, 0}, IntRow{"HexLetterInDecimal", "1F", false, 0}),
    [](const ::testing::TestParamInfo<IntRow>& info) { return info.param.name; });

TEST(TextToFloat, UsesTheDecimalSeparatorInForce) {
  ScopedUserLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
  double value = 0;
  EXPECT_TRUE(TryTextToFloat("2.5", value));
  EXPECT_EQ(value, 2.5);
  EXPECT_TRUE(TryTextToFloat(" -1e3 ", value));
  EXPECT_EQ(value, -1000.0);
  EXPECT_FALSE(TryTextToFloat("1,5", value));
  {
    ScopedUserLocale german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(framework::DecimalSeparator(), ',');
    EXPECT_EQ(framework::ThousandSeparator(), '.');
    EXPECT_TRUE(TryTextToFloat("1,5", value));
    EXPECT_EQ(value, 1.5);
    EXPECT_FALSE(TryTextToFloat("1.5", value));
  }
  EXPECT_EQ(framework::DecimalSeparator(), '.');
}

TEST(TextToFloat, RefusesWordsAndEndlessValues) {
  ScopedUserLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
  double value = 7;
  for (const char* text : {"", "inf", "nan", "1e999", "-", "1.2.3", "0x10"})
    EXPECT_FALSE(TryTextToFloat(text, value)) << text;
  EXPECT_EQ(value, 7.0);
}

TEST(LocaleSeparators, OffGivesPointAndCommaUntilTurnedOnAgain) {
  ScopedUserLocale german(QLocale(QLocale::German, QLocale::Germany));
  framework::SetUseLocaleSeparators(false);
  EXPECT_EQ(framework::DecimalSeparator(), '.');
  EXPECT_EQ(framework::ThousandSeparator(), ',');
  framework::SetUseLocaleSeparators(true);
  EXPECT_EQ(framework::DecimalSeparator(), ',');
}

}  // namespace
