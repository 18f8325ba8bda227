#include "components/Autobttn.h"

#include <QGuiApplication>

#include "framework/Forms.h"
#include "framework/KeyboardState.h"

namespace components {

TAutoButton::TAutoButton(QWidget* owner) : framework::TSpeedButton(owner) {}

// The timer is a Qt child and goes with the button.
TAutoButton::~TAutoButton() = default;

// Reached from Qt's click at release and from keys that click the button: the handler runs
// inside the standard handler, so an exception shows its message and unwinds no further.
void TAutoButton::Click() {
  framework::RunGuarded([this] { framework::TSpeedButton::Click(); });
}

void TAutoButton::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
  mouseIsDown_ = true;
  framework::RunGuarded([&] { framework::TSpeedButton::MouseDown(button, shift, x, y); });
  // Ctrl is sampled now, at the press; pressing it later does not start the repeat.
  if (!doRepeat_ && !(controlRepeat_ && framework::CtrlKeyDown())) return;
  if (!repeatTimer_) {
    repeatTimer_ = new framework::TTimer(this);
    repeatTimer_->OnTimer = [this](QObject*) { RepeatTick(); };
  }
  repeatTimer_->SetInterval(initialDelay_);
  repeatTimer_->SetEnabled(true);
}

void TAutoButton::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
  mouseIsDown_ = false;
  framework::TSpeedButton::MouseUp(button, shift, x, y);
  if (repeatTimer_) repeatTimer_->SetEnabled(false);
  framework::RunGuarded([this] {
    if (OnMouseUp) OnMouseUp(this);
  });
}

void TAutoButton::RepeatTick() {
  repeatTimer_->SetInterval(repeatDelay_);
  // Dragged off the button it shows raised: the timer goes on but clicks pause until the mouse
  // returns.
  if (!ShownPressed() || !MouseCapture()) return;
  // A failing click stops the repeat, then its message goes to the standard error box like that
  // of any other click the user gives.
  bool failed = false;
  framework::RunGuarded([&] {
    try {
      framework::TSpeedButton::Click();
    } catch (...) {
      failed = true;
      repeatTimer_->SetEnabled(false);
      throw;
    }
  });
  // The error box held the mouse: a release given meanwhile went to the box, so the press ends
  // here, raised and without a click.
  if (failed && mouseIsDown_ && !QGuiApplication::mouseButtons().testFlag(Qt::LeftButton)) {
    setDown(false);
    MouseUp(Qt::LeftButton, {}, 0, 0);
  }
}

}  // namespace components
