#pragma once
// Reading and writing systemd-timesyncd's configuration files: "[Time]" section, key=value
// lines, '#' and ';' comments; a later assignment overrides an earlier one.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::timesyncd {

// A systemd time span ("2048", "34min", "1h 30min", "1.5d") in whole seconds, cut toward zero;
// nothing when the text is not a finite time span.
std::optional<uint64_t> ParseTimeSpanSeconds(const std::string& text);

// The raw text of the last assignment of `key` in section "[Time]", if any.
std::optional<std::string> LastAssignment(const std::string& contents, const std::string& key);

// `contents` with every assignment of `key` in "[Time]" replaced by one "key=value" line (the
// section is added when missing); other lines stay as they were.
std::string WithAssignment(const std::string& contents, const std::string& key,
                           const std::string& value);

// The configuration files in the order the service reads them: the main file, then the
// drop-ins of all their folders sorted by file name (a name in /etc hides the same name in
// /run, /usr/local/lib and /usr/lib).
std::vector<std::string> ConfigurationFiles(const std::string& root);

// The service's smallest poll interval when nothing configures it, and the least it takes as
// PollIntervalMinSec (a smaller one leaves it at the default), in seconds.
inline constexpr uint64_t kDefaultPollIntervalMinSec = 32;
inline constexpr uint64_t kLeastPollIntervalMinSec = 16;

// The smallest poll interval the service polls at (PollIntervalMinSec), in whole seconds, as
// its configuration files below `root` set it: the last assignment it can read wins.
uint64_t PollIntervalMinSeconds(const std::string& root);

// What the registry stand-in noted for the calling thread when it last opened the time
// service's key for a change, for the program's checks and its user's messages: the service's
// smallest poll interval (a longest one below it the service drops for its default), and a
// refused write with the file that could not be written and the system's reason.
struct KeyChangeNotes {
  uint64_t pollIntervalMinSeconds = kDefaultPollIntervalMinSec;
  std::string refusedFile;  // empty: no write refused since the key was opened
  int refusedError = 0;     // errno
};
KeyChangeNotes LastKeyChangeNotes();
void SetLastKeyChangeNotes(const KeyChangeNotes& notes);

}  // namespace platform::timesyncd
