#pragma once
// The auto-calibrate dialog: the interval at which the time service re-synchronises the clock,
// as days plus hours, minutes and seconds.
#include <QDialog>

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

  // Reads the interval, then shows the dialog until "Close". A value that cannot be read
  // raises, and the dialog is not shown.
  void ShowAutoCalibrate();
  // Show what is stored / store what is shown; both do nothing when the key cannot be opened
  // (no administrator rights).
  void ReadPollInterval();
  void WritePollInterval();

  void ApplyBtnClick(QObject* Sender);
  // Stepping the hours past a whole day, either way, carries into the days. Virtual so that a
  // test can stand in for it.
  virtual void HoursSpinLimit(QObject* Sender, bool Upper);
};

}  // namespace app
