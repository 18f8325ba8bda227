#include "components/Realspin.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "framework/FormatSettings.h"
#include "framework/Sound.h"
#include "support/SpinWindow.h"

using namespace components;

namespace {

// A shown, active window with the real spin, in a locale with "." and "," as separators.
class RealSpinTest : public testing_support::SpinWindowTest<TRealSpin> {
 protected:
  RealSpinTest() : SpinWindowTest(140) {}
  void Fixed(int digits) {
    spin->SetNumFormat(nfFixed);
    spin->SetDigits(digits);
  }

  framework::ScopedUserLocale english{QLocale(QLocale::English, QLocale::UnitedStates)};
};

// --- formats --------------------------------------------------------------------------------

TEST_F(RealSpinTest, StartsAtZeroInTheStandardFormat) {
  EXPECT_EQ(spin->Text(), "0");
  EXPECT_EQ(spin->Value(), 0.0);
  EXPECT_EQ(spin->Increment(), 1.0);
  EXPECT_EQ(spin->Digits(), 5);
  EXPECT_EQ(spin->NumFormat(), nfStandard);
}

struct FormatRow {
  const char* name;
  TNumberFormat format;
  int digits;
  double value;
  const char* text;
};

class RealSpinFormats : public RealSpinTest, public ::testing::WithParamInterface<FormatRow> {};

TEST_P(RealSpinFormats, ShowsTheValueInTheChosenForm) {
  const FormatRow& row = GetParam();
  spin->SetNumFormat(row.format);
  spin->SetDigits(row.digits);
  EXPECT_EQ(spin->FormatValue(row.value), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RealSpinFormats,
    ::testing::Values(
        FormatRow{"StandardDropsTrailingZeros", nfStandard, 5, 2.5, "2.5"},
        FormatRow{"StandardWhole", nfStandard, 5, -300, "-300"},
        FormatRow{"StandardFifteenDigits", nfStandard, 5, 1.0 / 3, "0.333333333333333"},
        FormatRow{"StandardSmallestPlain", nfStandard, 5, 0.00001, "0.00001"},
        FormatRow{"StandardTinyIsScientific", nfStandard, 5, 0.000001, "1E-6"},
        FormatRow{"StandardHugeIsScientific", nfStandard, 5, 1e20, "1E20"},
        FormatRow{"StandardFifteenIntegerDigits", nfStandard, 5, 123456789012345.0,
                  "123456789012345"},
        FormatRow{"StandardScientificMantissa", nfStandard, 5, -1.5e-7, "-1.5E-7"},
        FormatRow{"ScientificFourExponentDigits", nfScientific, 5, 1234.5, "1.2345E+0003"},
        FormatRow{"ScientificKeepsZeros", nfScientific, 4, -0.02, "-2.000E-0002"},
        FormatRow{"ScientificZero", nfScientific, 3, 0, "0.00E+0000"},
        FormatRow{"FixedRounds", nfFixed, 1, 2.26, "2.3"},
        FormatRow{"FixedPads", nfFixed, 3, -4, "-4.000"},
        FormatRow{"FixedNoDecimals", nfFixed, 0, 7.6, "8"},
        FormatRow{"FixedNegativeZeroHasNoSign", nfFixed, 1, -0.04, "0.0"},
        FormatRow{"FixedHugeFallsBackToScientific", nfFixed, 2, 1e19, "1.00000000000000E+0019"},
        FormatRow{"ThousandsGroups", nfThousands, 2, 1234567.891, "1,234,567.89"},
        FormatRow{"ThousandsNegative", nfThousands, 0, -1000, "-1,000"},
        FormatRow{"ThousandsShort", nfThousands, 1, 999, "999.0"}),
    [](const ::testing::TestParamInfo<FormatRow>& info) { return info.param.name; });

TEST_F(RealSpinTest, FormatsAlikeWhateverTheProcessLocaleOfTheCLibrary) {
  // A German process locale gives the C library a decimal comma; the text must not take it.
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not generated";
  const QString standard = spin->FormatValue(2.5);
  spin->SetNumFormat(nfScientific);
  const QString scientific = spin->FormatValue(1234.5);
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(standard, "2.5");
  EXPECT_EQ(scientific, "1.2345E+0003");
}

TEST_F(RealSpinTest, WrittenValueReadsBackAsTheShownNumber) {
  Fixed(1);
  spin->SetValue(2.26);
  EXPECT_EQ(spin->Text(), "2.3");
  EXPECT_EQ(spin->Value(), 2.3);
}

TEST_F(RealSpinTest, AWriteThatMustNotNotifyStillMovesTheFieldToTheShownNumber) {
  Fixed(1);
  changes = 0;
  spin->SetValue(2.26, TEmitPolicy::NeverEmit);
  EXPECT_EQ(spin->Text(), "2.3");
  EXPECT_EQ(spin->Value(), 2.3);
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(spin->BlockChangeEvent());
  spin->SetValue(-1.0, TEmitPolicy::EmitIfChanged);
  EXPECT_EQ(spin->Text(), "-1.0");
  EXPECT_EQ(changes, 1);
}

TEST_F(RealSpinTest, TenStepsOfATenthLandExactlyOnOne) {
  Fixed(1);
  spin->SetIncrement(0.1);
  for (int i = 0; i < 10; ++i) ClickUp();
  EXPECT_EQ(spin->Text(), "1.0");
  EXPECT_EQ(spin->Value(), 1.0);
  // Plain double sums of 0.1 do not land there; the shown tenths do.
  double sum = 0;
  for (int i = 0; i < 10; ++i) sum += 0.1;
  EXPECT_NE(sum, 1.0);
}

TEST_F(RealSpinTest, NegativeDigitsAreRefused) {
  Fixed(2);
  spin->SetValue(1.5);
  spin->SetDigits(-1);
  EXPECT_EQ(spin->Digits(), 2);
  EXPECT_EQ(spin->Text(), "1.50");
  spin->SetDigits(3);
  EXPECT_EQ(spin->Text(), "1.500");
}

TEST_F(RealSpinTest, ChangingTheFormatAloneLeavesTheText) {
  spin->SetValue(2.5);
  spin->SetNumFormat(nfScientific);
  EXPECT_EQ(spin->Text(), "2.5");
  TypeAndLeave("2.5");
  EXPECT_EQ(spin->Text(), "2.5000E+0000");
}

// --- reading the text -----------------------------------------------------------------------

// Separators typed with the keys of a real keyboard: each key carries its character as X sends
// it. A point is the decimal separator wherever the locale writes a decimal comma; a comma
// groups thousands where the locale writes a decimal point.
struct TypedRow {
  const char* name;
  QLocale::Language language;
  QLocale::Territory territory;
  const char* typed;
  double value;
  const char* shown;  // after leaving the field, in the locale's separators
};

class RealSpinTyping : public RealSpinTest, public ::testing::WithParamInterface<TypedRow> {};

TEST_P(RealSpinTyping, ReadsTheSeparatorsAsTyped) {
  const TypedRow& row = GetParam();
  framework::ScopedUserLocale locale{QLocale(row.language, row.territory)};
  Fixed(1);
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, row.typed);
  EXPECT_EQ(spin->Value(), row.value);
  other->setFocus();
  EXPECT_EQ(spin->Text(), QString(row.shown));
  EXPECT_EQ(beeps, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Separators, RealSpinTyping,
    ::testing::Values(TypedRow{"EnglishCommaGroupsThousands", QLocale::English,
                               QLocale::UnitedStates, "1,234.5", 1234.5, "1234.5"},
                      TypedRow{"GermanPointIsTheDecimalComma", QLocale::German, QLocale::Germany,
                               "-2.6", -2.6, "-2,6"},
                      TypedRow{"GermanCommaIsTheDecimalComma", QLocale::German, QLocale::Germany,
                               "-2,6", -2.6, "-2,6"},
                      TypedRow{"FrenchPointIsTheDecimalComma", QLocale::French, QLocale::France,
                               "2.5", 2.5, "2,5"}),
    [](const ::testing::TestParamInfo<TypedRow>& info) { return info.param.name; });

TEST_F(RealSpinTest, AnExponentCanBeTypedButNoOtherLetters) {
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, "1xe3");
  EXPECT_EQ(spin->Text(), "1e3");
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(spin->Value(), 1000.0);
  QTest::keyClick(spin, Qt::Key_Return);
  EXPECT_EQ(beeps, 2);
}

TEST_F(RealSpinTest, UnreadableTextGivesTheLastGoodValue) {
  spin->SetValue(4.25);
  spin->SetText("4.2.5");
  EXPECT_EQ(spin->Value(), 4.25);
  spin->SetText("inf");
  EXPECT_EQ(spin->Value(), 4.25);
  TypeAndLeave("");
  EXPECT_EQ(spin->Text(), "4.25");
}

TEST_F(RealSpinTest, DeleteAndBackspaceEditAsXSendsThem) {
  spin->setFocus();
  spin->SetText("1.25");
  spin->setCursorPosition(2);
  testing_support::XKeyClick(spin, Qt::Key_Delete, testing_support::kXDeleteText);
  EXPECT_EQ(spin->Text(), "1.5");
  EXPECT_EQ(spin->Value(), 1.5);
  testing_support::XKeyClick(spin, Qt::Key_Backspace, '\b');
  EXPECT_EQ(spin->Text(), "15");
  EXPECT_EQ(beeps, 0);
}

TEST_F(RealSpinTest, AnInfiniteOrUndefinedWriteKeepsTheValueAndItsText) {
  Fixed(2);
  spin->SetValue(1.5);
  changes = 0;
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {inf, -inf, std::numeric_limits<double>::quiet_NaN()}) {
    spin->SetValue(bad);
    EXPECT_EQ(spin->Text(), "1.50") << bad;
    EXPECT_EQ(spin->Value(), 1.5) << bad;
    EXPECT_EQ(spin->LastGoodValue(), 1.5) << bad;
  }
  // With limits in force an infinite write is no more taken than without.
  spin->SetUseLimit(true);
  spin->SetMinValue(-10);
  spin->SetMaxValue(10);
  spin->SetValue(inf);
  spin->SetValue(-inf);
  EXPECT_EQ(spin->Value(), 1.5);
  spin->SetUseLimit(false);
  EXPECT_EQ(changes, 0);
  // Also through the ways a value is written for the user: an owner's step, a step past the
  // largest double, leaving the emptied field.
  spin->SetOwnerIncrement(true);
  spin->OnIncrement = [](QObject*, bool, double& v) { v = std::nan(""); };
  ClickUp();
  EXPECT_EQ(spin->Value(), 1.5);
  spin->SetOwnerIncrement(false);
  spin->SetNumFormat(nfStandard);
  spin->SetValue(std::numeric_limits<double>::max());
  spin->SetIncrement(std::numeric_limits<double>::max());
  ClickUp();
  EXPECT_EQ(spin->Value(), std::numeric_limits<double>::max());
  EXPECT_EQ(spin->Text(), "1.79769313486232E308");
  TypeAndLeave("");
  EXPECT_EQ(spin->Value(), std::numeric_limits<double>::max());
}

