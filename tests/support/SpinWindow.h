#pragma once
// A shown, active window with one spin editor and a second field to move the focus to, counting
// the spin's change and wrap events and the beeps it makes.
#include <gtest/gtest.h>

#include <QString>
#include <QTest>
#include <QWidget>
#include <ostream>
#include <vector>

#include "components/SpinButtons.h"
#include "framework/Sound.h"

// Shows QStrings readably in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace testing_support {

template <class Spin>
class SpinWindowTest : public ::testing::Test {
 protected:
  explicit SpinWindowTest(int spin_width) : spin_width_(spin_width) {}

  void SetUp() override {
    window.resize(300, 100);
    spin = new Spin(&window);
    spin->setGeometry(10, 10, spin_width_, 24);
    other = new TEditEx(&window);
    other->move(10, 50);
    spin->OnChange = [this](QObject*) { ++changes; };
    spin->OnWrap = [this](QObject*, TWrapMode mode) { wraps.push_back(mode); };
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  // Types text over the whole field, then leaves it.
  void TypeAndLeave(const QString& text) {
    spin->setFocus(Qt::TabFocusReason);
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Delete);
    QTest::keyClicks(spin, text);
    other->setFocus(Qt::TabFocusReason);
  }
  void ClickUp(Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(spin->SpinButton()->UpArrowButton(), Qt::LeftButton, modifiers, {3, 3});
  }
  void ClickDown() {
    QTest::mouseClick(spin->SpinButton()->DownArrowButton(), Qt::LeftButton, {}, {3, 6});
  }

  QWidget window;
  Spin* spin = nullptr;
  TEditEx* other = nullptr;
  int changes = 0;
  std::vector<TWrapMode> wraps;
  int beeps = 0;
  framework::ScopedBeepHook beepHook{[this] { ++beeps; }};

 private:
  int spin_width_;
};

}  // namespace testing_support
