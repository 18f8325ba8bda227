#include "components/Graphbox.h"

#include <QLine>
#include <QList>
#include <QLocale>
#include <QPaintDevice>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QRegularExpression>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

#include "framework/DisplayFormats.h"

namespace components {

using framework::TBrushStyle;
using framework::TCanvas;
using framework::TPenStyle;
using framework::TRect;
using framework::TTextAlign;

// --- label text --------------------------------------------------------------------------

QString FormatLabelValue(double value, int decimals) {
  // 18 significant digits: a value with more digits before the point cannot be shown in fixed
  // notation without inventing digits.
  if (std::isfinite(value) && std::fabs(value) >= 1e18) {
    QString text = QString::number(value, 'E', 17);
    text.replace(QRegularExpression("\\.?0+E"), "E");
    const QString separator = QLocale::system().decimalPoint();
    if (separator != ".") text.replace('.', separator);
    return text;
  }
  return framework::FormatFixed(value, decimals < 0 ? 0 : decimals);
}

// --- TAxisParams -------------------------------------------------------------------------

TAxisParams::TAxisParams(QObject* owner) : QObject(owner) {}

void TAxisParams::Changed() {
  if (OnChange) OnChange(this);
}

void TAxisParams::LogClamp() {
  // A logarithmic axis cannot reach 0 or below.
  if (log_) {
    if (max_ <= 0) max_ = 1.0;
    if (min_ <= 0) min_ = 1.0;
  }
}

void TAxisParams::SetExponentLabels(bool value) {
  if (value == exponentLabels_) return;
  exponentLabels_ = value;
  Changed();
}

void TAxisParams::SetLog(bool value) {
  if (value == log_) return;
  log_ = value;
  LogClamp();
  Changed();
}

void TAxisParams::SetMinorLabels(bool value) {
  if (value == minorLabels_) return;
  minorLabels_ = value;
  Changed();
}

void TAxisParams::SetMinorLines(bool value) {
  if (value == minorLines_) return;
  minorLines_ = value;
  Changed();
}

void TAxisParams::SetMin(double value) {
  if (value == min_) return;
  min_ = value;
  LogClamp();
  Changed();
}

void TAxisParams::SetMax(double value) {
  if (value == max_) return;
  max_ = value;
  LogClamp();
  Changed();
}

void TAxisParams::SetMultiplier(double value) {
  if (value == multiplier_) return;
  multiplier_ = value;
  Changed();
}

void TAxisParams::SetOffset(double value) {
  if (value == offset_) return;
  offset_ = value;
  Changed();
}

void TAxisParams::SetLines(int value) {
  if (value == lines_) return;
  lines_ = value;
  Changed();
}

void TAxisParams::SetShowLabels(bool value) {
  if (value == showLabels_) return;
  showLabels_ = value;
  Changed();
}

void TAxisParams::SetUnits(const QString& value) {
  if (value == units_) return;
  units_ = value;
  Changed();
}

void TAxisParams::SetLabelModulo(TModulo value) {
  // "every 0th label" has no meaning and would divide by zero when drawing.
  if (value < 1) value = 1;
  if (value == labelModulo_) return;
  labelModulo_ = value;
  Changed();
}

void TAxisParams::SetCycle(double value) {
  if (value == cycle_) return;
  cycle_ = value;
  Changed();
}

double TAxisParams::Transform(double value) const {
  return LabelValue(value, offset_, multiplier_, cycle_);
}

// --- TGraphTitle -------------------------------------------------------------------------

TGraphTitle::TGraphTitle(QObject* owner) : QObject(owner) {}

void TGraphTitle::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphTitle::SetCaption(const QString& value) {
  if (value == caption_) return;
  caption_ = value;
  Changed();
}

void TGraphTitle::SetShowCaption(bool value) {
  if (value == showCaption_) return;
  showCaption_ = value;
  Changed();
}

void TGraphTitle::SetBoxed(bool value) {
  if (value == boxed_) return;
  boxed_ = value;
  Changed();
}

void TGraphTitle::SetPosition(TTitlePosition value) {
  if (value == position_) return;
  position_ = value;
  Changed();
}

// --- TCustomGraph ------------------------------------------------------------------------

TCustomGraph::TCustomGraph(QWidget* parent) : QWidget(parent) {
  resize(90, 90);
  // The panel paint covers every pixel.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

TCustomGraph::~TCustomGraph() = default;

void TCustomGraph::SetGridColor(TColor value) {
  if (value == gridColor_) return;
  gridColor_ = value;
  update();
}

void TCustomGraph::SetGraphBorder(int value) {
  if (value == graphBorder_) return;
  graphBorder_ = value;
  update();
}

void TCustomGraph::SetDecimals1(int value) {
  if (value == decimals1_) return;
  decimals1_ = value;
  update();
}

void TCustomGraph::SetDecimals2(int value) {
  if (value == decimals2_) return;
  decimals2_ = value;
  update();
}

void TCustomGraph::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  update();
}

void TCustomGraph::SetBevelInner(TBevelCut value) {
  if (value == bevelInner_) return;
  bevelInner_ = value;
  update();
}

void TCustomGraph::SetBevelOuter(TBevelCut value) {
  if (value == bevelOuter_) return;
  bevelOuter_ = value;
  update();
}

void TCustomGraph::SetBevelWidth(int value) {
  if (value == bevelWidth_) return;
  bevelWidth_ = value;
  update();
}

void TCustomGraph::SetBorderWidth(int value) {
  if (value == borderWidth_) return;
  borderWidth_ = value;
  update();
}

void TCustomGraph::AddDataPoint(int index, const QString& label, double x, double y, double size,
                                TColor color) {
  points_.push_back(TDataPoint{x, y, size, color, index, label});
  ++TraceCountOf(index);
  if (!label.isEmpty()) ++labelledPoints_;
  update();
}

void TCustomGraph::ClearData() {
  traceCounts_.fill(0);
  labelledPoints_ = 0;
  points_.clear();
  points_.shrink_to_fit();
  update();
}

namespace {

// A raised or lowered edge `width` pixels deep just inside `rect`, which shrinks by it.
void Frame3D(TCanvas& canvas, TRect& rect, TColor topLeft, TColor bottomRight, int width) {
  canvas.SetPenWidth(1);
  canvas.SetPenStyle(TPenStyle::psSolid);
  int left = rect.Left;
  int top = rect.Top;
  int right = rect.Right - 1;
  int bottom = rect.Bottom - 1;
  for (int i = 0; i < width; ++i) {
    canvas.SetPenColor(topLeft);
    canvas.MoveTo(left, bottom);
    canvas.LineTo(left, top);
    canvas.LineTo(right, top);
    canvas.SetPenColor(bottomRight);
    canvas.MoveTo(right, top);
    canvas.LineTo(right, bottom);
    canvas.LineTo(left - 1, bottom);
    ++left;
    ++top;
    --right;
    --bottom;
  }
  rect = TRect{left, top, right + 1, bottom + 1};
}

constexpr TColor kBevelShadow = 0x808080;     // grey
constexpr TColor kBevelHighlight = 0xFFFFFF;  // white

// The segments of a trace that share one pen, drawn with the pixels the canvas's LineTo gives
// each of them but handed to the painter in one call: a dense trace costs one painter call
// per run of one colour instead of one per segment. One-pixel segments become the rows (or
// columns) of pixels the canvas draws for them, filled as rectangles, which is exact; wide
// ones are stroked together as the separate lines they are. A canvas without a painter (or
// with a patterned pen) gets its own LineTo per segment.
class TLineBatch {
 public:
  explicit TLineBatch(TCanvas& canvas) : canvas_(canvas), painter_(canvas.Painter()) {}
  ~TLineBatch() { Flush(); }
  TLineBatch(const TLineBatch&) = delete;
  TLineBatch& operator=(const TLineBatch&) = delete;

