#pragma once
// Graph components: the axis and title parameter objects and the graph panel that draws a framed
// plot with grid, labels and data. The axis arithmetic is in AxisScaling.h, the scrolling strip
// chart built on the graph box in StripChart.h (which comes with this header).
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <array>
#include <deque>
#include <functional>

#include "components/AxisScaling.h"
#include "framework/Canvas.h"
#include "framework/Graphics.h"

namespace components {

// Colours as the framework keeps them: red in the low byte.
using TColor = framework::TColor;

// Label period of an axis: 1 … 2147483647.
using TModulo = int;

// The parameters of one axis of a graph. Each change tells the graph through OnChange (the
// graph repaints; a strip chart also renumbers its samples).
class TAxisParams : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool ExponentLabels READ ExponentLabels WRITE SetExponentLabels)
  Q_PROPERTY(bool Log READ Log WRITE SetLog)
  Q_PROPERTY(bool MinorLabels READ MinorLabels WRITE SetMinorLabels)
  Q_PROPERTY(bool MinorLines READ MinorLines WRITE SetMinorLines)
  Q_PROPERTY(double Min READ Min WRITE SetMin)
  Q_PROPERTY(double Max READ Max WRITE SetMax)
  Q_PROPERTY(double Multiplier READ Multiplier WRITE SetMultiplier)
  Q_PROPERTY(double Offset READ Offset WRITE SetOffset)
  Q_PROPERTY(int Lines READ Lines WRITE SetLines)
  Q_PROPERTY(bool ShowLabels READ ShowLabels WRITE SetShowLabels)
  Q_PROPERTY(QString Units READ Units WRITE SetUnits)
  Q_PROPERTY(int LabelModulo READ LabelModulo WRITE SetLabelModulo)
  Q_PROPERTY(double Cycle READ Cycle WRITE SetCycle)

 public:
  explicit TAxisParams(QObject* owner = nullptr);

  bool ExponentLabels() const { return exponentLabels_; }
  void SetExponentLabels(bool value);
  // Base-10 logarithmic axis; Min and Max are then kept positive.
  bool Log() const { return log_; }
  void SetLog(bool value);
  bool MinorLabels() const { return minorLabels_; }
  void SetMinorLabels(bool value);
  bool MinorLines() const { return minorLines_; }
  void SetMinorLines(bool value);
  // Data values at the origin and at the far edge; either may be set first.
  double Min() const { return min_; }
  void SetMin(double value);
  double Max() const { return max_; }
  void SetMax(double value);
  double Multiplier() const { return multiplier_; }
  void SetMultiplier(double value);
  double Offset() const { return offset_; }
  void SetOffset(double value);
  // Grid intervals of a linear axis (at least 1 for a drawable axis).
  int Lines() const { return lines_; }
  void SetLines(int value);
  bool ShowLabels() const { return showLabels_; }
  void SetShowLabels(bool value);
  QString Units() const { return units_; }
  void SetUnits(const QString& value);
  // Only every LabelModulo-th label of a linear axis is drawn; values below 1 are taken as 1.
  TModulo LabelModulo() const { return labelModulo_; }
  void SetLabelModulo(TModulo value);
  double Cycle() const { return cycle_; }
  void SetCycle(double value);

  // The value a label shows: (value + Offset) × Multiplier, wrapped into (−Cycle, Cycle) with
  // the sign of the unwrapped value when Cycle is not 0.
  double Transform(double value) const;

  // Called with the axis as sender after every change.
  std::function<void(QObject* Sender)> OnChange;

 private:
  friend class TStripChart;  // slides its window without notifications
  void Changed();
  void LogClamp();

  bool exponentLabels_ = false;
  bool log_ = false;
  bool minorLabels_ = false;
  bool minorLines_ = false;
  double min_ = 0;
  double max_ = 0;
  double multiplier_ = 1.0;
  double offset_ = 0;
  int lines_ = 0;
  bool showLabels_ = false;
  QString units_;
  TModulo labelModulo_ = 1;
  double cycle_ = 0;
};

// The graph's title line above the plot.
class TGraphTitle : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
  Q_PROPERTY(bool ShowCaption READ ShowCaption WRITE SetShowCaption)
  Q_PROPERTY(bool Boxed READ Boxed WRITE SetBoxed)
  Q_PROPERTY(TTitlePosition Position READ Position WRITE SetPosition)

 public:
  enum TTitlePosition { tpCenter, tpLeft, tpRight };
  Q_ENUM(TTitlePosition)

  explicit TGraphTitle(QObject* owner = nullptr);

  QString Caption() const { return caption_; }
  void SetCaption(const QString& value);
  bool ShowCaption() const { return showCaption_; }
  void SetShowCaption(bool value);
  bool Boxed() const { return boxed_; }
  void SetBoxed(bool value);
  TTitlePosition Position() const { return position_; }
  void SetPosition(TTitlePosition value);

  std::function<void(QObject* Sender)> OnChange;

 private:
  void Changed();

  QString caption_;
  bool showCaption_ = false;
  bool boxed_ = false;
  TTitlePosition position_ = tpCenter;
};

