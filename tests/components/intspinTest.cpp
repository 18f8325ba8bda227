#include "components/intspin.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <limits>
#include <stdexcept>
#include <vector>

#include "framework/FormatSettings.h"
#include "framework/Sound.h"
#include "support/SpinWindow.h"

using namespace components;

namespace {

// A shown, active window with the integer spin and a second field to move the focus to.
class IntegerSpinTest : public testing_support::SpinWindowTest<TIntegerSpin> {
 protected:
  IntegerSpinTest() : SpinWindowTest(121) {}
  void UseLimits(int64_t min, int64_t max) {
    spin->SetUseLimit(true);
    spin->SetMinValue(min);
    spin->SetMaxValue(max);
  }
};

// --- value and text -------------------------------------------------------------------------

TEST_F(IntegerSpinTest, StartsAtZeroWithStepOne) {
  EXPECT_EQ(spin->Text(), "0");
  EXPECT_EQ(spin->Value(), 0);
  EXPECT_EQ(spin->Increment(), 1);
  EXPECT_EQ(spin->HexDigits(), 4);
  EXPECT_FALSE(spin->HexMode());
  EXPECT_EQ(spin->LastGoodValue(), 0);
}

TEST_F(IntegerSpinTest, ValueFollowsTheTextAsItIsTyped) {
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, "123");
  EXPECT_EQ(spin->Value(), 123);
  EXPECT_EQ(spin->LastGoodValue(), 123);
  QTest::keyClicks(spin, "4");
  EXPECT_EQ(spin->Value(), 1234);
}

TEST_F(IntegerSpinTest, TextThatDoesNotConvertReadsAsTheLastGoodValue) {
  spin->SetValue(42);
  for (const char* bad : {"", "-", "4.5", "99999999999999999999", "12 "}) {
    spin->SetText(bad);
    EXPECT_EQ(spin->Value(), 42) << bad;
  }
}

TEST_F(IntegerSpinTest, WritingShowsDecimalWithSignAndFiresOnChange) {
  spin->SetValue(-17);
  EXPECT_EQ(spin->Text(), "-17");
  EXPECT_EQ(changes, 1);
  spin->SetValue(-17);
  EXPECT_EQ(changes, 1);
  spin->setProperty("Value", 300);
  EXPECT_EQ(spin->Text(), "300");
}

TEST_F(IntegerSpinTest, LeavingTheFieldNormalisesTheText) {
  TypeAndLeave("007");
  EXPECT_EQ(spin->Text(), "7");
  TypeAndLeave("+12");
  EXPECT_EQ(spin->Text(), "12");
  TypeAndLeave(QString("3") + framework::DecimalSeparator() + "5");
  EXPECT_EQ(spin->Text(), "12");
}

TEST_F(IntegerSpinTest, AnEmptiedFieldGetsTheLastGoodValueBack) {
  spin->SetValue(55);
  TypeAndLeave("");
  EXPECT_EQ(spin->Text(), "55");
}

// --- limits ---------------------------------------------------------------------------------

TEST_F(IntegerSpinTest, EnforcedLimitsClampTypedValuesOnExit) {
  UseLimits(1, 10000);
  spin->SetValue(10);
  TypeAndLeave("0");
  EXPECT_EQ(spin->Text(), "1");
  TypeAndLeave("20000");
  EXPECT_EQ(spin->Text(), "10000");
  TypeAndLeave("007");
  EXPECT_EQ(spin->Text(), "7");
}

TEST_F(IntegerSpinTest, LimitsAreIgnoredWhenNotInForce) {
  spin->SetMinValue(10);
  spin->SetMaxValue(10000);
  spin->SetIncrement(10);
  spin->SetValue(300);
  TypeAndLeave("5");
  EXPECT_EQ(spin->Text(), "5");
  TypeAndLeave("50000");
  EXPECT_EQ(spin->Text(), "50000");
  EXPECT_EQ(spin->Value(), 50000);
}

TEST_F(IntegerSpinTest, WritingKeepsTheUnclampedValueAsLastGood) {
  UseLimits(0, 100);
  spin->SetValue(150);
  EXPECT_EQ(spin->Text(), "100");
  EXPECT_EQ(spin->LastGoodValue(), 150);
  EXPECT_EQ(spin->Value(), 100);
  EXPECT_EQ(spin->LastGoodValue(), 100);
}

TEST_F(IntegerSpinTest, MovingALimitPastTheValuePullsTheValueAlong) {
  UseLimits(0, 100);
  spin->SetValue(50);
  spin->SetMaxValue(40);
  EXPECT_EQ(spin->Text(), "40");
  EXPECT_EQ(spin->MaxValue(), 40);
  spin->SetValue(10);
  spin->SetMinValue(20);
  EXPECT_EQ(spin->Text(), "20");
  EXPECT_EQ(spin->MinValue(), 20);
  // The pull is limited by the limits in force before the change.
  spin->SetMinValue(45);
  EXPECT_EQ(spin->Text(), "40");
}