  // A segment from `from` up to, not including, `to` in the canvas's current pen.
  void Add(QPoint from, QPoint to) {
    const framework::TPen& pen = canvas_.Pen();
    if (painter_ == nullptr || pen.Style != TPenStyle::psSolid) {
      canvas_.MoveTo(from.x(), from.y());
      canvas_.LineTo(to.x(), to.y());
      return;
    }
    if (from == to) return;  // the canvas draws nothing for it either
    // A new colour or width ends the run drawn so far.
    if (!Empty() && !(pen == pen_)) Flush();
    pen_ = pen;
    if (pen.Width > 1) {
      lines_.push_back(QLine(from, to));
    } else if (from.x() != to.x() && from.y() != to.y()) {
      AddSlanted(from, to);
    } else if (from.y() == to.y()) {
      // Start drawn, end not, whichever way the line runs.
      const int low = to.x() > from.x() ? from.x() : to.x() + 1;
      const int high = to.x() > from.x() ? to.x() : from.x() + 1;
      pixelRuns_.push_back(QRect(low, from.y(), high - low, 1));
    } else {
      const int low = to.y() > from.y() ? from.y() : to.y() + 1;
      const int high = to.y() > from.y() ? to.y() : from.y() + 1;
      pixelRuns_.push_back(QRect(from.x(), low, 1, high - low));
    }
  }

