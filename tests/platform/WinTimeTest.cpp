#include "platform/WinTime.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/LastError.h"
#include "support/FakeClock.h"

using namespace platform;
using testing_support::FakeKernelClock;
using testing_support::ScopedTimeZone;

namespace {

// Seconds since 1970 of a UTC calendar instant.
time_t Utc(int year, int month, int day, int hour, int minute, int second = 0) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return timegm(&t);
}

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

}  // namespace

// The bias in force and the conversion of local fields to UTC are part of the platform's
// contract (PlatformContract.cpp), which every platform passes.

// --- The real stand-in under real zones -------------------------------------------------------

namespace {

struct ZoneCase {
  const char* name;
  const char* zone;
  time_t utc;
  int bias;        // minutes, UTC = local + bias
  uint32_t state;  // daylight or standard
  int local_hour, local_minute;
};

std::string CaseName(const ::testing::TestParamInfo<ZoneCase>& info) {
  return info.param.name;
}

class RealZones : public ::testing::TestWithParam<ZoneCase> {};

}  // namespace

TEST_P(RealZones, ReportTheBiasInForceAndTheLocalAndUtcFields) {
  const ZoneCase& c = GetParam();
  ScopedTimeZone zone(c.zone);
  FakeKernelClock kernel(c.utc, 345000000L);
  ClockApi& real = ClockApi::Real();

  TIME_ZONE_INFORMATION info;
  info.StandardBias = 99;  // overwritten
  EXPECT_EQ(real.GetTimeZoneInformation(&info), c.state);
  EXPECT_EQ(info.Bias, c.bias);
  EXPECT_EQ(info.StandardBias, 0);
  EXPECT_EQ(info.DaylightBias, 0);

  SYSTEMTIME local, utc;
  real.GetLocalTime(&local);
  real.GetSystemTime(&utc);
  EXPECT_EQ(local.wHour, c.local_hour);
  EXPECT_EQ(local.wMinute, c.local_minute);
  EXPECT_EQ(local.wMilliseconds, 345);
  std::tm expected_utc{};
  gmtime_r(&c.utc, &expected_utc);
  EXPECT_EQ(utc.wHour, expected_utc.tm_hour);
  EXPECT_EQ(utc.wMinute, expected_utc.tm_min);
  EXPECT_EQ(utc.wDay, expected_utc.tm_mday);
  EXPECT_EQ(utc.wMilliseconds, 345);

  // The local fields, set back with the bias in force, are the same instant.
  ASSERT_TRUE(real.SetLocalTime(&local));
  ASSERT_EQ(kernel.set_times.size(), 1u);
  EXPECT_EQ(kernel.set_times[0].tv_sec, c.utc);
  EXPECT_EQ(kernel.set_times[0].tv_nsec, 345000000L);
}

INSTANTIATE_TEST_SUITE_P(
    EastAndWestInBothSeasons, RealZones,
    ::testing::Values(ZoneCase{"NewYorkSummer", "America/New_York", Utc(2026, 7, 1, 16, 0), 240,
                               TIME_ZONE_ID_DAYLIGHT, 12, 0},
                      ZoneCase{"NewYorkWinter", "America/New_York", Utc(2026, 1, 15, 3, 20), 300,
                               TIME_ZONE_ID_STANDARD, 22, 20},
                      ZoneCase{"BerlinSummer", "Europe/Berlin", Utc(2026, 7, 1, 23, 10), -120,
                               TIME_ZONE_ID_DAYLIGHT, 1, 10},
                      ZoneCase{"BerlinWinter", "Europe/Berlin", Utc(2026, 1, 15, 12, 0), -60,
                               TIME_ZONE_ID_STANDARD, 13, 0},
                      ZoneCase{"AdelaideSummer", "Australia/Adelaide", Utc(2026, 1, 15, 12, 0),
                               -630, TIME_ZONE_ID_DAYLIGHT, 22, 30},
                      ZoneCase{"AdelaideWinter", "Australia/Adelaide", Utc(2026, 7, 1, 12, 0), -570,
                               TIME_ZONE_ID_STANDARD, 21, 30},
                      ZoneCase{"Kolkata", "Asia/Kolkata", Utc(2026, 7, 1, 20, 0), -330,
                               TIME_ZONE_ID_STANDARD, 1, 30},
                      ZoneCase{"ChathamSummer", "Pacific/Chatham", Utc(2026, 1, 15, 12, 0), -825,
                               TIME_ZONE_ID_DAYLIGHT, 1, 45},
                      ZoneCase{"ChathamWinter", "Pacific/Chatham", Utc(2026, 7, 1, 12, 0), -765,
                               TIME_ZONE_ID_STANDARD, 0, 45},
                      ZoneCase{"Utc", "UTC", Utc(2026, 7, 1, 12, 0), 0, TIME_ZONE_ID_STANDARD, 12,
                               0}),
    CaseName);

// --- Setting the clock across the daylight changes --------------------------------------------

namespace {

struct ChangeCase {
  const char* name;
  const char* zone;
  time_t now;         // the kernel's clock while the fields are set
  SYSTEMTIME fields;  // local
  time_t expected;    // what the kernel clock is set to
};

std::string ChangeName(const ::testing::TestParamInfo<ChangeCase>& info) {
  return info.param.name;
}

class SetAcrossChanges : public ::testing::TestWithParam<ChangeCase> {};

}  // namespace

