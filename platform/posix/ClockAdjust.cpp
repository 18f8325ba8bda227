#include "platform/ClockAdjust.h"

#include <sys/timex.h>
#include <unistd.h>

#include <cerrno>

#include "platform/LastError.h"
#include "platform/posix/KernelClockRate.h"

namespace platform {

namespace {

long UserHz() {
  const long hz = sysconf(_SC_CLK_TCK);
  return hz > 0 ? hz : 100;
}

// Reads the kernel's rate; reading needs no privilege.
bool ReadKernel(timex* tx) {
  *tx = timex{};
  tx->modes = 0;
  if (::adjtimex(tx) == -1) {
    SetLastError(static_cast<uint32_t>(errno));
    return false;
  }
  return true;
}

class PosixClockAdjust final : public ClockAdjustApi {
 public:
  bool GetSystemTimeAdjustment(uint32_t* adjustment, uint32_t* increment,
                               int32_t* disabled) override {
    timex tx;
    if (!ReadKernel(&tx)) return false;
    const auto counts = kernelclock::CountsFromKernel({tx.tick, tx.freq}, UserHz());
    *adjustment = counts.adjustment;
    *increment = counts.increment;
    *disabled = counts.disabled ? 1 : 0;
    return true;
  }

  bool SetSystemTimeAdjustment(uint32_t adjustment, int32_t disabled) override {
    timex current;
    if (!ReadKernel(&current)) return false;
    kernelclock::KernelRate rate;
    const int refused = kernelclock::KernelFromCounts(adjustment, disabled != 0, UserHz(),
                                                      current.tolerance, &rate);
    if (refused != 0) {
      SetLastError(static_cast<uint32_t>(refused));
      return false;
    }
    timex tx{};
    tx.modes = ADJ_TICK | ADJ_FREQUENCY;
    tx.tick = rate.tick;
    tx.freq = rate.freq;
    if (::adjtimex(&tx) == -1) {
      SetLastError(static_cast<uint32_t>(errno));
      return false;
    }
    return true;
  }
};

}  // namespace

ClockAdjustApi& ClockAdjustApi::Real() {
  static PosixClockAdjust adjust;
  return adjust;
}

}  // namespace platform
