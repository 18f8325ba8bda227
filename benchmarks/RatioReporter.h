#pragma once
// A console reporter that also keeps each run's time per iteration, so that a benchmark
// program can print how its runs compare once they are done; and the one main the benchmark
// programs share.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchmarks {

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.iterations > 0) {
        const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
        seconds_[run.benchmark_name()] = {run.GetAdjustedRealTime() / unit,
                                          run.GetAdjustedCPUTime() / unit};
      }
  }

  // Prints numerator / denominator for each pair whose two runs both ran.
  void PrintRatios(const std::vector<std::pair<std::string, std::string>>& pairs) const {
    // On a loaded machine the CPU time is the steadier of the two.
    std::printf("\nRatios of the time per iteration (real, CPU):\n");
    for (const auto& [numerator, denominator] : pairs) {
      const auto a = seconds_.find(numerator);
      const auto b = seconds_.find(denominator);
      if (a == seconds_.end() || b == seconds_.end()) continue;
      if (b->second.real <= 0 || b->second.cpu <= 0) continue;
      std::printf("  %-44s / %-40s = %5.2f, %5.2f\n", numerator.c_str(), denominator.c_str(),
                  a->second.real / b->second.real, a->second.cpu / b->second.cpu);
    }
  }

 private:
  struct TTimes {
    double real;  // seconds per iteration
    double cpu;
  };
  std::map<std::string, TTimes> seconds_;
};

// Runs the benchmarks the command line names (all by default) under an application object that
// shows no window, then prints numerator / denominator for each of `ratios`.
inline int RunOffscreen(int argc, char** argv,
                        const std::vector<std::pair<std::string, std::string>>& ratios = {}) {
  // Widgets and painting need the application object; no window is ever shown.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (!ratios.empty()) reporter.PrintRatios(ratios);
  benchmark::Shutdown();
  return 0;
}

}  // namespace benchmarks
