// Initialisation files through Windows' own private-profile calls. A bare file name is kept in
// the Windows directory, as Windows does. What Windows would write without a word but could not
// read back as written is refused first, as our interface promises: a line end in a value or a
// name would start a line of its own (a key or a whole section the caller never wrote).
#include "platform/PrivateProfile.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PrivateProfileNames.h"
#include "platform/win32/WindowsHeaders.h"

namespace platform {

namespace {

bool Refuse() {
  ::SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

bool RefuseAccess() {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return false;
}

// A file made read-only is never replaced, whoever runs the program: Windows refuses it to
// everyone, and so must Wine run by root, which would otherwise write it.
bool IsReadOnlyFile(const std::string& path) {
  const ::DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Windows looks a name without any folder up in the Windows directory.
bool IsBareName(const char* fileName) {
  return std::strpbrk(fileName, "\\/:") == nullptr;
}

class Win32PrivateProfile final : public PrivateProfileApi {
 public:
  uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                    char* returned, uint32_t size, const char* fileName) override {
    return ::GetPrivateProfileStringA(section, key, defaultValue, returned, size, fileName);
  }

  bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* fileName) override {
    if (fileName == nullptr || !IsProfileEntry(section, key, value)) return Refuse();
    if (IsReadOnlyFile(ProfilePath(fileName))) return RefuseAccess();
    return ::WritePrivateProfileStringA(section, key, value, fileName) != FALSE;
  }

  bool WritePrivateProfileSectionA(const char* section, const char* keyValues,
                                   const char* fileName) override {
    if (fileName == nullptr || !IsProfileSection(section) || !ProfileKeyLines(keyValues, nullptr))
      return Refuse();
    if (IsReadOnlyFile(ProfilePath(fileName))) return RefuseAccess();
    // A null list means no keys, where Windows would delete the whole section: it gets an
    // empty list instead (a single zero ends it).
    return ::WritePrivateProfileSectionA(section, keyValues != nullptr ? keyValues : "\0",
                                         fileName) != FALSE;
  }

  std::string ProfilePath(const char* fileName) override {
    if (IsBareName(fileName)) {
      char folder[MAX_PATH];
      const ::UINT length = ::GetWindowsDirectoryA(folder, MAX_PATH);
      std::string path(folder, length < MAX_PATH ? length : 0);
      if (!path.empty() && path.back() != '\\') path += '\\';
      return path + fileName;
    }
    // A name with a folder is taken from the current folder, as Windows does.
    const ::DWORD needed = ::GetFullPathNameA(fileName, 0, nullptr, nullptr);
    if (needed == 0) return fileName;
    std::vector<char> full(needed);
    const ::DWORD length = ::GetFullPathNameA(fileName, needed, full.data(), nullptr);
    return length > 0 && length < needed ? std::string(full.data(), length) : fileName;
  }
};

}  // namespace

PrivateProfileApi& PrivateProfileApi::Real() {
  static Win32PrivateProfile profile;
  return profile;
}

}  // namespace platform
