#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/FileReplace.h"
#include "platform/posix/PosixRegistry.h"
#include "platform/posix/TimesyncdConfig.h"

namespace platform {

namespace {

constexpr const char* kPollKey = "PollIntervalMaxSec";
constexpr const char* kPollValueName = "SpecialPollInterval";

// The NTP client key and the keys above it, lower case, relative to HKEY_LOCAL_MACHINE. Both
// control-set names lead to the one key.
const std::vector<std::string>& ClientKeyPaths() {
  static const std::vector<std::string> paths = {
      "system\\controlset001\\services\\w32time\\timeproviders\\ntpclient",
      "system\\currentcontrolset\\services\\w32time\\timeproviders\\ntpclient"};
  return paths;
}

// "\A\\b\" -> "a\b": the separators of a key path collapsed, lower case.
std::string Normalise(const std::string& path) {
  std::string out;
  for (size_t i = 0; i < path.size();) {
    while (i < path.size() && path[i] == '\\') ++i;
    const size_t start = i;
    while (i < path.size() && path[i] != '\\') ++i;
    if (i > start) {
      if (!out.empty()) out += '\\';
      for (size_t k = start; k < i; ++k)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(path[k])));
    }
  }
  return out;
}

bool IsClientKey(const std::string& path) {
  for (const auto& p : ClientKeyPaths())
    if (path == p) return true;
  return false;
}

bool IsAboveClientKey(const std::string& path) {
  if (path.empty()) return true;
  for (const auto& p : ClientKeyPaths())
    if (p.compare(0, path.size() + 1, path + "\\") == 0) return true;
  return false;
}

uint32_t FromErrno(int error) {
  return error == EACCES || error == EPERM || error == EROFS || error == ENOTDIR
             ? ERROR_ACCESS_DENIED
             : ERROR_WRITE_FAULT;
}

// Notes the file a write was refused for and the system's reason (none: "", 0), for the user's
// message.
void NoteRefusal(const std::string& file, int error) {
  timesyncd::KeyChangeNotes notes = timesyncd::LastKeyChangeNotes();
  notes.refusedFile = file;
  notes.refusedError = error;
  timesyncd::SetLastKeyChangeNotes(notes);
}

// A refused write of our file: noted, and the registry's number for it.
uint32_t Refused(const std::string& file, int error) {
  NoteRefusal(file, error);
  return FromErrno(error);
}

}  // namespace

struct PosixRegistry::Key {
  std::string path;  // normalised, below HKEY_LOCAL_MACHINE
  REGSAM access = 0;
};

PosixRegistry::PosixRegistry(std::string root) : root_(std::move(root)) {
  while (!root_.empty() && root_.back() == '/') root_.pop_back();
}

PosixRegistry::~PosixRegistry() {
  for (Key* key : keys_) delete key;
}

