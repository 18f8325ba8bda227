// The platform's contract: what the layers above rely on from each platform area, checked
// against the real implementation of the system the program runs on (the Linux stand-ins, or
// the Windows calls themselves under Windows or Wine). What a system cannot show is skipped
// with the reason, never passed without a check.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/ClockAdjust.h"
#include "platform/ContractEnvironment.h"
#include "platform/HtmlHelp.h"
#include "platform/LastError.h"
#include "platform/PrivateProfile.h"
#include "platform/Registry.h"
#include "platform/Security.h"
#include "platform/WinTime.h"
#include "platform/Winsock.h"

using namespace platform;

namespace {

SYSTEMTIME Fields(int year, int month, int day, int hour, int minute, int second = 0,
                  int millisecond = 0) {
  SYSTEMTIME s;
  s.wYear = static_cast<uint16_t>(year);
  s.wMonth = static_cast<uint16_t>(month);
  s.wDay = static_cast<uint16_t>(day);
  s.wHour = static_cast<uint16_t>(hour);
  s.wMinute = static_cast<uint16_t>(minute);
  s.wSecond = static_cast<uint16_t>(second);
  s.wMilliseconds = static_cast<uint16_t>(millisecond);
  return s;
}

// Milliseconds since 1970 of calendar fields read with the given bias (UTC = fields + bias).
int64_t Milliseconds(const SYSTEMTIME& fields, int32_t bias_minutes) {
  timespec utc{};
  EXPECT_TRUE(LocalTimeToUtc(fields, bias_minutes, utc));
  return static_cast<int64_t>(utc.tv_sec) * 1000 + utc.tv_nsec / 1000000;
}

// A name no other run of the suite uses at the same time.
std::string UniqueName(const std::string& stem) {
  std::random_device random;
  return stem + "-" + std::to_string(random()) + std::to_string(random());
}

// A folder of its own for one test, removed with it.
class ScratchFolder {
 public:
  ScratchFolder()
      : path_(std::filesystem::temp_directory_path() / UniqueName("tempomere-contract")) {
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// --- Local calendar fields and the bias -------------------------------------------------------

TEST(BiasInForce, DaylightTakesTheDaylightBiasEveryOtherStateTheStandardOne) {
  TIME_ZONE_INFORMATION zone;
  zone.Bias = 300;  // New York
  zone.StandardBias = 7;
  zone.DaylightBias = -60;
  EXPECT_EQ(BiasInForceMinutes(zone, TIME_ZONE_ID_DAYLIGHT), 240);
  EXPECT_EQ(BiasInForceMinutes(zone, TIME_ZONE_ID_STANDARD), 307);
  EXPECT_EQ(BiasInForceMinutes(zone, TIME_ZONE_ID_UNKNOWN), 307);
  // A zone the platform cannot read counts as UTC.
  EXPECT_EQ(BiasInForceMinutes(zone, TIME_ZONE_ID_INVALID), 0);
}

TEST(LocalTimeToUtc, TheBiasIsAddedWithItsSignEastAndWest) {
  timespec utc{};
  ASSERT_TRUE(LocalTimeToUtc(Fields(2026, 7, 1, 12, 0, 0, 250), 240, utc));  // UTC-4
  EXPECT_EQ(utc.tv_sec, 1782921600);                                         // 2026-07-01 16:00
  EXPECT_EQ(utc.tv_nsec, 250000000L);
  ASSERT_TRUE(LocalTimeToUtc(Fields(2026, 7, 1, 12, 0), -330, utc));  // UTC+5:30
  EXPECT_EQ(utc.tv_sec, 1782887400);                                  // 2026-07-01 06:30
  // Across midnight and a year end, both ways.
  ASSERT_TRUE(LocalTimeToUtc(Fields(2027, 1, 1, 0, 15), -825, utc));  // UTC+13:45
  EXPECT_EQ(utc.tv_sec, 1798713000);                                  // 2026-12-31 10:30
  ASSERT_TRUE(LocalTimeToUtc(Fields(2026, 12, 31, 23, 59, 59, 999), 300, utc));
  EXPECT_EQ(utc.tv_sec, 1798779599);  // 2027-01-01 04:59:59
  EXPECT_EQ(utc.tv_nsec, 999000000L);
  // Before 1970 and on a leap day.
  ASSERT_TRUE(LocalTimeToUtc(Fields(1970, 1, 1, 0, 0), 60, utc));
  EXPECT_EQ(utc.tv_sec, 3600);
  ASSERT_TRUE(LocalTimeToUtc(Fields(1970, 1, 1, 0, 0), -60, utc));
  EXPECT_EQ(utc.tv_sec, -3600);
  ASSERT_TRUE(LocalTimeToUtc(Fields(2000, 2, 29, 12, 0), 0, utc));
  EXPECT_EQ(utc.tv_sec, 951825600);
}

TEST(LocalTimeToUtc, FieldsThatAreNoTimeOnARealDateAreRefusedAtEachBoundary) {
  timespec utc{};
  struct Case {
    SYSTEMTIME fields;
    bool accepted;
    const char* what;
  };
  const Case cases[] = {
      {Fields(2026, 1, 1, 0, 0), true, "first of January"},
      {Fields(2026, 0, 1, 0, 0), false, "month 0"},
      {Fields(2026, 12, 31, 0, 0), true, "December 31"},
      {Fields(2026, 13, 1, 0, 0), false, "month 13"},
      {Fields(2026, 5, 0, 0, 0), false, "day 0"},
      {Fields(2026, 4, 30, 0, 0), true, "April 30"},
      {Fields(2026, 4, 31, 0, 0), false, "April 31"},
      {Fields(2024, 2, 29, 0, 0), true, "February 29 in a leap year"},
      {Fields(2026, 2, 29, 0, 0), false, "February 29 in a common year"},
      {Fields(2000, 2, 29, 0, 0), true, "February 29 in 2000"},
      {Fields(1900, 2, 29, 0, 0), false, "February 29 in 1900"},
      {Fields(2026, 5, 1, 23, 59, 59, 999), true, "the last millisecond of a day"},
      {Fields(2026, 5, 1, 24, 0), false, "hour 24"},
      {Fields(2026, 5, 1, 0, 60), false, "minute 60"},
      {Fields(2026, 5, 1, 0, 0, 60), false, "second 60"},
      {Fields(2026, 5, 1, 0, 0, 0, 1000), false, "millisecond 1000"},
  };
  for (const Case& c : cases) EXPECT_EQ(LocalTimeToUtc(c.fields, 0, utc), c.accepted) << c.what;
}

// --- The clock --------------------------------------------------------------------------------

TEST(TimeZone, IsKnownAndItsBiasIsAZoneOnEarth) {
  TIME_ZONE_INFORMATION zone;
  zone.StandardBias = 12345;  // must be overwritten
  const uint32_t state = GetTimeZoneInformation(&zone);
  ASSERT_NE(state, TIME_ZONE_ID_INVALID) << SystemMessageText(GetLastError());
  EXPECT_TRUE(state == TIME_ZONE_ID_UNKNOWN || state == TIME_ZONE_ID_STANDARD ||
              state == TIME_ZONE_ID_DAYLIGHT)
      << state;
  EXPECT_NE(zone.StandardBias, 12345);
  // Zones run from UTC-12 to UTC+14: UTC = local + bias.
  const int32_t bias = BiasInForceMinutes(zone, state);
  EXPECT_GE(bias, -14 * 60);
  EXPECT_LE(bias, 12 * 60);
  EXPECT_EQ(bias % 15, 0) << "zones are whole quarter hours off UTC";
}

TEST(ClockReadings, LocalAndUtcReadingsDifferByTheBiasInForce) {
  TIME_ZONE_INFORMATION zone;
  const uint32_t state = GetTimeZoneInformation(&zone);
  SYSTEMTIME local, utc;
  GetLocalTime(&local);
  GetSystemTime(&utc);
  // Read one after the other: the UTC reading is the later one, by far less than a minute,
  // while a wrong bias is a quarter of an hour off at the least.
  const int64_t apart = Milliseconds(utc, 0) - Milliseconds(local, BiasInForceMinutes(zone, state));
  EXPECT_GE(apart, -1000) << "local " << local.wHour << ":" << local.wMinute << ", UTC "
                          << utc.wHour << ":" << utc.wMinute;
  EXPECT_LT(apart, 60000) << "local " << local.wHour << ":" << local.wMinute << ", UTC "
                          << utc.wHour << ":" << utc.wMinute;
}

TEST(ClockReadings, AreDatesOfTheCalendarWithTheirDayOfTheWeek) {
  SYSTEMTIME readings[2];
  GetLocalTime(&readings[0]);
  GetSystemTime(&readings[1]);
  for (const SYSTEMTIME& t : readings) {
    timespec since1970{};
    ASSERT_TRUE(LocalTimeToUtc(t, 0, since1970))
        << t.wYear << "-" << t.wMonth << "-" << t.wDay << " " << t.wHour << ":" << t.wMinute << ":"
        << t.wSecond << "." << t.wMilliseconds;
    EXPECT_GE(t.wYear, 2024);
    // 1 January 1970 was a Thursday (4).
    const int64_t days = (since1970.tv_sec - (since1970.tv_sec % 86400 + 86400) % 86400) / 86400;
    EXPECT_EQ(t.wDayOfWeek, ((days + 4) % 7 + 7) % 7);
  }
}

TEST(ClockReadings, AdvanceWithTheClock) {
  SYSTEMTIME first, second;
  GetSystemTime(&first);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  GetSystemTime(&second);
  // Half of the wait at the least: the readings carry their milliseconds.
  EXPECT_GE(Milliseconds(second, 0) - Milliseconds(first, 0), 25);
}

TEST(SetLocalTime, FieldsThatAreNoTimeAreRefusedForWhatTheyAre) {
  std::string why;
  // Without the privilege, so that a time taken wrongly could never reach the clock.
  const bool ran = contract::WithoutSystemTimePrivilege(
      [] {
        for (const SYSTEMTIME& fields :
             {Fields(2026, 13, 1, 12, 0), Fields(2026, 2, 30, 12, 0), Fields(2026, 6, 1, 24, 0),
              Fields(2026, 6, 1, 12, 0, 0, 1000)}) {
          SetLastError(0);
          EXPECT_FALSE(SetLocalTime(&fields)) << fields.wMonth << "/" << fields.wDay;
          // Refused for the fields, before the privilege is asked for.
          EXPECT_EQ(GetLastError(), contract::InvalidArgumentError());
        }
      },
      &why);
  if (!ran) GTEST_SKIP() << why;
}

TEST(SetLocalTime, WithoutThePrivilegeTheClockIsNotSet) {
  if (contract::UnderWine())
    GTEST_SKIP() << "Wine holds every privilege and never sets the clock: it refuses any "
                    "change of more than half a second whatever the token holds";
  std::string why;
  const bool ran = contract::WithoutSystemTimePrivilege(
      [] {
        SYSTEMTIME now;
        GetLocalTime(&now);
        SYSTEMTIME later = now;
        later.wYear = static_cast<uint16_t>(now.wYear + 1);
        if (later.wMonth == 2 && later.wDay == 29) later.wDay = 28;
        SetLastError(0);
        EXPECT_FALSE(SetLocalTime(&later));
        EXPECT_EQ(GetLastError(), contract::PrivilegeNotHeldError());
        SYSTEMTIME after;
        GetLocalTime(&after);
        EXPECT_EQ(after.wYear, now.wYear);
      },
      &why);
  if (!ran) GTEST_SKIP() << why;
}

// --- The clock rate ---------------------------------------------------------------------------

TEST(ClockRate, ReadingGivesTheRateTheClockRuns) {
  if (contract::UnderWine())
    GTEST_SKIP() << "Wine has no clock rate: GetSystemTimeAdjustment answers with values that "
                    "are not the clock's";
  uint32_t adjustment = 0, increment = 0;
  int32_t disabled = -7;
  ASSERT_TRUE(GetSystemTimeAdjustment(&adjustment, &increment, &disabled))
      << SystemMessageText(GetLastError());
  // Clock interrupts come from every microsecond to every second (10..10^7 units of 100 ns),
  // and no clock runs more than a tenth off its nominal rate.
  EXPECT_GE(increment, 10u);
  EXPECT_LE(increment, 10000000u);
  EXPECT_GE(adjustment, increment - increment / 10);
  EXPECT_LE(adjustment, increment + increment / 10);
  EXPECT_TRUE(disabled == 0 || disabled == 1) << disabled;
}

TEST(ClockRate, WithoutThePrivilegeAChangeIsRefusedAndChangesNothing) {
  if (contract::UnderWine())
    GTEST_SKIP() << "Wine runs every program as administrator and does not change the clock "
                    "rate, so a refusal cannot be shown";
  std::string why;
  const bool ran = contract::WithoutSystemTimePrivilege(
      [] {
        uint32_t adjustment = 0, increment = 0;
        int32_t disabled = 0;
        ASSERT_TRUE(GetSystemTimeAdjustment(&adjustment, &increment, &disabled));
        SetLastError(0);
        // The nominal increment is a rate every clock can take: only the privilege is missing.
        EXPECT_FALSE(SetSystemTimeAdjustment(increment, 0));
        EXPECT_EQ(GetLastError(), contract::PrivilegeNotHeldError());
        uint32_t adjustmentAfter = 0, incrementAfter = 0;
        int32_t disabledAfter = 0;
        ASSERT_TRUE(GetSystemTimeAdjustment(&adjustmentAfter, &incrementAfter, &disabledAfter));
        EXPECT_EQ(incrementAfter, increment);
        EXPECT_EQ(disabledAfter, disabled);
      },
      &why);
  if (!ran) GTEST_SKIP() << why;
}

// --- Privileges -------------------------------------------------------------------------------

namespace {

TOKEN_PRIVILEGES OneEntry(LUID luid, bool enable) {
  TOKEN_PRIVILEGES p;
  p.PrivilegeCount = 1;
  p.Privileges[0].Luid = luid;
  p.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  return p;
}

LUID SystemTimeLuid() {
  LUID luid;
  EXPECT_TRUE(LookupPrivilegeValueA(nullptr, SE_SYSTEMTIME_NAME, &luid));
  return luid;
}

// Sets the system-time privilege as the calibration does, with the 16-byte former state.
struct Adjusted {
  bool returned = false;
  uint32_t lastError = 0;
  TOKEN_PRIVILEGES previous;
};
Adjusted AdjustSystemTime(bool enable) {
  Adjusted result;
  HANDLE token = nullptr;
  EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
  const TOKEN_PRIVILEGES state = OneEntry(SystemTimeLuid(), enable);
  uint32_t length = 0;
  SetLastError(77);
  result.returned = AdjustTokenPrivileges(token, false, &state, 16, &result.previous, &length);
  result.lastError = GetLastError();
  EXPECT_TRUE(CloseHandle(token));
  return result;
}

}  // namespace

TEST(Privileges, TheSystemTimePrivilegeIsFoundByNameInAnyLetterCase) {
  LUID luid{0, 0}, other{99, 99};
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeSystemtimePrivilege", &luid))
      << SystemMessageText(GetLastError());
  ASSERT_TRUE(LookupPrivilegeValueA("", "SESYSTEMTIMEPRIVILEGE", &other));
  EXPECT_TRUE(luid.LowPart != 0 || luid.HighPart != 0);
  EXPECT_EQ(other.LowPart, luid.LowPart);
  EXPECT_EQ(other.HighPart, luid.HighPart);
}

TEST(Privileges, AnUnknownNameIsNoSuchPrivilege) {
  LUID luid;
  SetLastError(0);
  EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
}

TEST(Privileges, ATokenOpenedOnlyToQueryCannotAdjust) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  const TOKEN_PRIVILEGES state = OneEntry(SystemTimeLuid(), true);
  SetLastError(0);
  EXPECT_FALSE(AdjustTokenPrivileges(token, false, &state, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), contract::AccessDeniedError());
  EXPECT_TRUE(CloseHandle(token));
}

TEST(Privileges, EnablingSaysInTheLastErrorWhetherThePrivilegeIsHeld) {
  std::thread own([] {  // Linux keeps privileges per thread: the others keep theirs
    const Adjusted enabled = AdjustSystemTime(true);
    // The call itself succeeds either way; only the last error tells.
    EXPECT_TRUE(enabled.returned);
    EXPECT_TRUE(enabled.lastError == ERROR_SUCCESS || enabled.lastError == ERROR_NOT_ALL_ASSIGNED)
        << enabled.lastError;
    EXPECT_LE(enabled.previous.PrivilegeCount, 1u);
    // It was disabled: as it was again.
    if (enabled.previous.PrivilegeCount == 1 &&
        (enabled.previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) == 0)
      AdjustSystemTime(false);
  });
  own.join();
}

TEST(Privileges, AHeldPrivilegeIsDisabledAndEnabledWithItsFormerState) {
  std::string skip;
  std::thread own([&skip] {
    const Adjusted first = AdjustSystemTime(true);
    if (first.lastError == ERROR_NOT_ALL_ASSIGNED) {
      skip = "this process does not hold the system-time privilege";
      return;
    }
    // Enabled before when it did not change, or when its former state says so.
    const bool wasEnabled = first.previous.PrivilegeCount == 0 ||
                            (first.previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) != 0;

    const Adjusted disabled = AdjustSystemTime(false);
    EXPECT_TRUE(disabled.returned);
    EXPECT_EQ(disabled.lastError, ERROR_SUCCESS);
    ASSERT_EQ(disabled.previous.PrivilegeCount, 1u);  // it changed, from enabled
    EXPECT_EQ(disabled.previous.Privileges[0].Luid.LowPart, SystemTimeLuid().LowPart);
    EXPECT_EQ(disabled.previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED,
              SE_PRIVILEGE_ENABLED);

    const Adjusted enabled = AdjustSystemTime(true);
    EXPECT_EQ(enabled.lastError, ERROR_SUCCESS);
    ASSERT_EQ(enabled.previous.PrivilegeCount, 1u);  // it changed, from disabled
    EXPECT_EQ(enabled.previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED, 0u);

    // Enabling what is enabled: any former state given says enabled (Windows leaves the entry
    // out, Wine lists it).
    const Adjusted again = AdjustSystemTime(true);
    EXPECT_EQ(again.lastError, ERROR_SUCCESS);
    if (again.previous.PrivilegeCount == 1) {
      EXPECT_EQ(again.previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED,
                SE_PRIVILEGE_ENABLED);
    }
    if (!wasEnabled) AdjustSystemTime(false);
  });
  own.join();
  if (!skip.empty()) GTEST_SKIP() << skip;
}

// --- Last error and message texts -------------------------------------------------------------

TEST(LastError, IsKeptPerThread) {
  // Two threads set theirs, wait for each other without any call that could set it, and read
  // their own back.
  std::atomic<int> set{0};
  uint32_t seen[2] = {0, 0};
  auto run = [&set, &seen](int which, uint32_t code) {
    SetLastError(code);
    set.fetch_add(1);
    while (set.load() < 2) {
    }
    seen[which] = GetLastError();
  };
  std::thread first(run, 0, 1234u);
  std::thread second(run, 1, 99u);
  first.join();
  second.join();
  EXPECT_EQ(seen[0], 1234u);
  EXPECT_EQ(seen[1], 99u);
}

TEST(SystemMessages, EveryNumberHasATextWithoutALineEnd) {
  const uint32_t codes[] = {0,
                            ERROR_ACCESS_DENIED,
                            ERROR_INVALID_PARAMETER,
                            1300,
                            ERROR_NO_SUCH_PRIVILEGE,
                            1314,
                            10040,
                            10060,
                            11001,
                            12001,
                            12099,
                            99999};
  for (uint32_t code : codes) {
    const std::string text = SystemMessageText(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code << ": " << text;
    EXPECT_TRUE(text.empty() || text.back() != ' ') << code << ": '" << text << "'";
  }
  // The calibration's texts tell its failures apart.
  EXPECT_NE(SystemMessageText(ERROR_NOT_ALL_ASSIGNED), SystemMessageText(ERROR_NO_SUCH_PRIVILEGE));
}

// --- Initialisation files ---------------------------------------------------------------------

namespace {

class Profile : public ::testing::Test {
 protected:
  std::string Read(const char* section, const char* key, const char* fallback = "",
                   uint32_t size = 256) {
    std::vector<char> buffer(size + 1, '#');
    const uint32_t n =
        GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file_.c_str());
    EXPECT_LE(n, size);
    return std::string(buffer.data(), n);
  }

  // The names of a list read with a null section or key, in order.
  std::vector<std::string> List(const char* section) {
    char buffer[512];
    const uint32_t n =
        GetPrivateProfileStringA(section, nullptr, "", buffer, sizeof buffer, file_.c_str());
    std::vector<std::string> names;
    for (uint32_t at = 0; at < n; at += static_cast<uint32_t>(names.back().size()) + 1)
      names.emplace_back(buffer + at);
    return names;
  }

  bool Write(const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, file_.c_str());
  }

  ScratchFolder folder_;
  std::string file_ = folder_.File("Settings.ini");
};

}  // namespace

TEST_F(Profile, AWrittenValueReadsBackByItsNamesInAnyLetterCase) {
  ASSERT_TRUE(Write("CurrentHosts", "Count", "2")) << SystemMessageText(GetLastError());
  ASSERT_TRUE(Write("CurrentHosts", "Host0", "ntp.example.org"));
  ASSERT_TRUE(Write("Other", "Count", "7"));
  EXPECT_EQ(Read("CurrentHosts", "Count"), "2");
  EXPECT_EQ(Read("currenthosts", "HOST0"), "ntp.example.org");
  EXPECT_EQ(Read("OTHER", "count"), "7");
  // A key written again keeps one line, with the new value.
  ASSERT_TRUE(Write("currentHOSTS", "COUNT", "3"));
  EXPECT_EQ(Read("CurrentHosts", "Count"), "3");
  EXPECT_EQ(List("CurrentHosts"), (std::vector<std::string>{"Count", "Host0"}));
  // The file is plain text: a section line, then key=value lines.
  const std::string text = FileBytes(file_);
  EXPECT_NE(text.find("[CurrentHosts]"), std::string::npos) << text;
  EXPECT_NE(text.find("Host0=ntp.example.org"), std::string::npos) << text;
}

TEST_F(Profile, WhatIsMissingReadsAsTheDefaultWithoutTrailingBlanks) {
  EXPECT_EQ(Read("CurrentHosts", "Count", "0  "), "0");  // no file at all
  ASSERT_TRUE(Write("CurrentHosts", "Host0", "a"));
  EXPECT_EQ(Read("CurrentHosts", "Count", "0"), "0");  // no such key
  EXPECT_EQ(Read("NoSection", "Host0", " x "), " x");  // no such section
  EXPECT_EQ(Read("CurrentHosts", "Count", nullptr), "");
}

TEST_F(Profile, NullNamesListTheSectionsAndTheKeysInFileOrder) {
  ASSERT_TRUE(Write("First", "b", "1"));
  ASSERT_TRUE(Write("First", "a", "2"));
  ASSERT_TRUE(Write("Second", "c", "3"));
  EXPECT_EQ(List(nullptr), (std::vector<std::string>{"First", "Second"}));
  EXPECT_EQ(List("First"), (std::vector<std::string>{"b", "a"}));
  EXPECT_TRUE(List("Missing").empty());
}

TEST_F(Profile, ATooSmallBufferCutsValuesAndLists) {
  ASSERT_TRUE(Write("S", "Key", "abcdefgh"));
  ASSERT_TRUE(Write("S", "Other", "x"));
  // A value: what fits before the terminating zero.
  EXPECT_EQ(Read("S", "Key", "", 5), "abcd");
  // A list: cut, given as size - 2, and still a list: names ended by a zero, then a zero.
  char buffer[6];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("S", nullptr, "", buffer, sizeof buffer, file_.c_str()), 4u);
  EXPECT_EQ(std::string(buffer, 3), "Key");
  EXPECT_EQ(buffer[3], '\0');
  EXPECT_EQ(buffer[4], '\0');
}

