#include "platform/Security.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/LastError.h"

// Privileges are the thread's capabilities: a privilege the token holds is a permitted
// capability, an enabled one is also effective. Linux keeps capabilities per thread, so the
// token of the calling thread is what changes; the program adjusts them on its main thread.

namespace platform {

namespace {

struct PrivilegeName {
  const char* name;
  uint32_t capability;
};

constexpr PrivilegeName kPrivileges[] = {
    {"SeSystemtimePrivilege", CAP_SYS_TIME},
};

struct Token {
  uint32_t access;
};

struct CapabilitySets {
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
};

bool ReadCapabilities(CapabilitySets* sets) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capget, &header, sets->data) == 0;
}

bool WriteCapabilities(CapabilitySets* sets) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capset, &header, sets->data) == 0;
}

bool Has(const uint32_t (&bits)[2], uint32_t capability) {
  return (bits[capability / 32] >> (capability % 32)) & 1u;
}

bool KnownCapability(const LUID& luid) {
  if (luid.HighPart != 0) return false;
  for (const auto& p : kPrivileges)
    if (p.capability == luid.LowPart) return true;
  return false;
}

class PosixSecurity final : public SecurityApi {
 public:
  bool OpenProcessToken(HANDLE process, uint32_t desiredAccess, HANDLE* token) override {
    if (process != GetCurrentProcess() || token == nullptr) {
      SetLastError(EBADF);
      return false;
    }
    auto* t = new Token{desiredAccess};
    std::lock_guard<std::mutex> lock(mutex_);
    tokens_.insert(t);
    *token = t;
    return true;
  }

  bool LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) override {
    if (systemName != nullptr && systemName[0] != '\0') {
      SetLastError(RPC_S_SERVER_UNAVAILABLE);  // only the local system is known here
      return false;
    }
    if (name == nullptr || luid == nullptr) {
      SetLastError(EINVAL);
      return false;
    }
    for (const auto& p : kPrivileges) {
      if (strcasecmp(p.name, name) == 0) {
        *luid = LUID{p.capability, 0};
        return true;
      }
    }
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return false;
  }

  bool AdjustTokenPrivileges(HANDLE token, bool disableAllPrivileges,
                             const TOKEN_PRIVILEGES* newState, uint32_t bufferLength,
                             TOKEN_PRIVILEGES* previousState, uint32_t* returnLength) override {
    uint32_t access = 0;
    if (!Lookup(token, &access)) {
      SetLastError(EBADF);
      return false;
    }
    if (!(access & TOKEN_ADJUST_PRIVILEGES)) {
      SetLastError(EACCES);
      return false;
    }
    const uint32_t count =
        disableAllPrivileges || newState == nullptr ? 0 : newState->PrivilegeCount;
    if (!disableAllPrivileges && newState == nullptr) {
      SetLastError(EINVAL);
      return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
      if (!KnownCapability(newState->Privileges[i].Luid)) {
        SetLastError(ERROR_NO_SUCH_PRIVILEGE);
        return false;
      }
    }
    CapabilitySets sets;
    if (!ReadCapabilities(&sets)) {
      SetLastError(static_cast<uint32_t>(errno));
      return false;
    }
    uint32_t effective[2] = {sets.data[0].effective, sets.data[1].effective};
    const uint32_t permitted[2] = {sets.data[0].permitted, sets.data[1].permitted};

    // Entries whose state changes, with their former attributes.
    LUID_AND_ATTRIBUTES changed[sizeof(kPrivileges) / sizeof(kPrivileges[0])];
    uint32_t changedCount = 0;
    bool notAllAssigned = false;
    auto set = [&](uint32_t capability, bool enable) {
      const bool was = Has(effective, capability);
      if (enable && !Has(permitted, capability)) {
        notAllAssigned = true;
        return;
      }
      if (was == enable) return;
      bool listed = false;
      for (uint32_t k = 0; k < changedCount; ++k) listed |= changed[k].Luid.LowPart == capability;
      if (!listed && changedCount < std::size(changed))
        changed[changedCount++] = {LUID{capability, 0}, was ? SE_PRIVILEGE_ENABLED : 0u};
      if (enable)
        effective[capability / 32] |= 1u << (capability % 32);
      else
        effective[capability / 32] &= ~(1u << (capability % 32));
    };
    if (disableAllPrivileges) {
      for (const auto& p : kPrivileges) set(p.capability, false);
    } else {
      for (uint32_t i = 0; i < count; ++i)
        set(newState->Privileges[i].Luid.LowPart,
            (newState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0);
    }

    if (previousState != nullptr) {
      // Count plus the entries: 4 + 12 bytes each.
      const uint32_t needed = 4 + 12 * changedCount;
      if (returnLength) *returnLength = needed;
      if (bufferLength < needed) {
        SetLastError(ENOBUFS);
        return false;
      }
      previousState->PrivilegeCount = changedCount;
      for (uint32_t k = 0; k < changedCount; ++k) previousState->Privileges[k] = changed[k];
    }

    sets.data[0].effective = effective[0];
    sets.data[1].effective = effective[1];
    if (changedCount > 0 && !WriteCapabilities(&sets)) {
      SetLastError(static_cast<uint32_t>(errno));
      return false;
    }
    SetLastError(notAllAssigned ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
    return true;
  }

  bool CloseHandle(HANDLE handle) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = tokens_.find(static_cast<Token*>(handle));
    if (it == tokens_.end()) {
      SetLastError(EBADF);
      return false;
    }
    delete *it;
    tokens_.erase(it);
    return true;
  }

 private:
  bool Lookup(HANDLE handle, uint32_t* access) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = tokens_.find(static_cast<Token*>(handle));
    if (it == tokens_.end()) return false;
    *access = (*it)->access;
    return true;
  }

  std::mutex mutex_;
  std::set<Token*> tokens_;
};

}  // namespace

SecurityApi& SecurityApi::Real() {
  static PosixSecurity security;
  return security;
}

std::string SystemMessageText(uint32_t code) {
  switch (code) {
    case ERROR_SUCCESS:
      return "The operation completed successfully.";
    case ERROR_NOT_ALL_ASSIGNED:
      return "Not all privileges or groups referenced are assigned to the caller.";
    case ERROR_NO_SUCH_PRIVILEGE:
      return "A specified privilege does not exist.";
    case RPC_S_SERVER_UNAVAILABLE:
      return "The RPC server is unavailable.";
    default:
      break;
  }
  char buffer[256];
  return strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

}  // namespace platform
