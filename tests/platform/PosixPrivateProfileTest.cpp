#include "platform/posix/PosixPrivateProfile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <string>

#include "platform/LastError.h"

namespace {

class PrivateProfile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  std::string Folder() const { return (dir_.path() + "/config").toStdString(); }
  std::string PathOf(const char* name) const { return Folder() + "/" + name; }

  void WriteFile(const char* name, const std::string& text) {
    QDir().mkpath(QString::fromStdString(Folder()));
    QFile f(QString::fromStdString(PathOf(name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
  }

  std::string FileText(const char* name) const {
    QFile f(QString::fromStdString(PathOf(name)));
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
  }

  std::string Get(const char* section, const char* key, const char* fallback = "") {
    char buffer[256];
    const uint32_t n =
        profile_.GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer, kName);
    EXPECT_EQ(n, std::string(buffer).size());
    return buffer;
  }

  // A list answer as names joined by '|'.
  std::string List(const char* section, uint32_t size = 256, uint32_t* count = nullptr) {
    std::string buffer(size, '#');
    const uint32_t n =
        profile_.GetPrivateProfileStringA(section, nullptr, "", buffer.data(), size, kName);
    if (count) *count = n;
    std::string joined;
    for (const char* e = buffer.data(); *e != '\0'; e += std::strlen(e) + 1)
      joined += (joined.empty() ? "" : "|") + std::string(e);
    return joined;
  }

  static constexpr const char* kName = "Horatune.ini";
  QTemporaryDir dir_;
  platform::PosixPrivateProfile profile_{Folder()};
};

}  // namespace

// --- Reading ----------------------------------------------------------------------------------

TEST_F(PrivateProfile, MissingFileGivesTheDefaultWithoutTrailingBlanks) {
  EXPECT_EQ(Get("CurrentHosts", "Count", "0  "), "0");
  EXPECT_EQ(Get("CurrentHosts", "Count", nullptr), "");
  EXPECT_EQ(FileText(kName), "<missing>");  // reading creates nothing
}

TEST_F(PrivateProfile, NamesMatchWithoutRegardToCase) {
  WriteFile(kName, "[CurrentHosts]\nCount=2\nHOST0=alpha\n");
  EXPECT_EQ(Get("currenthosts", "COUNT"), "2");
  EXPECT_EQ(Get("CURRENTHOSTS", "host0"), "alpha");
}

TEST_F(PrivateProfile, FirstSectionAndFirstKeyOfANameWin) {
  WriteFile(kName, "[Hosts]\nA=first\nA=second\n[hosts]\nA=third\nB=only-later\n");
  EXPECT_EQ(Get("Hosts", "A"), "first");
  // The later section of the same name is not looked at.
  EXPECT_EQ(Get("Hosts", "B", "none"), "none");
}

TEST_F(PrivateProfile, ValuesAreTakenAsTheyStandWithoutQuoting) {
  WriteFile(kName,
            "[S]\nQuoted=\"time.example.org\"\nSingle='x'\n  Spaced  =  a b  \nEq=a=b\n;C=d\n");
  EXPECT_EQ(Get("S", "Quoted"), "\"time.example.org\"");
  EXPECT_EQ(Get("S", "Single"), "'x'");
  EXPECT_EQ(Get("S", "Spaced"), "a b");  // blanks around names and values do not count
  EXPECT_EQ(Get("S", "Eq"), "a=b");      // the first '=' ends the name
}

TEST_F(PrivateProfile, WindowsLineEndsReadAsLineEnds) {
  WriteFile(kName, "[S]\r\nK=v\r\n");
  EXPECT_EQ(Get("S", "K"), "v");
}

TEST_F(PrivateProfile, ListsSectionsAndKeys) {
  WriteFile(kName, "[One]\nA=1\nB=2\n\n[Two]\nC=3\n");
  EXPECT_EQ(List(nullptr), "One|Two");
  EXPECT_EQ(List("one"), "A|B");
  EXPECT_EQ(List("Missing"), "");
}

TEST_F(PrivateProfile, AnswersThatDoNotFitAreCutAndSaySo) {
  WriteFile(kName, "[S]\nK=0123456789\nLonger=x\n");
  char small[5];
  EXPECT_EQ(profile_.GetPrivateProfileStringA("S", "K", "", small, sizeof small, kName), 4u);
  EXPECT_STREQ(small, "0123");
  uint32_t n = 0;
  List("S", 6, &n);
  EXPECT_EQ(n, 4u);  // size - 2
}

// --- Writing ----------------------------------------------------------------------------------

TEST_F(PrivateProfile, WritesTheHostSectionInThePlainFormat) {
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("CurrentHosts", "Count", "2", kName));
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("CurrentHosts", "Host0", "a.example", kName));
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("CurrentHosts", "Host1", "b.example", kName));
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("CurrentHosts", "CurrentInx", "1", kName));
  EXPECT_EQ(FileText(kName),
            "[CurrentHosts]\nCount=2\nHost0=a.example\nHost1=b.example\nCurrentInx=1\n");
  EXPECT_EQ(Get("CurrentHosts", "Host1"), "b.example");
}

