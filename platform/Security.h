#pragma once
// The security area: a process's access token and its privileges, shaped as the Windows calls
// they stand for, and the system's message texts for error numbers.
#include <cstdint>
#include <string>

#include "platform/ErrorCodes.h"
#include "platform/Seam.h"

namespace platform {

using HANDLE = void*;

struct LUID {
  uint32_t LowPart = 0;
  int32_t HighPart = 0;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  uint32_t Attributes = 0;
};

// One privilege entry, as the callers here pass it: 16 bytes.
struct TOKEN_PRIVILEGES {
  uint32_t PrivilegeCount = 0;
  LUID_AND_ATTRIBUTES Privileges[1];
};

constexpr uint32_t TOKEN_QUERY = 0x0008;
constexpr uint32_t TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr uint32_t SE_PRIVILEGE_ENABLED = 0x0002;
constexpr const char* SE_SYSTEMTIME_NAME = "SeSystemtimePrivilege";

// The pseudo handle that stands for the calling process.
inline HANDLE GetCurrentProcess() {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

class SecurityApi {
 public:
  virtual ~SecurityApi() = default;
  // Opens the access token of `process` (only the current process here) for `desiredAccess`.
  virtual bool OpenProcessToken(HANDLE process, uint32_t desiredAccess, HANDLE* token) = 0;
  // The local identifier of a privilege named on the local system (`systemName` null or "").
  virtual bool LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) = 0;
  // Enables or disables the listed privileges of the token. Succeeds with the last error 0
  // when all were changed, and with ERROR_NOT_ALL_ASSIGNED when the token does not hold some
  // of them (those stay as they were). `previousState` (may be null) receives the former
  // state of the changed entries.
  virtual bool AdjustTokenPrivileges(HANDLE token, bool disableAllPrivileges,
                                     const TOKEN_PRIVILEGES* newState, uint32_t bufferLength,
                                     TOKEN_PRIVILEGES* previousState, uint32_t* returnLength) = 0;
  virtual bool CloseHandle(HANDLE handle) = 0;

  static SecurityApi& Real();
};

inline bool OpenProcessToken(HANDLE process, uint32_t desiredAccess, HANDLE* token) {
  return Current<SecurityApi>().OpenProcessToken(process, desiredAccess, token);
}
inline bool LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) {
  return Current<SecurityApi>().LookupPrivilegeValueA(systemName, name, luid);
}
inline bool AdjustTokenPrivileges(HANDLE token, bool disableAllPrivileges,
                                  const TOKEN_PRIVILEGES* newState, uint32_t bufferLength,
                                  TOKEN_PRIVILEGES* previousState, uint32_t* returnLength) {
  return Current<SecurityApi>().AdjustTokenPrivileges(token, disableAllPrivileges, newState,
                                                      bufferLength, previousState, returnLength);
}
inline bool CloseHandle(HANDLE handle) {
  return Current<SecurityApi>().CloseHandle(handle);
}

// The system's message text for a last-error number, without a trailing line end: the
// platform's own texts for its numbers above 1000, the C library's for errno values.
std::string SystemMessageText(uint32_t code);

}  // namespace platform
