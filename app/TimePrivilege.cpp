#include "app/TimePrivilege.h"

#include <utility>

#include "platform/LastError.h"
#include "platform/Security.h"

namespace app {

TTimePrivilege::TTimePrivilege(TPrivilegeReport report) : report_(std::move(report)) {
  holds_ = Adjust(true, &turnedOn_);
}

TTimePrivilege::~TTimePrivilege() {
  if (!turnedOn_) return;
  bool switched = false;
  Adjust(false, &switched);
}

bool TTimePrivilege::Adjust(bool enable, bool* switched) {
  *switched = false;
  platform::HANDLE token = nullptr;
  if (!platform::OpenProcessToken(platform::GetCurrentProcess(),
                                  platform::TOKEN_ADJUST_PRIVILEGES | platform::TOKEN_QUERY,
                                  &token)) {
    report_(TPrivilegeRefusal::TokenNotOpened, platform::GetLastError());
    return false;
  }
  platform::LUID luid;
  if (!platform::LookupPrivilegeValueA(nullptr, platform::SE_SYSTEMTIME_NAME, &luid)) {
    report_(TPrivilegeRefusal::NotLookedUp, platform::GetLastError());
    platform::CloseHandle(token);
    return false;
  }
  platform::TOKEN_PRIVILEGES privileges;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid = luid;
  privileges.Privileges[0].Attributes = enable ? platform::SE_PRIVILEGE_ENABLED : 0;
  // The call lists the entries it changed, with their former state. A token that does not say
  // counts as changed from the opposite state.
  platform::TOKEN_PRIVILEGES previous;
  previous.PrivilegeCount = 1;
  previous.Privileges[0].Luid = luid;
  previous.Privileges[0].Attributes = enable ? 0 : platform::SE_PRIVILEGE_ENABLED;
  uint32_t length = 0;
  constexpr uint32_t kOneEntry = 16;  // bytes: the count and one entry
  platform::AdjustTokenPrivileges(token, false, &privileges, kOneEntry, &previous, &length);
  // The call's own result says little: not holding the right shows only in the last error ("not
  // all assigned").
  const uint32_t error = platform::GetLastError();
  if (error != 0)
    report_(enable && error == platform::ERROR_NOT_ALL_ASSIGNED ? TPrivilegeRefusal::NotHeld
                                                                : TPrivilegeRefusal::NotChanged,
            error);
  platform::CloseHandle(token);
  *switched = error == 0 && previous.PrivilegeCount > 0;
  return error == 0;
}

}  // namespace app
