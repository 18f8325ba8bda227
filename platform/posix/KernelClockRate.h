#pragma once
// Conversions between the kernel's clock-rate values (adjtimex) and the per-interrupt counts of
// the clock-rate area. The kernel advances its clock by `tick` microseconds every 1/USER_HZ
// second, corrected by `freq` in parts per million scaled by 2^16.
#include <cstdint>

namespace platform::kernelclock {

// Frequency unit of adjtimex: 1 ppm = 65536 scaled units.
constexpr long long kFrequencyScale = 65536;

// Nominal tick in microseconds: 10000 at USER_HZ 100.
long NominalTick(long userHz);
// Nominal interval between clock interrupts in 100-ns units: 100000 at USER_HZ 100.
uint32_t NominalIncrement(long userHz);

struct RateCounts {
  uint32_t adjustment = 0;  // 100-ns units added per interrupt
  uint32_t increment = 0;   // 100-ns units, nominal interrupt interval
  bool disabled = false;    // the kernel runs at its nominal rate
};

struct KernelRate {
  long tick = 0;       // microseconds per 1/USER_HZ s
  long long freq = 0;  // ppm * 2^16, signed
};

// What the kernel really adds per interrupt: tick * 10 * (1 + freq / (2^16 * 1e6)), rounded
// to the nearest 100-ns unit.
RateCounts CountsFromKernel(const KernelRate& rate, long userHz);

// The tick and frequency that give `adjustment` per interrupt: the nearest whole-microsecond
// tick, the rest in the frequency at the kernel's resolution of 2^-16 ppm. Disabled gives the
// nominal tick and no frequency correction. Returns 0, or EINVAL when the kernel cannot take
// the value: a tick outside 900000/USER_HZ..1100000/USER_HZ (the kernel's own limit) or a
// frequency beyond its `tolerance` (which the kernel would otherwise clamp without a word).
int KernelFromCounts(uint32_t adjustment, bool disabled, long userHz, long long tolerance,
                     KernelRate* rate);

}  // namespace platform::kernelclock
