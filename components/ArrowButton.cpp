#include "components/ArrowButton.h"

#include <QPainter>

namespace components {

namespace {

// The arrow triangle's colours: black, or grey (0x808080) when disabled.
const QColor kArrowEnabled(0, 0, 0);
const QColor kArrowDisabled(0x80, 0x80, 0x80);

}  // namespace

void TArrowButton::SetUpArrow(bool up) {
  if (up == upArrow_) return;
  upArrow_ = up;
  update();
}

void TArrowButton::Paint(QPainter& painter) {
  TAutoButton::Paint(painter);
  const QColor colour = isEnabled() ? kArrowEnabled : kArrowDisabled;
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(colour, 0));
  painter.setBrush(colour);
  const int w = width();
  const int h = height();
  // A triangle 7 px wide and 4 rows high, centred; integer division truncates toward zero.
  const int left = (w - 7) / 2;
  if (upArrow_) {
    const int point = (h - 3) / 2 - 1;
    const QPoint corners[] = {{left, point + 3}, {left + 6, point + 3}, {left + 3, point}};
    painter.drawPolygon(corners, 3);
  } else {
    const int top = (h - 3) / 2;
    const QPoint corners[] = {{left, top}, {left + 6, top}, {left + 3, top + 3}};
    painter.drawPolygon(corners, 3);
  }
  if (!focusMark_) return;
  // The focus rectangle: the face shrunk by 3 px, following the face by (1, 1) when latched.
  QRect r = rect().adjusted(3, 3, -3, -3);
  if (Down()) r.translate(1, 1);
  // Dotted black on the white focus brush.
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::black, 0, Qt::DotLine));
  painter.drawRect(r.adjusted(0, 0, -1, -1));
}

}  // namespace components
