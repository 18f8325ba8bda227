#pragma once
// The Linux registry: the only key it holds is the time service's NTP client key, whose
// "SpecialPollInterval" (REG_DWORD, seconds) is systemd-timesyncd's PollIntervalMaxSec in a
// drop-in file of ours. Paths are below a root folder, "/" for the real system.
#include <mutex>
#include <set>
#include <string>

#include "platform/Registry.h"

namespace platform {

class PosixRegistry final : public RegistryApi {
 public:
  explicit PosixRegistry(std::string root);
  ~PosixRegistry() override;

  uint32_t RegOpenKeyExA(HKEY key, const char* subKey, uint32_t options, REGSAM desired,
                         HKEY* result) override;
  uint32_t RegCreateKeyExA(HKEY key, const char* subKey, uint32_t options, REGSAM desired,
                           HKEY* result, uint32_t* disposition) override;
  uint32_t RegQueryValueExA(HKEY key, const char* valueName, uint32_t* type, uint8_t* data,
                            uint32_t* size) override;
  uint32_t RegSetValueExA(HKEY key, const char* valueName, uint32_t type, const uint8_t* data,
                          uint32_t size) override;
  uint32_t RegCloseKey(HKEY key) override;

  // Where our value is kept, below the root.
  static constexpr const char* kDropInFolder = "/etc/systemd/timesyncd.conf.d";
  static constexpr const char* kDropInFile = "/etc/systemd/timesyncd.conf.d/tempomere.conf";
  // The time service's poll interval when nothing configures it, in seconds.
  static constexpr uint32_t kDefaultPollInterval = 2048;

 private:
  struct Key;
  uint32_t Open(HKEY key, const char* subKey, REGSAM desired, bool create, HKEY* result,
                uint32_t* disposition);
  bool Find(HKEY key, Key* copy);

  std::string root_;
  std::mutex mutex_;
  std::set<Key*> keys_;
};

}  // namespace platform
