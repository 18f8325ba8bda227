#pragma once
// Initialisation files over the platform's private-profile calls: every read and write goes to
// the file at once.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "framework/SysUtils.h"

namespace framework {

// A write the platform refused: "Unable to write to <file path>".
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

class TIniFile {
 public:
  // `fileName` is passed on unchanged: a bare name lives in the user's configuration folder.
  explicit TIniFile(QString fileName);

  const QString& FileName() const { return fileName_; }
  // Where the file really is.
  QString FilePath() const;

  QString ReadString(const QString& section, const QString& ident, const QString& fallback) const;
  // The value as a whole number (decimal, or hexadecimal after "$" or "0x"); `fallback` when
  // the key is missing or its text is not a number.
  int ReadInteger(const QString& section, const QString& ident, int fallback) const;
  bool ReadBool(const QString& section, const QString& ident, bool fallback) const;
  void ReadSection(const QString& section, QStringList& idents) const;
  void ReadSections(QStringList& sections) const;
  bool SectionExists(const QString& section) const;
  bool ValueExists(const QString& section, const QString& ident) const;

  // Each raises EIniFileException when the platform refuses the write; the file is then as it
  // was before the call.
  void WriteString(const QString& section, const QString& ident, const QString& value);
  void WriteInteger(const QString& section, const QString& ident, int value);
  void WriteBool(const QString& section, const QString& ident, bool value);
  void EraseSection(const QString& section);
  void DeleteKey(const QString& section, const QString& ident);

  // Replaces everything in `section` by `values`, in their order, in one step: afterwards the
  // section holds exactly these keys, or (with EIniFileException raised) the file is as it
  // was. Keys and values are single lines; a key holds no '='.
  void ReplaceSection(const QString& section, const QList<QPair<QString, QString>>& values);

  // Nothing is held back: writes reach the file at once.
  void UpdateFile() {}

 private:
  [[noreturn]] void RaiseWriteError() const;
  QStringList ReadList(const QByteArray* section) const;

  QString fileName_;
  QByteArray encodedName_;
};

}  // namespace framework
