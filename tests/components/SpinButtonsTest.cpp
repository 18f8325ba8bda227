#include "components/SpinButtons.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <limits>
#include <vector>

#include "framework/Sound.h"
#include "framework/SysUtils.h"
#include "support/FakeDialogs.h"
#include "support/SpinWindow.h"

using namespace components;

namespace {

using testing_support::kXDeleteText;
using testing_support::XKeyClick;

void Activate(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// ---------------------------------------------------------------------------------------------
// TEditEx

TEST(EditEx, AlignmentTakesEffectAtOnce) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  window.show();
  EXPECT_EQ(edit->Alignment(), framework::taLeftJustify);
  EXPECT_TRUE(edit->alignment() & Qt::AlignLeft);
  edit->SetAlignment(framework::taRightJustify);
  EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
  edit->SetAlignment(framework::taCenter);
  EXPECT_TRUE(edit->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(edit->property("Alignment").toInt(), framework::taCenter);
}

TEST(EditEx, SettingTheSameAlignmentLeavesTheFieldAlone) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  Activate(window);
  edit->setFocus();
  edit->SetText("12345");
  edit->setSelection(1, 2);
  edit->SetAlignment(framework::taLeftJustify);
  EXPECT_EQ(edit->selectionStart(), 1);
  EXPECT_EQ(edit->selectedText(), "23");
  EXPECT_TRUE(edit->hasFocus());
}

TEST(EditEx, ReportsEveryLossOfFocusAfterTheExit) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  auto* other = new TEditEx(&window);
  other->move(0, 40);
  QStringList events;
  edit->OnExit = [&](QObject*) { events << "exit"; };
  edit->OnKillFocus = [&](QObject* sender) {
    EXPECT_EQ(sender, edit);
    events << "kill";
  };
  Activate(window);
  edit->setFocus();
  other->setFocus();
  EXPECT_EQ(events, QStringList({"exit", "kill"}));
  edit->setFocus();
  other->setFocus();
  EXPECT_EQ(events.count("kill"), 2);
}

TEST(EditEx, KeyPressHandlerCanDropOrReplaceCharacters) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  edit->OnKeyPress = [](QObject*, QChar& key) {
    if (key == 'x') key = QChar();
    if (key == 'a') key = 'A';
  };
  Activate(window);
  edit->setFocus();
  QTest::keyClicks(edit, "axb");
  EXPECT_EQ(edit->Text(), "Ab");
}

TEST(EditEx, DeleteAsXSendsItDeletesEvenWithACharacterFilter) {
  // A filter that passes digits and control characters only, as the hours fields have.
  QWidget window;
  auto* edit = new TEditEx(&window);
  int filtered = 0;
  edit->OnKeyPress = [&](QObject*, QChar& key) {
    ++filtered;
    if (!key.isDigit() && key.unicode() >= 32) key = QChar();
  };
  Activate(window);
  edit->setFocus();
  edit->SetText("1234");
  edit->setCursorPosition(1);
  XKeyClick(edit, Qt::Key_Delete, kXDeleteText);
  EXPECT_EQ(edit->Text(), "134");
  EXPECT_EQ(filtered, 0);  // Delete types no character
  XKeyClick(edit, Qt::Key_Backspace, '\b');
  EXPECT_EQ(edit->Text(), "34");
  EXPECT_EQ(filtered, 1);  // Backspace does
}

TEST(EditEx, CtrlWithALetterTypesItsControlCharacterHoweverItIsSpelled) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  std::vector<int> typed;
  edit->OnKeyPress = [&](QObject*, QChar& key) { typed.push_back(key.unicode()); };
  Activate(window);
  edit->setFocus();
  XKeyClick(edit, Qt::Key_V, 0x16, Qt::ControlModifier);  // as X spells it
  XKeyClick(edit, Qt::Key_V, 'v', Qt::ControlModifier);   // as the letter
  XKeyClick(edit, Qt::Key_A, 'A', Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(typed, std::vector<int>({22, 22, 1}));
}

