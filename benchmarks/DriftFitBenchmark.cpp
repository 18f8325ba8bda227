// The fitted drift against the described tenth-window drift on simulated day-long runs with a
// known drift: how far each lands from the truth (RMS), how often the fit's 95 % interval holds
// the truth, and what taking in one error costs.
//
// A run samples about once a minute with white noise and now and then a reply delayed on its
// way back; in a third of the runs the computer sleeps for some hours, so the samples are not
// evenly spaced, which the tenth-window figure takes them to be.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "components/DriftFit.h"
#include "components/ErrorStatistics.h"

#include "RatioReporter.h"

namespace {

constexpr double kTruePerDay = 1.7;       // seconds per day
constexpr double kNoise = 2e-3;           // seconds, standard deviation
constexpr double kSecondsPerDay = 86400;  // seconds
constexpr double kStart = 1.78e9;         // seconds since 1970 UTC

struct TRunResult {
  double fitted = 0, tenth = 0, halfWidth = 0;
};

TRunResult SimulateRun(std::mt19937_64& random) {
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::normal_distribution<double> normal(0.0, kNoise);
  const bool sleeps = uniform(random) < 1.0 / 3;
  const double sleepAt = kStart + kSecondsPerDay * (0.1 + 0.5 * uniform(random));
  const double sleepFor = 3600 * (2 + 6 * uniform(random));
  components::TDriftFit fit;
  components::TErrorStatistics statistics;
  std::vector<double> store;
  double now = 0;
  for (double time = kStart; time < kStart + kSecondsPerDay; time += 60 * (0.5 + uniform(random))) {
    if (sleeps && time > sleepAt && time < sleepAt + sleepFor) continue;
    double error = 0.3 + kTruePerDay * (time - kStart) / kSecondsPerDay + normal(random);
    if (uniform(random) < 0.03) error += uniform(random) * 10 * kNoise;  // a delayed reply
    fit.Add(time, error);
    store.push_back(error);
    now = 46000 + (time - kStart) / kSecondsPerDay;  // the local date-time, days
    statistics.Accept(store, now);
  }
  const components::TFittedDrift fitted = fit.Result();
  return {fitted.PerDay, statistics.Drift(now).PerDay, fitted.HalfWidth};
}

void BM_DriftAgainstTheTruth(benchmark::State& state) {
  constexpr int kRuns = 1000;
  double fitSquares = 0, tenthSquares = 0;
  int held = 0;
  for (auto _ : state) {
    std::mt19937_64 random(20261209);
    fitSquares = tenthSquares = 0;
    held = 0;
    for (int run = 0; run < kRuns; ++run) {
      const TRunResult result = SimulateRun(random);
      fitSquares += std::pow(result.fitted - kTruePerDay, 2);
      tenthSquares += std::pow(result.tenth - kTruePerDay, 2);
      if (std::fabs(result.fitted - kTruePerDay) <= result.halfWidth) ++held;
    }
  }
  state.counters["rms_fit_s_per_day"] = std::sqrt(fitSquares / kRuns);
  state.counters["rms_tenth_window_s_per_day"] = std::sqrt(tenthSquares / kRuns);
  state.counters["coverage_percent"] = 100.0 * held / kRuns;
}
BENCHMARK(BM_DriftAgainstTheTruth)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_TakeInOneError(benchmark::State& state) {
  components::TDriftFit fit;
  double time = kStart;
  for (auto _ : state) {
    fit.Add(time, 1e-3 * std::sin(time));
    time += 0.3;
  }
  benchmark::DoNotOptimize(fit.Result());
}
BENCHMARK(BM_TakeInOneError);

}  // namespace

int main(int argc, char** argv) {
  return benchmarks::RunOffscreen(argc, argv);
}
