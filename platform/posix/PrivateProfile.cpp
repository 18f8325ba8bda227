#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/LastError.h"
#include "platform/PrivateProfileNames.h"
#include "platform/posix/FileReplace.h"
#include "platform/posix/PosixPrivateProfile.h"

namespace platform {

namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kProfileBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kProfileBlanks);
  return text.substr(first, last - first + 1);
}

// Names match without regard to the case of ASCII letters, whatever the user's locale.
char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(std::string_view name) {
  std::string folded(name);
  std::transform(folded.begin(), folded.end(), folded.begin(), FoldCase);
  return folded;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldCase(x) == FoldCase(y);
         });
}

// How a line of the file reads: a section line is one whose first non-blank character is '[',
// its name what follows up to the first ']' (or the line's end), trimmed; any other line with
// '=' is a key line, the name before the first '=' and the value after it, both trimmed.
std::optional<std::string_view> SectionName(std::string_view line) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  const size_t close = t.find(']');
  return Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return std::make_pair(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
}

// Calls `take` with each line of `contents`, without its line end ("\n" or "\r\n").
template <class Take>
void ForEachLine(std::string_view contents, Take&& take) {
  size_t start = 0;
  while (start < contents.size()) {
    size_t end = contents.find('\n', start);
    if (end == std::string_view::npos) end = contents.size();
    std::string_view line = contents.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    take(line);
    start = end + 1;
  }
}

// The file parsed once for reading: every question a read asks is answered from here in time
// that does not grow with the file. Only the first section (and within it the first key) of a
// name counts; lines before the first section belong to none.
class ProfileIndex {
 public:
  explicit ProfileIndex(std::string_view contents) {
    Section* current = nullptr;
    ForEachLine(contents, [&](std::string_view line) {
      if (auto name = SectionName(line)) {
        // A list of names ends at an empty one, so "[]" is left out of the list (it is still
        // found by its name); listed, it would hide every section after it.
        if (!name->empty()) sectionNames_.emplace_back(*name);
        auto [at, added] = sections_.try_emplace(Folded(*name));
        current = added ? &at->second : nullptr;
        return;
      }
      if (current == nullptr) return;
      if (auto kv = KeyValue(line)) {
        // Likewise a line "=value" names no key the list can hold.
        if (!kv->first.empty()) current->keyNames.emplace_back(kv->first);
        current->values.try_emplace(Folded(kv->first), kv->second);
      }
    });
  }

  const std::vector<std::string>& SectionNames() const { return sectionNames_; }

  // The keys of the first section named `section`, in file order; null when there is none.
  const std::vector<std::string>* KeyNames(const char* section) const {
    const auto at = sections_.find(Folded(section));
    return at == sections_.end() ? nullptr : &at->second.keyNames;
  }

  const std::string* Value(const char* section, const char* key) const {
    const auto at = sections_.find(Folded(section));
    if (at == sections_.end()) return nullptr;
    const auto value = at->second.values.find(Folded(key));
    return value == at->second.values.end() ? nullptr : &value->second;
  }

 private:
  struct Section {
    std::vector<std::string> keyNames;
    std::unordered_map<std::string, std::string> values;  // by folded name; the first one
  };
  std::vector<std::string> sectionNames_;
  std::unordered_map<std::string, Section> sections_;  // by folded name; the first one
};

// The file as lines, for the changes the writes make.
class ProfileText {
 public:
  explicit ProfileText(const std::string& contents) {
    ForEachLine(contents, [this](std::string_view line) { lines_.emplace_back(line); });
  }

  std::string Contents() const {
    std::string out;
    for (const auto& line : lines_) (out += line) += '\n';
    return out;
  }

  void SetValue(const char* section, const char* key, const char* value) {
    const std::string line = std::string(key) + "=" + value;
    const long header = FindSection(section);
    if (header < 0) {
      AppendSection(section);
      lines_.push_back(line);
      return;
    }
    const long existing = FindKey(header, key);
    if (existing >= 0) {
      // The key keeps the spelling it has in the file.
      auto& old = lines_[static_cast<size_t>(existing)];
      old = std::string(KeyValue(old)->first) + "=" + value;
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
    const long header = FindSection(section);
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
    const size_t end = SectionEnd(header);
    for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i)
      if (auto kv = KeyValue(lines_[i]); kv && SameName(kv->first, key))
        return static_cast<long>(i);
    return -1;
  }

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

uint32_t CopyString(std::string_view text, char* returned, uint32_t size) {
  if (returned == nullptr || size == 0) return 0;
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(text.size(), size - 1));
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
  for (const auto& name : names) (list += name) += '\0';
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

// How far apart (ns) a file's change time and the clock must be for a later change of the file
// to show in its change time: file systems stamp files from a clock that advances in ticks of
// some milliseconds, and some of them keep only whole (or even) seconds.
constexpr int64_t kTickNs = 20'000'000;            // 20 ms: above one tick at 100 Hz
constexpr int64_t kSecondsOnlyNs = 2'000'000'000;  // 2 s: the coarsest file times there are

int64_t Nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// True when a change made after `now` could leave the file's times as they are in `status`.
bool MayChangeUnseen(const struct stat& status, const timespec& now) {
  const bool secondsOnly = status.st_ctim.tv_nsec == 0 && status.st_mtim.tv_nsec == 0;
  const int64_t margin = secondsOnly ? kSecondsOnlyNs : kTickNs;
  const int64_t distance = Nanoseconds(now) - Nanoseconds(status.st_ctim);
  return distance > -margin && distance < margin;
}

timespec Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

}  // namespace

