// The main window end to end: a time server in the test process, "Get Time", the displays, the
// chart and the statistics.
#include "app/TimeMain.h"

#include "app/HTAutoCalibrate.h"
#include "app/HTEditHosts.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "components/Degspin.h"
#include "components/ErrorStatistics.h"
#include "components/Graphbox.h"
#include "components/HugeArry.h"
#include "components/Onoffbox.h"
#include "components/Realspin.h"
#include "components/SpinButtons.h"
#include "components/StatsLib.h"
#include "components/intspin.h"
#include "framework/ApplicationHelp.h"
#include "framework/DateUtils.h"
#include "framework/DisplayFormats.h"
#include "framework/RadioGroup.h"
#include "framework/Registry.h"
#include "framework/SysErrorMessage.h"
#include "framework/Timers.h"
#include "ntp/NTPClient.h"
#include "platform/HtmlHelp.h"
#include "platform/posix/PosixRegistry.h"
#include "support/FakeClock.h"
#include "support/FakePlatformRate.h"
#include "support/FakeSntpServer.h"
#include "support/MainWindowFixture.h"

using app::TForm1;
using testing_support::FakeClock;
using testing_support::FakeSntpServer;
using testing_support::ReplySpec;

// Shows QStrings readably in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace {

// The window, with the helpers of its own tests.
struct MainWindow : testing_support::MainWindowTest {
  // Types over the whole text of a field, as a user selecting it and typing would.
  void TypeInto(QLineEdit* field, const QString& text) {
    field->setFocus(Qt::TabFocusReason);
    field->selectAll();
    QTest::keyClicks(field, text);
  }
  // Clicks the radio button of a range group's item.
  void ClickItem(framework::TRadioGroup* group, const QString& caption) {
    for (QRadioButton* button : group->findChildren<QRadioButton*>()) {
      if (button->text() != caption) continue;
      QStyleOptionButton option;
      option.initFrom(button);
      const QRect indicator =
          button->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, button);
      QTest::mouseClick(button, Qt::LeftButton, {}, indicator.center());
      return;
    }
    ADD_FAILURE() << "no item " << caption.toStdString();
  }
};

}  // namespace

TEST_F(MainWindow, StartsWithTheDescribedSettings) {
  EXPECT_EQ(form->windowTitle(), "Tempomere");
  EXPECT_EQ(ui().Timer1->Interval(), 300u);
  EXPECT_DOUBLE_EQ(ui().StripChart1->Increment(), 0.3);
  EXPECT_EQ(ui().RangeXRadio->ItemCaption(), "1 min");
  EXPECT_DOUBLE_EQ(ui().StripChart1->XAxis()->Max(), 60);
  EXPECT_EQ(ui().StripChart1->XAxis()->Lines(), 4);
  EXPECT_DOUBLE_EQ(ui().StripChart1->YAxis()->Min(), -10);
  EXPECT_DOUBLE_EQ(ui().StripChart1->YAxis()->Max(), 10);
  EXPECT_EQ(ui().PageControl1->currentIndex(), 0);
  EXPECT_EQ(ui().PortEdit->text(), "123");
  EXPECT_EQ(ui().NTPClient->ReceiveTimeout(), 500);
  EXPECT_EQ(ui().SampleSpin->Value(), 10);
  EXPECT_EQ(form->State().ErrorAverage.Size(), 10);
  EXPECT_TRUE(ui().ValidOnOff->BoxOn());  // "Yes" until the first query
  EXPECT_EQ(ui().HostCombo->currentIndex(), 0);
  EXPECT_EQ(ui().StatusDis->text(), " ");
}

TEST_F(MainWindow, GetTimeFillsTheDisplaysInTheirFormatsAndPlotsTheError) {
  FakeSntpServer server;
  ReplySpec plan;
  plan.offset_seconds = 2.5;  // the server's clock is ahead: the computer's error is negative
  server.ThenReply(plan);
  PointAt(server);
  GetTime();

  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
  const ntp::TNTPInfo& info = ui().NTPClient->Info;
  EXPECT_TRUE(ui().ValidOnOff->BoxOn());
  EXPECT_EQ(ui().LocalDateDis->Text(), framework::FormatShortDate(info.ServerTime));
  EXPECT_EQ(ui().LocalTimeDis->Text(), framework::FormatLongTime(info.ServerTime));
  EXPECT_EQ(ui().UTCTimeDis->Text(), framework::FormatTimeOfDay(info.ServerTimeUtc));
  const double error = QLocale().toDouble(ui().ErrorDis->Text());
  // As close as the exchange allows: half its round trip, which load can stretch, and the
  // millisecond truncation of its four times.
  const double slack = info.RoundTripDelay * 86400 / 2 + 0.002;
  EXPECT_NEAR(error, -2.5, slack);
  EXPECT_EQ(ui().ErrorDis->Text().section(QLocale().decimalPoint(), 1).size(), 5);
  EXPECT_EQ(ui().PrecisionDis->Text(), framework::FormatExponent(std::ldexp(1.0, -20)));
  EXPECT_EQ(ui().PollDis->Text(), framework::FormatFixed(64.00000, 5));
  EXPECT_EQ(ui().RootDelayDis->Text(), framework::FormatFixed(1.50000, 5));
  EXPECT_EQ(ui().DisperseDis->Text(), framework::FormatFixed(0.25000, 5));
  EXPECT_EQ(ui().ReferenceDis->Text(), "10.0.0.1");
  EXPECT_EQ(ui().StratumDis->Text(), "2");
  EXPECT_EQ(ui().VersionDis->Text(), "4");
  EXPECT_EQ(ui().ModeDis->Text(), "4");
  EXPECT_EQ(ui().LeapDis->Text(), "0");

  ASSERT_EQ(Points().size(), 1u);
  EXPECT_EQ(Points()[0].Index, 0);
  EXPECT_EQ(Points()[0].Color, 0x0000FFu);    // red
  EXPECT_NEAR(Points()[0].Y, error, 0.0005);  // the error as shown, to its 5 decimals
  EXPECT_EQ(ui().CountDis->Text(), "1");
  EXPECT_EQ(ui().MeanDis->Text(), framework::FormatFixed(form->State().ErrorStore.Get(0), 3));
  EXPECT_FALSE(ui().NTPClient->Active());
}

TEST_F(MainWindow, RunningAverageGoesToTraceOneInBlueAtTheSameXPosition) {
  FakeSntpServer server;
  ReplySpec plan;
  plan.offset_seconds = 1.0;
  server.Always(
      [plan](const QByteArray& request) { return testing_support::MakeReply(request, plan); });
  PointAt(server);
  GetTime();
  const double first_delay = ui().NTPClient->Info.RoundTripDelay * 86400;
  ui().AverageChk->setChecked(true);
  GetTime();
  const double second_delay = ui().NTPClient->Info.RoundTripDelay * 86400;
  ASSERT_EQ(Points().size(), 2u);
  EXPECT_EQ(Points()[1].Index, 1);
  EXPECT_EQ(Points()[1].Color, 0xFF0000u);  // blue
  // The mean of two errors, each as close as its exchange allows.
  EXPECT_NEAR(Points()[1].Y, -1.0, (first_delay + second_delay) / 4 + 0.002);
  EXPECT_NEAR(Points()[1].X - Points()[0].X, 0.3, 1e-9);
  EXPECT_EQ(ui().CountDis->Text(), "2");
}

TEST_F(MainWindow, ATimeOutAfterAValidReplyKeepsTheFieldsAndPlotsNothing) {
  FakeSntpServer server;
  ReplySpec plan;
  plan.offset_seconds = -0.75;
  server.ThenReply(plan);
  server.ThenSilence();
  PointAt(server);
  GetTime();
  const QString error = ui().ErrorDis->Text();
  const QString date = ui().LocalTimeDis->Text();
  GetTime();
  EXPECT_FALSE(ui().ValidOnOff->BoxOn());
  EXPECT_EQ(ui().ErrorDis->Text(), error);
  EXPECT_EQ(ui().LocalTimeDis->Text(), date);
  EXPECT_EQ(Points().size(), 1u);
  EXPECT_EQ(form->State().ErrorStore.Count(), 1);
  // The running average still took the (repeated) error.
  EXPECT_EQ(form->State().ErrorAverage.Count(), 2);
}

