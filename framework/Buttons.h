#pragma once
// The framework's speed button: a push button without the keyboard focus, shown raised or
// pressed, with an optional latched Down state. A left press on an enabled button shows it
// pressed and captures the mouse; dragging off shows it raised again and dragging back
// pressed; releasing over it clicks.
#include <QAbstractButton>
#include <functional>

namespace framework {

class TSpeedButton : public QAbstractButton {
  Q_OBJECT
  Q_PROPERTY(bool Down READ Down WRITE SetDown)
 public:
  explicit TSpeedButton(QWidget* owner = nullptr);

  // Latched down: the face stays pressed until the property is cleared.
  bool Down() const { return latchedDown_; }
  void SetDown(bool down);

  // Shown pressed by a mouse press right now (not the latched state).
  bool ShownPressed() const { return isDown(); }
  // Holds the mouse capture: from a left press on the enabled button to its release.
  bool MouseCapture() const { return capture_; }

  // Fires OnClick; the release over the button runs it, descendants may run it too.
  virtual void Click();

  std::function<void(QObject* Sender)> OnClick;
  // Raised for every press and release, before and after the button's own handling.
  std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                     int Y)>
      OnMouseDown;

  QSize sizeHint() const override { return QSize(23, 22); }

 protected:
  virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  virtual void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  // Face, frame and pressed look.
  virtual void Paint(QPainter& painter);

  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool latchedDown_ = false;
  bool capture_ = false;
  // The event being handled, so that the speed button's own handling can be run from the
  // overridable MouseDown/MouseUp as a call to the base.
  QMouseEvent* currentEvent_ = nullptr;
};

}  // namespace framework
