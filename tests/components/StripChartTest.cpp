// The strip chart: samples placed along the major axis, the window sliding and renumbering, and
// what it draws, through a recording canvas and the pixels of a QImage.
#include "components/StripChart.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <vector>

#include "support/RecordingCanvas.h"

using components::TStripChart;
using framework::TColor;
using testing_support::TDrawCall;
using testing_support::TRecordingCanvas;

namespace {

constexpr QRgb kRedPixel = 0xFFFF0000;

// A label text as written here with a point, in the user's decimal separator.
QString Dec(const QString& text) {
  QString result = text;
  return result.replace('.', QLocale::system().decimalPoint());
}

// The major coordinates of the points held, in list order.
std::vector<double> Positions(const TStripChart& chart) {
  std::vector<double> result;
  for (const components::TDataPoint& p : chart.Points())
    result.push_back(chart.MajorAxis() == components::maXAxis ? p.X : p.Y);
  return result;
}

std::vector<double> Range(double first, double step, int count) {
  std::vector<double> result;
  for (int i = 0; i < count; ++i) result.push_back(first + i * step);
  return result;
}

}  // namespace

TEST(StripChartCreation, ANewStripChartHoldsNoPointsAndDrawsLines) {
  TStripChart chart;
  EXPECT_TRUE(chart.DefaultData());
  EXPECT_EQ(chart.PointCount(), 0);
  EXPECT_EQ(chart.TraceCount(0), 0);
  EXPECT_EQ(chart.GraphType(), components::gtLine);
  EXPECT_EQ(chart.Increment(), 1.0);
  EXPECT_EQ(chart.Position(), 0);
  EXPECT_FALSE(chart.FixedScale());
  EXPECT_EQ(chart.MajorAxis(), components::maXAxis);
  EXPECT_TRUE(chart.DoubleBuffered());
  EXPECT_EQ(chart.XAxis()->Min(), 0);
  EXPECT_EQ(chart.XAxis()->Max(), 75);
  EXPECT_EQ(chart.AddValue(0, framework::clRed, 1.5), 1);
}

class StripChartScrolling : public testing::Test {
 protected:
  void SetUp() override {
    chart.SetXAxis(10, 0, 10);
    changes.clear();
  }
  TStripChart chart;
  std::vector<int> changes;
};

TEST_F(StripChartScrolling, ElevenValuesFitTheTwelfthAndThirteenthScroll) {
  for (int i = 0; i <= 10; ++i) EXPECT_EQ(chart.AddValue(0, framework::clRed, i * 0.5), i + 1);
  EXPECT_EQ(Positions(chart), Range(0, 1, 11));
  EXPECT_EQ(chart.XAxis()->Min(), 0);
  EXPECT_EQ(chart.XAxis()->Max(), 10);

  EXPECT_EQ(chart.AddValue(0, framework::clRed, 6), 12);
  EXPECT_EQ(chart.Points().back().X, 11);
  EXPECT_EQ(chart.Points().back().Y, 6);
  EXPECT_EQ(chart.XAxis()->Min(), 1);
  EXPECT_EQ(chart.XAxis()->Max(), 11);
  EXPECT_EQ(chart.Points().front().X, 0);  // one step's worth left of the window, clipped

  EXPECT_EQ(chart.AddValue(0, framework::clRed, 7), 12);
  EXPECT_EQ(Positions(chart), Range(1, 1, 12));
  EXPECT_EQ(chart.XAxis()->Min(), 2);
  EXPECT_EQ(chart.XAxis()->Max(), 12);
  EXPECT_EQ(chart.TraceCount(0), 12);
}

TEST_F(StripChartScrolling, ScrollingWritesTheWindowWithoutNotifications) {
  int notified = 0;
  chart.XAxis()->OnChange = [&](QObject*) { ++notified; };
  for (int i = 0; i < 30; ++i) chart.AddValue(0, framework::clRed, 0);
  EXPECT_EQ(notified, 0);
  EXPECT_EQ(chart.XAxis()->Max(), 29);
}

