#include "components/Autobttn.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <stdexcept>

#include "framework/SysUtils.h"
#include "support/FakeDialogs.h"

using namespace components;

namespace {

// A shown window with one auto-repeat button; the repeat timer is driven tick by tick, so
// nothing depends on the wall clock.
class AutoButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.resize(100, 60);
    button = new TAutoButton(&window);
    button->setGeometry(10, 10, 30, 22);
    button->OnClick = [this](QObject* sender) {
      ASSERT_EQ(sender, button);
      ++clicks;
    };
    button->OnMouseUp = [this](QObject*) { ++mouseUps; };
    window.show();
  }
  void Press(Qt::KeyboardModifiers modifiers = {}) {
    QTest::mousePress(button, Qt::LeftButton, modifiers, inside);
  }
  void Release(QPoint at) { QTest::mouseRelease(button, Qt::LeftButton, {}, at); }

  QWidget window;
  TAutoButton* button = nullptr;
  int clicks = 0;
  int mouseUps = 0;
  const QPoint inside{5, 5};
  const QPoint outside{60, 40};
};

TEST_F(AutoButtonTest, StartsWithTheDocumentedDefaults) {
  EXPECT_EQ(button->InitialDelay(), 400);
  EXPECT_EQ(button->RepeatDelay(), 100);
  EXPECT_FALSE(button->DoRepeat());
  EXPECT_FALSE(button->ControlRepeat());
  EXPECT_EQ(button->RepeatTimer(), nullptr);
}

TEST_F(AutoButtonTest, AShortPressClicksOnceAtReleaseWithoutRepeating) {
  Press();
  EXPECT_EQ(clicks, 0);
  EXPECT_TRUE(button->MouseIsDown());
  EXPECT_EQ(button->RepeatTimer(), nullptr);
  Release(inside);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(mouseUps, 1);
  EXPECT_FALSE(button->MouseIsDown());
}

TEST_F(AutoButtonTest, HoldingForOneSecondGivesSevenRepeatsThenTheReleaseClick) {
  button->SetDoRepeat(true);
  Press();
  framework::TTimer* timer = button->RepeatTimer();
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_TRUE(timer->Active());
  int elapsed = timer->Interval();  // ms from the press to the first repeat
  EXPECT_EQ(elapsed, 400);
  timer->Tick();
  EXPECT_EQ(clicks, 1);
  while (elapsed + timer->Interval() <= 1000) {
    EXPECT_EQ(timer->Interval(), 100);
    elapsed += timer->Interval();
    timer->Tick();
  }
  EXPECT_EQ(elapsed, 1000);
  EXPECT_EQ(clicks, 7);
  Release(inside);
  EXPECT_EQ(clicks, 8);
  EXPECT_FALSE(timer->Enabled());
  EXPECT_FALSE(timer->Active());
}

TEST_F(AutoButtonTest, TheTimerIsMadeOnceAndRearmedWithTheInitialDelay) {
  button->SetDoRepeat(true);
  button->SetInitialDelay(250);
  Press();
  framework::TTimer* timer = button->RepeatTimer();
  timer->Tick();
  EXPECT_EQ(timer->Interval(), 100);
  Release(inside);
  Press();
  EXPECT_EQ(button->RepeatTimer(), timer);
  EXPECT_EQ(timer->Interval(), 250);
  EXPECT_TRUE(timer->Enabled());
  Release(inside);
}

TEST_F(AutoButtonTest, DraggingOffPausesTheClicksButNotTheTimer) {
  button->SetDoRepeat(true);
  Press();
  framework::TTimer* timer = button->RepeatTimer();
  timer->Tick();
  EXPECT_EQ(clicks, 1);
  QTest::mouseMove(button, outside);
  EXPECT_FALSE(button->ShownPressed());
  timer->Tick();
  timer->Tick();
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(timer->Enabled());
  QTest::mouseMove(button, inside);
  EXPECT_TRUE(button->ShownPressed());
  timer->Tick();
  EXPECT_EQ(clicks, 2);
  QTest::mouseMove(button, outside);
  Release(outside);  // released off the button: no ordinary click
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(mouseUps, 1);
}

TEST_F(AutoButtonTest, ControlRepeatSamplesCtrlAtThePressOnly) {
  button->SetControlRepeat(true);
  Press();
  QTest::keyPress(button, Qt::Key_Control, Qt::ControlModifier);
  EXPECT_TRUE(button->RepeatTimer() == nullptr || !button->RepeatTimer()->Enabled());
  QTest::keyRelease(button, Qt::Key_Control);
  Release(inside);

  Press(Qt::ControlModifier);
  ASSERT_NE(button->RepeatTimer(), nullptr);
  EXPECT_TRUE(button->RepeatTimer()->Enabled());
  button->RepeatTimer()->Tick();
  EXPECT_EQ(clicks, 2);  // the first press's release click and one repeat
  Release(inside);
}

TEST_F(AutoButtonTest, ARightPressNeitherShowsPressedNorRepeats) {
  button->SetDoRepeat(true);
  QTest::mousePress(button, Qt::RightButton, {}, inside);
  EXPECT_TRUE(button->MouseIsDown());
  ASSERT_NE(button->RepeatTimer(), nullptr);
  button->RepeatTimer()->Tick();
  EXPECT_EQ(clicks, 0);
  QTest::mouseRelease(button, Qt::RightButton, {}, inside);
  EXPECT_FALSE(button->MouseIsDown());
}