TEST_F(Profile, ANullValueDeletesTheKeyANullKeyTheSection) {
  ASSERT_TRUE(Write("CurrentHosts", "Host0", "a"));
  ASSERT_TRUE(Write("CurrentHosts", "Host1", "b"));
  ASSERT_TRUE(Write("Kept", "k", "v"));
  ASSERT_TRUE(Write("CurrentHosts", "Host0", nullptr));
  EXPECT_EQ(Read("CurrentHosts", "Host0", "gone"), "gone");
  EXPECT_EQ(Read("CurrentHosts", "Host1"), "b");
  ASSERT_TRUE(Write("CurrentHosts", nullptr, nullptr));
  EXPECT_EQ(Read("CurrentHosts", "Host1", "gone"), "gone");
  EXPECT_EQ(List(nullptr), (std::vector<std::string>{"Kept"}));
  EXPECT_EQ(Read("Kept", "k"), "v");
}

TEST_F(Profile, WritingASectionReplacesAllItsKeys) {
  ASSERT_TRUE(Write("CurrentHosts", "Count", "3"));
  ASSERT_TRUE(Write("CurrentHosts", "Host2", "old"));
  ASSERT_TRUE(Write("Kept", "k", "v"));
  ASSERT_TRUE(WritePrivateProfileSectionA("CurrentHosts", "Count=1\0Host0=new\0", file_.c_str()));
  EXPECT_EQ(List("CurrentHosts"), (std::vector<std::string>{"Count", "Host0"}));
  EXPECT_EQ(Read("CurrentHosts", "Count"), "1");
  EXPECT_EQ(Read("CurrentHosts", "Host0"), "new");
  EXPECT_EQ(Read("Kept", "k"), "v");
}

