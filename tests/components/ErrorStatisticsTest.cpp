#include "components/ErrorStatistics.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace components;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

double Exact(std::initializer_list<double> values) {
  TExactSum sum;
  for (double v : values) sum.Add(v);
  return sum.Value();
}

// The shown form of a statistic: fixed, three decimals (with a point, whatever the locale).
std::string Fixed3(double value) {
  char text[400];
  const std::to_chars_result end =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
  return std::string(text, end.ptr);
}

// The drift exactly as a fresh pass over the store computes it: the mean of the first and the
// last b + 1 errors summed in index order, the spacing span / (n - 1).
TDrift DriftByFreshPass(const std::vector<double>& errors, double span) {
  const int n = int(errors.size());
  const int b = n / 10;
  auto mean = [&](int first, int last) {
    return MeanInOrder(
        std::span<const double>(errors.data() + first, std::size_t(last - first + 1)));
  };
  TDrift drift;
  drift.Total = mean(n - 1 - b, n - 1) - mean(0, b);
  const double dt = n >= 2 ? span / (n - 1) : 0.0;
  const double distance = dt * ((n - 1 - b) + (n - 1)) / 2.0 - dt * (b / 2.0);
  drift.PerDay = distance != 0 ? drift.Total / distance : drift.Total;
  return drift;
}

// Errors fed to a run as the measurement cycle feeds them: appended to the store, then
// accepted, `step` days apart from day `start`.
struct TRun {
  std::vector<double> store;
  TErrorStatistics statistics;
  double now = 45000.0;  // a local date-time in days
  void Accept(double error) {
    store.push_back(error);
    statistics.Accept(store, now);
  }
  void Clear() {
    store.clear();
    statistics.Clear();
  }
};

std::vector<double> RandomErrors(int n, unsigned seed, double scale = 1.0) {
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal(0.0, scale);
  std::vector<double> values;
  for (int i = 0; i < n; ++i) values.push_back(normal(random));
  return values;
}

}  // namespace

// ---- sums over a whole store ------------------------------------------------------------

TEST(WholeStoreSums, AddInIndexOrderFromZero) {
  // In index order 1e16 + 1 + 1 loses both ones; any other grouping keeps one or both.
  const std::vector<double> items{1e16, 1.0, 1.0};
  EXPECT_EQ(SumInOrder(items), 1e16);
  EXPECT_EQ(SumInOrder(std::vector<double>{1.0, 1.0, 1e16}), 1e16 + 2);
  EXPECT_EQ(SumInOrder({}), 0.0);
  EXPECT_EQ(MeanInOrder({}), 0.0);
  EXPECT_EQ(MeanInOrder(std::vector<double>{1.0, 2.0, 4.0}), 7.0 / 3.0);
}

TEST(WholeStoreSums, PopulationVarianceDividesByTheCount) {
  EXPECT_EQ(PopulationVariance(std::vector<double>{1.0, 3.0}), 1.0);
  EXPECT_EQ(PopulationStdDev(std::vector<double>{1.0, 3.0}), 1.0);
  EXPECT_EQ(PopulationVariance(std::vector<double>{2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0}), 4.0);
  EXPECT_EQ(PopulationStdDev(std::vector<double>{5.0}), 0.0);
  EXPECT_EQ(PopulationVariance({}), 0.0);
}

// ---- exact sum --------------------------------------------------------------------------

TEST(ExactSum, KeepsWhatARoundedTotalLoses) {
  EXPECT_EQ(Exact({1e100, 1.0, -1e100}), 1.0);
  // The three doubles nearest 0.1, 0.2 and -0.3 add up to exactly 2^-55; in index order the
  // first addition rounds and leaves 2^-54.
  EXPECT_EQ(Exact({0.1, 0.2, -0.3}), 0x1p-55);
  EXPECT_EQ(SumInOrder(std::vector<double>{0.1, 0.2, -0.3}), 0x1p-54);
  EXPECT_EQ(Exact({-1.5, 0.25}), -1.25);
  EXPECT_EQ(Exact({}), 0.0);
  EXPECT_FALSE(std::signbit(Exact({-0.0})));  // as 0.0 + -0.0 gives
}

