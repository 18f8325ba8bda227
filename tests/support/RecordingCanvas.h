#pragma once
// A canvas that draws nowhere and keeps a list of what it was asked to draw, each call with the
// pen, brush, text settings and clip in force at the time. Text metrics are fixed (every
// character CharWidth pixels wide, every text Height pixels high), so expected coordinates do
// not depend on the fonts installed.
#include <QPoint>
#include <QString>
#include <optional>
#include <vector>

#include "framework/Canvas.h"

namespace testing_support {

struct TDrawCall {
  enum class Kind { Line, Rectangle, FillRect, FrameRect, Text, FocusRect };
  Kind kind;
  QPoint from;               // Line
  QPoint to;                 // Line
  framework::TRect rect;     // Rectangle, FillRect, FrameRect, FocusRect; clip rect of a TextRect
  bool clippedText = false;  // Text drawn by TextRect
  int x = 0;                 // Text origin
  int y = 0;
  QString text;
  framework::TPen pen;
  framework::TBrush brush;
  framework::TColor fontColor = 0;
  framework::TTextAlign align = framework::TTextAlign::taTopLeft;
  bool transparent = false;
  std::optional<framework::TRect> clip;
};

class TRecordingCanvas : public framework::TCanvas {
 public:
  explicit TRecordingCanvas(int charWidth = 7, int height = 12)
      : TCanvas(nullptr), charWidth_(charWidth), height_(height) {}

  int TextWidth(const QString& text) override { return charWidth_ * int(text.size()); }
  int TextHeight(const QString&) override { return height_; }

  const std::vector<TDrawCall>& Calls() const { return calls_; }
  void Clear() { calls_.clear(); }

  std::vector<TDrawCall> Of(TDrawCall::Kind kind) const;
  std::vector<TDrawCall> Lines() const { return Of(TDrawCall::Kind::Line); }
  std::vector<TDrawCall> Rectangles() const { return Of(TDrawCall::Kind::Rectangle); }
  std::vector<TDrawCall> Texts() const { return Of(TDrawCall::Kind::Text); }
  // The texts in drawing order.
  std::vector<QString> TextStrings() const;
  // Line calls whose pen has the given colour.
  std::vector<TDrawCall> LinesIn(framework::TColor color) const;

 protected:
  void DoLine(QPoint from, QPoint to) override;
  void DoRectangle(const framework::TRect& rect) override;
  void DoFillRect(const framework::TRect& rect) override;
  void DoFrameRect(const framework::TRect& rect) override;
  void DoTextOut(int x, int y, const QString& text,
                 const std::optional<framework::TRect>& bounds) override;
  void DoFocusRect(const framework::TRect& rect) override;

 private:
  TDrawCall Make(TDrawCall::Kind kind) const;

  int charWidth_;
  int height_;
  std::vector<TDrawCall> calls_;
};

}  // namespace testing_support