namespace {

struct Refused {
  const char* name;
  const char* section;
  const char* key;
  const char* value;
};

class ProfileRefusals : public Profile, public ::testing::WithParamInterface<Refused> {};

}  // namespace

// What would not read back as written is refused, and the file stays as it was, byte for byte.
TEST_P(ProfileRefusals, AreRefusedAsInvalidAndLeaveTheFile) {
  ASSERT_TRUE(Write("CurrentHosts", "Count", "1"));
  const std::string before = FileBytes(file_);
  const Refused& r = GetParam();
  SetLastError(0);
  EXPECT_FALSE(Write(r.section, r.key, r.value));
  EXPECT_EQ(GetLastError(), contract::InvalidArgumentError());
  EXPECT_EQ(FileBytes(file_), before);
}

INSTANTIATE_TEST_SUITE_P(
    NamesAndValues, ProfileRefusals,
    ::testing::Values(Refused{"ValueWithLineFeed", "CurrentHosts", "Host0", "a\n[Evil]"},
                      Refused{"ValueWithCarriageReturn", "CurrentHosts", "Host0", "a\rb"},
                      Refused{"KeyWithLineEnd", "CurrentHosts", "Ho\nst", "a"},
                      Refused{"KeyWithEquals", "CurrentHosts", "Host=0", "a"},
                      Refused{"KeyLikeASection", "CurrentHosts", "[Host0", "a"},
                      Refused{"KeyWithBlanksAround", "CurrentHosts", " Host0", "a"},
                      Refused{"SectionWithBracket", "Current]Hosts", "Host0", "a"},
                      Refused{"SectionWithBlanksAround", "CurrentHosts ", "Host0", "a"},
                      Refused{"SectionWithLineEnd", "Current\nHosts", "Host0", "a"},
                      Refused{"NoSection", nullptr, "Host0", "a"}),
    [](const ::testing::TestParamInfo<Refused>& info) { return std::string(info.param.name); });

