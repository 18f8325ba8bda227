#pragma once
// The auto-calibrate dialog: the interval at which the time service re-synchronises the clock,
// as days plus hours, minutes and seconds.
#include <QDialog>

class QLabel;
class QPushButton;
namespace components {
class TDegreeSpin;
class TIntegerSpin;
}  // namespace components

namespace app {

// Where the time service keeps its poll interval, under HKEY_LOCAL_MACHINE.
inline constexpr const char* kNtpClientKey =
    "\\SYSTEM\\ControlSet001\\services\\W32Time\\TimeProviders\\NtpClient";
inline constexpr const char* kPollIntervalValue = "SpecialPollInterval";

class TAutoCalibrateDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TAutoCalibrateDlg(QWidget* owner = nullptr);

  components::TIntegerSpin* DaysSpin;
  components::TDegreeSpin* HoursSpin;
  QPushButton* ApplyBtn;
  QPushButton* CancelBtn;
  // Which file the interval is written to, and whether the service in charge uses it.
  QLabel* ServiceNote;

  // Says where the interval goes and whether systemd-timesyncd, the service that reads it, is
  // the one that keeps the time, as the system tells (never guessed).
  void ShowServiceNote();

  // Reads the interval, then shows the dialog until "Close". A value that cannot be read
  // raises, and the dialog is not shown.
  void ShowAutoCalibrate();
  // Shows what is stored, also to a user who may only read it; nothing when the key cannot be
  // opened at all.
  void ReadPollInterval();
  // Stores what is shown. A refused write raises "Failed to set data for 'SpecialPollInterval'"
  // with the reason: the file that could not be written and the system's reason, or, with
  // systemd-timesyncd, the shortest interval it takes.
  void WritePollInterval();

  // Stores, then shows what is stored, also when the write was refused.
  void ApplyBtnClick(QObject* Sender);
  // Stepping the hours past a whole day, either way, carries into the days. Virtual so that a
  // test can stand in for it.
  virtual void HoursSpinLimit(QObject* Sender, bool Upper);
};

}  // namespace app
