// One measurement cycle's own work (decode a reply, the error, the running average, the
// statistics run and its drift, the chart append; no network, no paint) as the store of
// accepted errors grows, and the statistics functions over a million values beside a plain
// std::accumulate.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <cmath>
#include <memory>
#include <numeric>
#include <span>
#include <vector>

#include "RatioReporter.h"
#include "components/ErrorStatistics.h"
#include "components/HugeArry.h"
#include "components/StatsLib.h"
#include "components/StripChart.h"
#include "framework/DateUtils.h"
#include "ntp/NTPClient.h"

namespace {

constexpr int kCyclesPerRefill = 1000;  // the store grows by at most this many during a run

// Errors of a few milliseconds around a slow drift, in seconds.
std::vector<double> SampleErrors(int count) {
  std::vector<double> errors;
  errors.reserve(std::size_t(count));
  uint32_t noise = 2463534242u;
  for (int i = 0; i < count; ++i) {
    noise ^= noise << 13;
    noise ^= noise >> 17;
    noise ^= noise << 5;
    errors.push_back(1e-6 * i + (noise >> 8) / double(1 << 24) * 0.004 - 0.002);
  }
  return errors;
}

// A reply to `request` from a stratum 2 server whose clock is 2.5 ms ahead.
ntp::TIdBytes MakeReply(const ntp::TIdBytes& request) {
  const ntp::TNtpPacket asked = *ntp::ReadNtpPacket(request);
  ntp::TNtpPacket reply;
  reply.Version = 3;
  reply.Mode = 4;  // server
  reply.Stratum = 2;
  reply.Poll = 6;                               // log2 seconds
  reply.Precision = static_cast<uint8_t>(-20);  // log2 seconds
  reply.ReferenceId = {192, 193, 194, 195};
  reply.OriginateTimestamp = asked.TransmitTimestamp;
  // Receive and transmit: the request's time plus 2.5 ms (fraction in units of 2^-32 s).
  const uint64_t sent =
      uint64_t(asked.TransmitTimestamp.Seconds) << 32 | asked.TransmitTimestamp.Fraction;
  const uint64_t later = sent + uint64_t(0.0025 * 4294967296.0);
  const ntp::TNtpTimestamp stamp{uint32_t(later >> 32), uint32_t(later)};
  reply.ReferenceTimestamp = reply.ReceiveTimestamp = reply.TransmitTimestamp = stamp;
  return ntp::WriteNtpPacket(reply);
}

// The window's state for one cycle: the store, the running average, the run and the chart
// with the main window's settings (one minute at 0.3 s per point, full and scrolling).
struct TCycleState {
  std::unique_ptr<components::THugeDouble> store;
  components::TRunningAverage average;
  components::TErrorStatistics statistics;
  std::unique_ptr<components::TStripChart> chart;
  ntp::TIdBytes reply;
  double now = 0;

  explicit TCycleState(const std::vector<double>& stored) {
    chart = std::make_unique<components::TStripChart>();
    chart->resize(470, 400);
    chart->SetFixedScale(true);
    chart->SetIncrement(0.3);
    chart->SetXAxis(4, 0, 60);
    chart->SetYAxis(10, -10, 10);
    for (int i = 0; i < 400; ++i) chart->AddValue(0, framework::clRed, 0.001 * (i % 7));
    now = framework::Now();
    reply = MakeReply(ntp::BuildSntpRequest(now));
    Refill(stored);
  }

  // The store and the run as they stand after `stored` accepted errors.
  void Refill(const std::vector<double>& stored) {
    store = std::make_unique<components::THugeDouble>(5);
    statistics.Clear();
    for (double error : stored) {
      store->Add(error);
      statistics.Accept(std::span<const double>(store->Data(), std::size_t(store->Count())),
                        now - 1.0);
    }
  }

  // Decode, error, running average, chart append, then the run and its drift as shown.
  components::TErrorSummary Cycle() {
    const std::optional<ntp::TNTPInfo> info = ntp::DecodeSntpReply(reply, now);
    const double error = -info->ClockOffset * 24 * 3600;
    average.Add(error);
    const double shown = average.Average();
    chart->AddValue(0, framework::clRed, shown);
    store->Add(error);
    statistics.Accept(std::span<const double>(store->Data(), std::size_t(store->Count())), now);
    return statistics.Summary(now);
  }

