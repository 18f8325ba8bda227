// Axes and title, the graph box and the strip chart: geometry through a recording canvas, whole
// pictures through the pixels of a QImage.
#include "components/Graphbox.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <vector>

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
