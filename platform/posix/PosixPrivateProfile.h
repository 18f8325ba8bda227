#pragma once
// The Linux private-profile files, kept under a given configuration folder; the real one uses
// the user's ($XDG_CONFIG_HOME, else ~/.config).
#include <cstdint>
#include <memory>
#include <string>

#include "platform/PrivateProfile.h"

namespace platform {

class PosixPrivateProfile final : public PrivateProfileApi {
 public:
  explicit PosixPrivateProfile(std::string configFolder);
  ~PosixPrivateProfile() override;

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

  // Larger files (bytes) are not settings files: reads see them as missing and writes refuse
  // them (EFBIG), so reading one can never hold up the program's start.
  static constexpr uint64_t kMaxFileSize = 16u << 20;

  // How often a file's text was parsed afresh: reads of one file that has not changed parse
  // it once, however many keys they ask for.
  uint64_t FileParses() const { return fileParses_; }

 private:
  struct Snapshot;
  // The parsed file at `path`, read again only when the file changed since it was last read.
  std::shared_ptr<const Snapshot> Load(const std::string& path);
  bool Store(const std::string& path, const std::string& contents, bool bareName);

  std::string folder_;
  std::shared_ptr<const Snapshot> snapshot_;
  uint64_t fileParses_ = 0;
};

}  // namespace platform