bool PosixRegistry::Find(HKEY key, Key* copy) {
  if (key == HKEY_LOCAL_MACHINE) {
    *copy = Key{"", KEY_READ};
    return true;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = keys_.find(reinterpret_cast<Key*>(key));
  if (it == keys_.end()) return false;
  *copy = **it;
  return true;
}

uint32_t PosixRegistry::Open(HKEY key, const char* subKey, REGSAM desired, bool create,
                             HKEY* result, uint32_t* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  Key base;
  if (!Find(key, &base))
    return key == HKEY_CURRENT_USER ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
  const std::string path = Normalise(base.path + "\\" + (subKey ? subKey : ""));
  const bool changing = (desired & KEY_CHANGING_RIGHTS) != 0;
  if (IsClientKey(path)) {
    if (changing) {
      timesyncd::SetLastKeyChangeNotes({});
      // Changing the key means writing our drop-in file, so its folder must be ours to write.
      const std::string folder = root_ + kDropInFolder;
      const bool existed = ::access(folder.c_str(), F_OK) == 0;
      int error = posix::MakeFolders(folder, 0755);
      if (error == 0 && ::access(folder.c_str(), W_OK) != 0) error = errno;
      if (error != 0) {
        Refused(root_ + kDropInFile, error);
        return ERROR_ACCESS_DENIED;
      }
      timesyncd::SetLastKeyChangeNotes({timesyncd::PollIntervalMinSeconds(root_), "", 0});
      if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    } else if (disposition) {
      *disposition = REG_OPENED_EXISTING_KEY;
    }
  } else if (IsAboveClientKey(path)) {
    // The keys above ours hold nothing of ours: they may be looked at, not changed.
    if (changing) return ERROR_ACCESS_DENIED;
    if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
  } else {
    return create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  }
  auto* opened = new Key{path, desired};
  std::lock_guard<std::mutex> lock(mutex_);
  keys_.insert(opened);
  *result = reinterpret_cast<HKEY>(opened);
  return ERROR_SUCCESS;
}

uint32_t PosixRegistry::RegOpenKeyExA(HKEY key, const char* subKey, uint32_t, REGSAM desired,
                                      HKEY* result) {
  return Open(key, subKey, desired, false, result, nullptr);
}

uint32_t PosixRegistry::RegCreateKeyExA(HKEY key, const char* subKey, uint32_t, REGSAM desired,
                                        HKEY* result, uint32_t* disposition) {
  return Open(key, subKey, desired, true, result, disposition);
}

uint32_t PosixRegistry::RegQueryValueExA(HKEY key, const char* valueName, uint32_t* type,
                                         uint8_t* data, uint32_t* size) {
  Key k;
  if (!Find(key, &k)) return ERROR_INVALID_HANDLE;
  if (!(k.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (!IsClientKey(k.path) || valueName == nullptr || strcasecmp(valueName, kPollValueName) != 0)
    return ERROR_FILE_NOT_FOUND;

  // Ours when we have stored one; otherwise what the service uses now.
  std::optional<std::string> text;
  std::string contents;
  if (posix::ReadWholeFile(root_ + kDropInFile, &contents))
    text = timesyncd::LastAssignment(contents, kPollKey);
  std::optional<uint64_t> seconds;
  if (text) {
    seconds = timesyncd::ParseTimeSpanSeconds(*text);
  } else {
    seconds = kDefaultPollInterval;
    for (const auto& file : timesyncd::ConfigurationFiles(root_)) {
      if (!posix::ReadWholeFile(file, &contents)) continue;
      // The service ignores a value it cannot read and keeps the one before.
      if (auto assigned = timesyncd::LastAssignment(contents, kPollKey))
        if (auto parsed = timesyncd::ParseTimeSpanSeconds(*assigned);
            parsed && *parsed <= 0xFFFFFFFFu)
          seconds = parsed;
    }
  }

  std::vector<uint8_t> bytes;
  uint32_t valueType = REG_DWORD;
  if (seconds && *seconds <= 0xFFFFFFFFu) {
    const auto dword = static_cast<uint32_t>(*seconds);
    bytes.resize(4);
    std::memcpy(bytes.data(), &dword, 4);
  } else {
    // A text of ours that is no time span in whole 32-bit seconds is a text value.
    valueType = REG_SZ;
    bytes.assign(text->begin(), text->end());
    bytes.push_back(0);
  }
  if (type) *type = valueType;
  if (size == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  const auto needed = static_cast<uint32_t>(bytes.size());
  if (data == nullptr) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

uint32_t PosixRegistry::RegSetValueExA(HKEY key, const char* valueName, uint32_t type,
                                       const uint8_t* data, uint32_t size) {
  Key k;
  if (!Find(key, &k)) return ERROR_INVALID_HANDLE;
  if (!(k.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  // Nothing but the poll interval has a place in the service's configuration.
  if (!IsClientKey(k.path) || valueName == nullptr || strcasecmp(valueName, kPollValueName) != 0)
    return ERROR_ACCESS_DENIED;
  if (type != REG_DWORD || size != 4 || data == nullptr) return ERROR_INVALID_PARAMETER;
  uint32_t seconds = 0;
  std::memcpy(&seconds, data, 4);

  NoteRefusal("", 0);
  std::string contents;
  const std::string path = root_ + kDropInFile;
  if (!posix::ReadWholeFile(path, &contents)) {
    if (errno != ENOENT) return Refused(path, errno);
    contents =
        "# The time service's poll interval, in seconds, as set by the clock calibration tool.\n"
        "# The service reads it when it starts.\n";
  }
  if (const int error = posix::MakeFolders(root_ + kDropInFolder, 0755); error != 0)
    return Refused(path, error);
  const std::string updated =
      timesyncd::WithAssignment(contents, kPollKey, std::to_string(seconds));
  if (const int error = posix::ReplaceWholeFile(path, updated); error != 0)
    return Refused(path, error);
  return ERROR_SUCCESS;
}

uint32_t PosixRegistry::RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = keys_.find(reinterpret_cast<Key*>(key));
  if (it == keys_.end()) return ERROR_INVALID_HANDLE;
  delete *it;
  keys_.erase(it);
  return ERROR_SUCCESS;
}

RegistryApi& RegistryApi::Real() {
  static PosixRegistry registry("/");
  return registry;
}

}  // namespace platform
