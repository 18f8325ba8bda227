#pragma once
// The arithmetic of a graph's axes, apart from any drawing: how data values map to pixels on a
// linear or base-10 logarithmic axis, where the ticks of a log axis fall, and the values that
// labels show. Standard C++ only, so that it is tested without a widget.
#include <vector>

namespace components {

// Scaling of one axis for one paint.
struct TAxisScaling {
  double Scale = 1;  // pixels per data unit, or per decade on a log axis
  double Base = 0;   // the data value, or its base-10 logarithm, at the plot origin

  // Pixels from the origin to `coordinate` (see AxisCoordinate), not yet rounded.
  double Offset(double coordinate) const { return (coordinate - Base) * Scale; }
};

// `pixels` across Min … Max. A zero span scales by 1e-99, so that everything lands on the
// origin instead of dividing by zero.
TAxisScaling LinearScaling(int pixels, double min, double max);
// `pixels` across log10(Min) … log10(Max), a non-positive Min taken as 1; a zero span as above.
TAxisScaling LogScaling(int pixels, double min, double max);

// Where a data value lies along an axis: the value itself, or on a log axis its base-10
// logarithm, a non-positive value taken as 1.
double AxisCoordinate(double value, bool log);

// Pixel counts from doubles: to the nearest integer with ties to even, or towards zero. A NaN
// gives 0 and values beyond ±1e8 px stop there, so that points far off the axes still convert
// (they are clipped anyway).
int RoundPixel(double value);
int TruncPixel(double value);

// a × b / c rounded to the nearest integer, halves away from zero; −1 when c is 0.
int MulDiv(int a, int b, int c);

// The value a label shows: (value + offset) × multiplier; when cycle is not 0, wrapped into
// (−cycle, cycle) with the sign of the unwrapped value, like a floating-point remainder.
double LabelValue(double value, double offset, double multiplier, double cycle);

// The value of the first label of a linear axis: Min, or with labels relative to the window
// start 0 (Min − Max on an axis that runs backwards).
double FirstLabelValue(double min, double max, bool relative);

// One tick of a log axis, Mantissa × 10^Exponent with Mantissa 1 … 9.
struct TLogTick {
  int Mantissa;
  int Exponent;
  double Value;
  // A decade.
  bool Major() const { return Mantissa == 1; }
};

// The ticks of a log axis from the first one strictly above Min (a non-positive Min taken as 1)
// to the last one below Max; the first is given even when it is not below Max. None when a
// limit has no finite logarithm, as the walk would never end.
std::vector<TLogTick> LogTicks(double min, double max);

}  // namespace components
