#include "platform/TimeService.h"

#include <sys/timex.h>

#include <cerrno>

#include "platform/LastError.h"

namespace platform {

static_assert(kStaPll == STA_PLL && kStaFll == STA_FLL && kStaUnsync == STA_UNSYNC &&
              kTimeError == TIME_ERROR);

namespace {

class PosixKernelTime final : public KernelTimeApi {
 public:
  bool ReadKernelClock(int* state, int* status) override {
    timex tx{};
    tx.modes = 0;  // read only: needs no privilege
    const int result = ::adjtimex(&tx);
    if (result == -1) {
      SetLastError(static_cast<uint32_t>(errno));
      return false;
    }
    *state = result;
    *status = tx.status;
    return true;
  }
};

}  // namespace

KernelTimeApi& KernelTimeApi::Real() {
  static PosixKernelTime kernel;
  return kernel;
}

std::string NoTimeServiceReason() {
  return "this program asks no system bus, so it cannot ask systemd-timedated";
}

}  // namespace platform
