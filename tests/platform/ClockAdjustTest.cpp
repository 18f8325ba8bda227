#include "platform/ClockAdjust.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/timex.h>
#include <unistd.h>

#include <cerrno>

#include "platform/LastError.h"
#include "platform/posix/KernelClockRate.h"
#include "support/ThreadCapabilities.h"

using platform::kernelclock::CountsFromKernel;
using platform::kernelclock::KernelFromCounts;
using platform::kernelclock::KernelRate;
using platform::kernelclock::RateCounts;

namespace {

constexpr long kUserHz = 100;               // the kernel's USER_HZ on every Linux architecture
constexpr long long kTolerance = 32768000;  // 500 ppm * 2^16, what adjtimex reports

timex ReadKernelRate() {
  timex tx{};
  tx.modes = 0;
  EXPECT_NE(::adjtimex(&tx), -1);
  return tx;
}

}  // namespace

// --- From the kernel's tick and frequency to the counts per interrupt -------------------------

TEST(KernelToCounts, NominalTickWithoutCorrectionIsTheDisabledNominalRate) {
  const RateCounts c = CountsFromKernel({10000, 0}, kUserHz);
  EXPECT_EQ(c.increment, 100000u);  // 10 ms in 100-ns units
  EXPECT_EQ(c.adjustment, 100000u);
  EXPECT_TRUE(c.disabled);
}

TEST(KernelToCounts, FrequencyCorrectionScalesTheTick) {
  // +10 ppm of 10 ms is 0.1 us = one 100-ns unit.
  EXPECT_EQ(CountsFromKernel({10000, 10 * 65536}, kUserHz).adjustment, 100001u);
  // The kernel's limit of -500 ppm.
  EXPECT_EQ(CountsFromKernel({10000, -kTolerance}, kUserHz).adjustment, 99950u);
  // A frequency an NTP daemon typically leaves: -18.838 ppm, 99998.116 units.
  const RateCounts steered = CountsFromKernel({10000, -1234567}, kUserHz);
  EXPECT_EQ(steered.adjustment, 99998u);
  EXPECT_FALSE(steered.disabled);
}

TEST(KernelToCounts, TickOtherThanNominalIsAnEnabledAdjustment) {
  const RateCounts c = CountsFromKernel({10001, 0}, kUserHz);
  EXPECT_EQ(c.adjustment, 100010u);
  EXPECT_FALSE(c.disabled);
  // +1 ppm alone rounds to the nominal count, yet the kernel is not at its nominal rate.
  const RateCounts small = CountsFromKernel({10000, 65536}, kUserHz);
  EXPECT_EQ(small.adjustment, 100000u);
  EXPECT_FALSE(small.disabled);
}

TEST(KernelToCounts, OtherUserHzScalesTheNominalInterval) {
  const RateCounts c = CountsFromKernel({1000, 0}, 1000);
  EXPECT_EQ(c.increment, 10000u);
  EXPECT_EQ(c.adjustment, 10000u);
  EXPECT_TRUE(c.disabled);
}

// --- From counts per interrupt back to tick and frequency ------------------------------------

TEST(CountsToKernel, DisabledGivesTheNominalRateWhateverTheAdjustment) {
  KernelRate rate{1, 1};
  ASSERT_EQ(KernelFromCounts(0, true, kUserHz, kTolerance, &rate), 0);
  EXPECT_EQ(rate.tick, 10000);
  EXPECT_EQ(rate.freq, 0);
}

TEST(CountsToKernel, WholeMicrosecondsGoToTheTickTheRestToTheFrequency) {
  KernelRate rate;
  ASSERT_EQ(KernelFromCounts(100000, false, kUserHz, kTolerance, &rate), 0);
  EXPECT_EQ(rate.tick, 10000);
  EXPECT_EQ(rate.freq, 0);

  ASSERT_EQ(KernelFromCounts(100001, false, kUserHz, kTolerance, &rate), 0);
  EXPECT_EQ(rate.tick, 10000);
  EXPECT_EQ(rate.freq, 655360);  // +10 ppm

  // 10000.5 us: the tick rounds up to 10001 us, the frequency takes off 49.995 ppm.
  ASSERT_EQ(KernelFromCounts(100005, false, kUserHz, kTolerance, &rate), 0);
  EXPECT_EQ(rate.tick, 10001);
  EXPECT_EQ(rate.freq, -3276472);
}

