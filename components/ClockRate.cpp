#include "components/ClockRate.h"

#include <algorithm>
#include <cmath>

namespace components {

namespace {
constexpr int kSecondsPerDay = 86400;
}

double AdjustmentPerDay(uint32_t adjustment, uint32_t increment) {
  if (increment == 0) return 0.0;  // nothing read yet: no rate to speak of
  // In extended precision, rounded to a double once at the end: the subtraction cancels the
  // ratio's leading digits, and the wider type keeps more of the rest.
  const long double ratio = static_cast<long double>(adjustment) / increment;
  return static_cast<double>((ratio - 1) * kSecondsPerDay);
}

uint32_t AdjustmentForPerDay(uint32_t increment, double perDay) {
  const double value = std::rint((perDay / kSecondsPerDay + 1) * increment);  // ties to even
  // Keep the conversion defined for any entry; the kernel refuses what it cannot take. Through
  // a signed 64-bit whole number, whose low 32 bits are the result, so a negative entry wraps
  // as an unsigned word does instead of being undefined.
  const double limited = std::isfinite(value) ? std::clamp(value, -9.2e18, 9.2e18) : 0.0;
  return static_cast<uint32_t>(static_cast<int64_t>(limited));
}

}  // namespace components
