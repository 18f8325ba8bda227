#include "platform/Security.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <cstring>

#include <cerrno>

#include "platform/LastError.h"
#include "support/FakePlatformRate.h"
#include "support/ThreadCapabilities.h"

using platform::HANDLE;
using platform::LUID;
using platform::TOKEN_PRIVILEGES;

namespace {

platform::SecurityApi& Real() {
  return platform::SecurityApi::Real();
}

TOKEN_PRIVILEGES OneEntry(LUID luid, bool enable) {
  TOKEN_PRIVILEGES p;
  p.PrivilegeCount = 1;
  p.Privileges[0].Luid = luid;
  p.Privileges[0].Attributes = enable ? platform::SE_PRIVILEGE_ENABLED : 0;
  return p;
}

// Enables or disables the system-time privilege through the real calls, as the calibration
// does: true exactly when the last error is 0 afterwards.
bool SetSystemTimePrivilege(bool enable, TOKEN_PRIVILEGES* previous = nullptr) {
  HANDLE token = nullptr;
  if (!Real().OpenProcessToken(platform::GetCurrentProcess(),
                               platform::TOKEN_ADJUST_PRIVILEGES | platform::TOKEN_QUERY, &token))
    return false;
  LUID luid;
  bool ok = Real().LookupPrivilegeValueA(nullptr, platform::SE_SYSTEMTIME_NAME, &luid);
  if (ok) {
    const TOKEN_PRIVILEGES state = OneEntry(luid, enable);
    TOKEN_PRIVILEGES scratch;
    uint32_t length = 0;
    Real().AdjustTokenPrivileges(token, false, &state, sizeof(TOKEN_PRIVILEGES),
                                 previous ? previous : &scratch, &length);
    ok = platform::GetLastError() == 0;
  }
  Real().CloseHandle(token);
  return ok;
}

}  // namespace

// --- Looking privileges up ------------------------------------------------------------------

TEST(PrivilegeLookup, SystemTimePrivilegeIsTheTimeCapabilityWhateverTheCase) {
  LUID luid{99, 99};
  ASSERT_TRUE(Real().LookupPrivilegeValueA(nullptr, "SeSystemtimePrivilege", &luid));
  EXPECT_EQ(luid.LowPart, static_cast<uint32_t>(CAP_SYS_TIME));
  EXPECT_EQ(luid.HighPart, 0);
  LUID other;
  ASSERT_TRUE(Real().LookupPrivilegeValueA("", "SESYSTEMTIMEPRIVILEGE", &other));
  EXPECT_EQ(other.LowPart, luid.LowPart);
}

TEST(PrivilegeLookup, UnknownNamesAndOtherSystemsFailWithTheirErrors) {
  LUID luid;
  platform::SetLastError(0);
  EXPECT_FALSE(Real().LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_NO_SUCH_PRIVILEGE);
  EXPECT_FALSE(Real().LookupPrivilegeValueA("timehost", platform::SE_SYSTEMTIME_NAME, &luid));
  EXPECT_EQ(platform::GetLastError(), platform::RPC_S_SERVER_UNAVAILABLE);
}

// --- Tokens ------------------------------------------------------------------------------

TEST(ProcessToken, OnlyTheCurrentProcessHasATokenHere) {
  HANDLE token = nullptr;
  EXPECT_FALSE(
      Real().OpenProcessToken(reinterpret_cast<HANDLE>(1234), platform::TOKEN_QUERY, &token));
  EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EBADF));
}

TEST(ProcessToken, AClosedTokenCannotBeUsedOrClosedAgain) {
  HANDLE token = nullptr;
  ASSERT_TRUE(Real().OpenProcessToken(platform::GetCurrentProcess(),
                                      platform::TOKEN_ADJUST_PRIVILEGES, &token));
  EXPECT_TRUE(Real().CloseHandle(token));
  EXPECT_FALSE(Real().CloseHandle(token));
  const TOKEN_PRIVILEGES state = OneEntry({CAP_SYS_TIME, 0}, true);
  EXPECT_FALSE(Real().AdjustTokenPrivileges(token, false, &state, 0, nullptr, nullptr));
  EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EBADF));
}

TEST(ProcessToken, AdjustingNeedsATokenOpenedForAdjusting) {
  HANDLE token = nullptr;
  ASSERT_TRUE(
      Real().OpenProcessToken(platform::GetCurrentProcess(), platform::TOKEN_QUERY, &token));
  const TOKEN_PRIVILEGES state = OneEntry({CAP_SYS_TIME, 0}, true);
  EXPECT_FALSE(Real().AdjustTokenPrivileges(token, false, &state, 0, nullptr, nullptr));
  EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EACCES));
  Real().CloseHandle(token);
}

TEST(ProcessToken, UnknownPrivilegeIdentifiersAreRefused) {
  HANDLE token = nullptr;
  ASSERT_TRUE(Real().OpenProcessToken(platform::GetCurrentProcess(),
                                      platform::TOKEN_ADJUST_PRIVILEGES, &token));
  const TOKEN_PRIVILEGES state = OneEntry({CAP_SYS_TIME, 1}, true);
  EXPECT_FALSE(Real().AdjustTokenPrivileges(token, false, &state, 0, nullptr, nullptr));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_NO_SUCH_PRIVILEGE);
  Real().CloseHandle(token);
}

