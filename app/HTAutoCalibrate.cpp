#include "app/HTAutoCalibrate.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "components/Degspin.h"
#include "components/intspin.h"
#include "framework/Forms.h"
#include "framework/Registry.h"

namespace app {

namespace {

constexpr int kSecondsPerDay = 86400;

// The time service's key, opened for reading and writing, or nothing when it cannot be.
bool OpenNtpClientKey(framework::TRegistry& registry) {
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  return registry.OpenKey(kNtpClientKey, true);
}

}  // namespace

TAutoCalibrateDlg::TAutoCalibrateDlg(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Auto Calibrate");
  setFixedSize(228 + 8, 159 + 8);  // client area and a border of 4
  setModal(true);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(4, 4, 4, 4);
  auto* group = new QGroupBox("Interval Between Recalibrations", this);
  auto* inside = new QVBoxLayout(group);
  inside->setContentsMargins(6, 4, 6, 4);

  auto* days = new QFrame(group);
  auto* daysRow = new QHBoxLayout(days);
  daysRow->setContentsMargins(0, 0, 0, 0);
  daysRow->addWidget(new QLabel(" Days", days));
  DaysSpin = new components::TIntegerSpin(days);
  {
    // Settings and start value are not a user's change.
    const components::TEmitGuard quiet(*DaysSpin, components::TEmitPolicy::NeverEmit);
    DaysSpin->SetMinValue(0);
    DaysSpin->SetMaxValue(365);
    DaysSpin->SetUseLimit(true);
    DaysSpin->SetIncrement(1);
    DaysSpin->SetValue(0);
  }
  daysRow->addWidget(DaysSpin, 1);
  inside->addWidget(days);

  HoursSpin = new components::TDegreeSpin(group);
  {
    // Settings and start value are not a user's change, and carry nothing into the days.
    const components::TEmitGuard quiet(*HoursSpin, components::TEmitPolicy::NeverEmit);
    HoursSpin->SetUnitsString("Hours");
    HoursSpin->SetMinValue(0);
    HoursSpin->SetMaxValue(24);
    HoursSpin->SetUseLimit(true);
    HoursSpin->SetHours(0);
    HoursSpin->SetMinutes(0);
    HoursSpin->SetSecInc(1);
  }
  HoursSpin->setMinimumHeight(44);
  inside->addWidget(HoursSpin);
  column->addWidget(group, 1);

  auto* buttons = new QHBoxLayout;
  ApplyBtn = new QPushButton("Apply", this);
  CancelBtn = new QPushButton("Close", this);
  CancelBtn->setAutoDefault(false);
  buttons->addStretch(1);
  buttons->addWidget(ApplyBtn);
  buttons->addWidget(CancelBtn);
  column->addLayout(buttons);

  HoursSpin->OnLimit = [this](QObject* sender, bool upper) {
    framework::RunGuarded([&] { HoursSpinLimit(sender, upper); });
  };
  connect(ApplyBtn, &QPushButton::clicked, this,
          [this] { framework::RunGuarded([this] { ApplyBtnClick(ApplyBtn); }); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TAutoCalibrateDlg::ShowAutoCalibrate() {
  ReadPollInterval();
  exec();
}

void TAutoCalibrateDlg::ReadPollInterval() {
  framework::TRegistry registry;
  if (!OpenNtpClientKey(registry)) return;
  const int seconds = registry.ReadInteger(kPollIntervalValue);
  DaysSpin->SetValue(seconds / kSecondsPerDay);
  // The rest of the day replaces what the hours spin showed, carried into hours and minutes.
  // These writes notify as typing would: a rest below a day reaches no limit, and a negative
  // one reaches the lower limit, whose handler leaves the days at 0 where they stand.
  HoursSpin->SetHours(0);
  HoursSpin->SetMinutes(0);
  HoursSpin->SetSeconds(seconds % kSecondsPerDay);
  registry.CloseKey();
}

void TAutoCalibrateDlg::WritePollInterval() {
  framework::TRegistry registry;
  if (!OpenNtpClientKey(registry)) return;
  // The days in 64-bit seconds, then everything summed in floating point in this order.
  const double seconds = static_cast<double>(DaysSpin->Value() * kSecondsPerDay) +
                         HoursSpin->Seconds() + HoursSpin->Minutes() * 60.0 +
                         HoursSpin->Hours() * 3600.0;
  // Whole seconds: a fraction of a second in the hours spin is dropped. At most 366 days of
  // seconds (the days spin's and the hours spin's limits), so the count fits the 32-bit value.
  registry.WriteInteger(kPollIntervalValue, static_cast<int>(std::trunc(seconds)));
  registry.CloseKey();
}

void TAutoCalibrateDlg::ApplyBtnClick(QObject*) {
  WritePollInterval();
  ReadPollInterval();
}

void TAutoCalibrateDlg::HoursSpinLimit(QObject*, bool upper) {
  // Runs inside the hours spin's own write; the value written back here (0 or 23 hours) lies
  // within its limits, so the nested write reports no limit and this handler is not re-entered.
  if (upper) {
    DaysSpin->SetValue(DaysSpin->Value() + 1);
    HoursSpin->SetDegrees(0);
  } else if (DaysSpin->Value() != 0) {
    DaysSpin->SetValue(DaysSpin->Value() - 1);
    HoursSpin->SetDegrees(HoursSpin->MaxValue() - 1);
  }
}

}  // namespace app
