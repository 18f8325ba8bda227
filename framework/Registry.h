#pragma once
// Registry keys and their values over the platform's registry calls. One key is open at a
// time; it is closed by CloseKey, by opening another and when the object goes. Key and value
// names are passed to the platform as they are.
#include <cstdint>
#include <string>

#include "framework/SysUtils.h"
#include "platform/Registry.h"

namespace framework {

// A value that could not be read or written, or is not of the type asked for.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

class TRegistry {
 public:
  // Keys are opened with `access`; the root key starts as HKEY_CURRENT_USER.
  explicit TRegistry(platform::REGSAM access = platform::KEY_ALL_ACCESS);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  platform::HKEY RootKey() const { return rootKey_; }
  // Closes the open key when the root changes.
  void SetRootKey(platform::HKEY rootKey);
  platform::REGSAM Access() const { return access_; }
  void SetAccess(platform::REGSAM access) { access_ = access; }
  // The open key, null when none.
  platform::HKEY CurrentKey() const { return currentKey_; }
  // The open key's path below the root, without a leading backslash.
  const std::string& CurrentPath() const { return currentPath_; }

  // Opens `key`: a path starting with a backslash is taken from the root key, any other
  // below the open key (from the root when none is open). With `canCreate` a missing key is
  // created. False when the key cannot be opened; the previous key then stays open.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();

  bool ValueExists(const std::string& name) const;
  // A REG_DWORD value. Raises "Failed to get data for '<name>'" when it cannot be read and
  // "Invalid data type for '<name>'" when it is of another type.
  int ReadInteger(const std::string& name) const;
  // Raises "Failed to set data for '<name>'" when the write is refused.
  void WriteInteger(const std::string& name, int value);

 private:
  bool Open(const std::string& key, platform::REGSAM access, bool canCreate);

  platform::HKEY rootKey_ = platform::HKEY_CURRENT_USER;
  platform::HKEY currentKey_ = nullptr;
  std::string currentPath_;
  platform::REGSAM access_;
};

}  // namespace framework
