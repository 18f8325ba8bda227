#pragma once
// TAutoButton: a speed button that repeats its click while it is held down.
#include <functional>

#include "framework/Buttons.h"
#include "framework/Timers.h"

namespace components {

class TAutoButton : public framework::TSpeedButton {
  Q_OBJECT
  Q_PROPERTY(bool DoRepeat READ DoRepeat WRITE SetDoRepeat)
  Q_PROPERTY(bool ControlRepeat READ ControlRepeat WRITE SetControlRepeat)
  Q_PROPERTY(int InitialDelay READ InitialDelay WRITE SetInitialDelay)
  Q_PROPERTY(int RepeatDelay READ RepeatDelay WRITE SetRepeatDelay)
 public:
  explicit TAutoButton(QWidget* owner = nullptr);
  ~TAutoButton() override;

  // Repeat the click while held down.
  bool DoRepeat() const { return doRepeat_; }
  void SetDoRepeat(bool on) { doRepeat_ = on; }
  // Repeat only when Ctrl is down at the moment of the press.
  bool ControlRepeat() const { return controlRepeat_; }
  void SetControlRepeat(bool on) { controlRepeat_ = on; }
  // Milliseconds from the press to the first repeated click.
  int InitialDelay() const { return initialDelay_; }
  void SetInitialDelay(int ms) { initialDelay_ = ms; }
  // Milliseconds between the following repeated clicks.
  int RepeatDelay() const { return repeatDelay_; }
  void SetRepeatDelay(int ms) { repeatDelay_ = ms; }

  // True from any mouse press on the button to the next release.
  bool MouseIsDown() const { return mouseIsDown_; }
  // The repeat timer; none before the first press that repeats.
  framework::TTimer* RepeatTimer() const { return repeatTimer_; }

  void Click() override;

  // Fired after the button is released.
  std::function<void(QObject* Sender)> OnMouseUp;

 protected:
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;

 private:
  void RepeatTick();

  bool doRepeat_ = false;
  bool controlRepeat_ = false;
  int initialDelay_ = 400;
  int repeatDelay_ = 100;
  bool mouseIsDown_ = false;
  framework::TTimer* repeatTimer_ = nullptr;
};

}  // namespace components
