#pragma once
// A clock area whose local time, zone bias and refusal to be set are the test's.
#include <vector>

#include "framework/DateUtils.h"
#include "platform/WinTime.h"

namespace testing_support {

class FakeClock : public platform::ClockApi {
 public:
  // Local time; UTC is local + bias.
  framework::TDateTime local = framework::DaysFromCivil(2025, 1, 1) + 0.5;
  int bias_minutes = 0;
  int standard_bias = 0;
  int daylight_bias = 0;
  uint32_t zone_state = platform::TIME_ZONE_ID_STANDARD;
  bool refuse_set = false;
  std::vector<platform::SYSTEMTIME> set_times;

  void GetLocalTime(platform::SYSTEMTIME* time) override {
    *time = framework::DateTimeToSystemTime(local);
  }
  void GetSystemTime(platform::SYSTEMTIME* time) override {
    *time = framework::DateTimeToSystemTime(local + (bias_minutes + standard_bias) / 1440.0);
  }
  uint32_t GetTimeZoneInformation(platform::TIME_ZONE_INFORMATION* info) override {
    info->Bias = bias_minutes;
    info->StandardBias = standard_bias;
    info->DaylightBias = daylight_bias;
    return zone_state;
  }
  bool SetLocalTime(const platform::SYSTEMTIME* time) override {
    if (refuse_set) return false;
    set_times.push_back(*time);
    local = framework::SystemTimeToDateTime(*time);
    return true;
  }

 private:
  platform::ScopedOverride<platform::ClockApi> installed_{*this};
};

}  // namespace testing_support