TEST(ExactSum, RoundsOnceToNearestTiesToEven) {
  const double two53 = 9007199254740992.0;              // 2^53: the spacing of doubles becomes 2
  EXPECT_EQ(Exact({two53, 1.0}), two53);                // a tie: down to the even mantissa
  EXPECT_EQ(Exact({two53 + 2, 1.0}), two53 + 4);        // a tie: up to the even mantissa
  EXPECT_EQ(Exact({two53, 1.0, 1.0}), two53 + 2);       // no tie: exact
  EXPECT_EQ(Exact({two53, 1.0, 0x1p-100}), two53 + 2);  // just above the tie
  EXPECT_EQ(Exact({two53, 1.0, -0x1p-100}), two53);     // just below the tie
  EXPECT_EQ(Exact({-two53, -1.0, -0x1p-100}), -two53 - 2);
  EXPECT_EQ(Exact({two53 * 2, 3.0}), two53 * 2 + 4);  // spacing 4: 3 rounds up to 4
}

TEST(ExactSum, EqualsTheRoundedSumOfTwoValues) {
  // Two values are the case where the floating-point addition itself is correctly rounded.
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> exponent(-1070, 1020);
  std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
  for (int i = 0; i < 20000; ++i) {
    const double a = std::ldexp(mantissa(random), exponent(random));
    const double b = std::ldexp(mantissa(random), exponent(random) / 8 + (i % 3 ? 0 : -1000));
    ASSERT_EQ(Exact({a, b}), a + b) << a << " + " << b;
  }
}

TEST(ExactSum, OrderDoesNotMatterAndSubtractingUndoesAdding) {
  std::vector<double> values = RandomErrors(2000, 11);
  for (int i = 0; i < 2000; i += 7) values[std::size_t(i)] *= 1e30;  // wide dynamic range
  TExactSum forwards;
  TExactSum backwards;
  for (double v : values) forwards.Add(v);
  for (auto v = values.rbegin(); v != values.rend(); ++v) backwards.Add(*v);
  EXPECT_EQ(forwards.Value(), backwards.Value());
  // Take out all but the last 100: the same as summing those 100 afresh.
  for (std::size_t i = 0; i + 100 < values.size(); ++i) forwards.Subtract(values[i]);
  TExactSum fresh;
  for (std::size_t i = values.size() - 100; i < values.size(); ++i) fresh.Add(values[i]);
  EXPECT_EQ(forwards.Value(), fresh.Value());
  for (std::size_t i = values.size() - 100; i < values.size(); ++i) forwards.Subtract(values[i]);
  EXPECT_EQ(forwards.Value(), 0.0);
}

TEST(ExactSum, SpansTheWholeDoubleRange) {
  const double tiniest = std::numeric_limits<double>::denorm_min();
  const double largest = std::numeric_limits<double>::max();
  EXPECT_EQ(Exact({tiniest, tiniest}), 2 * tiniest);
  EXPECT_EQ(Exact({largest, tiniest, -largest}), tiniest);
  EXPECT_EQ(Exact({largest, largest, -largest}), largest);  // no overflow on the way
  EXPECT_EQ(Exact({largest, largest}), kInfinity);          // the sum itself is beyond
  EXPECT_EQ(Exact({-largest, -largest}), -kInfinity);
  EXPECT_EQ(Exact({std::numeric_limits<double>::min(), -tiniest}),
            std::numeric_limits<double>::min() - tiniest);
}

TEST(ExactSum, NonFiniteValuesAreHeldApartAndCanBeTakenOut) {
  TExactSum sum;
  sum.Add(2.0);
  sum.Add(kInfinity);
  EXPECT_EQ(sum.Value(), kInfinity);
  sum.Add(-kInfinity);
  EXPECT_TRUE(std::isnan(sum.Value()));
  sum.Subtract(kInfinity);
  EXPECT_EQ(sum.Value(), -kInfinity);
  sum.Subtract(-kInfinity);
  sum.Add(std::nan(""));
  EXPECT_TRUE(std::isnan(sum.Value()));
  sum.Subtract(std::nan(""));
  EXPECT_EQ(sum.Value(), 2.0);
  sum.Clear();
  EXPECT_EQ(sum.Value(), 0.0);
}

// ---- the statistics run: the shown cases ------------------------------------------------