TEST_F(Profile, AReadOnlyFileIsNotWritten) {
  ASSERT_TRUE(Write("CurrentHosts", "Count", "1"));
  const std::string before = FileBytes(file_);
  std::filesystem::permissions(file_,
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  SetLastError(0);
  EXPECT_FALSE(Write("CurrentHosts", "Count", "2"));
  EXPECT_EQ(GetLastError(), contract::AccessDeniedError());
  EXPECT_EQ(FileBytes(file_), before);
  EXPECT_EQ(Read("CurrentHosts", "Count"), "1");
}

TEST(ProfileBareName, IsKeptWhereProfilePathSays) {
  const std::string name = UniqueName("TempomereContract") + ".ini";
  const std::string path = Current<PrivateProfileApi>().ProfilePath(name.c_str());
  EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
  EXPECT_EQ(std::filesystem::path(path).filename().string(), name);
  ASSERT_TRUE(WritePrivateProfileStringA("CurrentHosts", "Count", "5", name.c_str()))
      << SystemMessageText(GetLastError());
  const std::string text = FileBytes(path);
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  EXPECT_NE(text.find("Count=5"), std::string::npos) << path << ": " << text;
}

// --- The registry: the time service's poll interval -------------------------------------------

namespace {

constexpr const char* kClientKey =
    "SYSTEM\\ControlSet001\\services\\W32Time\\TimeProviders\\NtpClient";
constexpr const char* kPollInterval = "SpecialPollInterval";

class TimeServiceKey : public ::testing::Test {
 protected:
  void SetUp() override {
    uint32_t disposition = 0;
    const uint32_t opened = registry_.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0,
                                                      KEY_ALL_ACCESS, &key_, &disposition);
    if (opened == ERROR_ACCESS_DENIED)
      GTEST_SKIP() << "the time service's key may be changed only by an administrator";
    ASSERT_EQ(opened, ERROR_SUCCESS) << SystemMessageText(opened);
    EXPECT_TRUE(disposition == REG_CREATED_NEW_KEY || disposition == REG_OPENED_EXISTING_KEY);
    hadValue_ = Query(key_, &saved_) == ERROR_SUCCESS;
  }

  void TearDown() override {
    if (key_ == nullptr) return;
    // The machine's own interval, as it was.
    if (hadValue_)
      Set(key_, saved_);
    else
      contract::RemoveRegistryValue(kClientKey, kPollInterval);
    EXPECT_EQ(registry_.RegCloseKey(key_), ERROR_SUCCESS);
  }

  uint32_t Query(HKEY key, uint32_t* seconds) {
    uint32_t type = 99, size = sizeof *seconds;
    const uint32_t result = registry_.RegQueryValueExA(key, kPollInterval, &type,
                                                       reinterpret_cast<uint8_t*>(seconds), &size);
    if (result == ERROR_SUCCESS) {
      EXPECT_EQ(type, REG_DWORD);
      EXPECT_EQ(size, 4u);
    }
    return result;
  }

  uint32_t Set(HKEY key, uint32_t seconds) {
    return registry_.RegSetValueExA(key, kPollInterval, REG_DWORD,
                                    reinterpret_cast<const uint8_t*>(&seconds), 4);
  }

  RegistryApi& registry_ = contract::RegistryUnderTest();
  HKEY key_ = nullptr;
  bool hadValue_ = false;
  uint32_t saved_ = 0;
};

}  // namespace

