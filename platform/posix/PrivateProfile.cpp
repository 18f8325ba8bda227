#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/LastError.h"
#include "platform/posix/FileReplace.h"
#include "platform/posix/PosixPrivateProfile.h"

namespace platform {

namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}

// The file as lines, with the questions and changes the calls need. Only the first section
// (and within it the first key) of a name counts.
class ProfileText {
 public:
  explicit ProfileText(const std::string& contents) {
    size_t start = 0;
    while (start < contents.size()) {
      size_t end = contents.find('\n', start);
      if (end == std::string::npos) end = contents.size();
      std::string line = contents.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(line);
      start = end + 1;
    }
  }

  std::string Contents() const {
    std::string out;
    for (const auto& line : lines_) out += line + "\n";
    return out;
  }

  static std::optional<std::string> SectionName(const std::string& line) {
    const std::string t = Trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const size_t close = t.find(']');
    return Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  }

  static std::optional<std::pair<std::string, std::string>> KeyValue(const std::string& line) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;
    return std::make_pair(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
  }

  std::vector<std::string> SectionNames() const {
    std::vector<std::string> names;
    for (const auto& line : lines_)
      if (auto name = SectionName(line)) names.push_back(*name);
    return names;
  }

  // Index of the first section line named `section`, or -1.
  long FindSection(const char* section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
      if (auto name = SectionName(lines_[i]); name && SameName(*name, section))
        return static_cast<long>(i);
    return -1;
  }

  // One past the last line of the section starting at `header`.
  size_t SectionEnd(long header) const {
    size_t i = static_cast<size_t>(header) + 1;
    while (i < lines_.size() && !SectionName(lines_[i])) ++i;
    return i;
  }

  long FindKey(long header, const char* key) const {
    if (header < 0) return -1;
    for (size_t i = static_cast<size_t>(header) + 1; i < SectionEnd(header); ++i)
      if (auto kv = KeyValue(lines_[i]); kv && SameName(kv->first, key))
        return static_cast<long>(i);
    return -1;
  }

  std::vector<std::string> KeyNames(long header) const {
    std::vector<std::string> names;
    for (size_t i = static_cast<size_t>(header) + 1; i < SectionEnd(header); ++i)
      if (auto kv = KeyValue(lines_[i])) names.push_back(kv->first);
    return names;
  }

  std::optional<std::string> Value(const char* section, const char* key) const {
    const long line = FindKey(FindSection(section), key);
    if (line < 0) return std::nullopt;
    return KeyValue(lines_[static_cast<size_t>(line)])->second;
  }

  void SetValue(const char* section, const char* key, const char* value) {
    const std::string line = std::string(key) + "=" + value;
    long header = FindSection(section);
    if (header < 0) {
      AppendSection(section);
      lines_.push_back(line);
      return;
    }
    const long existing = FindKey(header, key);
    if (existing >= 0) {
      // The key keeps the spelling it has in the file.
      auto& old = lines_[static_cast<size_t>(existing)];
      old = KeyValue(old)->first + "=" + value;
      return;
    }
    lines_.insert(lines_.begin() + static_cast<long>(LastContentLine(header)), line);
  }

  void DeleteKey(const char* section, const char* key) {
    const long line = FindKey(FindSection(section), key);
    if (line >= 0) lines_.erase(lines_.begin() + line);
  }

  void DeleteSection(const char* section) {
    const long header = FindSection(section);
    if (header < 0) return;
    lines_.erase(lines_.begin() + header, lines_.begin() + static_cast<long>(SectionEnd(header)));
  }

  void ReplaceSection(const char* section, const std::vector<std::string>& keyLines) {
    long header = FindSection(section);
    if (header < 0) {
      AppendSection(section);
      lines_.insert(lines_.end(), keyLines.begin(), keyLines.end());
      return;
    }
    // Blank lines that part this section from the next one stay.
    const auto from = lines_.begin() + header + 1;
    const auto to = lines_.begin() + static_cast<long>(LastContentLine(header));
    const auto at = lines_.erase(from, to);
    lines_.insert(at, keyLines.begin(), keyLines.end());
  }

 private:
  // One past the section's last non-blank line: where a new key goes.
  size_t LastContentLine(long header) const {
    size_t end = SectionEnd(header);
    while (end > static_cast<size_t>(header) + 1 && Trim(lines_[end - 1]).empty()) --end;
    return end;
  }

  void AppendSection(const char* section) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.push_back("");
    lines_.push_back(std::string("[") + section + "]");
  }

  std::vector<std::string> lines_;
};

uint32_t CopyString(const std::string& text, char* returned, uint32_t size) {
  if (returned == nullptr || size == 0) return 0;
  const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(text.size()), size - 1);
  std::memcpy(returned, text.data(), n);
  returned[n] = '\0';
  return n;
}

