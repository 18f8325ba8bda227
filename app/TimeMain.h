#pragma once
// The main window: the measurement cycle, the displays, the chart, the statistics and the
// clock-rate calibration.
#include <QMainWindow>
#include <cstdint>
#include <memory>

#include "components/ErrorStatistics.h"
#include "components/SampleLog.h"
#include "framework/DateUtils.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace framework {
class TRadioGroup;
class TTimer;
}  // namespace framework
namespace ntp {
class TNTPClient;
}
namespace components {
class TCHMHelper;
class TEditEx;
class THugeDouble;
class TIntegerSpin;
class TOnOffBox;
class TRealSpin;
class TRunningAverage;
class TStripChart;
}  // namespace components

namespace app {

class THostEditDlg;
class TAutoCalibrateDlg;

// Names the application for its windows and error boxes and sets the help file name; the
// program entry calls it once, before any window is made. No display name is set, so the
// window system shows each window's own caption unchanged.
void InitApplication();

// A host may be typed with at most this many characters; hosts set by the program (a listed
// host, the settings file) are taken whole.
inline constexpr int kHostTypedLength = 34;
// The page control's width at start, in pixels, when its captions fit in it.
inline constexpr int kPageControlWidth = 225;
// The dynamic property that keeps a control's hint text, which this window never shows.
inline constexpr const char* kHintProperty = "Hint";

// Seconds per day the clock gains when `adjustment` (100 ns) is added at each interrupt of
// `increment` (100 ns); 0 when no interval is known.
double AdjustmentPerDay(uint32_t adjustment, uint32_t increment);
// The adjustment per interrupt (100 ns) that gains `perDay` seconds per day at `increment`,
// nearest (ties to even), low 32 bits.
uint32_t AdjustmentForPerDay(uint32_t increment, double perDay);

// Where the program finds its help file `name`: beside the program in `programDir` when it is
// there, else in the data folder of an installation (<prefix>/share/tempomere); beside the program
// when neither holds it.
QString HelpFileLocation(const QString& programDir, const QString& name);

// The main window's controls and components, under the names its layout gives them, as a form
// designer's generated class would hold them. The window's layout functions fill them in; the
// window reaches them as its own private members, tests through TForm1::Controls().
struct TForm1Controls {
  // Tool bar.
  QToolButton* AutoUpdateBtn = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* SetTimeBtn = nullptr;
  QLabel* ToolBarNote = nullptr;
  // Internet time strip.
  components::TEditEx* LocalDateDis = nullptr;
  components::TEditEx* LocalTimeDis = nullptr;
  components::TEditEx* UTCTimeDis = nullptr;
  components::TEditEx* UpdateDis = nullptr;
  components::TOnOffBox* ValidOnOff = nullptr;
  // Computer time strip.
  components::TEditEx* CompDateDis = nullptr;
  components::TEditEx* CompTimeDis = nullptr;
  components::TEditEx* CompUTCDis = nullptr;
  components::TEditEx* ErrorDis = nullptr;
  // Tabs.
  QSplitter* Splitter1 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  // Settings tab.
  QComboBox* HostCombo = nullptr;
  QLineEdit* PortEdit = nullptr;
  components::TIntegerSpin* UpdateRateSpin = nullptr;
  components::TEditEx* TripDelayDis = nullptr;
  components::TEditEx* VersionDis = nullptr;
  components::TEditEx* LeapDis = nullptr;
  components::TEditEx* StratumDis = nullptr;
  components::TEditEx* ModeDis = nullptr;
  components::TEditEx* PrecisionDis = nullptr;
  components::TEditEx* PollDis = nullptr;
  components::TEditEx* DisperseDis = nullptr;
  components::TEditEx* RootDelayDis = nullptr;
  components::TEditEx* ReferenceDis = nullptr;
  // Statistics tab.
  QPushButton* ClearStatsBtn = nullptr;
  components::TEditEx* CountDis = nullptr;
  components::TEditEx* TimeSpanDis = nullptr;
  components::TEditEx* TotalDriftDis = nullptr;
  components::TEditEx* DriftPerDayDis = nullptr;
  components::TEditEx* MinDis = nullptr;
  components::TEditEx* MaxDis = nullptr;
  components::TEditEx* MeanDis = nullptr;
  QPushButton* CalculateStatsBtn = nullptr;
  components::TEditEx* STDDis = nullptr;
  // Calibration tab.
  components::TEditEx* TimeIntervalDis = nullptr;
  components::TEditEx* TimeIncDis = nullptr;
  components::TOnOffBox* AdjustmentOnOff = nullptr;
  components::TRealSpin* ChangePerDaySpin = nullptr;
  QPushButton* Button3 = nullptr;
  QLineEdit* CalibStatusDis = nullptr;
  // Chart area.
  QWidget* ChartArea = nullptr;
  QPushButton* ClearGraphBtn = nullptr;
  QCheckBox* AverageChk = nullptr;
  components::TIntegerSpin* SampleSpin = nullptr;
  components::TStripChart* StripChart1 = nullptr;
  framework::TRadioGroup* RangeXRadio = nullptr;
  framework::TRadioGroup* RangeYRadio = nullptr;
  // Status bar.
  QLabel* StatusLabel = nullptr;
  QLabel* StatusDis = nullptr;
  // Menu.
  QAction* Exit1 = nullptr;
  QAction* ConfigureAutoCalibrate1 = nullptr;
  QAction* EditHosts1 = nullptr;
  QAction* SaveSettings1 = nullptr;
  QAction* SaveSamplesAs1 = nullptr;
  QAction* Contents1 = nullptr;
  // Non-visual components.
  framework::TTimer* Timer1 = nullptr;
  ntp::TNTPClient* NTPClient = nullptr;
  components::TCHMHelper* CHMHelper1 = nullptr;
};

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
  // Enables or disables the right to set the system time; false (changing nothing) when it is
  // not held.
  bool SetTimePrivilege(bool enable);
  // Says in the Calibration tab's status and the status line that changing the clock needs the
  // right to change the system time, and how to grant it.
  void ShowNoTimeRight();

  // Window timers count in signed milliseconds; an interval from 2^31 ms up (about 25 days) is
  // run as two or three equal parts, and only the tick that ends the last part is a real tick.
  void SetTimerInterval(uint32_t milliseconds);
  int TimerParts() const;
  int TimerPartLength(int part) const;
  // False for a tick that only ends a part of a long interval.
  bool TickEndsInterval();

  // Keeps the window wide enough for the page control's captions beside the chart area.
  void FitSplitter();
  int PageWidthNeeded() const;
  // Makes the host box's open list as wide as its longest host.
  void FitHostList();

  void BuildMenu();
  QWidget* BuildToolBar();
  QWidget* BuildInternetStrip();
  QWidget* BuildComputerStrip();
  QWidget* BuildSettingsTab();
  QWidget* BuildStatisticsTab();
  QWidget* BuildCalibrationTab();
  QWidget* BuildChartArea();
  QWidget* BuildStatusBar();

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
  // The timer's whole interval in ms, and which of its parts is running.
  uint32_t timerInterval_ = 0;
  int timerPart_ = 0;
};

}  // namespace app
