#pragma once
// The main window's layout, apart from its code as a form designer's generated class stands
// apart from the form's: the controls and components it holds, made with the captions, order
// and defaults of the window's tables, and the sizing that keeps them readable.
#include <cstdint>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolButton;
class QWidget;

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
class TIntegerSpin;
class TOnOffBox;
class TRealSpin;
class TStripChart;
}  // namespace components

namespace app {

// A host may be typed with at most this many characters; hosts set by the program (a listed
// host, the settings file) are taken whole.
inline constexpr int kHostTypedLength = 34;
// The page control's width at start, in pixels, when its captions fit in it.
inline constexpr int kPageControlWidth = 225;
// The dynamic property that keeps a control's hint text, which this window never shows.
inline constexpr const char* kHintProperty = "Hint";
// Timer1's interval at start, ms between ticks; "Auto Interval" starts at it.
inline constexpr uint32_t kTimerInterval = 300;

// The items of "Range-X", in order: the X axis from 0 to `max` seconds of chart time.
struct TXRange {
  const char* caption;
  double max;  // seconds of chart time
  int lines;
  double multiplier;  // label units per second: 1/60 labels in minutes
};
inline constexpr TXRange kXRanges[] = {
    {"1 min", 60, 4, 1},           {"3 min", 180, 12, 1},         {"5 min", 300, 10, 1},
    {"10 min", 600, 10, 1.0 / 60}, {"30 min", 1800, 6, 1.0 / 60}, {"1 hr", 3600, 6, 1.0 / 60},
    {"3 hrs", 10800, 6, 1.0 / 60},
};

// The main window's controls and components, under the names its layout gives them, as a form
// designer's generated class holds them. SetupControls makes them; the window reaches them as
// its own private members, tests through TForm1::Controls().
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
  // Beside the described figures: the least-squares drift with its 95 % interval (seconds per
  // day), the same rate in ppm, and the spread of the fit's residuals (seconds).
  components::TEditEx* FittedDriftDis = nullptr;
  components::TEditEx* FittedPpmDis = nullptr;
  components::TEditEx* ResidualSDDis = nullptr;
  // Calibration tab.
  components::TEditEx* TimeIntervalDis = nullptr;
  components::TEditEx* TimeIncDis = nullptr;
  components::TOnOffBox* AdjustmentOnOff = nullptr;
  components::TRealSpin* ChangePerDaySpin = nullptr;
  QPushButton* Button3 = nullptr;
  QLineEdit* CalibStatusDis = nullptr;
  // "Time Service:": who keeps the time, as far as the system tells.
  QLabel* TimeServiceDis = nullptr;
  // Under "Adjustment Per Day": says when the fitted drift is less certain than that correction.
  QLabel* FitNoteDis = nullptr;
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
  QAction* ResumeLastRun1 = nullptr;
  QAction* Contents1 = nullptr;
  QAction* NetworkTimeOn1 = nullptr;  // turns network time synchronisation back on
  // Non-visual components.
  framework::TTimer* Timer1 = nullptr;
  ntp::TNTPClient* NTPClient = nullptr;
  components::TCHMHelper* CHMHelper1 = nullptr;

  // Makes the controls and components in `form` with the captions, order and defaults of the
  // window's tables: its title, size and font, the non-visual components, the menu and every
  // control. No handler is attached; the window attaches its own.
  void SetupControls(QMainWindow* form);
  // Keeps the window wide enough for the page control's tabs and captions beside the chart
  // area; the window calls it again when either asks for a new layout.
  void FitSplitter();

 private:
  int PageWidthNeeded() const;
  // Makes the host box's open list as wide as its longest host.
  void FitHostList();

  void BuildMenu(QMainWindow* form);
  QWidget* BuildToolBar(QWidget* form);
  QWidget* BuildInternetStrip(QWidget* form);
  QWidget* BuildComputerStrip(QWidget* form);
  QWidget* BuildSettingsTab(QWidget* form);
  QWidget* BuildSettingsGroup(QWidget* page, QWidget* form);
  QWidget* BuildParametersGroup(QWidget* page);
  QWidget* BuildStatisticsTab();
  QWidget* BuildCalibrationTab();
  QWidget* BuildChartArea();
  QWidget* BuildStatusBar(QWidget* form);
};

}  // namespace app
