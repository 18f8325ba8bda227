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

}  // namespace platform::timesyncd
