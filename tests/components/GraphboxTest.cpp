// Axes and title and the graph box: geometry through a recording canvas, whole pictures through
// the pixels of a QImage.
#include "components/Graphbox.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "support/RecordingCanvas.h"

using components::TAxisParams;
using components::TGraphTitle;

namespace {

// Counts the notifications of an axis or title.
struct ChangeCounter {
  int count = 0;
  QObject* lastSender = nullptr;
  std::function<void(QObject*)> Hook() {
    return [this](QObject* sender) {
      ++count;
      lastSender = sender;
    };
  }
};

// A label text as written here with a point, in the user's decimal separator.
QString Dec(const QString& text) {
  QString result = text;
  return result.replace('.', QLocale::system().decimalPoint());
}

}  // namespace

// --- axis parameters ---------------------------------------------------------------------

TEST(AxisParams, ANewAxisHasTheDocumentedValues) {
  TAxisParams axis;
  EXPECT_FALSE(axis.ExponentLabels());
  EXPECT_FALSE(axis.Log());
  EXPECT_FALSE(axis.MinorLabels());
  EXPECT_FALSE(axis.MinorLines());
  EXPECT_EQ(axis.Min(), 0);
  EXPECT_EQ(axis.Max(), 0);
  EXPECT_EQ(axis.Multiplier(), 1.0);
  EXPECT_EQ(axis.Offset(), 0);
  EXPECT_EQ(axis.Lines(), 0);
  EXPECT_FALSE(axis.ShowLabels());
  EXPECT_TRUE(axis.Units().isEmpty());
  EXPECT_EQ(axis.LabelModulo(), 1);
  EXPECT_EQ(axis.Cycle(), 0);
}

TEST(AxisParams, SettingTheSameValueNotifiesNothingAndANewValueNotifiesOnce) {
  TAxisParams axis;
  ChangeCounter changes;
  axis.OnChange = changes.Hook();
  axis.SetMin(0);
  EXPECT_EQ(changes.count, 0);
  axis.SetMin(5);
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(changes.lastSender, &axis);
  axis.SetMin(5);
  EXPECT_EQ(changes.count, 1);
}

TEST(AxisParams, EveryPropertyNotifiesWhenItChanges) {
  TAxisParams axis;
  ChangeCounter changes;
  axis.OnChange = changes.Hook();
  axis.SetExponentLabels(true);
  axis.SetLog(true);
  axis.SetMinorLabels(true);
  axis.SetMinorLines(true);
  axis.SetMax(100);
  axis.SetMultiplier(2);
  axis.SetOffset(1);
  axis.SetLines(4);
  axis.SetShowLabels(true);
  axis.SetUnits("s");
  axis.SetLabelModulo(3);
  axis.SetCycle(360);
  axis.SetMin(10);
  EXPECT_EQ(changes.count, 13);
  EXPECT_EQ(axis.Units(), "s");
  EXPECT_EQ(axis.LabelModulo(), 3);
}

TEST(AxisParams, PropertiesCanBeSetByNameInEitherOrder) {
  TAxisParams axis;
  EXPECT_TRUE(axis.setProperty("Max", 10.0));
  EXPECT_TRUE(axis.setProperty("Min", -10.0));
  EXPECT_EQ(axis.Min(), -10.0);
  EXPECT_EQ(axis.Max(), 10.0);
  TAxisParams other;
  EXPECT_TRUE(other.setProperty("Min", 20.0));
  EXPECT_TRUE(other.setProperty("Max", 5.0));
  EXPECT_EQ(other.Min(), 20.0);
  EXPECT_EQ(other.Max(), 5.0);
}

TEST(AxisLogClamp, ANonPositiveMinOnALogAxisBecomesOne) {
  TAxisParams axis;
  axis.SetMax(1000);
  axis.SetLog(true);
  EXPECT_EQ(axis.Min(), 1.0);  // 0 clamped when Log was switched on
  axis.SetMin(-5);
  EXPECT_EQ(axis.Min(), 1.0);
  axis.SetMax(0);
  EXPECT_EQ(axis.Max(), 1.0);
}

TEST(AxisLogClamp, ALinearAxisKeepsNegativeLimits) {
  TAxisParams axis;
  axis.SetMin(-5);
  axis.SetMax(-1);
  EXPECT_EQ(axis.Min(), -5);
  EXPECT_EQ(axis.Max(), -1);
}

TEST(AxisParams, LabelModuloBelowOneIsTakenAsOne) {
  TAxisParams axis;
  axis.SetLabelModulo(4);
  axis.SetLabelModulo(0);
  EXPECT_EQ(axis.LabelModulo(), 1);
  axis.SetLabelModulo(-3);
  EXPECT_EQ(axis.LabelModulo(), 1);
}

TEST(AxisTransform, MultiplierAndOffsetScaleTheLabelValue) {
  TAxisParams axis;
  axis.SetMultiplier(1.0 / 60);
  EXPECT_NEAR(axis.Transform(600), 10, 1e-12);
  axis.SetOffset(60);
  EXPECT_NEAR(axis.Transform(600), 11, 1e-12);  // offset added before the factor
}

TEST(AxisTransform, CycleWrapsWithTheSignOfTheValue) {
  TAxisParams axis;
  axis.SetCycle(360);
  EXPECT_NEAR(axis.Transform(370), 10, 1e-9);
  EXPECT_NEAR(axis.Transform(-370), -10, 1e-9);
  EXPECT_NEAR(axis.Transform(720), 0, 1e-9);
  EXPECT_NEAR(axis.Transform(-900), -180, 1e-9);
}

TEST(LabelFormat, LabelValuesHaveExactlyTheAskedDecimals) {
  EXPECT_EQ(components::FormatLabelValue(10, 2), Dec("10.00"));
  EXPECT_EQ(components::FormatLabelValue(-10, 2), Dec("-10.00"));
  EXPECT_EQ(components::FormatLabelValue(10.000000000000002, 0), Dec("10"));
  EXPECT_EQ(components::FormatLabelValue(-2.5e-16, 2), Dec("0.00"));
  EXPECT_EQ(components::FormatLabelValue(1234567.891, 1), Dec("1234567.9"));
}

TEST(LabelFormat, HugeLabelValuesFallBackToScientific) {
  EXPECT_EQ(components::FormatLabelValue(1e20, 2), Dec("1E+20"));
  EXPECT_EQ(components::FormatLabelValue(-2.5e19, 0), Dec("-2.5E+19"));
}

