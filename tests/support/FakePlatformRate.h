#pragma once
// Fakes of the clock-rate and security areas, for tests of the code that calibrates the clock:
// a clock rate held in memory, and a token that either holds the system-time privilege or not.
#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/ClockAdjust.h"
#include "platform/LastError.h"
#include "platform/Security.h"

namespace testing_support {

class FakeClockAdjust : public platform::ClockAdjustApi {
 public:
  uint32_t adjustment = 156250;  // 100-ns units
  uint32_t increment = 156250;
  int32_t disabled = 1;
  bool failGet = false;  // reads fail with getError
  uint32_t getError = 5;
  bool failSet = false;  // writes fail with setError
  uint32_t setError = 5;
  int setCalls = 0;
  // When set, writes are refused (EPERM, as the kernel does) unless this is true, as for a
  // thread without the time capability.
  const bool* privilegeEnabled = nullptr;

  bool GetSystemTimeAdjustment(uint32_t* a, uint32_t* i, int32_t* d) override {
    if (failGet) {
      platform::SetLastError(getError);
      return false;
    }
    *a = adjustment;
    *i = increment;
    *d = disabled;
    return true;
  }
  bool SetSystemTimeAdjustment(uint32_t a, int32_t d) override {
    ++setCalls;
    if (failSet || (privilegeEnabled != nullptr && !*privilegeEnabled)) {
      platform::SetLastError(failSet ? setError : static_cast<uint32_t>(EPERM));
      return false;
    }
    adjustment = a;
    disabled = d;
    return true;
  }
};

class FakeSecurity : public platform::SecurityApi {
 public:
  bool holdsPrivilege = true;  // the token holds SeSystemtimePrivilege
  bool failOpen = false;       // OpenProcessToken fails with openError
  uint32_t openError = 5;
  bool failLookup = false;  // LookupPrivilegeValueA fails with lookupError
  uint32_t lookupError = 1313;
  bool enabled = false;  // the privilege's state
  int openTokens = 0;    // tokens opened and not closed
  int adjustCalls = 0;
  uint32_t lastAttributes = 0;
  uint32_t lastBufferLength = 0;

  bool OpenProcessToken(platform::HANDLE, uint32_t, platform::HANDLE* token) override {
    if (failOpen) {
      platform::SetLastError(openError);
      return false;
    }
    ++openTokens;
    *token = this;
    return true;
  }
  bool LookupPrivilegeValueA(const char*, const char* name, platform::LUID* luid) override {
    if (failLookup || name == nullptr || std::string(name) != platform::SE_SYSTEMTIME_NAME) {
      platform::SetLastError(lookupError);
      return false;
    }
    *luid = platform::LUID{25, 0};
    return true;
  }
  bool AdjustTokenPrivileges(platform::HANDLE, bool, const platform::TOKEN_PRIVILEGES* state,
                             uint32_t bufferLength, platform::TOKEN_PRIVILEGES*,
                             uint32_t*) override {
    ++adjustCalls;
    lastAttributes = state->Privileges[0].Attributes;
    lastBufferLength = bufferLength;
    const bool enable = (lastAttributes & platform::SE_PRIVILEGE_ENABLED) != 0;
    if (enable && !holdsPrivilege) {
      platform::SetLastError(platform::ERROR_NOT_ALL_ASSIGNED);
      return true;
    }
    enabled = enable;
    platform::SetLastError(platform::ERROR_SUCCESS);
    return true;
  }
  bool CloseHandle(platform::HANDLE) override {
    --openTokens;
    return true;
  }
};

}  // namespace testing_support
