#pragma once
// The Linux private-profile files, kept under a given configuration folder; the real one uses
// the user's ($XDG_CONFIG_HOME, else ~/.config).
#include <string>

#include "platform/PrivateProfile.h"

namespace platform {

class PosixPrivateProfile final : public PrivateProfileApi {
 public:
  explicit PosixPrivateProfile(std::string configFolder);

  uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                    char* returned, uint32_t size, const char* fileName) override;
  bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* fileName) override;
  bool WritePrivateProfileSectionA(const char* section, const char* keyValues,
                                   const char* fileName) override;
  std::string ProfilePath(const char* fileName) override;

  // The user's configuration folder: $XDG_CONFIG_HOME when set to an absolute path, else the
  // home folder's ".config".
  static std::string UserConfigFolder();

 private:
  bool Store(const std::string& path, const std::string& contents, bool bareName);

  std::string folder_;
};

}  // namespace platform