TEST(EditEx, AutoSelectDecidesWhetherTabbingInSelects) {
  QWidget window;
  auto* first = new TEditEx(&window);
  auto* edit = new TEditEx(&window);
  edit->move(0, 40);
  edit->SetText("hello");
  Activate(window);
  first->setFocus();
  edit->SetAutoSelect(false);
  XKeyClick(first, Qt::Key_Tab, '\t');
  ASSERT_TRUE(edit->hasFocus());
  EXPECT_FALSE(edit->hasSelectedText());
  XKeyClick(edit, Qt::Key_Backtab, '\t', Qt::ShiftModifier);
  ASSERT_TRUE(first->hasFocus());
  edit->SetAutoSelect(true);
  XKeyClick(first, Qt::Key_Tab, '\t');
  ASSERT_TRUE(edit->hasFocus());
  EXPECT_EQ(edit->selectedText(), "hello");
}

TEST(EditEx, FailingHandlersShowTheirMessagesAndTheFieldGoesOn) {
  testing_support::FakeDialogs dialogs;
  QWidget window;
  auto* edit = new TEditEx(&window);
  auto* other = new TEditEx(&window);
  other->move(0, 40);
  edit->OnKeyDown = [](QObject*, int& key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_F2) throw framework::Exception("key down failed");
  };
  edit->OnChange = [&](QObject*) {
    if (edit->Text() == "13") throw framework::Exception("change failed");
  };
  edit->OnExit = [](QObject*) { throw framework::Exception("exit failed"); };
  int kills = 0;
  edit->OnKillFocus = [&](QObject*) { ++kills; };
  Activate(window);
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_F2);
  QTest::keyClicks(edit, "134");
  EXPECT_EQ(edit->Text(), "134");
  other->setFocus();
  EXPECT_EQ(dialogs.errors, QStringList({"key down failed", "change failed", "exit failed"}));
  EXPECT_TRUE(other->hasFocus());
  EXPECT_EQ(kills, 1);
}

TEST(EditEx, AutoSizeFollowsTheFont) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  const int normal = edit->height();
  QFont big = edit->font();
  big.setPointSize(big.pointSize() * 3);
  edit->setFont(big);
  EXPECT_GT(edit->height(), normal);
  EXPECT_EQ(edit->height(), edit->sizeHint().height());
}

// ---------------------------------------------------------------------------------------------
// TArrowButton

QImage Render(QWidget* w) {
  return w->grab().toImage();
}

TEST(ArrowButton, DrawsTheDownTriangleCentred) {
  QWidget window;
  auto* arrow = new TArrowButton(&window);
  arrow->resize(17, 11);
  window.show();
  const QImage image = Render(arrow);
  const int left = (17 - 7) / 2;
  const int top = (11 - 3) / 2;
  EXPECT_EQ(image.pixelColor(left, top), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(left + 6, top), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(left + 3, top + 3), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(left, top + 3), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(left + 3, top + 4), QColor(Qt::black));
}

TEST(ArrowButton, DrawsTheUpTriangleAndGreysItWhenDisabled) {
  QWidget window;
  auto* arrow = new TArrowButton(&window);
  arrow->resize(17, 13);
  arrow->SetUpArrow(true);
  window.show();
  const int left = (17 - 7) / 2;
  const int point = (13 - 3) / 2 - 1;
  QImage image = Render(arrow);
  EXPECT_EQ(image.pixelColor(left + 3, point), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(left, point + 3), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(left, point), QColor(Qt::black));
  arrow->setEnabled(false);
  image = Render(arrow);
  EXPECT_EQ(image.pixelColor(left + 3, point), QColor(0x80, 0x80, 0x80));
}

TEST(ArrowButton, FocusMarkDrawsADottedRectangleInsideTheFace) {
  QWidget window;
  auto* arrow = new TArrowButton(&window);
  arrow->resize(17, 13);
  window.show();
  auto blackOnTopRow = [&](const QImage& image) {
    int black = 0;
    for (int x = 3; x < 14; ++x) black += image.pixelColor(x, 3) == QColor(Qt::black);
    return black;
  };
  EXPECT_EQ(blackOnTopRow(Render(arrow)), 0);
  arrow->SetFocusMark(true);
  const int dots = blackOnTopRow(Render(arrow));
  EXPECT_GT(dots, 0);
  EXPECT_LT(dots, 11);  // dotted, not solid
  // Latched down, the rectangle moves one pixel right and down with the face.
  arrow->SetDown(true);
  EXPECT_EQ(blackOnTopRow(Render(arrow)), 0);
}

