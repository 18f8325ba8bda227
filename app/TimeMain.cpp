#include "app/TimeMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <cerrno>
#include <cmath>
#include <deque>
#include <span>

#include "app/HTAutoCalibrate.h"
#include "app/HTEditHosts.h"
#include "app/TimeServiceTexts.h"
#include "components/ChmHelper.h"
#include "components/ClockRate.h"
#include "components/Graphbox.h"
#include "components/HugeArry.h"
#include "components/Onoffbox.h"
#include "components/Realspin.h"
#include "components/SpinButtons.h"
#include "components/StatsLib.h"
#include "components/intspin.h"
#include "framework/ApplicationHelp.h"
#include "framework/DisplayFormats.h"
#include "framework/Forms.h"
#include "framework/IniFiles.h"
#include "framework/RadioGroup.h"
#include "framework/SysErrorMessage.h"
#include "framework/SysUtils.h"
#include "framework/Timers.h"
#include "ntp/NTPClient.h"
#include "platform/ClockAdjust.h"
#include "platform/LastError.h"
#include "platform/TimeService.h"
#include "platform/WinTime.h"

namespace app {

using framework::FormatFixed;

namespace {

constexpr framework::TColor kTraceRed = 0x0000FF;
constexpr framework::TColor kTraceBlue = 0xFF0000;

// Connects a widget's signal to a handler that runs inside the standard handler.
template <class Sender, class Signal, class Handler>
void On(Sender* sender, Signal signal, QObject* context, Handler handler) {
  QObject::connect(sender, signal, context,
                   [handler]() { framework::RunGuarded([&] { handler(); }); });
}

// Runs a control's event handler inside the standard handler.
template <class... Args, class Handler>
std::function<void(QObject*, Args...)> Guarded(Handler handler) {
  return [handler](QObject* sender, Args... args) {
    framework::RunGuarded([&] { handler(sender, args...); });
  };
}

// A UDP port is 16 bits; a larger number would silently reach another port.
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;

// The port box's text as a port: a whole number as the framework converts it (with its
// conversion error), and one from 1 to 65535, else the same error naming the text.
int PortNumber(const QString& text) {
  const std::string typed = text.toStdString();
  const int port = framework::StrToInt(typed);
  if (port < kLowestPort || port > kHighestPort)
    throw framework::EConvertError("'" + typed + "' is not a valid port number (" +
                                   std::to_string(kLowestPort) + ".." +
                                   std::to_string(kHighestPort) + ")");
  return port;
}

// Whether a refused clock change was refused for want of the right to change the system time.
bool LacksTimeRight(uint32_t lastError) {
#ifdef _WIN32
  return lastError == 1314;  // ERROR_PRIVILEGE_NOT_HELD
#else
  return lastError == EPERM;  // no CAP_SYS_TIME
#endif
}

// What a user without that right is told: what is missing, and how to grant it.
QString NoTimeRightMessage() {
#ifdef _WIN32
  return "Changing the clock needs the right to change the system time: run the program as "
         "administrator.";
#else
  return "Changing the clock needs the right to change the system time: run the program as "
         "root, or grant it with \"sudo setcap cap_sys_time+ep " +
         QCoreApplication::applicationFilePath() + "\".";
#endif
}

}  // namespace

void InitApplication() {
  QCoreApplication::setApplicationName("Tempomere");
  framework::ApplicationHelp().SetHelpFile("Horaplex.chm");
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  SetupControls(this);
  PageControl1->installEventFilter(this);  // PageControl1Resize, FitSplitter
  ConnectHandlers();

  FormCreate(this);

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

TForm1::~TForm1() = default;  // FormDestroy: the stores go with their owners; nothing is saved

TForm1::TState TForm1::State() const {
  return {*ErrorStore,        *ErrorAverage, TimeAdjustment, TimeAdjustmentDisabled,
          Timer1->Interval(), SampleLog};
}

void TForm1::ConnectHandlers() {
  On(ResumeLastRun1, &QAction::triggered, this, [this] { ResumeLastRun1Click(ResumeLastRun1); });
  On(SaveSamplesAs1, &QAction::triggered, this, [this] { SaveSamplesAs1Click(SaveSamplesAs1); });
  On(Exit1, &QAction::triggered, this, [this] { Exit1Click(Exit1); });
  On(ConfigureAutoCalibrate1, &QAction::triggered, this,
     [this] { ConfigureAutoCalibrate1Click(ConfigureAutoCalibrate1); });
  On(EditHosts1, &QAction::triggered, this, [this] { EditHosts1Click(EditHosts1); });
  On(SaveSettings1, &QAction::triggered, this, [this] { SaveSettings1Click(SaveSettings1); });
  On(Contents1, &QAction::triggered, this, [this] { Contents1Click(Contents1); });
  On(NetworkTimeOn1, &QAction::triggered, this, [this] { NetworkTimeOn1Click(NetworkTimeOn1); });
  // The "Time Service:" line is read afresh each time the Calibration tab is shown.
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    if (const QWidget* page = PageControl1->widget(index);
        page && page->isAncestorOf(TimeServiceDis))
      framework::RunGuarded([this] { RefreshTimeService(); });
  });