TEST_F(StripChartScrolling, TheHeldPointsStayAboutOneWindowLong) {
  for (int i = 0; i < 10000; ++i) chart.AddValue(i % 2, framework::clRed, 0);
  EXPECT_EQ(chart.PointCount(), 12);
  EXPECT_EQ(chart.TraceCount(0) + chart.TraceCount(1), 12);
  EXPECT_EQ(chart.TraceCount(0), 6);
}

TEST_F(StripChartScrolling, TwoTracesShareOnePosition) {
  chart.AddValue(0, framework::clRed, 1);
  chart.AddValue(1, framework::clBlue, 2);
  chart.AddValue(0, framework::clRed, 3);
  EXPECT_EQ(Positions(chart), Range(0, 1, 3));
  EXPECT_EQ(chart.TraceCount(0), 2);
  EXPECT_EQ(chart.TraceCount(1), 1);
  EXPECT_EQ(chart.Position(), 3);
}

TEST_F(StripChartScrolling, AnInvertedWindowSlidesWithItsEndsSwapped) {
  chart.XAxis()->SetMin(10);
  chart.XAxis()->SetMax(0);
  for (int i = 0; i <= 11; ++i) chart.AddValue(0, framework::clRed, 0);
  EXPECT_EQ(chart.XAxis()->Min(), 11);  // the end that held the larger value
  EXPECT_EQ(chart.XAxis()->Max(), 1);
}

TEST_F(StripChartScrolling, AZeroIncrementStacksSamplesAndNeverScrolls) {
  chart.SetIncrement(0);
  for (int i = 0; i < 20; ++i) chart.AddValue(0, framework::clRed, i);
  EXPECT_EQ(chart.PointCount(), 20);
  EXPECT_EQ(Positions(chart), std::vector<double>(20, 0.0));
  EXPECT_EQ(chart.XAxis()->Max(), 10);
}

TEST(StripChartReset, AScrolledWindowGoesBackToStartAtZero) {
  TStripChart chart;
  chart.SetXAxis(10, 0, 300);
  for (int i = 0; i < 421; ++i) chart.AddValue(0, framework::clRed, 0);
  ASSERT_EQ(chart.XAxis()->Min(), 120);
  ASSERT_EQ(chart.XAxis()->Max(), 420);
  int notified = 0;
  chart.XAxis()->OnChange = [&](QObject*) { ++notified; };
  chart.Reset();
  EXPECT_EQ(notified, 0);
  EXPECT_EQ(chart.XAxis()->Min(), 0);
  EXPECT_EQ(chart.XAxis()->Max(), 300);
  EXPECT_EQ(chart.Position(), 0);
  EXPECT_EQ(chart.PointCount(), 0);
  EXPECT_EQ(chart.TraceCount(0), 0);
  EXPECT_EQ(chart.AddValue(0, framework::clRed, 4), 1);
  EXPECT_EQ(chart.Points().front().X, 0);
}

TEST(StripChartRespace, ChangingTheMajorAxisRenumbersTheHeldPoints) {
  TStripChart chart;
  chart.SetXAxis(10, 0, 100);
  for (int i = 0; i < 50; ++i) chart.AddValue(i % 3 == 0 ? 1 : 0, framework::clRed, i);
  chart.SetIncrement(0.5);
  EXPECT_EQ(Positions(chart), Range(0, 1, 50));  // writing Increment moves nothing
  chart.XAxis()->SetMax(200);
  EXPECT_EQ(Positions(chart), Range(0, 0.5, 50));
  EXPECT_EQ(chart.Position(), 25);
  EXPECT_EQ(chart.Points()[7].Y, 7);  // values untouched
}

TEST(StripChartRespace, TheValueAxisDoesNotRenumber) {
  TStripChart chart;
  chart.SetXAxis(10, 0, 100);
  for (int i = 0; i < 5; ++i) chart.AddValue(0, framework::clRed, i);
  chart.SetIncrement(2);
  chart.YAxis()->SetMax(20);
  EXPECT_EQ(Positions(chart), Range(0, 1, 5));
  EXPECT_EQ(chart.Position(), 5);
}