TEST(GraphTitle, DefaultsAndNotifications) {
  TGraphTitle title;
  EXPECT_TRUE(title.Caption().isEmpty());
  EXPECT_FALSE(title.ShowCaption());
  EXPECT_FALSE(title.Boxed());
  EXPECT_EQ(title.Position(), components::tpCenter);
  ChangeCounter changes;
  title.OnChange = changes.Hook();
  title.SetCaption("Error");
  title.SetCaption("Error");
  title.SetShowCaption(true);
  title.SetBoxed(true);
  title.SetPosition(components::tpRight);
  title.SetPosition(components::tpRight);
  EXPECT_EQ(changes.count, 4);
  EXPECT_TRUE(title.setProperty("Position", QVariant::fromValue(components::tpLeft)));
  EXPECT_EQ(title.Position(), components::tpLeft);
}

// --- graph box ---------------------------------------------------------------------------

using components::TGraphBox;
using framework::TColor;
using framework::TRect;
using testing_support::TDrawCall;
using testing_support::TRecordingCanvas;

namespace {

constexpr QRgb kWhitePixel = 0xFFFFFFFF;
constexpr QRgb kBlackPixel = 0xFF000000;
constexpr QRgb kRedPixel = 0xFFFF0000;

// A graph of the given size with no sample points, ready to draw.
std::unique_ptr<TGraphBox> MakeGraph(int width, int height) {
  auto graph = std::make_unique<TGraphBox>();
  graph->resize(width, height);
  graph->SetDefaultData(false);
  return graph;
}

// The graph drawn (DrawTo only) into a white image through the real canvas.
QImage DrawImage(TGraphBox& graph) {
  QImage image(graph.width(), graph.height(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  framework::TCanvas canvas(&painter);
  graph.DrawTo(canvas);
  painter.end();
  return image;
}

// The lines drawn after the plot frame (its four sides come first).
std::vector<TDrawCall> LinesAfterFrame(const TRecordingCanvas& canvas) {
  std::vector<TDrawCall> lines = canvas.Lines();
  return std::vector<TDrawCall>(lines.begin() + 4, lines.end());
}

std::vector<TDrawCall> VerticalLines(const std::vector<TDrawCall>& lines) {
  std::vector<TDrawCall> result;
  for (const TDrawCall& line : lines)
    if (line.from.x() == line.to.x()) result.push_back(line);
  return result;
}

std::vector<TDrawCall> HorizontalLines(const std::vector<TDrawCall>& lines) {
  std::vector<TDrawCall> result;
  for (const TDrawCall& line : lines)
    if (line.from.y() == line.to.y()) result.push_back(line);
  return result;
}

// A graph box that counts the axis notifications it receives.
class CountingGraph : public TGraphBox {
 public:
  std::vector<components::TAxisParams*> changed;

 protected:
  void AxisChanged(components::TAxisParams* axis) override {
    changed.push_back(axis);
    TGraphBox::AxisChanged(axis);
  }
};

}  // namespace

TEST(GraphBoxCreation, ANewGraphBoxHasTheDocumentedDefaults) {
  TGraphBox graph;
  EXPECT_EQ(graph.width(), 90);
  EXPECT_EQ(graph.height(), 90);
  EXPECT_EQ(graph.Color(), 0xFFFFFFu);
  EXPECT_EQ(graph.BevelOuter(), components::bvLowered);
  EXPECT_EQ(graph.GridColor(), 0u);
  EXPECT_EQ(graph.GraphBorder(), 20);
  EXPECT_FALSE(graph.DrawLastPixel());
  EXPECT_EQ(graph.Decimals1(), 0);
  EXPECT_EQ(graph.Decimals2(), 0);
  EXPECT_EQ(graph.GraphType(), components::gtHorzBar);
  EXPECT_FALSE(graph.Title()->ShowCaption());
  for (const components::TAxisParams* axis : {graph.XAxis(), graph.YAxis()}) {
    EXPECT_EQ(axis->Lines(), 3);
    EXPECT_EQ(axis->Min(), 0);
    EXPECT_EQ(axis->Max(), 75);
    EXPECT_TRUE(axis->ShowLabels());
    EXPECT_FALSE(axis->Log());
    EXPECT_TRUE(axis->Units().isEmpty());
  }
  EXPECT_FALSE(graph.XRelativeLabels());
  EXPECT_FALSE(graph.YRelativeLabels());
}

TEST(GraphBoxCreation, DefaultDataHoldsTheFourSamplePoints) {
  TGraphBox graph;
  EXPECT_TRUE(graph.DefaultData());
  ASSERT_EQ(graph.PointCount(), 4);
  EXPECT_EQ(graph.TraceCount(0), 4);
  const struct {
    double x, y;
    TColor color;
  } expected[] = {{10, 10, 0x0000FF}, {15, 25, 0x008000}, {50, 50, 0xFF0000}, {128, 100, 0xC0C0C0}};
  for (int i = 0; i < 4; ++i) {
    const components::TDataPoint& p = graph.Points()[i];
    EXPECT_EQ(p.X, expected[i].x);
    EXPECT_EQ(p.Y, expected[i].y);
    EXPECT_EQ(p.Color, expected[i].color);
    EXPECT_EQ(p.Size, 5);
    EXPECT_EQ(p.Index, 0);
    EXPECT_TRUE(p.Label.isEmpty());
  }
  graph.SetDefaultData(false);
  EXPECT_EQ(graph.PointCount(), 0);
  EXPECT_EQ(graph.TraceCount(0), 0);
  graph.SetDefaultData(true);
  EXPECT_EQ(graph.PointCount(), 4);
  graph.SetDefaultData(true);  // unchanged: nothing added
  EXPECT_EQ(graph.PointCount(), 4);
}

TEST(GraphBoxCreation, TheSamplePointsShowAsHorizontalBars) {
  TGraphBox graph;
  graph.resize(200, 200);
  TRecordingCanvas canvas;
  graph.DrawTo(canvas);
  const std::vector<TDrawCall> bars = canvas.Rectangles();
  ASSERT_EQ(bars.size(), 4u);
  // (10, 10) size 5 on 0 … 75: from x = 0 to 10, y 7.5 … 12.5.
  const QPoint a = graph.DataToPixel(0, 12.5);
  const QPoint b = graph.DataToPixel(10, 7.5);
  EXPECT_EQ(bars[0].rect, (TRect{a.x(), a.y(), b.x(), b.y()}));
  EXPECT_EQ(bars[0].brush.Color, framework::clRed);
  EXPECT_EQ(bars[0].pen.Color, graph.GridColor());
  EXPECT_EQ(bars[3].brush.Color, framework::clSilver);
}

TEST(GraphBoxData, TraceCountsFollowAddAndClear) {
  auto graph = MakeGraph(200, 200);
  graph->AddPoint(-1024, framework::clRed, 1, 1, 1);
  graph->AddPoint(1023, framework::clRed, 2, 2, 1);
  graph->AddDataPoint(1023, "x", 3, 3, 1, framework::clBlue);
  EXPECT_EQ(graph->TraceCount(-1024), 1);
  EXPECT_EQ(graph->TraceCount(1023), 2);
  EXPECT_EQ(graph->Points().back().Label, "x");
  graph->ClearData();
  EXPECT_EQ(graph->PointCount(), 0);
  EXPECT_EQ(graph->TraceCount(-1024), 0);
  EXPECT_EQ(graph->TraceCount(1023), 0);
}

TEST(GraphBoxAxes, SetXAxisNotifiesOncePerChangedValue) {
  CountingGraph graph;
  graph.changed.clear();
  graph.SetXAxis(4, 0, 100);  // Min unchanged
  ASSERT_EQ(graph.changed.size(), 2u);
  EXPECT_EQ(graph.changed[0], graph.XAxis());
  EXPECT_EQ(graph.XAxis()->Lines(), 4);
  EXPECT_EQ(graph.XAxis()->Max(), 100);
  graph.YAxis()->SetUnits("s");
  EXPECT_EQ(graph.changed.back(), graph.YAxis());
}

TEST(GraphBoxAxes, PublishedPropertiesAreSetByName) {
  TGraphBox graph;
  EXPECT_TRUE(graph.setProperty("GraphType", QVariant::fromValue(components::gtLine)));
  EXPECT_TRUE(graph.setProperty("GridColor", QVariant::fromValue<TColor>(0x808080)));
  EXPECT_TRUE(graph.setProperty("Decimals1", 2));
  EXPECT_EQ(graph.GraphType(), components::gtLine);
  EXPECT_EQ(graph.GridColor(), 0x808080u);
  EXPECT_EQ(graph.Decimals1(), 2);
  auto* axis = graph.property("YAxis").value<components::TAxisParams*>();
  ASSERT_EQ(axis, graph.YAxis());
}

// --- layout ------------------------------------------------------------------------------

TEST(GraphBoxLayout, WithoutYLabelsThePlotSpansBetweenTheBorders) {
  auto graph = MakeGraph(340, 240);
  graph->YAxis()->SetShowLabels(false);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  EXPECT_EQ(graph->PlotLeft(), 20);
  EXPECT_EQ(graph->PlotRight(), 320);
  EXPECT_EQ(graph->PlotTop(), 20);
  EXPECT_EQ(graph->PlotBottom(), 220);
  EXPECT_EQ(graph->PlotWidth(), 300);
  EXPECT_EQ(graph->PlotHeight(), 200);
  // The frame: bottom, right, top, left, from and back to the origin.
  const std::vector<TDrawCall> lines = canvas.Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0].from, QPoint(20, 220));
  EXPECT_EQ(lines[0].to, QPoint(320, 220));
  EXPECT_EQ(lines[1].to, QPoint(320, 20));
  EXPECT_EQ(lines[2].to, QPoint(20, 20));
  EXPECT_EQ(lines[3].to, QPoint(20, 220));
  EXPECT_EQ(lines[0].pen.Style, framework::TPenStyle::psSolid);
}

