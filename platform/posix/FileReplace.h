#pragma once
// Whole-file replacement: the new contents are written beside the file and renamed over it, so
// readers see either the old file or the new one, never a part.
#include <string>

namespace platform::posix {

// Reads the whole file; false with errno set when it cannot be read (ENOENT when missing).
bool ReadWholeFile(const std::string& path, std::string* contents);

// Replaces `path` by `contents` in one step, keeping the old file's permissions. Returns 0, or
// the errno value of the step that failed; the old file is then untouched and nothing is left
// beside it.
int ReplaceWholeFile(const std::string& path, const std::string& contents);

// Creates `folder` and its missing parents with `mode`. Returns 0 or errno.
int MakeFolders(const std::string& folder, unsigned mode);

}  // namespace platform::posix
