#include "platform/PrivateProfileNames.h"

#include <cstring>

namespace platform {

namespace {

bool HasOuterBlanks(std::string_view text) {
  return !text.empty() && (kProfileBlanks.find(text.front()) != std::string_view::npos ||
                           kProfileBlanks.find(text.back()) != std::string_view::npos);
}

bool IsValue(const char* text) {
  return text == nullptr || std::strpbrk(text, "\r\n") == nullptr;
}

bool IsName(std::string_view name) {
  return name.find_first_of("\r\n") == std::string_view::npos && !HasOuterBlanks(name);
}

bool IsKey(std::string_view name) {
  return IsName(name) && name.find('=') == std::string_view::npos &&
         (name.empty() || name.front() != '[');
}

}  // namespace

bool IsProfileSection(const char* section) {
  return section != nullptr && IsName(section) && std::strchr(section, ']') == nullptr;
}

bool IsProfileEntry(const char* section, const char* key, const char* value) {
  return IsProfileSection(section) && (key == nullptr || IsKey(key)) && IsValue(value);
}

bool ProfileKeyLines(const char* keyValues, std::vector<std::string>* lines) {
  if (keyValues == nullptr) return true;
  for (const char* entry = keyValues; *entry != '\0'; entry += std::strlen(entry) + 1) {
    const char* equals = std::strchr(entry, '=');
    if (equals == nullptr || equals == entry || !IsValue(equals + 1) ||
        !IsKey(std::string_view(entry, static_cast<size_t>(equals - entry))))
      return false;
    if (lines != nullptr) lines->emplace_back(entry);
  }
  return true;
}

}  // namespace platform