TEST_F(MainWindow, AnInvalidReplyReplacesTheFieldsButIsNotPlotted) {
  FakeSntpServer server;
  server.ThenReply();
  ReplySpec invalid;
  invalid.stratum = 0;
  invalid.poll = 3;
  server.ThenReply(invalid);
  PointAt(server);
  GetTime();
  GetTime();
  EXPECT_FALSE(ui().ValidOnOff->BoxOn());
  EXPECT_EQ(ui().PollDis->Text(), framework::FormatFixed(8.00000, 5));
  EXPECT_EQ(ui().StratumDis->Text(), "0");
  EXPECT_EQ(Points().size(), 1u);
  EXPECT_EQ(ui().CountDis->Text(), "1");
}

// A port box that names no UDP port: the text, or the server's port plus a number, and the
// message about it ("%1" the text).
struct BadPortRow {
  const char* name;
  const char* text;  // nullptr: the server's port plus server_port_plus
  int server_port_plus;
  const char* message;
};

class BadPort : public MainWindow, public ::testing::WithParamInterface<BadPortRow> {};

TEST_P(BadPort, IsReportedAndReleasesAutoUpdateWithTheTimerStillRunning) {
  const BadPortRow& row = GetParam();
  FakeSntpServer server;
  server.Always([](const QByteArray& request) { return testing_support::MakeReply(request); });
  ui().HostCombo->setEditText("127.0.0.1");
  const QString port =
      row.text ? QString(row.text) : QString::number(server.Port() + row.server_port_plus);
  ui().Timer1->SetEnabled(true);
  QTest::mouseClick(ui().AutoUpdateBtn, Qt::LeftButton);
  ASSERT_TRUE(ui().AutoUpdateBtn->isChecked());
  ui().PortEdit->setText(port);
  ui().Timer1->Tick();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_EQ(dialogs.errors[0], QString(row.message).arg(port));
  EXPECT_EQ(dialogs.last_error_title, framework::ApplicationTitle());
  EXPECT_EQ(server.RequestCount(), 0);  // 16 bits of a larger number would reach the server
  EXPECT_FALSE(ui().AutoUpdateBtn->isChecked());
  EXPECT_TRUE(ui().Timer1->Enabled());
  // The clock displays go on with the next tick, which asks nobody.
  ui().CompTimeDis->SetText("");
  ui().Timer1->Tick();
  EXPECT_FALSE(ui().CompTimeDis->Text().isEmpty());
  EXPECT_EQ(dialogs.errors.size(), 1);
  // Auto Update can be pressed again once the port is mended.
  PointAt(server);
  QTest::mouseClick(ui().AutoUpdateBtn, Qt::LeftButton);
  ui().Timer1->Tick();
  EXPECT_EQ(server.RequestCount(), 1);
  EXPECT_TRUE(ui().ValidOnOff->BoxOn());
  EXPECT_EQ(dialogs.errors.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, BadPort,
    ::testing::Values(BadPortRow{"NotAWholeNumber", "abc", 0, "'%1' is not a valid integer value"},
                      BadPortRow{"AboveSixteenBits", nullptr, 65536,
                                 "'%1' is not a valid port number (1..65535)"},
                      BadPortRow{"Zero", "0", 0, "'%1' is not a valid port number (1..65535)"}),
    [](const ::testing::TestParamInfo<BadPortRow>& info) { return info.param.name; });

TEST_F(MainWindow, AutoUpdateRunsOneQueryPerTick) {
  FakeSntpServer server;
  server.Always([](const QByteArray& request) { return testing_support::MakeReply(request); });
  PointAt(server);
  ui().Timer1->Tick();
  EXPECT_EQ(server.RequestCount(), 0);
  ui().AutoUpdateBtn->setChecked(true);
  ui().Timer1->Tick();
  ui().Timer1->Tick();
  ui().Timer1->Tick();
  EXPECT_EQ(server.RequestCount(), 3);
  EXPECT_EQ(Points().size(), 3u);
}

TEST_F(MainWindow, TheSampleSpinSizesTheRunningAverage) {
  // Errors of 1, 2, 3 and 4 seconds: with the clock standing still, a server that answers
  // e seconds before the request's stamp shows the computer e seconds ahead.
  FakeClock clock;
  FakeSntpServer server;
  for (double e : {1.0, 2.0, 3.0, 4.0}) {
    ReplySpec plan;
    plan.seconds_after_originate = -e;
    server.ThenReply(plan);
  }
  PointAt(server);
  for (int i = 0; i < 4; ++i) GetTime();
  ASSERT_EQ(form->State().ErrorAverage.Count(), 4);
  TypeInto(ui().SampleSpin, "2");
  EXPECT_EQ(form->State().ErrorAverage.Size(), 2);
  // Shrinking the window keeps the oldest samples until new ones push them out.
  EXPECT_NEAR(form->State().ErrorAverage.Average(), 1.5, 1e-5);
  QTest::mouseClick(ui().SampleSpin->SpinButton()->UpArrowButton(), Qt::LeftButton, {}, {3, 3});
  EXPECT_EQ(form->State().ErrorAverage.Size(), 3);
}

TEST_F(MainWindow, TheRangeGroupsSetTheAxesForEachItemClicked) {
  struct XRow {
    const char* caption;
    double max;
    int lines;
    double multiplier;
  };
  const XRow xRows[] = {
      {"3 min", 180, 12, 1},         {"5 min", 300, 10, 1},       {"10 min", 600, 10, 1.0 / 60},
      {"30 min", 1800, 6, 1.0 / 60}, {"1 hr", 3600, 6, 1.0 / 60}, {"3 hrs", 10800, 6, 1.0 / 60},
      {"1 min", 60, 4, 1},
  };
  for (const XRow& row : xRows) {
    ClickItem(ui().RangeXRadio, row.caption);
    EXPECT_EQ(ui().RangeXRadio->ItemCaption(), row.caption);
    EXPECT_DOUBLE_EQ(ui().StripChart1->XAxis()->Min(), 0) << row.caption;
    EXPECT_DOUBLE_EQ(ui().StripChart1->XAxis()->Max(), row.max) << row.caption;
    EXPECT_EQ(ui().StripChart1->XAxis()->Lines(), row.lines) << row.caption;
    EXPECT_DOUBLE_EQ(ui().StripChart1->XAxis()->Multiplier(), row.multiplier) << row.caption;
  }
  // Read with a point whatever the user's decimal separator.
  for (const auto& [caption, v] : std::vector<std::pair<QString, double>>{{"0.1", 0.1},
                                                                          {"0.25", 0.25},
                                                                          {"0.5", 0.5},
                                                                          {"1.0", 1.0},
                                                                          {"2.5", 2.5},
                                                                          {"5.0", 5.0},
                                                                          {"10.0", 10.0}}) {
    ClickItem(ui().RangeYRadio, caption);
    EXPECT_DOUBLE_EQ(ui().StripChart1->YAxis()->Min(), -v) << caption.toStdString();
    EXPECT_DOUBLE_EQ(ui().StripChart1->YAxis()->Max(), v) << caption.toStdString();
  }
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
}

TEST_F(MainWindow, AutoIntervalIsTheTimersIntervalInUnsigned32BitMilliseconds) {
  struct Row {
    const char* typed;
    uint32_t milliseconds;
  };
  const Row rows[] = {
      {"1000", 1000},
      {"5", 5},                     // the spin's bounds are not enforced
      {"-10", 4294967286u},         // the low 32 bits, unsigned
      {"2147483648", 2147483648u},  // 2^31: past the signed range
      {"4294967295", 4294967295u},  // the longest
      {"4294967596", 300},          // 2^32 + 300: the low 32 bits
      {"-2147483648", 2147483648u},
  };
  ui().Timer1->SetEnabled(true);
  for (const Row& row : rows) {
    TypeInto(ui().UpdateRateSpin, row.typed);
    EXPECT_EQ(form->State().TimerInterval, row.milliseconds) << row.typed;
    EXPECT_TRUE(ui().Timer1->Active()) << row.typed;
    EXPECT_GT(ui().Timer1->PartLength(), 0) << row.typed;
    // The chart moves forward by the interval in seconds.
    EXPECT_DOUBLE_EQ(ui().StripChart1->Increment(), row.milliseconds / 1000.0) << row.typed;
  }
  // A timer of 0 ms does not tick, and the chart stands still.
  for (const char* zero : {"0", "4294967296"}) {
    TypeInto(ui().UpdateRateSpin, zero);
    EXPECT_EQ(form->State().TimerInterval, 0u) << zero;
    EXPECT_FALSE(ui().Timer1->Active()) << zero;
    EXPECT_DOUBLE_EQ(ui().StripChart1->Increment(), 0.0) << zero;
  }
}

TEST_F(MainWindow, ClearingTheChartLeavesStatisticsAndAverage) {
  FakeSntpServer server;
  server.Always([](const QByteArray& request) { return testing_support::MakeReply(request); });
  PointAt(server);
  GetTime();
  QTest::mouseClick(ui().ClearGraphBtn, Qt::LeftButton);
  EXPECT_TRUE(Points().empty());
  EXPECT_EQ(form->State().ErrorStore.Count(), 1);
  EXPECT_EQ(form->State().ErrorAverage.Count(), 1);
}

// --- Statistics -------------------------------------------------------------------------------

namespace {

// Accepts errors as the measurement cycle does, with the clock under the test's control.
struct Statistics : MainWindow {
  FakeClock clock;
  void Accept(double error) { form->AcceptError(error); }
  void Advance(double seconds) { clock.local += seconds / 86400.0; }
};

}  // namespace

TEST_F(Statistics, OneErrorHasNoDrift) {
  Accept(0.25);
  EXPECT_EQ(ui().CountDis->Text(), "1");
  EXPECT_EQ(ui().TotalDriftDis->Text(), framework::FormatFixed(0.000, 3));
  EXPECT_EQ(ui().DriftPerDayDis->Text(), framework::FormatFixed(0.000, 3));
  EXPECT_EQ(ui().MeanDis->Text(), framework::FormatFixed(0.250, 3));
  EXPECT_EQ(ui().MinDis->Text(), framework::FormatFixed(0.250, 3));
  EXPECT_EQ(ui().MaxDis->Text(), framework::FormatFixed(0.250, 3));
  EXPECT_EQ(ui().TimeSpanDis->Text(), "0:00:00 000");
}

TEST_F(Statistics, UnderTenErrorsCompareTheFirstAndTheLast) {
  for (double e : {0.1, -0.4, 0.3, 0.7}) {
    Accept(e);
    Advance(60);
  }
  EXPECT_EQ(ui().CountDis->Text(), "4");
  EXPECT_EQ(ui().TotalDriftDis->Text(), framework::FormatFixed(0.6, 3));
  // The run spans 180 s when the fourth error comes: three gaps of 60 s, and the first and the
  // last error are those three gaps apart.
  const double distance = 3 * (180.0 / 3) / 86400;  // days
  EXPECT_EQ(ui().DriftPerDayDis->Text(), framework::FormatFixed(0.6 / distance, 3));
  EXPECT_EQ(ui().MinDis->Text(), framework::FormatFixed(-0.400, 3));
  EXPECT_EQ(ui().MaxDis->Text(), framework::FormatFixed(0.700, 3));
  EXPECT_EQ(ui().MeanDis->Text(), framework::FormatFixed(0.175, 3));
}

TEST_F(Statistics, TenToNineteenErrorsUseWindowsOfTwo) {
  for (int i = 0; i < 12; ++i) {
    Accept(i == 0 ? 1.0 : i == 1 ? 3.0 : i == 10 ? 5.0 : i == 11 ? 9.0 : 0.0);
    Advance(10);
  }
  // (5 + 9) / 2 - (1 + 3) / 2
  EXPECT_EQ(ui().TotalDriftDis->Text(), framework::FormatFixed(5.0, 3));
  // 110 s over the 11 gaps between 12 samples; the windows' centres are at 0.5 and 10.5 gaps.
  const double distance = (10.5 - 0.5) * (110.0 / 11) / 86400;  // days
  EXPECT_EQ(ui().DriftPerDayDis->Text(), framework::FormatFixed(5.0 / distance, 3));
  // A nineteenth error still uses windows of two; the twentieth widens them to three.
  for (int i = 12; i < 19; ++i) {
    Accept(0.0);
    Advance(10);
  }
  // (0 + 0) / 2 - (1 + 3) / 2
  EXPECT_EQ(ui().TotalDriftDis->Text(), framework::FormatFixed(-2.0, 3));
  Accept(6.0);  // the twentieth
  // The first three (1 + 3 + 0) / 3, the last three (0 + 0 + 6) / 3.
  EXPECT_EQ(ui().TotalDriftDis->Text(), framework::FormatFixed(2.0 - 4.0 / 3, 3));
  EXPECT_EQ(ui().CountDis->Text(), "20");
}

TEST_F(Statistics, AnEvenlyGrowingErrorShowsItsOwnDriftPerDay) {
  // One second per day of wall time, sampled every 30 minutes for a day: 49 samples, 48 gaps.
  for (int i = 0; i <= 48; ++i) {
    Accept(i * 1800.0 / 86400.0);
    if (i < 48) Advance(1800);
  }
  EXPECT_EQ(ui().CountDis->Text(), "49");
  EXPECT_EQ(ui().DriftPerDayDis->Text(), framework::FormatFixed(1.0, 3));
  // Two samples half a day apart, half a second apart: one second per day, not twice that.
  QTest::mouseClick(ui().ClearStatsBtn, Qt::LeftButton);
  Accept(0.0);
  Advance(43200);
  Accept(0.5);
  EXPECT_EQ(ui().DriftPerDayDis->Text(), framework::FormatFixed(1.0, 3));
}

TEST_F(Statistics, ClearKeepsTheShownRunUntilTheNextErrorAndStdFollowsCalculate) {
  for (double e : {1.0, 3.0}) Accept(e);
  QTest::mouseClick(ui().CalculateStatsBtn, Qt::LeftButton);
  EXPECT_EQ(ui().STDDis->Text(), framework::FormatFixed(1.000, 3));  // population deviation
  QTest::mouseClick(ui().ClearStatsBtn, Qt::LeftButton);
  EXPECT_EQ(ui().CountDis->Text(), "2");
  EXPECT_EQ(ui().STDDis->Text(), framework::FormatFixed(1.000, 3));
  QTest::mouseClick(ui().CalculateStatsBtn, Qt::LeftButton);
  EXPECT_EQ(ui().STDDis->Text(), framework::FormatFixed(0.000, 3));
  Accept(-2.0);
  EXPECT_EQ(ui().CountDis->Text(), "1");
  EXPECT_EQ(ui().MinDis->Text(), framework::FormatFixed(-2.000, 3));
  EXPECT_EQ(ui().MaxDis->Text(), framework::FormatFixed(-2.000, 3));
}

TEST_F(Statistics, ErrorsTakenAtOneInstantShowTheTotalDriftAsTheDriftPerDay) {
  // No time between the windows' centres: the drift per day is the total drift itself.
  Accept(0.5);
  Accept(-0.25);
  EXPECT_EQ(ui().TotalDriftDis->Text(), framework::FormatFixed(-0.75, 3));
  EXPECT_EQ(ui().DriftPerDayDis->Text(), framework::FormatFixed(-0.75, 3));
}

TEST_F(Statistics, ARunLongerThanADayShowsItsSpanWithoutTheWholeDays) {
  Accept(0.0);
  Advance(30 * 3600);
  Accept(0.0);
  EXPECT_EQ(ui().TimeSpanDis->Text(), "6:00:00 000");
}

TEST_F(Statistics, TheTabShowsTheRunsSharedSummary) {
  // The same errors at the same times fed to the statistics value the query tool shares: every
  // field of the tab is that value's, in the tab's formats, after each error.
  components::TErrorStatistics shared;
  std::vector<double> store;
  for (int i = 0; i < 45; ++i) {
    Advance(i % 3 == 0 ? 7.5 : 0.3);  // uneven spacing: only the count and the span count
    const double error = 0.004 * i + (i % 4 == 0 ? 0.25 : -0.125);
    Accept(error);
    store.push_back(error);
    // The clock as the window reads it (whole milliseconds); it stands still meanwhile.
    const double now = framework::Now();
    shared.Accept(store, now);
    const components::TErrorSummary summary = shared.Summary(now);
    ASSERT_EQ(ui().CountDis->Text(), QString::number(summary.Count)) << i;
    ASSERT_EQ(ui().TimeSpanDis->Text(), framework::FormatTimeOfDay(summary.Span)) << i;
    ASSERT_EQ(ui().TotalDriftDis->Text(), framework::FormatFixed(summary.Drift.Total, 3)) << i;
    ASSERT_EQ(ui().DriftPerDayDis->Text(), framework::FormatFixed(summary.Drift.PerDay, 3)) << i;
    ASSERT_EQ(ui().MeanDis->Text(), framework::FormatFixed(summary.Mean, 3)) << i;
    ASSERT_EQ(ui().MinDis->Text(), framework::FormatFixed(summary.Min, 3)) << i;
    ASSERT_EQ(ui().MaxDis->Text(), framework::FormatFixed(summary.Max, 3)) << i;
  }
}

TEST_F(Statistics, TimeSinceUpdateCountsFromTheWindowsCreation) {
  Advance(61.5);
  ui().Timer1->Tick();
  EXPECT_EQ(ui().UpdateDis->Text(), "0:01:01 500");
}

// --- Calibration ------------------------------------------------------------------------------

namespace {

// The window over a clock rate and a token of the test's, never the machine's.
struct Calibration : MainWindow {
  testing_support::FakeClockAdjust rate;
  testing_support::FakeSecurity security;
  platform::ScopedOverride<platform::ClockAdjustApi> rate_installed{rate};
  platform::ScopedOverride<platform::SecurityApi> security_installed{security};

  Calibration() {
    rate.increment = 156250;  // 15.625 ms
    rate.adjustment = 156250;
    rate.disabled = 0;
    rate.privilegeEnabled = &security.enabled;
  }
  void Apply() { QTest::mouseClick(ui().Button3, Qt::LeftButton); }
};

}  // namespace

TEST_F(Calibration, AnAdjustmentEqualToTheIncrementShowsNoChange) {
  EXPECT_EQ(ui().ChangePerDaySpin->text(), framework::FormatFixed(0.0, 1));
  EXPECT_EQ(ui().TimeIntervalDis->Text(), framework::FormatFixed(15625.0, 1) + " uSec");
  EXPECT_EQ(ui().TimeIncDis->Text(), framework::FormatFixed(15625.0, 1) + " uSec");
  EXPECT_TRUE(ui().AdjustmentOnOff->BoxOn());
  EXPECT_EQ(ui().CalibStatusDis->text(), "");
}

TEST_F(Calibration, OneSecondPerDayBecomesAWholeUnitAndReadsBackAsItsTrueRate) {
  ui().ChangePerDaySpin->SetText(framework::FormatFixed(1.0, 1));
  EXPECT_EQ(form->State().TimeAdjustment, 156252u);  // 156251.808... rounded
  EXPECT_EQ(ui().TimeIncDis->Text(), framework::FormatFixed(15625.2, 1) + " uSec");
  EXPECT_EQ(rate.setCalls, 0);  // nothing applied yet
  Apply();
  EXPECT_EQ(rate.adjustment, 156252u);
  EXPECT_EQ(rate.disabled, 0);
  EXPECT_FALSE(security.enabled);  // the right is given up again
  EXPECT_EQ(security.openTokens, 0);
  EXPECT_EQ(security.lastBufferLength, 16u);
  // 156252 / 156250 gains 1.10592 s a day.
  EXPECT_EQ(ui().ChangePerDaySpin->text(), framework::FormatFixed(1.1, 1));
  EXPECT_EQ(ui().CalibStatusDis->text(), "");
}

TEST_F(Calibration, ThePendingAdjustmentIsTheOneTheShownRateStandsFor) {
  // An interrupt every second, 100 units (10 us) fast: 0.864 s a day, shown as 0.9. Showing it
  // changes the spin's text, and the change takes the pending adjustment to what 0.9 stands for.
  rate.increment = 10000000;
  rate.adjustment = 10000100;
  Start();
  EXPECT_EQ(ui().ChangePerDaySpin->text(), framework::FormatFixed(0.9, 1));
  EXPECT_EQ(form->State().TimeAdjustment, 10000104u);  // 10000104.166... rounded
  EXPECT_EQ(ui().TimeIncDis->Text(), framework::FormatFixed(1000010.4, 1) + " uSec");
  EXPECT_EQ(rate.setCalls, 0);  // nothing applied yet
  Apply();
  EXPECT_EQ(rate.adjustment, 10000104u);
  // Read back it is 0.89856 s a day: the same text, so nothing is rewritten.
  EXPECT_EQ(ui().ChangePerDaySpin->text(), framework::FormatFixed(0.9, 1));
  EXPECT_EQ(form->State().TimeAdjustment, 10000104u);
}

TEST_F(Calibration, SwitchingTheBoxOffThenApplyingWritesTheDisabledFlag) {
  ui().ChangePerDaySpin->SetText(framework::FormatFixed(-2.0, 1));
  QTest::mouseClick(ui().AdjustmentOnOff, Qt::LeftButton);
  EXPECT_FALSE(ui().AdjustmentOnOff->BoxOn());
  EXPECT_EQ(form->State().TimeAdjustmentDisabled, -1);
  Apply();
  EXPECT_NE(rate.disabled, 0);
  EXPECT_EQ(rate.adjustment, 156246u);
  EXPECT_FALSE(ui().AdjustmentOnOff->BoxOn());
}

TEST_F(Calibration, ATokenThatCannotBeOpenedEndsApplyWithoutAMessage) {
  security.failOpen = true;
  Apply();
  EXPECT_EQ(rate.setCalls, 0);
  EXPECT_EQ(ui().CalibStatusDis->text(), "");
  EXPECT_EQ(ui().StatusDis->text(), " ");
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

namespace {

// A user without the right to change the system time: the token does not hold it, and the
// kernel refuses to set the clock (EPERM).
enum class ClockAction { ApplyAdjustment, SetComputerTime };
struct NoRightRow {
  const char* name;
  ClockAction action;
};

class WithoutTheRight : public Calibration, public ::testing::WithParamInterface<NoRightRow> {
 protected:
  WithoutTheRight() {
    security.holdsPrivilege = false;
    kernel.refuse_with = EPERM;
  }
  testing_support::FakeKernelClock kernel{std::time(nullptr)};
};

}  // namespace

TEST_P(WithoutTheRight, TheActionChangesNothingAndSaysWhatRightItNeeds) {
  FakeSntpServer server;
  ReplySpec plan;
  plan.seconds_after_originate = 10.0;
  server.Always(
      [plan](const QByteArray& request) { return testing_support::MakeReply(request, plan); });
  PointAt(server);
  GetTime();
  ui().ChangePerDaySpin->SetText(framework::FormatFixed(1.0, 1));
  if (GetParam().action == ClockAction::ApplyAdjustment) {
    Apply();
    EXPECT_EQ(ui().ChangePerDaySpin->text(), framework::FormatFixed(1.0, 1));  // no re-read
  } else {
    QTest::mouseClick(ui().SetTimeBtn, Qt::LeftButton);
    EXPECT_EQ(server.RequestCount(), 2);  // SetComputerTime asked anew
  }
  EXPECT_EQ(rate.setCalls, 0);
  EXPECT_EQ(rate.adjustment, 156250u);
  EXPECT_TRUE(kernel.set_times.empty());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
  const QString status = ui().CalibStatusDis->text();
  EXPECT_TRUE(status.contains("right to change the system time")) << status.toStdString();
  EXPECT_TRUE(status.contains("root")) << status.toStdString();
  EXPECT_TRUE(
      status.contains("sudo setcap cap_sys_time+ep " + QCoreApplication::applicationFilePath()))
      << status.toStdString();
  EXPECT_EQ(ui().StatusDis->text(), status);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, WithoutTheRight,
    ::testing::Values(NoRightRow{"ApplyAdjustment", ClockAction::ApplyAdjustment},
                      NoRightRow{"SetComputerTime", ClockAction::SetComputerTime}),
    [](const ::testing::TestParamInfo<NoRightRow>& info) { return info.param.name; });

TEST_F(Calibration, PlatformFailuresShowTheSystemsTextUntilReplaced) {
  rate.failSet = true;
  rate.setError = 22;  // EINVAL
  Apply();
  EXPECT_EQ(ui().CalibStatusDis->text(), framework::SysErrorMessage(22));
  EXPECT_FALSE(ui().CalibStatusDis->text().isEmpty());
  rate.failSet = false;
  Apply();  // succeeds: the old text stays
  EXPECT_EQ(ui().CalibStatusDis->text(), framework::SysErrorMessage(22));
  security.failLookup = true;
  Apply();
  EXPECT_EQ(ui().CalibStatusDis->text(), framework::SysErrorMessage(1313));
}

TEST_F(Calibration, AFailedReadAtStartShowsTheTextAndKeepsZeroes) {
  rate.failGet = true;
  rate.getError = 5;
  TForm1 second;
  EXPECT_EQ(second.Controls().CalibStatusDis->text(), framework::SysErrorMessage(5));
  EXPECT_EQ(second.Controls().TimeIntervalDis->Text(), framework::FormatFixed(0.0, 1) + " uSec");
  EXPECT_EQ(second.Controls().ChangePerDaySpin->text(), framework::FormatFixed(0.0, 1));
}

TEST_F(Calibration, SetComputerTimeSetsTheClockFromAFreshQueryAndTouchesNoDisplay) {
  FakeClock clock;
  FakeSntpServer server;
  ReplySpec plan;
  plan.seconds_after_originate = 10.0;
  server.Always(
      [plan](const QByteArray& request) { return testing_support::MakeReply(request, plan); });
  PointAt(server);
  GetTime();
  const QString error = ui().ErrorDis->Text();
  const QString count = ui().CountDis->Text();
  const size_t points = Points().size();
  ui().HostCombo->setEditText("elsewhere.invalid");  // not copied by this button
  const double before = clock.local;
  QTest::mouseClick(ui().SetTimeBtn, Qt::LeftButton);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
  ASSERT_EQ(clock.set_times.size(), 1u);
  EXPECT_NEAR((clock.local - before) * 86400.0, 10.0, 0.0015);
  EXPECT_EQ(server.RequestCount(), 2);
  EXPECT_EQ(ui().ErrorDis->Text(), error);
  EXPECT_EQ(ui().CountDis->Text(), count);
  EXPECT_EQ(Points().size(), points);
}

namespace {

class RecordingHtmlHelp : public platform::HtmlHelpApi {
 public:
  struct Call {
    std::string file;
    unsigned command;
  };
  std::vector<Call> calls;
  platform::HWND HtmlHelpA(platform::HWND, const char* file, unsigned command,
                           platform::DWORD_PTR) override {
    calls.push_back({file ? file : "", command});
    return nullptr;
  }

 private:
  platform::ScopedOverride<platform::HtmlHelpApi> installed_{*this};
};

}  // namespace

TEST_F(MainWindow, HelpContentsOpensTheHelpFileBesideTheProgram) {
  RecordingHtmlHelp help;
  ui().Contents1->trigger();
  ASSERT_FALSE(help.calls.empty());
  const QString expected = QCoreApplication::applicationDirPath() + "/Horaplex.chm";
  EXPECT_EQ(QString::fromStdString(help.calls.front().file).section("::", 0, 0), expected);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
}

// --- What the user reads: captions, menu, hints ------------------------------------------------

namespace {

QStringList LabelTexts(const QWidget* top) {
  QStringList texts;
  for (const QLabel* label : top->findChildren<QLabel*>()) texts << label->text();
  return texts;
}

// The label shown above a display field: the one beside it in the same captioned box.
QString CaptionOf(const QWidget* field) {
  for (const QLabel* label :
       field->parentWidget()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
    return label->text();
  return QString();
}

QStringList ActionTexts(const QMenu* menu) {
  QStringList texts;
  for (const QAction* action : menu->actions()) texts << action->text();
  return texts;
}

}  // namespace

TEST_F(MainWindow, EveryCaptionReadsAsDescribed) {
  const QStringList labels = LabelTexts(form.get());
  for (const char* caption :
       {" Internet Time", "Computer Time", "Host: ", "Port: ", "Auto Interval", "Count",
        "Time Span", "Total Drift", "Drift Per Day", "Min", "Max", "Mean", "Adjustment Enabled",
        " Status:",
        "You may need to  run in Administrator Mode to set the time on some computers."})
    EXPECT_TRUE(labels.contains(caption)) << caption;

  const std::pair<QWidget*, const char*> captioned[] = {
      {ui().LocalDateDis, "Date - Local Zone:"},
      {ui().LocalTimeDis, "Time - Local Zone: "},
      {ui().UTCTimeDis, "UTC Time : "},
      {ui().UpdateDis, "Time Since Update"},
      {ui().CompDateDis, "Computer Date : "},
      {ui().CompTimeDis, "Computer Time : "},
      {ui().CompUTCDis, "Computer UTC Time : "},
      {ui().ErrorDis, "Computer Error:"},
      {ui().TripDelayDis, "Round Trip Delay"},
      {ui().VersionDis, "Version"},
      {ui().LeapDis, "Leap Indicator"},
      {ui().StratumDis, "Stratum"},
      {ui().ModeDis, "Mode"},
      {ui().PrecisionDis, "Precision"},
      {ui().PollDis, "Poll Interval"},
      {ui().DisperseDis, "Root Dispersion"},
      {ui().RootDelayDis, "Root Delay"},
      {ui().ReferenceDis, "Reference ID"},
      {ui().STDDis, "STD"},
      {ui().TimeIntervalDis, "Interrupt Interval"},
      {ui().TimeIncDis, "Inc Per Interval"},
      {ui().ChangePerDaySpin, "Adjustment Per Day"},
  };
  for (const auto& [field, caption] : captioned) EXPECT_EQ(CaptionOf(field), caption);
  EXPECT_EQ(CaptionOf(ui().ValidOnOff), "Valid:");
  EXPECT_EQ(CaptionOf(ui().CalibStatusDis), "Status");

  EXPECT_EQ(ui().AutoUpdateBtn->text(), "Auto Update");
  EXPECT_EQ(ui().Button1->text(), "Get Time");
  EXPECT_EQ(ui().SetTimeBtn->text(), "Set Computer Time");
  EXPECT_EQ(ui().ClearGraphBtn->text(), "Clear");
  EXPECT_EQ(ui().AverageChk->text(), "Running Average");
  EXPECT_FALSE(ui().AverageChk->isChecked());
  EXPECT_EQ(ui().ClearStatsBtn->text(), "Clear");
  EXPECT_EQ(ui().CalculateStatsBtn->text(), "Calculate ->");
  EXPECT_EQ(ui().Button3->text(), "Apply Adjustment");
  EXPECT_EQ(ui().SampleSpin->UnitsString(), "Samples");
  EXPECT_EQ(ui().UpdateRateSpin->UnitsString(), "MS");
  EXPECT_EQ(ui().ChangePerDaySpin->UnitsString(), "Sec");
  EXPECT_EQ(ui().ValidOnOff->OnString(), "Yes");
  EXPECT_EQ(ui().ValidOnOff->OffString(), "No");
  EXPECT_EQ(ui().AdjustmentOnOff->OnString(), "On");
  EXPECT_EQ(ui().AdjustmentOnOff->OffString(), "Off");

  QStringList groups;
  for (const QGroupBox* group : form->findChildren<QGroupBox*>()) groups << group->title();
  for (const char* title :
       {"Settings", "Parameters", "Statistics", "Adjust Windows Clock", "Range-X", "Range-Y"})
    EXPECT_TRUE(groups.contains(title)) << title;
  EXPECT_EQ(ui().RangeXRadio->Items(),
            (QStringList{"1 min", "3 min", "5 min", "10 min", "30 min", "1 hr", "3 hrs"}));
  EXPECT_EQ(ui().RangeYRadio->Items(),
            (QStringList{"0.1", "0.25", "0.5", "1.0", "2.5", "5.0", "10.0"}));
  EXPECT_EQ(ui().RangeXRadio->Columns(), 7);
  EXPECT_EQ(ui().RangeYRadio->Columns(), 7);

  ASSERT_EQ(ui().PageControl1->count(), 3);
  EXPECT_EQ(ui().PageControl1->tabText(0), "Settings");
  EXPECT_EQ(ui().PageControl1->tabText(1), "Statistics");
  EXPECT_EQ(ui().PageControl1->tabText(2), "Calibration");
}

TEST_F(MainWindow, TheMenuHoldsTheDescribedItemsInOrder) {
  QStringList titles;
  QList<QMenu*> menus;
  for (QAction* action : form->menuBar()->actions()) {
    titles << action->text();
    menus << action->menu();
  }
  ASSERT_EQ(titles, (QStringList{"&File", "&Options", "Help"}));
  EXPECT_EQ(ActionTexts(menus[0]),
            (QStringList{"&Resume Last Run", "Save &Samples As...", "&Exit"}));
  EXPECT_EQ(ActionTexts(menus[1]), (QStringList{"Configure &Auto Calibrate...", "Edit &Hosts...",
                                                "&Save Settings", "Turn &Network Time On"}));
  EXPECT_EQ(ActionTexts(menus[2]), QStringList{"Contents"});
  EXPECT_EQ(menus[0]->actions()[0], ui().ResumeLastRun1);
  EXPECT_EQ(menus[0]->actions()[1], ui().SaveSamplesAs1);
  EXPECT_EQ(menus[0]->actions()[2], ui().Exit1);
  EXPECT_EQ(menus[1]->actions()[0], ui().ConfigureAutoCalibrate1);
  EXPECT_EQ(menus[1]->actions()[1], ui().EditHosts1);
  EXPECT_EQ(menus[1]->actions()[2], ui().SaveSettings1);
  EXPECT_EQ(menus[2]->actions()[0], ui().Contents1);
}

namespace {

// Asks a widget for its tool tip as hovering does; true when one is shown.
bool ShowsToolTip(QWidget* widget, QString* text = nullptr) {
  QToolTip::hideText();
  const QPoint at = widget->rect().center();
  QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
  QApplication::sendEvent(widget, &help);
  const bool shown = QToolTip::isVisible();
  if (text) *text = QToolTip::text();
  QToolTip::hideText();
  return shown;
}

}  // namespace

TEST_F(MainWindow, TheHostBoxAndAutoUpdateKeepTheirHintsWithoutShowingThem) {
  EXPECT_EQ(ui().HostCombo->property(app::kHintProperty).toString(),
            "Server to use with the \"Get Time\" button");
  EXPECT_EQ(ui().AutoUpdateBtn->property(app::kHintProperty).toString(), "Enable Auto Load");
  EXPECT_FALSE(ShowsToolTip(ui().HostCombo));
  EXPECT_FALSE(ShowsToolTip(ui().HostCombo->lineEdit()));
  EXPECT_FALSE(ShowsToolTip(ui().AutoUpdateBtn));
  // The status bar's caption does show its tip, so hovering is seen here at all.
  QString shown;
  EXPECT_TRUE(ShowsToolTip(ui().StatusLabel, &shown));
  EXPECT_EQ(shown, "Reset Scale, Zoom and Pans");
}

// --- The displays no other test reads ---------------------------------------------------------

TEST_F(MainWindow, TheComputerTimeStripShowsTheLocalDateTimeAndUtc) {
  FakeClock clock;
  clock.SetZone(9 * 60 + 30, false);  // 9:30 east of UTC
  clock.local = framework::DaysFromCivil(2026, 12, 8) + (22 * 3600 + 5 * 60 + 7.25) / 86400.0;
  ui().Timer1->Tick();
  EXPECT_EQ(ui().CompDateDis->Text(), framework::FormatShortDate(clock.local));
  EXPECT_EQ(ui().CompTimeDis->Text(), framework::FormatLongTime(clock.local));
  EXPECT_EQ(ui().CompUTCDis->Text(), "12:35:07 250");
  // West of UTC the UTC time is later than the local time.
  clock.SetZone(-5 * 60, false);
  ui().Timer1->Tick();
  EXPECT_EQ(ui().CompUTCDis->Text(), "3:05:07 250");
}

TEST_F(MainWindow, TheRoundTripDelayIsShownInSecondsWithFiveDecimals) {
  FakeClock clock;
  clock.step_after_read = 0.125 / 86400;  // each reading of the clock is 125 ms after the last
  FakeSntpServer server;
  ReplySpec plan;
  plan.seconds_after_originate = 0;  // the server answers at the stamp it was sent
  server.ThenReply(plan);
  PointAt(server);
  GetTime();
  ASSERT_TRUE(ui().ValidOnOff->BoxOn());
  const double delay = ui().NTPClient->Info.RoundTripDelay * 86400;  // seconds
  EXPECT_GE(delay, 0.125 - 1e-6);
  EXPECT_NEAR(std::fmod(delay + 1e-6, 0.125), 0, 1e-5);  // whole readings of the clock
  EXPECT_EQ(ui().TripDelayDis->Text(), framework::FormatFixed(delay, 5));
  EXPECT_EQ(ui().TripDelayDis->Text().section(QLocale().decimalPoint(), 1).size(), 5);
}

// --- The error sign -----------------------------------------------------------------------------

TEST_F(MainWindow, AComputerClockBehindTheServerShowsANegativeErrorAheadAPositiveOne) {
  FakeSntpServer server;
  ReplySpec ahead;
  ahead.offset_seconds = -3.0;  // the server is behind: the computer is ahead
  server.ThenReply(ahead);
  PointAt(server);
  GetTime();
  EXPECT_NEAR(QLocale().toDouble(ui().ErrorDis->Text()), 3.0, 0.01);
  EXPECT_FALSE(ui().ErrorDis->Text().startsWith('-'));
  EXPECT_NEAR(form->State().ErrorStore.Get(0), 3.0, 0.01);
  EXPECT_NEAR(Points().back().Y, 3.0, 0.01);
  EXPECT_EQ(ui().MaxDis->Text(), framework::FormatFixed(form->State().ErrorStore.Get(0), 3));
}

// --- The host box
// ---------------------------------------------------------------------------------

namespace {

// A host of 40 characters that reaches the test's server: a dotted quad with a padded first
// part. Cut to 34 characters it is no address at all.
const QString kLongHost = QString(34, '0').left(31) + "127.0.0.1";

}  // namespace

TEST_F(MainWindow, AListedHostLongerThanTheTypingLimitIsAskedAndSavedWhole) {
  ASSERT_EQ(kLongHost.size(), 40);
  WriteSettings("[CurrentHosts]\nCount=2\nHost0=a.example\nHost1=" + kLongHost.toUtf8() +
                "\nCurrentInx=1\n");
  Start();
  EXPECT_EQ(ui().HostCombo->currentIndex(), 1);
  EXPECT_EQ(ui().HostCombo->currentText(), kLongHost);

  FakeSntpServer server;
  server.Always([](const QByteArray& request) { return testing_support::MakeReply(request); });
  ui().PortEdit->setText(QString::number(server.Port()));
  GetTime();
  EXPECT_EQ(QString::fromStdString(ui().NTPClient->Host()), kLongHost);
  EXPECT_EQ(server.RequestCount(), 1);
  EXPECT_TRUE(ui().ValidOnOff->BoxOn());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();

  ui().SaveSettings1->trigger();
  const QByteArray saved = ReadSettings();
  EXPECT_TRUE(saved.contains("Host1=" + kLongHost.toUtf8())) << saved.toStdString();
  EXPECT_TRUE(saved.contains("CurrentInx=1")) << saved.toStdString();
}

TEST_F(MainWindow, TypingIntoTheHostBoxStopsAtThirtyFourCharacters) {
  QLineEdit* edit = ui().HostCombo->lineEdit();
  edit->setFocus(Qt::TabFocusReason);
  edit->selectAll();
  QTest::keyClicks(edit, QString(40, 'x'));
  EXPECT_EQ(edit->text(), QString(app::kHostTypedLength, 'x'));
  // Pasting past the limit keeps what fits, at the caret.
  edit->setText("abc");
  edit->setCursorPosition(1);
  QApplication::clipboard()->setText(QString(40, 'y'));
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit->text(), "a" + QString(app::kHostTypedLength - 3, 'y') + "bc");
  // A longer listed host is shown whole; typing may not make it longer still.
  ui().HostCombo->addItem(kLongHost);
  ui().HostCombo->setCurrentIndex(ui().HostCombo->count() - 1);
  edit->end(false);
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, "12");
  EXPECT_EQ(edit->text(), kLongHost.left(39));
  EXPECT_EQ(ui().HostCombo->currentText().size(), 39);
}

// --- The menu -----------------------------------------------------------------------------------

TEST_F(MainWindow, SaveSettingsWritesTheHostListAndItsSelection) {
  ui().HostCombo->setCurrentIndex(2);
  ui().SaveSettings1->trigger();
  QByteArray expected = "[CurrentHosts]\nCount=18\n";
  for (int i = 0; i < 18; ++i)
    expected += "Host" + QByteArray::number(i) + "=" + app::FactoryHosts()[i].toUtf8() + "\n";
  expected += "CurrentInx=2\n";
  EXPECT_EQ(ReadSettings().replace("\r\n", "\n"), expected);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
}

TEST_F(MainWindow, EditHostsTakesTheEditedListIntoTheHostBoxOnOk) {
  app::THostEditDlg editor(form.get());
  form->HostEditDlg = &editor;
  ui().HostCombo->setCurrentIndex(1);
  QStringList shown;
  int selected = -2;
  QTimer::singleShot(0, &editor, [&] {
    shown = editor.Lines();
    selected = editor.Selected();
    QTest::mouseClick(editor.Delete2Btn, Qt::LeftButton);
    QTest::mouseClick(editor.OKBtn, Qt::LeftButton);
  });
  ui().EditHosts1->trigger();
  EXPECT_EQ(shown, app::FactoryHosts());
  EXPECT_EQ(selected, 1);
  QStringList expected = app::FactoryHosts();
  expected.removeAt(1);
  QStringList items;
  for (int i = 0; i < ui().HostCombo->count(); ++i) items << ui().HostCombo->itemText(i);
  EXPECT_EQ(items, expected);
  EXPECT_EQ(ui().HostCombo->currentText(), expected[1]);
  EXPECT_TRUE(ReadSettings().contains("Count=17"));
  EXPECT_EQ(editor.windowTitle(), "Edit Hosts");
}

TEST_F(MainWindow, ConfigureAutoCalibrateShowsTheStoredIntervalOrItsError) {
  QTemporaryDir root;
  platform::PosixRegistry registry(root.path().toStdString());
  platform::ScopedOverride<platform::RegistryApi> installed(registry);
  app::TAutoCalibrateDlg calibrate(form.get());
  form->AutoCalibrateDlg = &calibrate;
  // A value the service cannot read: the read fails, the error is shown and the dialog is not.
  ASSERT_TRUE(QDir().mkpath(root.path() + "/etc/systemd/timesyncd.conf.d"));
  QFile dropIn(root.path() + "/etc/systemd/timesyncd.conf.d/tempomere.conf");
  ASSERT_TRUE(dropIn.open(QIODevice::WriteOnly));
  dropIn.write("[Time]\nPollIntervalMaxSec=often\n");
  dropIn.close();
  bool opened = false;
  QTimer::singleShot(0, &calibrate, [&] {
    opened = calibrate.isVisible();
    calibrate.reject();
  });
  ui().ConfigureAutoCalibrate1->trigger();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_EQ(dialogs.errors[0], "Invalid data type for 'SpecialPollInterval'");
  QCoreApplication::processEvents();
  EXPECT_FALSE(opened);

  {
    framework::TRegistry key;
    key.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(key.OpenKey(app::kNtpClientKey, true));
    key.WriteInteger(app::kPollIntervalValue, 93600);
  }
  int days = -1, hours = -1;
  QTimer::singleShot(0, &calibrate, [&] {
    opened = calibrate.isVisible();
    days = static_cast<int>(calibrate.DaysSpin->Value());
    hours = calibrate.HoursSpin->Hours();
    QTest::mouseClick(calibrate.CancelBtn, Qt::LeftButton);
  });
  ui().ConfigureAutoCalibrate1->trigger();
  EXPECT_TRUE(opened);
  EXPECT_EQ(days, 1);
  EXPECT_EQ(hours, 2);
  EXPECT_FALSE(calibrate.isVisible());
  EXPECT_EQ(dialogs.errors.size(), 1);
}

TEST_F(MainWindow, ExitClosesTheWindowWithoutWritingAnything) {
  ui().HostCombo->setCurrentIndex(3);
  ui().Exit1->trigger();
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(QFile::exists(SettingsPath()));
}

TEST_F(MainWindow, TheSettingsFileIsLoadedIntoTheWindowAtStart) {
  WriteSettings(
      "[CurrentHosts]\nCount=3\nHost0=one.example\nHost1=two.example\n"
      "Host2=three.example\nCurrentInx=2\n");
  Start();
  QStringList items;
  for (int i = 0; i < ui().HostCombo->count(); ++i) items << ui().HostCombo->itemText(i);
  EXPECT_EQ(items, (QStringList{"one.example", "two.example", "three.example"}));
  EXPECT_EQ(ui().HostCombo->currentText(), "three.example");
  // A bad index selects nothing and leaves the box empty.
  WriteSettings("[CurrentHosts]\nCount=1\nHost0=one.example\nCurrentInx=1\n");
  Start();
  EXPECT_EQ(ui().HostCombo->count(), 1);
  EXPECT_EQ(ui().HostCombo->currentIndex(), -1);
  EXPECT_EQ(ui().HostCombo->currentText(), "");
}

// --- Handlers run inside the standard handler ------------------------------------------------

namespace {

// A window whose control handlers fail, as one failing for any reason would.
class FailingWindow : public TForm1 {
 public:
  void UpdateRateSpinChange(QObject*) override { throw framework::Exception("interval failed"); }
  void SampleSpinChange(QObject*) override { throw framework::Exception("samples failed"); }
  void ChangePerDaySpinChange(QObject*) override { throw framework::Exception("per day failed"); }
  void RangeXRadioClick(QObject*) override { throw framework::Exception("range x failed"); }
  void RangeYRadioClick(QObject*) override { throw framework::Exception("range y failed"); }
};

}  // namespace

TEST_F(MainWindow, AFailingControlHandlerShowsItsMessageAndTheWindowGoesOn) {
  form = std::make_unique<FailingWindow>();
  ui().Timer1->SetEnabled(false);
  form->show();
  TypeInto(ui().UpdateRateSpin, "5");
  TypeInto(ui().SampleSpin, "5");
  TypeInto(ui().ChangePerDaySpin, "5");
  ClickItem(ui().RangeXRadio, "3 min");
  ClickItem(ui().RangeYRadio, "0.5");
  for (const char* message :
       {"interval failed", "samples failed", "per day failed", "range x failed", "range y failed"})
    EXPECT_TRUE(dialogs.errors.contains(message)) << message;
  EXPECT_EQ(dialogs.last_error_title, framework::ApplicationTitle());
  // The window still answers.
  FakeSntpServer server;
  server.ThenReply();
  PointAt(server);
  GetTime();
  EXPECT_TRUE(ui().ValidOnOff->BoxOn());
}

// --- The application's names -------------------------------------------------------------------

TEST(Application, DialogsAreCaptionedWithoutTheApplicationsName) {
  app::InitApplication();
  EXPECT_EQ(QCoreApplication::applicationName(), "Tempomere");
  // No display name of its own: one would make the window system show "Edit Hosts — Tempomere".
  // Without one the display name follows the application's name.
  QCoreApplication::setApplicationName("Renamed");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Renamed");
  app::InitApplication();
  EXPECT_EQ(framework::ApplicationTitle(), "Tempomere");
  EXPECT_EQ(framework::ApplicationHelp().HelpFile(), "Horaplex.chm");
  TForm1 form;
  EXPECT_EQ(form.windowTitle(), "Tempomere");
}

// --- Layout: every caption and display text fits at every size the window can take ----------

namespace {

// The width a line edit has for its text: the style's contents rectangle less the text margins
// and the 2 pixels the line edit keeps on each side.
int TextRoom(const QLineEdit* edit) {
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.rect = edit->rect();
  option.lineWidth = edit->hasFrame()
                         ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                         : 0;
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  const QRect contents = edit->style()
                             ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                             .marginsRemoved(edit->textMargins());
  return contents.width() - 2 * 2;
}

// Lets the layouts take a change in: each level asks the one above in an event of its own.
void Settle(QWidget* top) {
  for (int round = 0; round < 10; ++round) {
    const QSize before = top->size();
    QCoreApplication::processEvents();
    if (top->layout()) top->layout()->activate();
    if (round > 2 && top->size() == before) return;
  }
}

// Checks every visible caption, button and field of `top` against its own font.
void ExpectEverythingFits(QWidget* top, const std::string& where) {
  for (const QLabel* label : top->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(top) || label->text().isEmpty()) continue;
    const QFontMetrics metrics(label->font());
    const QRect room = label->contentsRect();
    if (label->wordWrap()) {
      EXPECT_LE(label->heightForWidth(room.width()), room.height())
          << where << ": " << label->text().toStdString();
    } else {
      EXPECT_LE(metrics.horizontalAdvance(label->text()), room.width())
          << where << ": " << label->text().toStdString();
      EXPECT_LE(metrics.height(), room.height()) << where << ": " << label->text().toStdString();
    }
  }
  for (const QLineEdit* edit : top->findChildren<QLineEdit*>()) {
    if (!edit->isVisibleTo(top) || edit->text().isEmpty()) continue;
    EXPECT_LE(QFontMetrics(edit->font()).horizontalAdvance(edit->text()), TextRoom(edit))
        << where << ": " << edit->text().toStdString();
  }
  for (const QAbstractButton* button : top->findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(top) || button->text().isEmpty()) continue;
    EXPECT_GE(button->width(), button->minimumSizeHint().width())
        << where << ": " << button->text().toStdString();
    EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()), button->width())
        << where << ": " << button->text().toStdString();
  }
  for (const QGroupBox* group : top->findChildren<QGroupBox*>()) {
    if (!group->isVisibleTo(top)) continue;
    EXPECT_GE(group->width(), group->minimumSizeHint().width())
        << where << ": " << group->title().toStdString();
  }
}

}  // namespace

