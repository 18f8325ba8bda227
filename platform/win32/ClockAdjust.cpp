// The clock-rate area over the Windows calls themselves: both already count in 100-ns units per
// clock interrupt.
#include "platform/ClockAdjust.h"

#include "platform/win32/WindowsHeaders.h"

namespace platform {

namespace {

class Win32ClockAdjust final : public ClockAdjustApi {
 public:
  bool GetSystemTimeAdjustment(uint32_t* adjustment, uint32_t* increment,
                               int32_t* disabled) override {
    ::DWORD windowsAdjustment = 0;
    ::DWORD windowsIncrement = 0;
    ::BOOL windowsDisabled = FALSE;
    if (!::GetSystemTimeAdjustment(&windowsAdjustment, &windowsIncrement, &windowsDisabled))
      return false;
    *adjustment = windowsAdjustment;
    *increment = windowsIncrement;
    *disabled = windowsDisabled;
    return true;
  }

  // Needs the system-time privilege enabled; without it Windows refuses with
  // ERROR_PRIVILEGE_NOT_HELD.
  bool SetSystemTimeAdjustment(uint32_t adjustment, int32_t disabled) override {
    return ::SetSystemTimeAdjustment(adjustment, disabled) != FALSE;
  }
};

}  // namespace

ClockAdjustApi& ClockAdjustApi::Real() {
  static Win32ClockAdjust adjust;
  return adjust;
}

}  // namespace platform