TEST_F(PrivateProfile, ChangesTheFirstMatchInPlaceInItsSpellingAndKeepsEverythingElse) {
  WriteFile(kName, "; kept\n[One]\nA=1\n\n[Two]\nb=2\n");
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("TWO", "B", "20", kName));
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("One", "New", "x", kName));
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("Three", "C", "3", kName));
  EXPECT_EQ(FileText(kName), "; kept\n[One]\nA=1\nNew=x\n\n[Two]\nb=20\n\n[Three]\nC=3\n");
}

TEST_F(PrivateProfile, NullValueDeletesTheKeyAndNullKeyTheSection) {
  WriteFile(kName, "[One]\nA=1\nB=2\n[Two]\nC=3\n");
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("one", "a", nullptr, kName));
  EXPECT_EQ(FileText(kName), "[One]\nB=2\n[Two]\nC=3\n");
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("ONE", nullptr, nullptr, kName));
  EXPECT_EQ(FileText(kName), "[Two]\nC=3\n");
}

TEST_F(PrivateProfile, SectionReplacementLeavesExactlyTheGivenKeys) {
  WriteFile(kName,
            "[Before]\nX=1\n\n[Hosts]\nCount=3\nHost0=a\nHost1=b\nHost2=c\n\n[After]\nY=2\n");
  const char keyValues[] = "Count=1\0Host0=z\0CurrentInx=0\0";
  ASSERT_TRUE(profile_.WritePrivateProfileSectionA("hosts", keyValues, kName));
  EXPECT_EQ(FileText(kName),
            "[Before]\nX=1\n\n[Hosts]\nCount=1\nHost0=z\nCurrentInx=0\n\n[After]\nY=2\n");
  ASSERT_TRUE(profile_.WritePrivateProfileSectionA("New", "K=v\0", kName));
  EXPECT_EQ(Get("New", "K"), "v");
}

TEST_F(PrivateProfile, ABareNameLivesInTheConfigurationFolderWhichIsMadeWhenMissing) {
  EXPECT_EQ(profile_.ProfilePath(kName), PathOf(kName));
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("S", "K", "v", kName));
  EXPECT_EQ(FileText(kName), "[S]\nK=v\n");
  const std::string elsewhere = dir_.path().toStdString() + "/other.ini";
  EXPECT_EQ(profile_.ProfilePath(elsewhere.c_str()), elsewhere);
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("S", "K", "w", elsewhere.c_str()));
  EXPECT_TRUE(QFile::exists(QString::fromStdString(elsewhere)));
}

TEST_F(PrivateProfile, ReplacingKeepsThePermissionsAndTheLinkedFile) {
  WriteFile("real.ini", "[S]\nK=1\n");
  ASSERT_EQ(::chmod(PathOf("real.ini").c_str(), 0600), 0);
  ASSERT_EQ(::symlink(PathOf("real.ini").c_str(), PathOf(kName).c_str()), 0);
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("S", "K", "2", kName));
  EXPECT_EQ(FileText("real.ini"), "[S]\nK=2\n");
  struct stat link {};
  ASSERT_EQ(::lstat(PathOf(kName).c_str(), &link), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  struct stat real {};
  ASSERT_EQ(::stat(PathOf("real.ini").c_str(), &real), 0);
  EXPECT_EQ(real.st_mode & 07777, 0600u);
}