  void Flush() {
    if (Empty()) return;
    painter_->save();
    const std::optional<TRect>& clip = canvas_.ClipRect();
    if (clip) {
      const TRect& r = *clip;
      painter_->setClipRect(r.Right <= r.Left || r.Bottom <= r.Top
                                ? QRect(r.Left, r.Top, 0, 0)
                                : QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top));
    } else {
      painter_->setClipping(false);
    }
    const QColor colour = framework::ColorToQColor(pen_.Color);
    if (!lines_.isEmpty()) {
      // Wide pens are solid with round ends and joins.
      QPen pen(colour);
      pen.setWidth(pen_.Width);
      pen.setCapStyle(Qt::RoundCap);
      pen.setJoinStyle(Qt::RoundJoin);
      painter_->setPen(pen);
      painter_->drawLines(lines_);
      lines_.clear();
    }
    if (!pixelRuns_.isEmpty()) {
      painter_->setPen(Qt::NoPen);
      painter_->setBrush(colour);
      painter_->drawRects(pixelRuns_);
      pixelRuns_.clear();
    }
    painter_->restore();  // the canvas's own painter state stays as it left it
  }

 private:
  bool Empty() const { return lines_.isEmpty() && pixelRuns_.isEmpty(); }

  // The line's pixels (see framework::ForEachSlantedRun), a row or column of them a run.
  void AddSlanted(QPoint from, QPoint to) {
    const QPaintDevice* device = painter_->device();
    framework::ForEachSlantedRun(from, to, device->width(), device->height(),
                                 [this](int low, int high, int minor, bool xMajor) {
                                   pixelRuns_.push_back(xMajor ? QRect(low, minor, high - low, 1)
                                                               : QRect(minor, low, 1, high - low));
                                 });
  }

  TCanvas& canvas_;
  QPainter* painter_;
  framework::TPen pen_;
  QList<QLine> lines_;      // wide pens
  QList<QRect> pixelRuns_;  // one-pixel pens
};

TRect Shrunk(const TRect& rect, int by) {
  return TRect{rect.Left + by, rect.Top + by, rect.Right - by, rect.Bottom - by};
}

}  // namespace

