// What only Windows shows of the platform: that each of our structures and root keys reaches
// the Windows call as Windows' own, and where Windows keeps what it keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/ContractEnvironment.h"
#include "platform/PrivateProfile.h"
#include "platform/Registry.h"
#include "platform/Security.h"
#include "platform/WinTime.h"
#include "platform/Winsock.h"

namespace {
// Our root key, taken before Windows' macro of the same name exists.
const platform::HKEY kOurLocalMachine = platform::HKEY_LOCAL_MACHINE;
const platform::HKEY kOurCurrentUser = platform::HKEY_CURRENT_USER;
}  // namespace

#include "platform/win32/WindowsHeaders.h"

namespace {

constexpr const char* kClientKey =
    "SYSTEM\\ControlSet001\\services\\W32Time\\TimeProviders\\NtpClient";

}  // namespace

TEST(TimeZoneFields, AreWindowsOwnFieldByField) {
  ::TIME_ZONE_INFORMATION windows{};
  const ::DWORD windowsState = ::GetTimeZoneInformation(&windows);
  platform::TIME_ZONE_INFORMATION ours;
  ours.Bias = ours.StandardBias = ours.DaylightBias = 12345;
  EXPECT_EQ(platform::GetTimeZoneInformation(&ours), windowsState);
  EXPECT_EQ(ours.Bias, windows.Bias);
  EXPECT_EQ(ours.StandardBias, windows.StandardBias);
  EXPECT_EQ(ours.DaylightBias, windows.DaylightBias);
}

TEST(ClockFields, AreWindowsOwnFieldByField) {
  // The date and time of day down to the minute, read on both sides of ours: equal to one of
  // them unless a minute turned twice in between.
  ::SYSTEMTIME before, after;
  platform::SYSTEMTIME ours;
  ::GetLocalTime(&before);
  platform::GetLocalTime(&ours);
  ::GetLocalTime(&after);
  auto same = [&ours](const ::SYSTEMTIME& w) {
    return ours.wYear == w.wYear && ours.wMonth == w.wMonth && ours.wDay == w.wDay &&
           ours.wDayOfWeek == w.wDayOfWeek && ours.wHour == w.wHour && ours.wMinute == w.wMinute;
  };
  EXPECT_TRUE(same(before) || same(after));
  ::GetSystemTime(&before);
  platform::GetSystemTime(&ours);
  ::GetSystemTime(&after);
  EXPECT_TRUE(same(before) || same(after));
}

TEST(SocketLibraryStartup, FillsOurStructureAsTheLibraryFillsItsOwn) {
  platform::HMODULE library = platform::LoadLibraryA("wsock32.dll");
  ASSERT_NE(library, nullptr);
  auto ours =
      reinterpret_cast<platform::TWSAStartup>(platform::GetProcAddress(library, "WSAStartup"));
  auto windows = reinterpret_cast<int(WSAAPI*)(::WORD, ::WSADATA*)>(
      reinterpret_cast<void*>(::GetProcAddress(static_cast<::HMODULE>(library), "WSAStartup")));
  ASSERT_NE(ours, nullptr);
  ASSERT_NE(windows, nullptr);
  platform::WSADATA ourData;
  ::WSADATA windowsData{};
  ASSERT_EQ(ours(0x0101, &ourData), 0);
  ASSERT_EQ(windows(0x0101, &windowsData), 0);
  EXPECT_EQ(ourData.wVersion, windowsData.wVersion);
  EXPECT_EQ(ourData.wHighVersion, windowsData.wHighVersion);
  EXPECT_STREQ(ourData.szDescription, windowsData.szDescription);
  EXPECT_STREQ(ourData.szSystemStatus, windowsData.szSystemStatus);
  EXPECT_EQ(ourData.iMaxSockets, windowsData.iMaxSockets);
  EXPECT_EQ(ourData.iMaxUdpDg, windowsData.iMaxUdpDg);
  // Both started the library: both are ended.
  auto cleanup =
      reinterpret_cast<platform::TWSACleanup>(platform::GetProcAddress(library, "WSACleanup"));
  EXPECT_EQ(cleanup(), 0);
  EXPECT_EQ(cleanup(), 0);
  platform::FreeLibrary(library);
}

