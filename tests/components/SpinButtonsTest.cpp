#include "components/SpinButtons.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <limits>

#include "framework/Sound.h"
#include "framework/SysUtils.h"
#include "support/FakeDialogs.h"
#include "support/SpinWindow.h"

using namespace components;

namespace {

using testing_support::kXDeleteText;
using testing_support::XKeyClick;

using testing_support::Activate;

// ---------------------------------------------------------------------------------------------
// TCustomSpin, through a spin that only counts its steps and allows digits

class CountingSpin : public TCustomSpin {
 public:
  using TCustomSpin::TCustomSpin;
  void StepUp() override {
    ++ups;
    if (failSteps) throw framework::Exception("Step failed");
  }
  void StepDown() override {
    ++downs;
    if (failSteps) throw framework::Exception("Step failed");
  }
  bool KeyAllowed(QChar key) override {
    if (key.unicode() == 13) return false;
    if (!EditorEnabled() && (key.unicode() >= 32 || key.unicode() == 8)) return false;
    return key.isDigit() || key.unicode() < 32;
  }
  int ups = 0;
  int downs = 0;
  bool failSteps = false;
};

class CustomSpinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.resize(300, 100);
    spin = new CountingSpin(&window);
    spin->setGeometry(10, 10, 121, 24);
  }
  int RightMargin() const { return spin->textMargins().right(); }

  QWidget window;
  CountingSpin* spin = nullptr;
  int beeps = 0;
  framework::ScopedBeepHook beepHook{[this] { ++beeps; }};
};

TEST_F(CustomSpinTest, StartsAtZeroWithArrowsInsideTheRightBorder) {
  window.show();
  EXPECT_EQ(spin->Text(), "0");
  EXPECT_TRUE(spin->EditorEnabled());
  EXPECT_FALSE(spin->UseLimit());
  EXPECT_FALSE(spin->BlockChangeEvent());
  // The height is the fixture's 24 px or, with a large font, the least that shows a line.
  EXPECT_EQ(spin->SpinButton()->geometry(), QRect(121 - 15 - 2, 2, 15, spin->height() - 4));
  EXPECT_EQ(spin->SpinButton()->FocusControl(), spin);
  EXPECT_FALSE(spin->UnitsPanel()->isVisible());
  EXPECT_EQ(RightMargin(), 15 + 2);
}

TEST_F(CustomSpinTest, UnitsPanelSitsLeftOfTheArrowsAndNarrowsTheText) {
  window.show();
  spin->SetUnitsString("Samples");
  const int textWidth = spin->UnitsPanel()->fontMetrics().horizontalAdvance("Samples");
  EXPECT_TRUE(spin->UnitsPanel()->isVisible());
  EXPECT_EQ(spin->UnitsPanel()->Caption(), "Samples");
  EXPECT_EQ(spin->UnitsPanel()->geometry(),
            QRect(spin->SpinButton()->x() - textWidth - 6, 2, textWidth + 6, spin->height() - 4));
  EXPECT_EQ(RightMargin(), 15 + 2 + textWidth + 6);
  spin->SetPanelWidth(30);
  EXPECT_EQ(spin->UnitsPanel()->width(), 30);
  EXPECT_EQ(RightMargin(), 15 + 2 + 30);
  spin->SetUnitsString("");
  EXPECT_FALSE(spin->UnitsPanel()->isVisible());
  EXPECT_EQ(RightMargin(), 15 + 2);
}

TEST_F(CustomSpinTest, KeepsAtLeastOneLineOfTextHigh) {
  window.show();
  spin->resize(121, 5);
  EXPECT_EQ(spin->height(), spin->fontMetrics().height() + 4);
  EXPECT_EQ(spin->SpinButton()->height(), spin->height() - 4);
}

