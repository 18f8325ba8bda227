#pragma once
// The registry area: keys opened with an access mask and typed values read and written by name,
// shaped as the Windows calls they stand for. Results are the platform's error numbers
// (ERROR_SUCCESS, 0, when the call did what was asked).
#include <cstdint>

#include "platform/ErrorCodes.h"
#include "platform/Seam.h"

namespace platform {

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = uint32_t;

inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
// Rights that change a key: its values, sub-keys, links, security or existence.
constexpr REGSAM KEY_CHANGING_RIGHTS = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                       0x10000 /*DELETE*/ | 0x40000 /*WRITE_DAC*/ |
                                       0x80000 /*WRITE_OWNER*/;

constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;

constexpr uint32_t REG_OPTION_NON_VOLATILE = 0;
constexpr uint32_t REG_CREATED_NEW_KEY = 1;
constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;
  // Opens `subKey` below `key` (a root key or an open key) for `desired` access.
  virtual uint32_t RegOpenKeyExA(HKEY key, const char* subKey, uint32_t options, REGSAM desired,
                                 HKEY* result) = 0;
  // As RegOpenKeyExA, creating the key when missing; `disposition` (may be null) says which.
  virtual uint32_t RegCreateKeyExA(HKEY key, const char* subKey, uint32_t options, REGSAM desired,
                                   HKEY* result, uint32_t* disposition) = 0;
  // The type and data of a value. With `data` null only the type and size are given; a
  // buffer smaller than the data gives ERROR_MORE_DATA and the size needed in `size`.
  virtual uint32_t RegQueryValueExA(HKEY key, const char* valueName, uint32_t* type, uint8_t* data,
                                    uint32_t* size) = 0;
  virtual uint32_t RegSetValueExA(HKEY key, const char* valueName, uint32_t type,
                                  const uint8_t* data, uint32_t size) = 0;
  virtual uint32_t RegCloseKey(HKEY key) = 0;

  static RegistryApi& Real();
};

inline uint32_t RegOpenKeyExA(HKEY key, const char* subKey, uint32_t options, REGSAM desired,
                              HKEY* result) {
  return Current<RegistryApi>().RegOpenKeyExA(key, subKey, options, desired, result);
}
inline uint32_t RegCreateKeyExA(HKEY key, const char* subKey, uint32_t options, REGSAM desired,
                                HKEY* result, uint32_t* disposition) {
  return Current<RegistryApi>().RegCreateKeyExA(key, subKey, options, desired, result, disposition);
}
inline uint32_t RegQueryValueExA(HKEY key, const char* valueName, uint32_t* type, uint8_t* data,
                                 uint32_t* size) {
  return Current<RegistryApi>().RegQueryValueExA(key, valueName, type, data, size);
}
inline uint32_t RegSetValueExA(HKEY key, const char* valueName, uint32_t type, const uint8_t* data,
                               uint32_t size) {
  return Current<RegistryApi>().RegSetValueExA(key, valueName, type, data, size);
}
inline uint32_t RegCloseKey(HKEY key) {
  return Current<RegistryApi>().RegCloseKey(key);
}

}  // namespace platform