TEST_F(MainWindow, EveryCaptionAndDisplayFitsAtTheSmallestAndTheDefaultSize) {
  // Texts as long as a reply, the clock and the statistics make them.
  FakeSntpServer server;
  ReplySpec plan;
  plan.offset_seconds = -123.456;
  server.Always(
      [plan](const QByteArray& request) { return testing_support::MakeReply(request, plan); });
  PointAt(server);
  GetTime();
  GetTime();
  ui().Timer1->Tick();
  QTest::mouseClick(ui().CalculateStatsBtn, Qt::LeftButton);
  ASSERT_TRUE(ui().ValidOnOff->BoxOn());

  QTabBar* tabs = ui().PageControl1->tabBar();
  for (const QSize& size : {QSize(1, 1), QSize(704, 554)}) {
    form->resize(size);
    Settle(form.get());
    const std::string where = std::to_string(form->width()) + "x" + std::to_string(form->height());
    EXPECT_GE(form->width(), form->minimumSizeHint().width()) << where;
    EXPECT_GE(ui().PageControl1->width(), app::kPageControlWidth) << where;
    for (int i = 0; i < tabs->count(); ++i)
      EXPECT_LE(QFontMetrics(tabs->font()).horizontalAdvance(tabs->tabText(i)),
                tabs->tabRect(i).width())
          << where << ": " << tabs->tabText(i).toStdString();
    for (int i = 0; i < tabs->count(); ++i) {
      QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(i).center());
      ASSERT_EQ(ui().PageControl1->currentIndex(), i);
      Settle(form.get());
      ExpectEverythingFits(form.get(), where + " " + tabs->tabText(i).toStdString());
    }
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
  }
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
}

