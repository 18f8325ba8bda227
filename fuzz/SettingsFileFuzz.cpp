// Fuzzes the settings file: any file contents are read without harm, and a write of any
// section, key and value is either refused, leaving the file byte for byte as it was, or done,
// after which it reads back exactly and nothing else in the file has changed.
//
// An input is fields parted by the byte 0x1F: control bytes, the file's contents, a section, a
// key, a value, and for a section replacement further key and value pairs. The control bytes
// are the operation, the file's state (mode, or missing) and the size of a small read buffer.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/IniFiles.h"
#include "platform/PrivateProfile.h"
#include "platform/posix/PosixPrivateProfile.h"

namespace {

constexpr char kFieldSeparator = '\x1F';
constexpr char kFileName[] = "Horatune.ini";
// A fallback no line of a file can hold, so a missing key cannot pass for a value.
const QString kMissing = QStringLiteral("\n(missing)\n");

enum class Operation { WriteString, WriteInteger, DeleteKey, EraseSection, ReplaceSection, Count };

const mode_t kModes[] = {0600, 0644, 0640, 0444};

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "Settings file check failed: %s\n", what.c_str());
  std::abort();
}

void Expect(bool holds, const std::string& what) {
  if (!holds) Fail(what);
}

std::string Quoted(const QString& text) {
  return "\"" + text.toStdString() + "\"";
}

// A folder of its own for the whole run, in memory where the machine has it: each write
// replaces the file and flushes it to its disk.
const std::string& Folder() {
  // Kept to the very end: the run's exit handler removes the folder after statics are gone.
  static const std::string& folder = *new std::string([] {
    std::string base = "/dev/shm";
    if (access(base.c_str(), W_OK) != 0) {
      const char* temp = std::getenv("TMPDIR");
      base = temp != nullptr && temp[0] == '/' ? temp : "/tmp";
    }
    std::string name = base + "/settings-fuzz.XXXXXX";
    if (mkdtemp(name.data()) == nullptr) Fail("cannot make a folder under " + base);
    return name;
  }());
  return folder;
}

std::string FilePath() {
  return Folder() + "/" + kFileName;
}

std::vector<std::string> FolderEntries() {
  std::vector<std::string> names;
  if (DIR* dir = opendir(Folder().c_str())) {
    while (const dirent* entry = readdir(dir))
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        names.emplace_back(entry->d_name);
    closedir(dir);
  }
  return names;
}

void RemoveFolder() {
  for (const std::string& name : FolderEntries()) unlink((Folder() + "/" + name).c_str());
  rmdir(Folder().c_str());
}