TEST(GraphBoxLayout, TheLeftMarginFitsTheWiderYEndLabel) {
  auto graph = MakeGraph(400, 300);
  graph->SetDecimals1(2);
  graph->SetYAxis(10, -10, 10);
  TRecordingCanvas canvas;  // 7 pixels per character
  graph->DrawTo(canvas);
  // "-10.00" (6 characters) is wider than "10.00": 42 + bevel 1 + border 0 + 20 div 3.
  EXPECT_EQ(graph->PlotLeft(), 42 + 1 + 0 + 6);
  EXPECT_EQ(graph->PlotRight(), 400 - (20 - 6));
  graph->SetBorderWidth(3);
  graph->SetYAxis(10, 0, 1000);  // "1000.00" is now the wider one
  graph->DrawTo(canvas);
  EXPECT_EQ(graph->PlotLeft(), 49 + 1 + 3 + 6);
}

TEST(GraphBoxLayout, TheMarginWithRealFontsFollowsTheLabelWidths) {
  auto graph = MakeGraph(400, 300);
  graph->SetDecimals1(2);
  graph->SetYAxis(10, -10, 10);
  QImage image(400, 300, QImage::Format_RGB32);
  QPainter painter(&image);
  framework::TCanvas canvas(&painter);
  graph->DrawTo(canvas);
  canvas.SetFont(graph->font());
  const int wider =
      std::max(canvas.TextWidth(graph->YEndLabel(-10)), canvas.TextWidth(graph->YEndLabel(10)));
  EXPECT_EQ(graph->YEndLabel(-10), Dec("-10.00"));
  EXPECT_EQ(graph->PlotLeft(), wider + 1 + 20 / 3);
}

TEST(GraphBoxLayout, ExponentEndLabelsOnAPositiveAxisAndAFallbackAtZero) {
  TGraphBox graph;
  graph.YAxis()->SetExponentLabels(true);
  EXPECT_EQ(graph.YEndLabel(1000), "10^3");
  EXPECT_EQ(graph.YEndLabel(999), "10^2");
  EXPECT_EQ(graph.YEndLabel(0), Dec("0"));  // no logarithm: written as an ordinary label
  graph.resize(200, 200);
  TRecordingCanvas canvas;
  graph.DrawTo(canvas);  // 0 … 75 with exponent labels must not fail
  EXPECT_EQ(graph.PlotLeft(), 4 * 7 + 1 + 6);
}

// --- linear axes -------------------------------------------------------------------------

class LinearXAxis : public testing::Test {
 protected:
  // A 300-pixel plot (no Y labels) with X 0 … 300 in 10 intervals.
  void SetUp() override {
    graph = MakeGraph(340, 240);
    graph->YAxis()->SetShowLabels(false);
    graph->YAxis()->SetLines(1);
    graph->SetXAxis(10, 0, 300);
  }
  std::unique_ptr<TGraphBox> graph;
};

TEST_F(LinearXAxis, GridLinesEvery30PixelsWithoutOneAtTheOrigin) {
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> grid = VerticalLines(LinesAfterFrame(canvas));
  ASSERT_EQ(grid.size(), 10u);
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(grid[i - 1].from, QPoint(20 + 30 * i, 220)) << i;
    EXPECT_EQ(grid[i - 1].to, QPoint(20 + 30 * i, 20)) << i;
    EXPECT_EQ(grid[i - 1].pen.Color, graph->GridColor());
  }
}

