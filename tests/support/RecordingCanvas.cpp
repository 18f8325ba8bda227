#include "support/RecordingCanvas.h"

namespace testing_support {

TDrawCall TRecordingCanvas::Make(TDrawCall::Kind kind) const {
  TDrawCall call{kind,
                 {},
                 {},
                 {},
                 false,
                 0,
                 0,
                 {},
                 Pen(),
                 Brush(),
                 FontColor(),
                 TextAlign(),
                 TransparentBackground(),
                 ClipRect()};
  return call;
}

std::vector<TDrawCall> TRecordingCanvas::Of(TDrawCall::Kind kind) const {
  std::vector<TDrawCall> result;
  for (const TDrawCall& call : calls_)
    if (call.kind == kind) result.push_back(call);
  return result;
}

std::vector<QString> TRecordingCanvas::TextStrings() const {
  std::vector<QString> result;
  for (const TDrawCall& call : calls_)
    if (call.kind == TDrawCall::Kind::Text) result.push_back(call.text);
  return result;
}

std::vector<TDrawCall> TRecordingCanvas::LinesIn(framework::TColor color) const {
  std::vector<TDrawCall> result;
  for (const TDrawCall& call : calls_)
    if (call.kind == TDrawCall::Kind::Line && call.pen.Color == color) result.push_back(call);
  return result;
}

void TRecordingCanvas::DoLine(QPoint from, QPoint to) {
  TDrawCall call = Make(TDrawCall::Kind::Line);
  call.from = from;
  call.to = to;
  calls_.push_back(call);
}

void TRecordingCanvas::DoRectangle(const framework::TRect& rect) {
  TDrawCall call = Make(TDrawCall::Kind::Rectangle);
  call.rect = rect;
  calls_.push_back(call);
}

void TRecordingCanvas::DoFillRect(const framework::TRect& rect) {
  TDrawCall call = Make(TDrawCall::Kind::FillRect);
  call.rect = rect;
  calls_.push_back(call);
}

void TRecordingCanvas::DoFrameRect(const framework::TRect& rect) {
  TDrawCall call = Make(TDrawCall::Kind::FrameRect);
  call.rect = rect;
  calls_.push_back(call);
}

void TRecordingCanvas::DoTextOut(int x, int y, const QString& text,
                                 const std::optional<framework::TRect>& bounds) {
  TDrawCall call = Make(TDrawCall::Kind::Text);
  call.x = x;
  call.y = y;
  call.text = text;
  if (bounds) {
    call.rect = *bounds;
    call.clippedText = true;
  }
  calls_.push_back(call);
}

void TRecordingCanvas::DoFocusRect(const framework::TRect& rect) {
  TDrawCall call = Make(TDrawCall::Kind::FocusRect);
  call.rect = rect;
  calls_.push_back(call);
}

}  // namespace testing_support