// ---------------------------------------------------------------------------------------------
// TUpDownButton

class UpDownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.resize(200, 100);
    pair = new TUpDownButton(&window);
    pair->move(10, 10);
    pair->OnUpClick = [this](QObject* sender) {
      EXPECT_EQ(sender, pair);
      ++ups;
    };
    pair->OnDownClick = [this](QObject* sender) {
      EXPECT_EQ(sender, pair);
      ++downs;
    };
  }
  void ClickArrow(TArrowButton* arrow) { QTest::mouseClick(arrow, Qt::LeftButton, {}, {5, 5}); }

  QWidget window;
  TUpDownButton* pair = nullptr;
  int ups = 0;
  int downs = 0;
};

TEST_F(UpDownTest, SplitsItsHeightWithAOneRowOverlap) {
  window.show();
  EXPECT_EQ(pair->size(), QSize(17, 23));
  EXPECT_EQ(pair->UpArrowButton()->geometry(), QRect(0, 0, 17, 11));
  EXPECT_EQ(pair->DownArrowButton()->geometry(), QRect(0, 10, 17, 13));
  EXPECT_TRUE(pair->UpArrowButton()->UpArrow());
  EXPECT_FALSE(pair->DownArrowButton()->UpArrow());
  EXPECT_TRUE(pair->UpArrowButton()->DoRepeat());
}

TEST_F(UpDownTest, IsNeverNarrowerThanFifteenPixels) {
  window.show();
  pair->resize(8, 23);
  EXPECT_EQ(pair->width(), 15);
  EXPECT_EQ(pair->UpArrowButton()->width(), 15);
  pair->SetBounds(0, 0, 3, 40);
  EXPECT_EQ(pair->geometry(), QRect(0, 0, 15, 40));
  EXPECT_EQ(pair->DownArrowButton()->geometry(), QRect(0, 19, 15, 21));
}

TEST_F(UpDownTest, EachArrowReportsItsOwnClicks) {
  window.show();
  ClickArrow(pair->UpArrowButton());
  ClickArrow(pair->DownArrowButton());
  ClickArrow(pair->DownArrowButton());
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(downs, 2);
}

TEST_F(UpDownTest, HeldArrowRepeatsAndCountsAsPressed) {
  window.show();
  TArrowButton* up = pair->UpArrowButton();
  QTest::mousePress(up, Qt::LeftButton, {}, {5, 5});
  EXPECT_TRUE(pair->Pressed());
  up->RepeatTimer()->Tick();
  up->RepeatTimer()->Tick();
  QTest::mouseRelease(up, Qt::LeftButton, {}, {5, 5});
  EXPECT_FALSE(pair->Pressed());
  EXPECT_EQ(ups, 3);
}

TEST_F(UpDownTest, DisablingThePairDisablesBothArrows) {
  window.show();
  pair->setEnabled(false);
  EXPECT_FALSE(pair->UpArrowButton()->isEnabled());
  EXPECT_FALSE(pair->DownArrowButton()->isEnabled());
  ClickArrow(pair->UpArrowButton());
  EXPECT_EQ(ups, 0);
  pair->setEnabled(true);
  EXPECT_TRUE(pair->DownArrowButton()->isEnabled());
}

