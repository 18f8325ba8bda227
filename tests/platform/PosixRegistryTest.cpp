#include "platform/posix/PosixRegistry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

using namespace platform;

namespace {

constexpr const char* kClientKey =
    "\\SYSTEM\\ControlSet001\\services\\W32Time\\TimeProviders\\NtpClient";

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString Root() const { return dir_.path(); }
  QString DropIn() const { return Root() + PosixRegistry::kDropInFile; }

  void WriteFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(Root() + path).path());
    QFile f(Root() + path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }

  QByteArray FileText(const QString& path) const {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }

  HKEY Open(REGSAM access, const char* path = kClientKey) {
    HKEY key = nullptr;
    EXPECT_EQ(registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key), ERROR_SUCCESS);
    return key;
  }

  // The poll interval as the registry gives it, or a failure's number negated.
  long long Interval(HKEY key) {
    uint32_t type = 99, value = 0, size = sizeof value;
    const uint32_t r = registry_.RegQueryValueExA(key, "SpecialPollInterval", &type,
                                                  reinterpret_cast<uint8_t*>(&value), &size);
    if (r != ERROR_SUCCESS) return -static_cast<long long>(r);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    return value;
  }

  uint32_t SetInterval(HKEY key, uint32_t seconds) {
    return registry_.RegSetValueExA(key, "SpecialPollInterval", REG_DWORD,
                                    reinterpret_cast<const uint8_t*>(&seconds), 4);
  }

  QTemporaryDir dir_;
  PosixRegistry registry_{dir_.path().toStdString()};
};

}  // namespace

// --- Reading what the service uses ------------------------------------------------------------

