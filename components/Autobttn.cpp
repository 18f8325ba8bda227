#include "components/Autobttn.h"

#include "framework/KeyboardState.h"

TAutoButton::TAutoButton(QWidget* owner) : framework::TSpeedButton(owner) {}

// The timer is a Qt child and goes with the button.
TAutoButton::~TAutoButton() = default;

void TAutoButton::Click() {
  framework::TSpeedButton::Click();
}

void TAutoButton::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
  mouseIsDown_ = true;
  framework::TSpeedButton::MouseDown(button, shift, x, y);
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
  if (OnMouseUp) OnMouseUp(this);
}

void TAutoButton::RepeatTick() {
  repeatTimer_->SetInterval(repeatDelay_);
  // Dragged off the button it shows raised: the timer goes on but clicks pause until the mouse
  // returns.
  if (!ShownPressed() || !MouseCapture()) return;
  try {
    Click();
  } catch (...) {
    repeatTimer_->SetEnabled(false);
    throw;
  }
}
