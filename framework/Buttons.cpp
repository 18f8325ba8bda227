#include "framework/Buttons.h"

#include <qdrawutil.h>
#include <QMouseEvent>
#include <QPainter>

namespace framework {

TSpeedButton::TSpeedButton(QWidget* owner) : QAbstractButton(owner) {
  // A speed button never takes the keyboard focus.
  setFocusPolicy(Qt::NoFocus);
  resize(23, 22);
  connect(this, &QAbstractButton::clicked, this, [this] { Click(); });
}

void TSpeedButton::SetDown(bool down) {
  if (down == latchedDown_) return;
  latchedDown_ = down;
  update();
}

void TSpeedButton::Click() {
  if (OnClick) OnClick(this);
}

void TSpeedButton::mousePressEvent(QMouseEvent* event) {
  QMouseEvent* outer = currentEvent_;
  currentEvent_ = event;
  const QPoint p = event->position().toPoint();
  MouseDown(event->button(), event->modifiers(), p.x(), p.y());
  currentEvent_ = outer;
}

void TSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
  QMouseEvent* outer = currentEvent_;
  currentEvent_ = event;
  const QPoint p = event->position().toPoint();
  MouseUp(event->button(), event->modifiers(), p.x(), p.y());
  currentEvent_ = outer;
}

void TSpeedButton::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
  if (currentEvent_) {
    // Qt delivers every later mouse event to the pressed widget until release: that is the
    // capture.
    if (button == Qt::LeftButton && isEnabled()) capture_ = true;
    QAbstractButton::mousePressEvent(currentEvent_);
  }
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TSpeedButton::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
  if (button == Qt::LeftButton) capture_ = false;
  // The base fires clicked (and so Click) when released over the button.
  if (currentEvent_) QAbstractButton::mouseReleaseEvent(currentEvent_);
}

void TSpeedButton::hideEvent(QHideEvent* event) {
  capture_ = false;
  QAbstractButton::hideEvent(event);
}

void TSpeedButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) capture_ = false;
  QAbstractButton::changeEvent(event);
}

void TSpeedButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter);
}

void TSpeedButton::Paint(QPainter& painter) {
  // The classic two-line bevel: raised at rest, sunken while pressed or latched down.
  const bool pressed = isDown() || latchedDown_;
  const QBrush face = palette().brush(QPalette::Button);
  qDrawWinButton(&painter, rect(), palette(), pressed, &face);
}

}  // namespace framework