TEST_F(CustomSpinTest, ArrowsAndArrowKeysStep) {
  Activate(window);
  QTest::mouseClick(spin->SpinButton()->UpArrowButton(), Qt::LeftButton, {}, {3, 3});
  EXPECT_EQ(spin->ups, 1);
  EXPECT_TRUE(spin->hasFocus());
  QTest::keyClick(spin, Qt::Key_Down);
  QTest::keyClick(spin, Qt::Key_Up);
  EXPECT_EQ(spin->ups, 2);
  EXPECT_EQ(spin->downs, 1);
}

TEST_F(CustomSpinTest, EnterIsRefusedWithABeep) {
  Activate(window);
  spin->setFocus();
  bool returned = false;
  QObject::connect(spin, &QLineEdit::returnPressed, [&] { returned = true; });
  QTest::keyClick(spin, Qt::Key_Return);
  EXPECT_EQ(beeps, 1);
  EXPECT_FALSE(returned);
  EXPECT_EQ(spin->Text(), "0");
}

// --- keys as an X keyboard sends them -------------------------------------------------------

struct ControlKeyRow {
  const char* name;
  Qt::Key key;
  char16_t text;  // what X attaches to the key
  Qt::KeyboardModifiers modifiers;
  const char* result;  // from "123" with the caret after the 1
};

class CustomSpinControlKeys : public CustomSpinTest,
                              public ::testing::WithParamInterface<ControlKeyRow> {};

TEST_P(CustomSpinControlKeys, EditAsInAnyFieldWithoutABeep) {
  const ControlKeyRow& row = GetParam();
  Activate(window);
  spin->setFocus();
  spin->SetText("123");
  spin->setCursorPosition(1);
  QApplication::clipboard()->setText("9");
  XKeyClick(spin, row.key, row.text, row.modifiers);
  EXPECT_EQ(spin->Text(), row.result);
  EXPECT_EQ(beeps, 0);
  EXPECT_TRUE(spin->hasFocus());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CustomSpinControlKeys,
    ::testing::Values(
        ControlKeyRow{"DeleteRemovesTheNextCharacter", Qt::Key_Delete, 0x7F, {}, "13"},
        ControlKeyRow{"KeypadDelete", Qt::Key_Delete, 0x7F, Qt::KeypadModifier, "13"},
        ControlKeyRow{"BackspaceRemovesThePreviousCharacter", Qt::Key_Backspace, 8, {}, "23"},
        ControlKeyRow{"CtrlVPastes", Qt::Key_V, 0x16, Qt::ControlModifier, "1923"},
        ControlKeyRow{"CtrlCCopiesWithoutChange", Qt::Key_C, 0x03, Qt::ControlModifier, "123"},
        ControlKeyRow{"CtrlAInsertsNothing", Qt::Key_A, 0x01, Qt::ControlModifier, "123"},
        ControlKeyRow{"EscapeInsertsNothing", Qt::Key_Escape, 0x1B, {}, "123"}),
    [](const ::testing::TestParamInfo<ControlKeyRow>& info) { return info.param.name; });

TEST_F(CustomSpinTest, SelectCutAndUndoWithTheControlKeysOfX) {
  Activate(window);
  spin->setFocus();
  spin->SetText("123");
  XKeyClick(spin, Qt::Key_A, 0x01, Qt::ControlModifier);
  EXPECT_EQ(spin->selectedText(), "123");
  XKeyClick(spin, Qt::Key_X, 0x18, Qt::ControlModifier);
  EXPECT_EQ(spin->Text(), "");
  EXPECT_EQ(QApplication::clipboard()->text(), "123");
  XKeyClick(spin, Qt::Key_Z, 0x1A, Qt::ControlModifier);
  EXPECT_EQ(spin->Text(), "123");
  EXPECT_EQ(beeps, 0);
}

TEST_F(CustomSpinTest, TabMovesOnWithoutABeep) {
  auto* next = new TEditEx(&window);
  next->move(10, 60);
  Activate(window);
  spin->setFocus();
  XKeyClick(spin, Qt::Key_Tab, '\t');
  EXPECT_TRUE(next->hasFocus());
  EXPECT_EQ(spin->Text(), "0");
  EXPECT_EQ(beeps, 0);
}

