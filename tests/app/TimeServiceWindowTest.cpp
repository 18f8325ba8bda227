// The window and the system's time service: the "Time Service:" line and "Set Computer Time"
// without the right to set the clock, against systemd-timedated and polkit stand-ins on the
// test's private system bus. The clock is the test's (FakeKernelClock refuses to be set); the
// stand-ins only record what they would have set.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "app/TimeServiceTexts.h"
#include "platform/dbus/DBusTimeService.h"
#include "support/FakeClock.h"
#include "support/FakeKernelTime.h"
#include "support/MainWindowFixture.h"
#include "support/PrivateSystemBus.h"

namespace {

using testing_support::PrivateSystemBus;

const char* const kSetTime = "org.freedesktop.timedate1.set-time";
const char* const kSetNtp = "org.freedesktop.timedate1.set-ntp";

// Answers the window's questions from a list (Yes when it runs out is never assumed: No).
class FakeConfirm : public app::ConfirmApi {
 public:
  std::vector<bool> answers;
  std::vector<QString> questions;
  bool Confirm(const QString&, const QString& question) override {
    questions.push_back(question);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }

 private:
  platform::ScopedOverride<app::ConfirmApi> installed_{*this};
};

// Seconds the fake server's time is ahead of the request's stamp.
constexpr double kServerAheadSeconds = 10.0;

class TimeServiceWindow : public ::testing::Test, public testing_support::MainWindowFixture {
 protected:
  TimeServiceWindow() { kernelClock.refuse_with = EPERM; }  // no CAP_SYS_TIME

  // The bus's services; `ntp` is timedated's NTP, `allowed` polkit's yes.
  void StartServices(bool ntp, std::vector<std::string> allowed, bool timedated = true) {
    ASSERT_STREQ(std::getenv(platform::dbus::kOnlyBusVariable), bus.Address().c_str());
    ASSERT_TRUE(bus.Ready()) << bus.Problem();
    ASSERT_TRUE(bus.StartMock("polkitd", "{}", "org.freedesktop.PolicyKit1")) << bus.Problem();
    ASSERT_TRUE(bus.AllowPolkitActions(allowed));
    if (timedated) {
      ASSERT_TRUE(bus.StartMock("mock_timedated.py",
                                std::string("{\"NTP\": ") + (ntp ? "true" : "false") +
                                    ", \"NTPSynchronized\": " + (ntp ? "true" : "false") + "}",
                                "org.freedesktop.timedate1"))
          << bus.Problem();
    }
    ASSERT_TRUE(bus.StartMock("mock_systemd.py",
                              ntp ? "{\"active\": [\"systemd-timesyncd.service\"]}" : "{}",
                              "org.freedesktop.systemd1"))
        << bus.Problem();
    framework::ApplicationHelp().SetHelpFile("Horaplex.chm");
    Start();
  }
  void SetComputerTimeFromServer() {
    server.Always([](const QByteArray& request) {
      testing_support::ReplySpec plan;
      plan.seconds_after_originate = kServerAheadSeconds;
      return testing_support::MakeReply(request, plan);
    });
    PointAt(server);
    GetTime();
    QTest::mouseClick(ui().SetTimeBtn, Qt::LeftButton);
  }
  void ShowCalibrationTab() {
    ui().PageControl1->setCurrentIndex(0);
    for (int i = 0; i < ui().PageControl1->count(); ++i)
      if (ui().PageControl1->tabText(i) == "Calibration") ui().PageControl1->setCurrentIndex(i);
  }
  QString Line() const { return ui().TimeServiceDis->text(); }
  QString Status() const { return ui().CalibStatusDis->text(); }

