#include "framework/IniFiles.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "platform/posix/PosixPrivateProfile.h"

using framework::EIniFileException;
using framework::TIniFile;

namespace {

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString Folder() const { return dir_.path() + "/config"; }
  std::string SettingsPath() const { return (Folder() + "/Horatune.ini").toStdString(); }

  void WriteSettings(const QByteArray& text) {
    QDir().mkpath(Folder());
    QFile f(QString::fromStdString(SettingsPath()));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }

  QByteArray SettingsText() const {
    QFile f(QString::fromStdString(SettingsPath()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }

  QTemporaryDir dir_;
  platform::PosixPrivateProfile profile_{Folder().toStdString()};
  platform::ScopedOverride<platform::PrivateProfileApi> use_{profile_};
  TIniFile ini_{"Horatune.ini"};
};

// Refuses every write, as a platform without the right to write there does.
class RefusingProfile : public platform::PrivateProfileApi {
 public:
  uint32_t GetPrivateProfileStringA(const char*, const char*, const char* fallback, char* out,
                                    uint32_t size, const char*) override {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(std::strlen(fallback), size - 1));
    std::memcpy(out, fallback, n);
    out[n] = '\0';
    return n;
  }
  bool WritePrivateProfileStringA(const char*, const char*, const char*, const char*) override {
    ++writes;
    return false;
  }
  bool WritePrivateProfileSectionA(const char*, const char*, const char*) override {
    ++writes;
    return false;
  }
  std::string ProfilePath(const char* name) override { return std::string("/windows/") + name; }
  int writes = 0;
};

}  // namespace

// --- Reading and writing values ---------------------------------------------------------------

TEST_F(IniFile, StringsAndIntegersRoundTrip) {
  ini_.WriteString("CurrentHosts", "Host0", "time.example.org");
  ini_.WriteInteger("CurrentHosts", "Count", 1);
  ini_.WriteInteger("CurrentHosts", "CurrentInx", -1);
  EXPECT_EQ(ini_.ReadString("CurrentHosts", "Host0", ""), "time.example.org");
  EXPECT_EQ(ini_.ReadInteger("CurrentHosts", "Count", 0), 1);
  EXPECT_EQ(ini_.ReadInteger("CurrentHosts", "CurrentInx", 0), -1);
  EXPECT_EQ(SettingsText(), "[CurrentHosts]\nHost0=time.example.org\nCount=1\nCurrentInx=-1\n");
}

TEST_F(IniFile, NamesMatchWithoutRegardToCaseAndTheFirstMatchWins) {
  WriteSettings("[currenthosts]\ncount=3\nCOUNT=9\n[CurrentHosts]\nCount=7\n");
  EXPECT_EQ(ini_.ReadInteger("CurrentHosts", "Count", 0), 3);
  ini_.WriteInteger("CURRENTHOSTS", "Count", 4);
  EXPECT_EQ(SettingsText(), "[currenthosts]\ncount=4\nCOUNT=9\n[CurrentHosts]\nCount=7\n");
}

TEST_F(IniFile, ValuesAreNotUnquoted) {
  WriteSettings("[S]\nHost=\"quoted.example\"\n");
  EXPECT_EQ(ini_.ReadString("S", "Host", ""), "\"quoted.example\"");
}

TEST_F(IniFile, MissingKeysReadAsTheirDefaults) {
  // Count 3 with only the keys for the first and the third host.
  WriteSettings("[CurrentHosts]\nCount=3\nHost0=a.example\nHost2=c.example\n");
  EXPECT_EQ(ini_.ReadInteger("CurrentHosts", "Count", 0), 3);
  EXPECT_EQ(ini_.ReadString("CurrentHosts", "Host0", ""), "a.example");
  EXPECT_EQ(ini_.ReadString("CurrentHosts", "Host1", ""), "");
  EXPECT_EQ(ini_.ReadString("CurrentHosts", "Host2", ""), "c.example");
  EXPECT_EQ(ini_.ReadInteger("CurrentHosts", "CurrentInx", -1), -1);
}

TEST_F(IniFile, AMissingFileReadsAsDefaults) {
  EXPECT_EQ(ini_.ReadInteger("CurrentHosts", "Count", 0), 0);
  EXPECT_FALSE(ini_.SectionExists("CurrentHosts"));
  EXPECT_EQ(SettingsText(), "<missing>");
}