TEST_F(MainWindow, TheOnOffBoxesAndTheSampleSpinHoldTheirLongestTexts) {
  // Sized from their own fonts, whatever fonts the machine has.
  constexpr int kBevels = 2;  // a pixel each side
  for (components::TOnOffBox* box : {ui().ValidOnOff, ui().AdjustmentOnOff}) {
    const QFontMetrics metrics(box->font());
    for (const QString& caption : {box->OnString(), box->OffString()})
      EXPECT_LE(metrics.horizontalAdvance(caption) + kBevels, box->width())
          << caption.toStdString();
    EXPECT_LE(metrics.height() + kBevels, box->height()) << box->OnString().toStdString();
  }
  // The Valid box stands as high as the displays in its row.
  EXPECT_EQ(ui().ValidOnOff->height(), ui().UpdateDis->height());
  TypeInto(ui().SampleSpin, "10000");
  EXPECT_EQ(ui().SampleSpin->Value(), 10000);
  EXPECT_LE(QFontMetrics(ui().SampleSpin->font()).horizontalAdvance("10000"),
            TextRoom(ui().SampleSpin));
}

TEST_F(MainWindow, ALongerTextWidensItsDisplayInsteadOfBeingCut) {
  form->resize(1, 1);
  Settle(form.get());
  const int before = form->width();
  const QString wide = framework::FormatFixed(-123456789.12345, 5);
  ui().ErrorDis->SetText(wide);
  Settle(form.get());
  EXPECT_LE(QFontMetrics(ui().ErrorDis->font()).horizontalAdvance(wide), TextRoom(ui().ErrorDis));
  EXPECT_GE(form->width(), before);
}

