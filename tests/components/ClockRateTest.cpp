#include "components/ClockRate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using components::AdjustmentForPerDay;
using components::AdjustmentPerDay;

namespace {

// Increments and adjustments in 100-ns units, rates in seconds per day.
struct PerDayRow {
  const char* name;
  uint32_t adjustment;
  uint32_t increment;
  double perDay;
};

class PerDay : public ::testing::TestWithParam<PerDayRow> {};

TEST_P(PerDay, IsTheRateTheAdjustmentGives) {
  const PerDayRow& row = GetParam();
  EXPECT_NEAR(AdjustmentPerDay(row.adjustment, row.increment), row.perDay, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PerDay,
    ::testing::Values(PerDayRow{"EqualToTheIncrementIsNoChange", 156250, 156250, 0.0},
                      PerDayRow{"OneUnitAboveAt15625MicrosecondsIsTheReReadRate", 156252, 156250,
                                1.10592},
                      PerDayRow{"TenMicrosecondsSlowPerSecondLoses", 9999900, 10000000, -0.864},
                      PerDayRow{"NoIntervalReadYetIsNoRate", 156250, 0, 0.0},
                      PerDayRow{"WordsFromTwoToTheThirtyFirstAreUnsigned", 4294967295u, 2147483648u,
                                86400.0 * 2147483647 / 2147483648}),
    [](const ::testing::TestParamInfo<PerDayRow>& info) { return info.param.name; });

struct AdjustmentRow {
  const char* name;
  uint32_t increment;
  double perDay;
  uint32_t adjustment;
};

class Adjustment : public ::testing::TestWithParam<AdjustmentRow> {};

TEST_P(Adjustment, IsTheNearestWholeUnitInTheLow32Bits) {
  const AdjustmentRow& row = GetParam();
  EXPECT_EQ(AdjustmentForPerDay(row.increment, row.perDay), row.adjustment);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Adjustment,
    ::testing::Values(
        AdjustmentRow{"OneSecondADayAt15625MicrosecondsRoundsUp", 156250, 1.0, 156252},
        AdjustmentRow{"NoChangeIsTheIncrement", 156250, 0.0, 156250},
        AdjustmentRow{"AHalfGoesToTheEvenUnitBelow", 2, 21600, 2},  // 2.5
        AdjustmentRow{"AHalfGoesToTheEvenUnitAbove", 2, 64800, 4},  // 3.5
        AdjustmentRow{"PastTheLargestWordKeepsTheLow32Bits", 4294967295u, 86400, 4294967294u},
        AdjustmentRow{"BelowZeroWrapsAsAnUnsignedWord", 156250, -172800, 4294967296 - 156250},
        AdjustmentRow{"NotANumberGivesZero", 156250, std::numeric_limits<double>::quiet_NaN(), 0}),
    [](const ::testing::TestParamInfo<AdjustmentRow>& info) { return info.param.name; });

}  // namespace