TEST_F(IniFile, IntegersThatDoNotReadGiveTheDefault) {
  WriteSettings("[S]\nText=twelve\nEmpty=\nHex=0x1F\nDollar=$10\nHuge=99999999999\n");
  EXPECT_EQ(ini_.ReadInteger("S", "Text", -5), -5);
  EXPECT_EQ(ini_.ReadInteger("S", "Empty", -5), -5);
  EXPECT_EQ(ini_.ReadInteger("S", "Hex", 0), 31);
  EXPECT_EQ(ini_.ReadInteger("S", "Dollar", 0), 16);
  EXPECT_EQ(ini_.ReadInteger("S", "Huge", -5), -5);
}

TEST_F(IniFile, LongValuesAreReadWhole) {
  const std::string longHost(5000, 'h');
  ini_.WriteString("S", "Host", longHost);
  EXPECT_EQ(ini_.ReadString("S", "Host", ""), longHost);
}

TEST_F(IniFile, ListsAndExistence) {
  WriteSettings("[One]\nA=1\nB=2\n[Two]\n");
  framework::TStringList names;
  ini_.ReadSections(names);
  EXPECT_EQ(names, (framework::TStringList{"One", "Two"}));
  ini_.ReadSection("one", names);
  EXPECT_EQ(names, (framework::TStringList{"A", "B"}));
  EXPECT_TRUE(ini_.SectionExists("TWO"));
  EXPECT_TRUE(ini_.ValueExists("One", "b"));
  EXPECT_FALSE(ini_.ValueExists("Two", "A"));
}

TEST_F(IniFile, EraseSectionRemovesAllItsKeys) {
  WriteSettings("[Other]\nX=1\n[CurrentHosts]\nCount=2\nHost0=a\nHost1=b\n");
  ini_.EraseSection("CurrentHosts");
  EXPECT_FALSE(ini_.SectionExists("CurrentHosts"));
  EXPECT_EQ(ini_.ReadInteger("CurrentHosts", "Count", 0), 0);
  EXPECT_EQ(ini_.ReadInteger("Other", "X", 0), 1);
  ini_.DeleteKey("Other", "X");
  EXPECT_FALSE(ini_.ValueExists("Other", "X"));
}

TEST_F(IniFile, BareNamesLiveInTheConfigurationFolder) {
  EXPECT_EQ(ini_.FileName(), "Horatune.ini");
  EXPECT_EQ(ini_.FilePath(), SettingsPath());
}

// --- Replacing a section in one step ----------------------------------------------------------

TEST_F(IniFile, ReplaceSectionLeavesExactlyTheNewKeysInTheirOrder) {
  WriteSettings(
      "[Keep]\nA=1\n\n[CurrentHosts]\nCount=3\nHost0=a\nHost1=b\nHost2=c\nCurrentInx=2\n");
  ini_.ReplaceSection(
      "CurrentHosts",
      {{"Count", "2"}, {"Host0", "x.example"}, {"Host1", "y.example"}, {"CurrentInx", "1"}});
  EXPECT_EQ(SettingsText(),
            "[Keep]\nA=1\n\n[CurrentHosts]\nCount=2\nHost0=x.example\nHost1=y.example\n"
            "CurrentInx=1\n");
  EXPECT_FALSE(ini_.ValueExists("CurrentHosts", "Host2"));
}

TEST_F(IniFile, ReplaceSectionWithNothingLeavesAnEmptySection) {
  WriteSettings("[CurrentHosts]\nCount=1\nHost0=a\n");
  ini_.ReplaceSection("CurrentHosts", {});
  framework::TStringList names;
  ini_.ReadSection("CurrentHosts", names);
  EXPECT_TRUE(names.empty());
}