TEST(StripChartRespace, EveryMajorAxisPropertyRenumbers) {
  TStripChart chart;
  chart.SetXAxis(10, 0, 100);
  for (int i = 0; i < 5; ++i) chart.AddValue(0, framework::clRed, i);
  chart.SetIncrement(3);
  chart.XAxis()->SetUnits("s");
  EXPECT_EQ(Positions(chart), Range(0, 3, 5));
  chart.SetIncrement(4);
  chart.XAxis()->SetMultiplier(1.0 / 60);
  EXPECT_EQ(Positions(chart), Range(0, 4, 5));
  EXPECT_EQ(chart.Position(), 20);
}

TEST(StripChartIncrement, ANewIncrementAppliesToLaterSamplesOnly) {
  TStripChart chart;
  chart.SetXAxis(10, 0, 100);
  chart.AddValue(0, framework::clRed, 0);
  chart.AddValue(0, framework::clRed, 0);
  chart.SetIncrement(5);
  EXPECT_EQ(Positions(chart), Range(0, 1, 2));
  chart.AddValue(0, framework::clRed, 0);
  chart.AddValue(0, framework::clRed, 0);
  EXPECT_EQ(Positions(chart), (std::vector<double>{0, 1, 2, 7}));
}

TEST(StripChartMajorAxis, AlongYValuesArePlottedAsXAndTheWindowSlidesOnY) {
  TStripChart chart;
  chart.SetMajorAxis(components::maYAxis);
  chart.SetYAxis(10, 0, 10);
  chart.SetXAxis(4, -1, 1);
  for (int i = 0; i <= 11; ++i) chart.AddValue(0, framework::clRed, 0.25);
  EXPECT_EQ(chart.Points().back().X, 0.25);
  EXPECT_EQ(chart.Points().back().Y, 11);
  EXPECT_EQ(chart.YAxis()->Min(), 1);
  EXPECT_EQ(chart.YAxis()->Max(), 11);
  EXPECT_EQ(chart.XAxis()->Min(), -1);
  chart.SetFixedScale(true);
  EXPECT_TRUE(chart.YRelativeLabels());
  EXPECT_FALSE(chart.XRelativeLabels());
  chart.SetMajorAxis(components::maXAxis);
  EXPECT_TRUE(chart.XRelativeLabels());
  EXPECT_FALSE(chart.YRelativeLabels());
}

TEST(StripChartLabels, FixedScaleLabelsTheScrolledWindowFromZero) {
  TStripChart chart;
  chart.resize(400, 240);
  chart.YAxis()->SetShowLabels(false);
  chart.SetXAxis(10, 0, 300);
  for (int i = 0; i <= 900; ++i) chart.AddValue(0, framework::clRed, 0);
  ASSERT_EQ(chart.XAxis()->Min(), 600);
  TRecordingCanvas canvas;
  chart.DrawTo(canvas);
  std::vector<QString> absolute;
  for (int i = 0; i <= 10; ++i) absolute.push_back(QString::number(600 + 30 * i));
  EXPECT_EQ(canvas.TextStrings(), absolute);
  chart.SetFixedScale(true);
  canvas.Clear();
  chart.DrawTo(canvas);
  std::vector<QString> relative;
  for (int i = 0; i <= 10; ++i) relative.push_back(QString::number(30 * i));
  EXPECT_EQ(canvas.TextStrings(), relative);
}

TEST(StripChartLabels, RelativeYLabelsSizeTheMarginFromZeroToTheSpan) {
  TStripChart chart;
  chart.resize(400, 240);
  chart.SetMajorAxis(components::maYAxis);
  chart.SetFixedScale(true);
  chart.SetYAxis(10, -100000, 10);  // relative ends: 0 and 100010
  TRecordingCanvas canvas;
  chart.DrawTo(canvas);
  EXPECT_EQ(chart.PlotLeft(), 6 * 7 + 1 + 6);
}

