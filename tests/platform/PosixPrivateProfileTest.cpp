#include "platform/posix/PosixPrivateProfile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <grp.h>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <string>

#include "platform/LastError.h"
#include "platform/posix/FileReplace.h"

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

TEST_F(PrivateProfile, AnEmptyNameIsLeftOutOfItsListSoTheRestStayListed) {
  // A list of names ends at an empty one: "[]" or "=v" listed first would hide all after it.
  WriteFile(kName, "[]\nA=1\n=0\nB=2\n[Two]\nC=3\n");
  EXPECT_EQ(List(nullptr), "Two");
  EXPECT_EQ(List(""), "A|B");
  EXPECT_EQ(Get("", "A"), "1");  // still found by its name
  EXPECT_EQ(Get("", ""), "0");
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

TEST_F(PrivateProfile, ReadingKeyAfterKeyParsesAnUnchangedFileOnce) {
  // The start-up reads a thousand hosts one key at a time, among many other keys.
  std::string text = "[Other]\n";
  for (int i = 0; i < 4000; ++i) text += "Extra" + std::to_string(i) + "=x\n";
  text += "[CurrentHosts]\nCount=1000\n";
  for (int i = 0; i < 1000; ++i)
    text += "Host" + std::to_string(i) + "=h" + std::to_string(i) + ".example\n";
  text += "CurrentInx=999\n";
  WriteFile(kName, text);
  EXPECT_EQ(Get("CurrentHosts", "Count"), "1000");
  for (int i = 0; i < 1000; ++i) {
    const std::string key = "Host" + std::to_string(i);
    ASSERT_EQ(Get("currenthosts", key.c_str()), "h" + std::to_string(i) + ".example");
  }
  EXPECT_EQ(Get("CurrentHosts", "CurrentInx"), "999");
  EXPECT_EQ(Get("Other", "Extra3999"), "x");
  EXPECT_EQ(profile_.FileParses(), 1u);

  // A write shows in the next read.
  ASSERT_TRUE(profile_.WritePrivateProfileStringA("CurrentHosts", "Host5", "new.example", kName));
  EXPECT_EQ(Get("CurrentHosts", "Host5"), "new.example");
  EXPECT_EQ(Get("CurrentHosts", "Host6"), "h6.example");
  EXPECT_EQ(profile_.FileParses(), 2u);
}

TEST_F(PrivateProfile, AFileChangedByAnotherProgramIsReadAgain) {
  WriteFile(kName, "[S]\nK=one\n");
  EXPECT_EQ(Get("S", "K"), "one");
  // Replaced beside, as editors save: another file under the same name.
  WriteFile("beside.ini", "[S]\nK=two\nL=2\n");
  ASSERT_EQ(::rename(PathOf("beside.ini").c_str(), PathOf(kName).c_str()), 0);
  EXPECT_EQ(Get("S", "K"), "two");
  // Rewritten in place, to the same length, at once, again and again: the file's times often
  // do not move on between a read and the next change, and every change must show all the same.
  for (int i = 0; i < 200; ++i) {
    const std::string value = std::to_string(100 + i);
    const int fd = ::open(PathOf(kName).c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::string text = "[S]\nK=" + value + "\nL=2\n";
    ASSERT_EQ(::pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    ::close(fd);
    ASSERT_EQ(Get("S", "K"), value) << "change " << i;
  }
  // Gone: the default again.
  ASSERT_EQ(::unlink(PathOf(kName).c_str()), 0);
  EXPECT_EQ(Get("S", "K", "none"), "none");
}

TEST_F(PrivateProfile, OnlyAsciiLettersFoldAndLaterDuplicatesStayListed) {
  WriteFile(kName, "[Größe]\nKey=1\nkey=2\nÄ=3\n[GRÖSSE]\nKey=4\n[größe]\nKey=5\n[GRÖßE]\nKey=6\n");
  EXPECT_EQ(Get("gRößE", "KEY"), "1");           // the ASCII letters of either name fold
  EXPECT_EQ(Get("gRÖßE", "KEY"), "6");           // but Ö is not ö: another section
  EXPECT_EQ(Get("Größe", "ä", "none"), "none");  // other letters are compared as they are
  EXPECT_EQ(Get("GRÖSSE", "Key"), "4");
  EXPECT_EQ(List("größe"), "Key|key|Ä");  // the first section, every key line in order
  EXPECT_EQ(List(nullptr), "Größe|GRÖSSE|größe|GRÖßE");
}

TEST_F(PrivateProfile, AFileTooLargeToBeSettingsReadsAsMissingAndIsNotReplaced) {
  WriteFile(kName, "[CurrentHosts]\nCount=1\n");
  ASSERT_EQ(::truncate(PathOf(kName).c_str(),
                       static_cast<off_t>(platform::PosixPrivateProfile::kMaxFileSize + 1)),
            0);
  EXPECT_EQ(Get("CurrentHosts", "Count", "0"), "0");
  platform::SetLastError(0);
  EXPECT_FALSE(profile_.WritePrivateProfileStringA("CurrentHosts", "Count", "2", kName));
  EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EFBIG));
  struct stat status {};
  ASSERT_EQ(::stat(PathOf(kName).c_str(), &status), 0);
  EXPECT_EQ(static_cast<uint64_t>(status.st_size), platform::PosixPrivateProfile::kMaxFileSize + 1);
  EXPECT_EQ(FileText(kName).substr(0, 23), "[CurrentHosts]\nCount=1\n");
}

TEST_F(PrivateProfile, APipeInPlaceOfTheFileDoesNotHoldReadingUp) {
  QDir().mkpath(QString::fromStdString(Folder()));
  ASSERT_EQ(::mkfifo(PathOf(kName).c_str(), 0600), 0);
  EXPECT_EQ(Get("CurrentHosts", "Count", "0"), "0");  // waits for no writer
  EXPECT_FALSE(profile_.WritePrivateProfileStringA("CurrentHosts", "Count", "2", kName));
  struct stat status {};
  ASSERT_EQ(::lstat(PathOf(kName).c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
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
  EXPECT_FALSE(profile_.WritePrivateProfileStringA("S", "K", "x\r[Injected]", kName));
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

TEST_F(PrivateProfile, NamesThatWouldNotReadBackAsThemselvesAreRefused) {
  const std::string old = "[S]\nK=v\n";
  WriteFile(kName, old);
  struct Case {
    const char* section;
    const char* key;
  };
  for (const Case& c : {Case{"S", "[Injected"}, Case{"S", "[Injected]"}, Case{"S", " K"},
                        Case{"S", "K "}, Case{"S", "K\t"}, Case{"S", "a=b"}, Case{"S", "K\r"},
                        Case{" S", "K"}, Case{"S ", "K"}, Case{"S\n", "K"}, Case{"S]", "K"}}) {
    SCOPED_TRACE(std::string(c.section) + "|" + c.key);
    platform::SetLastError(0);
    EXPECT_FALSE(profile_.WritePrivateProfileStringA(c.section, c.key, "v2", kName));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EINVAL));
  }
  EXPECT_FALSE(profile_.WritePrivateProfileStringA(" S", nullptr, nullptr, kName));
  for (const char* entries :
       {"A=1\0[B=2\0", "A=1\0 B=2\0", "A=1\0B =2\0", "A=1\0B\n=2\0", "A=1\0=2\0"}) {
    SCOPED_TRACE(entries);
    platform::SetLastError(0);
    EXPECT_FALSE(profile_.WritePrivateProfileSectionA("S", entries, kName));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EINVAL));
  }
  EXPECT_FALSE(profile_.WritePrivateProfileSectionA("S ", "A=1\0", kName));
  EXPECT_EQ(FileText(kName), old);

  // What does read back as written is taken.
  for (const char* key : {";K", "K]", "K[", "Key with blanks", "K;x"}) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(profile_.WritePrivateProfileStringA("S", key, "w", kName));
    EXPECT_EQ(Get("S", key), "w");
  }
  ASSERT_TRUE(profile_.WritePrivateProfileSectionA("[Odd", "A[=1\0", kName));
  EXPECT_EQ(Get("[Odd", "A["), "1");
}