TEST_F(LinearXAxis, ElevenLabelsEachStarting65PercentLeftOfItsLine) {
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> texts = canvas.Texts();
  ASSERT_EQ(texts.size(), 11u);
  for (int i = 0; i <= 10; ++i) {
    const QString expected = QString::number(30 * i);
    EXPECT_EQ(texts[i].text, expected);
    // MulDiv(width, 65, 100), halves away from zero: 7 → 5, 14 → 9, 21 → 14.
    const int shift = (int(expected.size()) * 7 * 65 + 50) / 100;
    EXPECT_EQ(texts[i].x, 20 + 30 * i - shift) << i;
    EXPECT_EQ(texts[i].y, 221);
    EXPECT_EQ(texts[i].align, framework::TTextAlign::taTopLeft);
    EXPECT_TRUE(texts[i].transparent);
  }
}

TEST_F(LinearXAxis, LabelModuloTwoDrawsEveryOtherLabel) {
  graph->XAxis()->SetLabelModulo(2);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<QString> expected = {"0", "60", "120", "180", "240", "300"};
  EXPECT_EQ(canvas.TextStrings(), expected);
  EXPECT_EQ(VerticalLines(LinesAfterFrame(canvas)).size(), 10u);  // every grid line stays
}

TEST_F(LinearXAxis, TheGridInPixels) {
  const QImage image = DrawImage(*graph);
  const int middle = 120;
  for (int x = 20; x <= 320; ++x) {
    const bool onLine = (x - 20) % 30 == 0;
    EXPECT_EQ(image.pixel(x, middle), onLine ? kBlackPixel : kWhitePixel) << x;
  }
  // Each grid line runs from the bottom frame row up to the top one.
  for (int y = 20; y <= 220; ++y) EXPECT_EQ(image.pixel(50, y), kBlackPixel) << y;
}

TEST_F(LinearXAxis, MultiplierTurnsSecondsIntoMinutes) {
  graph->SetXAxis(10, 0, 600);
  graph->XAxis()->SetMultiplier(1.0 / 60);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<QString> expected = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
  EXPECT_EQ(canvas.TextStrings(), expected);
}

TEST_F(LinearXAxis, CycleWrapsTheLabels) {
  graph->SetXAxis(4, 350, 390);
  graph->XAxis()->SetCycle(360);
  graph->XAxis()->SetUnits("°");
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<QString> expected = {"350°", "0°", "10°", "20°", "30°"};
  EXPECT_EQ(canvas.TextStrings(), expected);
}

TEST_F(LinearXAxis, DecimalsTwoAppliesToXLabels) {
  graph->SetDecimals2(1);
  graph->SetXAxis(2, 0, 1);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<QString> expected = {Dec("0.0"), Dec("0.5"), Dec("1.0")};
  EXPECT_EQ(canvas.TextStrings(), expected);
}

TEST_F(LinearXAxis, AZeroSpanPutsEverythingOnTheOrigin) {
  graph->SetXAxis(10, 5, 5);
  graph->SetGraphType(components::gtLine);
  graph->AddPoint(0, framework::clRed, 5, 0, 1);
  graph->AddPoint(0, framework::clRed, 1e6, 0, 1);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  EXPECT_EQ(graph->XScale(), 1e-99);
  EXPECT_EQ(graph->DataToPixel(5, 0).x(), 20);
  EXPECT_EQ(graph->DataToPixel(1e6, 0).x(), 20);
  EXPECT_EQ(canvas.TextStrings().size(), 11u);
}

TEST(LinearYAxis, LabelsRightAlignedTwoPixelsLeftOfThePlotOnTheirGridLines) {
  auto graph = MakeGraph(400, 240);
  graph->SetDecimals1(2);
  graph->SetYAxis(10, -10, 10);
  graph->XAxis()->SetShowLabels(false);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const int left = graph->PlotLeft();
  const std::vector<TDrawCall> texts = canvas.Texts();
  ASSERT_EQ(texts.size(), 11u);
  for (int i = 0; i <= 10; ++i) {
    const QString expected = Dec(QString::number(-10 + 2 * i) + ".00");
    EXPECT_EQ(texts[i].text, expected) << i;
    EXPECT_EQ(texts[i].x, left - 7 * int(expected.size()) - 2);
    EXPECT_EQ(texts[i].y, 220 - 20 * i);  // baseline on the grid line
    EXPECT_EQ(texts[i].align, framework::TTextAlign::taBaselineLeft);
  }
  const std::vector<TDrawCall> grid = HorizontalLines(LinesAfterFrame(canvas));
  ASSERT_EQ(grid.size(), 11u);
  EXPECT_EQ(grid[5].from, QPoint(left, 120));
  EXPECT_EQ(grid[5].to, QPoint(left + graph->PlotWidth(), 120));
}

// --- log axes ----------------------------------------------------------------------------

class LogXAxis : public testing::Test {
 protected:
  // 1 … 1000 across a 300-pixel plot: 100 pixels per decade.
  void SetUp() override {
    graph = MakeGraph(340, 240);
    graph->YAxis()->SetShowLabels(false);
    graph->YAxis()->SetLines(1);
    graph->XAxis()->SetLog(true);
    graph->SetXAxis(3, 1, 1000);
  }
  std::unique_ptr<TGraphBox> graph;
};

TEST_F(LogXAxis, MajorLinesAtTheInnerDecadesOnly) {
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> grid = VerticalLines(LinesAfterFrame(canvas));
  ASSERT_EQ(grid.size(), 2u);
  EXPECT_EQ(grid[0].from, QPoint(120, 220));
  EXPECT_EQ(grid[0].to, QPoint(120, 20));
  EXPECT_EQ(grid[1].from.x(), 220);
  EXPECT_EQ(grid[0].pen.Style, framework::TPenStyle::psSolid);
  EXPECT_EQ(graph->XBase(), 0);
  EXPECT_EQ(graph->XScale(), 100);
  const std::vector<QString> labels = {"1", "0", "1", "0", "0"};  // 10 and 100, one by one
  EXPECT_EQ(canvas.TextStrings(), labels);
}