void TCustomGraph::Paint(TCanvas& canvas) {
  TRect rect{0, 0, width(), height()};
  if (bevelOuter_ != bvNone) {
    const bool lowered = bevelOuter_ == bvLowered;
    Frame3D(canvas, rect, lowered ? kBevelShadow : kBevelHighlight,
            lowered ? kBevelHighlight : kBevelShadow, bevelWidth_);
  }
  canvas.SetBrushStyle(TBrushStyle::bsSolid);
  canvas.SetBrushColor(color_);
  canvas.FillRect(rect);  // the border and the inside
  rect = Shrunk(rect, borderWidth_);
  if (bevelInner_ != bvNone) {
    const bool lowered = bevelInner_ == bvLowered;
    Frame3D(canvas, rect, lowered ? kBevelShadow : kBevelHighlight,
            lowered ? kBevelHighlight : kBevelShadow, bevelWidth_);
  }
  if (color_ == framework::clWhite) {
    canvas.SetBrushColor(framework::clBlack);
    canvas.FrameRect(rect);
  }
  canvas.SetBrushColor(color_);
  canvas.SetBrushStyle(TBrushStyle::bsClear);
}

void TCustomGraph::paintEvent(QPaintEvent*) {
  if (!doubleBuffered_) {
    QPainter painter(this);
    TCanvas canvas(&painter);
    Paint(canvas);
    return;
  }
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = size() * ratio;
  if (buffer_.size() != pixels) buffer_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
  buffer_.setDevicePixelRatio(ratio);
  {
    QPainter painter(&buffer_);
    painter.setFont(font());
    TCanvas canvas(&painter);
    Paint(canvas);
  }
  QPainter(this).drawImage(0, 0, buffer_);
}

void TCustomGraph::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  update();
}

// --- TGraphBox ---------------------------------------------------------------------------

TGraphBox::TGraphBox(QWidget* parent)
    : TCustomGraph(parent),
      xAxis_(new TAxisParams(this)),
      yAxis_(new TAxisParams(this)),
      title_(new TGraphTitle(this)) {
  xAxis_->setObjectName("XAxis");
  yAxis_->setObjectName("YAxis");
  title_->setObjectName("Title");
  xAxis_->OnChange = [this](QObject* sender) { AxisChanged(static_cast<TAxisParams*>(sender)); };
  yAxis_->OnChange = [this](QObject* sender) { AxisChanged(static_cast<TAxisParams*>(sender)); };
  title_->OnChange = [this](QObject*) { update(); };
  SetXAxis(3, 0, 75);
  SetYAxis(3, 0, 75);
  SetDefaultData(true);
  xAxis_->SetShowLabels(true);
  yAxis_->SetShowLabels(true);
}

TGraphBox::~TGraphBox() {
  // The axes and title go with the panel's children; they must not call back meanwhile.
  xAxis_->OnChange = nullptr;
  yAxis_->OnChange = nullptr;
  title_->OnChange = nullptr;
}

void TGraphBox::SetGraphType(TGraphType value) {
  if (value == graphType_) return;
  graphType_ = value;
  update();
}

void TGraphBox::SetDefaultData(bool value) {
  if (value == defaultData_) return;
  defaultData_ = value;
  if (value) {
    constexpr double kSize = 5;
    AddPoint(0, framework::clRed, 10, 10, kSize);
    AddPoint(0, framework::clGreen, 15, 25, kSize);
    AddPoint(0, framework::clBlue, 50, 50, kSize);
    AddPoint(0, framework::clSilver, 128, 100, kSize);
  } else {
    ClearData();
  }
}

void TGraphBox::AddPoint(int index, TColor color, double x, double y, double size) {
  AddDataPoint(index, QString(), x, y, size, color);
}

void TGraphBox::SetXAxis(int lines, double min, double max) {
  xAxis_->SetLines(lines);
  xAxis_->SetMin(min);
  xAxis_->SetMax(max);
  update();
}

void TGraphBox::SetYAxis(int lines, double min, double max) {
  yAxis_->SetLines(lines);
  yAxis_->SetMin(min);
  yAxis_->SetMax(max);
  update();
}

void TGraphBox::AxisChanged(TAxisParams*) {
  update();
}

