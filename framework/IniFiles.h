#pragma once
// Initialisation files over the platform's private-profile calls: every read and write goes to
// the file at once. Names and values are UTF-8 texts.
#include <string>
#include <utility>
#include <vector>

#include "framework/SysUtils.h"

namespace framework {

// A write the platform refused: "Unable to write to <file path>".
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

using TStringList = std::vector<std::string>;
using TKeyValueList = std::vector<std::pair<std::string, std::string>>;

class TIniFile {
 public:
  // `fileName` is passed on unchanged: a bare name lives in the user's configuration folder.
  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }
  // Where the file really is.
  std::string FilePath() const;

  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& fallback) const;
  // The value as a whole number (decimal, or hexadecimal after "$" or "0x"); `fallback` when
  // the key is missing or its text is not a number.
  int ReadInteger(const std::string& section, const std::string& ident, int fallback) const;
  bool ReadBool(const std::string& section, const std::string& ident, bool fallback) const;
  void ReadSection(const std::string& section, TStringList& idents) const;
  void ReadSections(TStringList& sections) const;
  // Names match as the file's own lookups do: ASCII letters without regard to case.
  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& ident) const;

  // Each raises EIniFileException when the platform refuses the write; the file is then as it
  // was before the call.
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& ident, int value);
  void WriteBool(const std::string& section, const std::string& ident, bool value);
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& ident);

  // Replaces everything in `section` by `values`, in their order, in one step: afterwards the
  // section holds exactly these keys, or (with EIniFileException raised) the file is as it
  // was. Keys and values are single lines; a key holds no '='.
  void ReplaceSection(const std::string& section, const TKeyValueList& values);

  // Nothing is held back: writes reach the file at once.
  void UpdateFile() {}

 private:
  [[noreturn]] void RaiseWriteError() const;
  TStringList ReadList(const std::string* section) const;

  std::string fileName_;
};

}  // namespace framework