TEST_F(RealSpinTest, AnInfiniteLimitNeverBecomesTheValue) {
  spin->SetValue(3);
  spin->SetUseLimit(true);
  spin->SetMinValue(-std::numeric_limits<double>::infinity());
  spin->SetMaxValue(2);
  spin->SetWrap(true);
  spin->SetValue(5);
  EXPECT_TRUE(std::isfinite(spin->Value()));
  EXPECT_EQ(spin->Text(), spin->FormatValue(spin->Value()));
}

// --- limits and stepping --------------------------------------------------------------------

TEST_F(RealSpinTest, EnforcedLimitsClamp) {
  spin->SetUseLimit(true);
  spin->SetMaxValue(1);
  spin->SetMinValue(-1);
  spin->SetValue(5);
  EXPECT_EQ(spin->Text(), "1");
  spin->SetValue(-5);
  EXPECT_EQ(spin->Text(), "-1");
}

TEST_F(RealSpinTest, WrapsAtTheMaximum) {
  spin->SetUseLimit(true);
  spin->SetMaxValue(360);
  spin->SetWrap(true);
  spin->SetValue(360);
  EXPECT_EQ(spin->Text(), "0");
  spin->SetValue(370);
  EXPECT_EQ(spin->Text(), "10");
  ASSERT_FALSE(wraps.empty());
  EXPECT_EQ(wraps.front(), wmUpper);
  spin->SetValue(-30);
  EXPECT_EQ(spin->Text(), "330");
  EXPECT_EQ(wraps.back(), wmLower);
}