  PrivateSystemBus bus;
  platform::dbus::TDBusTimeService service{bus.Address()};
  platform::ScopedOverride<platform::TimeServiceApi> serviceInstalled{service};
  testing_support::FakeKernelTime kernelStatus;
  testing_support::FakeKernelClock kernelClock{std::time(nullptr)};
  FakeConfirm confirm;
  testing_support::FakeSntpServer server;
};

TEST_F(TimeServiceWindow, TheLineIsReadWhenTheTabIsShownAndAfterTheMenuTurnsNetworkTimeOn) {
  StartServices(false, {kSetNtp});
  EXPECT_EQ(Line(), "");  // not asked before the tab is shown
  ShowCalibrationTab();
  EXPECT_TRUE(Line().contains("network time synchronisation off")) << Line().toStdString();
  ui().NetworkTimeOn1->trigger();
  EXPECT_EQ(Status(), "Network time synchronisation is on.");
  EXPECT_TRUE(Line().contains("network time synchronisation on")) << Line().toStdString();
  EXPECT_TRUE(Line().contains("will be overridden")) << Line().toStdString();
  ASSERT_EQ(bus.Authorizations().size(), 1u);
  EXPECT_EQ(bus.Authorizations()[0].flags, 1u);  // the user may be asked
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
}

struct SetTimeRow {
  const char* name;
  bool ntp;
  std::vector<std::string> allowed;
  bool timedated;
  std::vector<bool> answers;  // to the question whether to turn network time off
  // Expected.
  size_t clockSets;
  size_t questions;
  const char* status;  // a part of the status
  bool ntpAfter;
};

class SetComputerTimeWithoutTheRight : public TimeServiceWindow,
                                       public ::testing::WithParamInterface<SetTimeRow> {};

TEST_P(SetComputerTimeWithoutTheRight, AsksTimedated) {
  const SetTimeRow& row = GetParam();
  StartServices(row.ntp, row.allowed, row.timedated);
  confirm.answers = row.answers;
  SetComputerTimeFromServer();

  EXPECT_TRUE(kernelClock.set_times.empty());  // the described path was refused
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
  EXPECT_EQ(confirm.questions.size(), row.questions);
  EXPECT_TRUE(Status().contains(row.status)) << Status().toStdString();
  EXPECT_EQ(ui().StatusDis->text(), Status());
  EXPECT_TRUE(ui().SetTimeBtn->isEnabled());  // taken away only while timedated is asked
  if (!row.timedated) return;
  const auto sets = bus.ClockSets();
  ASSERT_EQ(sets.size(), row.clockSets);
  for (const auto& set : sets) {
    EXPECT_TRUE(set.relative);
    EXPECT_TRUE(set.interactive);
    // The server's time less the clock's at the reply: the fake server's lead, to the
    // millisecond the reply's times carry.
    EXPECT_NEAR(set.usec / 1e6, kServerAheadSeconds, 0.0015);
  }
  // The line was read again after the button.
  EXPECT_TRUE(Line().contains(row.ntpAfter ? "synchronisation on" : "synchronisation off"))
      << Line().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    States, SetComputerTimeWithoutTheRight,
    ::testing::Values(
        SetTimeRow{"Authorized",
                   false,
                   {kSetTime},
                   true,
                   {},
                   1,
                   0,
                   "set through systemd-timedated",
                   false},
        SetTimeRow{"RefusedByPolkit", false, {kSetNtp}, true, {}, 0, 0, "not authorized", false},
        SetTimeRow{"SynchronisingAndLeftOn",
                   true,
                   {kSetTime, kSetNtp},
                   true,
                   {false},
                   0,
                   1,
                   "while network time synchronisation is on",
                   true},
        SetTimeRow{"SynchronisingTurnedOffThenSet",
                   true,
                   {kSetTime, kSetNtp},
                   true,
                   {true},
                   1,
                   1,
                   "turns it on again). The clock was set through systemd-timedated",
                   false},
        SetTimeRow{"SynchronisationNotTurnedOff",
                   true,
                   {kSetTime},
                   true,
                   {true},
                   0,
                   1,
                   "could not be turned off",
                   true},
        SetTimeRow{"TimedatedAbsent",
                   false,
                   {},
                   false,
                   {},
                   0,
                   0,
                   "right to change the system time",
                   false}),
    [](const ::testing::TestParamInfo<SetTimeRow>& info) { return info.param.name; });

}  // namespace