TEST_F(LogXAxis, MinorLinesAreDottedAtTwoToNineOfEachDecade) {
  graph->XAxis()->SetMinorLines(true);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> grid = VerticalLines(LinesAfterFrame(canvas));
  ASSERT_EQ(grid.size(), 26u);  // 2 … 9, 10, 20 … 90, 100, 200 … 900
  int minor = 0;
  for (const TDrawCall& line : grid) {
    const int offset = line.from.x() - 20;
    const double tick = std::pow(10.0, offset / 100.0);
    const bool isDecade = offset == 100 || offset == 200;
    EXPECT_EQ(line.pen.Style,
              isDecade ? framework::TPenStyle::psSolid : framework::TPenStyle::psDot)
        << tick;
    if (!isDecade) ++minor;
  }
  EXPECT_EQ(minor, 24);
  // 2 lies trunc(log10(2) × 100) = 30 pixels in, 900 at trunc(295.4) = 295.
  EXPECT_EQ(grid[0].from.x(), 20 + 30);
  EXPECT_EQ(grid.back().from.x(), 20 + 295);
  // The pen is solid again for what follows.
  graph->SetGraphType(components::gtLine);
  graph->AddPoint(0, framework::clRed, 1, 1, 1);
  graph->AddPoint(0, framework::clRed, 10, 1, 1);
  canvas.Clear();
  graph->DrawTo(canvas);
  EXPECT_EQ(canvas.LinesIn(framework::clRed).back().pen.Style, framework::TPenStyle::psSolid);
}

TEST_F(LogXAxis, TheLinesInPixels) {
  graph->XAxis()->SetMinorLines(true);
  const QImage image = DrawImage(*graph);
  // Decades: solid from bottom to top.
  for (int y = 21; y < 220; ++y) EXPECT_EQ(image.pixel(120, y), kBlackPixel) << y;
  // Minor at 2 (x = 50): dotted, so partly drawn.
  int drawn = 0;
  for (int y = 21; y < 220; ++y) drawn += image.pixel(50, y) == kBlackPixel;
  EXPECT_GT(drawn, 60);
  EXPECT_LT(drawn, 140);
  EXPECT_EQ(image.pixel(35, 120), kWhitePixel);  // between 1 and 2
}

TEST_F(LogXAxis, ExponentLabelsRaiseTheExponent) {
  graph->XAxis()->SetExponentLabels(true);
  TRecordingCanvas canvas;  // 7 × 12 characters
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> texts = canvas.Texts();
  ASSERT_EQ(texts.size(), 6u);               // "10^1" and "10^2" without their carets
  const int y = 221 + (12 * 40 + 50) / 100;  // lowered by 40 % of the text height
  EXPECT_EQ(texts[0].text, "1");
  EXPECT_EQ(texts[0].x, 120);  // decade labels start at their line
  EXPECT_EQ(texts[0].y, y);
  EXPECT_EQ(texts[1].text, "0");
  EXPECT_EQ(texts[1].x, 127);
  EXPECT_EQ(texts[2].text, "1");
  EXPECT_EQ(texts[2].x, 134);
  EXPECT_EQ(texts[2].y, y - 6);  // raised by half the text height
  EXPECT_EQ(texts[5].text, "2");
}

TEST_F(LogXAxis, MinorLabelsAreTheirDigitShiftedLeft) {
  graph->XAxis()->SetMinorLabels(true);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> texts = canvas.Texts();
  ASSERT_GE(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "2");
  EXPECT_EQ(texts[0].x, 20 + 30 - 5);
  EXPECT_EQ(texts[0].y, 221);
}

TEST_F(LogXAxis, AnInfiniteMaximumDrawsNoTicksAndEnds) {
  graph->XAxis()->SetMax(std::numeric_limits<double>::infinity());
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  EXPECT_TRUE(VerticalLines(LinesAfterFrame(canvas)).empty());
}

TEST(LogYAxis, DecadesOnTheirLinesMinorLabelsLoweredByHalfAnH) {
  auto graph = MakeGraph(300, 240);
  graph->XAxis()->SetShowLabels(false);
  graph->YAxis()->SetLog(true);
  graph->SetYAxis(3, 1, 100);  // 200 pixels: 100 per decade
  graph->YAxis()->SetMinorLabels(true);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const int left = graph->PlotLeft();
  EXPECT_EQ(left, 3 * 7 + 1 + 6);  // "100" is the wider end label
  const std::vector<TDrawCall> texts = canvas.Texts();
  // 2 … 9, "10" (two characters), 20 … 90 shown as 2 … 9.
  ASSERT_EQ(texts.size(), 8u + 2u + 8u);
  EXPECT_EQ(texts[0].text, "2");
  EXPECT_EQ(texts[0].x, left - 7 - 2);
  EXPECT_EQ(texts[0].y, 220 - 30 + 6);
  EXPECT_EQ(texts[8].text, "1");
  EXPECT_EQ(texts[8].x, left - 14 - 2);
  EXPECT_EQ(texts[8].y, 120);
  EXPECT_EQ(texts[9].text, "0");
  EXPECT_EQ(texts[9].x, left - 7 - 2);
  const std::vector<TDrawCall> grid = HorizontalLines(LinesAfterFrame(canvas));
  ASSERT_EQ(grid.size(), 1u);  // the decade at 10
  EXPECT_EQ(grid[0].from, QPoint(left, 120));
}

// --- title -------------------------------------------------------------------------------

class GraphTitleDrawing : public testing::Test {
 protected:
  void SetUp() override {
    graph = MakeGraph(300, 200);
    graph->YAxis()->SetShowLabels(false);
    graph->Title()->SetCaption("Error");  // 35 × 12 pixels
    graph->Title()->SetShowCaption(true);
  }
  TDrawCall TitleCall() {
    TRecordingCanvas canvas;
    graph->DrawTo(canvas);
    for (const TDrawCall& call : canvas.Texts())
      if (call.text == "Error") return call;
    ADD_FAILURE() << "no title drawn";
    return {};
  }
  std::unique_ptr<TGraphBox> graph;
};

TEST_F(GraphTitleDrawing, CentredOverTheWholeControlAboveThePlot) {
  const TDrawCall call = TitleCall();
  EXPECT_EQ(call.x, (300 - 35) / 2);
  EXPECT_EQ(call.y, (20 - 12) / 2);
  EXPECT_TRUE(call.clippedText);
  EXPECT_EQ(call.rect, (TRect{132, 4, 132 + 35 + 1, 16}));
}

TEST_F(GraphTitleDrawing, LeftAndRightPositionsKeepTwoPixelsFromThePlotEdges) {
  graph->Title()->SetPosition(components::tpLeft);
  EXPECT_EQ(TitleCall().x, 20 + 2);
  graph->Title()->SetPosition(components::tpRight);
  const TDrawCall call = TitleCall();
  EXPECT_EQ(call.x + 35, 280 - 2);
}

