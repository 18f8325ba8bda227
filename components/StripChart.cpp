#include "components/StripChart.h"

#include <algorithm>

namespace components {

TStripChart::TStripChart(QWidget* parent) : TGraphBox(parent) {
  SetDoubleBuffered(true);
  Reset();  // also drops the graph box's sample points
  SetGraphType(gtLine);
}

void TStripChart::SetMajorAxis(TMajorAxis value) {
  if (value == majorAxis_) return;
  majorAxis_ = value;
  UpdateRelativeLabels();
}

void TStripChart::SetFixedScale(bool value) {
  if (value == fixedScale_) return;
  fixedScale_ = value;
  UpdateRelativeLabels();
}

void TStripChart::UpdateRelativeLabels() {
  SetRelativeLabels(fixedScale_ && majorAxis_ == maXAxis, fixedScale_ && majorAxis_ == maYAxis);
  update();
}

int TStripChart::AddValue(int index, TColor color, double value) {
  TAxisParams& axis = *Major();
  const double small = std::min(axis.min_, axis.max_);
  const double big = axis.min_ > axis.max_ ? axis.min_ : axis.max_;
  // Drop the points that have left the window (judged by the window before this sample).
  const bool alongX = majorAxis_ == maXAxis;
  while (!points_.empty() && (alongX ? points_.front().X : points_.front().Y) < small) {
    int& count = TraceCountOf(points_.front().Index);
    if (count > 0) --count;
    if (!points_.front().Label.isEmpty()) --labelledPoints_;
    points_.pop_front();
  }
  // Slide the window so that the new sample sits on its far edge.
  if (position_ > big) {
    const double span = big - small;
    if (axis.max_ >= axis.min_) {
      axis.max_ = position_;
      axis.min_ = position_ - span;
    } else {
      axis.min_ = position_;
      axis.max_ = position_ - span;
    }
  }
  if (alongX)
    AddPoint(index, color, position_, value, 1.0);
  else
    AddPoint(index, color, value, position_, 1.0);
  position_ += increment_;
  return PointCount();
}

void TStripChart::Reset() {
  ClearData();
  position_ = 0;
  TAxisParams& axis = *Major();
  axis.max_ = axis.max_ - axis.min_;
  axis.min_ = 0;
}

void TStripChart::Respace() {
  position_ = double(points_.size()) * increment_;
  const bool alongX = majorAxis_ == maXAxis;
  double i = 0;
  for (TDataPoint& point : points_) {
    (alongX ? point.X : point.Y) = i * increment_;
    ++i;
  }
}

void TStripChart::AxisChanged(TAxisParams* axis) {
  TGraphBox::AxisChanged(axis);
  if (axis == Major()) Respace();
}

}  // namespace components
