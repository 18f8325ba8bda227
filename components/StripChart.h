#pragma once
// TStripChart: the graph box turned into a recorder that scrolls along its major axis.
#include "components/Graphbox.h"

namespace components {

// A recorder: each value is placed one Increment further along the major axis; once the
// newest value passes the far end, the window slides forward and points that left it are
// dropped.
class TStripChart : public TGraphBox {
  Q_OBJECT
  Q_PROPERTY(TMajorAxis MajorAxis READ MajorAxis WRITE SetMajorAxis)
  Q_PROPERTY(bool FixedScale READ FixedScale WRITE SetFixedScale)
  Q_PROPERTY(double Increment READ Increment WRITE SetIncrement)

 public:
  enum TMajorAxis { maXAxis, maYAxis };
  Q_ENUM(TMajorAxis)

  explicit TStripChart(QWidget* parent = nullptr);

  // The axis along which samples advance (the time axis).
  TMajorAxis MajorAxis() const { return majorAxis_; }
  void SetMajorAxis(TMajorAxis value);
  // Label the major axis 0 … span from the window start.
  bool FixedScale() const { return fixedScale_; }
  void SetFixedScale(bool value);
  // Distance along the major axis between samples; later samples use the new step, points
  // already held stay where they are.
  double Increment() const { return increment_; }
  void SetIncrement(double value) { increment_ = value; }
  // The major-axis coordinate of the next sample.
  double Position() const { return position_; }

  // Appends one sample on trace `index` and returns the number of points now held.
  int AddValue(int index, TColor color, double value);
  // Removes all points and moves the window back to start at 0 with the same span.
  void Reset();
  // Renumbers the points held to 0, Increment, 2 × Increment, … in list order.
  void Respace();

 protected:
  void AxisChanged(TAxisParams* axis) override;

 private:
  TAxisParams* Major() const { return majorAxis_ == maXAxis ? XAxis() : YAxis(); }
  void UpdateRelativeLabels();

  TMajorAxis majorAxis_ = maXAxis;
  bool fixedScale_ = false;
  double increment_ = 1.0;
  double position_ = 0;
};

using TMajorAxis = TStripChart::TMajorAxis;
constexpr TMajorAxis maXAxis = TStripChart::maXAxis;
constexpr TMajorAxis maYAxis = TStripChart::maYAxis;

}  // namespace components
