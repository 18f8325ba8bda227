#include "app/HTAutoCalibrate.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>

#include "components/Degspin.h"
#include "components/intspin.h"
#include "framework/Forms.h"
#include "framework/Registry.h"
#include "framework/SysErrorMessage.h"
#include "framework/SysUtils.h"
#include "platform/posix/PosixRegistry.h"
#include "support/FakeDialogs.h"

using app::TAutoCalibrateDlg;

namespace {

// The dialog over the time service's configuration in a temporary root folder.
struct AutoCalibrate : ::testing::Test {
  QTemporaryDir root;
  std::unique_ptr<platform::PosixRegistry> registry =
      std::make_unique<platform::PosixRegistry>(root.path().toStdString());
  std::unique_ptr<platform::ScopedOverride<platform::RegistryApi>> installed =
      std::make_unique<platform::ScopedOverride<platform::RegistryApi>>(*registry);
  testing_support::FakeDialogs dialogs;
  TAutoCalibrateDlg dialog;

  void SetUp() override { dialog.show(); }

  void Store(int seconds) {
    framework::TRegistry key;
    key.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(key.OpenKey(app::kNtpClientKey, true));
    key.WriteInteger(app::kPollIntervalValue, seconds);
  }
  int Stored() {
    framework::TRegistry key;
    key.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(key.OpenKey(app::kNtpClientKey, true));
    return key.ReadInteger(app::kPollIntervalValue);
  }
  void Apply() { QTest::mouseClick(dialog.ApplyBtn, Qt::LeftButton); }
  void StepSeconds(bool up) {
    components::TUpDownButton* arrows = dialog.HoursSpin->SecondsArrows();
    QTest::mouseClick(up ? arrows->UpArrowButton() : arrows->DownArrowButton(), Qt::LeftButton, {},
                      {3, 4});
  }
  void StepHours(bool up) {
    components::TUpDownButton* arrows = dialog.HoursSpin->UnitsArrows();
    QTest::mouseClick(up ? arrows->UpArrowButton() : arrows->DownArrowButton(), Qt::LeftButton, {},
                      {3, 4});
  }
};

}  // namespace