struct PosixPrivateProfile::Snapshot {
  std::string path;
  struct stat status {};
  std::string contents;
  // When false, a change could hide behind unchanged times: the contents are compared first.
  bool settled = false;
  ProfileIndex index{std::string_view()};
};

PosixPrivateProfile::PosixPrivateProfile(std::string configFolder)
    : folder_(std::move(configFolder)) {}

PosixPrivateProfile::~PosixPrivateProfile() = default;

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

std::shared_ptr<const PosixPrivateProfile::Snapshot> PosixPrivateProfile::Load(
    const std::string& path) {
  static const auto missing = std::make_shared<const Snapshot>();
  const timespec now = Now();
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return missing;

  std::string contents;
  struct stat after {};
  bool unchanged = false;
  if (snapshot_ && snapshot_->path == path && posix::SameFileVersion(snapshot_->status, status)) {
    if (snapshot_->settled) return snapshot_;
    if (!posix::ReadWholeFile(path, &contents, kMaxFileSize, &after, &unchanged)) return missing;
    if (unchanged && posix::SameFileVersion(after, status) && contents == snapshot_->contents) {
      if (!MayChangeUnseen(after, now)) {
        auto settled = std::make_shared<Snapshot>(*snapshot_);
        settled->settled = true;
        snapshot_ = std::move(settled);
      }
      return snapshot_;
    }
  } else if (!posix::ReadWholeFile(path, &contents, kMaxFileSize, &after, &unchanged)) {
    return missing;
  }

  ++fileParses_;
  auto fresh = std::make_shared<Snapshot>();
  fresh->path = path;
  fresh->status = after;
  fresh->settled = !MayChangeUnseen(after, now);
  fresh->index = ProfileIndex(contents);
  fresh->contents = std::move(contents);
  // A file that changed while it was read is read again next time.
  if (unchanged) {
    snapshot_ = fresh;
  } else {
    snapshot_.reset();
  }
  return fresh;
}

uint32_t PosixPrivateProfile::GetPrivateProfileStringA(const char* section, const char* key,
                                                       const char* defaultValue, char* returned,
                                                       uint32_t size, const char* fileName) {
  const auto snapshot = Load(ProfilePath(fileName));
  const ProfileIndex& index = snapshot->index;
  if (section == nullptr) return CopyList(index.SectionNames(), returned, size);
  if (key == nullptr) {
    const auto* keys = index.KeyNames(section);
    return CopyList(keys ? *keys : std::vector<std::string>{}, returned, size);
  }
  if (const std::string* value = index.Value(section, key))
    return CopyString(*value, returned, size);
  std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
  return CopyString(fallback, returned, size);
}

bool PosixPrivateProfile::Store(const std::string& path, const std::string& contents,
                                bool bareName) {
  int error = 0;
  if (contents.size() > kMaxFileSize) error = EFBIG;
  // The configuration folder may not exist yet on a fresh account.
  if (error == 0 && bareName) error = posix::MakeFolders(folder_, 0700);
  if (error == 0) error = posix::ReplaceWholeFile(path, contents, {.keepReadOnly = true});
  if (error != 0) {
    SetLastError(static_cast<uint32_t>(error));
    return false;
  }
  return true;
}

namespace {

// The file's text as a write starts from it: empty when there is no file yet.
bool ReadForChange(const std::string& path, std::string* contents) {
  if (posix::ReadWholeFile(path, contents, PosixPrivateProfile::kMaxFileSize, nullptr, nullptr))
    return true;
  if (errno != ENOENT) {
    SetLastError(static_cast<uint32_t>(errno));
    return false;
  }
  contents->clear();
  return true;
}

}  // namespace

bool PosixPrivateProfile::WritePrivateProfileStringA(const char* section, const char* key,
                                                     const char* value, const char* fileName) {
  if (fileName == nullptr || !IsProfileEntry(section, key, value)) {
    SetLastError(EINVAL);
    return false;
  }
  const std::string path = ProfilePath(fileName);
  std::string contents;
  if (!ReadForChange(path, &contents)) return false;
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
  std::vector<std::string> keyLines;
  if (fileName == nullptr || !IsProfileSection(section) || !ProfileKeyLines(keyValues, &keyLines)) {
    SetLastError(EINVAL);
    return false;
  }
  const std::string path = ProfilePath(fileName);
  std::string contents;
  if (!ReadForChange(path, &contents)) return false;
  ProfileText text(contents);
  text.ReplaceSection(section, keyLines);
  return Store(path, text.Contents(), IsBareName(fileName));
}

PrivateProfileApi& PrivateProfileApi::Real() {
  static PosixPrivateProfile profile(PosixPrivateProfile::UserConfigFolder());
  return profile;
}

}  // namespace platform