TEST_P(SetAcrossChanges, FieldsAreTakenWithTheBiasInForceNow) {
  const ChangeCase& c = GetParam();
  ScopedTimeZone zone(c.zone);
  FakeKernelClock kernel(c.now);
  SYSTEMTIME fields = c.fields;
  fields.wMilliseconds = 250;
  ASSERT_TRUE(ClockApi::Real().SetLocalTime(&fields));
  ASSERT_EQ(kernel.set_times.size(), 1u);
  EXPECT_EQ(kernel.set_times[0].tv_sec - c.expected, 0) << "seconds off";
  EXPECT_EQ(kernel.set_times[0].tv_nsec, 250000000L);
}

INSTANTIATE_TEST_SUITE_P(
    RepeatedAndSkippedHours, SetAcrossChanges,
    ::testing::Values(
        // New York falls back at 06:00 UTC on 1 November 2026 (02:00 EDT becomes 01:00 EST).
        ChangeCase{"NewYorkFirstPassThroughTheRepeatedHour", "America/New_York",
                   Utc(2026, 11, 1, 5, 30), Fields(2026, 11, 1, 1, 30, 10),
                   Utc(2026, 11, 1, 5, 30, 10)},
        ChangeCase{"NewYorkSecondPassThroughTheRepeatedHour", "America/New_York",
                   Utc(2026, 11, 1, 6, 30), Fields(2026, 11, 1, 1, 30, 10),
                   Utc(2026, 11, 1, 6, 30, 10)},
        // It springs forward at 07:00 UTC on 8 March 2026 (02:00 EST becomes 03:00 EDT).
        ChangeCase{"NewYorkJustBeforeSpringForward", "America/New_York", Utc(2026, 3, 8, 6, 59, 59),
                   Fields(2026, 3, 8, 1, 59, 59), Utc(2026, 3, 8, 6, 59, 59)},
        ChangeCase{"NewYorkJustAfterSpringForward", "America/New_York", Utc(2026, 3, 8, 7, 0),
                   Fields(2026, 3, 8, 3, 0, 0), Utc(2026, 3, 8, 7, 0)},
        // Berlin falls back at 01:00 UTC on 25 October 2026 (03:00 CEST becomes 02:00 CET).
        ChangeCase{"BerlinFirstPassThroughTheRepeatedHour", "Europe/Berlin",
                   Utc(2026, 10, 25, 0, 45), Fields(2026, 10, 25, 2, 45), Utc(2026, 10, 25, 0, 45)},
        ChangeCase{"BerlinSecondPassThroughTheRepeatedHour", "Europe/Berlin",
                   Utc(2026, 10, 25, 1, 45), Fields(2026, 10, 25, 2, 45), Utc(2026, 10, 25, 1, 45)},
        // Adelaide falls back at 16:30 UTC on 4 April 2026 (03:00 ACDT becomes 02:00 ACST).
        ChangeCase{"AdelaideFirstPassThroughTheRepeatedHour", "Australia/Adelaide",
                   Utc(2026, 4, 4, 16, 0), Fields(2026, 4, 5, 2, 30), Utc(2026, 4, 4, 16, 0)},
        ChangeCase{"AdelaideSecondPassThroughTheRepeatedHour", "Australia/Adelaide",
                   Utc(2026, 4, 4, 17, 0), Fields(2026, 4, 5, 2, 30), Utc(2026, 4, 4, 17, 0)},
        // Chatham falls back at 14:00 UTC on 4 April 2026 (03:45 CHADT becomes 02:45 CHAST).
        ChangeCase{"ChathamFirstPassThroughTheRepeatedHour", "Pacific/Chatham",
                   Utc(2026, 4, 4, 13, 15), Fields(2026, 4, 5, 3, 0), Utc(2026, 4, 4, 13, 15)},
        ChangeCase{"ChathamSecondPassThroughTheRepeatedHour", "Pacific/Chatham",
                   Utc(2026, 4, 4, 14, 15), Fields(2026, 4, 5, 3, 0), Utc(2026, 4, 4, 14, 15)}),
    ChangeName);

TEST(SetLocalTime, ARefusalOrFieldsThatAreNoTimeLeaveTheClockAndSayWhy) {
  ScopedTimeZone zone("Europe/Berlin");
  FakeKernelClock kernel(Utc(2026, 7, 1, 12, 0));
  SYSTEMTIME fields = Fields(2026, 7, 1, 14, 0);
  kernel.refuse_with = EPERM;
  SetLastError(0);
  EXPECT_FALSE(ClockApi::Real().SetLocalTime(&fields));
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
  kernel.refuse_with = 0;
  fields.wMonth = 13;
  EXPECT_FALSE(ClockApi::Real().SetLocalTime(&fields));
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
  EXPECT_TRUE(kernel.set_times.empty());
  EXPECT_EQ(kernel.now.tv_sec, Utc(2026, 7, 1, 12, 0));
}

TEST(RealZoneChange, IsSeenOnTheNextReadingWithoutRestart) {
  FakeKernelClock kernel(Utc(2026, 7, 1, 12, 0));
  ScopedTimeZone zone("Asia/Kolkata");  // restores the process's zone afterwards
  TIME_ZONE_INFORMATION info;
  ClockApi::Real().GetTimeZoneInformation(&info);
  EXPECT_EQ(info.Bias, -330);
  // The zone changes under the running program, as when the user picks another one; nobody
  // tells the C library.
  setenv("TZ", "America/New_York", 1);
  ClockApi::Real().GetTimeZoneInformation(&info);
  EXPECT_EQ(info.Bias, 240);
  SYSTEMTIME local;
  setenv("TZ", "Europe/Berlin", 1);
  ClockApi::Real().GetLocalTime(&local);
  EXPECT_EQ(local.wHour, 14);
}