// --- Enabling the system-time privilege on this machine --------------------------------------

TEST(SystemTimePrivilege, NotHeldEnablesNothingAndSaysNotAllAssigned) {
  testing_support::RunInOwnThread([] {
    ASSERT_TRUE(testing_support::DropFromThread(CAP_SYS_TIME));
    HANDLE token = nullptr;
    ASSERT_TRUE(Real().OpenProcessToken(platform::GetCurrentProcess(), 0x28, &token));
    const TOKEN_PRIVILEGES state = OneEntry({CAP_SYS_TIME, 0}, true);
    TOKEN_PRIVILEGES previous;
    uint32_t length = 0;
    platform::SetLastError(77);
    // The call itself succeeds; only the last error tells.
    EXPECT_TRUE(Real().AdjustTokenPrivileges(token, false, &state, 16, &previous, &length));
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_NOT_ALL_ASSIGNED);
    EXPECT_EQ(previous.PrivilegeCount, 0u);  // nothing changed
    EXPECT_FALSE(testing_support::ThreadHasEffective(CAP_SYS_TIME));
    EXPECT_FALSE(testing_support::ThreadHasPermitted(CAP_SYS_TIME));
    Real().CloseHandle(token);
    EXPECT_FALSE(SetSystemTimePrivilege(true));
  });
}

TEST(SystemTimePrivilege, HeldCanBeDisabledAndEnabledAgain) {
  if (!testing_support::ThreadHasPermitted(CAP_SYS_TIME))
    GTEST_SKIP() << "this process does not hold CAP_SYS_TIME";
  testing_support::RunInOwnThread([] {
    ASSERT_TRUE(testing_support::ThreadHasPermitted(CAP_SYS_TIME));
    TOKEN_PRIVILEGES previous;
    EXPECT_TRUE(SetSystemTimePrivilege(false, &previous));
    EXPECT_FALSE(testing_support::ThreadHasEffective(CAP_SYS_TIME));
    EXPECT_TRUE(testing_support::ThreadHasPermitted(CAP_SYS_TIME));

    EXPECT_TRUE(SetSystemTimePrivilege(true, &previous));
    EXPECT_TRUE(testing_support::ThreadHasEffective(CAP_SYS_TIME));
    // The former state of the one entry that changed: disabled.
    ASSERT_EQ(previous.PrivilegeCount, 1u);
    EXPECT_EQ(previous.Privileges[0].Luid.LowPart, static_cast<uint32_t>(CAP_SYS_TIME));
    EXPECT_EQ(previous.Privileges[0].Attributes, 0u);

    // Enabling what is enabled changes nothing and succeeds.
    EXPECT_TRUE(SetSystemTimePrivilege(true, &previous));
    EXPECT_EQ(previous.PrivilegeCount, 0u);
  });
}

TEST(SystemTimePrivilege, AdjustingOneThreadLeavesTheOthersAlone) {
  const bool before = testing_support::ThreadHasEffective(CAP_SYS_TIME);
  testing_support::RunInOwnThread([] { SetSystemTimePrivilege(false); });
  EXPECT_EQ(testing_support::ThreadHasEffective(CAP_SYS_TIME), before);
}

// --- The seam -----------------------------------------------------------------------------

TEST(SecuritySeam, AnInstalledFakeAnswersForItsLifetime) {
  testing_support::FakeSecurity fake;
  fake.holdsPrivilege = false;
  {
    platform::ScopedOverride<platform::SecurityApi> use(fake);
    HANDLE token = nullptr;
    ASSERT_TRUE(platform::OpenProcessToken(platform::GetCurrentProcess(), 0x28, &token));
    LUID luid;
    ASSERT_TRUE(platform::LookupPrivilegeValueA(nullptr, platform::SE_SYSTEMTIME_NAME, &luid));
    const TOKEN_PRIVILEGES state = OneEntry(luid, true);
    platform::AdjustTokenPrivileges(token, false, &state, 16, nullptr, nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_NOT_ALL_ASSIGNED);
    EXPECT_TRUE(platform::CloseHandle(token));
  }
  EXPECT_EQ(fake.adjustCalls, 1);
  EXPECT_EQ(fake.openTokens, 0);
  EXPECT_EQ(&platform::Current<platform::SecurityApi>(), &platform::SecurityApi::Real());
}

// --- Message texts ------------------------------------------------------------------------

TEST(SystemMessages, PlatformNumbersHaveThePlatformsTexts) {
  EXPECT_EQ(platform::SystemMessageText(0), "The operation completed successfully.");
  EXPECT_EQ(platform::SystemMessageText(1300),
            "Not all privileges or groups referenced are assigned to the caller.");
  EXPECT_EQ(platform::SystemMessageText(1313), "A specified privilege does not exist.");
}

TEST(SystemMessages, ErrnoNumbersHaveTheCLibrarysTexts) {
  // The C library's texts, in the user's language.
  EXPECT_EQ(platform::SystemMessageText(EPERM), std::string(std::strerror(EPERM)));
  EXPECT_EQ(platform::SystemMessageText(EINVAL), std::string(std::strerror(EINVAL)));
  EXPECT_NE(platform::SystemMessageText(EPERM), platform::SystemMessageText(EINVAL));
  EXPECT_FALSE(platform::SystemMessageText(99999).empty());
}
