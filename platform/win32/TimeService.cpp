#include "platform/TimeService.h"

#include "platform/LastError.h"

// Windows keeps its time service (W32Time) to itself: nothing here asks it, so the facts stay
// unknown and the program says it cannot tell.

namespace platform {

namespace {

constexpr uint32_t kErrorNotSupported = 50;  // ERROR_NOT_SUPPORTED

class Win32KernelTime final : public KernelTimeApi {
 public:
  bool ReadKernelClock(int*, int*) override {
    SetLastError(kErrorNotSupported);
    return false;
  }
};

}  // namespace

KernelTimeApi& KernelTimeApi::Real() {
  static Win32KernelTime kernel;
  return kernel;
}

std::string NoTimeServiceReason() {
  return "the Windows time service is not asked on this system";
}

}  // namespace platform
