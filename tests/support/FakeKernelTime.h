#pragma once
// The kernel clock's status of the test's: adjtimex's clock state and status word, or a refusal.
#include "platform/LastError.h"
#include "platform/TimeService.h"

namespace testing_support {

class FakeKernelTime : public platform::KernelTimeApi {
 public:
  int state = 0;                   // TIME_OK
  int status = platform::kStaPll;  // PLL updates on, synchronised
  bool fail = false;
  uint32_t error = 1;  // EPERM, when failing

  bool ReadKernelClock(int* stateOut, int* statusOut) override {
    if (fail) {
      platform::SetLastError(error);
      return false;
    }
    *stateOut = state;
    *statusOut = status;
    return true;
  }

 private:
  platform::ScopedOverride<platform::KernelTimeApi> installed_{*this};
};

}  // namespace testing_support
