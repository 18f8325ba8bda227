#pragma once
// The main window: the measurement cycle, the displays, the chart, the statistics and the
// clock-rate calibration.
#include <QMainWindow>
#include <cstdint>
#include <memory>

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

// Seconds per day the clock gains when `adjustment` (100 ns) is added at each interrupt of
// `increment` (100 ns); 0 when no interval is known.
double AdjustmentPerDay(uint32_t adjustment, uint32_t increment);
// The adjustment per interrupt (100 ns) that gains `perDay` seconds per day at `increment`,
// nearest (ties to even), low 32 bits.
uint32_t AdjustmentForPerDay(uint32_t increment, double perDay);

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
  // The statistics run.
  bool StatFirst = true;
  TDateTime StatStart = 0;
  double StatMin = 0;
  double StatMax = 0;
  double StatSum = 0;
  // The clock adjustment as last read from the system, with the user's pending changes.
  uint32_t TimeAdjustment = 0;         // 100 ns added per interrupt
  uint32_t TimeIncrement = 0;          // 100 ns between interrupts
  int32_t TimeAdjustmentDisabled = 0;  // non-zero: the system keeps its own rate

  // Handlers.
  void FormCreate(QObject* Sender);
  void Timer1Timer(QObject* Sender);
  void Button1Click(QObject* Sender);
  void RangeXRadioClick(QObject* Sender);
  void RangeYRadioClick(QObject* Sender);
  void UpdateRateSpinChange(QObject* Sender);
  void SampleSpinChange(QObject* Sender);
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
  void ChangePerDaySpinChange(QObject* Sender);
  void AdjustmentOnOffClick(QObject* Sender);
  void Button3Click(QObject* Sender);

  // The measurement cycle and its parts.
  void ShowComputerTime();
  void GetServerTime();
  void SetXRange();
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