TEST_F(TimeServiceKey, ThePollIntervalIsWrittenAndReadBackAsSeconds) {
  for (uint32_t seconds : {93600u, 604800u, 17u}) {
    ASSERT_EQ(Set(key_, seconds), ERROR_SUCCESS);
    uint32_t read = 0;
    ASSERT_EQ(Query(key_, &read), ERROR_SUCCESS);
    EXPECT_EQ(read, seconds);
  }
  // Another handle on the key, opened to read, sees the same.
  HKEY reader = nullptr;
  ASSERT_EQ(registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_READ, &reader),
            ERROR_SUCCESS);
  uint32_t read = 0;
  EXPECT_EQ(Query(reader, &read), ERROR_SUCCESS);
  EXPECT_EQ(read, 17u);
  EXPECT_EQ(registry_.RegCloseKey(reader), ERROR_SUCCESS);
}

TEST_F(TimeServiceKey, ASizeIsGivenWithoutDataAndAShortBufferAsksForMore) {
  ASSERT_EQ(Set(key_, 3600), ERROR_SUCCESS);
  uint32_t type = 99, size = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(key_, kPollInterval, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  uint8_t small[2] = {};
  size = sizeof small;
  EXPECT_EQ(registry_.RegQueryValueExA(key_, kPollInterval, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
}

TEST_F(TimeServiceKey, AKeyOpenedToReadIsNotWritten) {
  ASSERT_EQ(Set(key_, 7200), ERROR_SUCCESS);
  HKEY reader = nullptr;
  ASSERT_EQ(registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_READ, &reader),
            ERROR_SUCCESS);
  EXPECT_EQ(Set(reader, 60), ERROR_ACCESS_DENIED);
  uint32_t read = 0;
  EXPECT_EQ(Query(key_, &read), ERROR_SUCCESS);
  EXPECT_EQ(read, 7200u);
  EXPECT_EQ(registry_.RegCloseKey(reader), ERROR_SUCCESS);
}

TEST_F(TimeServiceKey, MissingValuesAndKeysAreNotFound) {
  uint32_t type = 0, value = 0, size = 4;
  EXPECT_EQ(registry_.RegQueryValueExA(key_, "NoSuchValue", &type,
                                       reinterpret_cast<uint8_t*>(&value), &size),
            ERROR_FILE_NOT_FOUND);
  HKEY missing = nullptr;
  EXPECT_EQ(registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tempomere contract\\Missing", 0,
                                    KEY_READ, &missing),
            ERROR_FILE_NOT_FOUND);
}

// --- The socket library, loaded by name ------------------------------------------------------

namespace {

template <class F>
F Get(HMODULE library, const char* name) {
  return reinterpret_cast<F>(GetProcAddress(library, name));
}

constexpr const char* kLibraryFunctions[] = {
    "WSAStartup", "WSACleanup", "WSAGetLastError", "WSACancelBlockingCall",
    "socket",     "setsockopt", "gethostbyname",   "htons",
    "ntohs",      "sendto",     "select",          "recvfrom",
    "shutdown",   "closesocket"};

bool PrintableText(const char* text, size_t capacity) {
  const size_t length = strnlen(text, capacity);
  return length > 0 && length < capacity &&
         std::all_of(text, text + length, [](char c) { return c >= 0x20 && c < 0x7F; });
}

class SocketLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(library_, nullptr) << SystemMessageText(GetLastError());
    WSADATA data;
    ASSERT_EQ(Get<TWSAStartup>(library_, "WSAStartup")(0x0101, &data), 0);
    started_ = true;
    s_ = socket_(WS_AF_INET, WS_SOCK_DGRAM, 0);
    ASSERT_NE(s_, INVALID_SOCKET) << lastError_();
    ASSERT_TRUE(peer_.Ok());
  }

  void TearDown() override {
    if (s_ != INVALID_SOCKET) closesocket_(s_);
    if (started_) Get<TWSACleanup>(library_, "WSACleanup")();
    if (library_ != nullptr) FreeLibrary(library_);
  }

  SOCKADDR_IN Loopback(int port) {
    SOCKADDR_IN to;
    to.sin_family = WS_AF_INET;
    to.sin_port = htons_(static_cast<uint16_t>(port));
    const uint8_t loopback[4] = {127, 0, 0, 1};
    std::memcpy(to.sin_addr, loopback, 4);
    return to;
  }

  int SendToPeer(const std::string& bytes) {
    const SOCKADDR_IN to = Loopback(peer_.Port());
    return sendto_(s_, bytes.data(), static_cast<int>(bytes.size()), 0, &to, sizeof to);
  }

  // The port our socket sends from, as the peer sees it.
  int SendAndLearnOurPort() {
    EXPECT_EQ(SendToPeer(std::string(48, '\x1B')), 48);
    std::string got;
    int port = 0;
    EXPECT_TRUE(peer_.Receive(&got, &port, 5000));
    return port;
  }

  int Wait(int ms) {
    FD_SET read;
    read.fd_count = 1;
    read.fd_array[0] = s_;
    const TIMEVAL timeout{ms / 1000, ms % 1000 * 1000};
    return select_(0, &read, nullptr, nullptr, &timeout);
  }

  HMODULE library_ = LoadLibraryA("wsock32.dll");
  Tsocket socket_ = Get<Tsocket>(library_, "socket");
  Tsendto sendto_ = Get<Tsendto>(library_, "sendto");
  Trecvfrom recvfrom_ = Get<Trecvfrom>(library_, "recvfrom");
  Tselect select_ = Get<Tselect>(library_, "select");
  Tclosesocket closesocket_ = Get<Tclosesocket>(library_, "closesocket");
  TWSAGetLastError lastError_ = Get<TWSAGetLastError>(library_, "WSAGetLastError");
  Thtons htons_ = Get<Thtons>(library_, "htons");
  Tntohs ntohs_ = Get<Tntohs>(library_, "ntohs");
  bool started_ = false;
  SOCKET s_ = INVALID_SOCKET;
  contract::LoopbackPeer peer_;
};

}  // namespace