// The file's bytes, or nothing when it is missing.
std::optional<std::string> FileBytes() {
  FILE* file = std::fopen(FilePath().c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  std::fclose(file);
  return bytes;
}

void PutFile(const std::string& contents, mode_t mode) {
  unlink(FilePath().c_str());
  FILE* file = std::fopen(FilePath().c_str(), "wb");
  if (file == nullptr) Fail("cannot write " + FilePath());
  std::fwrite(contents.data(), 1, contents.size(), file);
  std::fclose(file);
  chmod(FilePath().c_str(), mode);
}

mode_t FileMode() {
  struct stat status {};
  if (stat(FilePath().c_str(), &status) != 0) return 0;
  return status.st_mode & 07777;
}

// Section and key names match without regard to ASCII case, as the file's own reader does.
std::string Folded(const QString& name) {
  std::string bytes = name.toStdString();
  for (char& c : bytes)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return bytes;
}

// Blanks around a value are dropped when it is read, as the format has always done; everything
// else in it must come back.
QString AsRead(const QString& value) {
  const QString blanks = QStringLiteral(" \t\r\n");
  qsizetype first = 0, last = value.size();
  while (first < last && blanks.contains(value[first])) ++first;
  while (last > first && blanks.contains(value[last - 1])) --last;
  return value.mid(first, last - first);
}

// The name with its ASCII letters in the other case.
QString SwapCase(const QString& name) {
  QString swapped = name;
  for (QChar& c : swapped) {
    if (c >= u'a' && c <= u'z')
      c = QChar(c.unicode() - u'a' + u'A');
    else if (c >= u'A' && c <= u'Z')
      c = QChar(c.unicode() - u'A' + u'a');
  }
  return swapped;
}

// A name read from a file that held bytes which are no UTF-8 cannot be asked for again.
bool Addressable(const QString& name) {
  return !name.contains(QChar::ReplacementCharacter);
}

// The settings file as the window uses it: its texts are Qt strings, given to the file in UTF-8.
class Ini {
 public:
  explicit Ini(const QString& fileName) : ini_(fileName.toStdString()) {}
  void ReadSections(QStringList& names) const {
    framework::TStringList read;
    ini_.ReadSections(read);
    names = ToQt(read);
  }
  void ReadSection(const QString& section, QStringList& names) const {
    framework::TStringList read;
    ini_.ReadSection(section.toStdString(), read);
    names = ToQt(read);
  }
  bool SectionExists(const QString& section) const {
    return ini_.SectionExists(section.toStdString());
  }
  bool ValueExists(const QString& section, const QString& key) const {
    return ini_.ValueExists(section.toStdString(), key.toStdString());
  }
  QString ReadString(const QString& section, const QString& key, const QString& fallback) const {
    return QString::fromStdString(
        ini_.ReadString(section.toStdString(), key.toStdString(), fallback.toStdString()));
  }
  int ReadInteger(const QString& section, const QString& key, int fallback) const {
    return ini_.ReadInteger(section.toStdString(), key.toStdString(), fallback);
  }
  void WriteString(const QString& section, const QString& key, const QString& value) {
    ini_.WriteString(section.toStdString(), key.toStdString(), value.toStdString());
  }
  void WriteInteger(const QString& section, const QString& key, int value) {
    ini_.WriteInteger(section.toStdString(), key.toStdString(), value);
  }
  void DeleteKey(const QString& section, const QString& key) {
    ini_.DeleteKey(section.toStdString(), key.toStdString());
  }
  void EraseSection(const QString& section) { ini_.EraseSection(section.toStdString()); }
  void ReplaceSection(const QString& section, const QList<QPair<QString, QString>>& pairs) {
    framework::TKeyValueList values;
    for (const auto& [key, value] : pairs)
      values.emplace_back(key.toStdString(), value.toStdString());
    ini_.ReplaceSection(section.toStdString(), values);
  }

 private:
  static QStringList ToQt(const framework::TStringList& names) {
    QStringList list;
    for (const std::string& name : names) list << QString::fromStdString(name);
    return list;
  }

  framework::TIniFile ini_;
};

using Contents = std::map<std::pair<std::string, std::string>, QString>;

// Everything the file holds, as the reader sees it: the first section of a name, and in it the
// first key of a name. Lists of names are parted by zeros, so a name that holds a zero byte
// comes back in pieces that need not exist; only a file without zeros must list what it holds.
Contents ReadEverything(const Ini& ini, bool askEach = false) {
  const std::optional<std::string> bytes = FileBytes();
  const bool listsWhole = !bytes || bytes->find('\0') == std::string::npos;
  Contents seen;
  QStringList sections;
  ini.ReadSections(sections);
  for (const QString& section : sections) {
    if (!Addressable(section)) continue;
    Expect(!askEach || !listsWhole || ini.SectionExists(section),
           "listed section " + Quoted(section) + " exists");
    QStringList keys;
    ini.ReadSection(section, keys);
    for (const QString& key : keys) {
      if (!Addressable(key)) continue;
      Expect(!askEach || !listsWhole || ini.ValueExists(section, key),
             "listed key " + Quoted(key) + " exists");
      const QString value = ini.ReadString(section, key, kMissing);
      Expect(!listsWhole || value != kMissing, "listed key " + Quoted(key) + " has a value");
      seen.emplace(std::make_pair(Folded(section), Folded(key)), value);
    }
  }
  return seen;
}

// Everything but what `keep` says may have changed.
Contents Without(const Contents& all, const std::string& section,
                 const std::optional<std::string>& key) {
  Contents rest;
  for (const auto& [name, value] : all)
    if (name.first != section || (key && name.second != *key)) rest.emplace(name, value);
  return rest;
}

struct Input {
  uint8_t operation = 0;
  uint8_t fileState = 0;
  uint8_t bufferSize = 0;
  std::string contents;
  QString section, key, value;
  QList<QPair<QString, QString>> pairs;  // the section replacement's keys and values
};

Input Parse(const uint8_t* data, size_t size) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == static_cast<uint8_t>(kFieldSeparator))
      fields.emplace_back();
    else
      fields.back() += static_cast<char>(data[i]);
  }
  auto field = [&](size_t i) { return i < fields.size() ? fields[i] : std::string(); };
  auto text = [&](size_t i) {
    const std::string bytes = field(i);
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  };
  Input input;
  const std::string control = field(0);
  if (control.size() > 0) input.operation = static_cast<uint8_t>(control[0]);
  if (control.size() > 1) input.fileState = static_cast<uint8_t>(control[1]);
  if (control.size() > 2) input.bufferSize = static_cast<uint8_t>(control[2]);
  input.contents = field(1);
  input.section = text(2);
  input.key = text(3);
  input.value = text(4);
  input.pairs.append({input.key, input.value});
  for (size_t i = 5; i + 1 < fields.size(); i += 2) input.pairs.append({text(i), text(i + 1)});
  return input;
}

