#pragma once
// The drawing surface that components paint on: a pen, a brush, a font, a current position and
// the few drawing operations the components use, in integer pixels. It draws through a
// QPainter; a subclass may record the calls instead, so drawing code above it never touches
// QPainter itself.
//
// Conventions carried over from the platform the components were written for:
// - LineTo draws from the current position up to, but not including, the end point, so a
//   polyline covers each joint pixel exactly once.
// - Rectangles (TRect, Rectangle) include their left and top edges and exclude their right and
//   bottom edges.
// - FrameRect draws with the brush colour, not the pen.
#include <QFont>
#include <QLine>
#include <QList>
#include <QPoint>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "framework/Graphics.h"

class QPainter;

namespace framework {

// The pixels of a one-pixel line from `from` up to, but not including, `to`: one per step along
// the major axis, the minor coordinate the exact one rounded half up, so the same pixels appear
// whichever way the line runs. Each row (or column) of them goes to `run` as
// run(low, high, minor, xMajor): pixels low .. high - 1 along the major axis at `minor`. Only the
// part over a device `width` × `height` is walked, so a line towards a far-off point costs no
// more than one across the picture.
template <class Run>
void ForEachSlantedRun(QPoint from, QPoint to, int width, int height, Run&& run) {
  const bool xMajor = std::abs(to.x() - from.x()) >= std::abs(to.y() - from.y());
  const int majorStart = xMajor ? from.x() : from.y();
  const int minorStart = xMajor ? from.y() : from.x();
  const int majorDelta = xMajor ? to.x() - from.x() : to.y() - from.y();
  const int minorDelta = xMajor ? to.y() - from.y() : to.x() - from.x();
  const int64_t steps = std::abs(majorDelta);
  const int direction = majorDelta > 0 ? 1 : -1;
  auto minorAt = [&](int64_t k) {
    // floor((2 k minorDelta + steps) / (2 steps)), i.e. k × minorDelta / steps rounded half up
    const int64_t numerator = 2 * k * minorDelta + steps;
    const int64_t denominator = 2 * steps;
    int64_t q = numerator / denominator;
    if (numerator % denominator != 0 && numerator < 0) --q;
    return minorStart + int(q);
  };
  const int majorLimit = xMajor ? width : height;
  int64_t first = 0;
  int64_t last = steps - 1;
  if (direction > 0) {
    first = std::max<int64_t>(first, -1 - int64_t(majorStart));
    last = std::min<int64_t>(last, int64_t(majorLimit) - majorStart);
  } else {
    first = std::max<int64_t>(first, int64_t(majorStart) - majorLimit);
    last = std::min<int64_t>(last, int64_t(majorStart) + 1);
  }
  if (first > last) return;
  int64_t runStart = first;
  int runMinor = minorAt(first);
  for (int64_t k = first + 1; k <= last + 1; ++k) {
    const bool end = k > last;
    const int minor = end ? 0 : minorAt(k);
    if (!end && minor == runMinor) continue;
    const int a = majorStart + int(runStart) * direction;
    const int b = majorStart + int(k - 1) * direction;
    run(std::min(a, b), std::max(a, b) + 1, runMinor, xMajor);
    runStart = k;
    runMinor = minor;
  }
}

enum class TPenStyle { psSolid, psDash, psDot, psClear };
enum class TBrushStyle { bsSolid, bsClear };
// Where the y of a text operation lies: at the top of the text cell, or on its baseline.
enum class TTextAlign { taTopLeft, taBaselineLeft };

// Left and Top inside, Right and Bottom just outside.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

struct TPen {
  TColor Color = clBlack;
  int Width = 1;  // pixels; 0 draws as 1
  TPenStyle Style = TPenStyle::psSolid;
  bool operator==(const TPen&) const = default;
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
  bool operator==(const TBrush&) const = default;
};

class TCanvas {
 public:
  // `painter` may be null for a subclass that draws nowhere (it then overrides the Do...
  // operations and the text metrics).
  explicit TCanvas(QPainter* painter);
  virtual ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  QPainter* Painter() const { return painter_; }

