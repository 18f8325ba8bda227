#pragma once
// What the private-profile writes take, on every system: the names and values that read back
// as they were written. The file's own format is the system's (Windows) or the Linux
// stand-in's; these rules are the interface's, so both refuse the same calls.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Blanks around a name or a value are dropped when it is read.
inline constexpr std::string_view kProfileBlanks = " \t\r\n";

// A write of `value` (null: delete the key) under `key` (null: delete the section) in
// `section`: each name reads back as itself and the value stays on its line. A line end would
// start a line of its own (a key or a whole section the caller never wrote); blanks around a
// name would be trimmed on reading, so the name would not be found again; a key must not end
// early at a '=' nor make its line a section line, nor a section name end early at a ']'.
bool IsProfileEntry(const char* section, const char* key, const char* value);
bool IsProfileSection(const char* section);

// The "key=value" entries of a section's list (each ended by a zero, the list by a second
// one; null is an empty list) as lines, into `lines` when it is not null; false when an entry
// has no key or would not read back as written.
bool ProfileKeyLines(const char* keyValues, std::vector<std::string>* lines);

}  // namespace platform
