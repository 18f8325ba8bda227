#pragma once
// The main window as its tests make it: its settings file in a temporary folder, its error
// boxes recorded and its timer stopped, so that the test runs the ticks.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <memory>

#include "app/TimeMain.h"
#include "components/Graphbox.h"
#include "framework/ApplicationHelp.h"
#include "framework/Timers.h"
#include "platform/posix/PosixPrivateProfile.h"
#include "support/FakeDialogs.h"
#include "support/FakeSntpServer.h"

namespace testing_support {

// For a suite's own base, beside ::testing::Test or another suite.
class MainWindowFixture {
 public:
  QTemporaryDir config;
  // The journal of runs goes into a folder of the test's own, never the user's.
  QTemporaryDir state;
  bool state_home_set = qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
  platform::PosixPrivateProfile profile{config.path().toStdString()};
  platform::ScopedOverride<platform::PrivateProfileApi> profile_installed{profile};
  FakeDialogs dialogs;
  std::unique_ptr<app::TForm1> form;

  // Makes the window, as starting the program does; a window already open is closed first.
  void Start() {
    form.reset();
    form = std::make_unique<app::TForm1>();
    ui().Timer1->SetEnabled(false);  // ticks are run by the test
    form->show();
  }
  // The window's controls, as a user sees and drives them.
  const app::TForm1Controls& ui() const { return form->Controls(); }
  // Types the server's address and port into the host box and the port field.
  void PointAt(const FakeSntpServer& server) {
    ui().HostCombo->setEditText("127.0.0.1");
    ui().PortEdit->setText(QString::number(server.Port()));
  }
  void GetTime() { QTest::mouseClick(ui().Button1, Qt::LeftButton); }
  const std::deque<components::TDataPoint>& Points() const { return ui().StripChart1->Points(); }

  QString SettingsPath() const { return config.path() + "/Horatune.ini"; }
  void WriteSettings(const QByteArray& text) {
    QFile file(SettingsPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }
  // The settings file as written, with "\n" line ends.
  QByteArray ReadSettings() const {
    QFile file(SettingsPath());
    file.open(QIODevice::ReadOnly);
    return file.readAll().replace("\r\n", "\n");
  }
};

// A suite of tests that each start with the window open, its help file named as the program
// entry names it.
class MainWindowTest : public ::testing::Test, public MainWindowFixture {
 protected:
  void SetUp() override {
    framework::ApplicationHelp().SetHelpFile("Horaplex.chm");
    Start();
  }
};

}  // namespace testing_support