TEST(CountsToKernel, TicksOutsideTheKernelsTenPercentAreRefused) {
  KernelRate rate{7, 7};
  EXPECT_EQ(KernelFromCounts(90000, false, kUserHz, kTolerance, &rate), 0);
  EXPECT_EQ(rate.tick, 9000);
  EXPECT_EQ(KernelFromCounts(110000, false, kUserHz, kTolerance, &rate), 0);
  EXPECT_EQ(rate.tick, 11000);

  rate = KernelRate{7, 7};
  EXPECT_EQ(KernelFromCounts(89994, false, kUserHz, kTolerance, &rate), EINVAL);
  EXPECT_EQ(KernelFromCounts(110005, false, kUserHz, kTolerance, &rate), EINVAL);
  EXPECT_EQ(KernelFromCounts(0, false, kUserHz, kTolerance, &rate), EINVAL);
  EXPECT_EQ(KernelFromCounts(0xFFFFFFFFu, false, kUserHz, kTolerance, &rate), EINVAL);
  // A refused value leaves the output alone: nothing is half converted.
  EXPECT_EQ(rate.tick, 7);
  EXPECT_EQ(rate.freq, 7);
}

TEST(CountsToKernel, FrequencyBeyondTheKernelsToleranceIsRefusedNotClamped) {
  KernelRate rate;
  // With a tolerance of 1 ppm, 40 ppm cannot be set.
  EXPECT_EQ(KernelFromCounts(100004, false, kUserHz, 65536, &rate), EINVAL);
  EXPECT_EQ(KernelFromCounts(100000, false, kUserHz, 65536, &rate), 0);
}

TEST(CountsToKernel, EveryAcceptedAdjustmentReadsBackUnchanged) {
  for (uint32_t adjustment = 90000; adjustment <= 110000; ++adjustment) {
    KernelRate rate;
    ASSERT_EQ(KernelFromCounts(adjustment, false, kUserHz, kTolerance, &rate), 0) << adjustment;
    ASSERT_LE(std::llabs(rate.freq), kTolerance) << adjustment;
    ASSERT_EQ(CountsFromKernel(rate, kUserHz).adjustment, adjustment) << adjustment;
  }
}

// --- The real clock rate ----------------------------------------------------------------------

TEST(RealClockRate, ReadsWhatTheKernelRuns) {
  uint32_t adjustment = 0;
  uint32_t increment = 0;
  int32_t disabled = -7;
  const timex before = ReadKernelRate();
  ASSERT_TRUE(
      platform::ClockAdjustApi::Real().GetSystemTimeAdjustment(&adjustment, &increment, &disabled));
  const timex after = ReadKernelRate();
  EXPECT_EQ(increment, 10000000u / static_cast<uint32_t>(sysconf(_SC_CLK_TCK)));
  EXPECT_TRUE(disabled == 0 || disabled == 1);
  if (before.tick == after.tick && before.freq == after.freq) {
    const RateCounts expected = CountsFromKernel({before.tick, before.freq}, sysconf(_SC_CLK_TCK));
    EXPECT_EQ(adjustment, expected.adjustment);
    EXPECT_EQ(disabled != 0, expected.disabled);
  }
}

TEST(RealClockRate, ReadingNeedsNoPrivilege) {
  testing_support::RunInOwnThread([] {
    ASSERT_TRUE(testing_support::DropFromThread(CAP_SYS_TIME));
    ASSERT_FALSE(testing_support::ThreadHasEffective(CAP_SYS_TIME));
    uint32_t adjustment = 0, increment = 0;
    int32_t disabled = 0;
    EXPECT_TRUE(platform::GetSystemTimeAdjustment(&adjustment, &increment, &disabled));
    EXPECT_GT(increment, 0u);
  });
}

TEST(RealClockRate, WritingWithoutThePrivilegeIsRefusedAndChangesNothing) {
  testing_support::RunInOwnThread([] {
    ASSERT_TRUE(testing_support::DropFromThread(CAP_SYS_TIME));
    // Never write the machine's rate: without the capability the kernel must refuse.
    ASSERT_FALSE(testing_support::ThreadHasEffective(CAP_SYS_TIME));
    const timex before = ReadKernelRate();
    uint32_t adjustment = 0, increment = 0;
    int32_t disabled = 0;
    ASSERT_TRUE(platform::GetSystemTimeAdjustment(&adjustment, &increment, &disabled));
    platform::SetLastError(0);
    EXPECT_FALSE(platform::SetSystemTimeAdjustment(adjustment + 1, 0));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EPERM));
    const timex after = ReadKernelRate();
    EXPECT_EQ(after.tick, before.tick);
    EXPECT_EQ(after.freq, before.freq);
  });
}

TEST(RealClockRate, ValuesTheKernelCannotTakeAreRefusedBeforeAnyWrite) {
  testing_support::RunInOwnThread([] {
    ASSERT_TRUE(testing_support::DropFromThread(CAP_SYS_TIME));
    ASSERT_FALSE(testing_support::ThreadHasEffective(CAP_SYS_TIME));
    platform::SetLastError(0);
    // Refused for its value (EINVAL), not for the missing privilege (EPERM).
    EXPECT_FALSE(platform::SetSystemTimeAdjustment(1, 0));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(EINVAL));
  });
}
