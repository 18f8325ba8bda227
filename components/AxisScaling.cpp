#include "components/AxisScaling.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace components {

namespace {

// px: far beyond any screen, yet well within an int.
constexpr double kPixelLimit = 1e8;

double ClampPixel(double value) {
  if (std::isnan(value)) return 0;
  return std::clamp(value, -kPixelLimit, kPixelLimit);
}

// Above the largest finite double's decade (308): the tick walk stops here whatever Max is.
constexpr int kLastExponent = 400;

}  // namespace

TAxisScaling LinearScaling(int pixels, double min, double max) {
  const double span = max - min;
  return {span == 0 ? 1e-99 : pixels / span, min};
}

TAxisScaling LogScaling(int pixels, double min, double max) {
  const double base = std::log10(min <= 0 ? 1.0 : min);
  const double span = std::log10(max) - base;
  return {span == 0 ? 1e-99 : pixels / span, base};
}

double AxisCoordinate(double value, bool log) {
  return log ? std::log10(value <= 0 ? 1.0 : value) : value;
}

int RoundPixel(double value) {
  return int(std::nearbyint(ClampPixel(value)));
}

int TruncPixel(double value) {
  return int(std::trunc(ClampPixel(value)));
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t product = int64_t(a) * b;
  int64_t quotient = product / c;
  const int64_t remainder = product % c;
  if (2 * std::abs(remainder) >= std::abs(int64_t(c)))
    quotient += ((product < 0) != (c < 0)) ? -1 : 1;
  return int(quotient);
}

double LabelValue(double value, double offset, double multiplier, double cycle) {
  const double t = (value + offset) * multiplier;
  if (cycle == 0) return t;
  // Fractional part with the sign of its argument.
  const double turns = t / cycle;
  return cycle * (turns - std::trunc(turns));
}

double FirstLabelValue(double min, double max, bool relative) {
  if (!relative) return min;
  return max > min ? 0 : min - max;
}

std::vector<TLogTick> LogTicks(double min, double max) {
  std::vector<TLogTick> ticks;
  if (min <= 0) min = 1.0;
  const double first = std::log10(min);
  if (!std::isfinite(first) || !std::isfinite(max)) return ticks;
  int exponent = int(std::floor(first));
  int mantissa = int(std::trunc(min / std::pow(10.0, exponent)));
  // The logarithm may round across a decade boundary.
  if (mantissa < 1) {
    mantissa = 9;
    --exponent;
  } else if (mantissa > 9) {
    mantissa = 1;
    ++exponent;
  }
  auto step = [&] {
    if (++mantissa == 10) {
      mantissa = 1;
      ++exponent;
    }
  };
  step();
  do {
    ticks.push_back({mantissa, exponent, mantissa * std::pow(10.0, exponent)});
    step();
  } while (mantissa * std::pow(10.0, exponent) < max && exponent < kLastExponent);
  return ticks;
}

}  // namespace components
