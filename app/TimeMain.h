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
class TEditEx;
class TIntegerSpin;
class TRealSpin;
namespace components {
class TCHMHelper;
class THugeDouble;
class TOnOffBox;
class TRunningAverage;
class TStripChart;
}  // namespace components

namespace app {

using framework::TDateTime;

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

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The host editor, made by the program entry after the window; shown by "Edit Hosts...".
  THostEditDlg* HostEditDlg = nullptr;
  // The auto-calibrate dialog, made likewise; shown by "Configure Auto Calibrate...".
  TAutoCalibrateDlg* AutoCalibrateDlg = nullptr;

  // Tool bar.
  QToolButton* AutoUpdateBtn;
  QPushButton* Button1;
  QPushButton* SetTimeBtn;
  QLabel* ToolBarNote;
  // Internet time strip.
  TEditEx* LocalDateDis;
  TEditEx* LocalTimeDis;
  TEditEx* UTCTimeDis;
  TEditEx* UpdateDis;
  components::TOnOffBox* ValidOnOff;
  // Computer time strip.
  TEditEx* CompDateDis;
  TEditEx* CompTimeDis;
  TEditEx* CompUTCDis;
  TEditEx* ErrorDis;
  // Tabs.
  QSplitter* Splitter1;
  QTabWidget* PageControl1;
  // Settings tab.
  QComboBox* HostCombo;
  QLineEdit* PortEdit;
  TIntegerSpin* UpdateRateSpin;
  TEditEx* TripDelayDis;
  TEditEx* VersionDis;
  TEditEx* LeapDis;
  TEditEx* StratumDis;
  TEditEx* ModeDis;
  TEditEx* PrecisionDis;
  TEditEx* PollDis;
  TEditEx* DisperseDis;
  TEditEx* RootDelayDis;
  TEditEx* ReferenceDis;
  // Statistics tab.
  QPushButton* ClearStatsBtn;
  TEditEx* CountDis;
  TEditEx* TimeSpanDis;
  TEditEx* TotalDriftDis;
  TEditEx* DriftPerDayDis;
  TEditEx* MinDis;
  TEditEx* MaxDis;
  TEditEx* MeanDis;
  QPushButton* CalculateStatsBtn;
  TEditEx* STDDis;
  // Calibration tab.
  TEditEx* TimeIntervalDis;
  TEditEx* TimeIncDis;
  components::TOnOffBox* AdjustmentOnOff;
  TRealSpin* ChangePerDaySpin;
  QPushButton* Button3;
  QLineEdit* CalibStatusDis;
  // Chart area.
  QWidget* ChartArea;
  QPushButton* ClearGraphBtn;
  QCheckBox* AverageChk;
  TIntegerSpin* SampleSpin;
  components::TStripChart* StripChart1;
  framework::TRadioGroup* RangeXRadio;
  framework::TRadioGroup* RangeYRadio;
  // Status bar.
  QLabel* StatusLabel;
  QLabel* StatusDis;
  // Menu.
  QAction* Exit1;
  QAction* ConfigureAutoCalibrate1;
  QAction* EditHosts1;
  QAction* SaveSettings1;
  QAction* Contents1;
  // Non-visual components.
  framework::TTimer* Timer1;
  ntp::TNTPClient* NTPClient;
  components::TCHMHelper* CHMHelper1;

  // Window state.
  std::unique_ptr<components::THugeDouble> ErrorStore;
  std::unique_ptr<components::TRunningAverage> ErrorAverage;
  TDateTime LastUpdate = 0;
  // The statistics run over ErrorStore: its start, extremes, sum and the drift windows, kept as
  // errors arrive so that a cycle's work does not grow with the store.
  components::TErrorStatistics Statistics;
  // The clock adjustment as last read from the system, with the user's pending changes.
  uint32_t TimeAdjustment = 0;         // 100 ns added per interrupt
  uint32_t TimeIncrement = 0;          // 100 ns between interrupts
  int32_t TimeAdjustmentDisabled = 0;  // non-zero: the system keeps its own rate

  // Samples out of the window: each accepted sample's UTC time, host, error and delay, kept
  // beside ErrorStore and cleared with the statistics; "File > Save Samples As..." writes them.
  components::TSampleLog SampleLog;
  QAction* SaveSamplesAs1 = nullptr;
  void SaveSamplesAs1Click(QObject* Sender);

  // Handlers. Those a control's event runs are virtual so that a test can stand in for one.
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
  // The timer's interval in milliseconds, as the "Auto Interval" spin set it (low 32 bits);
  // 0 stops the timer.
  uint32_t TimerInterval() const { return timerInterval_; }
  // The statistics: clear the run; take one accepted error (already in ErrorStore) into it.
  void ClearStatistics();
  void AcceptError(double error);
  void UpdateStatistics();
  // Total drift in seconds and drift per day in seconds per day.
  void CalcDrift(double& total, double& perDay) const;

  // The clock adjustment.
  void ReadTimeAdjustment();
  void ShowTimeAdjustment();
  void RefreshTimeAdjustment();
  // Enables or disables the right to set the system time; false (changing nothing) when it is
  // not held.
  bool SetTimePrivilege(bool enable);

  static QString FormatTimeOfDay(double days);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Window timers count in signed milliseconds; an interval from 2^31 ms up (about 25 days) is
  // run as two or three equal parts, and only the tick that ends the last part is a real tick.
  void SetTimerInterval(uint32_t milliseconds);
  int TimerParts() const;
  int TimerPartLength(int part) const;
  // False for a tick that only ends a part of a long interval.
  bool TickEndsInterval();
  uint32_t timerInterval_ = 0;
  int timerPart_ = 0;

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
};

}  // namespace app
