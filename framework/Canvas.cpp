#include "framework/Canvas.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace framework {

namespace {

// A rectangle with an empty or inverted extent becomes an empty QRect that clips everything.
QRect ToQRect(const TRect& r) {
  if (r.Right <= r.Left || r.Bottom <= r.Top) return QRect(r.Left, r.Top, 0, 0);
  return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

TRect Normalized(int left, int top, int right, int bottom) {
  return TRect{std::min(left, right), std::min(top, bottom), std::max(left, right),
               std::max(top, bottom)};
}

}  // namespace

TCanvas::TCanvas(QPainter* painter) : painter_(painter) {
  if (painter_ != nullptr) font_ = painter_->font();
}

TCanvas::~TCanvas() = default;

void TCanvas::LineTo(int x, int y) {
  DoLine(penPos_, QPoint(x, y));
  penPos_ = QPoint(x, y);
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) {
  DoRectangle(Normalized(left, top, right, bottom));
}

void TCanvas::FillRect(const TRect& rect) {
  DoFillRect(rect);
}

void TCanvas::FrameRect(const TRect& rect) {
  DoFrameRect(rect);
}

void TCanvas::TextOut(int x, int y, const QString& text) {
  DoTextOut(x, y, text, std::nullopt);
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const QString& text) {
  DoTextOut(x, y, text, rect);
}

void TCanvas::DrawFocusRect(const TRect& rect) {
  DoFocusRect(rect);
}

int TCanvas::TextWidth(const QString& text) {
  return QFontMetrics(font_, painter_ ? painter_->device() : nullptr).horizontalAdvance(text);
}

int TCanvas::TextHeight(const QString&) {
  return QFontMetrics(font_, painter_ ? painter_->device() : nullptr).height();
}

int TCanvas::Ascent() {
  return QFontMetrics(font_, painter_ ? painter_->device() : nullptr).ascent();
}

void TCanvas::ApplyPen() {
  if (appliedPen_ == pen_) return;
  QPen pen(ColorToQColor(pen_.Color));
  if (pen_.Width <= 1) {
    // One-pixel lines: Qt's cosmetic stroker with flat caps leaves out the last pixel, as
    // line drawing here must.
    pen.setWidth(0);
    pen.setCapStyle(Qt::FlatCap);
    if (pen_.Style == TPenStyle::psDot) pen.setDashPattern({3, 3});    // 3 px on, 3 off
    if (pen_.Style == TPenStyle::psDash) pen.setDashPattern({18, 6});  // 18 px on, 6 off
  } else {
    // Wide pens are always solid with round ends and joins.
    pen.setWidth(pen_.Width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
  }
  painter_->setPen(pen);
  appliedPen_ = pen_;
}

void TCanvas::ApplyNoPen() {
  painter_->setPen(Qt::NoPen);
  appliedPen_.reset();
}

void TCanvas::ApplyBrush(TColor color) {
  if (appliedBrush_ == color) return;
  painter_->setBrush(ColorToQColor(color));
  appliedBrush_ = color;
}

void TCanvas::ApplyClip() {
  if (appliedClip_ && appliedClipRect_ == clip_) return;
  if (clip_) {
    painter_->setClipRect(ToQRect(*clip_));
  } else {
    painter_->setClipping(false);
  }
  appliedClip_ = true;
  appliedClipRect_ = clip_;
}

void TCanvas::DoLine(QPoint from, QPoint to) {
  if (painter_ == nullptr || pen_.Style == TPenStyle::psClear || from == to) return;
  ApplyClip();
  ApplyPen();
  const int dx = to.x() - from.x();
  const int dy = to.y() - from.y();
  if (pen_.Width > 1) {
    painter_->drawLine(from, to);
  } else if (dx != 0 && dy != 0 && pen_.Style == TPenStyle::psSolid) {
    DrawSlantedLine(from, to);
  } else {
    // Qt leaves out the pixel with the larger coordinate along the line's major axis, whichever
    // end that is. A line running towards smaller coordinates is moved one pixel along that
    // axis, so that its start is drawn and its end is not (exact for horizontal and vertical
    // lines, within a pixel for slanted patterned ones).
    if (std::abs(dx) >= std::abs(dy)) {
      if (dx < 0) {
        from.rx() += 1;
        to.rx() += 1;
      }
    } else if (dy < 0) {
      from.ry() += 1;
      to.ry() += 1;
    }
    painter_->drawLine(from, to);
  }
}

void TCanvas::DrawSlantedLine(QPoint from, QPoint to) {
  // Pixels in a row (or column) go to the painter as one run; a horizontal or vertical Qt line
  // covers [low, high) along its axis.
  const QPaintDevice* device = painter_->device();
  runs_.clear();
  ForEachSlantedRun(
      from, to, device->width(), device->height(),
      [this](int low, int high, int minor, bool xMajor) {
        runs_.push_back(xMajor ? QLine(low, minor, high, minor) : QLine(minor, low, minor, high));
      });
  if (!runs_.isEmpty()) painter_->drawLines(runs_);
}

void TCanvas::DoRectangle(const TRect& rect) {
  if (painter_ == nullptr || rect.Width() <= 0 || rect.Height() <= 0) return;
  ApplyClip();
  if (brush_.Style == TBrushStyle::bsSolid)
    painter_->fillRect(ToQRect(rect), ColorToQColor(brush_.Color));
  if (pen_.Style == TPenStyle::psClear) return;
  ApplyPen();
  painter_->setBrush(Qt::NoBrush);
  appliedBrush_.reset();
  // A one-pixel outline of QRect(x, y, w, h) covers x … x + w, so one less keeps the right
  // and bottom edges outside.
  painter_->drawRect(QRect(rect.Left, rect.Top, rect.Width() - 1, rect.Height() - 1));
}

void TCanvas::DoFillRect(const TRect& rect) {
  if (painter_ == nullptr || rect.Width() <= 0 || rect.Height() <= 0) return;
  ApplyClip();
  painter_->fillRect(ToQRect(rect), ColorToQColor(brush_.Color));
}

void TCanvas::DoFrameRect(const TRect& rect) {
  if (painter_ == nullptr || rect.Width() <= 0 || rect.Height() <= 0) return;
  ApplyClip();
  const QColor color = ColorToQColor(brush_.Color);
  painter_->fillRect(QRect(rect.Left, rect.Top, rect.Width(), 1), color);
  painter_->fillRect(QRect(rect.Left, rect.Bottom - 1, rect.Width(), 1), color);
  painter_->fillRect(QRect(rect.Left, rect.Top, 1, rect.Height()), color);
  painter_->fillRect(QRect(rect.Right - 1, rect.Top, 1, rect.Height()), color);
}

void TCanvas::DoTextOut(int x, int y, const QString& text, const std::optional<TRect>& bounds) {
  if (painter_ == nullptr) return;
  ApplyClip();
  const bool opaque = !transparent_ && brush_.Style == TBrushStyle::bsSolid;
  const int ascent = Ascent();
  const int baseline = textAlign_ == TTextAlign::taTopLeft ? y + ascent : y;
  if (bounds) {
    painter_->save();
    painter_->setClipRect(ToQRect(*bounds), Qt::IntersectClip);
    if (opaque) painter_->fillRect(ToQRect(*bounds), ColorToQColor(brush_.Color));
  } else if (opaque) {
    painter_->fillRect(QRect(x, baseline - ascent, TextWidth(text), TextHeight(text)),
                       ColorToQColor(brush_.Color));
  }
  painter_->setFont(font_);
  painter_->setPen(ColorToQColor(fontColor_));
  appliedPen_.reset();
  painter_->drawText(QPoint(x, baseline), text);
  if (bounds) {
    painter_->restore();
    appliedBrush_.reset();
    appliedClip_ = false;
  }
}

void TCanvas::DoFocusRect(const TRect& rect) {
  if (painter_ == nullptr || rect.Width() <= 0 || rect.Height() <= 0) return;
  ApplyClip();
  // Every border pixel once, every other one inverted (starting at the top-left corner).
  QPolygon dots;
  auto add = [&](int x, int y) {
    if (((x - rect.Left) + (y - rect.Top)) % 2 == 0) dots << QPoint(x, y);
  };
  for (int x = rect.Left; x < rect.Right; ++x) add(x, rect.Top);
  if (rect.Height() > 1)
    for (int x = rect.Left; x < rect.Right; ++x) add(x, rect.Bottom - 1);
  for (int y = rect.Top + 1; y < rect.Bottom - 1; ++y) {
    add(rect.Left, y);
    if (rect.Width() > 1) add(rect.Right - 1, y);
  }
  painter_->save();
  painter_->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter_->setPen(QPen(Qt::white, 0));
  painter_->drawPoints(dots);
  painter_->restore();
  appliedPen_.reset();
  appliedBrush_.reset();
  appliedClip_ = false;
}

}  // namespace framework