  // The same cycle with the drift summed afresh from the store, as a window that keeps no
  // running sums would.
  components::TDrift CycleResumming() {
    const std::optional<ntp::TNTPInfo> info = ntp::DecodeSntpReply(reply, now);
    const double error = -info->ClockOffset * 24 * 3600;
    average.Add(error);
    chart->AddValue(0, framework::clRed, average.Average());
    store->Add(error);
    const int n = store->Count();
    const int b = n / 10;
    components::TDrift drift;
    drift.Total = components::ArrayMeanRange(*store, n - 1 - b, n - 1) -
                  components::ArrayMeanRange(*store, 0, b);
    const double dt = 1.0 / n;
    const double distance = dt * ((n - 1 - b) + (n - 1)) / 2.0 - dt * (b / 2.0);
    drift.PerDay = distance != 0 ? drift.Total / distance : drift.Total;
    return drift;
  }
};

template <bool kResumming>
void RunCycles(benchmark::State& state) {
  const std::vector<double> stored = SampleErrors(int(state.range(0)));
  TCycleState cycle(stored);
  int sinceRefill = 0;
  for (auto _ : state) {
    if (sinceRefill++ == kCyclesPerRefill) {
      state.PauseTiming();
      cycle.Refill(stored);
      sinceRefill = 1;
      state.ResumeTiming();
    }
    if constexpr (kResumming)
      benchmark::DoNotOptimize(cycle.CycleResumming());
    else
      benchmark::DoNotOptimize(cycle.Cycle());
  }
  state.counters["stored"] = double(stored.size());
}

void BM_MeasurementCycle(benchmark::State& state) {
  RunCycles<false>(state);
}
BENCHMARK(BM_MeasurementCycle)->Arg(0)->Arg(1000)->Arg(100000)->Arg(1000000);

void BM_MeasurementCycleResummingDrift(benchmark::State& state) {
  RunCycles<true>(state);
}
BENCHMARK(BM_MeasurementCycleResummingDrift)->Arg(1000)->Arg(1000000);

// --- statistics over a million values ---------------------------------------------------

constexpr int kValues = 1000000;

const std::vector<double>& Values() {
  static const std::vector<double> values = SampleErrors(kValues);
  return values;
}

const components::THugeDouble& Store() {
  static const std::unique_ptr<components::THugeDouble> store = [] {
    auto array = std::make_unique<components::THugeDouble>(5);
    for (double v : Values()) array->Add(v);
    return array;
  }();
  return *store;
}

void BM_StdAccumulate(benchmark::State& state) {
  const std::vector<double>& values = Values();
  for (auto _ : state) benchmark::DoNotOptimize(std::accumulate(values.begin(), values.end(), 0.0));
}
BENCHMARK(BM_StdAccumulate)->Unit(benchmark::kMicrosecond);

void BM_ArraySum(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(components::ArraySum(Store()));
}
BENCHMARK(BM_ArraySum)->Unit(benchmark::kMicrosecond);

void BM_ArrayMeanRange(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(components::ArrayMeanRange(Store(), 0, kValues - 1));
}
BENCHMARK(BM_ArrayMeanRange)->Unit(benchmark::kMicrosecond);

// The two passes of the standard deviation written plainly over a vector.
void BM_StdDevPlainLoops(benchmark::State& state) {
  const std::vector<double>& values = Values();
  for (auto _ : state) {
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / double(kValues);
    double squares = 0.0;
    for (double v : values) squares += (v - mean) * (v - mean);
    benchmark::DoNotOptimize(std::sqrt(squares / double(kValues)));
  }
}
BENCHMARK(BM_StdDevPlainLoops)->Unit(benchmark::kMicrosecond);

void BM_ArrayStdDev(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(components::ArrayStdDev(Store()));
}
BENCHMARK(BM_ArrayStdDev)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return benchmarks::RunOffscreen(
      argc, argv,
      {
          {"BM_MeasurementCycle/1000000", "BM_MeasurementCycle/1000"},
          {"BM_MeasurementCycle/100000", "BM_MeasurementCycle/1000"},
          {"BM_MeasurementCycle/0", "BM_MeasurementCycle/1000"},
          {"BM_MeasurementCycleResummingDrift/1000000", "BM_MeasurementCycleResummingDrift/1000"},
          {"BM_ArraySum", "BM_StdAccumulate"},
          {"BM_ArrayMeanRange", "BM_StdAccumulate"},
          {"BM_ArrayStdDev", "BM_StdDevPlainLoops"},
      });
}