TEST_F(IniFile, AReplacementThatCannotBeWrittenLeavesTheOldFileAndSaysWhere) {
  const QByteArray old = "[CurrentHosts]\nCount=2\nHost0=a.example\nHost1=b.example\n";
  WriteSettings(old);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 16;  // bytes: too few for the new contents
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  try {
    ini_.ReplaceSection("CurrentHosts", {{"Count", "1"}, {"Host0", "c.example"}});
  } catch (const EIniFileException& e) {
    message = e.Message();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(message, "Unable to write to " + SettingsPath());
  EXPECT_EQ(SettingsText(), old);
}

TEST_F(IniFile, AReadOnlyFileOrAKeyThatWouldNotReadBackIsRefusedAndTheFileKept) {
  const QByteArray old = "[CurrentHosts]\nCount=1\nHost0=a.example\n";
  WriteSettings(old);
  auto messageOf = [](auto&& write) {
    try {
      write();
    } catch (const EIniFileException& e) {
      return e.Message();
    }
    return std::string("no exception");
  };
  const std::string expected = "Unable to write to " + SettingsPath();
  EXPECT_EQ(messageOf([&] { ini_.WriteString("CurrentHosts", "[Injected]", "x"); }), expected);
  EXPECT_EQ(messageOf([&] { ini_.WriteString("CurrentHosts", " Host0", "x"); }), expected);
  EXPECT_EQ(messageOf([&] { ini_.ReplaceSection("CurrentHosts", {{"[Count", "1"}}); }), expected);
  // "C=ount=1" would read back as the key "C".
  EXPECT_EQ(messageOf([&] { ini_.ReplaceSection("CurrentHosts", {{"C=ount", "1"}}); }), expected);
  // A U+0000 would cut the name or value short and write another one.
  const std::string zero("ntp\0.org", 8);
  EXPECT_EQ(messageOf([&] { ini_.WriteString("CurrentHosts", "Host0", zero); }), expected);
  EXPECT_EQ(messageOf([&] { ini_.WriteString("CurrentHosts", zero, "x"); }), expected);
  EXPECT_EQ(messageOf([&] { ini_.WriteString(zero, "Host0", "x"); }), expected);
  EXPECT_EQ(messageOf([&] { ini_.ReplaceSection(zero, {{"Count", "1"}}); }), expected);
  EXPECT_EQ(messageOf([&] { ini_.ReplaceSection("CurrentHosts", {{"Host0", zero}}); }), expected);
  EXPECT_EQ(messageOf([&] { ini_.DeleteKey("CurrentHosts", zero); }), expected);
  EXPECT_EQ(messageOf([&] { ini_.EraseSection(zero); }), expected);
  EXPECT_EQ(SettingsText(), old);

  // Read-only for everyone: root, as CI runs the suite, is refused too.
  ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(SettingsPath()),
                                    QFile::ReadOwner | QFile::ReadGroup));
  EXPECT_EQ(messageOf([&] {
              ini_.ReplaceSection("CurrentHosts", {{"Count", "1"}, {"Host0", "b.example"}});
            }),
            expected);
  EXPECT_EQ(messageOf([&] { ini_.EraseSection("CurrentHosts"); }), expected);
  EXPECT_EQ(SettingsText(), old);
  EXPECT_EQ(ini_.ReadString("CurrentHosts", "Host0", ""), "a.example");
}

TEST_F(IniFile, AnUnwritableLocationRaisesWithTheFilePath) {
  QFile blocker(dir_.path() + "/blocker");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const std::string path = (dir_.path() + "/blocker/Horatune.ini").toStdString();
  TIniFile ini(path);
  try {
    ini.WriteInteger("CurrentHosts", "Count", 1);
    FAIL() << "the write went through";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + path);
  }
  EXPECT_THROW(ini.EraseSection("CurrentHosts"), EIniFileException);
  EXPECT_THROW(ini.ReplaceSection("CurrentHosts", {{"Count", "0"}}), EIniFileException);
}

TEST(IniFileRefused, EveryKindOfWriteRaisesTheFrameworkException) {
  RefusingProfile refusing;
  platform::ScopedOverride<platform::PrivateProfileApi> use(refusing);
  TIniFile ini("Horatune.ini");
  const std::string expected = "Unable to write to /windows/Horatune.ini";
  auto messageOf = [](auto&& write) {
    try {
      write();
    } catch (const framework::Exception& e) {
      return e.Message();
    }
    return std::string("<nothing raised>");
  };
  EXPECT_EQ(messageOf([&] { ini.WriteString("S", "K", "v"); }), expected);
  EXPECT_EQ(messageOf([&] { ini.WriteInteger("S", "K", 1); }), expected);
  EXPECT_EQ(messageOf([&] { ini.EraseSection("S"); }), expected);
  EXPECT_EQ(messageOf([&] { ini.DeleteKey("S", "K"); }), expected);
  EXPECT_EQ(messageOf([&] { ini.ReplaceSection("S", {{"K", "v"}}); }), expected);
  EXPECT_EQ(refusing.writes, 5);
  EXPECT_EQ(ini.ReadInteger("S", "K", 42), 42);
}