TEST_F(GraphTitleDrawing, ABoxedTitleIsFramedTwoPixelsOutInBlack) {
  graph->Title()->SetBoxed(true);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> frames = canvas.Of(TDrawCall::Kind::FrameRect);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].rect, (TRect{130, 2, 132 + 35 + 3, 18}));
  EXPECT_EQ(frames[0].brush.Color, framework::clBlack);
}

TEST_F(GraphTitleDrawing, NothingWhenNotShown) {
  graph->Title()->SetShowCaption(false);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  for (const TDrawCall& call : canvas.Texts()) EXPECT_NE(call.text, "Error");
}

// --- data --------------------------------------------------------------------------------

class LineTraces : public testing::Test {
 protected:
  // 0 … 100 on both axes over 200 × 200 pixels (no labels): 2 pixels per unit, origin at
  // (20, 220).
  void SetUp() override {
    graph = MakeGraph(240, 240);
    graph->SetGraphType(components::gtLine);
    graph->XAxis()->SetShowLabels(false);
    graph->YAxis()->SetShowLabels(false);
    graph->SetXAxis(1, 0, 100);
    graph->SetYAxis(1, 0, 100);
  }
  std::vector<TDrawCall> DataLines(TRecordingCanvas& canvas) {
    graph->DrawTo(canvas);
    std::vector<TDrawCall> lines = LinesAfterFrame(canvas);
    // The grid: one vertical line (i = 1) and two horizontal ones (i = 0, 1).
    return std::vector<TDrawCall>(lines.begin() + 3, lines.end());
  }
  std::unique_ptr<TGraphBox> graph;
};

TEST_F(LineTraces, TwoPointsDrawOneSegmentInTheSecondPointsColour) {
  graph->AddPoint(0, framework::clBlue, 10.7, 20, 1);
  graph->AddPoint(0, framework::clRed, 40, 30.9, 3.9);
  TRecordingCanvas canvas;
  const std::vector<TDrawCall> lines = DataLines(canvas);
  ASSERT_EQ(lines.size(), 1u);
  // Mapped by truncation: 10.7 → 21 pixels, 30.9 → 61.
  EXPECT_EQ(lines[0].from, QPoint(20 + 21, 220 - 40));
  EXPECT_EQ(lines[0].to, QPoint(20 + 80, 220 - 61));
  EXPECT_EQ(lines[0].pen.Color, framework::clRed);
  EXPECT_EQ(lines[0].pen.Width, 3);
  EXPECT_EQ(lines[0].clip, (TRect{20, 20, 220, 221}));
}

TEST_F(LineTraces, ASinglePointDrawsOnlyItsLabel) {
  graph->AddDataPoint(0, "peak", 50, 50, 1, framework::clRed);
  TRecordingCanvas canvas;
  EXPECT_TRUE(DataLines(canvas).empty());
  const std::vector<TDrawCall> texts = canvas.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "peak");
  EXPECT_EQ(QPoint(texts[0].x, texts[0].y), QPoint(120, 120));
  EXPECT_EQ(texts[0].brush.Style, framework::TBrushStyle::bsClear);
  EXPECT_EQ(texts[0].align, framework::TTextAlign::taBaselineLeft);
}

TEST_F(LineTraces, TracesAreDrawnSeparatelyInIndexOrder) {
  graph->AddPoint(1, framework::clRed, 0, 0, 1);
  graph->AddPoint(0, framework::clBlue, 0, 50, 1);
  graph->AddPoint(1, framework::clRed, 100, 0, 1);
  graph->AddPoint(0, framework::clBlue, 100, 50, 1);
  graph->AddPoint(-5, framework::clLime, 50, 50, 2);
  TRecordingCanvas canvas;
  const std::vector<TDrawCall> lines = DataLines(canvas);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].pen.Color, framework::clBlue);  // trace 0 before trace 1
  EXPECT_EQ(lines[0].from.y(), 120);
  EXPECT_EQ(lines[1].pen.Color, framework::clRed);
  EXPECT_EQ(lines[1].from.y(), 220);
  // The marker trace (negative) comes first of all.
  const std::vector<TDrawCall>& calls = canvas.Calls();
  const auto marker = std::find_if(calls.begin(), calls.end(), [](const TDrawCall& c) {
    return c.kind == TDrawCall::Kind::Rectangle;
  });
  const auto firstData = std::find_if(calls.begin(), calls.end(), [](const TDrawCall& c) {
    return c.kind == TDrawCall::Kind::Line && c.pen.Color == framework::clBlue;
  });
  EXPECT_LT(marker - calls.begin(), firstData - calls.begin());
}

TEST_F(LineTraces, MarkersAreSquaresOfTwiceTheTruncatedSizeWithABlackOutline) {
  graph->AddPoint(-1, framework::clLime, 50, 50, 3.9);
  graph->AddPoint(-1, framework::clBlue, 25, 75, 2);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> markers = canvas.Rectangles();
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_EQ(markers[0].rect, (TRect{117, 117, 123, 123}));
  EXPECT_EQ(markers[0].rect.Width(), 6);
  EXPECT_EQ(markers[0].pen.Color, framework::clBlack);
  EXPECT_EQ(markers[0].brush.Color, framework::clLime);
  EXPECT_EQ(markers[0].brush.Style, framework::TBrushStyle::bsSolid);
  EXPECT_EQ(markers[1].rect, (TRect{68, 68, 72, 72}));
}

TEST_F(LineTraces, MarkersInPixels) {
  graph->AddPoint(-1, framework::clRed, 50, 50, 3.9);
  const QImage image = DrawImage(*graph);
  EXPECT_EQ(image.pixel(117, 117), kBlackPixel);
  EXPECT_EQ(image.pixel(122, 122), kBlackPixel);
  EXPECT_EQ(image.pixel(120, 120), kRedPixel);
  EXPECT_EQ(image.pixel(123, 120), kWhitePixel);
  EXPECT_EQ(image.pixel(116, 120), kWhitePixel);
}

TEST_F(LineTraces, DensePointsAreThinnedToAbout50PerPixelColumn) {
  graph->resize(400, 240);
  graph->SetXAxis(1, 0, 100000);
  for (int i = 1; i <= 100000; ++i) graph->AddPoint(0, framework::clRed, i, i % 100, 1);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> drawn = canvas.LinesIn(framework::clRed);
  // Every 6th point (100000 div 400 div 50 + 1): 16666 points, the first one a move.
  ASSERT_EQ(drawn.size(), 16665u);
  EXPECT_EQ(drawn[0].from, graph->DataToPixel(6, 6));
  EXPECT_EQ(drawn[0].to.y(), 220 - 2 * 12);  // point 12 has y = 12
  EXPECT_EQ(drawn[1].to.y(), 220 - 2 * 18);
}