TEST(StatisticsRun, OneErrorHasNoDrift) {
  TRun run;
  run.Accept(0.25);
  const double second = 1.0 / 86400;  // days
  const TErrorSummary summary = run.statistics.Summary(run.now + second);
  EXPECT_EQ(summary.Count, 1);
  EXPECT_EQ(summary.Drift.Total, 0.0);
  EXPECT_EQ(summary.Drift.PerDay, 0.0);  // zero distance: per day is the total
  EXPECT_EQ(summary.Mean, 0.25);
  EXPECT_EQ(summary.Min, 0.25);
  EXPECT_EQ(summary.Max, 0.25);
  EXPECT_NEAR(summary.Span, second, 1e-9);
}

TEST(StatisticsRun, UnderTenErrorsCompareTheSingleFirstAndLast) {
  TRun run;
  for (double e : {0.1, -0.4, 0.3, 0.7}) {
    run.Accept(e);
    run.now += 0.25;  // six hours
  }
  // Four samples over a day: the span over three gaps, and three gaps between the first and the
  // last, so the windows' centres are the whole span apart.
  const TErrorSummary summary = run.statistics.Summary(run.now);
  EXPECT_EQ(summary.Count, 4);
  EXPECT_EQ(summary.Drift.Total, 0.7 - 0.1);
  EXPECT_EQ(Fixed3(summary.Drift.Total), "0.600");
  EXPECT_DOUBLE_EQ(summary.Drift.PerDay, (0.7 - 0.1) / 1.0);
  EXPECT_EQ(Fixed3(summary.Drift.PerDay), "0.600");
  EXPECT_EQ(summary.Min, -0.4);
  EXPECT_EQ(summary.Max, 0.7);
  EXPECT_EQ(Fixed3(summary.Mean), "0.175");
  EXPECT_EQ(summary.Span, 1.0);
}

TEST(StatisticsRun, TenToNineteenErrorsUseWindowsOfTwo) {
  TRun run;
  for (int i = 0; i < 12; ++i) {
    run.Accept(i == 0 ? 1.0 : i == 1 ? 3.0 : i == 10 ? 5.0 : i == 11 ? 9.0 : 0.0);
    run.now += 0.5;
  }
  const TDrift drift = run.statistics.Drift(run.now);
  EXPECT_EQ(drift.Total, (5.0 + 9.0) / 2 - (1.0 + 3.0) / 2);
  // Spacing 6 / 11 days (twelve samples, eleven gaps); centres at 0.5 and (10 + 11) / 2 spacings.
  const double spacing = 6.0 / 11;
  EXPECT_DOUBLE_EQ(drift.PerDay, 5.0 / (spacing * 10.5 - spacing * 0.5));
  EXPECT_EQ(run.statistics.FirstWindowMean(), 2.0);
  EXPECT_EQ(run.statistics.LastWindowMean(), 7.0);
  // Nineteen errors still hold two per window; the twentieth makes them three.
  for (int i = 12; i < 19; ++i) run.Accept(0.0);
  EXPECT_EQ(run.statistics.LastWindowMean(), 0.0);
  EXPECT_EQ(run.statistics.FirstWindowMean(), 2.0);
  run.Accept(6.0);
  EXPECT_EQ(run.statistics.FirstWindowMean(), (1.0 + 3.0 + 0.0) / 3);
  EXPECT_EQ(run.statistics.LastWindowMean(), 2.0);
}

TEST(StatisticsRun, AnEvenlyGrowingErrorGivesItsOwnDriftPerDay) {
  // One second per day of wall time, sampled every half hour: n samples are n - 1 spacings
  // apart, so the drift per day is 1 whatever the count.
  for (int n : {2, 5, 9, 10, 19, 49, 200}) {
    TRun run;
    const double start = run.now;
    for (int i = 0; i < n; ++i) {
      run.now = start + i / 48.0;
      run.Accept(i / 48.0);
    }
    EXPECT_NEAR(run.statistics.Drift(run.now).PerDay, 1.0, 1e-9) << n;
  }
}

TEST(StatisticsRun, ErrorsTakenAtOneInstantGiveTheTotalDriftAsTheDriftPerDay) {
  // No time between the windows' centres: the drift per day is the total drift itself.
  TRun run;
  run.Accept(0.5);
  run.Accept(-0.25);
  const TErrorSummary summary = run.statistics.Summary(run.now);
  EXPECT_EQ(summary.Count, 2);
  EXPECT_EQ(summary.Span, 0.0);
  EXPECT_EQ(summary.Drift.Total, -0.75);
  EXPECT_EQ(summary.Drift.PerDay, -0.75);
  EXPECT_EQ(summary.Mean, 0.125);
}

