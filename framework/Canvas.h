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
#include <optional>

#include "framework/Graphics.h"

class QPainter;

namespace framework {

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