TEST(SocketLibraryLoading, TheLibraryIsFoundByNameWithEveryFunctionTheQueryCalls) {
  HMODULE library = LoadLibraryA("WSOCK32.DLL");
  ASSERT_NE(library, nullptr) << SystemMessageText(GetLastError());
  for (const char* name : kLibraryFunctions)
    EXPECT_NE(GetProcAddress(library, name), nullptr) << name;
  EXPECT_EQ(GetProcAddress(library, "NoSuchFunction"), nullptr);
  EXPECT_TRUE(FreeLibrary(library));
}

TEST(SocketLibraryLoading, ALibraryThatIsNotThereIsNotLoaded) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("tempomere-no-such-library.dll"), nullptr);
  EXPECT_NE(GetLastError(), 0u);
}

TEST(SocketLibraryLoading, StartingVersionOnePointOneSaysWhatStarted) {
  HMODULE library = LoadLibraryA("wsock32.dll");
  ASSERT_NE(library, nullptr);
  WSADATA data;
  ASSERT_EQ(Get<TWSAStartup>(library, "WSAStartup")(0x0101, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_GE(data.wHighVersion, 0x0101);
  // The texts lie where our structure has them.
  EXPECT_TRUE(PrintableText(data.szDescription, sizeof data.szDescription)) << data.szDescription;
  EXPECT_TRUE(PrintableText(data.szSystemStatus, sizeof data.szSystemStatus))
      << data.szSystemStatus;
  EXPECT_EQ(Get<TWSACleanup>(library, "WSACleanup")(), 0);
  FreeLibrary(library);
}

TEST_F(SocketLibrary, ADatagramGoesToALoopbackPeerAndItsAnswerComesBack) {
  const std::string request(48, '\x1B');
  ASSERT_EQ(SendToPeer(request), 48) << lastError_();
  std::string got;
  int ourPort = 0;
  ASSERT_TRUE(peer_.Receive(&got, &ourPort, 5000));
  EXPECT_EQ(got, request);
  ASSERT_TRUE(peer_.SendTo(ourPort, std::string(47, 'r') + 'z'));

  ASSERT_EQ(Wait(5000), 1);
  char buffer[48];
  SOCKADDR_IN from;
  int fromLength = sizeof from;
  ASSERT_EQ(recvfrom_(s_, buffer, sizeof buffer, 0, &from, &fromLength), 48) << lastError_();
  EXPECT_EQ(buffer[47], 'z');
  EXPECT_EQ(from.sin_family, WS_AF_INET);
  EXPECT_EQ(from.sin_addr[0], 127);
  EXPECT_EQ(from.sin_addr[3], 1);
  EXPECT_EQ(ntohs_(from.sin_port), peer_.Port());
}

TEST_F(SocketLibrary, SelectGivesZeroWhenNothingArrivesInTime) {
  SendAndLearnOurPort();  // the socket has its port, and nothing is on its way back
  EXPECT_EQ(Wait(30), 0);
}

TEST_F(SocketLibrary, ADatagramLargerThanTheBufferIsMessageTooLongAndTheNextOneFits) {
  const int ourPort = SendAndLearnOurPort();
  ASSERT_TRUE(peer_.SendTo(ourPort, std::string(68, 'x')));
  ASSERT_EQ(Wait(5000), 1);
  char buffer[48];
  SOCKADDR_IN from;
  int fromLength = sizeof from;
  EXPECT_EQ(recvfrom_(s_, buffer, sizeof buffer, 0, &from, &fromLength), SOCKET_ERROR);
  EXPECT_EQ(lastError_(), WSAEMSGSIZE);

  ASSERT_TRUE(peer_.SendTo(ourPort, std::string(48, 'y')));
  ASSERT_EQ(Wait(5000), 1);
  fromLength = sizeof from;
  EXPECT_EQ(recvfrom_(s_, buffer, sizeof buffer, 0, &from, &fromLength), 48);
  EXPECT_EQ(buffer[0], 'y');
}

TEST_F(SocketLibrary, TheBroadcastOptionTakesAFourByteInteger) {
  auto setsockopt_ = Get<Tsetsockopt>(library_, "setsockopt");
  for (int32_t flag : {-1, 0}) {
    EXPECT_EQ(
        setsockopt_(s_, WS_SOL_SOCKET, WS_SO_BROADCAST, reinterpret_cast<const char*>(&flag), 4), 0)
        << lastError_();
  }
}

TEST_F(SocketLibrary, ClosingShutsSendingDownThenClosesTheSocket) {
  auto shutdown_ = Get<Tshutdown>(library_, "shutdown");
  SendAndLearnOurPort();
  // As the transport closes: shut down for sending, whose answer it ignores (Linux refuses it
  // on a socket without a peer, Windows does not), then close, which must work.
  const int shut = shutdown_(s_, WS_SD_SEND);
  if (shut != 0) {
    const int error = lastError_();
    EXPECT_NE(SocketErrorTextOf(error), nullptr) << error;
  }
  EXPECT_EQ(closesocket_(s_), 0) << lastError_();
  const SOCKET closed = s_;
  s_ = INVALID_SOCKET;
  // A closed socket is no socket for the library any more.
  const SOCKADDR_IN to = Loopback(peer_.Port());
  EXPECT_EQ(sendto_(closed, "x", 1, 0, &to, sizeof to), SOCKET_ERROR);
  EXPECT_NE(SocketErrorTextOf(lastError_()), nullptr);
}

TEST_F(SocketLibrary, FailuresGiveNumbersWithATextInTheTable) {
  char buffer[48];
  SOCKADDR_IN from;
  int fromLength = sizeof from;
  EXPECT_EQ(recvfrom_(INVALID_SOCKET, buffer, sizeof buffer, 0, &from, &fromLength), SOCKET_ERROR);
  const int error = lastError_();
  EXPECT_NE(SocketErrorTextOf(error), nullptr) << error;
}

TEST_F(SocketLibrary, NamesAreLookedUpNumbersTakenAsTheyStand) {
  auto lookup = Get<Tgethostbyname>(library_, "gethostbyname");
  HOSTENT* local = lookup("127.0.0.1");
  ASSERT_NE(local, nullptr) << lastError_();
  EXPECT_EQ(local->h_addrtype, WS_AF_INET);
  ASSERT_EQ(local->h_length, 4);
  ASSERT_NE(local->h_addr_list[0], nullptr);
  EXPECT_EQ(static_cast<uint8_t>(local->h_addr_list[0][0]), 127);
  EXPECT_EQ(static_cast<uint8_t>(local->h_addr_list[0][3]), 1);
  // A label longer than 63 characters cannot go into a query, so the answer is certain and no
  // name server is asked.
  const std::string unresolvable = std::string(64, 'a') + ".invalid";
  EXPECT_EQ(lookup(unresolvable.c_str()), nullptr);
  const int error = lastError_();
  EXPECT_TRUE(error == WSAHOST_NOT_FOUND || error == WSANO_DATA) << error;
}

// --- HTML Help --------------------------------------------------------------------------------

namespace {

class HelpMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetHtmlHelpMessageSink([this](const std::string& text) { said_.push_back(text); });
  }
  void TearDown() override { SetHtmlHelpMessageSink(previous_); }

  std::vector<std::string> said_;
  HtmlHelpMessageSink previous_;
};

}  // namespace

TEST_F(HelpMessages, AHelpFileThatIsNotThereShowsNothingAndSaysWhichFile) {
  ScratchFolder folder;
  const std::string file = folder.File("Missing.chm");
  for (unsigned command : {HH_DISPLAY_TOC, HH_DISPLAY_TOPIC, HH_HELP_CONTEXT}) {
    said_.clear();
    const std::string name = command == HH_DISPLAY_TOPIC ? file + "::/page.htm" : file;
    EXPECT_EQ(HtmlHelpA(nullptr, name.c_str(), command, command == HH_HELP_CONTEXT ? 12 : 0),
              nullptr);
    ASSERT_EQ(said_.size(), 1u) << command;
    EXPECT_NE(said_[0].find("Missing.chm"), std::string::npos) << said_[0];
    EXPECT_EQ(said_[0].find("page.htm"), std::string::npos) << said_[0];
  }
}

TEST_F(HelpMessages, ClosingAllWithNothingOpenShowsAndSaysNothing) {
  EXPECT_EQ(HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0), nullptr);
  EXPECT_TRUE(said_.empty());
}
