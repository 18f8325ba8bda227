#include "components/DriftFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

using namespace components;

namespace {

// ---- Student's t quantile against the closed forms it has for 1, 2 and 4 degrees ----------

double ClosedFormQuantile(double p, int degrees) {
  switch (degrees) {
    case 1:
      return std::tan(std::numbers::pi * (p - 0.5));
    case 2:
      return (2 * p - 1) / std::sqrt(2 * p * (1 - p));
    default: {  // 4
      const double alpha = 4 * p * (1 - p);
      const double q = std::cos(std::acos(std::sqrt(alpha)) / 3) / std::sqrt(alpha);
      return (p < 0.5 ? -2 : 2) * std::sqrt(q - 1);
    }
  }
}

struct QuantileRow {
  double p;
  int degrees;
};

class StudentTQuantileTest : public testing::TestWithParam<QuantileRow> {};

TEST_P(StudentTQuantileTest, MatchesTheClosedForm) {
  const auto [p, degrees] = GetParam();
  const double expected = ClosedFormQuantile(p, degrees);
  EXPECT_NEAR(StudentTQuantile(p, degrees), expected, 1e-9 * std::fabs(expected) + 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Rows, StudentTQuantileTest,
                         testing::Values(QuantileRow{0.975, 1}, QuantileRow{0.975, 2},
                                         QuantileRow{0.975, 4}, QuantileRow{0.025, 4},
                                         QuantileRow{0.6, 2}, QuantileRow{0.9995, 1}));

TEST(StudentTQuantileLimit, ManyDegreesApproachTheNormalQuantile) {
  // The normal distribution's 97.5 % point.
  EXPECT_NEAR(StudentTQuantile(0.975, 1e7), 1.959963984540054, 1e-6);
}

// ---- simulated runs ----------------------------------------------------------------------

// A run as a network gives it: samples a few seconds apart at uneven times, an error that
// grows by `perDay` seconds a day, white noise, and now and then a reply delayed on its way
// back, which shows the error later by half the extra delay.
struct TSimulatedRun {
  std::vector<double> times;   // seconds since 1970 UTC
  std::vector<double> errors;  // seconds
};

TSimulatedRun SimulateRun(std::mt19937_64& random, int count, double perDay, double offset,
                          double noise) {
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::normal_distribution<double> normal(0.0, noise);
  TSimulatedRun run;
  double time = 1.78e9;
  for (int i = 0; i < count; ++i) {
    time += 5.0 * (0.5 + uniform(random));  // about 5 s apart, never evenly
    double error = offset + perDay * (time - 1.78e9) / 86400 + normal(random);
    if (uniform(random) < 0.03) error += uniform(random) * 20 * noise;  // a delayed reply
    run.times.push_back(time);
    run.errors.push_back(error);
  }
  return run;
}

TEST(DriftFitCoverage, TheIntervalHoldsTheTrueDriftInNinetyFivePercentOfRuns) {
  std::mt19937_64 random(20260301);
  constexpr int kRuns = 1000;
  constexpr double kTruePerDay = 1.7;  // seconds per day
  int held = 0;
  for (int run = 0; run < kRuns; ++run) {
    const TSimulatedRun simulated = SimulateRun(random, 200, kTruePerDay, 0.3, 2e-3);
    TDriftFit fit;
    for (std::size_t i = 0; i < simulated.times.size(); ++i)
      fit.Add(simulated.times[i], simulated.errors[i]);
    const TFittedDrift result = fit.Result();
    ASSERT_TRUE(result.HasInterval);
    if (std::fabs(result.PerDay - kTruePerDay) <= result.HalfWidth) ++held;
  }
  EXPECT_GE(held, 930);
  EXPECT_LE(held, 970);
}

// ---- the kept fit against a fresh one ----------------------------------------------------

struct AgreementRow {
  const char* name;
  int count;
  double offset;  // seconds
  double noise;   // seconds
};

class DriftFitAgreementTest : public testing::TestWithParam<AgreementRow> {};

TEST_P(DriftFitAgreementTest, KeptFitEqualsAFreshFitToOnePartInABillion) {
  const AgreementRow row = GetParam();
  std::mt19937_64 random(7);
  const TSimulatedRun run = SimulateRun(random, row.count, -0.8, row.offset, row.noise);
  TDriftFit kept;
  for (std::size_t i = 0; i < run.times.size(); ++i) kept.Add(run.times[i], run.errors[i]);
  const TFittedDrift incremental = kept.Result();
  const TFittedDrift fresh = FitDrift(run.times, run.errors);
  ASSERT_EQ(incremental.Count, row.count);
  ASSERT_TRUE(fresh.HasInterval);
  EXPECT_NEAR(incremental.PerDay, fresh.PerDay, 1e-9 * std::fabs(fresh.PerDay));
  EXPECT_NEAR(incremental.Ppm, fresh.Ppm, 1e-9 * std::fabs(fresh.Ppm));
  EXPECT_NEAR(incremental.HalfWidth, fresh.HalfWidth, 1e-9 * fresh.HalfWidth);
  EXPECT_NEAR(incremental.ResidualStdDev, fresh.ResidualStdDev, 1e-9 * fresh.ResidualStdDev);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DriftFitAgreementTest,
    testing::Values(
        // A million samples on a good network: residuals a ten-thousandth of the trend.
        AgreementRow{"MillionSamplesGoodNetwork", 1000000, 0.25, 5e-5},
        // A clock an hour off with microsecond noise: sums of squares of the errors themselves
        // would cancel away every digit of the residuals.
        AgreementRow{"ClockAnHourOff", 1000000, 3600, 1e-6},
        // The fewest errors that give an interval.
        AgreementRow{"ThreeErrors", 3, 0.1, 1e-3}),
    [](const testing::TestParamInfo<AgreementRow>& info) { return info.param.name; });

// Errors 0, 1, 0 s a day apart: slope 0, residuals -1/3, 2/3, -1/3 s (squares sum to 2/3 over
// one degree of freedom), times spread by sqrt(2) days, and t(0.975, 1) = tan(0.475 pi).
TEST(DriftFitInterval, ThreeErrorsGiveTheTextbookFigures) {
  TDriftFit fit;
  for (int day = 0; day < 3; ++day) fit.Add(1.78e9 + day * 86400.0, day == 1 ? 1.0 : 0.0);
  const TFittedDrift result = fit.Result();
  EXPECT_NEAR(result.PerDay, 0.0, 1e-12);
  EXPECT_NEAR(result.ResidualStdDev, std::sqrt(2.0 / 3), 1e-12);
  EXPECT_NEAR(result.HalfWidth, std::tan(0.475 * std::numbers::pi) * std::sqrt(1.0 / 3), 1e-9);
}

// ---- what a short run shows --------------------------------------------------------------

struct ShortRunRow {
  const char* name;
  std::vector<double> times;
  bool hasRate;
  bool hasInterval;
};

class DriftFitShortRunTest : public testing::TestWithParam<ShortRunRow> {};

TEST_P(DriftFitShortRunTest, ShowsOnlyWhatItsErrorsCanSay) {
  const ShortRunRow& row = GetParam();
  TDriftFit fit;
  // An error growing by exactly 1 s per day.
  for (double time : row.times) fit.Add(time, 0.5 + time / 86400);
  const TFittedDrift result = fit.Result();
  EXPECT_EQ(result.HasRate, row.hasRate);
  EXPECT_EQ(result.HasInterval, row.hasInterval);
  if (row.hasRate) {
    EXPECT_NEAR(result.PerDay, 1.0, 1e-9);
    EXPECT_NEAR(result.Ppm, 1e6 / 86400, 1e-6);
  }
  fit.Clear();
  EXPECT_FALSE(fit.Result().HasRate);
  EXPECT_EQ(fit.Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, DriftFitShortRunTest,
                         testing::Values(ShortRunRow{"None", {}, false, false},
                                         ShortRunRow{"One", {100}, false, false},
                                         ShortRunRow{"TwoAtOneTime", {100, 100}, false, false},
                                         ShortRunRow{"Two", {100, 3700}, true, false},
                                         ShortRunRow{"Three", {100, 3700, 7300}, true, true}),
                         [](const testing::TestParamInfo<ShortRunRow>& info) {
                           return info.param.name;
                         });

}  // namespace