TEST_F(IntegerSpinTest, ReachingTheMaximumWrapsToTheMinimum) {
  UseLimits(0, 60);
  spin->SetWrap(true);
  const std::pair<int64_t, const char*> cases[] = {{60, "0"}, {61, "1"}, {-1, "59"}, {-2, "58"}};
  for (auto [written, shown] : cases) {
    spin->SetValue(written);
    EXPECT_EQ(spin->Text(), shown) << written;
  }
  EXPECT_EQ(wraps, (std::vector<TWrapMode>{wmUpper, wmUpper, wmLower, wmLower}));
}

TEST_F(IntegerSpinTest, SteppingAcrossAWrappingLimitReportsTheSide) {
  UseLimits(0, 60);
  spin->SetWrap(true);
  spin->SetValue(59);
  wraps.clear();
  ClickUp();
  EXPECT_EQ(spin->Text(), "0");
  ASSERT_FALSE(wraps.empty());
  EXPECT_EQ(wraps.front(), wmUpper);
  wraps.clear();
  ClickDown();
  EXPECT_EQ(spin->Text(), "59");
  ASSERT_FALSE(wraps.empty());
  EXPECT_EQ(wraps.front(), wmLower);
}

TEST_F(IntegerSpinTest, WrapAlwaysEndsInsideTheLimits) {
  spin->SetUseLimit(true);
  spin->SetWrap(true);
  struct Case {
    int64_t min, max, value;
  };
  const int64_t big = std::numeric_limits<int64_t>::max();
  const int64_t small = std::numeric_limits<int64_t>::min();
  const Case cases[] = {{10, 20, 25},   {10, 20, 39},    {10, 20, 5},      {10, 20, -7},
                        {-20, -10, 0},  {-20, -10, -25}, {0, 60, -61},     {0, 60, big},
                        {0, 60, small}, {-5, 5, small},  {small, big, big}};
  for (const Case& c : cases) {
    spin->SetMaxValue(c.max);
    spin->SetMinValue(c.min);
    const int64_t r = spin->ClampValue(c.value);
    EXPECT_GE(r, c.min) << c.min << ".." << c.max << " " << c.value;
    EXPECT_LT(r, c.max) << c.min << ".." << c.max << " " << c.value;
  }
  spin->SetMinValue(0);
  spin->SetMaxValue(60);
  EXPECT_EQ(spin->ClampValue(big), big % 60);
}

TEST_F(IntegerSpinTest, EqualLimitsClampEvenWithWrap) {
  spin->SetUseLimit(true);
  spin->SetWrap(true);
  EXPECT_EQ(spin->ClampValue(5), 0);
  EXPECT_EQ(spin->ClampValue(-5), 0);
  EXPECT_TRUE(wraps.empty());
}

// --- stepping -------------------------------------------------------------------------------

TEST_F(IntegerSpinTest, ArrowsAndKeysStepByTheIncrement) {
  spin->SetIncrement(10);
  spin->SetValue(300);
  ClickUp();
  EXPECT_EQ(spin->Text(), "310");
  QTest::keyClick(spin, Qt::Key_Down);
  QTest::keyClick(spin, Qt::Key_Down);
  EXPECT_EQ(spin->Text(), "290");
}

