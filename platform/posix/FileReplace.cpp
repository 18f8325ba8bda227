#include "platform/posix/FileReplace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace platform::posix {

namespace {

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool SameFileVersion(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         SameTime(a.st_mtim, b.st_mtim) && SameTime(a.st_ctim, b.st_ctim);
}

namespace {

bool ReadOpenFile(int fd, std::string* contents, uint64_t maxSize, bool plainOnly,
                  struct stat* status, bool* unchanged) {
  auto fail = [fd](int error) {
    ::close(fd);
    errno = error;
    return false;
  };
  struct stat before {};
  if (::fstat(fd, &before) != 0) return fail(errno);
  if (S_ISDIR(before.st_mode)) return fail(EISDIR);
  if (plainOnly && !S_ISREG(before.st_mode)) return fail(EINVAL);
  if (before.st_size > 0 && static_cast<uint64_t>(before.st_size) > maxSize) return fail(EFBIG);
  contents->clear();
  if (S_ISREG(before.st_mode)) contents->reserve(static_cast<size_t>(before.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) break;
    // The file may have grown since its size was looked at.
    if (contents->size() + static_cast<size_t>(n) > maxSize) return fail(EFBIG);
    contents->append(buffer, static_cast<size_t>(n));
  }
  struct stat after {};
  if (::fstat(fd, &after) != 0) return fail(errno);
  ::close(fd);
  if (status) *status = after;
  if (unchanged)
    *unchanged = S_ISREG(after.st_mode) && SameFileVersion(before, after) &&
                 static_cast<uint64_t>(after.st_size) == contents->size();
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* contents, uint64_t maxSize,
                   struct stat* status, bool* unchanged) {
  // Without waiting: a pipe or device in the file's place must not hold the caller up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  return ReadOpenFile(fd, contents, maxSize, true, status, unchanged);
}

bool ReadWholeFile(const std::string& path, std::string* contents) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  return ReadOpenFile(fd, contents, UINT64_MAX, false, nullptr, nullptr);
}

int ReplaceWholeFile(const std::string& path, const std::string& contents, ReplaceRules rules) {
  // Replace the file a symbolic link points to, not the link.
  std::string target = path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;

  mode_t mode = 0644;
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists) {
    mode = old.st_mode & 07777;
    // Renaming over a file needs only the right to write its folder; the file's own
    // permissions are what its owner set, and they decide.
    if (rules.keepReadOnly && (mode & 0222) == 0) return EACCES;
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
  }

  std::vector<char> temporary(target.begin(), target.end());
  const std::string suffix = ".XXXXXX";
  temporary.insert(temporary.end(), suffix.begin(), suffix.end());
  temporary.push_back('\0');
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return errno;

  auto fail = [&](int error) {
    ::close(fd);
    ::unlink(temporary.data());
    return error;
  };
  size_t written = 0;
  while (written < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    written += static_cast<size_t>(n);
  }
  if (exists && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
    // Someone other than root can give a file neither away nor to a group of which they are
    // not a member. The owner must stay (else the owner's own program could no longer read
    // its settings); a group that cannot be kept gives way to the writer's.
    if (old.st_uid != ::geteuid()) return fail(errno);
  }
  // After the change of owner, which clears the set-id bits.
  if (::fchmod(fd, mode) != 0) return fail(errno);
  if (::fsync(fd) != 0) return fail(errno);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.data());
    return error;
  }
  if (::rename(temporary.data(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.data());
    return error;
  }
  return 0;
}

int MakeFolders(const std::string& folder, unsigned mode) {
  if (folder.empty()) return 0;
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
  const size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    const int error = MakeFolders(folder.substr(0, slash), mode);
    if (error != 0) return error;
  }
  if (::mkdir(folder.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return errno;
  return 0;
}

}  // namespace platform::posix