TEST(StatisticsRun, ARunLongerThanADayKeepsItsWholeSpan) {
  // Thirty hours: the span keeps the whole day (the tab's time of day then shows 6:00:00 000).
  TRun run;
  run.Accept(0.0);
  run.now += 1.25;
  run.Accept(0.6);
  const TErrorSummary summary = run.statistics.Summary(run.now);
  EXPECT_EQ(summary.Span, 1.25);
  EXPECT_EQ(summary.Drift.Total, 0.6);
  // Two samples, one gap: the windows' centres are the whole span apart.
  EXPECT_DOUBLE_EQ(summary.Drift.PerDay, 0.6 / 1.25);
}

TEST(StatisticsRun, TheSummaryIsTheRunAtOneInstant) {
  // What the tab shows comes from one reading of the clock: the summary's span and drift are
  // those of that instant, and its count, mean and extremes the run's.
  TRun run;
  const double start = run.now;
  for (int i = 0; i < 25; ++i) {
    run.now = start + i * 0.01;
    run.Accept(i % 2 == 0 ? 0.3 * i : -0.1 * i);
  }
  for (double later : {run.now, run.now + 0.5, run.now + 3.0}) {
    const TErrorSummary summary = run.statistics.Summary(later);
    const TDrift drift = run.statistics.Drift(later);
    EXPECT_EQ(summary.Span, later - start);
    EXPECT_EQ(summary.Drift.Total, drift.Total);
    EXPECT_EQ(summary.Drift.PerDay, drift.PerDay);
    EXPECT_EQ(summary.Count, 25);
    EXPECT_EQ(summary.Mean, SumInOrder(run.store) / 25);
    EXPECT_EQ(summary.Min, -0.1 * 23);
    EXPECT_EQ(summary.Max, 0.3 * 24);
  }
  // Later readings spread the same samples wider: the drift per day shrinks, the total stays.
  EXPECT_GT(std::fabs(run.statistics.Drift(run.now).PerDay),
            std::fabs(run.statistics.Drift(run.now + 3.0).PerDay));
}

TEST(StatisticsRun, ExtremesAreReplacedOnlyByStrictlySmallerOrLarger) {
  TRun run;
  run.Accept(0.0);
  run.Accept(-0.0);  // equal to 0.0: neither extreme changes, so both keep the sign of +0
  EXPECT_FALSE(std::signbit(run.statistics.Min()));
  EXPECT_FALSE(std::signbit(run.statistics.Max()));
  run.Accept(-2.0);
  run.Accept(3.0);
  run.Accept(1.0);
  EXPECT_EQ(run.statistics.Min(), -2.0);
  EXPECT_EQ(run.statistics.Max(), 3.0);
}

TEST(StatisticsRun, ClearStartsANewRunAtTheNextError) {
  TRun run;
  for (double e : {5.0, -5.0, 1.0}) run.Accept(e);
  EXPECT_TRUE(run.statistics.Started());
  run.Clear();
  EXPECT_FALSE(run.statistics.Started());
  run.now += 2.0;
  run.Accept(0.5);
  run.Accept(0.75);
  const TErrorSummary summary = run.statistics.Summary(run.now + 1.0);
  EXPECT_EQ(run.statistics.Start(), run.now);
  EXPECT_EQ(summary.Count, 2);
  EXPECT_EQ(summary.Min, 0.5);
  EXPECT_EQ(summary.Max, 0.75);
  EXPECT_EQ(summary.Mean, 0.625);
  EXPECT_EQ(summary.Span, 1.0);
  EXPECT_EQ(summary.Drift.Total, 0.25);
}

TEST(StatisticsRun, AStoreEmptiedWithoutClearRestartsTheWindows) {
  TRun run;
  for (int i = 0; i < 30; ++i) run.Accept(i);
  run.store.clear();  // the run itself goes on
  run.Accept(4.0);
  run.Accept(8.0);
  EXPECT_EQ(run.statistics.Count(), 2);
  EXPECT_EQ(run.statistics.FirstWindowMean(), 4.0);
  EXPECT_EQ(run.statistics.LastWindowMean(), 8.0);
}

// ---- the statistics run against a fresh pass over the store ------------------------------