// The platform's own call with a buffer of exactly `size` bytes: the answer is cut to fit, ends
// in its zero (a list in two), and is the start of what a large buffer gets.
void CheckSmallBuffer(const Input& input) {
  const std::string section = input.section.toStdString();
  const std::string key = input.key.toStdString();
  for (const bool list : {false, true}) {
    const uint32_t size = input.bufferSize;
    // Filled with a mark, so a zero the call forgot to write does not show up by chance.
    std::vector<char> small(size, '#');
    const uint32_t n = platform::GetPrivateProfileStringA(
        section.c_str(), list ? nullptr : key.c_str(), "fallback", small.data(), size, kFileName);
    std::vector<char> large(1u << 16);
    const uint32_t full = platform::GetPrivateProfileStringA(
        section.c_str(), list ? nullptr : key.c_str(), "fallback", large.data(),
        static_cast<uint32_t>(large.size()), kFileName);
    if (size == 0) {
      Expect(n == 0, "a buffer of no bytes takes nothing");
      continue;
    }
    // A text takes what fits before its zero; a list that does not fit with its closing zero
    // is cut to size - 2 and closed by two zeros.
    const bool fits = list ? full + 1 <= size : full <= size - 1;
    const uint32_t expected = fits ? full : (list ? (size >= 2 ? size - 2 : 0) : size - 1);
    Expect(n == expected, "the answer is as long as the buffer allows");
    Expect(small[n] == '\0', "the answer ends in a zero");
    if (list && size >= 2) {
      // Two zeros: the last name's and the list's, or after an empty list or a cut one, the
      // zero at the end and the one after it.
      const bool closed = fits && n > 0 ? small[n - 1] == '\0' : small[n + 1] == '\0';
      Expect(closed, "a list ends in two zeros");
    }
    Expect(std::memcmp(small.data(), large.data(), n) == 0, "a cut answer starts the full one");
  }
}