  On(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
  On(SetTimeBtn, &QPushButton::clicked, this, [this] { SetTimeBtnClick(SetTimeBtn); });

  UpdateRateSpin->OnChange = Guarded([this](QObject* sender) { UpdateRateSpinChange(sender); });
  On(ClearStatsBtn, &QPushButton::clicked, this, [this] { ClearStatsBtnClick(ClearStatsBtn); });
  On(CalculateStatsBtn, &QPushButton::clicked, this,
     [this] { CalculateStatsBtnClick(CalculateStatsBtn); });
  ChangePerDaySpin->OnChange = Guarded([this](QObject* sender) { ChangePerDaySpinChange(sender); });
  AdjustmentOnOff->OnClick = Guarded([this](QObject* sender) { AdjustmentOnOffClick(sender); });
  On(Button3, &QPushButton::clicked, this, [this] { Button3Click(Button3); });

  On(ClearGraphBtn, &QPushButton::clicked, this, [this] { ClearGraphBtnClick(ClearGraphBtn); });
  SampleSpin->OnChange = Guarded([this](QObject* sender) { SampleSpinChange(sender); });
  RangeXRadio->OnClick = [this](QObject* sender) { RangeXRadioClick(sender); };
  RangeYRadio->OnClick = [this](QObject* sender) { RangeYRadioClick(sender); };

  Timer1->OnTimer = Guarded([this](QObject* sender) { Timer1Timer(sender); });
}

// --- Start-up ---------------------------------------------------------------------------------

void TForm1::FormCreate(QObject*) {
  ErrorStore = std::make_unique<components::THugeDouble>(5);
  ErrorAverage = std::make_unique<components::TRunningAverage>();
  ErrorAverage->SetSize(10);
  StripChart1->SetIncrement(Timer1->Interval() / 1000.0);  // seconds of X per point
  RangeXRadio->SetItemIndex(0);
  SetXRange();
  RangeYRadio->SetItemIndex(6);
  RangeYRadioClick(RangeYRadio);
  ClearStatistics();
  RefreshTimeAdjustment();
  PageControl1->setCurrentIndex(0);
  LastUpdate = framework::Now();
  // The help file is looked for beside the program, then where an installation puts it.
  framework::TApplicationHelp& help = framework::ApplicationHelp();
  help.SetHelpFile(HelpFileLocation(QCoreApplication::applicationDirPath(),
                                    QFileInfo(help.HelpFile()).fileName()));
  InitHosts(*HostCombo);
  // A private NTS server's CA, named per host by the user in a section of its own that the
  // program reads here and never writes.
  NTPClient->Nts.ReadHostCaFiles(framework::TIniFile(kSettingsFileName), kNtsCaFilesSection);
  // The journal is opened with the first accepted sample: a window that never measures leaves
  // no file behind.
  Journal = std::make_unique<components::TRunJournal>(components::TRunJournal::DefaultPath(),
                                                      "tempomere");
  Journal->OnMessage = [this](const std::string& message) { ShowJournalMessage(message); };
}

QString HelpFileLocation(const QString& programDir, const QString& name) {
  const QString beside = programDir + "/" + name;
  if (QFileInfo(beside).isFile()) return beside;
  // An installed program lives in <prefix>/bin and its data in <prefix>/share/tempomere, so the
  // installed tree finds its help file wherever the prefix is (/usr, /usr/local, a DESTDIR).
  const QString installed = QDir::cleanPath(programDir + "/../share/tempomere/" + name);
  if (QFileInfo(installed).isFile()) return installed;
  return beside;  // missing: the help call then names the file where it was first looked for
}

// --- The measurement cycle --------------------------------------------------------------------

void TForm1::Timer1Timer(QObject*) {
  ShowComputerTime();
  if (AutoUpdateBtn->isChecked()) GetServerTime();
}

void TForm1::Button1Click(QObject*) {
  GetServerTime();
}

void TForm1::ShowComputerTime() {
  platform::SYSTEMTIME utc;
  platform::GetSystemTime(&utc);
  CompDateDis->SetText(framework::FormatShortDate(framework::Now()));
  CompTimeDis->SetText(framework::FormatLongTime(framework::Now()));
  CompUTCDis->SetText(framework::FormatTimeOfDay(framework::SystemTimeToDateTime(utc)));
  UpdateDis->SetText(framework::FormatTimeOfDay(framework::Now() - LastUpdate));
}

void TForm1::GetServerTime() {
  try {
    NTPClient->SetActive(true);
    NTPClient->SetHost(HostCombo->currentText().toStdString());
    NTPClient->SetPort(PortNumber(PortEdit->text()));
    NTPClient->QueryServerTime();

    const ntp::TNTPInfo& info = NTPClient->Info;
    LocalDateDis->SetText(framework::FormatShortDate(info.ServerTime));
    LocalTimeDis->SetText(framework::FormatLongTime(info.ServerTime));
    UTCTimeDis->SetText(framework::FormatTimeOfDay(info.ServerTimeUtc));
    TripDelayDis->SetText(FormatFixed(info.RoundTripDelay * 24 * 3600, 5));

    // Seconds, positive when the computer's clock is ahead of the server; days to seconds in
    // extended precision, rounded to a double once.
    const double error =
        static_cast<double>(-static_cast<long double>(NTPClient->GetClockOffset()) * 24 * 3600);
    ErrorAverage->Add(error);
    const double average = ErrorAverage->Average();
    ErrorDis->SetText(FormatFixed(error, 5));

    LeapDis->SetText(QString::number(info.LeapIndicator));
    VersionDis->SetText(QString::number(info.Version));
    ModeDis->SetText(QString::number(info.Mode));
    StratumDis->SetText(QString::number(info.Stratum));
    PollDis->SetText(FormatFixed(info.PollInterval, 5));
    PrecisionDis->SetText(framework::FormatExponent(info.Precision));
    RootDelayDis->SetText(FormatFixed(info.RootDelay, 5));
    DisperseDis->SetText(FormatFixed(info.RootDispersion, 5));
    ReferenceDis->SetText(QString::fromStdString(info.ReferenceID));
    ValidOnOff->SetBoxOn(info.Valid);

    if (info.Valid) {
      LastUpdate = framework::Now();
      if (AverageChk->isChecked())
        StripChart1->AddValue(1, kTraceBlue, average);
      else
        StripChart1->AddValue(0, kTraceRed, error);
      components::TJournalSample sample;
      sample.UtcMilliseconds = QDateTime::currentMSecsSinceEpoch();
      sample.Host = NTPClient->Host();
      sample.Error = error;
      sample.RoundTripDelay = info.RoundTripDelay * 24 * 3600;
      // The fit takes the same exchange at full resolution, at the middle of its send and
      // receive (nanoseconds since 1970 to seconds).
      const ntp::TPreciseExchange& precise = NTPClient->Precise;
      sample.PreciseError = -precise.ClockOffset;
      sample.PreciseRoundTripDelay = precise.RoundTripDelay;
      sample.FitTime = (double(precise.Originate) + double(precise.Destination)) / 2 / 1e9;
      sample.LocalTime = framework::Now();
      AcceptSample(sample);
      // Kept before the next sample is asked for; a journal that fails says so itself.
      Journal->Append(sample);
    }
    NTPClient->SetActive(false);
  } catch (...) {
    // A failing cycle releases Auto Update, so a failing host is not asked again on every tick,
    // but the timer keeps running: the clock displays and "Time Since Update" go on, and Auto
    // Update can be pressed again.
    AutoUpdateBtn->setChecked(false);
    throw;
  }
}

void TForm1::SetXRange() {
  const int index = RangeXRadio->ItemIndex();
  if (index < 0) return;
  const TXRange& range = kXRanges[index];
  components::TAxisParams* axis = StripChart1->XAxis();
  axis->SetMin(0);
  axis->SetMax(range.max);
  axis->SetLines(range.lines);
  axis->SetMultiplier(range.multiplier);
}

void TForm1::RangeXRadioClick(QObject*) {
  SetXRange();
}

void TForm1::RangeYRadioClick(QObject*) {
  // The captions are written with a point whatever the user's locale.
  const double v = QLocale::c().toDouble(RangeYRadio->ItemCaption());
  StripChart1->YAxis()->SetMin(-v);
  StripChart1->YAxis()->SetMax(v);
}

void TForm1::UpdateRateSpinChange(QObject*) {
  // The spin holds 64 bits and no limit; the timer takes the low 32 bits as unsigned
  // milliseconds, so -10 is 4294967286 ms, not a stopped timer or a chart going backwards.
  Timer1->SetInterval(static_cast<uint32_t>(UpdateRateSpin->Value()));
  StripChart1->SetIncrement(Timer1->Interval() / 1000.0);  // seconds of X per point
}

void TForm1::SampleSpinChange(QObject*) {
  // The spin keeps its value within 1 … 10000, which an int holds.
  ErrorAverage->SetSize(static_cast<int>(SampleSpin->Value()));
}

void TForm1::ClearGraphBtnClick(QObject*) {
  StripChart1->Reset();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PageControl1 && event->type() == QEvent::Resize)
    framework::RunGuarded([this] { PageControl1Resize(PageControl1); });
  if ((watched == PageControl1 || watched == ChartArea) && event->type() == QEvent::LayoutRequest)
    FitSplitter();
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::PageControl1Resize(QObject*) {
  // The resize comes back here once, at width 1, and ends.
  if (PageControl1->width() < 1) PageControl1->resize(1, PageControl1->height());
}

// --- Statistics -------------------------------------------------------------------------------

void TForm1::ClearStatistics() {
  ErrorStore->Clear();
  Statistics.Clear();
  SampleLog.Clear();
  Fit.Clear();
}

void TForm1::AcceptError(double error) {
  components::TJournalSample sample;
  sample.Error = error;
  sample.PreciseError = error;
  sample.LocalTime = framework::Now();
  sample.FitTime = QDateTime::currentMSecsSinceEpoch() / 1e3;
  AcceptSample(sample);
}

void TForm1::AcceptSample(const components::TJournalSample& sample) {
  ErrorStore->Add(sample.Error);
  // The run takes the error from the end of ErrorStore, where it has just been added. A count
  // is never negative, so it converts to a size as it is.
  Statistics.Accept(std::span<const double>(ErrorStore->Data(), std::size_t(ErrorStore->Count())),
                    sample.LocalTime);
  Fit.Add(sample.FitTime, sample.PreciseError);
  if (!sample.Host.empty())
    SampleLog.Add({sample.UtcMilliseconds, sample.Host, sample.Error, sample.RoundTripDelay});
  UpdateStatistics();
}

void TForm1::UpdateStatistics() {
  // Everything shown comes from the run's one summary, taken at one reading of the clock.
  const components::TErrorSummary summary = Statistics.Summary(framework::Now());
  TimeSpanDis->SetText(framework::FormatTimeOfDay(summary.Span));
  TotalDriftDis->SetText(FormatFixed(summary.Drift.Total, 3));
  DriftPerDayDis->SetText(FormatFixed(summary.Drift.PerDay, 3));
  CountDis->SetText(QString::number(summary.Count));
  MeanDis->SetText(FormatFixed(summary.Mean, 3));
  MinDis->SetText(FormatFixed(summary.Min, 3));
  MaxDis->SetText(FormatFixed(summary.Max, 3));
  // The fit: a rate from two errors on, its interval from three.
  const components::TFittedDrift fitted = Fit.Result();
  const QString perDay = fitted.HasRate ? FormatFixed(fitted.PerDay, 3) : QString();
  FittedDriftDis->SetText(
      fitted.HasInterval ? perDay + " \u00B1 " + FormatFixed(fitted.HalfWidth, 3) : perDay);
  FittedPpmDis->SetText(fitted.HasRate ? FormatFixed(fitted.Ppm, 3) : QString());
  ResidualSDDis->SetText(fitted.HasInterval ? FormatFixed(fitted.ResidualStdDev, 6) : QString());
  UpdateFitNote();
}

void TForm1::UpdateFitNote() {
  // A correction smaller than the fit's uncertainty cannot be told from no correction at all.
  const components::TFittedDrift fitted = Fit.Result();
  const double correction = ChangePerDaySpin->Value();  // seconds per day
  QString note;
  if (fitted.HasInterval && correction != 0 && fitted.HalfWidth > std::fabs(correction))
    note = QString(
               "The fitted drift is known only to \u00B1%1 s/day, more than this "
               "correction of %2 s/day.")
               .arg(FormatFixed(fitted.HalfWidth, 3), FormatFixed(std::fabs(correction), 1));
  FitNoteDis->setText(note);
  FitNoteDis->setVisible(!note.isEmpty());  // no empty gap under the spin
}

void TForm1::ShowJournalMessage(const std::string& message) {
  const QString text = QString::fromStdString(message);
  StatusDis->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  StatusDis->setText(text);
  StatusDis->setToolTip(text);
}

void TForm1::ResumeLastRun1Click(QObject*) {
  // The run replaces what the window shows, from its first sample on; its samples go on into
  // the same run.
  std::size_t count = 0;
  // The chart keeps only the points its X range holds: the newest ones are plotted after the
  // run is read, the older ones would scroll out at once. With the labels counted from the
  // window's start (FixedScale) the chart looks as if every point had been added.
  const bool average = AverageChk->isChecked();
  const double step = StripChart1->Increment();  // seconds of X per point
  const double span = std::fabs(StripChart1->XAxis()->Max() - StripChart1->XAxis()->Min());
  const std::size_t visible =
      step > 0 && span / step < 1e7 ? std::size_t(span / step) + 2 : std::size_t(1e7);
  std::deque<double> newest;  // the values to plot, oldest first
  const auto take = [&](const components::TJournalSample& sample) {
    if (count++ == 0) {
      ClearStatistics();
      StripChart1->Reset();
    }
    ErrorAverage->Add(sample.Error);
    newest.push_back(average ? ErrorAverage->Average() : sample.Error);
    if (newest.size() > visible) newest.pop_front();
    ErrorStore->Add(sample.Error);
    Statistics.Accept(std::span<const double>(ErrorStore->Data(), std::size_t(ErrorStore->Count())),
                      sample.LocalTime);
    Fit.Add(sample.FitTime, sample.PreciseError);
    SampleLog.Add({sample.UtcMilliseconds, sample.Host, sample.Error, sample.RoundTripDelay});
  };
  const QString statusBefore = StatusDis->text();
  const std::optional<std::int64_t> run =
      Journal->ReadLastRun(take, [this](std::size_t most) { SampleLog.Reserve(most); });
  // A journal that could not be read (or was set aside) has said so itself.
  const bool journalSpoke = StatusDis->text() != statusBefore;
  for (const double value : newest)
    StripChart1->AddValue(average ? 1 : 0, average ? kTraceBlue : kTraceRed, value);
  if (count > 0) UpdateStatistics();
  if (!run) {
    if (!journalSpoke)
      ShowJournalMessage("The journal \"" + Journal->Path() + "\" holds no run to resume.");
    return;
  }
  Journal->ContinueRun(*run);
  ShowJournalMessage("Resumed a run of " + std::to_string(count) + " samples from the journal.");
}

void TForm1::ClearStatsBtnClick(QObject*) {
  ClearStatistics();
  Journal->NewRun();
}

void TForm1::CalculateStatsBtnClick(QObject*) {
  STDDis->SetText(FormatFixed(components::ArrayStdDev(*ErrorStore), 3));
}

// --- Menu -------------------------------------------------------------------------------------

void TForm1::Exit1Click(QObject*) {
  close();
}

void TForm1::Contents1Click(QObject*) {
  framework::ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0);
}