TEST_F(LineTraces, ThinningCountsOnlyThePointsOfItsOwnTrace) {
  graph->resize(400, 240);
  graph->SetXAxis(1, 0, 100000);
  for (int i = 1; i <= 100000; ++i) {
    graph->AddPoint(0, framework::clRed, i, i % 100, 1);
    if (i % 1000 == 0) graph->AddPoint(1, framework::clBlue, i, 50, 1);
  }
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> red = canvas.LinesIn(framework::clRed);
  ASSERT_EQ(red.size(), 16665u);  // every 6th of trace 0's own points
  EXPECT_EQ(red[0].from, graph->DataToPixel(6, 6));
  EXPECT_EQ(red[0].to.y(), 220 - 2 * 12);
  EXPECT_EQ(canvas.LinesIn(framework::clBlue).size(), 99u);  // 100 points: no thinning
}

TEST_F(LineTraces, FewPointsAreAllDrawn) {
  graph->resize(400, 240);
  for (int i = 0; i < 1000; ++i) graph->AddPoint(0, framework::clRed, i % 100, 1, 1);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  EXPECT_EQ(canvas.LinesIn(framework::clRed).size(), 999u);
}

TEST_F(LineTraces, DrawLastPixelPushesEachEndOnePixelFurther) {
  graph->SetDrawLastPixel(true);
  graph->AddPoint(0, framework::clRed, 0, 50, 1);  // right: x + 1
  graph->AddPoint(0, framework::clRed, 10, 50, 1);
  graph->AddPoint(1, framework::clRed, 0, 0, 1);  // exact diagonal up-right: both
  graph->AddPoint(1, framework::clRed, 10, 10, 1);
  graph->AddPoint(2, framework::clRed, 50, 50, 1);  // zero length: unchanged
  graph->AddPoint(2, framework::clRed, 50, 50, 1);
  graph->AddPoint(3, framework::clRed, 10, 40, 1);  // downwards: y + 1
  graph->AddPoint(3, framework::clRed, 10, 10, 1);
  graph->AddPoint(3, framework::clRed, 0, 12, 1);  // then left: from the pushed end, x − 1
  TRecordingCanvas canvas;
  const std::vector<TDrawCall> lines = DataLines(canvas);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].to, QPoint(40 + 1, 120));
  EXPECT_EQ(lines[1].to, QPoint(40 + 1, 200 - 1));
  EXPECT_EQ(lines[2].from, QPoint(120, 120));
  EXPECT_EQ(lines[2].to, QPoint(120, 120));
  EXPECT_EQ(lines[3].to, QPoint(40, 200 + 1));
  EXPECT_EQ(lines[4].from, QPoint(40, 201));
  EXPECT_EQ(lines[4].to, QPoint(20 - 1, 196));
}

namespace {

// The line calls of a recording replayed one by one onto a white image through the real canvas:
// the picture a trace gives when each segment is drawn on its own.
QImage ReplayLines(const TRecordingCanvas& recording, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  framework::TCanvas canvas(&painter);
  for (const TDrawCall& line : recording.Lines()) {
    if (line.clip)
      canvas.SetClipRect(*line.clip);
    else
      canvas.RemoveClip();
    canvas.SetPenColor(line.pen.Color);
    canvas.SetPenWidth(line.pen.Width);
    canvas.SetPenStyle(line.pen.Style);
    canvas.MoveTo(line.from.x(), line.from.y());
    canvas.LineTo(line.to.x(), line.to.y());
  }
  painter.end();
  return image;
}

int DifferingPixels(const QImage& a, const QImage& b, QPoint* first) {
  int differing = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y) && differing++ == 0) *first = QPoint(x, y);
  return differing;
}

}  // namespace

TEST_F(LineTraces, TracesGiveThePixelsOfTheirSegmentsDrawnOneByOne) {
  // Random walks in every direction, short and long, steep and flat, with runs of one colour
  // broken by colour and width changes, some far outside the plot.
  const framework::TColor colours[] = {framework::clRed, framework::clBlue, framework::clLime};
  for (int config = 0; config < 8; ++config) {
    SCOPED_TRACE(config);
    graph = MakeGraph(240, 240);
    graph->SetGraphType(components::gtLine);
    graph->XAxis()->SetShowLabels(false);
    graph->YAxis()->SetShowLabels(false);
    graph->SetXAxis(1, 0, 100);
    graph->SetYAxis(1, 0, 100);
    graph->SetDrawLastPixel(config % 2 == 1);
    uint32_t noise = 977u * uint32_t(config + 1);
    auto next = [&noise](int range) {
      noise = noise * 1664525u + 1013904223u;
      return int((noise >> 8) % uint32_t(range));
    };
    for (int trace = 0; trace < 2; ++trace) {
      double x = 50;
      double y = 50;
      for (int i = 0; i < 400; ++i) {
        const int scale = next(4) == 0 ? 60 : 6;  // now and then a long jump
        x = std::clamp(x + next(2 * scale + 1) - scale + next(10) / 10.0, -40.0, 140.0);
        y = std::clamp(y + next(2 * scale + 1) - scale + next(10) / 10.0, -40.0, 140.0);
        const framework::TColor colour = colours[(i / (1 + next(12))) % 3];
        const double size = config >= 4 && next(5) == 0 ? 3 : 1;  // wide pens in later runs
        graph->AddPoint(trace, colour, x, y, size);
      }
    }
    graph->AddPoint(0, framework::clBlue, 1e9, -1e9, 1);  // far off the device
    graph->AddPoint(0, framework::clBlue, 30, 60, 1);
    // Level and upright lines running out of the plot and far off the device.
    for (const QPointF p :
         {QPointF(30, 40), QPointF(150, 40), QPointF(-1e9, 40), QPointF(-1e9, 1e9),
          QPointF(-1e9, 70), QPointF(60, 70), QPointF(60, -1e9), QPointF(60, 20)})
      graph->AddPoint(1, framework::clLime, p.x(), p.y(), 1);
    // Traces that end on a leftward level line and on an upward one: no later segment covers
    // their last pixels.
    graph->AddPoint(2, framework::clRed, 60, 80, 1);
    graph->AddPoint(2, framework::clRed, 30, 80, 1);
    graph->AddPoint(3, framework::clRed, 70, 30, 1);
    graph->AddPoint(3, framework::clRed, 70, 90, 1);
    TRecordingCanvas recording;
    graph->DrawTo(recording);
    ASSERT_GT(recording.LinesIn(framework::clBlue).size(), 100u);
    const QImage expected = ReplayLines(recording, graph->size());
    const QImage drawn = DrawImage(*graph);
    QPoint first;
    EXPECT_EQ(DifferingPixels(drawn, expected, &first), 0)
        << "first at " << first.x() << ", " << first.y();
  }
}