TEST_F(RealSpinTest, WrapEndsInsideTheLimitsForAnyLimitsAndValues) {
  spin->SetUseLimit(true);
  spin->SetWrap(true);
  struct Case {
    double min, max, value;
  };
  const Case cases[] = {{10, 20, 39}, {10, 20, 5},     {-20, -10, 0}, {0, 360, 1e300},
                        {0, 60, -61}, {-5, 5, -1e300}, {0.5, 0.7, 3}};
  for (const Case& c : cases) {
    spin->SetMaxValue(c.max);
    spin->SetMinValue(c.min);
    const double r = spin->ClampValue(c.value);
    EXPECT_GE(r, c.min) << c.value;
    EXPECT_LT(r, c.max) << c.value;
  }
}

TEST_F(RealSpinTest, CtrlStepsTenIncrements) {
  spin->SetIncrement(0.5);
  ClickUp(Qt::ControlModifier);
  EXPECT_EQ(spin->Value(), 5.0);
  QTest::keyClick(spin, Qt::Key_Down);
  EXPECT_EQ(spin->Value(), 4.5);
}

TEST_F(RealSpinTest, ReadOnlyStepsOnlyBeep) {
  spin->SetReadOnly(true);
  ClickUp();
  QTest::keyClick(spin, Qt::Key_Down);
  EXPECT_EQ(spin->Value(), 0.0);
  EXPECT_EQ(beeps, 2);
}

