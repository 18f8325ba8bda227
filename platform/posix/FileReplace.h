#pragma once
// Whole-file replacement: the new contents are written beside the file and renamed over it, so
// readers see either the old file or the new one, never a part.
#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace platform::posix {

// Reads the whole file; false with errno set when it cannot be read (ENOENT when missing).
bool ReadWholeFile(const std::string& path, std::string* contents);

// Reads the whole plain file (else false with EINVAL) when it holds at most `maxSize` bytes
// (else false with EFBIG), without waiting on a pipe or device in its place, and gives
// the file's status as it was after the read. `unchanged` tells whether the file kept its
// identity, size and times while it was read, so that the contents belong to that status.
bool ReadWholeFile(const std::string& path, std::string* contents, uint64_t maxSize,
                   struct stat* status, bool* unchanged);

// Whether two statuses are of the same file with the same size and change times (to the
// nanosecond): a file replaced or written since has another.
bool SameFileVersion(const struct stat& a, const struct stat& b);

struct ReplaceRules {
  // A file without any write permission bit is read-only for everyone, root included, as a
  // file with the read-only attribute is on Windows; replacing it is refused (EACCES).
  bool keepReadOnly = false;
};

// Replaces `path` by `contents` in one step, keeping the old file's owner, group and
// permissions. A file the caller may not write (judged with the effective ids) is refused with
// EACCES, and one whose owner cannot be kept with EPERM. Returns 0, or the errno value of the
// step that failed; the old file is then untouched and nothing is left beside it.
int ReplaceWholeFile(const std::string& path, const std::string& contents, ReplaceRules rules = {});

// Creates `folder` and its missing parents with `mode`. Returns 0 or errno.
int MakeFolders(const std::string& folder, unsigned mode);

}  // namespace platform::posix
