#include "framework/IniFiles.h"

#include <QFile>
#include <vector>

#include "platform/PrivateProfile.h"

namespace framework {

namespace {

QString ReadValue(const QByteArray& file, const QByteArray* section, const QByteArray* ident,
                  const QByteArray& fallback, bool list, QStringList* names) {
  // Grows the buffer until the answer fits, so long values are never cut.
  std::vector<char> buffer(2048);
  for (;;) {
    const uint32_t size = static_cast<uint32_t>(buffer.size());
    const uint32_t n = platform::GetPrivateProfileStringA(
        section ? section->constData() : nullptr, ident ? ident->constData() : nullptr,
        fallback.constData(), buffer.data(), size, file.constData());
    const bool cut = list ? n == size - 2 : n == size - 1;
    if (!cut || size >= (1u << 26)) {
      if (!list) return QString::fromUtf8(buffer.data(), static_cast<qsizetype>(n));
      for (const char* entry = buffer.data(); *entry != '\0'; entry += qstrlen(entry) + 1)
        names->append(QString::fromUtf8(entry));
      return {};
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

TIniFile::TIniFile(QString fileName)
    : fileName_(std::move(fileName)), encodedName_(QFile::encodeName(fileName_)) {}

QString TIniFile::FilePath() const {
  return QFile::decodeName(QByteArray::fromStdString(
      platform::Current<platform::PrivateProfileApi>().ProfilePath(encodedName_.constData())));
}

void TIniFile::RaiseWriteError() const {
  throw EIniFileException(QString("Unable to write to %1").arg(FilePath()));
}

QString TIniFile::ReadString(const QString& section, const QString& ident,
                             const QString& fallback) const {
  const QByteArray s = section.toUtf8();
  const QByteArray i = ident.toUtf8();
  return ReadValue(encodedName_, &s, &i, fallback.toUtf8(), false, nullptr);
}

int TIniFile::ReadInteger(const QString& section, const QString& ident, int fallback) const {
  return StrToIntDef(ReadString(section, ident, QString()), fallback);
}

bool TIniFile::ReadBool(const QString& section, const QString& ident, bool fallback) const {
  return ReadInteger(section, ident, fallback ? 1 : 0) != 0;
}

QStringList TIniFile::ReadList(const QByteArray* section) const {
  QStringList names;
  ReadValue(encodedName_, section, nullptr, QByteArray(), true, &names);
  return names;
}

void TIniFile::ReadSection(const QString& section, QStringList& idents) const {
  const QByteArray s = section.toUtf8();
  idents = ReadList(&s);
}

void TIniFile::ReadSections(QStringList& sections) const {
  sections = ReadList(nullptr);
}

bool TIniFile::SectionExists(const QString& section) const {
  QStringList sections;
  ReadSections(sections);
  for (const QString& name : sections)
    if (name.compare(section, Qt::CaseInsensitive) == 0) return true;
  return false;
}

bool TIniFile::ValueExists(const QString& section, const QString& ident) const {
  QStringList idents;
  ReadSection(section, idents);
  for (const QString& name : idents)
    if (name.compare(ident, Qt::CaseInsensitive) == 0) return true;
  return false;
}

namespace {

// The profile calls take zero-terminated texts: a name or value holding U+0000 would be cut there
// and a different name or value written, so such a write is refused instead.
bool HasZero(const QString& text) {
  return text.contains(QChar(u'\0'));
}

}  // namespace

void TIniFile::WriteString(const QString& section, const QString& ident, const QString& value) {
  if (HasZero(section) || HasZero(ident) || HasZero(value)) RaiseWriteError();
  if (!platform::WritePrivateProfileStringA(section.toUtf8().constData(),
                                            ident.toUtf8().constData(), value.toUtf8().constData(),
                                            encodedName_.constData()))
    RaiseWriteError();
}

void TIniFile::WriteInteger(const QString& section, const QString& ident, int value) {
  WriteString(section, ident, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::EraseSection(const QString& section) {
  if (HasZero(section)) RaiseWriteError();
  if (!platform::WritePrivateProfileStringA(section.toUtf8().constData(), nullptr, nullptr,
                                            encodedName_.constData()))
    RaiseWriteError();
}

void TIniFile::DeleteKey(const QString& section, const QString& ident) {
  if (HasZero(section) || HasZero(ident)) RaiseWriteError();
  if (!platform::WritePrivateProfileStringA(section.toUtf8().constData(),
                                            ident.toUtf8().constData(), nullptr,
                                            encodedName_.constData()))
    RaiseWriteError();
}

void TIniFile::ReplaceSection(const QString& section,
                              const QList<QPair<QString, QString>>& values) {
  if (HasZero(section)) RaiseWriteError();
  QByteArray keyValues;
  for (const auto& [ident, value] : values) {
    // Each entry is written as "key=value" and read back split at its first '=': a key holding
    // one would read back as another key.
    if (HasZero(ident) || HasZero(value) || ident.contains(u'=')) RaiseWriteError();
    keyValues += ident.toUtf8() + '=' + value.toUtf8();
    keyValues += '\0';
  }
  keyValues += '\0';
  if (!platform::WritePrivateProfileSectionA(section.toUtf8().constData(), keyValues.constData(),
                                             encodedName_.constData()))
    RaiseWriteError();
}

}  // namespace framework
