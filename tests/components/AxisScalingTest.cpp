// The axis arithmetic without a widget: scaling, pixel rounding, label values and the ticks of
// a log axis, at the edges the drawn axes do not reach.
#include "components/AxisScaling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace components;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct TicksRow {
  const char* name;
  double min, max;
  size_t count;  // ticks given
  double first, last;
  int majors;
};

class LogTickWalk : public testing::TestWithParam<TicksRow> {};

TEST_P(LogTickWalk, FromAboveMinToTheLastBelowMax) {
  const TicksRow& row = GetParam();
  const std::vector<TLogTick> ticks = LogTicks(row.min, row.max);
  ASSERT_EQ(ticks.size(), row.count);
  if (ticks.empty()) return;
  EXPECT_DOUBLE_EQ(ticks.front().Value, row.first);
  EXPECT_DOUBLE_EQ(ticks.back().Value, row.last);
  int majors = 0;
  for (const TLogTick& tick : ticks) {
    EXPECT_DOUBLE_EQ(tick.Value, tick.Mantissa * std::pow(10.0, tick.Exponent));
    majors += tick.Major();
  }
  EXPECT_EQ(majors, row.majors);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LogTickWalk,
    testing::Values(TicksRow{"MidDecadeMinStartsAtTheNextDigit", 3.5, 50, 6 + 4, 4, 40, 1},
                    TicksRow{"FractionalDecades", 0.05, 1, 4 + 9, 0.06, 0.9, 1},
                    TicksRow{"NonPositiveMinCountsFromOne", -5, 100, 8 + 9, 2, 90, 1},
                    TicksRow{"TheFirstTickEvenAtOrAboveMax", 1, 1.5, 1, 2, 2, 0}),
    [](const testing::TestParamInfo<TicksRow>& info) { return info.param.name; });

struct ScalingRow {
  const char* name;
  bool log;
  int pixels;
  double min, max;
  double scale, base;
};

class Scaling : public testing::TestWithParam<ScalingRow> {};

TEST_P(Scaling, PixelsPerUnitAndTheValueAtTheOrigin) {
  const ScalingRow& row = GetParam();
  const TAxisScaling s = row.log ? LogScaling(row.pixels, row.min, row.max)
                                 : LinearScaling(row.pixels, row.min, row.max);
  EXPECT_DOUBLE_EQ(s.Scale, row.scale);
  EXPECT_DOUBLE_EQ(s.Base, row.base);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Scaling,
    testing::Values(ScalingRow{"LinearBackwards", false, 300, 10, 0, -30, 10},
                    ScalingRow{"LogNonPositiveMinIsOne", true, 200, -5, 100, 100, 0},
                    ScalingRow{"LogZeroSpan", true, 200, 10, 10, 1e-99, 1}),
    [](const testing::TestParamInfo<ScalingRow>& info) { return info.param.name; });

TEST(AxisCoordinate, ALogAxisTakesNonPositiveValuesAsOne) {
  EXPECT_EQ(AxisCoordinate(1000, true), 3);
  EXPECT_EQ(AxisCoordinate(0, true), 0);
  EXPECT_EQ(AxisCoordinate(-5, true), 0);
  EXPECT_EQ(AxisCoordinate(-5, false), -5);
}

TEST(PixelRounding, TiesToEvenTruncationTowardsZeroAndLimits) {
  const struct {
    double value;
    int rounded, truncated;
  } rows[] = {{2.5, 2, 2},
              {3.5, 4, 3},
              {-2.5, -2, -2},
              {-2.7, -3, -2},
              {NAN, 0, 0},
              {1e300, 100000000, 100000000},
              {-kInfinity, -100000000, -100000000}};
  for (const auto& row : rows) {
    EXPECT_EQ(RoundPixel(row.value), row.rounded) << row.value;
    EXPECT_EQ(TruncPixel(row.value), row.truncated) << row.value;
  }
}

TEST(MulDiv, HalvesAwayFromZeroWhateverTheSigns) {
  const struct {
    int a, b, c, result;
  } rows[] = {{10, 65, 100, 7}, {-10, 65, 100, -7}, {10, -65, 100, -7}, {10, 65, -100, -7},
              {7, 65, 100, 5},  {-7, 65, 100, -5},  {1, 1, 0, -1}};
  for (const auto& row : rows)
    EXPECT_EQ(MulDiv(row.a, row.b, row.c), row.result) << row.a << " " << row.b << " " << row.c;
}

TEST(FirstLabelValue, RelativeLabelsStartAtZeroOrAtTheSpanOfABackwardsAxis) {
  EXPECT_EQ(FirstLabelValue(600, 900, false), 600);
  EXPECT_EQ(FirstLabelValue(600, 900, true), 0);
  EXPECT_EQ(FirstLabelValue(900, 600, true), 300);
}

}  // namespace