TEST_F(CustomSpinTest, WithTheEditorDisabledDeleteIsRefusedLikeBackspace) {
  Activate(window);
  spin->setFocus();
  spin->SetText("123");
  spin->setCursorPosition(1);
  XKeyClick(spin, Qt::Key_Delete, kXDeleteText);
  ASSERT_EQ(spin->Text(), "13");
  spin->SetEditorEnabled(false);
  XKeyClick(spin, Qt::Key_Delete, kXDeleteText);
  EXPECT_EQ(beeps, 1);
  XKeyClick(spin, Qt::Key_Backspace, '\b');
  EXPECT_EQ(beeps, 2);
  // Nor can the edit be undone or the next word deleted.
  XKeyClick(spin, Qt::Key_Z, 0x1A, Qt::ControlModifier);
  XKeyClick(spin, Qt::Key_Delete, kXDeleteText, Qt::ControlModifier);
  EXPECT_EQ(spin->Text(), "13");
  // Editable again, the same keys edit.
  spin->SetEditorEnabled(true);
  XKeyClick(spin, Qt::Key_Z, 0x1A, Qt::ControlModifier);
  EXPECT_EQ(spin->Text(), "123");
  XKeyClick(spin, Qt::Key_Delete, kXDeleteText);
  EXPECT_EQ(spin->Text(), "13");
  EXPECT_EQ(beeps, 2);
}

TEST_F(CustomSpinTest, ReadOnlyIgnoresDeleteWithoutABeep) {
  Activate(window);
  spin->setFocus();
  spin->SetText("123");
  spin->SetReadOnly(true);
  spin->setCursorPosition(1);
  XKeyClick(spin, Qt::Key_Delete, kXDeleteText);
  EXPECT_EQ(spin->Text(), "123");
  EXPECT_EQ(beeps, 0);
}

