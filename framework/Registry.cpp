#include "framework/Registry.h"

#include <algorithm>
#include <cstring>

namespace framework {

TRegistry::TRegistry(platform::REGSAM access) : access_(access) {}

TRegistry::~TRegistry() {
  CloseKey();
}

void TRegistry::SetRootKey(platform::HKEY rootKey) {
  if (rootKey == rootKey_) return;
  CloseKey();
  rootKey_ = rootKey;
}

bool TRegistry::Open(const std::string& key, platform::REGSAM access, bool canCreate) {
  const bool absolute = !key.empty() && key.front() == '\\';
  const std::string relative = key.substr(std::min(key.find_first_not_of('\\'), key.size()));
  const platform::HKEY base = absolute || currentKey_ == nullptr ? rootKey_ : currentKey_;
  platform::HKEY opened = nullptr;
  const uint32_t result =
      canCreate ? platform::RegCreateKeyExA(base, relative.c_str(), 0, access, &opened, nullptr)
                : platform::RegOpenKeyExA(base, relative.c_str(), 0, access, &opened);
  if (result != platform::ERROR_SUCCESS) return false;
  std::string path = relative;
  if (!absolute && currentKey_ != nullptr && !currentPath_.empty())
    path = relative.empty() ? currentPath_ : currentPath_ + '\\' + relative;
  CloseKey();
  currentKey_ = opened;
  currentPath_ = path;
  return true;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  return Open(key, access_, canCreate);
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  return Open(key, platform::KEY_READ, false);
}

void TRegistry::CloseKey() {
  if (currentKey_ == nullptr) return;
  platform::RegCloseKey(currentKey_);
  currentKey_ = nullptr;
  currentPath_.clear();
}

bool TRegistry::ValueExists(const std::string& name) const {
  if (currentKey_ == nullptr) return false;
  const char* n = name.c_str();
  uint32_t type = 0;
  uint32_t size = 0;
  return platform::RegQueryValueExA(currentKey_, n, &type, nullptr, &size) ==
         platform::ERROR_SUCCESS;
}

int TRegistry::ReadInteger(const std::string& name) const {
  const char* n = name.c_str();
  uint32_t type = 0;
  uint32_t size = 0;
  // The type is asked first, so a value of another type is named as such whatever its size.
  if (currentKey_ == nullptr ||
      platform::RegQueryValueExA(currentKey_, n, &type, nullptr, &size) != platform::ERROR_SUCCESS)
    throw ERegistryException("Failed to get data for '" + name + "'");
  if (type != platform::REG_DWORD || size != 4)
    throw ERegistryException("Invalid data type for '" + name + "'");
  uint8_t data[4] = {};
  size = sizeof data;
  if (platform::RegQueryValueExA(currentKey_, n, &type, data, &size) != platform::ERROR_SUCCESS)
    throw ERegistryException("Failed to get data for '" + name + "'");
  if (type != platform::REG_DWORD) throw ERegistryException("Invalid data type for '" + name + "'");
  int32_t value = 0;
  std::memcpy(&value, data, sizeof value);
  return value;
}

void TRegistry::WriteInteger(const std::string& name, int value) {
  const char* n = name.c_str();
  uint8_t data[4];
  const int32_t v = value;
  std::memcpy(data, &v, sizeof data);
  if (currentKey_ == nullptr || platform::RegSetValueExA(currentKey_, n, platform::REG_DWORD, data,
                                                         sizeof data) != platform::ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

}  // namespace framework