TEST(StatisticsAgainstAFreshPass, TheFirstWindowIsBitIdenticalAtEverySize) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const std::vector<double> errors = RandomErrors(5000, seed, seed == 3 ? 1e6 : 0.01);
    TRun run;
    for (int n = 1; n <= int(errors.size()); ++n) {
      run.Accept(errors[std::size_t(n) - 1]);
      const int b = n / 10;
      const double fresh =
          MeanInOrder(std::span<const double>(run.store.data(), std::size_t(b + 1)));
      ASSERT_EQ(run.statistics.FirstWindowMean(), fresh) << "seed " << seed << ", n " << n;
      ASSERT_EQ(run.statistics.Sum(), SumInOrder(run.store)) << n;
    }
  }
}

TEST(StatisticsAgainstAFreshPass, TheLastWindowIsTheCorrectlyRoundedSumWithinTheBoundOfThePass) {
  const std::vector<double> errors = RandomErrors(5000, 5, 0.05);
  TRun run;
  const double u = std::ldexp(1.0, -53);  // unit roundoff
  for (int n = 1; n <= int(errors.size()); ++n) {
    run.Accept(errors[std::size_t(n) - 1]);
    const int b = n / 10;
    const std::span<const double> window(run.store.data() + (n - 1 - b), std::size_t(b + 1));
    // The kept window equals the window summed exactly afresh and rounded once.
    TExactSum exact;
    for (double e : window) exact.Add(e);
    ASSERT_EQ(run.statistics.LastWindowMean(), exact.Value() / (b + 1)) << n;
    // An index-order pass over k items is within (k - 1) u Σ|x| of the exact sum; windows of
    // up to two items (fewer than 20 errors) round the one addition as the exact sum does.
    const double fresh = SumInOrder(window);
    double magnitude = 0;
    for (double e : window) magnitude += std::fabs(e);
    const double bound = b * u * magnitude * (1 + 2 * b * u);
    if (n < 20)
      ASSERT_EQ(exact.Value(), fresh) << n;
    else
      ASSERT_LE(std::fabs(exact.Value() - fresh), bound) << n;
  }
}

TEST(StatisticsAgainstAFreshPass, TheShownDriftMatchesAtEverySize) {
  const std::vector<double> errors = RandomErrors(3000, 9, 0.2);
  TRun run;
  const double start = run.now;
  for (int n = 1; n <= int(errors.size()); ++n) {
    run.now = start + n * 3.5e-6;  // 0.3 s apart
    run.Accept(errors[std::size_t(n) - 1] + n * 1e-4);
    const double now = run.now + 1e-6;
    const TDrift kept = run.statistics.Drift(now);
    const TDrift fresh = DriftByFreshPass(run.store, now - run.statistics.Start());
    if (n < 20) {
      ASSERT_EQ(kept.Total, fresh.Total) << n;
      ASSERT_EQ(kept.PerDay, fresh.PerDay) << n;
    } else {
      ASSERT_NEAR(kept.Total, fresh.Total, 1e-12) << n;
      ASSERT_NEAR(kept.PerDay, fresh.PerDay, 1e-12 * std::fabs(fresh.PerDay) + 1e-9) << n;
    }
    ASSERT_EQ(Fixed3(kept.Total), Fixed3(fresh.Total)) << n;
    ASSERT_EQ(Fixed3(kept.PerDay), Fixed3(fresh.PerDay)) << n;
  }
}

TEST(StatisticsAgainstAFreshPass, AnAcceptReadsOnlyTheItemsEnteringOrLeavingAWindow) {
  // Spoil every held item that neither enters nor leaves a window on the next accept: an
  // accept that re-read the store would take the NaNs in.
  const std::vector<double> errors = RandomErrors(2001, 13);
  for (int n : {1000, 1009, 2000}) {
    TRun run;
    for (int i = 0; i < n; ++i) run.Accept(errors[std::size_t(i)]);
    TRun reference = run;
    const int b = (n + 1) / 10;
    for (int i = 0; i < n; ++i) {
      const bool leaving = i == n - 1 - (n / 10);
      const bool entering = i == b;  // the first window's new end, when it grows
      if (!leaving && !entering) run.store[std::size_t(i)] = std::nan("");
    }
    run.Accept(errors[std::size_t(n)]);
    reference.Accept(errors[std::size_t(n)]);
    EXPECT_EQ(run.statistics.FirstWindowMean(), reference.statistics.FirstWindowMean()) << n;
    EXPECT_EQ(run.statistics.LastWindowMean(), reference.statistics.LastWindowMean()) << n;
    EXPECT_FALSE(std::isnan(run.statistics.LastWindowMean())) << n;
  }
}