TEST(RootKeys, AreWindowsOwn) {
  // A value written below our HKEY_LOCAL_MACHINE is Windows' own.
  platform::RegistryApi& registry = platform::RegistryApi::Real();
  platform::HKEY key = nullptr;
  const uint32_t opened =
      registry.RegCreateKeyExA(kOurLocalMachine, kClientKey, 0, KEY_ALL_ACCESS, &key, nullptr);
  if (opened == ERROR_ACCESS_DENIED)
    GTEST_SKIP() << "the time service's key may be changed only by an administrator";
  ASSERT_EQ(opened, 0u);
  uint32_t saved = 0, size = 4, type = 0;
  const bool hadValue = registry.RegQueryValueExA(key, "SpecialPollInterval", &type,
                                                  reinterpret_cast<uint8_t*>(&saved), &size) == 0;
  const uint32_t seconds = 86399;
  ASSERT_EQ(registry.RegSetValueExA(key, "SpecialPollInterval", REG_DWORD,
                                    reinterpret_cast<const uint8_t*>(&seconds), 4),
            0u);
  ::DWORD read = 0, readSize = sizeof read;
  EXPECT_EQ(::RegGetValueA(HKEY_LOCAL_MACHINE, kClientKey, "SpecialPollInterval", RRF_RT_REG_DWORD,
                           nullptr, &read, &readSize),
            ERROR_SUCCESS);
  EXPECT_EQ(read, seconds);
  if (hadValue)
    registry.RegSetValueExA(key, "SpecialPollInterval", REG_DWORD,
                            reinterpret_cast<const uint8_t*>(&saved), 4);
  else
    contract::RemoveRegistryValue(kClientKey, "SpecialPollInterval");
  EXPECT_EQ(registry.RegCloseKey(key), 0u);

  // And so is the user's root, which every Windows account has a "Software" key in.
  platform::HKEY software = nullptr;
  ASSERT_EQ(registry.RegOpenKeyExA(kOurCurrentUser, "Software", 0, KEY_READ, &software), 0u);
  EXPECT_EQ(registry.RegCloseKey(software), 0u);
}

TEST(ProfilePath, ABareNameIsInTheWindowsDirectoryAFolderIsTakenFromTheCurrentOne) {
  char windowsFolder[MAX_PATH];
  const ::UINT length = ::GetWindowsDirectoryA(windowsFolder, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::string expected(windowsFolder, length);
  if (expected.back() != '\\') expected += '\\';
  platform::PrivateProfileApi& profile = platform::PrivateProfileApi::Real();
  EXPECT_EQ(profile.ProfilePath("Horatune.ini"), expected + "Horatune.ini");

  char current[MAX_PATH];
  const ::DWORD currentLength = ::GetCurrentDirectoryA(MAX_PATH, current);
  ASSERT_GT(currentLength, 0u);
  std::string inCurrent(current, currentLength);
  if (inCurrent.back() != '\\') inCurrent += '\\';
  EXPECT_EQ(profile.ProfilePath(".\\sub\\Horatune.ini"), inCurrent + "sub\\Horatune.ini");
  EXPECT_EQ(profile.ProfilePath("C:\\settings\\Horatune.ini"), "C:\\settings\\Horatune.ini");
}

TEST(SystemMessages, NumbersWithoutAWindowsTextTakeTheSocketLibrarysText) {
  // No Windows has texts for the socket library's own numbers.
  EXPECT_EQ(platform::SystemMessageText(12099), "Unexpected system error.");
  EXPECT_EQ(platform::SystemMessageText(12001), "Input/output error.");
  // Numbers Windows knows keep Windows' text, in the user's language, without its line end.
  char buffer[512];
  ::DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               ERROR_NOT_ALL_ASSIGNED, 0, buffer, sizeof buffer, nullptr);
  ASSERT_GT(n, 0u);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) --n;
  EXPECT_EQ(platform::SystemMessageText(ERROR_NOT_ALL_ASSIGNED), std::string(buffer, n));
  // A number nobody knows still says which it is.
  EXPECT_NE(platform::SystemMessageText(0x2000ABCD).find(std::to_string(0x2000ABCD)),
            std::string::npos);
}