TEST_F(LineTraces, DrawLastPixelAlsoExtendsGridLines) {
  graph->SetDrawLastPixel(true);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> lines = LinesAfterFrame(canvas);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].to, QPoint(220, 20 - 1));   // vertical grid line, upwards
  EXPECT_EQ(lines[1].to, QPoint(220 + 1, 220));  // horizontal grid lines, rightwards
}

TEST_F(LineTraces, APointOutsideTheRangesIsClippedTheBottomRowStaysDrawable) {
  // Along the bottom frame row and on beyond the right edge.
  graph->AddPoint(0, framework::clRed, 50, 0, 1);
  graph->AddPoint(0, framework::clRed, 150, 0, 1);
  // Down through the bottom edge.
  graph->AddPoint(1, framework::clRed, 20, 50, 1);
  graph->AddPoint(1, framework::clRed, 20, -50, 1);
  const QImage image = DrawImage(*graph);
  EXPECT_EQ(image.pixel(150, 220), kRedPixel);  // the bottom row belongs to the plot
  EXPECT_EQ(image.pixel(219, 220), kRedPixel);
  EXPECT_EQ(image.pixel(220, 220), kBlackPixel);  // the right frame column does not
  EXPECT_EQ(image.pixel(225, 220), kWhitePixel);
  EXPECT_EQ(image.pixel(60, 220), kRedPixel);
  EXPECT_EQ(image.pixel(60, 221), kWhitePixel);  // below the plot
  EXPECT_EQ(image.pixel(60, 230), kWhitePixel);
}

TEST_F(LineTraces, FarOffAndInvalidValuesDrawClippedWithoutFailing) {
  graph->AddPoint(0, framework::clRed, 50, 50, 1);
  graph->AddPoint(0, framework::clRed, 1e12, 1e12, 1);  // up and right, far beyond the plot
  graph->AddPoint(1, framework::clRed, std::nan(""), 10, 1);
  graph->AddPoint(1, framework::clRed, 60, -1e300, 1);
  const QImage image = DrawImage(*graph);
  EXPECT_EQ(image.pixel(130, 110), kRedPixel);   // on the way out at 45 degrees
  EXPECT_EQ(image.pixel(225, 15), kWhitePixel);  // nothing outside the plot
  EXPECT_EQ(graph->DataToPixel(std::nan(""), 0).x(), 20);
}

TEST_F(LineTraces, AZeroWidthGraphDrawsWithoutFailing) {
  graph->resize(0, 0);
  graph->AddPoint(0, framework::clRed, 1, 1, 1);
  graph->AddPoint(0, framework::clRed, 2, 2, 1);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  EXPECT_EQ(canvas.LinesIn(framework::clRed).size(), 1u);
}

TEST(Bars, VerticalBarsRiseFromZeroCentredOnX) {
  auto graph = MakeGraph(240, 240);
  graph->XAxis()->SetShowLabels(false);
  graph->YAxis()->SetShowLabels(false);
  graph->SetXAxis(1, 0, 100);
  graph->SetYAxis(1, 0, 100);
  graph->SetGraphType(components::gtVertBar);
  graph->SetGridColor(framework::clGray);
  graph->AddPoint(3, framework::clBlue, 50, 40, 10);
  TRecordingCanvas canvas;
  graph->DrawTo(canvas);
  const std::vector<TDrawCall> bars = canvas.Rectangles();
  ASSERT_EQ(bars.size(), 1u);
  // From (45, 40) to (55, 0), normalised by the canvas.
  EXPECT_EQ(bars[0].rect, (TRect{110, 140, 130, 220}));
  EXPECT_EQ(bars[0].pen.Color, framework::clGray);
  EXPECT_EQ(bars[0].brush.Color, framework::clBlue);
  EXPECT_EQ(bars[0].clip, (TRect{20, 20, 220, 221}));
}

TEST(GraphBoxPaint, OnPaintRunsAfterDrawingWithTheCanvasAvailable) {
  auto graph = MakeGraph(200, 200);
  TRecordingCanvas canvas;
  int calls = 0;
  graph->OnPaint = [&](QObject* sender) {
    ++calls;
    EXPECT_EQ(sender, graph.get());
    ASSERT_EQ(graph->Canvas(), &canvas);
    EXPECT_FALSE(canvas.ClipRect().has_value());  // the data clip is removed first
    graph->Canvas()->TextOut(0, 0, "mine");
  };
  graph->DrawTo(canvas);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(canvas.TextStrings().back(), "mine");
  EXPECT_EQ(graph->Canvas(), nullptr);
}

TEST(GraphBoxPaint, AWhitePanelGetsABlackFrameInsideItsBevelsAndBorder) {
  auto graph = MakeGraph(100, 80);
  TRecordingCanvas canvas;
  graph->Paint(canvas);
  std::vector<TDrawCall> frames = canvas.Of(TDrawCall::Kind::FrameRect);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].rect, (TRect{1, 1, 99, 79}));
  EXPECT_EQ(frames[0].brush.Color, framework::clBlack);

  graph->SetBorderWidth(2);
  graph->SetBevelInner(components::bvRaised);
  graph->SetBevelWidth(2);
  canvas.Clear();
  graph->Paint(canvas);
  frames = canvas.Of(TDrawCall::Kind::FrameRect);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].rect, (TRect{6, 6, 94, 74}));  // 2 + 2 + 2 on every side

  graph->SetColor(framework::clSilver);
  canvas.Clear();
  graph->Paint(canvas);
  EXPECT_TRUE(canvas.Of(TDrawCall::Kind::FrameRect).empty());
}

TEST(GraphBoxPaint, AShownGraphPaintsItsPanelAndPlot) {
  TGraphBox graph;
  graph.resize(240, 200);
  graph.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
  const QImage image = graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
  // Lowered bevel: grey top-left edge, white bottom-right edge, then the black frame.
  EXPECT_EQ(image.pixel(0, 50), 0xFF808080);
  EXPECT_EQ(image.pixel(1, 50), kBlackPixel);
  EXPECT_EQ(image.pixel(239, 50), kWhitePixel);
  // The plot's bottom-right frame corner.
  EXPECT_EQ(image.pixel(graph.PlotRight(), graph.PlotBottom()), kBlackPixel);
  // The first sample bar (red) lies inside the plot.
  const QPoint bar = graph.DataToPixel(5, 10);
  EXPECT_EQ(image.pixel(bar), kRedPixel);
}