void TForm1::EditHosts1Click(QObject*) {
  if (HostEditDlg) HostEditDlg->EditHosts(*HostCombo);
}

void TForm1::SaveSettings1Click(QObject*) {
  SaveHosts(*HostCombo);
}

// Writes the samples as CSV into a new file beside the chosen one, which then replaces it in
// one step: a failed write leaves the old file as it was. The write is flushed and checked
// before the commit: a buffered write that fails only at the commit's own flush (a full disk,
// a file size limit) would otherwise still replace the old file with a cut-off one.
void TForm1::SaveSamplesAs1Click(QObject*) {
  const std::optional<QString> path =
      framework::SaveFileName("Save Samples As", "CSV files (*.csv);;All files (*)", "samples.csv");
  if (!path) return;
  const std::string csv = components::SampleLogCsv(SampleLog);
  QSaveFile file(*path);
  const bool saved =
      file.open(QIODevice::WriteOnly) &&
      file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
      file.flush() && file.commit();
  if (!saved) {
    const QString reason = file.errorString();
    file.cancelWriting();
    throw framework::Exception(
        QString("The samples could not be saved to \"%1\": %2").arg(*path, reason).toStdString());
  }
}

void TForm1::ConfigureAutoCalibrate1Click(QObject*) {
  if (AutoCalibrateDlg) AutoCalibrateDlg->ShowAutoCalibrate();
}

