// The registry through Windows' own calls. Results are Windows' error numbers, as ours are.
#include "platform/Registry.h"

namespace platform {
// Our root keys, taken before Windows' names for them (macros) are defined below. Windows'
// own root handles are these numbers sign-extended to 64 bits, so they are translated, never
// passed on as they are.
static const HKEY kOurCurrentUser = HKEY_CURRENT_USER;
static const HKEY kOurLocalMachine = HKEY_LOCAL_MACHINE;
}  // namespace platform

#include "platform/win32/WindowsHeaders.h"

// Outside namespace platform: there, the HKEY in Windows' root-key macros would name ours.
namespace {

static_assert(sizeof(uint32_t) == sizeof(::DWORD));

// A root key of ours as Windows' root handle; any other key is a handle Windows gave us.
::HKEY ToWindows(platform::HKEY key) {
  if (key == platform::kOurLocalMachine) return HKEY_LOCAL_MACHINE;
  if (key == platform::kOurCurrentUser) return HKEY_CURRENT_USER;
  return reinterpret_cast<::HKEY>(key);
}

platform::HKEY FromWindows(::HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return platform::kOurLocalMachine;
  if (key == HKEY_CURRENT_USER) return platform::kOurCurrentUser;
  return reinterpret_cast<platform::HKEY>(key);
}

}  // namespace

namespace platform {

namespace {

uint32_t Result(::LSTATUS status) {
  return static_cast<uint32_t>(status);
}

class Win32Registry final : public RegistryApi {
 public:
  uint32_t RegOpenKeyExA(HKEY key, const char* subKey, uint32_t options, REGSAM desired,
                         HKEY* result) override {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    ::HKEY opened = nullptr;
    const ::LSTATUS status = ::RegOpenKeyExA(ToWindows(key), subKey, options, desired, &opened);
    if (status == ERROR_SUCCESS) *result = FromWindows(opened);
    return Result(status);
  }

  uint32_t RegCreateKeyExA(HKEY key, const char* subKey, uint32_t options, REGSAM desired,
                           HKEY* result, uint32_t* disposition) override {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    ::HKEY opened = nullptr;
    ::DWORD how = 0;
    const ::LSTATUS status = ::RegCreateKeyExA(ToWindows(key), subKey, 0, nullptr, options, desired,
                                               nullptr, &opened, &how);
    if (status == ERROR_SUCCESS) {
      *result = FromWindows(opened);
      if (disposition != nullptr) *disposition = how;
    }
    return Result(status);
  }

  uint32_t RegQueryValueExA(HKEY key, const char* valueName, uint32_t* type, uint8_t* data,
                            uint32_t* size) override {
    return Result(::RegQueryValueExA(ToWindows(key), valueName, nullptr,
                                     reinterpret_cast<::DWORD*>(type), data,
                                     reinterpret_cast<::DWORD*>(size)));
  }

  uint32_t RegSetValueExA(HKEY key, const char* valueName, uint32_t type, const uint8_t* data,
                          uint32_t size) override {
    return Result(::RegSetValueExA(ToWindows(key), valueName, 0, type, data, size));
  }

  uint32_t RegCloseKey(HKEY key) override { return Result(::RegCloseKey(ToWindows(key))); }
};

}  // namespace

RegistryApi& RegistryApi::Real() {
  static Win32Registry registry;
  return registry;
}

}  // namespace platform
