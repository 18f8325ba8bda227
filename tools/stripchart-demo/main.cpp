// Shows a strip chart set up as the main window sets it up (white, line graph, fixed-scale X
// labels, Y −10 … 10 with two decimals) and feeds it a sine wave, so that the trace scrolls
// left under fixed labels once the X range is full.
//
// Usage: stripchart-demo [PREFILL] [switch]
//   PREFILL  samples added before the window opens (default 0), e.g. 400 to start scrolled.
//   switch   every half period, switch between the raw sample (trace 0, red) and its running
//            average over 10 samples (trace 1, blue), as "Running Average" does in the main
//            window: both traces share one position.
#include <QApplication>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>
#include <numbers>

#include "components/Graphbox.h"
#include "components/StatsLib.h"

namespace {

constexpr double kAmplitude = 8.0;     // of the ±10 Y range
constexpr double kPeriod = 120.0;      // samples per sine period
constexpr int kSampleIntervalMs = 50;  // one sample per timer tick

double Sample(int n) {
  return kAmplitude * std::sin(2 * std::numbers::pi * n / kPeriod);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int prefill = argc > 1 ? std::max(0, QString(argv[1]).toInt()) : 0;
  const bool switching = argc > 2 && QString(argv[2]) == "switch";

  QWidget window;
  window.setWindowTitle("Strip chart");
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* chart = new components::TStripChart(&window);
  layout->addWidget(chart);

  chart->SetColor(framework::clWhite);
  chart->SetGraphType(components::gtLine);
  chart->SetFixedScale(true);
  chart->SetDecimals1(2);
  chart->SetXAxis(10, 0, 300);
  chart->XAxis()->SetMultiplier(1.0);
  chart->SetYAxis(10, -10, 10);
  chart->SetIncrement(1.0);

  components::TRunningAverage average;
  auto add = [&](int n) {
    const double sample = Sample(n);
    average.Add(sample);
    if (switching && int(n / (kPeriod / 2)) % 2 == 1)
      chart->AddValue(1, framework::clBlue, average.Average());
    else
      chart->AddValue(0, framework::clRed, sample);
  };
  int n = 0;
  for (; n < prefill; ++n) add(n);
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { add(n++); });
  timer.start(kSampleIntervalMs);

  window.resize(700, 400);
  window.show();
  return app.exec();
}
