#pragma once
// A console reporter that also keeps each run's time per iteration, so that a benchmark
// program can print how its runs compare once they are done.
#include <benchmark/benchmark.h>

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
      if (run.iterations > 0)
        seconds_[run.benchmark_name()] =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
  }

  // Prints numerator / denominator for each pair whose two runs both ran.
  void PrintRatios(const std::vector<std::pair<std::string, std::string>>& pairs) const {
    std::printf("\nRatios (real time per iteration):\n");
    for (const auto& [numerator, denominator] : pairs) {
      const auto a = seconds_.find(numerator);
      const auto b = seconds_.find(denominator);
      if (a == seconds_.end() || b == seconds_.end() || b->second <= 0) continue;
      std::printf("  %-48s / %-48s = %6.2f\n", numerator.c_str(), denominator.c_str(),
                  a->second / b->second);
    }
  }

 private:
  std::map<std::string, double> seconds_;  // per iteration
};

}  // namespace benchmarks