using TTitlePosition = TGraphTitle::TTitlePosition;
constexpr TTitlePosition tpCenter = TGraphTitle::tpCenter;
constexpr TTitlePosition tpLeft = TGraphTitle::tpLeft;
constexpr TTitlePosition tpRight = TGraphTitle::tpRight;

// Fixed-point text of a label value with exactly `decimals` digits after the user's decimal
// separator; beyond 18 digits before the point, scientific notation.
QString FormatLabelValue(double value, int decimals);

// One data point of a graph.
struct TDataPoint {
  double X = 0;
  double Y = 0;
  // Pen width of a line trace, half the side of a marker, or the thickness of a bar (in data
  // units of the bar's cross axis); truncated towards zero where pixels are needed.
  double Size = 0;
  TColor Color = framework::clBlack;
  // Trace number, −1024 … 1023: negative traces are drawn as markers, the others as lines.
  int Index = 0;
  QString Label;  // drawn at the point when not empty
};

// A panel that holds data points in insertion order, counted per trace, with the colours,
// margins and label decimals of a graph. It paints its panel (bevels, background and, on
// white, a black frame); descendants draw the graph itself.
class TCustomGraph : public QWidget {
  Q_OBJECT
  Q_PROPERTY(framework::TColor GridColor READ GridColor WRITE SetGridColor)
  Q_PROPERTY(int GraphBorder READ GraphBorder WRITE SetGraphBorder)
  Q_PROPERTY(int Decimals1 READ Decimals1 WRITE SetDecimals1)
  Q_PROPERTY(int Decimals2 READ Decimals2 WRITE SetDecimals2)
  Q_PROPERTY(bool DrawLastPixel READ DrawLastPixel WRITE SetDrawLastPixel)
  Q_PROPERTY(bool DefaultData READ DefaultData WRITE SetDefaultData)
  Q_PROPERTY(framework::TColor Color READ Color WRITE SetColor)
  Q_PROPERTY(TBevelCut BevelInner READ BevelInner WRITE SetBevelInner)
  Q_PROPERTY(TBevelCut BevelOuter READ BevelOuter WRITE SetBevelOuter)
  Q_PROPERTY(int BevelWidth READ BevelWidth WRITE SetBevelWidth)
  Q_PROPERTY(int BorderWidth READ BorderWidth WRITE SetBorderWidth)

 public:
  enum TBevelCut { bvNone, bvLowered, bvRaised };
  Q_ENUM(TBevelCut)

  static constexpr int kFirstTrace = -1024;
  static constexpr int kLastTrace = 1023;

  explicit TCustomGraph(QWidget* parent = nullptr);
  ~TCustomGraph() override;

  // Pen colour of the frame, grid lines and bar outlines.
  TColor GridColor() const { return gridColor_; }
  void SetGridColor(TColor value);
  // Margin in pixels around the plot rectangle.
  int GraphBorder() const { return graphBorder_; }
  void SetGraphBorder(int value);
  // Digits after the decimal point of the Y-axis labels (1) and the X-axis labels (2).
  int Decimals1() const { return decimals1_; }
  void SetDecimals1(int value);
  int Decimals2() const { return decimals2_; }
  void SetDecimals2(int value);
  // Extend each grid line and trace segment by the end pixel that line drawing leaves out.
  bool DrawLastPixel() const { return drawLastPixel_; }
  void SetDrawLastPixel(bool value) { drawLastPixel_ = value; }
  // Holds sample points while true.
  bool DefaultData() const { return defaultData_; }
  virtual void SetDefaultData(bool value) = 0;

  // The panel's background colour, bevels and border.
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut value);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut value);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int value);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int value);

  // Compose every repaint off-screen before it reaches the screen.
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool value) { doubleBuffered_ = value; }

  // Appends a point; the caller keeps `index` within −1024 … 1023.
  void AddDataPoint(int index, const QString& label, double x, double y, double size, TColor color);
  void ClearData();
  const std::deque<TDataPoint>& Points() const { return points_; }
  int PointCount() const { return int(points_.size()); }
  // Number of points that carry trace `index` (−1024 … 1023).
  int TraceCount(int index) const { return traceCounts_[index - kFirstTrace]; }

  // The whole paint of the control onto `canvas`: the panel, then (in descendants) the graph.
  virtual void Paint(framework::TCanvas& canvas);
  // Draws the graph onto `canvas`.
  virtual void DrawTo(framework::TCanvas& canvas) = 0;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

  int& TraceCountOf(int index) { return traceCounts_[index - kFirstTrace]; }

  std::deque<TDataPoint> points_;
  int labelledPoints_ = 0;  // points with a label, so unlabelled graphs skip the label walk
  bool defaultData_ = false;

 private:
  std::array<int, kLastTrace - kFirstTrace + 1> traceCounts_{};
  TColor gridColor_ = framework::clBlack;
  int graphBorder_ = 20;
  int decimals1_ = 0;
  int decimals2_ = 0;
  bool drawLastPixel_ = false;
  TColor color_ = framework::clWhite;
  TBevelCut bevelInner_ = bvNone;
  TBevelCut bevelOuter_ = bvLowered;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
  bool doubleBuffered_ = false;
  QImage buffer_;  // reused by double-buffered paints
};

