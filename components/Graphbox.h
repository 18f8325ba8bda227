#pragma once
// Graph components: the axis and title parameter objects, the graph panel that draws a framed
// plot with grid, labels and data, and the scrolling strip chart built on it.
#include <QObject>
#include <QString>
#include <functional>

#include "framework/Graphics.h"

namespace components {

using framework::TColor;

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

}  // namespace components
