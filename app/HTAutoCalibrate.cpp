#include "app/HTAutoCalibrate.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <cmath>
#include <cstdint>
#include <string>

#include "components/Degspin.h"
#include "components/intspin.h"
#include "framework/Forms.h"
#include "framework/Registry.h"
#include "framework/SysErrorMessage.h"
#include "platform/TimeService.h"
#ifndef _WIN32
#include "platform/posix/PosixRegistry.h"
#include "platform/posix/TimesyncdConfig.h"
#endif

namespace app {

namespace {

constexpr int kSecondsPerDay = 86400;

// The time service's key, opened for reading and writing, or nothing when it cannot be.
bool OpenNtpClientKey(framework::TRegistry& registry) {
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  return registry.OpenKey(kNtpClientKey, true);
}

// The key to read: as for writing, else read-only, so that a user who may not change the
// interval still sees the one stored.
bool OpenNtpClientKeyToRead(framework::TRegistry& registry) {
  return OpenNtpClientKey(registry) || registry.OpenKeyReadOnly(kNtpClientKey);
}

// The registry's message for a refused write, with the reason.
[[noreturn]] void WriteRefused(const std::string& reason) {
  throw framework::ERegistryException("Failed to set data for '" + std::string(kPollIntervalValue) +
                                      "': " + reason);
}

// The file of the time service's configuration that could not be written, with the system's
// reason; empty when the platform names none.
std::string FileRefusal() {
#ifndef _WIN32
  const platform::timesyncd::KeyChangeNotes notes = platform::timesyncd::LastKeyChangeNotes();
  if (!notes.refusedFile.empty())
    return "\"" + notes.refusedFile + "\" could not be written: " +
           framework::SysErrorMessage(notes.refusedError).toStdString();
#endif
  return {};
}

// The dialog's client area without the note, pixels.
constexpr int kClientWidth = 228;
constexpr int kClientHeight = 159;
constexpr int kBorder = 4;

// Where "Apply" writes the interval.
QString IntervalFile() {
#ifdef _WIN32
  return "HKEY_LOCAL_MACHINE" + QString(kNtpClientKey) + "\\" + kPollIntervalValue;
#else
  return platform::PosixRegistry::kDropInFile;
#endif
}

QString Names(const std::vector<std::string>& names) {
  QStringList list;
  for (const std::string& name : names) list << QString::fromStdString(name);
  return list.join(", ");
}

// Whether the interval will be used, as far as the system says which service keeps the time.
QString ServiceInCharge(const platform::TimeServiceFacts& facts) {
  if (platform::TimesyncdInCharge(facts)) return "systemd-timesyncd keeps the time and uses it.";
  if (!facts.busReachable || !facts.timedatedPresent)
    return "Which service keeps the time cannot be told (" + QString::fromStdString(facts.reason) +
           "); only systemd-timesyncd uses this interval.";
  if (!facts.servicesKnown)
    return "The system does not say which service keeps the time; only systemd-timesyncd uses "
           "this interval.";
  if (facts.services.empty())
    return "systemd-timesyncd does not run: the interval is used only when it does.";
  std::vector<std::string> others;
  for (const std::string& name : facts.services)
    if (name != "systemd-timesyncd") others.push_back(name);
  if (others.size() < facts.services.size())
    return "systemd-timesyncd runs beside " + Names(others) +
           ", which also steers the clock: the interval does not decide how often it is "
           "corrected.";
  return Names(facts.services) +
         " keeps the time, not systemd-timesyncd: the interval will not be used.";
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
  ServiceNote = new QLabel(this);
  ServiceNote->setWordWrap(true);
  column->addWidget(ServiceNote);

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

void TAutoCalibrateDlg::ShowServiceNote() {
  ServiceNote->setText("Writes " + IntervalFile() + ". " +
                       ServiceInCharge(platform::Current<platform::TimeServiceApi>().Facts()));
  // The described client area, and below the group the note at its wrapped height.
  setFixedSize(kClientWidth + 2 * kBorder, kClientHeight + 2 * kBorder +
                                               ServiceNote->heightForWidth(kClientWidth) +
                                               layout()->spacing());
}

void TAutoCalibrateDlg::ShowAutoCalibrate() {
  ShowServiceNote();
  ReadPollInterval();
  exec();
}

void TAutoCalibrateDlg::ReadPollInterval() {
  framework::TRegistry registry;
  if (!OpenNtpClientKeyToRead(registry)) return;
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
  // The days in 64-bit seconds, then everything summed in floating point in this order.
  const double seconds = static_cast<double>(DaysSpin->Value() * kSecondsPerDay) +
                         HoursSpin->Seconds() + HoursSpin->Minutes() * 60.0 +
                         HoursSpin->Hours() * 3600.0;
  // Whole seconds: a fraction of a second in the hours spin is dropped. At most 366 days of
  // seconds (the days spin's and the hours spin's limits), so the count fits the 32-bit value.
  const int interval = static_cast<int>(std::trunc(seconds));
  framework::TRegistry registry;
  if (!OpenNtpClientKey(registry)) {
    const std::string file = FileRefusal();
    WriteRefused(!file.empty() ? file
                               : "HKEY_LOCAL_MACHINE" + std::string(kNtpClientKey) +
                                     " cannot be opened for writing");
  }
#ifndef _WIN32
  // systemd-timesyncd drops a longest poll interval below its shortest for its default: refused
  // here rather than stored to no effect.
  const uint64_t shortest = platform::timesyncd::LastKeyChangeNotes().pollIntervalMinSeconds;
  if (static_cast<int64_t>(interval) < static_cast<int64_t>(shortest))
    WriteRefused("systemd-timesyncd takes no poll interval shorter than " +
                 std::to_string(shortest) + " seconds (PollIntervalMinSec)");
#endif
  try {
    registry.WriteInteger(kPollIntervalValue, interval);
  } catch (const framework::ERegistryException&) {
    const std::string file = FileRefusal();
    if (file.empty()) throw;
    WriteRefused(file);
  }
  registry.CloseKey();
}

void TAutoCalibrateDlg::ApplyBtnClick(QObject*) {
  try {
    WritePollInterval();
  } catch (const framework::Exception&) {
    // The dialog shows what is stored after a refused write too; the refusal is what the user
    // is told, and a value that cannot be read is told when the dialog opens.
    try {
      ReadPollInterval();
    } catch (const framework::Exception&) {
    }
    throw;
  }
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
