// Paint time of a 700 × 400 strip chart into an image as the number of held points grows,
// beside a single polyline through the points the chart draws, and the cost of one value
// appended to a full, scrolling window.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <cmath>
#include <memory>

#include "RatioReporter.h"
#include "components/StripChart.h"
#include "framework/Canvas.h"

namespace {

constexpr int kWidth = 700;   // pixels
constexpr int kHeight = 400;  // pixels

// A chart holding `points` samples of a noisy sine wave on trace 0, its window exactly full.
std::unique_ptr<components::TStripChart> MakeChart(int points) {
  auto chart = std::make_unique<components::TStripChart>();
  chart->resize(kWidth, kHeight);
  chart->SetFixedScale(true);
  chart->SetDecimals1(2);
  chart->SetYAxis(10, -10, 10);
  chart->SetXAxis(10, 0, points - 1);
  uint32_t noise = 12345;
  for (int i = 0; i < points; ++i) {
    noise = noise * 1664525u + 1013904223u;  // a fixed pseudo-random sequence
    const double jitter = (noise >> 8) / double(1 << 24) - 0.5;
    chart->AddValue(0, framework::clRed, 8 * std::sin(i * 0.001) + jitter);
  }
  return chart;
}

void BM_PaintStripChart(benchmark::State& state) {
  const int points = int(state.range(0));
  auto chart = MakeChart(points);
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    QPainter painter(&image);
    framework::TCanvas canvas(&painter);
    chart->Paint(canvas);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["points"] = points;
  state.counters["points_per_column"] = double(points) / kWidth;
}
BENCHMARK(BM_PaintStripChart)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(35000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// The same chart's thinned points (every k-th, k = points div width div 50 + 1) as one
// QPainter polyline: what the trace's drawing costs at the least.
void BM_PolylineOfThinnedPoints(benchmark::State& state) {
  const int points = int(state.range(0));
  auto chart = MakeChart(points);
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  {
    QPainter painter(&image);
    framework::TCanvas canvas(&painter);
    chart->Paint(canvas);  // lays the plot out, so that points map to pixels
  }
  const int step = points / kWidth / 50 + 1;
  QPolygon polyline;
  const auto& held = chart->Points();
  for (size_t n = size_t(step); n <= held.size(); n += size_t(step))
    polyline << chart->DataToPixel(held[n - 1].X, held[n - 1].Y);
  for (auto _ : state) {
    QPainter painter(&image);
    painter.setPen(QPen(Qt::red, 0));
    painter.drawPolyline(polyline);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["drawn"] = polyline.size();
}
BENCHMARK(BM_PolylineOfThinnedPoints)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_AddValueFullWindow(benchmark::State& state) {
  const int points = int(state.range(0));
  auto chart = MakeChart(points);
  double value = 0;
  for (auto _ : state) {
    // Each call drops the oldest point, slides the window and appends one.
    benchmark::DoNotOptimize(chart->AddValue(0, framework::clRed, value));
    value = value > 9 ? -9 : value + 0.01;
  }
  state.counters["held"] = chart->PointCount();
}
BENCHMARK(BM_AddValueFullWindow)->Arg(1000)->Arg(100000)->Arg(1000000);

}  // namespace

int main(int argc, char** argv) {
  return benchmarks::RunOffscreen(
      argc, argv,
      {
          {"BM_PaintStripChart/1000000", "BM_PaintStripChart/100000"},
          {"BM_PaintStripChart/100000", "BM_PolylineOfThinnedPoints/100000"},
          {"BM_PaintStripChart/1000000", "BM_PolylineOfThinnedPoints/1000000"},
      });
}