void TGraphBox::SetRelativeLabels(bool x, bool y) {
  xRelativeLabels_ = x;
  yRelativeLabels_ = y;
}

QPoint TGraphBox::DataToPixel(double x, double y) const {
  return QPoint(RoundPixel(xScaling_.Offset(AxisCoordinate(x, xAxis_->Log()))) + left_,
                bottom_ - RoundPixel(yScaling_.Offset(AxisCoordinate(y, yAxis_->Log()))));
}

QPoint TGraphBox::DataToPixelTruncated(double x, double y) const {
  return QPoint(TruncPixel(xScaling_.Offset(AxisCoordinate(x, xAxis_->Log()))) + left_,
                bottom_ - TruncPixel(yScaling_.Offset(AxisCoordinate(y, yAxis_->Log()))));
}

QString TGraphBox::LabelText(const TAxisParams& axis, double value, int decimals) const {
  return FormatLabelValue(axis.Transform(value), decimals) + axis.Units();
}

QString TGraphBox::YEndLabel(double value) const {
  // A decade label needs a positive end; otherwise (possible on a linear axis) the end is
  // written as an ordinary label.
  if (yAxis_->ExponentLabels() && value > 0 && std::isfinite(value))
    return "10^" + QString::number(int(std::trunc(std::log10(value))));
  return LabelText(*yAxis_, value, Decimals1());
}

void TGraphBox::Paint(TCanvas& canvas) {
  TCustomGraph::Paint(canvas);
  DrawTo(canvas);
}

void TGraphBox::DrawTo(TCanvas& canvas) {
  canvas_ = &canvas;
  canvas.SetFont(font());
  canvas.SetPenColor(GridColor());
  Layout();
  DrawTitle();
  canvas.SetPenColor(GridColor());
  if (xAxis_->Log())
    DrawLogXAxis(xAxis_->Min(), xAxis_->Max());
  else
    DrawLinearXAxis(xAxis_->Lines(), xAxis_->Min(), xAxis_->Max());
  if (yAxis_->Log())
    DrawLogYAxis(yAxis_->Min(), yAxis_->Max());
  else
    DrawLinearYAxis(yAxis_->Lines(), yAxis_->Min(), yAxis_->Max());
  // The bottom frame row belongs to the plot, the right frame column does not.
  canvas.SetClipRect(TRect{left_, top_, right_, bottom_ + 1});
  if (graphType_ == gtLine)
    DrawLineTraces();
  else
    DrawBars();
  canvas.RemoveClip();
  if (OnPaint) OnPaint(this);
  canvas_ = nullptr;
}

void TGraphBox::Layout() {
  TCanvas& canvas = *canvas_;
  int labelWidth = 0;
  if (yAxis_->ShowLabels()) {
    const double low = yRelativeLabels_ ? 0 : yAxis_->Min();
    const double high = yRelativeLabels_ ? yAxis_->Max() - yAxis_->Min() : yAxis_->Max();
    labelWidth = std::max(canvas.TextWidth(YEndLabel(low)), canvas.TextWidth(YEndLabel(high)));
  }
  const int border = GraphBorder();
  if (labelWidth > 0) {
    left_ = labelWidth + BevelWidth() + BorderWidth() + border / 3;
    right_ = width() - (border - border / 3);
  } else {
    left_ = border;
    right_ = width() - border;
  }
  top_ = border;
  bottom_ = height() - border;
  plotWidth_ = std::abs(right_ - left_);
  plotHeight_ = std::abs(bottom_ - top_);

  canvas.SetPenColor(GridColor());
  canvas.SetPenStyle(TPenStyle::psSolid);
  canvas.MoveTo(left_, bottom_);
  canvas.LineTo(right_, bottom_);
  canvas.LineTo(right_, top_);
  canvas.LineTo(left_, top_);
  canvas.LineTo(left_, bottom_);
}

