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

// Presses and releases a key as an X server delivers it: with the text the X keyboard attaches
// (Delete carries U+007F, Backspace "\b", Ctrl+A "\x01", Escape "\x1b"), which QTest's own key
// clicks leave out.
inline void XKeyClick(QWidget* widget, Qt::Key key, char16_t text,
                      Qt::KeyboardModifiers modifiers = {}) {
  QTest::sendKeyEvent(QTest::Press, widget, key, QString(QChar(text)), modifiers);
  QTest::sendKeyEvent(QTest::Release, widget, key, QString(QChar(text)), modifiers);
}
inline constexpr char16_t kXDeleteText = 0x7F;

// Shows a window and waits until it is the active one, as keys need.
inline void Activate(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

template <class Spin>
class SpinWindowTest : public ::testing::Test {
 protected:
  explicit SpinWindowTest(int spin_width) : spin_width_(spin_width) {}

  void SetUp() override {
    window.resize(300, 100);
    spin = new Spin(&window);
    spin->setGeometry(10, 10, spin_width_, 24);
    other = new components::TEditEx(&window);
    other->move(10, 50);
    spin->OnChange = [this](QObject*) { ++changes; };
    spin->OnWrap = [this](QObject*, components::TWrapMode mode) { wraps.push_back(mode); };
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  // Types text over the whole field, then leaves it.
  void TypeAndLeave(const QString& text) {
    spin->setFocus(Qt::TabFocusReason);
    spin->selectAll();
    XKeyClick(spin, Qt::Key_Delete, kXDeleteText);
    QTest::keyClicks(spin, text);
    other->setFocus(Qt::TabFocusReason);
  }
  // Clicks in the middle of an arrow, whatever height the font gives the spin.
  void ClickUp(Qt::KeyboardModifiers modifiers = {}) {
    components::TArrowButton* up = spin->SpinButton()->UpArrowButton();
    QTest::mouseClick(up, Qt::LeftButton, modifiers, up->rect().center());
  }
  void ClickDown() {
    components::TArrowButton* down = spin->SpinButton()->DownArrowButton();
    QTest::mouseClick(down, Qt::LeftButton, {}, down->rect().center());
  }

  QWidget window;
  Spin* spin = nullptr;
  components::TEditEx* other = nullptr;
  int changes = 0;
  std::vector<components::TWrapMode> wraps;
  int beeps = 0;
  framework::ScopedBeepHook beepHook{[this] { ++beeps; }};

 private:
  int spin_width_;
};

}  // namespace testing_support