// Names each ended by a zero, the list by a second one; cut to fit.
uint32_t CopyList(const std::vector<std::string>& names, char* returned, uint32_t size) {
  if (returned == nullptr || size == 0) return 0;
  if (size == 1) {
    returned[0] = '\0';
    return 0;
  }
  std::string list;
  for (const auto& name : names) list += name + '\0';
  if (list.size() + 1 > size) {
    std::memcpy(returned, list.data(), size - 2);
    returned[size - 2] = '\0';
    returned[size - 1] = '\0';
    return size - 2;
  }
  std::memcpy(returned, list.data(), list.size());
  returned[list.size()] = '\0';
  if (list.empty() && size > 1) returned[1] = '\0';
  return static_cast<uint32_t>(list.size());
}

bool IsBareName(const char* fileName) {
  return std::strchr(fileName, '/') == nullptr;
}

// A line end inside a name or value would start a line of its own in the file (a key or a
// whole section the caller never wrote), and '=' in a key would move the key's end.
bool FitsOnItsLine(const char* text, bool isKey) {
  if (text == nullptr) return true;
  return std::strpbrk(text, isKey ? "\r\n=" : "\r\n") == nullptr;
}

}  // namespace

PosixPrivateProfile::PosixPrivateProfile(std::string configFolder)
    : folder_(std::move(configFolder)) {}

std::string PosixPrivateProfile::UserConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  std::string homeFolder = home != nullptr ? home : "";
  if (homeFolder.empty()) {
    if (const passwd* entry = getpwuid(getuid())) homeFolder = entry->pw_dir;
  }
  while (homeFolder.size() > 1 && homeFolder.back() == '/') homeFolder.pop_back();
  return homeFolder + "/.config";
}

std::string PosixPrivateProfile::ProfilePath(const char* fileName) {
  if (!IsBareName(fileName)) return fileName;
  return folder_ + "/" + fileName;
}

uint32_t PosixPrivateProfile::GetPrivateProfileStringA(const char* section, const char* key,
                                                       const char* defaultValue, char* returned,
                                                       uint32_t size, const char* fileName) {
  std::string contents;
  if (!posix::ReadWholeFile(ProfilePath(fileName), &contents)) contents.clear();
  const ProfileText text(contents);
  if (section == nullptr) return CopyList(text.SectionNames(), returned, size);
  if (key == nullptr) {
    const long header = text.FindSection(section);
    return CopyList(header < 0 ? std::vector<std::string>{} : text.KeyNames(header), returned,
                    size);
  }
  if (auto value = text.Value(section, key)) return CopyString(*value, returned, size);
  std::string fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  return CopyString(fallback, returned, size);
}

bool PosixPrivateProfile::Store(const std::string& path, const std::string& contents,
                                bool bareName) {
  if (bareName) {
    // The configuration folder may not exist yet on a fresh account.
    if (const int error = posix::MakeFolders(folder_, 0700); error != 0) {
      SetLastError(static_cast<uint32_t>(error));
      return false;
    }
  }
  if (const int error = posix::ReplaceWholeFile(path, contents); error != 0) {
    SetLastError(static_cast<uint32_t>(error));
    return false;
  }
  return true;
}

bool PosixPrivateProfile::WritePrivateProfileStringA(const char* section, const char* key,
                                                     const char* value, const char* fileName) {
  if (section == nullptr || fileName == nullptr || !FitsOnItsLine(section, false) ||
      std::strchr(section, ']') != nullptr || !FitsOnItsLine(key, true) ||
      !FitsOnItsLine(value, false)) {
    SetLastError(EINVAL);
    return false;
  }
  const std::string path = ProfilePath(fileName);
  std::string contents;
  if (!posix::ReadWholeFile(path, &contents)) {
    if (errno != ENOENT) {
      SetLastError(static_cast<uint32_t>(errno));
      return false;
    }
    contents.clear();
  }
  ProfileText text(contents);
  if (key == nullptr)
    text.DeleteSection(section);
  else if (value == nullptr)
    text.DeleteKey(section, key);
  else
    text.SetValue(section, key, value);
  return Store(path, text.Contents(), IsBareName(fileName));
}

bool PosixPrivateProfile::WritePrivateProfileSectionA(const char* section, const char* keyValues,
                                                      const char* fileName) {
  if (section == nullptr || fileName == nullptr || !FitsOnItsLine(section, false) ||
      std::strchr(section, ']') != nullptr) {
    SetLastError(EINVAL);
    return false;
  }
  std::vector<std::string> keyLines;
  if (keyValues != nullptr) {
    for (const char* entry = keyValues; *entry != '\0'; entry += std::strlen(entry) + 1) {
      const char* equals = std::strchr(entry, '=');
      if (!FitsOnItsLine(entry, false) || equals == nullptr || equals == entry) {
        SetLastError(EINVAL);
        return false;
      }
      keyLines.emplace_back(entry);
    }
  }
  const std::string path = ProfilePath(fileName);
  std::string contents;
  if (!posix::ReadWholeFile(path, &contents)) {
    if (errno != ENOENT) {
      SetLastError(static_cast<uint32_t>(errno));
      return false;
    }
    contents.clear();
  }
  ProfileText text(contents);
  text.ReplaceSection(section, keyLines);
  return Store(path, text.Contents(), IsBareName(fileName));
}

PrivateProfileApi& PrivateProfileApi::Real() {
  static PosixPrivateProfile profile(PosixPrivateProfile::UserConfigFolder());
  return profile;
}

}  // namespace platform
