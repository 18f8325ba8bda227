#include "platform/posix/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace platform::posix {

bool ReadWholeFile(const std::string& path, std::string* contents) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  contents->clear();
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      errno = error;
      return false;
    }
    if (n == 0) break;
    contents->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

int ReplaceWholeFile(const std::string& path, const std::string& contents) {
  // Replace the file a symbolic link points to, not the link.
  std::string target = path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;

  mode_t mode = 0644;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) mode = old.st_mode & 07777;

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