TEST_F(IntegerSpinTest, CtrlMultipliesTheStepByTen) {
  spin->SetIncrement(3);
  ClickUp(Qt::ControlModifier);
  EXPECT_EQ(spin->Value(), 30);
  QTest::keyClick(spin, Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(spin->Value(), 0);
}

TEST_F(IntegerSpinTest, ReadOnlyStepsOnlyBeep) {
  spin->SetValue(5);
  spin->SetReadOnly(true);
  ClickUp();
  QTest::keyClick(spin, Qt::Key_Up);
  QTest::keyClick(spin, Qt::Key_Down);
  EXPECT_EQ(spin->Text(), "5");
  EXPECT_EQ(beeps, 3);
}

TEST_F(IntegerSpinTest, OwnerIncrementAsksTheOwner) {
  spin->SetOwnerIncrement(true);
  spin->SetValue(6);
  spin->OnIncrement = [](QObject*, bool inc, int64_t& value) { value = inc ? value * 2 : 1; };
  ClickUp();
  EXPECT_EQ(spin->Value(), 12);
  ClickDown();
  EXPECT_EQ(spin->Value(), 1);
}

TEST_F(IntegerSpinTest, OwnerIncrementWithoutAHandlerOnlyNormalises) {
  spin->SetOwnerIncrement(true);
  spin->SetText("007");
  ClickUp();
  EXPECT_EQ(spin->Text(), "7");
}

TEST_F(IntegerSpinTest, SteppingPastTheEndOf64BitsWrapsAround) {
  spin->SetValue(std::numeric_limits<int64_t>::max());
  QTest::keyClick(spin, Qt::Key_Up);
  EXPECT_EQ(spin->Value(), std::numeric_limits<int64_t>::min());
}

TEST_F(IntegerSpinTest, BlockChangeEventSilencesEveryKindOfChange) {
  spin->SetBlockChangeEvent(true);
  spin->SetValue(4);
  ClickUp();
  TypeAndLeave("9");
  EXPECT_EQ(spin->Value(), 9);
  EXPECT_EQ(changes, 0);
}

TEST_F(IntegerSpinTest, AWriteThatMustNotNotifyIsShownAndLimitedWithoutOnChange) {
  UseLimits(1, 10);
  changes = 0;
  spin->SetValue(50, TEmitPolicy::NeverEmit);
  EXPECT_EQ(spin->Text(), "10");
  EXPECT_EQ(spin->LastGoodValue(), 50);  // as any write keeps it
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(spin->BlockChangeEvent());  // the owner hears the next change again
  spin->SetValue(6, TEmitPolicy::EmitIfChanged);
  EXPECT_EQ(changes, 1);
  spin->SetValue(6, TEmitPolicy::EmitIfChanged);  // the text stays: nothing to tell
  EXPECT_EQ(changes, 1);
  TypeAndLeave("7");
  EXPECT_GT(changes, 1);  // typing is heard
  const int heard = changes;
  // A block the owner set stays set whatever the write's policy.
  spin->SetBlockChangeEvent(true);
  spin->SetValue(8, TEmitPolicy::NeverEmit);
  EXPECT_TRUE(spin->BlockChangeEvent());
  spin->SetValue(9, TEmitPolicy::EmitIfChanged);
  EXPECT_TRUE(spin->BlockChangeEvent());
  EXPECT_EQ(spin->Text(), "9");
  EXPECT_EQ(changes, heard);
}

TEST_F(IntegerSpinTest, AHeldBackWriteThatThrowsLetsTheOwnerHearTheNextChange) {
  spin->OnWrap = [](QObject*, TWrapMode) { throw std::runtime_error("wrap handler failed"); };
  spin->SetUseLimit(true);
  spin->SetMaxValue(60);
  spin->SetWrap(true);
  changes = 0;
  EXPECT_THROW(spin->SetValue(61, TEmitPolicy::NeverEmit), std::runtime_error);
  EXPECT_FALSE(spin->BlockChangeEvent());
  spin->OnWrap = nullptr;
  spin->SetValue(5);
  EXPECT_EQ(changes, 1);
}

// --- keys and hexadecimal -------------------------------------------------------------------

TEST_F(IntegerSpinTest, OnlyNumberCharactersCanBeTyped) {
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, "-1a2");
  EXPECT_EQ(spin->Text(), "-12");
  EXPECT_EQ(beeps, 1);
  QTest::keyClick(spin, Qt::Key_Return);
  EXPECT_EQ(beeps, 2);
}

TEST_F(IntegerSpinTest, WithTheEditorDisabledKeysStillStep) {
  spin->SetEditorEnabled(false);
  spin->setFocus();
  QTest::keyClicks(spin, "5");
  QTest::keyClick(spin, Qt::Key_Backspace);
  EXPECT_EQ(spin->Text(), "0");
  EXPECT_EQ(beeps, 2);
  QTest::keyClick(spin, Qt::Key_Up);
  EXPECT_EQ(spin->Text(), "1");
}

TEST_F(IntegerSpinTest, DeleteAndBackspaceEditAsXSendsThem) {
  for (bool hex : {false, true}) {
    spin->SetHexMode(hex);
    spin->setFocus();
    spin->SetText("123");
    spin->setCursorPosition(1);
    testing_support::XKeyClick(spin, Qt::Key_Delete, testing_support::kXDeleteText);
    EXPECT_EQ(spin->Text(), "13") << hex;
    testing_support::XKeyClick(spin, Qt::Key_Backspace, '\b');
    EXPECT_EQ(spin->Text(), "3") << hex;
    EXPECT_EQ(spin->Value(), 3) << hex;
    spin->selectAll();
    testing_support::XKeyClick(spin, Qt::Key_Delete, testing_support::kXDeleteText);
    EXPECT_EQ(spin->Text(), "") << hex;
    EXPECT_EQ(spin->Value(), 3) << hex;
  }
  EXPECT_EQ(beeps, 0);
}

TEST_F(IntegerSpinTest, HexadecimalShowsPaddedUpperCaseDigits) {
  spin->SetValue(255);
  spin->SetHexMode(true);
  EXPECT_EQ(spin->Text(), "00FF");
  EXPECT_EQ(spin->Value(), 255);
  spin->SetHexDigits(2);
  EXPECT_EQ(spin->Text(), "FF");
  spin->SetHexMode(false);
  EXPECT_EQ(spin->Text(), "255");
}

TEST_F(IntegerSpinTest, HexadecimalNegativesShowAll64Bits) {
  spin->SetHexMode(true);
  spin->SetValue(-1);
  EXPECT_EQ(spin->Text(), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(spin->Value(), -1);
}

TEST_F(IntegerSpinTest, HexadecimalTypingAcceptsHexDigitsOnly) {
  spin->SetHexMode(true);
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, "1fg");
  EXPECT_EQ(spin->Text(), "1f");
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(spin->Value(), 31);
  other->setFocus();
  EXPECT_EQ(spin->Text(), "001F");
}

}  // namespace