void CheckWrite(const Input& input, bool fileExisted) {
  Ini ini(kFileName);

  const std::optional<std::string> before = FileBytes();
  const mode_t modeBefore = FileMode();
  const Contents seenBefore = ReadEverything(ini);
  const Operation operation =
      static_cast<Operation>(input.operation % static_cast<int>(Operation::Count));

  const std::string section = Folded(input.section);
  const std::string key = Folded(input.key);
  const int number = static_cast<int>(input.value.size()) - 7;  // also negative
  try {
    switch (operation) {
      case Operation::WriteString:
        ini.WriteString(input.section, input.key, input.value);
        break;
      case Operation::WriteInteger:
        ini.WriteInteger(input.section, input.key, number);
        break;
      case Operation::DeleteKey:
        ini.DeleteKey(input.section, input.key);
        break;
      case Operation::EraseSection:
        ini.EraseSection(input.section);
        break;
      case Operation::ReplaceSection:
        ini.ReplaceSection(input.section, input.pairs);
        break;
      case Operation::Count:
        break;
    }
  } catch (const framework::EIniFileException& refused) {
    Expect(refused.Message().rfind("Unable to write to ", 0) == 0,
           "a refused write says \"Unable to write to\"");
    Expect(FileBytes() == before, "a refused write leaves the file byte for byte");
    Expect(FileMode() == modeBefore, "a refused write leaves the file's mode");
    Expect(FolderEntries().size() == (before ? 1u : 0u), "a refused write leaves nothing beside");
    return;
  }

  Expect(!fileExisted || (modeBefore & 0222) != 0,
         "a file that no one may write is refused, even to its owner");
  Expect(FolderEntries().size() == 1, "a write leaves the file and nothing beside it");
  if (fileExisted) Expect(FileMode() == modeBefore, "a write keeps the file's mode");
  const Contents seenAfter = ReadEverything(ini);
  switch (operation) {
    case Operation::WriteString:
    case Operation::WriteInteger: {
      const QString written =
          operation == Operation::WriteString ? AsRead(input.value) : QString::number(number);
      const QString back = ini.ReadString(input.section, input.key, kMissing);
      Expect(back == written, "written " + Quoted(written) + " reads back, not " + Quoted(back));
      const QString otherCase =
          ini.ReadString(SwapCase(input.section), SwapCase(input.key), kMissing);
      Expect(otherCase == written, "names match without regard to case: " + Quoted(otherCase));
      if (operation == Operation::WriteInteger)
        Expect(ini.ReadInteger(input.section, input.key, number + 1) == number,
               "a written number reads back as that number");
      Expect(Without(seenAfter, section, key) == Without(seenBefore, section, key),
             "a write changes no other key");
      break;
    }
    case Operation::DeleteKey:
      Expect(Without(seenAfter, section, key) == Without(seenBefore, section, key),
             "deleting a key changes no other key");
      break;
    case Operation::EraseSection:
      Expect(
          Without(seenAfter, section, std::nullopt) == Without(seenBefore, section, std::nullopt),
          "erasing a section changes no other section");
      break;
    case Operation::ReplaceSection: {
      QStringList keys;
      ini.ReadSection(input.section, keys);
      QStringList expectedKeys;
      for (const auto& pair : input.pairs) expectedKeys << pair.first;
      Expect(keys == expectedKeys, "a replaced section lists exactly its new keys in order");
      for (const auto& [name, written] : input.pairs) {
        // The first of equal names wins.
        QString expected;
        for (const auto& pair : input.pairs)
          if (Folded(pair.first) == Folded(name)) {
            expected = AsRead(pair.second);
            break;
          }
        const QString back = ini.ReadString(input.section, name, kMissing);
        Expect(back == expected, "replaced " + Quoted(name) + " reads back " + Quoted(expected) +
                                     ", not " + Quoted(back));
      }
      Expect(
          Without(seenAfter, section, std::nullopt) == Without(seenBefore, section, std::nullopt),
          "replacing a section changes no other section");
      break;
    }
    case Operation::Count:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::atexit(RemoveFolder);
  // One profile for the whole run, as the program has: what it keeps of a file read earlier
  // must never hide the file that each input puts in its place.
  static platform::PosixPrivateProfile profile(Folder());
  static platform::ScopedOverride<platform::PrivateProfileApi> installed(profile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Input input = Parse(data, size);
  const bool fileExists = (input.fileState & 4) == 0;
  unlink(FilePath().c_str());
  if (fileExists) PutFile(input.contents, kModes[input.fileState & 3]);

  {
    // Reading: what the window's load asks, and everything the file lists.
    const Ini ini(kFileName);
    const int count = ini.ReadInteger("CurrentHosts", "Count", 0);
    for (int i = 0; i < std::min(count, 64); ++i)
      ini.ReadString("CurrentHosts", QString("Host%1").arg(i), QString());
    ini.ReadInteger("CurrentHosts", "CurrentInx", -1);
    ReadEverything(ini, true);
    CheckSmallBuffer(input);
    Expect(FileBytes() == (fileExists ? std::optional(input.contents) : std::nullopt),
           "reading leaves the file as it was");
  }
  CheckWrite(input, fileExists);
  return 0;
}