// --- Calibration ------------------------------------------------------------------------------

void TForm1::ReadTimeAdjustment() {
  uint32_t adjustment = 0, increment = 0;
  int32_t disabled = 0;
  if (!platform::GetSystemTimeAdjustment(&adjustment, &increment, &disabled)) {
    CalibStatusDis->setText(framework::SysErrorMessage(platform::GetLastError()));
    return;
  }
  TimeAdjustment = adjustment;
  TimeIncrement = increment;
  TimeAdjustmentDisabled = disabled;
}

void TForm1::ShowTimeAdjustment() {
  // 100-ns units shown in microseconds.
  TimeIncDis->SetText(FormatFixed(TimeAdjustment / 10.0, 1) + " uSec");
  TimeIntervalDis->SetText(FormatFixed(TimeIncrement / 10.0, 1) + " uSec");
  AdjustmentOnOff->SetBoxOn(TimeAdjustmentDisabled == 0);
}

void TForm1::RefreshTimeAdjustment() {
  ReadTimeAdjustment();
  ShowTimeAdjustment();
  // Meant to notify: when the shown text changes, ChangePerDaySpinChange runs inside this write
  // and rewrites TimeAdjustment from the one-decimal text, so the pending adjustment is the one
  // the shown rate stands for.
  ChangePerDaySpin->SetValue(components::AdjustmentPerDay(TimeAdjustment, TimeIncrement),
                             components::TEmitPolicy::EmitIfChanged);
}

