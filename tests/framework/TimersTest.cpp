#include "framework/Timers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using framework::TTimer;

namespace {

struct IntervalRow {
  const char* name;
  uint32_t milliseconds;
  int parts;  // expiries of the event loop's timer per OnTimer
};

class LongInterval : public ::testing::TestWithParam<IntervalRow> {};

// The parts of each interval add up to it, each one countable by the event loop, and only the
// expiry that ends the last part fires OnTimer; the next interval starts again at its first.
TEST_P(LongInterval, FiresOncePerWholeIntervalHoweverItIsSplit) {
  const IntervalRow& row = GetParam();
  TTimer timer;
  int fired = 0;
  timer.OnTimer = [&](QObject* sender) {
    EXPECT_EQ(sender, &timer);
    ++fired;
  };
  timer.SetInterval(row.milliseconds);
  EXPECT_EQ(timer.Interval(), row.milliseconds);
  EXPECT_TRUE(timer.Active());
  for (int interval = 1; interval <= 2; ++interval) {
    uint64_t waited = 0;
    int expiries = 0;
    while (fired < interval && expiries <= row.parts) {
      ASSERT_GT(timer.PartLength(), 0);
      waited += static_cast<uint64_t>(timer.PartLength());
      timer.Tick();
      ++expiries;
    }
    EXPECT_EQ(fired, interval);
    EXPECT_EQ(expiries, row.parts);
    EXPECT_EQ(waited, row.milliseconds);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LongInterval,
    ::testing::Values(IntervalRow{"Short", 300, 1},
                      IntervalRow{"TheLongestTheEventLoopCounts", 2147483647, 1},
                      IntervalRow{"TwoToTheThirtyFirst", 2147483648u, 2},
                      IntervalRow{"TwoUnequalParts", 2147483649u, 2},
                      IntervalRow{"TheLongestWord", 4294967295u, 3}),
    [](const ::testing::TestParamInfo<IntervalRow>& info) { return info.param.name; });

TEST(LongInterval, ANewIntervalStartsAtItsFirstPart) {
  TTimer timer;
  int fired = 0;
  timer.OnTimer = [&](QObject*) { ++fired; };
  timer.SetInterval(4294967295u);
  timer.Tick();  // the first of three parts has passed
  timer.SetInterval(2147483648u);
  timer.Tick();
  EXPECT_EQ(fired, 0);
  timer.Tick();
  EXPECT_EQ(fired, 1);
}

}  // namespace
