#include "components/DriftFit.h"

#include <cmath>
#include <limits>

namespace components {

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kPartsPerMillion = 1e6;

// Continued fraction of the regularized incomplete beta function I_x(a, b), by the modified
// Lentz method; converges fast for x < (a + 1) / (a + b + 2).
double BetaFraction(double a, double b, double x) {
  constexpr double kTiny = 1e-300;  // stands in for a zero denominator
  constexpr double kTolerance = 1e-16;
  constexpr int kMostTerms = 10000;
  double c = 1.0;
  double d = 1.0 - (a + b) * x / (a + 1.0);
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1.0 / d;
  double fraction = d;
  for (int m = 1; m <= kMostTerms; ++m) {
    // The even term, then the odd one.
    const double even = m * (b - m) * x / ((a + 2.0 * m - 1.0) * (a + 2.0 * m));
    d = 1.0 + even * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + even / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    fraction *= d * c;
    const double odd = -(a + m) * (a + b + m) * x / ((a + 2.0 * m) * (a + 2.0 * m + 1.0));
    d = 1.0 + odd * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + odd / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    const double step = d * c;
    fraction *= step;
    if (std::fabs(step - 1.0) < kTolerance) break;
  }
  return fraction;
}

// I_x(a, b) with y = 1 - x given apart, so that an x near 1 loses nothing to the subtraction.
double RegularizedBeta(double a, double b, double x, double y) {
  if (x <= 0) return 0.0;
  if (y <= 0) return 1.0;
  const double logFront =
      std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log(y);
  const double front = std::exp(logFront);
  if (x < (a + 1.0) / (a + b + 2.0)) return front * BetaFraction(a, b, x) / a;
  return 1.0 - front * BetaFraction(b, a, y) / b;
}

// P(|T| > t) for t >= 0: I_{v/(v+t^2)}(v/2, 1/2).
double TwoSidedTail(double t, double degrees) {
  const double denominator = degrees + t * t;
  return RegularizedBeta(degrees / 2, 0.5, degrees / denominator, t * t / denominator);
}

}  // namespace

double StudentTQuantile(double p, double degrees) {
  if (!(p > 0 && p < 1) || !(degrees > 0)) return std::numeric_limits<double>::quiet_NaN();
  if (p == 0.5) return 0.0;
  if (p < 0.5) return -StudentTQuantile(1 - p, degrees);
  // The tail is falling in t: bracket the t whose two-sided tail is 2 (1 - p), then halve.
  const double tail = 2 * (1 - p);
  double low = 0, high = 1;
  while (TwoSidedTail(high, degrees) > tail && high < 1e300) {
    low = high;
    high *= 2;
  }
  for (int i = 0; i < 2000 && high - low > 4 * std::numeric_limits<double>::epsilon() * high; ++i) {
    const double middle = low + (high - low) / 2;
    (TwoSidedTail(middle, degrees) > tail ? low : high) = middle;
  }
  return low + (high - low) / 2;
}

void TDriftFit::Clear() {
  *this = TDriftFit();
}

void TDriftFit::Add(double time, double error) {
  if (count_ == 0) {
    origin_ = time;
    errorOrigin_ = error;
  }
  ++count_;
  double t = time - origin_;
  // Only the slope and the residuals are wanted, and neither depends on where the errors start;
  // a clock hours off would otherwise carry its offset through every rotation.
  double e = error - errorOrigin_;
  // The row [1, t | e] is rotated into the first row of R, then what is left of it into the
  // second; what is left after both is the residual that no line can take up.
  // sqrt of the sum of squares rather than hypot: the figures are seconds and square roots of
  // sums of squared seconds, far from overflow, and this runs for every sample of a resumed run.
  const double rho0 = std::sqrt(r00_ * r00_ + 1.0);
  const double c0 = r00_ / rho0, s0 = 1.0 / rho0;
  r00_ = rho0;
  const double r01 = c0 * r01_ + s0 * t;
  t = -s0 * r01_ + c0 * t;
  r01_ = r01;
  const double z0 = c0 * z0_ + s0 * e;
  e = -s0 * z0_ + c0 * e;
  z0_ = z0;
  const double rho1 = std::sqrt(r11_ * r11_ + t * t);
  if (rho1 != 0) {
    const double c1 = r11_ / rho1, s1 = t / rho1;
    r11_ = rho1;
    const double z1 = c1 * z1_ + s1 * e;
    e = -s1 * z1_ + c1 * e;
    z1_ = z1;
  }
  residualSquares_ += e * e;
}

namespace {

// The figures from a slope (seconds per second), the spread of the times about their mean
// (sqrt of the sum of squared deviations, seconds) and the residuals' sum of squares.
TFittedDrift Figures(std::int64_t count, double slope, double timeSpread, double residualSquares) {
  TFittedDrift fit;
  fit.Count = count;
  if (count < 2 || timeSpread == 0) return fit;
  fit.HasRate = true;
  fit.PerDay = slope * kSecondsPerDay;
  fit.Ppm = slope * kPartsPerMillion;
  if (count < 3) return fit;
  const double degrees = double(count - 2);
  fit.HasInterval = true;
  fit.ResidualStdDev = std::sqrt(residualSquares / degrees);
  const double slopeError = fit.ResidualStdDev / timeSpread;  // seconds per second
  fit.HalfWidth =
      StudentTQuantile(1 - (1 - kFitConfidence) / 2, degrees) * slopeError * kSecondsPerDay;
  return fit;
}

}  // namespace

TFittedDrift TDriftFit::Result() const {
  const double slope = r11_ != 0 ? z1_ / r11_ : 0.0;
  return Figures(count_, slope, std::fabs(r11_), residualSquares_);
}

TFittedDrift FitDrift(std::span<const double> times, std::span<const double> errors) {
  const std::size_t n = times.size() < errors.size() ? times.size() : errors.size();
  if (n == 0) return {};
  const double origin = times[0];
  // Sums in extended precision: the reference the kept fit is checked against.
  long double meanTime = 0, meanError = 0;
  for (std::size_t i = 0; i < n; ++i) {
    meanTime += times[i] - origin;
    meanError += errors[i];
  }
  meanTime /= double(n);
  meanError /= double(n);
  long double timeSquares = 0, products = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const long double dt = times[i] - origin - meanTime;
    timeSquares += dt * dt;
    products += dt * (errors[i] - meanError);
  }
  const long double slope = timeSquares != 0 ? products / timeSquares : 0.0L;
  long double residualSquares = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const long double residual = errors[i] - meanError - slope * (times[i] - origin - meanTime);
    residualSquares += residual * residual;
  }
  return Figures(std::int64_t(n), double(slope), double(std::sqrt(timeSquares)),
                 double(residualSquares));
}

}  // namespace components
