#pragma once
// Clocks of the test's. FakeClock stands in for the whole clock area: its local time, zone and
// refusal to be set are the test's. FakeKernelClock stands in only for the kernel's clock under
// the real stand-in, so that the real zone rules run at any instant the test picks.
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "framework/DateUtils.h"
#include "platform/WinTime.h"

namespace testing_support {

class FakeClock : public platform::ClockApi {
 public:
  // Local time; UTC is local + the bias in force.
  framework::TDateTime local = framework::DaysFromCivil(2025, 1, 1) + 0.5;
  // Days the local clock moves on after each reading (0: frozen).
  double step_after_read = 0;
  int bias_minutes = 0;
  int standard_bias = 0;
  int daylight_bias = 0;
  uint32_t zone_state = platform::TIME_ZONE_ID_STANDARD;
  bool refuse_set = false;
  std::vector<platform::SYSTEMTIME> set_times;
  // Every call in order: "local", "system", "zone", "set".
  std::vector<std::string> calls;
  // Called with the name of each call before it is answered.
  std::function<void(const std::string&)> on_call;

  // A zone with the given offset east of UTC in minutes, in standard or daylight time
  // (daylight adds an hour), shaped as Windows reports it.
  void SetZone(int standard_minutes_east, bool daylight) {
    bias_minutes = -standard_minutes_east;
    standard_bias = 0;
    daylight_bias = -60;
    zone_state = daylight ? platform::TIME_ZONE_ID_DAYLIGHT : platform::TIME_ZONE_ID_STANDARD;
  }
  int BiasInForce() const {
    platform::TIME_ZONE_INFORMATION zone;
    zone.Bias = bias_minutes;
    zone.StandardBias = standard_bias;
    zone.DaylightBias = daylight_bias;
    return platform::BiasInForceMinutes(zone, zone_state);
  }

  void GetLocalTime(platform::SYSTEMTIME* time) override {
    Record("local");
    *time = framework::DateTimeToSystemTime(local);
    local += step_after_read;
  }
  void GetSystemTime(platform::SYSTEMTIME* time) override {
    Record("system");
    *time = framework::DateTimeToSystemTime(local + BiasInForce() / 1440.0);
  }
  uint32_t GetTimeZoneInformation(platform::TIME_ZONE_INFORMATION* info) override {
    Record("zone");
    info->Bias = bias_minutes;
    info->StandardBias = standard_bias;
    info->DaylightBias = daylight_bias;
    return zone_state;
  }
  bool SetLocalTime(const platform::SYSTEMTIME* time) override {
    Record("set");
    if (refuse_set) return false;
    set_times.push_back(*time);
    local = framework::SystemTimeToDateTime(*time);
    return true;
  }

 private:
  void Record(const std::string& call) {
    calls.push_back(call);
    if (on_call) on_call(call);
  }

  platform::ScopedOverride<platform::ClockApi> installed_{*this};
};

// The kernel clock at a fixed instant (seconds since 1970, UTC), recording what would be set.
class FakeKernelClock : public platform::KernelClockApi {
 public:
  std::timespec now{};
  int refuse_with = 0;  // an errno, or 0 to accept
  std::vector<std::timespec> set_times;

  explicit FakeKernelClock(time_t utc_seconds, long nanoseconds = 0) {
    now.tv_sec = utc_seconds;
    now.tv_nsec = nanoseconds;
  }
  std::timespec Now() override { return now; }
  int Set(const std::timespec& utc) override {
    if (refuse_with != 0) return refuse_with;
    set_times.push_back(utc);
    now = utc;
    return 0;
  }

 private:
  platform::ScopedOverride<platform::KernelClockApi> installed_{*this};
};

// Runs the real zone rules of one zone for its lifetime (TZ set and read again), then puts
// back what the process had.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* previous = std::getenv("TZ");
    had_previous_ = previous != nullptr;
    if (had_previous_) previous_ = previous;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (had_previous_)
      setenv("TZ", previous_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  bool had_previous_ = false;
  std::string previous_;
};

}  // namespace testing_support
