#pragma once
// The drift of a run as a straight line fitted by least squares to the accepted errors against
// the times they were really taken, with the uncertainty of its slope. Standard C++ only, so
// that the window and the command-line tool fit the same way.
//
// The fit is kept as the run grows, at a cost per error that does not depend on how many came
// before: each error is rotated into a 2 × 2 triangular factor (Givens rotations), which never
// forms the large sums of squares whose difference would cancel on a good network, where the
// residuals are a ten-thousandth of the trend.
#include <cstdint>
#include <span>

namespace components {

// Student's t distribution: the value that a t variable with `degrees` degrees of freedom
// (more than 0) stays below with probability `p` (0 < p < 1).
double StudentTQuantile(double p, double degrees);

// Two-sided confidence of the interval shown with the fitted drift.
inline constexpr double kFitConfidence = 0.95;

// What the Statistics tab shows of the fit.
struct TFittedDrift {
  std::int64_t Count = 0;     // errors in the fit
  bool HasRate = false;       // two or more errors, taken at two or more distinct times
  double PerDay = 0;          // seconds per day, positive when the computer's clock gains
  double Ppm = 0;             // the same rate in parts per million
  bool HasInterval = false;   // three or more errors: the residuals say how far to trust it
  double HalfWidth = 0;       // seconds per day: PerDay ± HalfWidth holds the true rate at 95 %
  double ResidualStdDev = 0;  // seconds, the residuals' spread with Count - 2 degrees of freedom
};

// The fit, grown one error at a time.
class TDriftFit {
 public:
  void Clear();
  // Takes an error (seconds, positive when the computer's clock is ahead) taken at `time`
  // (seconds on any fixed scale, e.g. since 1970 UTC; only differences count).
  void Add(double time, double error);
  std::int64_t Count() const { return count_; }
  TFittedDrift Result() const;

 private:
  std::int64_t count_ = 0;
  double origin_ = 0;       // seconds: the first error's time, so the times fitted start near 0
  double errorOrigin_ = 0;  // seconds: the first error, so the errors fitted start near 0
  // The upper triangle R of the rotated rows [1, t | e] and their right-hand side z:
  // R00 = sqrt(n), R01 = sum t / sqrt(n), R11 = sqrt(sum (t - mean t)^2).
  double r00_ = 0, r01_ = 0, r11_ = 0;
  double z0_ = 0, z1_ = 0;
  // Sum of the squared residuals (seconds^2): what the rotations leave below R.
  double residualSquares_ = 0;
};

// The same figures by a fresh two-pass fit over all the errors (times in seconds): the
// reference the kept fit is held to.
TFittedDrift FitDrift(std::span<const double> times, std::span<const double> errors);

}  // namespace components
