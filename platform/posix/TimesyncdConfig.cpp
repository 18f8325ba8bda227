#include "platform/posix/TimesyncdConfig.h"

#include <dirent.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <utility>

#include "platform/posix/FileReplace.h"

namespace platform::timesyncd {

namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::vector<std::string> Lines(const std::string& contents) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < contents.size()) {
    size_t end = contents.find('\n', start);
    if (end == std::string::npos) end = contents.size();
    lines.push_back(contents.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool IsComment(const std::string& trimmed) {
  return trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';';
}

// Seconds per unit of a systemd time span.
std::optional<double> UnitSeconds(const std::string& unit) {
  static const std::map<std::string, double> units = {{"", 1},
                                                      {"s", 1},
                                                      {"sec", 1},
                                                      {"second", 1},
                                                      {"seconds", 1},
                                                      {"ms", 1e-3},
                                                      {"msec", 1e-3},
                                                      {"us", 1e-6},
                                                      {"usec", 1e-6},
                                                      {"m", 60},
                                                      {"min", 60},
                                                      {"minute", 60},
                                                      {"minutes", 60},
                                                      {"h", 3600},
                                                      {"hr", 3600},
                                                      {"hour", 3600},
                                                      {"hours", 3600},
                                                      {"d", 86400},
                                                      {"day", 86400},
                                                      {"days", 86400},
                                                      {"w", 604800},
                                                      {"week", 604800},
                                                      {"weeks", 604800},
                                                      {"M", 2629800},
                                                      {"month", 2629800},
                                                      {"months", 2629800},
                                                      {"y", 31557600},
                                                      {"year", 31557600},
                                                      {"years", 31557600}};
  const auto it = units.find(unit);
  if (it == units.end()) return std::nullopt;
  return it->second;
}

}  // namespace

std::optional<uint64_t> ParseTimeSpanSeconds(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  double total = 0;
  size_t i = 0;
  while (i < t.size()) {
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
    if (i == t.size()) break;
    const size_t numberStart = i;
    while (i < t.size() && (std::isdigit(static_cast<unsigned char>(t[i])) || t[i] == '.')) ++i;
    const std::string number = t.substr(numberStart, i - numberStart);
    if (number.empty() || number == "." || number.find('.') != number.rfind('.'))
      return std::nullopt;
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
    const size_t unitStart = i;
    while (i < t.size() && std::isalpha(static_cast<unsigned char>(t[i]))) ++i;
    const auto perUnit = UnitSeconds(t.substr(unitStart, i - unitStart));
    if (!perUnit) return std::nullopt;
    // The service reads "1.5h" with a point whatever the locale, so the number is read without
    // the locale (std::stod would take the user's decimal comma).
    double value = 0;
    const std::from_chars_result read =
        std::from_chars(number.data(), number.data() + number.size(), value);
    if (read.ec != std::errc() || read.ptr != number.data() + number.size()) return std::nullopt;
    total += value * *perUnit;
  }
  if (!std::isfinite(total) || total >= 1.8e19) return std::nullopt;
  return static_cast<uint64_t>(std::floor(total));
}

std::optional<std::string> LastAssignment(const std::string& contents, const std::string& key) {
  std::optional<std::string> value;
  bool inTime = false;
  for (const auto& line : Lines(contents)) {
    const std::string t = Trim(line);
    if (IsComment(t)) continue;
    if (t.front() == '[') {
      inTime = t == "[Time]";
      continue;
    }
    const size_t equals = t.find('=');
    if (inTime && equals != std::string::npos && Trim(t.substr(0, equals)) == key)
      value = Trim(t.substr(equals + 1));
  }
  return value;
}

std::string WithAssignment(const std::string& contents, const std::string& key,
                           const std::string& value) {
  std::vector<std::string> out;
  bool inTime = false;
  bool written = false;
  for (const auto& line : Lines(contents)) {
    const std::string t = Trim(line);
    if (!IsComment(t) && t.front() == '[') {
      if (inTime && !written) {
        out.push_back(key + "=" + value);
        written = true;
      }
      inTime = t == "[Time]";
      out.push_back(line);
      continue;
    }
    const size_t equals = t.find('=');
    if (inTime && !IsComment(t) && equals != std::string::npos &&
        Trim(t.substr(0, equals)) == key) {
      if (!written) out.push_back(key + "=" + value);
      written = true;
      continue;
    }
    out.push_back(line);
  }
  if (!written) {
    if (!inTime) out.push_back("[Time]");
    out.push_back(key + "=" + value);
  }
  std::string result;
  for (const auto& line : out) result += line + "\n";
  return result;
}

std::vector<std::string> ConfigurationFiles(const std::string& root) {
  static const char* const folders[] = {"/etc/systemd", "/run/systemd", "/usr/local/lib/systemd",
                                        "/usr/lib/systemd"};
  std::vector<std::string> files;
  for (const char* folder : folders) {
    const std::string main = root + folder + "/timesyncd.conf";
    if (FILE* f = std::fopen(main.c_str(), "r")) {
      std::fclose(f);
      files.push_back(main);
      break;
    }
  }
  std::map<std::string, std::string> dropIns;  // file name -> path, sorted by name
  for (const char* folder : folders) {
    const std::string dir = root + folder + "/timesyncd.conf.d";
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) continue;
    while (const dirent* entry = ::readdir(d)) {
      const std::string name = entry->d_name;
      if (name.size() > 5 && name.compare(name.size() - 5, 5, ".conf") == 0)
        dropIns.emplace(name, dir + "/" + name);  // the first folder's file wins
    }
    ::closedir(d);
  }
  for (const auto& [name, path] : dropIns) files.push_back(path);
  return files;
}

uint64_t PollIntervalMinSeconds(const std::string& root) {
  uint64_t seconds = kDefaultPollIntervalMinSec;
  for (const auto& file : ConfigurationFiles(root)) {
    std::string contents;
    if (!posix::ReadWholeFile(file, &contents)) continue;
    // An assignment the service cannot read is ignored, and the one before stays.
    if (auto assigned = LastAssignment(contents, "PollIntervalMinSec"))
      if (auto parsed = ParseTimeSpanSeconds(*assigned)) seconds = *parsed;
  }
  // The service refuses a minimum below its least and polls at its default instead.
  return seconds < kLeastPollIntervalMinSec ? kDefaultPollIntervalMinSec : seconds;
}

namespace {
thread_local KeyChangeNotes lastKeyChangeNotes;
}

KeyChangeNotes LastKeyChangeNotes() {
  return lastKeyChangeNotes;
}

void SetLastKeyChangeNotes(const KeyChangeNotes& notes) {
  lastKeyChangeNotes = notes;
}

}  // namespace platform::timesyncd