// --- failing handlers: every click the user gives ends in the standard error box ------------

TEST_F(AutoButtonTest, AnExceptionFromARepeatedClickStopsTheRepeatAndShowsItsMessage) {
  testing_support::FakeDialogs dialogs;
  button->SetDoRepeat(true);
  button->OnClick = [this](QObject*) {
    ++clicks;
    throw framework::Exception("Step failed");
  };
  Press();
  framework::TTimer* timer = button->RepeatTimer();
  EXPECT_NO_THROW(timer->Tick());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(dialogs.errors, QStringList({"Step failed"}));
  EXPECT_EQ(dialogs.last_error_title, framework::ApplicationTitle());
  EXPECT_FALSE(timer->Enabled());
  EXPECT_FALSE(timer->Active());
  button->OnClick = nullptr;
  Release(inside);
  EXPECT_EQ(dialogs.errors.size(), 1);
}

TEST_F(AutoButtonTest, ARepeatFailingFromTheEventLoopShowsTheErrorBoxOnce) {
  // The timer's own delivery, as when the user holds the button.
  testing_support::FakeDialogs dialogs;
  button->SetDoRepeat(true);
  button->SetInitialDelay(1);
  button->SetRepeatDelay(1);
  button->OnClick = [](QObject*) { throw std::runtime_error("no more steps"); };
  Press();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.errors.isEmpty(); }, 10000));
  QTest::qWait(20);  // a running timer would fail again meanwhile
  EXPECT_EQ(dialogs.errors, QStringList({"no more steps"}));
  EXPECT_TRUE(button->MouseIsDown());
  button->OnClick = nullptr;
  Release(inside);
}

// An error box that the user answers after letting go of the mouse: the release goes to the
// box's own window, not to the button.
class ReleasingDialogs : public testing_support::FakeDialogs {
 public:
  void ShowError(const QString& title, const QString& message) override {
    FakeDialogs::ShowError(title, message);
    box.show();
    QTest::mouseRelease(&box, Qt::LeftButton, {}, {5, 5});
  }
  QWidget box;
};

TEST_F(AutoButtonTest, ARepeatFailingWhileTheMouseIsLetGoEndsThePressWithoutAClick) {
  ReleasingDialogs dialogs;
  button->SetDoRepeat(true);
  button->OnClick = [this](QObject*) {
    ++clicks;
    throw framework::Exception("Step failed");
  };
  Press();
  button->RepeatTimer()->Tick();
  EXPECT_EQ(dialogs.errors, QStringList({"Step failed"}));
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(button->MouseIsDown());
  EXPECT_FALSE(button->ShownPressed());
  EXPECT_FALSE(button->MouseCapture());
  EXPECT_FALSE(button->RepeatTimer()->Enabled());
  EXPECT_EQ(mouseUps, 1);
}

TEST_F(AutoButtonTest, ARepeatFailingWhileTheMouseIsStillHeldKeepsThePress) {
  testing_support::FakeDialogs dialogs;
  button->SetDoRepeat(true);
  button->OnClick = [](QObject*) { throw framework::Exception("Step failed"); };
  Press();
  button->RepeatTimer()->Tick();
  EXPECT_TRUE(button->MouseIsDown());
  EXPECT_TRUE(button->ShownPressed());
  EXPECT_EQ(mouseUps, 0);
  button->OnClick = nullptr;
  Release(inside);
  EXPECT_EQ(mouseUps, 1);
}

TEST_F(AutoButtonTest, AFailingClickAtReleaseShowsItsMessageAndStillReportsTheRelease) {
  testing_support::FakeDialogs dialogs;
  button->OnClick = [](QObject*) { throw framework::Exception("Click failed"); };
  Press();
  Release(inside);
  EXPECT_EQ(dialogs.errors, QStringList({"Click failed"}));
  EXPECT_EQ(mouseUps, 1);
  EXPECT_FALSE(button->MouseIsDown());
}

TEST_F(AutoButtonTest, FailingMouseHandlersShowTheirMessages) {
  testing_support::FakeDialogs dialogs;
  button->SetDoRepeat(true);
  button->OnMouseDown = [](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    throw framework::Exception("Down failed");
  };
  button->OnMouseUp = [](QObject*) { throw framework::Exception("Up failed"); };
  Press();
  EXPECT_EQ(dialogs.errors, QStringList({"Down failed"}));
  EXPECT_TRUE(button->MouseIsDown());
  Release(inside);
  EXPECT_EQ(dialogs.errors, QStringList({"Down failed", "Up failed"}));
  EXPECT_FALSE(button->MouseIsDown());
  ASSERT_NE(button->RepeatTimer(), nullptr);
  EXPECT_FALSE(button->RepeatTimer()->Enabled());
}

TEST_F(AutoButtonTest, TheEventLoopDeliversTheRepeatTicks) {
  // Only that the ticks arrive through the event loop; their spacing is checked above.
  button->SetDoRepeat(true);
  button->SetInitialDelay(1);
  button->SetRepeatDelay(1);
  Press();
  EXPECT_TRUE(QTest::qWaitFor([this] { return clicks >= 2; }, 10000));
  Release(inside);
}

}  // namespace
