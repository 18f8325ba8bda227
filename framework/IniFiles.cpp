#include "framework/IniFiles.h"

#include <cstdint>
#include <cstring>

#include "platform/PrivateProfile.h"

namespace framework {

namespace {

// One read through the profile call: a value, or (with `names`) a list of names. The buffer
// grows until the answer fits, so long values are never cut.
std::string ReadValue(const std::string& file, const std::string* section, const std::string* ident,
                      const std::string& fallback, TStringList* names) {
  std::vector<char> buffer(2048);
  for (;;) {
    const auto size = static_cast<uint32_t>(buffer.size());
    const uint32_t n = platform::GetPrivateProfileStringA(
        section ? section->c_str() : nullptr, ident ? ident->c_str() : nullptr, fallback.c_str(),
        buffer.data(), size, file.c_str());
    const bool cut = names ? n == size - 2 : n == size - 1;
    if (!cut || size >= (1u << 26)) {
      if (!names) return std::string(buffer.data(), n);
      for (const char* entry = buffer.data(); *entry != '\0'; entry += std::strlen(entry) + 1)
        names->emplace_back(entry);
      return {};
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The profile calls take zero-terminated texts: a name or value holding a zero byte would be
// cut there and a different name or value written, so such a write is refused instead.
bool HasZero(const std::string& text) {
  return text.find('\0') != std::string::npos;
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TIniFile::FilePath() const {
  return platform::Current<platform::PrivateProfileApi>().ProfilePath(fileName_.c_str());
}

void TIniFile::RaiseWriteError() const {
  throw EIniFileException("Unable to write to " + FilePath());
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& fallback) const {
  return ReadValue(fileName_, &section, &ident, fallback, nullptr);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& ident,
                          int fallback) const {
  return StrToIntDef(ReadString(section, ident, std::string()), fallback);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool fallback) const {
  return ReadInteger(section, ident, fallback ? 1 : 0) != 0;
}

TStringList TIniFile::ReadList(const std::string* section) const {
  TStringList names;
  ReadValue(fileName_, section, nullptr, std::string(), &names);
  return names;
}

void TIniFile::ReadSection(const std::string& section, TStringList& idents) const {
  idents = ReadList(&section);
}

void TIniFile::ReadSections(TStringList& sections) const {
  sections = ReadList(nullptr);
}

bool TIniFile::SectionExists(const std::string& section) const {
  TStringList sections;
  ReadSections(sections);
  for (const std::string& name : sections)
    if (SameTextAscii(name, section)) return true;
  return false;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& ident) const {
  TStringList idents;
  ReadSection(section, idents);
  for (const std::string& name : idents)
    if (SameTextAscii(name, ident)) return true;
  return false;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident,
                           const std::string& value) {
  if (HasZero(section) || HasZero(ident) || HasZero(value)) RaiseWriteError();
  if (!platform::WritePrivateProfileStringA(section.c_str(), ident.c_str(), value.c_str(),
                                            fileName_.c_str()))
    RaiseWriteError();
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, int value) {
  WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::EraseSection(const std::string& section) {
  if (HasZero(section)) RaiseWriteError();
  if (!platform::WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, fileName_.c_str()))
    RaiseWriteError();
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  if (HasZero(section) || HasZero(ident)) RaiseWriteError();
  if (!platform::WritePrivateProfileStringA(section.c_str(), ident.c_str(), nullptr,
                                            fileName_.c_str()))
    RaiseWriteError();
}

void TIniFile::ReplaceSection(const std::string& section, const TKeyValueList& values) {
  if (HasZero(section)) RaiseWriteError();
  std::string keyValues;
  for (const auto& [ident, value] : values) {
    // Each entry is written as "key=value" and read back split at its first '=': a key holding
    // one would read back as another key.
    if (HasZero(ident) || HasZero(value) || ident.find('=') != std::string::npos) RaiseWriteError();
    keyValues += ident;
    keyValues += '=';
    keyValues += value;
    keyValues += '\0';
  }
  keyValues += '\0';
  if (!platform::WritePrivateProfileSectionA(section.c_str(), keyValues.c_str(), fileName_.c_str()))
    RaiseWriteError();
}

}  // namespace framework
