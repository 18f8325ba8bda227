// The compiled help file that the build puts beside the programs: a real compiled-help file
// whose directory holds every topic page, the contents and the index, with the contents page
// as the default topic.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace {

QString HelpFilePath() {
  return QCoreApplication::applicationDirPath() + "/Horaplex.chm";
}

QByteArray ReadHelpFile() {
  QFile file(HelpFilePath());
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// One entry of the file's directory: which content section holds it (0 stored as is, 1
// compressed), where in that section, and its length in bytes before compression.
struct DirectoryEntry {
  uint64_t section = 0;
  uint64_t offset = 0;
  uint64_t length = 0;
};

// The parts of the compiled-help container that locate a stored file.
struct Container {
  uint32_t version = 0;
  uint32_t headerLength = 0;
  uint64_t section0Start = 0;  // byte offset of content section 0 in the file
  std::map<std::string, DirectoryEntry> directory;
};

// Little-endian reads that refuse to run past the end of the data.
std::optional<uint64_t> ReadLE(const QByteArray& data, qsizetype at, int bytes) {
  if (at < 0 || at + bytes > data.size()) return std::nullopt;
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(data[at + i]);
  return value;
}

// The directory's variable-length numbers: 7 bits per byte, most significant first, the top
// bit set on every byte but the last.
std::optional<uint64_t> ReadEncInt(const QByteArray& data, qsizetype* at, qsizetype end) {
  uint64_t value = 0;
  for (int i = 0; i < 9; ++i) {
    if (*at >= end) return std::nullopt;
    const auto byte = static_cast<uint8_t>(data[(*at)++]);
    value = (value << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) return value;
  }
  return std::nullopt;
}

// Reads the header and walks every listing chunk of the directory. Fails on anything that does
// not have the container's shape, so a truncated or foreign file cannot pass.
std::optional<Container> ParseContainer(const QByteArray& data) {
  if (!data.startsWith("ITSF")) return std::nullopt;
  Container c;
  const auto version = ReadLE(data, 4, 4);
  const auto headerLength = ReadLE(data, 8, 4);
  const auto directoryOffset = ReadLE(data, 0x48, 8);
  const auto directoryLength = ReadLE(data, 0x50, 8);
  const auto section0 = ReadLE(data, 0x58, 8);  // present from version 3 on
  if (!version || !headerLength || !directoryOffset || !directoryLength || !section0)
    return std::nullopt;
  c.version = static_cast<uint32_t>(*version);
  c.headerLength = static_cast<uint32_t>(*headerLength);
  c.section0Start = *section0;

  const auto dir = static_cast<qsizetype>(*directoryOffset);
  if (dir < 0 || dir + static_cast<qsizetype>(*directoryLength) > data.size()) return std::nullopt;
  if (data.mid(dir, 4) != "ITSP") return std::nullopt;
  const auto dirHeaderLength = ReadLE(data, dir + 8, 4);
  const auto chunkSize = ReadLE(data, dir + 0x10, 4);
  const auto chunkCount = ReadLE(data, dir + 0x2C, 4);
  if (!dirHeaderLength || !chunkSize || !chunkCount || *chunkSize < 20) return std::nullopt;

  for (uint64_t n = 0; n < *chunkCount; ++n) {
    const qsizetype chunk = dir + static_cast<qsizetype>(*dirHeaderLength + n * *chunkSize);
    if (chunk + static_cast<qsizetype>(*chunkSize) > data.size()) return std::nullopt;
    if (data.mid(chunk, 4) != "PMGL") continue;  // index chunks repeat names, list nothing
    const auto freeSpace = ReadLE(data, chunk + 4, 4);
    if (!freeSpace || *freeSpace > *chunkSize - 20) return std::nullopt;
    const qsizetype end = chunk + static_cast<qsizetype>(*chunkSize - *freeSpace);
    qsizetype at = chunk + 20;
    while (at < end) {
      const auto nameLength = ReadEncInt(data, &at, end);
      if (!nameLength || at + static_cast<qsizetype>(*nameLength) > end) return std::nullopt;
      const std::string name = data.mid(at, static_cast<qsizetype>(*nameLength)).toStdString();
      at += static_cast<qsizetype>(*nameLength);
      DirectoryEntry entry;
      const auto section = ReadEncInt(data, &at, end);
      const auto offset = ReadEncInt(data, &at, end);
      const auto length = ReadEncInt(data, &at, end);
      if (!section || !offset || !length) return std::nullopt;
      c.directory[name] = DirectoryEntry{*section, *offset, *length};
    }
  }
  return c;
}

class HelpFile : public ::testing::Test {
 protected:
  void SetUp() override {
    data = ReadHelpFile();
    ASSERT_FALSE(data.isEmpty()) << "no help file at " << HelpFilePath().toStdString()
                                 << "; the build compiles it there (target helpfile)";
    container = ParseContainer(data);
    ASSERT_TRUE(container.has_value()) << "not a compiled-help container";
  }

  QByteArray data;
  std::optional<Container> container;
};

}  // namespace

TEST_F(HelpFile, IsAFullSizedFileBesideTheProgram) {
  // Eleven pages of text, the contents, the index and the search index: far more than an empty
  // project compiles to.
  EXPECT_GT(data.size(), 16 * 1024);
}

TEST_F(HelpFile, StartsWithTheCompiledHelpSignatureAndAVersion3Header) {
  EXPECT_EQ(data.left(4), QByteArray("ITSF"));
  EXPECT_EQ(container->version, 3u);
  EXPECT_EQ(container->headerLength, 0x60u);
}

TEST_F(HelpFile, HoldsTheContentsTheIndexAndTheStyleSheet) {
  for (const char* name : {"/Horaplex.hhc", "/Horaplex.hhk", "/style.css"}) {
    const auto it = container->directory.find(name);
    ASSERT_NE(it, container->directory.end()) << name;
    EXPECT_GT(it->second.length, 0u) << name;
  }
}

TEST_F(HelpFile, OpensOnTheContentsPageUnderTheProgramsTitle) {
  // The system file is stored uncompressed and names the default topic and the title.
  const auto it = container->directory.find("/#SYSTEM");
  ASSERT_NE(it, container->directory.end());
  ASSERT_EQ(it->second.section, 0u);
  const qsizetype start = static_cast<qsizetype>(container->section0Start + it->second.offset);
  const QByteArray system = data.mid(start, static_cast<qsizetype>(it->second.length));
  ASSERT_EQ(system.size(), static_cast<qsizetype>(it->second.length));
  EXPECT_TRUE(system.contains("index.htm"));
  EXPECT_TRUE(system.contains("Tempomere Help"));
}

class HelpTopic : public HelpFile, public ::testing::WithParamInterface<const char*> {};

TEST_P(HelpTopic, IsAPageOfTheCompiledFile) {
  const std::string name = std::string("/") + GetParam();
  const auto it = container->directory.find(name);
  ASSERT_NE(it, container->directory.end()) << name << " was not compiled in";
  // Pages are stored compressed; each topic is a page of real text, not a stub.
  EXPECT_EQ(it->second.section, 1u);
  EXPECT_GT(it->second.length, 1500u);
}

INSTANTIATE_TEST_SUITE_P(EveryTopic, HelpTopic,
                         ::testing::Values("index.htm", "window.htm", "measuring.htm",
                                           "parameters.htm", "chart.htm", "statistics.htm",
                                           "calibration.htm", "settime.htm", "hosts.htm",
                                           "autocalibrate.htm", "permissions.htm"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });
