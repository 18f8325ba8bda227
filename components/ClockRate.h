#pragma once
// The clock rate as the platform's clock-adjustment interface states it, and as a person states
// it: an adjustment added per clock interrupt (100-ns units) against the interrupt interval
// (100-ns units), or seconds per day the clock gains. Standard C++ only, so that it is tested
// without a window.
#include <cstdint>

namespace components {

// Seconds per day the clock gains when `adjustment` (100 ns) is added at each interrupt of
// `increment` (100 ns); positive when the clock runs fast. 0 when no interval is known.
double AdjustmentPerDay(uint32_t adjustment, uint32_t increment);

// The adjustment per interrupt (100 ns) that gains `perDay` seconds per day at `increment`,
// nearest (ties to even), low 32 bits.
uint32_t AdjustmentForPerDay(uint32_t increment, double perDay);

}  // namespace components
