// "File > Resume Last Run" for a run of a million samples (about 3.5 days at the default 300 ms
// "Auto Update"): reading the run back from the journal, and the whole resume in the window
// (statistics, fitted drift, chart and saved samples rebuilt). The goal is under one second.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QTemporaryDir>
#include <cstdlib>
#include <vector>

#include "app/TimeMain.h"
#include "components/HugeArry.h"
#include "components/RunJournal.h"

#include "RatioReporter.h"

namespace {

constexpr int kSamples = 1000000;

// A journal holding one run of kSamples samples, in a folder of its own that XDG_STATE_HOME
// names, as the window looks for it.
class TFilledJournal {
 public:
  TFilledJournal() {
    qputenv("XDG_STATE_HOME", dir_.path().toLocal8Bit());
    components::TRunJournal journal(components::TRunJournal::DefaultPath());
    std::vector<components::TJournalSample> samples(kSamples);
    for (int i = 0; i < kSamples; ++i) {
      components::TJournalSample& sample = samples[std::size_t(i)];
      sample.UtcMilliseconds = 1780000000000 + i * 300LL;
      sample.Host = "pool.ntp.org";
      sample.Error = 0.25 + i * 1e-8;
      sample.RoundTripDelay = 0.012;
      sample.PreciseError = 0.2503 + i * 1e-8;
      sample.PreciseRoundTripDelay = 0.0118;
      sample.FitTime = 1780000000.0 + i * 0.3;
      sample.LocalTime = 46000 + i * 0.3 / 86400;
    }
    if (!journal.Append(samples)) std::abort();
  }

 private:
  QTemporaryDir dir_;
};

TFilledJournal& Journal() {
  static TFilledJournal journal;
  return journal;
}

void BM_ReadTheLastRun(benchmark::State& state) {
  Journal();
  for (auto _ : state) {
    components::TRunJournal journal(components::TRunJournal::DefaultPath());
    const std::optional<components::TJournalRun> run = journal.LastRun();
    if (!run || run->Samples.size() != std::size_t(kSamples)) std::abort();
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_ReadTheLastRun)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same run handed over sample by sample, as the window takes it: what SQLite's reading
// costs alone.
void BM_StreamTheLastRun(benchmark::State& state) {
  Journal();
  for (auto _ : state) {
    components::TRunJournal journal(components::TRunJournal::DefaultPath());
    double sum = 0;
    if (!journal.ReadLastRun(
            [&](const components::TJournalSample& sample) { sum += sample.Error; }))
      std::abort();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_StreamTheLastRun)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ResumeInTheWindow(benchmark::State& state) {
  Journal();
  for (auto _ : state) {
    state.PauseTiming();
    auto form = std::make_unique<app::TForm1>();
    state.ResumeTiming();
    form->Controls().ResumeLastRun1->trigger();
    if (form->State().ErrorStore.Count() != kSamples) std::abort();
    state.PauseTiming();
    form.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_ResumeInTheWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  return benchmarks::RunOffscreen(argc, argv);
}
