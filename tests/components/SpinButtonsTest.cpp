#include "components/SpinButtons.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include "framework/Sound.h"

inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace {

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
  EXPECT_EQ(edit->Alignment(), taLeftJustify);
  EXPECT_TRUE(edit->alignment() & Qt::AlignLeft);
  edit->SetAlignment(taRightJustify);
  EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
  edit->SetAlignment(taCenter);
  EXPECT_TRUE(edit->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(edit->property("Alignment").toInt(), taCenter);
}

TEST(EditEx, SettingTheSameAlignmentLeavesTheFieldAlone) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  Activate(window);
  edit->setFocus();
  edit->SetText("12345");
  edit->setSelection(1, 2);
  edit->SetAlignment(taLeftJustify);
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
  void StepUp() override { ++ups; }
  void StepDown() override { ++downs; }
  bool KeyAllowed(QChar key) override {
    if (key.unicode() == 13) return false;
    if (!EditorEnabled() && (key.unicode() >= 32 || key.unicode() == 8)) return false;
    return key.isDigit() || key.unicode() < 32;
  }
  int ups = 0;
  int downs = 0;
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
  EXPECT_EQ(spin->SpinButton()->geometry(), QRect(121 - 15 - 2, 2, 15, 24 - 4));
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
            QRect(spin->SpinButton()->x() - textWidth - 6, 2, textWidth + 6, 20));
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

TEST_F(CustomSpinTest, TabbingInSelectsAllText) {
  auto* before = new TEditEx(&window);
  before->move(10, 60);
  spin->SetText("123");
  Activate(window);
  before->setFocus();
  int enters = 0;
  spin->OnEnter = [&](QObject*) { ++enters; };
  spin->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(spin->selectedText(), "123");
  EXPECT_EQ(enters, 1);
}

}  // namespace