TEST_F(PrivateProfile, TextsThatWouldBreakTheirLineAreRefused) {
  WriteFile(kName, "[S]\nK=v\n");
  platform::SetLastError(0);
  EXPECT_FALSE(profile_.WritePrivateProfileStringA("S", "K", "x\n[Injected]\nA=1", kName));
  EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EINVAL));
  EXPECT_FALSE(profile_.WritePrivateProfileStringA("S", "K=2", "v", kName));
  EXPECT_FALSE(profile_.WritePrivateProfileStringA("S]x", "K", "v", kName));
  EXPECT_FALSE(profile_.WritePrivateProfileSectionA("S", "A=1\0B=2\nC=3\0", kName));
  EXPECT_FALSE(profile_.WritePrivateProfileSectionA("S", "NoValueSign\0", kName));
  EXPECT_EQ(FileText(kName), "[S]\nK=v\n");
  // '=' is fine inside a value.
  EXPECT_TRUE(profile_.WritePrivateProfileStringA("S", "K", "a=b", kName));
  EXPECT_EQ(Get("S", "K"), "a=b");
}

// --- Refused writes ---------------------------------------------------------------------------

TEST_F(PrivateProfile, AFolderThatCannotBeMadeRefusesTheWrite) {
  // A regular file where the configuration folder should be: no one, root included, can
  // make a folder below it.
  const std::string blocker = dir_.path().toStdString() + "/blocker";
  QFile f(QString::fromStdString(blocker));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  platform::PosixPrivateProfile blocked(blocker + "/config");
  platform::SetLastError(0);
  EXPECT_FALSE(blocked.WritePrivateProfileStringA("S", "K", "v", kName));
  EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(ENOTDIR));
}

TEST_F(PrivateProfile, AWriteThatFailsHalfwayLeavesTheOldFileWhole) {
  const std::string old = "[CurrentHosts]\nCount=1\nHost0=a\n";
  WriteFile(kName, old);
  // A file size limit makes the write of the new contents fail partway, even for root.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 16;  // bytes
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = profile_.WritePrivateProfileStringA("CurrentHosts", "Host1",
                                                           "a-long-host-name.example.org", kName);
  const uint32_t error = platform::GetLastError();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(error, static_cast<uint32_t>(EFBIG));
  EXPECT_EQ(FileText(kName), old);
  // Nothing is left beside it.
  EXPECT_EQ(QDir(QString::fromStdString(Folder())).entryList(QDir::Files | QDir::Hidden),
            QStringList{kName});
}

// --- Where the user's files live --------------------------------------------------------------

TEST(UserConfigFolder, IsQtsWritableConfigurationLocation) {
  const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
  const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());

  qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
  EXPECT_EQ(QString::fromStdString(platform::PosixPrivateProfile::UserConfigFolder()),
            QStandardPaths::writableLocation(QStandardPaths::ConfigLocation));
  EXPECT_EQ(platform::PosixPrivateProfile::UserConfigFolder(), dir.path().toStdString());

  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(QString::fromStdString(platform::PosixPrivateProfile::UserConfigFolder()),
            QStandardPaths::writableLocation(QStandardPaths::ConfigLocation));

  // A relative setting would make the file move with the working folder; it is ignored, as
  // the XDG rules say, and the home folder's .config is used.
  qputenv("XDG_CONFIG_HOME", "relative/config");
  EXPECT_EQ(platform::PosixPrivateProfile::UserConfigFolder(),
            QDir::homePath().toStdString() + "/.config");

  if (hadXdg)
    qputenv("XDG_CONFIG_HOME", savedXdg);
  else
    qunsetenv("XDG_CONFIG_HOME");
}
