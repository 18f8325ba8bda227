#include "framework/Registry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/posix/PosixRegistry.h"

using framework::ERegistryException;
using framework::TRegistry;

namespace {

const std::string kClientKey =
    "\\SYSTEM\\ControlSet001\\services\\W32Time\\TimeProviders\\NtpClient";

// Passes every call on and counts the keys that are open, so tests see each one closed.
class CountingRegistry : public platform::RegistryApi {
 public:
  explicit CountingRegistry(platform::RegistryApi& inner) : inner_(inner) {}
  uint32_t RegOpenKeyExA(platform::HKEY k, const char* s, uint32_t o, platform::REGSAM d,
                         platform::HKEY* r) override {
    const uint32_t result = inner_.RegOpenKeyExA(k, s, o, d, r);
    open += result == platform::ERROR_SUCCESS;
    return result;
  }
  uint32_t RegCreateKeyExA(platform::HKEY k, const char* s, uint32_t o, platform::REGSAM d,
                           platform::HKEY* r, uint32_t* disposition) override {
    const uint32_t result = inner_.RegCreateKeyExA(k, s, o, d, r, disposition);
    open += result == platform::ERROR_SUCCESS;
    return result;
  }
  uint32_t RegQueryValueExA(platform::HKEY k, const char* n, uint32_t* t, uint8_t* d,
                            uint32_t* s) override {
    return inner_.RegQueryValueExA(k, n, t, d, s);
  }
  uint32_t RegSetValueExA(platform::HKEY k, const char* n, uint32_t t, const uint8_t* d,
                          uint32_t s) override {
    ++sets;
    return refuseSets ? platform::ERROR_WRITE_FAULT : inner_.RegSetValueExA(k, n, t, d, s);
  }
  uint32_t RegCloseKey(platform::HKEY k) override {
    const uint32_t result = inner_.RegCloseKey(k);
    open -= result == platform::ERROR_SUCCESS;
    return result;
  }
  int open = 0;
  int sets = 0;
  bool refuseSets = false;

 private:
  platform::RegistryApi& inner_;
};

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString DropIn() const { return dir_.path() + platform::PosixRegistry::kDropInFile; }
  void WriteDropIn(const QByteArray& text) {
    QDir().mkpath(QFileInfo(DropIn()).path());
    QFile f(DropIn());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QByteArray DropInText() const {
    QFile f(DropIn());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }

  static std::string MessageOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const ERegistryException& e) {
      return e.Message();
    }
    return "<nothing raised>";
  }

  QTemporaryDir dir_;
  platform::PosixRegistry posix_{dir_.path().toStdString()};
  CountingRegistry counting_{posix_};
  platform::ScopedOverride<platform::RegistryApi> use_{counting_};
};

}  // namespace

// --- Keys ---------------------------------------------------------------------------------

TEST_F(Registry, OpensTheClientKeyUnderTheMachineRootWithFullAccess) {
  TRegistry reg;
  EXPECT_EQ(reg.RootKey(), platform::HKEY_CURRENT_USER);
  EXPECT_FALSE(reg.OpenKey(kClientKey, true));  // nothing of ours below the user's root
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kClientKey, true));
  EXPECT_NE(reg.CurrentKey(), nullptr);
  EXPECT_EQ(reg.CurrentPath(), kClientKey.substr(1));
  reg.CloseKey();
  EXPECT_EQ(reg.CurrentKey(), nullptr);
  EXPECT_EQ(counting_.open, 0);
}

TEST_F(Registry, RelativeNamesAreTakenBelowTheOpenKey) {
  TRegistry reg(platform::KEY_READ);
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey("\\SYSTEM\\ControlSet001\\services", false));
  ASSERT_TRUE(reg.OpenKey("W32Time\\TimeProviders\\NtpClient", false));
  EXPECT_EQ(reg.CurrentPath(),
            "SYSTEM\\ControlSet001\\services\\W32Time\\TimeProviders\\NtpClient");
  EXPECT_EQ(reg.ReadInteger("SpecialPollInterval"), 2048);
  EXPECT_EQ(counting_.open, 1);  // the key above was closed when this one opened
}

TEST_F(Registry, AKeyThatCannotBeOpenedLeavesThePreviousOneOpen) {
  TRegistry reg;
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kClientKey, false));
  const platform::HKEY before = reg.CurrentKey();
  EXPECT_FALSE(reg.OpenKey("\\SOFTWARE\\Elsewhere", true));
  EXPECT_EQ(reg.CurrentKey(), before);
  EXPECT_EQ(counting_.open, 1);
}