TEST_F(CustomSpinTest, PasteAndCutOnlyWhenTheTextIsEditable) {
  Activate(window);
  spin->setFocus();
  QApplication::clipboard()->setText("42");
  spin->selectAll();
  QTest::keyClick(spin, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(spin->Text(), "42");

  spin->SetEditorEnabled(false);
  QApplication::clipboard()->setText("7");
  spin->selectAll();
  QTest::keyClick(spin, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(spin, Qt::Key_X, Qt::ControlModifier);
  QTest::keyClick(spin, Qt::Key_5);
  EXPECT_EQ(spin->Text(), "42");

  spin->SetEditorEnabled(true);
  spin->SetReadOnly(true);
  spin->selectAll();
  QTest::keyClick(spin, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(spin->Text(), "42");
  spin->SetReadOnly(false);
  spin->selectAll();
  QTest::keyClick(spin, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(spin->Text(), "");
}

TEST_F(CustomSpinTest, BlockChangeEventSilencesOnChange) {
  int changes = 0;
  spin->OnChange = [&](QObject*) { ++changes; };
  spin->SetText("5");
  EXPECT_EQ(changes, 1);
  spin->SetBlockChangeEvent(true);
  spin->SetText("6");
  EXPECT_EQ(changes, 1);
}

TEST_F(CustomSpinTest, DisablingGreysTheUnitsAndDisablesTheArrows) {
  spin->SetUnitsString("MS");
  window.show();
  spin->setEnabled(false);
  EXPECT_EQ(spin->UnitsPanel()->FontColor(), QColor(0x80, 0x80, 0x80));
  EXPECT_FALSE(spin->SpinButton()->isEnabled());
  spin->setEnabled(true);
  EXPECT_EQ(spin->UnitsPanel()->FontColor(), QColor(Qt::black));
  EXPECT_TRUE(spin->SpinButton()->isEnabled());
}

TEST_F(CustomSpinTest, TabbingInSelectsAllTextOnlyWithAutoSelect) {
  auto* before = new TEditEx(&window);
  before->move(10, 60);
  spin->SetText("123");
  Activate(window);
  before->setFocus();
  int enters = 0;
  spin->OnEnter = [&](QObject*) { ++enters; };
  XKeyClick(before, Qt::Key_Tab, '\t');
  ASSERT_TRUE(spin->hasFocus());
  EXPECT_EQ(spin->selectedText(), "123");
  EXPECT_EQ(enters, 1);

  spin->SetAutoSelect(false);
  XKeyClick(spin, Qt::Key_Tab, '\t');
  ASSERT_TRUE(before->hasFocus());
  XKeyClick(before, Qt::Key_Tab, '\t');
  ASSERT_TRUE(spin->hasFocus());
  EXPECT_FALSE(spin->hasSelectedText());
  EXPECT_EQ(enters, 2);
  XKeyClick(spin, Qt::Key_Backtab, '\t', Qt::ShiftModifier);
  XKeyClick(before, Qt::Key_Backtab, '\t', Qt::ShiftModifier);
  ASSERT_TRUE(spin->hasFocus());
  EXPECT_FALSE(spin->hasSelectedText());
}

TEST_F(CustomSpinTest, AFailingStepFromAHeldArrowStopsTheRepeatAndShowsItsMessage) {
  testing_support::FakeDialogs dialogs;
  Activate(window);
  spin->failSteps = true;
  TArrowButton* up = spin->SpinButton()->UpArrowButton();
  QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
  up->RepeatTimer()->Tick();
  EXPECT_EQ(spin->ups, 1);
  EXPECT_EQ(dialogs.errors, QStringList({"Step failed"}));
  EXPECT_FALSE(up->RepeatTimer()->Enabled());
  spin->failSteps = false;
  QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
  EXPECT_EQ(spin->ups, 2);  // the click at release
  EXPECT_EQ(dialogs.errors.size(), 1);
}

TEST_F(CustomSpinTest, FailingStepsFromKeysAndChangesFromCodeShowTheirMessages) {
  testing_support::FakeDialogs dialogs;
  Activate(window);
  spin->setFocus();
  spin->failSteps = true;
  QTest::keyClick(spin, Qt::Key_Up);
  EXPECT_EQ(dialogs.errors, QStringList({"Step failed"}));
  EXPECT_TRUE(spin->hasFocus());
  // A change handler runs from Qt's text signal, so its failure is shown there too.
  spin->OnChange = [](QObject*) { throw framework::Exception("Value not taken"); };
  spin->SetText("5");
  EXPECT_EQ(spin->Text(), "5");
  EXPECT_EQ(dialogs.errors.back(), "Value not taken");
}

// ---------------------------------------------------------------------------------------------
// The bounding path shared by the spins

struct BoundRow {
  const char* name;
  int64_t min, max, value;
  bool wrap;
  int64_t result;
  TLimitSide side;
};

class SpinBounds : public ::testing::TestWithParam<BoundRow> {};

// The same rules hold for whole numbers and for doubles.
TEST_P(SpinBounds, GivesTheRuledValueAndSide) {
  const BoundRow& row = GetParam();
  const TBounded<int64_t> whole = BoundSpinValue(row.value, row.min, row.max, row.wrap);
  EXPECT_EQ(whole.value, row.result);
  EXPECT_EQ(whole.side, row.side);
  EXPECT_EQ(whole.wrapped, row.wrap && row.side != lsNone && row.min < row.max);
  const TBounded<double> real = BoundSpinValue<double>(row.value, row.min, row.max, row.wrap);
  EXPECT_EQ(real.value, static_cast<double>(row.result));
  EXPECT_EQ(real.side, row.side);
  EXPECT_EQ(real.wrapped, whole.wrapped);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SpinBounds,
    ::testing::Values(BoundRow{"InsideStays", 0, 60, 30, true, 30, lsNone},
                      BoundRow{"MinimumItselfStays", 0, 60, 0, true, 0, lsNone},
                      BoundRow{"MaximumClamps", 1, 10000, 10000, false, 10000, lsUpper},
                      BoundRow{"AboveClamps", 1, 10000, 20000, false, 10000, lsUpper},
                      BoundRow{"BelowClamps", 1, 10000, 0, false, 1, lsLower},
                      BoundRow{"MaximumWrapsToMinimum", 0, 60, 60, true, 0, lsUpper},
                      BoundRow{"OneAboveWrapsToOne", 0, 60, 61, true, 1, lsUpper},
                      BoundRow{"FarAboveTakesOffTheMaximum", 0, 60, 185, true, 5, lsUpper},
                      BoundRow{"OneBelowWrapsBelowTheMaximum", 0, 60, -1, true, 59, lsLower},
                      BoundRow{"TwoBelow", 0, 60, -2, true, 58, lsLower},
                      BoundRow{"NegativeMinimumAddsOnTop", -10, 50, 55, true, -5, lsUpper},
                      BoundRow{"NegativeMinimumReflects", -10, 50, -12, true, 48, lsLower},
                      BoundRow{"FarBelowWrapsBySpan", 0, 60, -61, true, 59, lsLower},
                      BoundRow{"PositiveLimitsAddTheMinimum", 10, 20, 25, true, 15, lsUpper},
                      BoundRow{"FarAboveANegativeMinimum", -10, 50, 170, true, 10, lsUpper},
                      BoundRow{"AddingTheMinimumReachesTheMaximum", 10, 20, 30, true, 10, lsUpper},
                      BoundRow{"PositiveLimitsWrapBySpanBelow", 10, 20, 5, true, 15, lsLower},
                      BoundRow{"NegativeLimitsWrapBySpan", -20, -10, 0, true, -20, lsUpper},
                      BoundRow{"EqualLimitsClampEvenWithWrap", 0, 0, 5, true, 0, lsUpper},
                      BoundRow{"EqualLimitsClampBelow", 0, 0, -5, true, 0, lsLower},
                      BoundRow{"CrossedLimitsGiveTheMinimum", 10, 5, 7, true, 10, lsLower}),
    [](const ::testing::TestParamInfo<BoundRow>& info) { return info.param.name; });

TEST(SpinBoundsExtremes, WholeNumbersWrapAcrossTheWhole64BitRange) {
  const int64_t big = std::numeric_limits<int64_t>::max();
  const int64_t small = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(BoundSpinValue<int64_t>(big, 0, 60, true).value, big % 60);
  EXPECT_EQ(BoundSpinValue<int64_t>(small, 0, 60, true).value, 52);  // -2^63 = -(60 k) + 52
  EXPECT_EQ(BoundSpinValue<int64_t>(big, small, big, true).value, small);
  EXPECT_EQ(BoundSpinValue<int64_t>(small, -5, 5, true).value, 2);  // -2^63 + 5 = 10 k + 7
  EXPECT_EQ(BoundSpinValue<int64_t>(small, small + 1, big, true).value, big - 1);
  const int64_t low32 = std::numeric_limits<int32_t>::min();
  const int64_t high32 = std::numeric_limits<int32_t>::max();
  // -2^63 - (-2^31) = -2^31 (2^32 - 1): whole spans below the minimum.
  EXPECT_EQ(BoundSpinValue<int64_t>(small, low32, high32, true).value, low32);
}

TEST(SpinBoundsExtremes, DoublesEndInsideTheLimits) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {1e300, -1e300, inf, -inf, 360.0 * 1e15 + 0.5}) {
    const double r = BoundSpinValue(v, 0.0, 360.0, true).value;
    EXPECT_GE(r, 0.0) << v;
    EXPECT_LT(r, 360.0) << v;
  }
  EXPECT_EQ(BoundSpinValue(370.25, 0.0, 360.0, true).value, 10.25);
  EXPECT_TRUE(std::isnan(BoundSpinValue(std::nan(""), 0.0, 1.0, true).value));
  EXPECT_EQ(BoundSpinValue(std::nan(""), 0.0, 1.0, true).side, lsNone);
}

}  // namespace