void TGraphBox::DrawTitle() {
  if (!title_->ShowCaption()) return;
  TCanvas& canvas = *canvas_;
  const QString caption = title_->Caption();
  const int w = canvas.TextWidth(caption);
  const int h = canvas.TextHeight(caption);
  const int y = (top_ - h) / 2;
  int x = (width() - w) / 2;
  if (title_->Position() == tpLeft) x = left_ + 2;
  if (title_->Position() == tpRight) x = right_ - w - 2;
  canvas.TextRect(TRect{x, y, x + w + 1, y + h}, x, y, caption);
  if (title_->Boxed()) {
    const framework::TBrush brush = canvas.Brush();
    canvas.SetBrushColor(framework::clBlack);
    canvas.SetBrushStyle(TBrushStyle::bsSolid);
    canvas.FrameRect(TRect{x - 2, y - 2, x + w + 3, y + h + 2});
    canvas.SetBrushColor(brush.Color);
    canvas.SetBrushStyle(brush.Style);
  }
}

void TGraphBox::LineToPixel(int x, int y) {
  const QPoint to = ExtendedEnd(canvas_->PenPos(), QPoint(x, y));
  canvas_->LineTo(to.x(), to.y());
}

QPoint TGraphBox::ExtendedEnd(QPoint from, QPoint to) const {
  if (!DrawLastPixel()) return to;
  // Line drawing leaves out the end pixel; push the end one pixel further along the dominant
  // direction (both on an exact diagonal) so that it is covered.
  const int dx = to.x() - from.x();
  const int dy = to.y() - from.y();
  if (std::abs(dx) >= std::abs(dy) && dx != 0) to.rx() += dx > 0 ? 1 : -1;
  if (std::abs(dy) >= std::abs(dx) && dy != 0) to.ry() += dy > 0 ? 1 : -1;
  return to;
}

void TGraphBox::DrawSuperscriptText(int x, int y, const QString& text) {
  TCanvas& canvas = *canvas_;
  const int raise = canvas.TextHeight(text) / 2;
  bool raised = false;
  for (const QChar c : text) {
    if (c == '^') {
      raised = true;
      continue;
    }
    const QString character(c);
    canvas.TextOut(x, raised ? y - raise : y, character);
    x += canvas.TextWidth(character);
  }
}

void TGraphBox::DrawLinearXAxis(int lines, double min, double max) {
  TCanvas& canvas = *canvas_;
  xScaling_ = LinearScaling(plotWidth_, min, max);
  const double pixelStep = double(plotWidth_) / lines;
  canvas.SetPenColor(GridColor());
  canvas.SetPenStyle(TPenStyle::psSolid);
  // No line at 0: the frame stands there.
  for (int i = 1; i <= lines; ++i) {
    const int x = left_ + RoundPixel(i * pixelStep);
    canvas.MoveTo(x, bottom_);
    LineToPixel(x, bottom_ - plotHeight_);
  }
  canvas.SetTransparentBackground(true);
  if (!xAxis_->ShowLabels()) return;
  const double valueStep = (max - min) / lines;
  double value = FirstLabelValue(min, max, xRelativeLabels_);
  for (int i = 0; i <= lines; ++i) {
    if (i % xAxis_->LabelModulo() == 0) {
      const QString text = LabelText(*xAxis_, value, Decimals2());
      // Each label sits 65 % of its width left of its grid line.
      const int x = RoundPixel(i * pixelStep + left_) - MulDiv(canvas.TextWidth(text), 65, 100);
      canvas.TextOut(x, bottom_ + 1, text);
    }
    value += valueStep;
  }
}