TEST_F(Registry, TheOpenKeyIsClosedWhenTheObjectGoes) {
  {
    TRegistry reg;
    reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(kClientKey, true));
    EXPECT_EQ(counting_.open, 1);
  }
  EXPECT_EQ(counting_.open, 0);
}

TEST_F(Registry, WithoutWriteAccessTheKeyDoesNotOpenForFullAccess) {
  QFile blocker(dir_.path() + "/blocker");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  platform::PosixRegistry blocked((dir_.path() + "/blocker").toStdString());
  platform::ScopedOverride<platform::RegistryApi> use(blocked);
  TRegistry reg;
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(reg.OpenKey(kClientKey, true));
  EXPECT_EQ(reg.CurrentKey(), nullptr);
  EXPECT_TRUE(reg.OpenKeyReadOnly(kClientKey));
}

// --- Values -------------------------------------------------------------------------------

TEST_F(Registry, IntegersRoundTripThroughTheServicesConfiguration) {
  TRegistry reg;
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kClientKey, true));
  EXPECT_TRUE(reg.ValueExists("SpecialPollInterval"));
  EXPECT_EQ(reg.ReadInteger("SpecialPollInterval"), 2048);
  reg.WriteInteger("SpecialPollInterval", 604800);
  EXPECT_EQ(reg.ReadInteger("specialpollinterval"), 604800);
  EXPECT_TRUE(DropInText().contains("PollIntervalMaxSec=604800\n"));
}

TEST_F(Registry, AMissingValueFailsToGetData) {
  TRegistry reg;
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kClientKey, true));
  EXPECT_FALSE(reg.ValueExists("PollSeconds"));
  EXPECT_EQ(MessageOf([&] { reg.ReadInteger("PollSeconds"); }),
            "Failed to get data for 'PollSeconds'");
}

TEST_F(Registry, AValueOfAnotherTypeIsNamedAsSuch) {
  // Long enough that a four-byte read alone would only say it does not fit.
  WriteDropIn("[Time]\nPollIntervalMaxSec=whenever it suits\n");
  TRegistry reg;
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kClientKey, true));
  EXPECT_TRUE(reg.ValueExists("SpecialPollInterval"));
  EXPECT_EQ(MessageOf([&] { reg.ReadInteger("SpecialPollInterval"); }),
            "Invalid data type for 'SpecialPollInterval'");
  // Writing puts a proper value in its place.
  reg.WriteInteger("SpecialPollInterval", 93600);
  EXPECT_EQ(reg.ReadInteger("SpecialPollInterval"), 93600);
}

TEST_F(Registry, ARefusedWriteFailsToSetData) {
  TRegistry reg;
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kClientKey));
  EXPECT_EQ(MessageOf([&] { reg.WriteInteger("SpecialPollInterval", 64); }),
            "Failed to set data for 'SpecialPollInterval'");
  EXPECT_EQ(DropInText(), "<missing>");

  ASSERT_TRUE(reg.OpenKey(kClientKey, true));
  counting_.refuseSets = true;
  EXPECT_EQ(MessageOf([&] { reg.WriteInteger("SpecialPollInterval", 64); }),
            "Failed to set data for 'SpecialPollInterval'");
  EXPECT_EQ(counting_.sets, 2);
}

TEST_F(Registry, WithoutAnOpenKeyNothingIsReadOrWritten) {
  TRegistry reg;
  EXPECT_FALSE(reg.ValueExists("SpecialPollInterval"));
  EXPECT_EQ(MessageOf([&] { reg.ReadInteger("SpecialPollInterval"); }),
            "Failed to get data for 'SpecialPollInterval'");
  EXPECT_EQ(MessageOf([&] { reg.WriteInteger("SpecialPollInterval", 1); }),
            "Failed to set data for 'SpecialPollInterval'");
  EXPECT_EQ(counting_.sets, 0);
}

TEST_F(Registry, NegativeIntegersTravelAsTheirThirtyTwoBits) {
  TRegistry reg;
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kClientKey, true));
  reg.WriteInteger("SpecialPollInterval", -1);
  EXPECT_TRUE(DropInText().contains("PollIntervalMaxSec=4294967295\n"));
  EXPECT_EQ(reg.ReadInteger("SpecialPollInterval"), -1);
}