TEST_F(UpDownTest, KeyboardStepsTheActiveArrowWhenThePairIsATabStop) {
  pair->SetTabStop(true);
  Activate(window);
  pair->setFocus();
  EXPECT_EQ(pair->ActiveArrow(), pair->UpArrowButton());
  EXPECT_TRUE(pair->UpArrowButton()->FocusMark());
  QTest::keyClick(pair, Qt::Key_Space);
  EXPECT_EQ(ups, 1);
  QTest::keyClick(pair, Qt::Key_Down);
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(pair->ActiveArrow(), pair->DownArrowButton());
  EXPECT_TRUE(pair->DownArrowButton()->FocusMark());
  EXPECT_FALSE(pair->UpArrowButton()->FocusMark());
  QTest::keyClick(pair, Qt::Key_Space);
  EXPECT_EQ(downs, 2);
  QTest::keyClick(pair, Qt::Key_Up);
  EXPECT_EQ(ups, 2);
  EXPECT_EQ(pair->ActiveArrow(), pair->UpArrowButton());
}

TEST(UpDownInDialog, ArrowKeysReachThePairInsideADialog) {
  QDialog dialog;
  auto* pair = new TUpDownButton(&dialog);
  auto* ok = new QPushButton("OK", &dialog);
  ok->move(40, 0);
  ok->setDefault(true);
  pair->SetTabStop(true);
  int ups = 0;
  int downs = 0;
  pair->OnUpClick = [&](QObject*) { ++ups; };
  pair->OnDownClick = [&](QObject*) { ++downs; };
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  pair->setFocus();
  QTest::keyClick(pair, Qt::Key_Down);
  QTest::keyClick(pair, Qt::Key_Up);
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(downs, 1);
  EXPECT_TRUE(pair->hasFocus());
}

TEST_F(UpDownTest, ActiveArrowStaysUpperUnlessThePairIsATabStop) {
  window.show();
  ClickArrow(pair->DownArrowButton());
  EXPECT_EQ(pair->ActiveArrow(), pair->UpArrowButton());
  pair->SetTabStop(true);
  ClickArrow(pair->DownArrowButton());
  EXPECT_EQ(pair->ActiveArrow(), pair->DownArrowButton());
}

TEST_F(UpDownTest, FocusMarkFollowsTheFocus) {
  pair->SetTabStop(true);
  auto* other = new TEditEx(&window);
  other->move(50, 10);
  Activate(window);
  pair->setFocus();
  EXPECT_TRUE(pair->ActiveArrow()->FocusMark());
  other->setFocus();
  EXPECT_FALSE(pair->ActiveArrow()->FocusMark());
}

TEST_F(UpDownTest, ArrowPressFocusesTheFocusControl) {
  auto* edit = new TEditEx(&window);
  edit->move(50, 10);
  auto* other = new TEditEx(&window);
  other->move(50, 50);
  pair->SetFocusControl(edit);
  Activate(window);
  other->setFocus();
  ClickArrow(pair->UpArrowButton());
  EXPECT_TRUE(edit->hasFocus());
}

TEST_F(UpDownTest, RemovedFocusControlLeavesThePairToFocusItselfOnlyAsATabStop) {
  auto* edit = new TEditEx(&window);
  edit->move(50, 10);
  auto* other = new TEditEx(&window);
  other->move(50, 50);
  pair->SetFocusControl(edit);
  Activate(window);
  other->setFocus();
  delete edit;
  EXPECT_EQ(pair->FocusControl(), nullptr);
  ClickArrow(pair->UpArrowButton());
  EXPECT_TRUE(other->hasFocus());
  pair->SetTabStop(true);
  ClickArrow(pair->UpArrowButton());
  EXPECT_TRUE(pair->hasFocus());
  EXPECT_EQ(ups, 2);
}

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

TEST(UpDownKeys, AFailingClickFromTheKeyboardShowsItsMessage) {
  testing_support::FakeDialogs dialogs;
  QWidget window;
  auto* pair = new TUpDownButton(&window);
  pair->SetTabStop(true);
  pair->OnUpClick = [](QObject*) { throw framework::Exception("Up failed"); };
  pair->OnDownClick = [](QObject*) { throw framework::Exception("Down failed"); };
  Activate(window);
  pair->setFocus();
  QTest::keyClick(pair, Qt::Key_Space);
  QTest::keyClick(pair, Qt::Key_Down);
  EXPECT_EQ(dialogs.errors, QStringList({"Up failed", "Down failed"}));
  EXPECT_EQ(pair->ActiveArrow(), pair->DownArrowButton());
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
