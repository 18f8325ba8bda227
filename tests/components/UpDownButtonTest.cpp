// The arrow pair: its layout, clicks, auto-repeat, keyboard and focus handling.
#include "components/UpDownButton.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include "components/EditEx.h"
#include "framework/SysUtils.h"
#include "support/FakeDialogs.h"
#include "support/SpinWindow.h"

using namespace components;

namespace {

using testing_support::Activate;

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

}  // namespace