TEST(StripChartPaint, TheTraceScrollsLeftWhileTheLabelsStay) {
  TStripChart chart;
  chart.resize(400, 240);
  chart.SetFixedScale(true);
  chart.SetXAxis(10, 0, 300);
  for (int i = 0; i <= 300; ++i) chart.AddValue(0, framework::clRed, 0);
  TRecordingCanvas before;
  chart.DrawTo(before);
  chart.AddValue(0, framework::clRed, 50);
  TRecordingCanvas after;
  chart.DrawTo(after);
  EXPECT_EQ(before.TextStrings(), after.TextStrings());
  // The newest sample sits on the right edge (within the truncation of line drawing); the one
  // that was there moved left by one sample.
  const TDrawCall last = after.LinesIn(framework::clRed).back();
  const TDrawCall previous = before.LinesIn(framework::clRed).back();
  EXPECT_NEAR(last.to.x(), chart.PlotRight(), 1);
  EXPECT_EQ(last.to.x(), previous.to.x());
  EXPECT_LT(last.from.x(), previous.to.x());
  EXPECT_NE(last.to.y(), previous.to.y());  // the new value
  EXPECT_EQ(chart.DataToPixel(chart.XAxis()->Max(), 0).x(), chart.PlotRight());
}

TEST(StripChartPaint, DoubleBufferedPaintingShowsTheSamePicture) {
  TStripChart chart;
  chart.resize(300, 200);
  chart.SetFixedScale(true);
  chart.SetDecimals1(2);
  chart.SetYAxis(10, -10, 10);
  for (int i = 0; i < 100; ++i) chart.AddValue(0, framework::clRed, 8 * std::sin(i / 8.0));
  chart.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
  const QImage shown = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  QImage direct(chart.size(), QImage::Format_RGB32);
  {
    QPainter painter(&direct);
    painter.setFont(chart.font());
    framework::TCanvas canvas(&painter);
    chart.Paint(canvas);
  }
  ASSERT_EQ(shown.size(), direct.size());
  EXPECT_EQ(shown, direct);
  int red = 0;
  for (int y = 0; y < direct.height(); ++y)
    for (int x = 0; x < direct.width(); ++x) red += direct.pixel(x, y) == kRedPixel;
  EXPECT_GT(red, 50);
}

TEST(StripChartAsTheMainWindowUsesIt, SettingsByNameThenFeedAndClear) {
  TStripChart chart;
  chart.resize(500, 300);
  ASSERT_TRUE(chart.setProperty("Color", QVariant::fromValue<TColor>(0xFFFFFF)));
  ASSERT_TRUE(chart.setProperty("FixedScale", true));
  ASSERT_TRUE(chart.setProperty("Decimals1", 2));
  ASSERT_TRUE(chart.setProperty("Increment", 0.3));
  components::TAxisParams* x = chart.XAxis();
  components::TAxisParams* y = chart.YAxis();
  y->SetMin(-10);
  y->SetMax(10);
  y->SetLines(10);
  x->SetMin(0);
  x->SetMax(60);
  x->SetLines(4);
  x->SetMultiplier(1);
  for (int i = 0; i < 400; ++i) chart.AddValue(0, framework::clRed, 0.01 * i);
  EXPECT_NEAR(chart.XAxis()->Max(), 399 * 0.3, 1e-9);
  EXPECT_LE(chart.PointCount(), 60 / 0.3 + 2);
  TRecordingCanvas canvas;
  chart.DrawTo(canvas);
  const std::vector<QString> texts = canvas.TextStrings();
  const std::vector<QString> expected = {"0",          "15",          "30",         "45",
                                         "60",         Dec("-10.00"), Dec("-8.00"), Dec("-6.00"),
                                         Dec("-4.00"), Dec("-2.00"),  Dec("0.00"),  Dec("2.00"),
                                         Dec("4.00"),  Dec("6.00"),   Dec("8.00"),  Dec("10.00")};
  EXPECT_EQ(texts, expected);
  // "10 min": Min 0, Max, Lines, Multiplier, in that order.
  x->SetMin(0);
  x->SetMax(600);
  x->SetLines(10);
  x->SetMultiplier(1.0 / 60);
  EXPECT_EQ(chart.Points().front().X, 0);
  chart.Reset();
  EXPECT_EQ(chart.PointCount(), 0);
  EXPECT_EQ(chart.XAxis()->Max(), 600);
}
