#pragma once
// The clock-rate area: how much the time of day advances at each clock interrupt, shaped as the
// Windows calls they stand for. Counts are in 100-ns units.
#include <cstdint>

#include "platform/Seam.h"

namespace platform {

class ClockAdjustApi {
 public:
  virtual ~ClockAdjustApi() = default;
  // `adjustment`: added to the time of day per interrupt; `increment`: the nominal interval
  // between interrupts; `disabled`: non-zero when the clock runs at its own nominal rate.
  // False (with the last error set) when the rate cannot be read.
  virtual bool GetSystemTimeAdjustment(uint32_t* adjustment, uint32_t* increment,
                                       int32_t* disabled) = 0;
  // Non-zero `disabled` returns the clock to its nominal rate and ignores `adjustment`.
  // False (with the last error set) when the rate may not or cannot be set.
  virtual bool SetSystemTimeAdjustment(uint32_t adjustment, int32_t disabled) = 0;

  static ClockAdjustApi& Real();
};

inline bool GetSystemTimeAdjustment(uint32_t* adjustment, uint32_t* increment, int32_t* disabled) {
  return Current<ClockAdjustApi>().GetSystemTimeAdjustment(adjustment, increment, disabled);
}
inline bool SetSystemTimeAdjustment(uint32_t adjustment, int32_t disabled) {
  return Current<ClockAdjustApi>().SetSystemTimeAdjustment(adjustment, disabled);
}

}  // namespace platform