void TGraphBox::DrawLinearYAxis(int lines, double min, double max) {
  TCanvas& canvas = *canvas_;
  yScaling_ = LinearScaling(plotHeight_, min, max);
  // In force for the rest of the paint, the data labels included.
  canvas.SetTextAlign(TTextAlign::taBaselineLeft);
  canvas.SetTransparentBackground(true);
  const double valueStep = (max - min) / lines;
  const double pixelStep = double(plotHeight_) / lines;
  double value = FirstLabelValue(min, max, yRelativeLabels_);
  canvas.SetPenColor(GridColor());
  canvas.SetPenStyle(TPenStyle::psSolid);
  for (int i = 0; i <= lines; ++i) {
    const double y = i * pixelStep;
    const int pixelY = bottom_ - RoundPixel(y);
    canvas.MoveTo(left_, pixelY);
    LineToPixel(left_ + plotWidth_, pixelY);
    if (yAxis_->ShowLabels() && i % yAxis_->LabelModulo() == 0) {
      const QString text = LabelText(*yAxis_, value, Decimals1());
      canvas.TextOut(left_ - canvas.TextWidth(text) - 2, RoundPixel(bottom_ - y), text);
    }
    value += valueStep;
  }
}

void TGraphBox::DrawLogXAxis(double min, double max) {
  TCanvas& canvas = *canvas_;
  xScaling_ = LogScaling(plotWidth_, min, max);
  auto offset = [&](double tick) { return TruncPixel(xScaling_.Offset(std::log10(tick))); };
  const std::vector<TLogTick> ticks = LogTicks(min, max);
  canvas.SetPenColor(GridColor());
  for (const TLogTick& tick : ticks) {
    if (!tick.Major() && !xAxis_->MinorLines()) continue;
    canvas.SetPenStyle(tick.Major() ? TPenStyle::psSolid : TPenStyle::psDot);
    const int x = left_ + offset(tick.Value);
    canvas.MoveTo(x, bottom_);
    LineToPixel(x, bottom_ - plotHeight_);
  }
  canvas.SetPenStyle(TPenStyle::psSolid);
  if (!xAxis_->ShowLabels()) return;
  for (const TLogTick& tick : ticks) {
    if (!tick.Major() && !xAxis_->MinorLabels()) continue;
    const bool exponentLabel = tick.Major() && xAxis_->ExponentLabels();
    const QString text = !tick.Major()   ? QString::number(tick.Mantissa)
                         : exponentLabel ? "10^" + QString::number(tick.Exponent)
                                         : LabelText(*xAxis_, tick.Value, Decimals2());
    int y = bottom_ + 1;
    if (exponentLabel) y += MulDiv(canvas.TextHeight(text), 40, 100);
    int x = left_ + offset(tick.Value);
    if (!tick.Major()) x -= MulDiv(canvas.TextWidth(text), 65, 100);
    DrawSuperscriptText(x, y, text);
  }
}

void TGraphBox::DrawLogYAxis(double min, double max) {
  TCanvas& canvas = *canvas_;
  yScaling_ = LogScaling(plotHeight_, min, max);
  auto offset = [&](double tick) { return TruncPixel(yScaling_.Offset(std::log10(tick))); };
  const std::vector<TLogTick> ticks = LogTicks(min, max);
  canvas.SetPenColor(GridColor());
  for (const TLogTick& tick : ticks) {
    if (!tick.Major() && !yAxis_->MinorLines()) continue;
    canvas.SetPenStyle(tick.Major() ? TPenStyle::psSolid : TPenStyle::psDot);
    const int y = bottom_ - offset(tick.Value);
    canvas.MoveTo(left_, y);
    LineToPixel(left_ + plotWidth_, y);
  }
  canvas.SetPenStyle(TPenStyle::psSolid);
  if (!yAxis_->ShowLabels()) return;
  canvas.SetTextAlign(TTextAlign::taBaselineLeft);
  canvas.SetTransparentBackground(true);
  for (const TLogTick& tick : ticks) {
    if (!tick.Major() && !yAxis_->MinorLabels()) continue;
    const QString text = !tick.Major()              ? QString::number(tick.Mantissa)
                         : yAxis_->ExponentLabels() ? "10^" + QString::number(tick.Exponent)
                                                    : LabelText(*yAxis_, tick.Value, Decimals1());
    int y = bottom_ - offset(tick.Value);
    if (!tick.Major()) y += canvas.TextHeight("H") / 2;
    DrawSuperscriptText(left_ - canvas.TextWidth(text) - 2, y, text);
  }
}