TEST_F(PrivateProfile, AReadOnlyFileIsRefusedEvenToRootAndStaysAsItWas) {
  const std::string old = "; the user's own\n[CurrentHosts]\nCount=1\nHost0=a\n";
  WriteFile(kName, old);
  ASSERT_EQ(::chmod(PathOf(kName).c_str(), 0444), 0);
  platform::SetLastError(0);
  EXPECT_FALSE(profile_.WritePrivateProfileStringA("CurrentHosts", "Count", "2", kName));
  EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EACCES));
  EXPECT_FALSE(profile_.WritePrivateProfileSectionA("CurrentHosts", "Count=0\0", kName));
  EXPECT_FALSE(profile_.WritePrivateProfileStringA("CurrentHosts", nullptr, nullptr, kName));
  EXPECT_EQ(FileText(kName), old);
  struct stat status {};
  ASSERT_EQ(::stat(PathOf(kName).c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0444u);
  EXPECT_EQ(Get("CurrentHosts", "Host0"), "a");  // and it still reads
  // A write bit for anyone makes it writable again, for whoever that bit lets write.
  ASSERT_EQ(::chmod(PathOf(kName).c_str(), 0644), 0);
  EXPECT_TRUE(profile_.WritePrivateProfileStringA("CurrentHosts", "Count", "2", kName));
}