TEST_F(Registry, WithNothingConfiguredTheServicesDefaultIsRead) {
  HKEY key = Open(KEY_READ);
  EXPECT_EQ(Interval(key), 2048);
  EXPECT_EQ(registry_.RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(FileText(DropIn()), "<missing>");  // reading writes nothing
}

TEST_F(Registry, WithoutAValueOfOursTheServicesConfigurationIsRead) {
  WriteFile("/etc/systemd/timesyncd.conf", "[Time]\n#PollIntervalMaxSec=2048\n");
  HKEY key = Open(KEY_READ);
  EXPECT_EQ(Interval(key), 2048);
  WriteFile("/etc/systemd/timesyncd.conf", "[Time]\nPollIntervalMaxSec=1024\n");
  EXPECT_EQ(Interval(key), 1024);
  WriteFile("/usr/lib/systemd/timesyncd.conf.d/50-vendor.conf",
            "[Time]\nPollIntervalMaxSec=34min\n");
  EXPECT_EQ(Interval(key), 2040);
  // A value the service cannot read is skipped; the one before stays.
  WriteFile("/etc/systemd/timesyncd.conf.d/90-broken.conf", "[Time]\nPollIntervalMaxSec=often\n");
  EXPECT_EQ(Interval(key), 2040);
  registry_.RegCloseKey(key);
}

TEST_F(Registry, TheKeyIsFoundByEitherControlSetNameInAnyCase) {
  WriteFile("/etc/systemd/timesyncd.conf", "[Time]\nPollIntervalMaxSec=512\n");
  HKEY a = Open(KEY_READ, "system\\currentcontrolset\\SERVICES\\w32time\\TimeProviders\\ntpclient");
  EXPECT_EQ(Interval(a), 512);
  HKEY base = Open(KEY_READ, "\\SYSTEM\\ControlSet001\\services");
  HKEY b = nullptr;
  ASSERT_EQ(registry_.RegOpenKeyExA(base, "W32Time\\TimeProviders\\NtpClient", 0, KEY_READ, &b),
            ERROR_SUCCESS);
  EXPECT_EQ(Interval(b), 512);
  for (HKEY k : {a, base, b}) EXPECT_EQ(registry_.RegCloseKey(k), ERROR_SUCCESS);
}

TEST_F(Registry, SizeQueriesAndSmallBuffers) {
  HKEY key = Open(KEY_READ);
  uint32_t type = 0, size = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(key, "SpecialPollInterval", &type, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  uint8_t small[2];
  size = sizeof small;
  EXPECT_EQ(registry_.RegQueryValueExA(key, "SpecialPollInterval", &type, small, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  registry_.RegCloseKey(key);
}

TEST_F(Registry, OtherValuesAreMissing) {
  HKEY key = Open(KEY_ALL_ACCESS);
  uint32_t type = 0, size = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(key, "SpecialPollIntervalX", &type, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  const uint32_t one = 1;
  EXPECT_EQ(registry_.RegSetValueExA(key, "Enabled", REG_DWORD,
                                     reinterpret_cast<const uint8_t*>(&one), 4),
            ERROR_ACCESS_DENIED);
  registry_.RegCloseKey(key);
}

TEST_F(Registry, AValueOfOursThatIsNoWholeSecondCountReadsAsText) {
  WriteFile(PosixRegistry::kDropInFile, "[Time]\nPollIntervalMaxSec=soon\n");
  HKEY key = Open(KEY_READ);
  uint32_t type = 0;
  char text[16] = {};
  uint32_t size = sizeof text;
  ASSERT_EQ(registry_.RegQueryValueExA(key, "SpecialPollInterval", &type,
                                       reinterpret_cast<uint8_t*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_STREQ(text, "soon");
  EXPECT_EQ(size, 5u);
  registry_.RegCloseKey(key);
}

// --- Writing --------------------------------------------------------------------------------

TEST_F(Registry, WritingStoresThePollIntervalInOurDropIn) {
  WriteFile("/etc/systemd/timesyncd.conf", "[Time]\nPollIntervalMaxSec=1024\n");
  HKEY key = nullptr;
  uint32_t disposition = 0;
  ASSERT_EQ(registry_.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_ALL_ACCESS, &key,
                                      &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(Interval(key), 1024);
  ASSERT_EQ(SetInterval(key, 93600), ERROR_SUCCESS);
  EXPECT_EQ(Interval(key), 93600);
  EXPECT_TRUE(FileText(DropIn()).endsWith("[Time]\nPollIntervalMaxSec=93600\n"));
  ASSERT_EQ(SetInterval(key, 604800), ERROR_SUCCESS);
  EXPECT_EQ(FileText(DropIn()).count("PollIntervalMaxSec="), 1);
  EXPECT_EQ(Interval(key), 604800);
  registry_.RegCloseKey(key);

  // The service must be able to read what we wrote.
  struct stat file {
  }, folder{};
  ASSERT_EQ(::stat(DropIn().toLocal8Bit().constData(), &file), 0);
  ASSERT_EQ(::stat((Root() + PosixRegistry::kDropInFolder).toLocal8Bit().constData(), &folder), 0);
  EXPECT_EQ(file.st_mode & 0777, 0644u);
  EXPECT_EQ(folder.st_mode & 0777, 0755u);

  HKEY again = nullptr;
  ASSERT_EQ(registry_.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_ALL_ACCESS, &again,
                                      &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  registry_.RegCloseKey(again);
}

TEST_F(Registry, WritingKeepsTheRestOfOurFile) {
  WriteFile(PosixRegistry::kDropInFile, "# mine\n[Time]\nNTP=ntp.example\nPollIntervalMaxSec=64\n");
  HKEY key = Open(KEY_ALL_ACCESS);
  ASSERT_EQ(SetInterval(key, 128), ERROR_SUCCESS);
  EXPECT_EQ(FileText(DropIn()), "# mine\n[Time]\nNTP=ntp.example\nPollIntervalMaxSec=128\n");
  registry_.RegCloseKey(key);
}

TEST_F(Registry, OnlyThirtyTwoBitIntegersAreWritten) {
  HKEY key = Open(KEY_ALL_ACCESS);
  const char text[] = "900";
  EXPECT_EQ(registry_.RegSetValueExA(key, "SpecialPollInterval", REG_SZ,
                                     reinterpret_cast<const uint8_t*>(text), sizeof text),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(FileText(DropIn()), "<missing>");
  registry_.RegCloseKey(key);
}

// --- Access -------------------------------------------------------------------------------

TEST_F(Registry, AKeyOpenedForReadingCannotWriteAndOneOpenedForWritingCannotRead) {
  HKEY reading = Open(KEY_READ);
  EXPECT_EQ(SetInterval(reading, 64), ERROR_ACCESS_DENIED);
  HKEY writing = Open(KEY_SET_VALUE);
  EXPECT_EQ(Interval(writing), -static_cast<long long>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(FileText(DropIn()), "<missing>");
  registry_.RegCloseKey(reading);
  registry_.RegCloseKey(writing);
}

TEST_F(Registry, WithoutWriteAccessThereTheKeyCannotBeOpenedForChange) {
  // A root below a regular file: nothing can be made there, whoever asks.
  QFile blocker(Root() + "/blocker");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  PosixRegistry blocked((Root() + "/blocker").toStdString());
  HKEY key = nullptr;
  EXPECT_EQ(blocked.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(
      blocked.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_ALL_ACCESS, &key, nullptr),
      ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  // Looking is still allowed.
  ASSERT_EQ(blocked.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_READ, &key),
            ERROR_SUCCESS);
  uint32_t value = 0, size = 4, type = 0;
  EXPECT_EQ(blocked.RegQueryValueExA(key, "SpecialPollInterval", &type,
                                     reinterpret_cast<uint8_t*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 2048u);
  blocked.RegCloseKey(key);
}

TEST_F(Registry, AReadOnlyFolderKeepsOrdinaryUsersOut) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  const QString folder = Root() + PosixRegistry::kDropInFolder;
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0555), 0);
  HKEY key = nullptr;
  EXPECT_EQ(registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  ::chmod(folder.toLocal8Bit().constData(), 0755);
}

TEST_F(Registry, OtherKeysAreMissingAndTheKeysAboveCannotBeChanged) {
  HKEY key = nullptr;
  EXPECT_EQ(registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry_.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", 0, KEY_ALL_ACCESS,
                                      &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry_.RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, AClosedKeyIsNoLongerAKey) {
  HKEY key = Open(KEY_READ);
  ASSERT_EQ(registry_.RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(registry_.RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Interval(key), -static_cast<long long>(ERROR_INVALID_HANDLE));
}