void TGraphBox::DrawLineTraces() {
  canvas_->SetPenColor(framework::clRed);
  const size_t total = points_.size();
  size_t visited = 0;
  for (int index = kFirstTrace; index <= kLastTrace && visited < total; ++index) {
    if (TraceCount(index) == 0) continue;
    visited += size_t(DrawTrace(index));
  }
}

int TGraphBox::DrawTrace(int index) {
  TCanvas& canvas = *canvas_;
  const int count = TraceCount(index);
  // At most about 50 drawn points per pixel column. A control without width still draws.
  const int step = count / std::max(width(), 1) / 50 + 1;
  bool first = true;
  QPoint penPos;
  TLineBatch batch(canvas);
  auto draw = [&](const TDataPoint& point) {
    if (index < 0) {
      canvas.SetPenColor(framework::clBlack);
      canvas.SetBrushStyle(TBrushStyle::bsSolid);
      canvas.SetBrushColor(point.Color);
      const QPoint p = DataToPixel(point.X, point.Y);
      const int half = TruncPixel(point.Size);
      canvas.Rectangle(p.x() - half, p.y() - half, p.x() + half, p.y() + half);
    } else {
      canvas.SetPenWidth(TruncPixel(point.Size));
      const QPoint p = DataToPixelTruncated(point.X, point.Y);
      if (first) {
        penPos = p;
      } else {
        // A segment takes the colour of its end point, and starts where the last one ended.
        canvas.SetPenColor(point.Color);
        const QPoint to = ExtendedEnd(penPos, p);
        batch.Add(penPos, to);
        penPos = to;
      }
    }
    first = false;
  };
  if (size_t(count) == points_.size()) {
    // Every point is on this trace: its n-th point is the list's n-th, so the points between
    // the drawn ones need not be visited.
    for (size_t n = size_t(step); n <= points_.size(); n += size_t(step)) draw(points_[n - 1]);
  } else {
    int seen = 0;
    for (const TDataPoint& point : points_) {
      if (point.Index != index) continue;
      if (++seen % step == 0) draw(point);
      if (seen == count) break;
    }
  }
  batch.Flush();
  if (index >= 0 && !first) canvas.MoveTo(penPos.x(), penPos.y());
  if (labelledPoints_ > 0) DrawTraceLabels(index, count);
  return count;
}

void TGraphBox::DrawTraceLabels(int index, int count) {
  TCanvas& canvas = *canvas_;
  canvas.SetBrushStyle(TBrushStyle::bsClear);
  int seen = 0;
  for (const TDataPoint& point : points_) {
    if (point.Index != index) continue;
    if (!point.Label.isEmpty()) {
      const QPoint p = DataToPixel(point.X, point.Y);
      canvas.TextOut(p.x(), p.y(), point.Label);
    }
    if (++seen == count) break;
  }
}

void TGraphBox::DrawBars() {
  TCanvas& canvas = *canvas_;
  for (const TDataPoint& point : points_) {
    canvas.SetPenColor(GridColor());
    canvas.SetBrushStyle(TBrushStyle::bsSolid);
    canvas.SetBrushColor(point.Color);
    QPoint a;
    QPoint b;
    if (graphType_ == gtHorzBar) {
      a = DataToPixel(0, point.Y - point.Size / 2);
      b = DataToPixel(point.X, point.Y + point.Size / 2);
    } else {
      a = DataToPixel(point.X - point.Size / 2, point.Y);
      b = DataToPixel(point.X + point.Size / 2, 0);
    }
    canvas.Rectangle(a.x(), a.y(), b.x(), b.y());
  }
}

}  // namespace components
