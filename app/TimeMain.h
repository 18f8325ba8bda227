#pragma once
// The main window: the measurement cycle, the displays, the chart, the statistics and the
// clock-rate calibration.
#include <QMainWindow>
#include <cstdint>
#include <memory>

#include "app/TimeMainLayout.h"
#include "app/TimePrivilege.h"
#include "components/DriftFit.h"
#include "components/ErrorStatistics.h"
#include "components/RunJournal.h"
#include "components/SampleLog.h"
#include "framework/DateUtils.h"

namespace components {
class THugeDouble;
class TRunningAverage;
}  // namespace components

namespace app {

class THostEditDlg;
class TAutoCalibrateDlg;

// Names the application for its windows and error boxes and sets the help file name; the
// program entry calls it once, before any window is made. No display name is set, so the
// window system shows each window's own caption unchanged.
void InitApplication();

// Where the program finds its help file `name`: beside the program in `programDir` when it is
// there, else in the data folder of an installation (<prefix>/share/tempomere); beside the program
// when neither holds it.
QString HelpFileLocation(const QString& programDir, const QString& name);

// The main window. Its public part is what the program entry and the tests need; everything
// else, the controls included, is the window's own.
class TForm1 : public QMainWindow, private TForm1Controls {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The host editor, made by the program entry after the window; shown by "Edit Hosts...".
  THostEditDlg* HostEditDlg = nullptr;
  // The auto-calibrate dialog, made likewise; shown by "Configure Auto Calibrate...".
  TAutoCalibrateDlg* AutoCalibrateDlg = nullptr;

  // For tests: the controls, to drive as a user does and to read what they show.
  const TForm1Controls& Controls() const { return *this; }
  // For tests: the state behind the displays, to check them against.
  struct TState {
    const components::THugeDouble& ErrorStore;        // accepted errors, seconds, oldest first
    const components::TRunningAverage& ErrorAverage;  // the newest errors, valid or not
    uint32_t TimeAdjustment;                          // 100 ns per interrupt, pending included
    int32_t TimeAdjustmentDisabled;                   // non-zero: the system keeps its own rate
    uint32_t TimerInterval;  // ms, as "Auto Interval" set it (low 32 bits); 0 stops the timer
    const components::TSampleLog& SampleLog;  // what "Save Samples As..." writes
  };
  // The numbers as they are now; the stores by reference.
  TState State() const;
  // Takes `error` (seconds) into the store and the statistics run as the measurement cycle does
  // with a valid reply, at the clock's current time. Tests use it for errors and times no reply
  // carries exactly.
  void AcceptError(double error);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Samples out of the window: each accepted sample's UTC time, host, error and delay, kept
  // beside ErrorStore and cleared with the statistics; "File > Save Samples As..." writes them.
  components::TSampleLog SampleLog;
  void SaveSamplesAs1Click(QObject* Sender);

  // The journal of runs: each accepted sample is appended as it is taken; "Clear" on the
  // Statistics tab begins a new run; "File > Resume Last Run" brings the last run back.
  std::unique_ptr<components::TRunJournal> Journal;
  // The least-squares drift over the run's full-resolution errors against their real times.
  components::TDriftFit Fit;
  void ResumeLastRun1Click(QObject* Sender);
  // Takes one accepted sample into the store, the statistics run, the fit and the sample log.
  void AcceptSample(const components::TJournalSample& sample);
  // Says a journal's fault (or its recovery) on the status line.
  void ShowJournalMessage(const std::string& message);
  // The note beside "Adjustment Per Day".
  void UpdateFitNote();

  // Handlers. Those a control's event runs are virtual so that a test's window can stand in for
  // one (a derived class may override a private virtual function).
  void FormCreate(QObject* Sender);
  void Timer1Timer(QObject* Sender);
  void Button1Click(QObject* Sender);
  virtual void RangeXRadioClick(QObject* Sender);
  virtual void RangeYRadioClick(QObject* Sender);
  virtual void UpdateRateSpinChange(QObject* Sender);
  virtual void SampleSpinChange(QObject* Sender);
  void ClearGraphBtnClick(QObject* Sender);
  void PageControl1Resize(QObject* Sender);
  void ClearStatsBtnClick(QObject* Sender);
  void CalculateStatsBtnClick(QObject* Sender);
  void Exit1Click(QObject* Sender);
  void Contents1Click(QObject* Sender);
  void EditHosts1Click(QObject* Sender);
  void SaveSettings1Click(QObject* Sender);
  void ConfigureAutoCalibrate1Click(QObject* Sender);
  void SetTimeBtnClick(QObject* Sender);
  virtual void ChangePerDaySpinChange(QObject* Sender);
  void AdjustmentOnOffClick(QObject* Sender);
  void Button3Click(QObject* Sender);

  // The measurement cycle and its parts.
  void ShowComputerTime();
  void GetServerTime();
  void SetXRange();
  // The statistics: clear the run; show the run's summary (after an accepted error).
  void ClearStatistics();
  void UpdateStatistics();

  // The clock adjustment.
  void ReadTimeAdjustment();
  void ShowTimeAdjustment();
  void RefreshTimeAdjustment();
  // What the user is told when the right to change the system time is refused.
  void ShowPrivilegeRefusal(TPrivilegeRefusal refusal, uint32_t lastError);
  // Says in the Calibration tab's status and the status line that changing the clock needs the
  // right to change the system time, and how to grant it.
  void ShowNoTimeRight();

  // The system's time service: the "Time Service:" line, the clock set through
  // systemd-timedated when the program may not set it itself, and network time turned back on.
  void RefreshTimeService();
  void SetTimeThroughTimeService();
  void NetworkTimeOn1Click(QObject* Sender);
  void ShowTimeServiceMessage(const QString& message);

  // Attaches the window's handlers to the events of its controls and its timer.
  void ConnectHandlers();

  // Window state.
  std::unique_ptr<components::THugeDouble> ErrorStore;
  std::unique_ptr<components::TRunningAverage> ErrorAverage;
  framework::TDateTime LastUpdate = 0;
  // The statistics run over ErrorStore; the Statistics tab shows its summary and nothing else.
  components::TErrorStatistics Statistics;
  // The clock adjustment as last read from the system, with the user's pending changes.
  uint32_t TimeAdjustment = 0;         // 100 ns added per interrupt
  uint32_t TimeIncrement = 0;          // 100 ns between interrupts
  int32_t TimeAdjustmentDisabled = 0;  // non-zero: the system keeps its own rate
};

}  // namespace app