void TForm1::ChangePerDaySpinChange(QObject*) {
  TimeAdjustment = components::AdjustmentForPerDay(TimeIncrement, ChangePerDaySpin->Value());
  ShowTimeAdjustment();
  UpdateFitNote();
}

void TForm1::AdjustmentOnOffClick(QObject*) {
  TimeAdjustmentDisabled = AdjustmentOnOff->BoxOn() ? 0 : -1;
}

void TForm1::Button3Click(QObject*) {
  {
    const TTimePrivilege privilege([this](TPrivilegeRefusal refusal, uint32_t lastError) {
      ShowPrivilegeRefusal(refusal, lastError);
    });
    if (!privilege.Holds()) return;
    if (!platform::SetSystemTimeAdjustment(TimeAdjustment, TimeAdjustmentDisabled))
      CalibStatusDis->setText(framework::SysErrorMessage(platform::GetLastError()));
  }  // the right is given up here, before the system's adjustment is read back
  RefreshTimeAdjustment();
  RefreshTimeService();
}

void TForm1::ShowPrivilegeRefusal(TPrivilegeRefusal refusal, uint32_t lastError) {
  // A token that cannot be opened, or that is not changed for another reason, ends the action
  // without a word.
  if (refusal == TPrivilegeRefusal::NotLookedUp)
    CalibStatusDis->setText(framework::SysErrorMessage(lastError));
  else if (refusal == TPrivilegeRefusal::NotHeld)
    ShowNoTimeRight();
}