// A graph panel with two axes and a title that draws its frame, grid, labels and data as line
// traces, markers or bars.
class TGraphBox : public TCustomGraph {
  Q_OBJECT
  Q_PROPERTY(components::TAxisParams* XAxis READ XAxis)
  Q_PROPERTY(components::TAxisParams* YAxis READ YAxis)
  Q_PROPERTY(components::TGraphTitle* Title READ Title)
  Q_PROPERTY(TGraphType GraphType READ GraphType WRITE SetGraphType)

 public:
  enum TGraphType { gtLine, gtHorzBar, gtVertBar };
  Q_ENUM(TGraphType)

  explicit TGraphBox(QWidget* parent = nullptr);
  ~TGraphBox() override;

  TAxisParams* XAxis() const { return xAxis_; }
  TAxisParams* YAxis() const { return yAxis_; }
  TGraphTitle* Title() const { return title_; }
  TGraphType GraphType() const { return graphType_; }
  void SetGraphType(TGraphType value);

  void SetDefaultData(bool value) override;
  void AddPoint(int index, TColor color, double x, double y, double size);
  // Lines, Min and Max of one axis through their setters, then a repaint.
  void SetXAxis(int lines, double min, double max);
  void SetYAxis(int lines, double min, double max);

  void Paint(framework::TCanvas& canvas) override;
  void DrawTo(framework::TCanvas& canvas) override;
  // Called at the end of DrawTo; Canvas() is the target meanwhile.
  std::function<void(QObject* Sender)> OnPaint;
  framework::TCanvas* Canvas() const { return canvas_; }

  // The pixel of a data point, with the layout and scaling of the latest DrawTo.
  QPoint DataToPixel(double x, double y) const;
  // The text of the Y-axis end label for `value`, as the left margin is sized from it.
  QString YEndLabel(double value) const;

  // Layout and scaling of the latest DrawTo.
  int PlotLeft() const { return left_; }
  int PlotTop() const { return top_; }
  int PlotRight() const { return right_; }
  int PlotBottom() const { return bottom_; }
  int PlotWidth() const { return plotWidth_; }
  int PlotHeight() const { return plotHeight_; }
  double XScale() const { return xScaling_.Scale; }
  double YScale() const { return yScaling_.Scale; }
  double XBase() const { return xScaling_.Base; }
  double YBase() const { return yScaling_.Base; }
  // Label an axis from 0 (the window start) instead of with absolute values.
  bool XRelativeLabels() const { return xRelativeLabels_; }
  bool YRelativeLabels() const { return yRelativeLabels_; }

 protected:
  // Every change of an axis arrives here with the axis.
  virtual void AxisChanged(TAxisParams* axis);
  void SetRelativeLabels(bool x, bool y);

  void DrawTitle();
  void DrawLinearXAxis(int lines, double min, double max);
  void DrawLogXAxis(double min, double max);
  void DrawLinearYAxis(int lines, double min, double max);
  void DrawLogYAxis(double min, double max);

 private:
  void Layout();
  QString LabelText(const TAxisParams& axis, double value, int decimals) const;
  // Text drawn one character at a time; what follows a "^" is raised by half the text height.
  void DrawSuperscriptText(int x, int y, const QString& text);
  // The graph's own line drawing: data mapped by truncation, lines extended by their end
  // pixel when DrawLastPixel is set.
  void LineToPixel(int x, int y);
  // The end of a line from `from` to `to`, pushed one pixel on when DrawLastPixel is set.
  QPoint ExtendedEnd(QPoint from, QPoint to) const;
  QPoint DataToPixelTruncated(double x, double y) const;
  void DrawLineTraces();
  int DrawTrace(int index);
  // Every labelled point of trace `index` (`count` points), without thinning.
  void DrawTraceLabels(int index, int count);
  void DrawBars();

  TAxisParams* xAxis_;
  TAxisParams* yAxis_;
  TGraphTitle* title_;
  TGraphType graphType_ = gtHorzBar;

  framework::TCanvas* canvas_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int right_ = 0;
  int bottom_ = 0;
  int plotWidth_ = 0;
  int plotHeight_ = 0;
  TAxisScaling xScaling_;
  TAxisScaling yScaling_;
  bool xRelativeLabels_ = false;
  bool yRelativeLabels_ = false;
};

using TGraphType = TGraphBox::TGraphType;
constexpr TGraphType gtLine = TGraphBox::gtLine;
constexpr TGraphType gtHorzBar = TGraphBox::gtHorzBar;
constexpr TGraphType gtVertBar = TGraphBox::gtVertBar;
using TBevelCut = TCustomGraph::TBevelCut;
constexpr TBevelCut bvNone = TCustomGraph::bvNone;
constexpr TBevelCut bvLowered = TCustomGraph::bvLowered;
constexpr TBevelCut bvRaised = TCustomGraph::bvRaised;

}  // namespace components

// The strip chart is part of this family; its users know it by this header.
#include "components/StripChart.h"