namespace {

constexpr uid_t kNobody = 65534;

// Runs `write` in a child process that has given up root for user and group "nobody" (65534),
// and gives the last error it left (0 when it succeeded); -1 when that cannot be arranged.
template <class Write>
int AsNobody(Write write) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
      ::_exit(255);
    ::_exit(write() ? 0 : static_cast<int>(std::min<uint32_t>(platform::GetLastError(), 254)));
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

}  // namespace

TEST_F(PrivateProfile, ReplacingKeepsTheOwnerWhoeverWrites) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user";
  // The user's file, saved by root (a program run with sudo and the user's home).
  const std::string old = "[CurrentHosts]\nCount=0\n";
  WriteFile(kName, old);
  ASSERT_EQ(::chown(PathOf(kName).c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chmod(PathOf(kName).c_str(), 0640), 0);
  ASSERT_TRUE(profile_.WritePrivateProfileSectionA("CurrentHosts", "Count=1\0Host0=a\0", kName));
  struct stat status {};
  ASSERT_EQ(::stat(PathOf(kName).c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, kNobody);
  EXPECT_EQ(status.st_gid, kNobody);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(FileText(kName), "[CurrentHosts]\nCount=1\nHost0=a\n");
}

TEST_F(PrivateProfile, AFileTheWriterMayNotWriteIsRefusedThoughItsFolderIsOpen) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  // A folder anyone may write to, so that only the file's own permissions stand in the way.
  ASSERT_EQ(::chmod(dir_.path().toLocal8Bit().constData(), 0777), 0);
  QDir().mkpath(QString::fromStdString(Folder()));
  ASSERT_EQ(::chmod(Folder().c_str(), 0777), 0);
  const std::string old = "[CurrentHosts]\nCount=1\nHost0=root.example\n";
  WriteFile(kName, old);
  ASSERT_EQ(::chmod(PathOf(kName).c_str(), 0644), 0);  // root's, readable by all

  const int error = AsNobody(
      [&] { return profile_.WritePrivateProfileStringA("CurrentHosts", "Count", "0", kName); });
  ASSERT_NE(error, -1);
  EXPECT_EQ(error, EACCES);
  EXPECT_EQ(FileText(kName), old);

  // Writable through its group, but replacing it would make it the writer's: refused too.
  ASSERT_EQ(::chown(PathOf(kName).c_str(), 0, kNobody), 0);
  ASSERT_EQ(::chmod(PathOf(kName).c_str(), 0664), 0);
  const int ownerError = AsNobody(
      [&] { return profile_.WritePrivateProfileStringA("CurrentHosts", "Count", "0", kName); });
  EXPECT_EQ(ownerError, EPERM);
  EXPECT_EQ(FileText(kName), old);
  struct stat status {};
  ASSERT_EQ(::stat(PathOf(kName).c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 0u);
  // Nothing is left beside it.
  EXPECT_EQ(QDir(QString::fromStdString(Folder())).entryList(QDir::Files | QDir::Hidden),
            QStringList{kName});

  // A file of its own in that folder the other user does replace.
  const std::string own = PathOf("own.ini");
  const int ownError =
      AsNobody([&] { return profile_.WritePrivateProfileStringA("S", "K", "v", own.c_str()); });
  EXPECT_EQ(ownError, 0);
  ASSERT_EQ(::stat(own.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, kNobody);
}

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
