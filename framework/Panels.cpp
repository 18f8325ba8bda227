#include "framework/Panels.h"

#include <qdrawutil.h>
#include <QPainter>

namespace framework {

TPanel::TPanel(QWidget* owner) : QFrame(owner) {
  // The button face, whatever the parent's background is (a panel inside an edit stays grey).
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  resize(185, 41);
}

void TPanel::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
  if (bevel == bevelOuter_) return;
  bevelOuter_ = bevel;
  update();
}

void TPanel::SetBevelInner(TBevelCut bevel) {
  if (bevel == bevelInner_) return;
  bevelInner_ = bevel;
  update();
}

void TPanel::SetBevelWidth(int width) {
  if (width == bevelWidth_ || width < 1) return;
  bevelWidth_ = width;
  update();
}

void TPanel::SetAlignment(TAlignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  update();
}

void TPanel::SetFontColor(const QColor& color) {
  if (color == fontColor_) return;
  fontColor_ = color;
  update();
}

void TPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter);
}

void TPanel::Paint(QPainter& painter) {
  QRect r = rect();
  for (TBevelCut bevel : {bevelOuter_, bevelInner_}) {
    if (bevel == bvNone) continue;
    qDrawShadePanel(&painter, r, palette(), bevel == bvLowered, bevelWidth_);
    r.adjust(bevelWidth_, bevelWidth_, -bevelWidth_, -bevelWidth_);
  }
  if (caption_.isEmpty()) return;
  Qt::Alignment flags = Qt::AlignVCenter;
  flags |= alignment_ == taLeftJustify    ? Qt::AlignLeft
           : alignment_ == taRightJustify ? Qt::AlignRight
                                          : Qt::AlignHCenter;
  painter.setPen(fontColor_);
  painter.setFont(font());
  painter.drawText(r, static_cast<int>(flags) | Qt::TextSingleLine, caption_);
}

}  // namespace framework