TEST_F(AutoCalibrate, AWeekShowsSevenDaysAndAppliesBackUnchanged) {
  Store(604800);
  dialog.ReadPollInterval();
  EXPECT_EQ(dialog.DaysSpin->Value(), 7);
  EXPECT_EQ(dialog.HoursSpin->Hours(), 0);
  EXPECT_EQ(dialog.HoursSpin->Minutes(), 0);
  EXPECT_DOUBLE_EQ(dialog.HoursSpin->Seconds(), 0);
  Apply();
  EXPECT_EQ(Stored(), 604800);
  Apply();
  EXPECT_EQ(Stored(), 604800);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(AutoCalibrate, TheRestOfADayIsCarriedIntoHoursAndReplacesWhatWasShown) {
  dialog.HoursSpin->SetHours(5);
  dialog.HoursSpin->SetMinutes(30);
  Store(93600);
  dialog.ReadPollInterval();
  EXPECT_EQ(dialog.DaysSpin->Value(), 1);
  EXPECT_EQ(dialog.HoursSpin->Hours(), 2);
  EXPECT_EQ(dialog.HoursSpin->Minutes(), 0);
  Apply();
  Apply();
  EXPECT_EQ(Stored(), 93600);
  Store(3723);
  dialog.ReadPollInterval();
  EXPECT_EQ(dialog.DaysSpin->Value(), 0);
  EXPECT_EQ(dialog.HoursSpin->Hours(), 1);
  EXPECT_EQ(dialog.HoursSpin->Minutes(), 2);
  EXPECT_DOUBLE_EQ(dialog.HoursSpin->Seconds(), 3);
}

TEST_F(AutoCalibrate, FractionsOfASecondAreDroppedWhenWritten) {
  dialog.DaysSpin->SetValue(0);
  // The service's shortest interval, 32 s, and 0.75 s.
  dialog.HoursSpin->SetDegrees((32 + 0.75) / 3600);
  dialog.WritePollInterval();
  EXPECT_EQ(Stored(), 32);
}

TEST_F(AutoCalibrate, SteppingPastMidnightCarriesIntoTheDaysBothWays) {
  Store(86399);  // 23:59:59
  dialog.ReadPollInterval();
  StepSeconds(true);
  EXPECT_EQ(dialog.DaysSpin->Value(), 1);
  EXPECT_DOUBLE_EQ(dialog.HoursSpin->Degrees(), 0);
  StepHours(false);  // below 0 hours borrows a day
  EXPECT_EQ(dialog.DaysSpin->Value(), 0);
  EXPECT_EQ(dialog.HoursSpin->Hours(), 23);
  dialog.HoursSpin->SetDegrees(0);
  StepHours(false);  // no day to borrow: stays at 0
  EXPECT_EQ(dialog.DaysSpin->Value(), 0);
  EXPECT_DOUBLE_EQ(dialog.HoursSpin->Degrees(), 0);
}

TEST_F(AutoCalibrate, AValueOfAnotherTypeIsReportedAndTheDialogNotShown) {
  QFile file(root.path() + "/etc/systemd/timesyncd.conf.d/tempomere.conf");
  ASSERT_TRUE(QDir().mkpath(root.path() + "/etc/systemd/timesyncd.conf.d"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[Time]\nPollIntervalMaxSec=often\n");
  file.close();
  dialog.hide();
  QTimer::singleShot(0, &dialog, &QDialog::reject);  // should it open after all
  EXPECT_THROW(dialog.ShowAutoCalibrate(), framework::Exception);
  EXPECT_FALSE(dialog.isVisible());
  try {
    dialog.ReadPollInterval();
  } catch (const framework::Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'SpecialPollInterval'");
  }
}

namespace {

// A write the time service's configuration refuses: the stored interval stays on show, and the
// message says why.
enum class Refusal { KeyCannotBeOpened, FileCannotBeReplaced, BelowTheMinimum };
struct RefusedRow {
  const char* name;
  Refusal refusal;
  const char* mainFile;  // the service's main configuration file, or nullptr
  int shown;             // seconds shown when "Apply" is clicked
  int stored;            // seconds stored and shown afterwards
};

class RefusedApply : public AutoCalibrate, public ::testing::WithParamInterface<RefusedRow> {
 protected:
  void Show(int seconds) {
    dialog.DaysSpin->SetValue(seconds / 86400);
    dialog.HoursSpin->SetDegrees((seconds % 86400) / 3600.0);
  }
  int Shown() const {
    return static_cast<int>(dialog.DaysSpin->Value()) * 86400 + dialog.HoursSpin->Hours() * 3600 +
           dialog.HoursSpin->Minutes() * 60 + static_cast<int>(dialog.HoursSpin->Seconds());
  }
};

}  // namespace

TEST_P(RefusedApply, ShowsWhatIsStoredAndSaysWhy) {
  const RefusedRow& row = GetParam();
  const QString dropIn = root.path() + platform::PosixRegistry::kDropInFile;
  if (row.mainFile) {
    ASSERT_TRUE(QDir().mkpath(root.path() + "/etc/systemd"));
    QFile main(root.path() + "/etc/systemd/timesyncd.conf");
    ASSERT_TRUE(main.open(QIODevice::WriteOnly));
    main.write(row.mainFile);
  }
  QString reason;
  switch (row.refusal) {
    case Refusal::KeyCannotBeOpened: {
      // A root folder that cannot hold the configuration: a plain file stands where it would be.
      QFile blocker(root.path() + "/blocked");
      ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
      installed.reset();
      registry =
          std::make_unique<platform::PosixRegistry>((root.path() + "/blocked").toStdString());
      installed = std::make_unique<platform::ScopedOverride<platform::RegistryApi>>(*registry);
      reason = "\"" + root.path() + "/blocked" + platform::PosixRegistry::kDropInFile +
               "\" could not be written: " + framework::SysErrorMessage(ENOTDIR);
      break;
    }
    case Refusal::FileCannotBeReplaced:
      ASSERT_TRUE(QDir().mkpath(dropIn));  // a folder where the file belongs
      reason = "\"" + dropIn + "\" could not be written: " + framework::SysErrorMessage(EISDIR);
      break;
    case Refusal::BelowTheMinimum:
      // Each row asks for one second less than the shortest interval the service takes.
      Store(row.stored);
      reason = QString(
                   "systemd-timesyncd takes no poll interval shorter than %1 seconds "
                   "(PollIntervalMinSec)")
                   .arg(row.shown + 1);
      break;
  }
  Show(row.shown);
  ASSERT_EQ(Shown(), row.shown);
  Apply();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_EQ(dialogs.errors[0], "Failed to set data for 'SpecialPollInterval': " + reason);
  EXPECT_EQ(Shown(), row.stored);  // as opening the dialog again shows it
}

INSTANTIATE_TEST_SUITE_P(
    Writes, RefusedApply,
    ::testing::Values(
        // Unconfigured, the service polls at most every 2048 s.
        RefusedRow{"KeyCannotBeOpened", Refusal::KeyCannotBeOpened, nullptr, 3 * 86400, 2048},
        RefusedRow{"FileCannotBeReplaced", Refusal::FileCannotBeReplaced,
                   "[Time]\nPollIntervalMaxSec=4096\n", 3 * 86400, 4096},
        RefusedRow{"BelowTheDefaultMinimum", Refusal::BelowTheMinimum, nullptr, 31, 7200},
        RefusedRow{"BelowAConfiguredMinimum", Refusal::BelowTheMinimum,
                   "[Time]\nPollIntervalMinSec=2min\n", 119, 7200}),
    [](const ::testing::TestParamInfo<RefusedRow>& info) { return info.param.name; });

TEST_F(AutoCalibrate, CloseHidesTheDialogWithoutWriting) {
  Store(7200);
  QTimer::singleShot(0, &dialog, [this] {
    dialog.DaysSpin->SetValue(9);
    QTest::mouseClick(dialog.CancelBtn, Qt::LeftButton);
  });
  dialog.ShowAutoCalibrate();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(Stored(), 7200);
  EXPECT_EQ(dialog.windowTitle(), "Auto Calibrate");
}

TEST_F(AutoCalibrate, CaptionsReadAsDescribed) {
  EXPECT_EQ(dialog.windowTitle(), "Auto Calibrate");
  const QGroupBox* group = dialog.findChild<QGroupBox*>();
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), "Interval Between Recalibrations");
  QStringList labels;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(labels.contains(" Days"));
  EXPECT_EQ(dialog.HoursSpin->UnitsString(), "Hours");
  EXPECT_EQ(dialog.ApplyBtn->text(), "Apply");
  EXPECT_EQ(dialog.CancelBtn->text(), "Close");
}

namespace {

// The dialog with a limit handler that fails, as one failing for any reason would.
class FailingLimitDialog : public TAutoCalibrateDlg {
 public:
  int calls = 0;
  void HoursSpinLimit(QObject*, bool) override {
    ++calls;
    throw framework::Exception("limit failed");
  }
};

}  // namespace

TEST_F(AutoCalibrate, AFailingLimitHandlerShowsItsMessageAndTheDialogGoesOn) {
  FailingLimitDialog failing;
  failing.show();
  components::TUpDownButton* arrows = failing.HoursSpin->UnitsArrows();
  QTest::mouseClick(arrows->DownArrowButton(), Qt::LeftButton, {}, {3, 4});  // below 0 hours
  EXPECT_GE(failing.calls, 1);
  ASSERT_FALSE(dialogs.errors.isEmpty());
  EXPECT_EQ(dialogs.errors.front(), "limit failed");
  EXPECT_EQ(dialogs.last_error_title, framework::ApplicationTitle());
  // Still answering: the next click steps the hours.
  QTest::mouseClick(arrows->UpArrowButton(), Qt::LeftButton, {}, {3, 4});
  EXPECT_EQ(failing.HoursSpin->Hours(), 1);
}