TEST_F(MainWindow, TheOpenHostListIsAsWideAsItsLongestHost) {
  WriteSettings("[CurrentHosts]\nCount=3\nHost0=a.example\nHost1=" + kLongHost.toUtf8() +
                "\nHost2=time.cloudflare.com\nCurrentInx=0\n");
  for (bool factory : {false, true}) {
    if (factory) QFile::remove(SettingsPath());
    Start();
    ui().HostCombo->showPopup();
    QCoreApplication::processEvents();
    QAbstractItemView* list = ui().HostCombo->view();
    ASSERT_TRUE(list->isVisible());
    const QFontMetrics metrics(list->font());
    for (int i = 0; i < ui().HostCombo->count(); ++i) {
      const QString host = ui().HostCombo->itemText(i);
      const QModelIndex index = list->model()->index(i, 0);
      EXPECT_LE(list->sizeHintForIndex(index).width(), list->viewport()->width())
          << host.toStdString();
      EXPECT_LE(metrics.horizontalAdvance(host), list->viewport()->width()) << host.toStdString();
    }
    ui().HostCombo->hidePopup();
  }
}

TEST(HelpFileLocation, BesideTheProgramFirstThenTheInstalledDataFolder) {
  QTemporaryDir prefix;
  ASSERT_TRUE(prefix.isValid());
  const QString bin = prefix.path() + "/bin";
  const QString data = prefix.path() + "/share/tempomere";
  ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(data));
  auto touch = [](const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
  };
  // Found nowhere: named beside the program, where the error box then says it was looked for.
  EXPECT_EQ(app::HelpFileLocation(bin, "Horaplex.chm"), bin + "/Horaplex.chm");
  // An installed program finds it in its prefix's data folder.
  ASSERT_TRUE(touch(data + "/Horaplex.chm"));
  EXPECT_EQ(app::HelpFileLocation(bin, "Horaplex.chm"), data + "/Horaplex.chm");
  // A file beside the program comes first.
  ASSERT_TRUE(touch(bin + "/Horaplex.chm"));
  EXPECT_EQ(app::HelpFileLocation(bin, "Horaplex.chm"), bin + "/Horaplex.chm");
  // A folder of that name is no help file.
  QTemporaryDir other;
  ASSERT_TRUE(QDir().mkpath(other.path() + "/bin/Horaplex.chm"));
  EXPECT_EQ(app::HelpFileLocation(other.path() + "/bin", "Horaplex.chm"),
            other.path() + "/bin/Horaplex.chm");
}