  const TPen& Pen() const { return pen_; }
  void SetPenColor(TColor color) { pen_.Color = color; }
  void SetPenWidth(int width) { pen_.Width = width; }
  void SetPenStyle(TPenStyle style) { pen_.Style = style; }

  const TBrush& Brush() const { return brush_; }
  void SetBrushColor(TColor color) { brush_.Color = color; }
  void SetBrushStyle(TBrushStyle style) { brush_.Style = style; }

  const QFont& Font() const { return font_; }
  void SetFont(const QFont& font) { font_ = font; }
  TColor FontColor() const { return fontColor_; }
  void SetFontColor(TColor color) { fontColor_ = color; }

  TTextAlign TextAlign() const { return textAlign_; }
  void SetTextAlign(TTextAlign align) { textAlign_ = align; }
  // Transparent: text leaves the pixels around its glyphs alone. Opaque (the initial mode):
  // text cells are first filled with the brush colour, unless the brush is clear.
  bool TransparentBackground() const { return transparent_; }
  void SetTransparentBackground(bool transparent) { transparent_ = transparent; }

  // Drawing is limited to `rect` until RemoveClip.
  const std::optional<TRect>& ClipRect() const { return clip_; }
  void SetClipRect(const TRect& rect) { clip_ = rect; }
  void RemoveClip() { clip_.reset(); }

  QPoint PenPos() const { return penPos_; }
  void MoveTo(int x, int y) { penPos_ = QPoint(x, y); }
  // A line in the pen from the current position to (x, y), without the pixel at (x, y);
  // (x, y) becomes the current position.
  void LineTo(int x, int y);
  // Outline in the pen, inside filled with the brush (unless clear). The corners may come in
  // any order.
  void Rectangle(int left, int top, int right, int bottom);
  void FillRect(const TRect& rect);
  // A one-pixel border just inside `rect` in the brush colour.
  void FrameRect(const TRect& rect);
  // Text in the font colour at (x, y), read according to TextAlign.
  void TextOut(int x, int y, const QString& text);
  // As TextOut, but nothing outside `rect` is touched; with an opaque background the whole
  // rectangle is filled with the brush first.
  void TextRect(const TRect& rect, int x, int y, const QString& text);
  // The dotted rectangle that marks keyboard focus: every other pixel of the border inverted,
  // so drawing it twice restores the picture.
  void DrawFocusRect(const TRect& rect);

  virtual int TextWidth(const QString& text);
  // The height of a text cell in the current font (the same for every text).
  virtual int TextHeight(const QString& text);

 protected:
  virtual void DoLine(QPoint from, QPoint to);
  virtual void DoRectangle(const TRect& rect);
  virtual void DoFillRect(const TRect& rect);
  virtual void DoFrameRect(const TRect& rect);
  virtual void DoTextOut(int x, int y, const QString& text, const std::optional<TRect>& bounds);
  virtual void DoFocusRect(const TRect& rect);

 private:
  // Brings the painter's pen, brush and clip in line with the canvas state.
  void ApplyPen();
  void ApplyNoPen();
  void ApplyBrush(TColor color);
  void ApplyClip();
  int Ascent();
  void DrawSlantedLine(QPoint from, QPoint to);

  QPainter* painter_;
  TPen pen_;
  TBrush brush_;
  QFont font_;
  TColor fontColor_ = clBlack;
  TTextAlign textAlign_ = TTextAlign::taTopLeft;
  bool transparent_ = false;
  std::optional<TRect> clip_;
  QPoint penPos_;

  // What the painter currently holds, to skip redundant state changes on long polylines.
  std::optional<TPen> appliedPen_;
  std::optional<TColor> appliedBrush_;
  bool appliedClip_ = false;
  std::optional<TRect> appliedClipRect_;
  QList<QLine> runs_;  // reused by DrawSlantedLine
};

}  // namespace framework