TEST_F(RealSpinTest, OwnerIncrementComputesTheStep) {
  spin->SetOwnerIncrement(true);
  spin->SetValue(3);
  spin->OnIncrement = [](QObject*, bool inc, double& v) { v = inc ? v * v : -v; };
  ClickUp();
  EXPECT_EQ(spin->Value(), 9.0);
  QTest::keyClick(spin, Qt::Key_Down);
  EXPECT_EQ(spin->Value(), -9.0);
}

TEST_F(RealSpinTest, BlockedChangesStillMoveTheField) {
  spin->SetBlockChangeEvent(true);
  spin->SetText("12.5");
  EXPECT_EQ(spin->Value(), 12.5);
  EXPECT_EQ(changes, 0);
}

// --- regional settings ----------------------------------------------------------------------

TEST_F(RealSpinTest, ALocaleChangeRedrawsWithTheNewSeparators) {
  spin->SetNumFormat(nfThousands);
  spin->SetDigits(2);
  spin->SetValue(1234.5);
  EXPECT_EQ(spin->Text(), "1,234.50");
  {
    framework::ScopedUserLocale german{QLocale(QLocale::German, QLocale::Germany)};
    QEvent notice(QEvent::LocaleChange);
    QApplication::sendEvent(spin, &notice);
    EXPECT_EQ(spin->Text(), "1.234,50");
    EXPECT_EQ(spin->Value(), 1234.5);
    // Pasted text keeps its grouping points; a typed point would be the decimal comma.
    spin->setFocus();
    spin->SetText("2.000,25");
    other->setFocus();
    EXPECT_EQ(spin->Value(), 2000.25);
    EXPECT_EQ(spin->Text(), "2.000,25");
    EXPECT_TRUE(framework::UseLocaleSeparators());
  }
  QEvent notice(QEvent::LocaleChange);
  QApplication::sendEvent(spin, &notice);
  EXPECT_EQ(spin->Text(), "2,000.25");
}

TEST_F(RealSpinTest, SeparatorsOffGivePointAndComma) {
  framework::ScopedUserLocale german{QLocale(QLocale::German, QLocale::Germany)};
  framework::SetUseLocaleSeparators(false);
  QEvent notice(QEvent::LocaleChange);
  QApplication::sendEvent(spin, &notice);
  EXPECT_EQ(framework::DecimalSeparator(), '.');
  EXPECT_EQ(framework::ThousandSeparator(), ',');
  framework::SetUseLocaleSeparators(true);
  EXPECT_EQ(framework::DecimalSeparator(), ',');
}

}  // namespace
