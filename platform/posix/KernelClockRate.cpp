#include "platform/posix/KernelClockRate.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace platform::kernelclock {

long NominalTick(long userHz) {
  return 1000000L / userHz;
}

uint32_t NominalIncrement(long userHz) {
  return static_cast<uint32_t>(10000000L / userHz);
}

RateCounts CountsFromKernel(const KernelRate& rate, long userHz) {
  RateCounts counts;
  counts.increment = NominalIncrement(userHz);
  // 1 us = 10 units of 100 ns; freq / (2^16 * 1e6) is the fractional rate correction.
  const long double perInterrupt =
      static_cast<long double>(rate.tick) * 10.0L *
      (1.0L + static_cast<long double>(rate.freq) / (kFrequencyScale * 1e6L));
  const long double rounded = std::nearbyint(perInterrupt);
  counts.adjustment = rounded <= 0 ? 0u : static_cast<uint32_t>(rounded);
  counts.disabled = rate.tick == NominalTick(userHz) && rate.freq == 0;
  return counts;
}

int KernelFromCounts(uint32_t adjustment, bool disabled, long userHz, long long tolerance,
                     KernelRate* rate) {
  if (disabled) {
    *rate = KernelRate{NominalTick(userHz), 0};
    return 0;
  }
  // Nearest whole microsecond, halves upwards (10 units of 100 ns per microsecond).
  const long tick = static_cast<long>((static_cast<uint64_t>(adjustment) + 5) / 10);
  if (tick < 900000L / userHz || tick > 1100000L / userHz) return EINVAL;
  const long double ppm =
      (static_cast<long double>(adjustment) / (10.0L * static_cast<long double>(tick)) - 1.0L) *
      1e6L;
  const long long freq = std::llround(ppm * kFrequencyScale);
  if (std::llabs(freq) > tolerance) return EINVAL;
  *rate = KernelRate{tick, freq};
  return 0;
}

}  // namespace platform::kernelclock