void TForm1::SetTimeBtnClick(QObject*) {
  // The host and port of the last "Get Time"; nothing else on the window changes. A valid reply
  // that did not set the clock was refused by the system.
  // Without the right to set it, the clock is set the desktop's way.
  if (!NTPClient->SetComputerTime() && NTPClient->Info.Valid &&
      LacksTimeRight(platform::GetLastError()))
    SetTimeThroughTimeService();
  RefreshTimeService();
}

void TForm1::SetTimeThroughTimeService() {
  // The window keeps running while polkit's prompt waits for the user; the button is not
  // taken again meanwhile.
  SetTimeBtn->setEnabled(false);
  const std::unique_ptr<QPushButton, void (*)(QPushButton*)> enableAgain(
      SetTimeBtn, [](QPushButton* button) { button->setEnabled(true); });
  platform::TimeServiceApi& service = platform::Current<platform::TimeServiceApi>();
  const int64_t correction = ClockCorrectionUsec(NTPClient->Info);
  platform::TimeServiceReply reply = service.SetTime(correction, true, true);
  QString turnedOff;
  if (reply.outcome == platform::TimeServiceOutcome::NtpOn) {
    ShowTimeServiceMessage(NtpOnRefusalText());
    if (!Confirm("Set Computer Time", TurnNtpOffQuestion())) return;
    const platform::TimeServiceReply off = service.SetNTP(false, true);
    if (off.outcome != platform::TimeServiceOutcome::Done) {
      ShowTimeServiceMessage(SetNtpReplyText(off, false));
      return;
    }
    // The same change: it is relative, so the time spent at the prompts does not stale it.
    reply = service.SetTime(correction, true, true);
    turnedOff =
        "Network time synchronisation is off (\"Options > Turn Network Time On\" turns "
        "it on again). ";
  }
  // Where no service can be asked, the user is told what the program itself would need.
  if (reply.outcome == platform::TimeServiceOutcome::NoBus ||
      reply.outcome == platform::TimeServiceOutcome::NoTimedated)
    ShowNoTimeRight();
  else
    ShowTimeServiceMessage(turnedOff + SetTimeReplyText(reply, correction));
}

void TForm1::NetworkTimeOn1Click(QObject*) {
  const platform::TimeServiceReply reply =
      platform::Current<platform::TimeServiceApi>().SetNTP(true, true);
  ShowTimeServiceMessage(SetNtpReplyText(reply, true));
  RefreshTimeService();
}

void TForm1::RefreshTimeService() {
  TimeServiceDis->setText(TimeServiceText(platform::Current<platform::TimeServiceApi>().Facts()));
}

void TForm1::ShowTimeServiceMessage(const QString& message) {
  CalibStatusDis->setText(message);
  CalibStatusDis->setCursorPosition(0);
  CalibStatusDis->setToolTip(message);
  StatusDis->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  StatusDis->setText(message);
  StatusDis->setToolTip(message);
}

void TForm1::ShowNoTimeRight() {
  const QString message = NoTimeRightMessage();
  CalibStatusDis->setText(message);
  CalibStatusDis->setCursorPosition(0);
  // Its beginning says what is wrong: where the bar is too short, the end is cut, not that.
  StatusDis->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  StatusDis->setText(message);
  StatusDis->setToolTip(message);
}

}  // namespace app
