#include "components/Onoffbox.h"

#include <QMouseEvent>
#include <QPainter>

namespace components {

namespace {

QColor ToQColor(TColor color) {
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// Draws `width` rings of a bevel inside `rect` and returns what is left inside them.
QRect DrawBevel(QPainter& painter, QRect rect, TOnOffBox::TPanelBevel bevel, int width) {
  if (bevel == TOnOffBox::bvNone) return rect;
  const QColor shadow(0x80, 0x80, 0x80);
  const QColor highlight(0xFF, 0xFF, 0xFF);
  const QColor topLeft = bevel == TOnOffBox::bvLowered ? shadow : highlight;
  const QColor bottomRight = bevel == TOnOffBox::bvLowered ? highlight : shadow;
  for (int ring = 0; ring < width && rect.width() > 0 && rect.height() > 0; ++ring) {
    painter.setPen(topLeft);
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
    rect.adjust(1, 1, -1, -1);
  }
  return rect;
}

}  // namespace

TOnOffBox::TOnOffBox(QWidget* owner) : QWidget(owner) {
  resize(26, 26);
  UpdateLook();
}

void TOnOffBox::UpdateLook() {
  if (!isEnabled()) {
    color_ = clSilver;  // the caption stays what it was
  } else if (boxOn_) {
    color_ = onColor_;
    caption_ = onString_;
  } else {
    color_ = offColor_;
    caption_ = offString_;
  }
  update();
}

void TOnOffBox::SetBoxOn(bool on) {
  boxOn_ = on;
  UpdateLook();
}

void TOnOffBox::SetOnString(const QString& text) {
  onString_ = text;
  if (boxOn_) {
    caption_ = text;
    update();
  }
}

void TOnOffBox::SetOffString(const QString& text) {
  offString_ = text;
  if (!boxOn_) {
    caption_ = text;
    update();
  }
}

void TOnOffBox::SetOnColor(TColor color) {
  if (color == onColor_) return;
  onColor_ = color;
  UpdateLook();
}

void TOnOffBox::SetOffColor(TColor color) {
  if (color == offColor_) return;
  offColor_ = color;
  UpdateLook();
}

void TOnOffBox::SetUserChangeable(bool changeable) {
  if (changeable == userChangeable_) return;
  userChangeable_ = changeable;
  UpdateLook();
}

void TOnOffBox::SetBevelInner(TPanelBevel bevel) {
  if (bevel == bevelInner_) return;
  bevelInner_ = bevel;
  update();
}

void TOnOffBox::SetBevelOuter(TPanelBevel bevel) {
  if (bevel == bevelOuter_) return;
  bevelOuter_ = bevel;
  update();
}

void TOnOffBox::SetBevelWidth(int pixels) {
  if (pixels == bevelWidth_) return;
  bevelWidth_ = pixels;
  update();
}

void TOnOffBox::SetBorderWidth(int pixels) {
  if (pixels == borderWidth_) return;
  borderWidth_ = pixels;
  update();
}

void TOnOffBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect rect = this->rect();
  painter.fillRect(rect, ToQColor(color_));
  rect = DrawBevel(painter, rect, bevelOuter_, bevelWidth_);
  rect.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
  rect = DrawBevel(painter, rect, bevelInner_, bevelWidth_);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.setFont(font());
  painter.drawText(rect, Qt::AlignCenter, caption_);
}

void TOnOffBox::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
  if (button == Qt::LeftButton && userChangeable_) SetBoxOn(!boxOn_);
}

void TOnOffBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) clickPending_ = true;
  const QPoint at = event->position().toPoint();
  MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

// The second press of a double click is reported first as a double click, then as a press; it
// toggles again like any press, and its release is no separate click.
void TOnOffBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick(this);
  const QPoint at = event->position().toPoint();
  MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TOnOffBox::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && clickPending_) {
    clickPending_ = false;
    if (rect().contains(at) && OnClick) OnClick(this);
  }
  if (OnMouseUp) OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y());
}

void TOnOffBox::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (OnMouseMove) OnMouseMove(this, event->modifiers(), at.x(), at.y());
}

void TOnOffBox::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (OnResize) OnResize(this);
}

void TOnOffBox::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  if (OnEnter) OnEnter(this);
}

void TOnOffBox::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  if (OnExit) OnExit(this);
}

}  // namespace components
