#include "framework/Registry.h"

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

bool TRegistry::Open(const QString& key, platform::REGSAM access, bool canCreate) {
  const bool absolute = key.startsWith('\\');
  QString relative = key;
  while (relative.startsWith('\\')) relative.remove(0, 1);
  const platform::HKEY base = absolute || currentKey_ == nullptr ? rootKey_ : currentKey_;
  const QByteArray name = relative.toLocal8Bit();
  platform::HKEY opened = nullptr;
  const uint32_t result =
      canCreate ? platform::RegCreateKeyExA(base, name.constData(), 0, access, &opened, nullptr)
                : platform::RegOpenKeyExA(base, name.constData(), 0, access, &opened);
  if (result != platform::ERROR_SUCCESS) return false;
  QString path = relative;
  if (!absolute && currentKey_ != nullptr && !currentPath_.isEmpty())
    path = relative.isEmpty() ? currentPath_ : currentPath_ + '\\' + relative;
  CloseKey();
  currentKey_ = opened;
  currentPath_ = path;
  return true;
}

bool TRegistry::OpenKey(const QString& key, bool canCreate) {
  return Open(key, access_, canCreate);
}

bool TRegistry::OpenKeyReadOnly(const QString& key) {
  return Open(key, platform::KEY_READ, false);
}

void TRegistry::CloseKey() {
  if (currentKey_ == nullptr) return;
  platform::RegCloseKey(currentKey_);
  currentKey_ = nullptr;
  currentPath_.clear();
}

bool TRegistry::ValueExists(const QString& name) const {
  if (currentKey_ == nullptr) return false;
  const QByteArray n = name.toLocal8Bit();
  uint32_t type = 0;
  uint32_t size = 0;
  return platform::RegQueryValueExA(currentKey_, n.constData(), &type, nullptr, &size) ==
         platform::ERROR_SUCCESS;
}

int TRegistry::ReadInteger(const QString& name) const {
  const QByteArray n = name.toLocal8Bit();
  uint32_t type = 0;
  uint32_t size = 0;
  // The type is asked first, so a value of another type is named as such whatever its size.
  if (currentKey_ == nullptr ||
      platform::RegQueryValueExA(currentKey_, n.constData(), &type, nullptr, &size) !=
          platform::ERROR_SUCCESS)
    throw ERegistryException(QString("Failed to get data for '%1'").arg(name));
  if (type != platform::REG_DWORD || size != 4)
    throw ERegistryException(QString("Invalid data type for '%1'").arg(name));
  uint8_t data[4] = {};
  size = sizeof data;
  if (platform::RegQueryValueExA(currentKey_, n.constData(), &type, data, &size) !=
      platform::ERROR_SUCCESS)
    throw ERegistryException(QString("Failed to get data for '%1'").arg(name));
  if (type != platform::REG_DWORD)
    throw ERegistryException(QString("Invalid data type for '%1'").arg(name));
  int32_t value = 0;
  std::memcpy(&value, data, sizeof value);
  return value;
}

void TRegistry::WriteInteger(const QString& name, int value) {
  const QByteArray n = name.toLocal8Bit();
  uint8_t data[4];
  const int32_t v = value;
  std::memcpy(data, &v, sizeof data);
  if (currentKey_ == nullptr ||
      platform::RegSetValueExA(currentKey_, n.constData(), platform::REG_DWORD, data,
                               sizeof data) != platform::ERROR_SUCCESS)
    throw ERegistryException(QString("Failed to set data for '%1'").arg(name));
}

}  // namespace framework
