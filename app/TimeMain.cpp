#include "app/TimeMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <span>

#include "app/HTAutoCalibrate.h"
#include "app/HTEditHosts.h"
#include "components/ChmHelper.h"
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
#include "platform/Security.h"
#include "platform/WinTime.h"

namespace app {

using framework::FormatFixed;

namespace {

constexpr int kTimerInterval = 300;  // ms between ticks at start
constexpr framework::TColor kTraceRed = 0x0000FF;
constexpr framework::TColor kTraceBlue = 0xFF0000;
const QColor kTeal(0, 128, 128);
const QColor kOlive(128, 128, 0);

struct XRange {
  const char* caption;
  double max;  // seconds of chart time
  int lines;
  double multiplier;
};
const XRange kXRanges[] = {
    {"1 min", 60, 4, 1},           {"3 min", 180, 12, 1},         {"5 min", 300, 10, 1},
    {"10 min", 600, 10, 1.0 / 60}, {"30 min", 1800, 6, 1.0 / 60}, {"1 hr", 3600, 6, 1.0 / 60},
    {"3 hrs", 10800, 6, 1.0 / 60},
};
const QStringList kYRanges = {"0.1", "0.25", "0.5", "1.0", "2.5", "5.0", "10.0"};

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

// A line edit keeps this many pixels each side of its text, and one more for the caret.
constexpr int kInnerMargin = 2;

// A display field that is never narrower than the widest of its sample texts, nor than the text
// it shows, so the window's layout never cuts what it displays.
class TFitDisplay : public components::TEditEx {
 public:
  explicit TFitDisplay(QWidget* parent) : components::TEditEx(parent) {
    QObject::connect(this, &QLineEdit::textChanged, this, [this] { updateGeometry(); });
  }
  void SetSamples(const QStringList& samples) {
    samples_ = samples;
    updateGeometry();
  }
  QSize minimumSizeHint() const override {
    const QSize base = components::TEditEx::minimumSizeHint();
    int widest = fontMetrics().horizontalAdvance(text());
    for (const QString& sample : samples_)
      widest = std::max(widest, fontMetrics().horizontalAdvance(sample));
    const QMargins textMargins = this->textMargins();
    const QSize inner(widest + 2 * kInnerMargin + 1 + textMargins.left() + textMargins.right(),
                      base.height());
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QSize outer = style()->sizeFromContents(QStyle::CT_LineEdit, &option, inner, this);
    return QSize(std::max(base.width(), outer.width()), base.height());
  }

 private:
  QStringList samples_;
};

// The host box's editor: typing (keys, input methods, pasting, dropping) may not make the text
// longer than kHostTypedLength characters, or than it already was; text the program sets is
// taken whole.
class THostLineEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    Limited([&] { QLineEdit::keyPressEvent(event); });
  }
  void inputMethodEvent(QInputMethodEvent* event) override {
    Limited([&] { QLineEdit::inputMethodEvent(event); });
  }
  void dropEvent(QDropEvent* event) override {
    Limited([&] { QLineEdit::dropEvent(event); });
  }
  void mouseReleaseEvent(QMouseEvent* event) override {  // the middle button pastes
    Limited([&] { QLineEdit::mouseReleaseEvent(event); });
  }
  void contextMenuEvent(QContextMenuEvent* event) override {  // "Paste" in the menu
    Limited([&] { QLineEdit::contextMenuEvent(event); });
  }

 private:
  template <class Edit>
  void Limited(Edit edit) {
    // Lengths as int, as the line edit's caret positions are: a host name is far shorter.
    const int before = static_cast<int>(text().size());
    edit();
    const QString typed = text();
    // An IPv6 address (it holds a ":") may be typed whole: up to 45 characters, in brackets 47.
    constexpr int kIPv6HostTypedLength = 47;
    const int limit =
        std::max(typed.contains(':') ? kIPv6HostTypedLength : kHostTypedLength, before);
    if (typed.size() <= limit) return;
    // What went over the limit is the end of what was just put in, right before the caret.
    const int excess = static_cast<int>(typed.size()) - limit;
    const int caret = std::max(cursorPosition(), excess);
    QString kept = typed;
    kept.remove(caret - excess, excess);
    setText(kept);
    setCursorPosition(caret - excess);
    emit textEdited(kept);
  }
};

// Texts a display shows often, from which its least width is taken: the 28th of every month,
// every hour at 58:58, the longest time of day, numbers in their fixed formats.
QStringList DateSamples() {
  QStringList texts;
  const QDate origin(1899, 12, 30);  // day 0 of a date-time
  for (int month = 1; month <= 12; ++month)
    texts << framework::FormatShortDate(origin.daysTo(QDate(2028, month, 28)));
  return texts;
}
QStringList TimeSamples() {
  QStringList texts;
  for (int hour = 0; hour < 24; ++hour)
    texts << framework::FormatLongTime(hour / 24.0 + (58 * 60 + 58) / 86400.0);
  return texts;
}
QStringList TimeOfDaySamples() {
  return {framework::FormatTimeOfDay(-(86338.888 / 86400))};  // -23:58:58 888
}
QStringList FixedSamples(std::initializer_list<double> values, int decimals) {
  QStringList texts;
  for (double value : values) texts << FormatFixed(value, decimals);
  return texts;
}

TFitDisplay* Display(QWidget* parent, bool large, const QStringList& samples = {}) {
  auto* display = new TFitDisplay(parent);
  display->SetSamples(samples);
  display->SetAlignment(framework::taRightJustify);
  display->SetReadOnly(true);
  display->setFocusPolicy(Qt::NoFocus);
  if (large) {
    QFont font = display->font();
    font.setBold(true);
    font.setPointSize(12);
    display->setFont(font);
  }
  return display;
}

// A caption above its display field.
QWidget* Captioned(QWidget* parent, const QString& caption, QWidget* field,
                   const QColor& text = QColor()) {
  auto* box = new QWidget(parent);
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(2, 0, 2, 0);
  column->setSpacing(1);
  auto* label = new QLabel(caption, box);
  if (text.isValid()) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, text);
    label->setPalette(palette);
  }
  column->addWidget(label);
  column->addWidget(field);
  field->setParent(box);
  return box;
}

const QString kInternetTitle = " Internet Time";
const QString kComputerTitle = "Computer Time";

// One of the two time strips: a coloured band with its bold title at the left; the displays go
// into `row`.
struct TStrip {
  QWidget* strip;
  QHBoxLayout* row;
};
TStrip Strip(QWidget* parent, const QColor& colour, const QString& title) {
  auto* strip = new QWidget(parent);
  strip->setAutoFillBackground(true);
  QPalette palette = strip->palette();
  palette.setColor(QPalette::Window, colour);
  strip->setPalette(palette);
  strip->setFixedHeight(52);
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(4, 2, 4, 2);
  auto* label = new QLabel(title, strip);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  QPalette white = label->palette();
  white.setColor(QPalette::WindowText, Qt::white);
  label->setPalette(white);
  // Both titles take the longer one's width and a character's room each side, so that the
  // displays of the two strips stand in the same columns.
  const QFontMetrics metrics(bold);
  label->setMinimumWidth(std::max(metrics.horizontalAdvance(kInternetTitle),
                                  metrics.horizontalAdvance(kComputerTitle)) +
                         2 * metrics.averageCharWidth());
  row->addWidget(label);
  return {strip, row};
}

// An on/off box as wide as its longer caption with a character's room each side, bevel
// included, and `height` high.
void FitOnOffBox(components::TOnOffBox* box, int height) {
  const QFontMetrics metrics(box->font());
  const int caption = std::max(metrics.horizontalAdvance(box->OnString()),
                               metrics.horizontalAdvance(box->OffString()));
  constexpr int kBevel = 1;  // the box's lowered bevel, pixels each side
  box->setFixedSize(caption + 2 * (metrics.averageCharWidth() + kBevel), height);
}

// The width a spin needs to show `sample` whole beside its units panel and arrows, which its
// text margins keep the text clear of.
int SpinWidthFor(const components::TCustomSpin* spin, const QString& sample) {
  const QMargins margins = spin->textMargins();
  const int text = spin->fontMetrics().horizontalAdvance(sample) + 2 * kInnerMargin + 1 +
                   margins.left() + margins.right();
  QStyleOptionFrame option;
  option.initFrom(spin);
  option.lineWidth = spin->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, spin);
  return spin->style()
      ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(text, spin->height()), spin)
      .width();
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

double AdjustmentPerDay(uint32_t adjustment, uint32_t increment) {
  if (increment == 0) return 0.0;  // nothing read yet: no rate to speak of
  // In extended precision, rounded to a double once at the end: the subtraction cancels the
  // ratio's leading digits, and the wider type keeps more of the rest.
  const long double ratio = static_cast<long double>(adjustment) / increment;
  return static_cast<double>((ratio - 1) * 86400);
}

uint32_t AdjustmentForPerDay(uint32_t increment, double perDay) {
  const double value = std::rint((perDay / 86400 + 1) * increment);  // ties to even
  // Keep the conversion defined for any entry; the kernel refuses what it cannot take. Through
  // a signed 64-bit whole number, whose low 32 bits are the result, so a negative entry wraps
  // as an unsigned word does instead of being undefined.
  const double limited = std::isfinite(value) ? std::clamp(value, -9.2e18, 9.2e18) : 0.0;
  return static_cast<uint32_t>(static_cast<int64_t>(limited));
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("Tempomere");
  resize(704, 554);
  QFont small = font();
  small.setPointSize(8);
  setFont(small);

  Timer1 = new framework::TTimer(this);
  SetTimerInterval(kTimerInterval);
  NTPClient = framework::OwnedBy(this, new ntp::TNTPClient());
  NTPClient->SetPort(123);
  NTPClient->SetReceiveTimeout(500);
  CHMHelper1 = new components::TCHMHelper(this);

  BuildMenu();
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(BuildToolBar());
  column->addWidget(BuildInternetStrip());
  column->addWidget(BuildComputerStrip());

  Splitter1 = new QSplitter(Qt::Horizontal, central);
  Splitter1->setHandleWidth(8);
  PageControl1 = new QTabWidget(Splitter1);
  PageControl1->addTab(BuildSettingsTab(), "Settings");
  PageControl1->addTab(BuildStatisticsTab(), "Statistics");
  PageControl1->addTab(BuildCalibrationTab(), "Calibration");
  // The splitter may be dragged until the page control is 1 pixel wide; resizing the window
  // never squeezes it below what its tabs and captions need (FitSplitter).
  PageControl1->setMinimumWidth(1);
  PageControl1->installEventFilter(this);  // PageControl1Resize, FitSplitter
  // Three tabs side by side in the page control's 225 pixels.
  PageControl1->setStyleSheet("QTabBar::tab { padding: 3px 6px; }");
  PageControl1->setUsesScrollButtons(false);
  PageControl1->tabBar()->setElideMode(Qt::ElideNone);
  Splitter1->addWidget(PageControl1);
  ChartArea = BuildChartArea();
  Splitter1->addWidget(ChartArea);
  Splitter1->setCollapsible(0, false);
  Splitter1->setCollapsible(1, false);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  FitSplitter();
  const int pageWidth = std::max(kPageControlWidth, PageWidthNeeded());
  Splitter1->setSizes({pageWidth, 704 - pageWidth - 8});
  column->addWidget(Splitter1, 1);
  column->addWidget(BuildStatusBar());
  setCentralWidget(central);

  Timer1->OnTimer = [this](QObject* sender) {
    framework::RunGuarded([&] {
      if (!TickEndsInterval()) return;
      Timer1Timer(sender);
    });
  };

  FormCreate(this);

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

TForm1::~TForm1() = default;  // FormDestroy: the stores go with their owners; nothing is saved

TForm1::TState TForm1::State() const {
  return {*ErrorStore,    *ErrorAverage, TimeAdjustment, TimeAdjustmentDisabled,
          timerInterval_, SampleLog};
}

void TForm1::BuildMenu() {
  QMenu* file = menuBar()->addMenu("&File");
  SaveSamplesAs1 = file->addAction("Save &Samples As...");
  On(SaveSamplesAs1, &QAction::triggered, this, [this] { SaveSamplesAs1Click(SaveSamplesAs1); });
  Exit1 = file->addAction("&Exit");
  QMenu* options = menuBar()->addMenu("&Options");
  ConfigureAutoCalibrate1 = options->addAction("Configure &Auto Calibrate...");
  EditHosts1 = options->addAction("Edit &Hosts...");
  SaveSettings1 = options->addAction("&Save Settings");
  QMenu* help = menuBar()->addMenu("Help");
  Contents1 = help->addAction("Contents");

  On(Exit1, &QAction::triggered, this, [this] { Exit1Click(Exit1); });
  On(ConfigureAutoCalibrate1, &QAction::triggered, this,
     [this] { ConfigureAutoCalibrate1Click(ConfigureAutoCalibrate1); });
  On(EditHosts1, &QAction::triggered, this, [this] { EditHosts1Click(EditHosts1); });
  On(SaveSettings1, &QAction::triggered, this, [this] { SaveSettings1Click(SaveSettings1); });
  On(Contents1, &QAction::triggered, this, [this] { Contents1Click(Contents1); });
}

QWidget* TForm1::BuildToolBar() {
  auto* bar = new QWidget(this);
  bar->setFixedHeight(37);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(4, 2, 4, 2);
  AutoUpdateBtn = new QToolButton(bar);
  AutoUpdateBtn->setText("Auto Update");
  AutoUpdateBtn->setCheckable(true);  // stays down until the next click
  AutoUpdateBtn->setToolButtonStyle(Qt::ToolButtonTextOnly);
  // Kept with the button but never shown: tool tips are off in the tool bar.
  AutoUpdateBtn->setProperty(kHintProperty, "Enable Auto Load");
  Button1 = new QPushButton("Get Time", bar);
  SetTimeBtn = new QPushButton("Set Computer Time", bar);
  auto* note = new QLabel(
      "You may need to  run in Administrator Mode to set the time on some computers.", bar);
  note->setWordWrap(true);
  ToolBarNote = note;
  row->addWidget(AutoUpdateBtn);
  row->addWidget(Button1);
  row->addWidget(SetTimeBtn);
  row->addWidget(note, 1);
  // The note never takes more lines than the bar has room for: the narrowest width at which it
  // still fits is its least width.
  const int room = bar->height() - row->contentsMargins().top() - row->contentsMargins().bottom();
  int narrow = 1, wide = note->fontMetrics().horizontalAdvance(note->text()) + 8;
  while (narrow < wide) {
    const int middle = (narrow + wide) / 2;
    if (note->heightForWidth(middle) <= room)
      wide = middle;
    else
      narrow = middle + 1;
  }
  note->setMinimumWidth(wide);

  On(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
  On(SetTimeBtn, &QPushButton::clicked, this, [this] { SetTimeBtnClick(SetTimeBtn); });
  return bar;
}

QWidget* TForm1::BuildInternetStrip() {
  const auto [strip, row] = Strip(this, kTeal, kInternetTitle);
  LocalDateDis = Display(strip, true, DateSamples());
  LocalTimeDis = Display(strip, true, TimeSamples());
  UTCTimeDis = Display(strip, true, TimeOfDaySamples());
  UpdateDis = Display(strip, true, TimeOfDaySamples());
  ValidOnOff = new components::TOnOffBox(strip);
  ValidOnOff->SetOnString("Yes");
  ValidOnOff->SetOffString("No");
  ValidOnOff->SetOnColor(0x00FF00);
  ValidOnOff->SetUserChangeable(false);                     // a display: only a reply changes it
  FitOnOffBox(ValidOnOff, UpdateDis->sizeHint().height());  // as high as the displays beside it
  row->addWidget(Captioned(strip, "Date - Local Zone:", LocalDateDis, Qt::white), 3);
  row->addWidget(Captioned(strip, "Time - Local Zone: ", LocalTimeDis, Qt::white), 3);
  row->addWidget(Captioned(strip, "UTC Time : ", UTCTimeDis, Qt::white), 3);
  row->addWidget(Captioned(strip, "Time Since Update", UpdateDis, Qt::white), 3);
  row->addWidget(Captioned(strip, "Valid:", ValidOnOff, Qt::white), 0);
  return strip;
}

QWidget* TForm1::BuildComputerStrip() {
  const auto [strip, row] = Strip(this, kOlive, kComputerTitle);
  CompDateDis = Display(strip, true, DateSamples());
  CompTimeDis = Display(strip, true, TimeSamples());
  CompUTCDis = Display(strip, true, TimeOfDaySamples());
  ErrorDis = Display(strip, true, FixedSamples({-888.88888}, 5));
  row->addWidget(Captioned(strip, "Computer Date : ", CompDateDis, Qt::white), 3);
  row->addWidget(Captioned(strip, "Computer Time : ", CompTimeDis, Qt::white), 3);
  row->addWidget(Captioned(strip, "Computer UTC Time : ", CompUTCDis, Qt::white), 3);
  row->addWidget(Captioned(strip, "Computer Error:", ErrorDis, Qt::white), 3);
  // Room where the strip above has its "Valid:" column, so the displays stand in its columns.
  row->addSpacing(ValidOnOff->parentWidget()->sizeHint().width());
  return strip;
}

QWidget* TForm1::BuildSettingsTab() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(4, 4, 4, 4);

  auto* settings = new QGroupBox("Settings", page);
  auto* grid = new QGridLayout(settings);
  HostCombo = new QComboBox(settings);
  HostCombo->setLineEdit(new THostLineEdit(HostCombo));
  HostCombo->setInsertPolicy(QComboBox::NoInsert);  // a typed host is used, not listed
  // Kept with the box but never shown: tool tips are off on this tab.
  HostCombo->setProperty(kHintProperty, "Server to use with the \"Get Time\" button");
  // The open list is as wide as its longest host, however narrow the box.
  HostCombo->view()->setTextElideMode(Qt::ElideNone);
  const auto fitList = [this] { FitHostList(); };
  QAbstractItemModel* hostModel = HostCombo->model();
  connect(hostModel, &QAbstractItemModel::rowsInserted, this, fitList);
  connect(hostModel, &QAbstractItemModel::rowsRemoved, this, fitList);
  connect(hostModel, &QAbstractItemModel::dataChanged, this, fitList);
  connect(hostModel, &QAbstractItemModel::modelReset, this, fitList);
  PortEdit = new QLineEdit("123", settings);
  UpdateRateSpin = new components::TIntegerSpin(settings);
  {
    // Settings and start value are not a user's change: the window starts the timer at this
    // interval itself.
    const components::TEmitGuard quiet(*UpdateRateSpin, components::TEmitPolicy::NeverEmit);
    UpdateRateSpin->SetUnitsString("MS");
    UpdateRateSpin->SetMinValue(10);
    UpdateRateSpin->SetMaxValue(10000);
    UpdateRateSpin->SetUseLimit(false);
    UpdateRateSpin->SetIncrement(10);
    UpdateRateSpin->SetValue(kTimerInterval);
  }
  grid->addWidget(new QLabel("Host: ", settings), 0, 0);
  grid->addWidget(HostCombo, 0, 1);
  grid->addWidget(new QLabel("Port: ", settings), 1, 0);
  grid->addWidget(PortEdit, 1, 1);
  grid->addWidget(new QLabel("Auto Interval", settings), 2, 0);
  grid->addWidget(UpdateRateSpin, 2, 1);
  column->addWidget(settings);

  auto* parameters = new QGroupBox("Parameters", page);
  auto* cells = new QGridLayout(parameters);
  cells->setVerticalSpacing(2);
  const QStringList seconds = FixedSamples({8.88888}, 5);
  const struct {
    const char* caption;
    components::TEditEx** field;
    QStringList samples;
  } fields[] = {
      {"Round Trip Delay", &TripDelayDis, seconds},
      {"Version", &VersionDis, {"8"}},
      {"Leap Indicator", &LeapDis, {"8"}},
      {"Stratum", &StratumDis, {"888"}},
      {"Mode", &ModeDis, {"8"}},
      {"Precision", &PrecisionDis, {framework::FormatExponent(-8.8888e-8)}},
      {"Poll Interval", &PollDis, FixedSamples({1024}, 5)},
      {"Root Dispersion", &DisperseDis, seconds},
      {"Root Delay", &RootDelayDis, seconds},
      {"Reference ID", &ReferenceDis, {"888.888.888.888"}},
  };
  int i = 0;
  for (const auto& [caption, field, samples] : fields) {
    *field = Display(parameters, false, samples);
    cells->addWidget(Captioned(parameters, caption, *field), i / 2, i % 2);
    ++i;
  }
  column->addWidget(parameters);
  column->addStretch(1);

  UpdateRateSpin->OnChange = Guarded([this](QObject* sender) { UpdateRateSpinChange(sender); });
  return page;
}

QWidget* TForm1::BuildStatisticsTab() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(4, 4, 4, 4);
  auto* group = new QGroupBox("Statistics", page);
  auto* grid = new QGridLayout(group);
  ClearStatsBtn = new QPushButton("Clear", group);
  grid->addWidget(ClearStatsBtn, 0, 0, 1, 2);
  const QStringList errors = FixedSamples({-888.888}, 3);
  const struct {
    const char* caption;
    components::TEditEx** field;
    QStringList samples;
  } fields[] = {
      {"Count", &CountDis, {"88888"}},
      {"Time Span", &TimeSpanDis, TimeOfDaySamples()},
      {"Total Drift", &TotalDriftDis, errors},
      {"Drift Per Day", &DriftPerDayDis, errors},
      {"Min", &MinDis, errors},
      {"Max", &MaxDis, errors},
      {"Mean", &MeanDis, errors},
  };
  int row = 1;
  for (const auto& [caption, field, samples] : fields) {
    *field = Display(group, false, samples);
    grid->addWidget(new QLabel(caption, group), row, 0);
    grid->addWidget(*field, row, 1);
    ++row;
  }
  CalculateStatsBtn = new QPushButton("Calculate ->", group);
  STDDis = Display(group, false, errors);
  grid->addWidget(CalculateStatsBtn, row, 0);
  grid->addWidget(Captioned(group, "STD", STDDis), row, 1);
  column->addWidget(group);
  column->addStretch(1);

  On(ClearStatsBtn, &QPushButton::clicked, this, [this] { ClearStatsBtnClick(ClearStatsBtn); });
  On(CalculateStatsBtn, &QPushButton::clicked, this,
     [this] { CalculateStatsBtnClick(CalculateStatsBtn); });
  return page;
}

QWidget* TForm1::BuildCalibrationTab() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(4, 4, 4, 4);
  auto* group = new QGroupBox("Adjust Windows Clock", page);
  auto* grid = new QVBoxLayout(group);
  grid->setSpacing(3);

  const auto centred = [group] {
    components::TEditEx* display = Display(group, false, {FormatFixed(88888.8, 1) + " uSec"});
    display->SetAlignment(framework::taCenter);
    display->setStyleSheet("background: palette(button);");
    return display;
  };
  TimeIntervalDis = centred();
  TimeIncDis = centred();
  grid->addWidget(Captioned(group, "Interrupt Interval", TimeIntervalDis));
  grid->addWidget(Captioned(group, "Inc Per Interval", TimeIncDis));

  auto* enabled = new QFrame(group);
  enabled->setFrameShape(QFrame::Panel);
  enabled->setFrameShadow(QFrame::Raised);
  auto* enabledRow = new QHBoxLayout(enabled);
  enabledRow->setContentsMargins(6, 2, 2, 2);
  enabledRow->addWidget(new QLabel("Adjustment Enabled", enabled), 1);
  AdjustmentOnOff = new components::TOnOffBox(enabled);
  AdjustmentOnOff->SetOnString("On");
  AdjustmentOnOff->SetOffString("Off");
  AdjustmentOnOff->SetOnColor(0x00FF00);
  QFont arial("Arial");
  arial.setBold(true);
  AdjustmentOnOff->setFont(arial);
  // A line of its font, with the bevel and 2 pixels above and below.
  FitOnOffBox(AdjustmentOnOff, AdjustmentOnOff->fontMetrics().height() + 2 * (1 + 2));
  enabledRow->addWidget(AdjustmentOnOff);
  grid->addWidget(enabled);

  ChangePerDaySpin = new components::TRealSpin(group);
  {
    // Settings are not a user's change; the start-up sets the value (RefreshTimeAdjustment).
    const components::TEmitGuard quiet(*ChangePerDaySpin, components::TEmitPolicy::NeverEmit);
    ChangePerDaySpin->SetUnitsString("Sec");
    ChangePerDaySpin->SetIncrement(0.1);
    ChangePerDaySpin->SetDigits(1);
    ChangePerDaySpin->SetNumFormat(components::nfFixed);
    ChangePerDaySpin->SetUseLimit(false);
  }
  grid->addWidget(Captioned(group, "Adjustment Per Day", ChangePerDaySpin));
  Button3 = new QPushButton("Apply Adjustment", group);
  grid->addWidget(Button3);
  CalibStatusDis = new QLineEdit(group);
  CalibStatusDis->setReadOnly(true);
  grid->addWidget(Captioned(group, "Status", CalibStatusDis));
  column->addWidget(group);
  column->addStretch(1);

  ChangePerDaySpin->OnChange = Guarded([this](QObject* sender) { ChangePerDaySpinChange(sender); });
  AdjustmentOnOff->OnClick = [this](QObject* sender) {
    framework::RunGuarded([&] { AdjustmentOnOffClick(sender); });
  };
  On(Button3, &QPushButton::clicked, this, [this] { Button3Click(Button3); });
  return page;
}

QWidget* TForm1::BuildChartArea() {
  auto* area = new QWidget;
  auto* column = new QVBoxLayout(area);
  column->setContentsMargins(0, 2, 2, 2);
  auto* row = new QHBoxLayout;
  ClearGraphBtn = new QPushButton("Clear", area);
  AverageChk = new QCheckBox("Running Average", area);
  SampleSpin = new components::TIntegerSpin(area);
  {
    // Settings and start value are not a user's change: the start-up makes the running average
    // with this size itself.
    const components::TEmitGuard quiet(*SampleSpin, components::TEmitPolicy::NeverEmit);
    SampleSpin->SetUnitsString("Samples");
    SampleSpin->SetMinValue(1);
    SampleSpin->SetMaxValue(10000);
    SampleSpin->SetUseLimit(true);
    SampleSpin->SetIncrement(1);
    SampleSpin->SetValue(10);
  }
  SampleSpin->setFixedWidth(SpinWidthFor(SampleSpin, QString::number(SampleSpin->MaxValue())));
  row->addWidget(ClearGraphBtn);
  row->addWidget(AverageChk);
  row->addWidget(SampleSpin);
  row->addStretch(1);
  column->addLayout(row);

  StripChart1 = new components::TStripChart(area);
  StripChart1->SetColor(0xFFFFFF);
  StripChart1->SetGraphType(components::gtLine);
  StripChart1->SetFixedScale(true);
  StripChart1->SetDecimals1(2);
  StripChart1->YAxis()->SetLines(10);
  StripChart1->YAxis()->SetMin(-10);
  StripChart1->YAxis()->SetMax(10);
  column->addWidget(StripChart1, 1);

  RangeXRadio = new framework::TRadioGroup("Range-X", area);
  RangeXRadio->SetColumns(7);
  QStringList xItems;
  for (const XRange& range : kXRanges) xItems << range.caption;
  RangeXRadio->SetItems(xItems);
  RangeXRadio->SetItemIndex(0);
  RangeYRadio = new framework::TRadioGroup("Range-Y", area);
  RangeYRadio->SetColumns(7);
  RangeYRadio->SetItems(kYRanges);
  RangeYRadio->SetItemIndex(6);
  column->addWidget(RangeXRadio);
  column->addWidget(RangeYRadio);

  On(ClearGraphBtn, &QPushButton::clicked, this, [this] { ClearGraphBtnClick(ClearGraphBtn); });
  SampleSpin->OnChange = Guarded([this](QObject* sender) { SampleSpinChange(sender); });
  RangeXRadio->OnClick = [this](QObject* sender) { RangeXRadioClick(sender); };
  RangeYRadio->OnClick = [this](QObject* sender) { RangeYRadioClick(sender); };
  return area;
}

QWidget* TForm1::BuildStatusBar() {
  auto* bar = new QFrame(this);
  bar->setFrameShape(QFrame::Panel);
  bar->setFrameShadow(QFrame::Sunken);
  bar->setFixedHeight(21);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(2, 0, 4, 0);
  StatusLabel = new QLabel(" Status:", bar);
  QFont arial("Arial");
  arial.setBold(true);
  StatusLabel->setFont(arial);
  StatusLabel->setToolTip("Reset Scale, Zoom and Pans");
  StatusDis = new QLabel(" ", bar);
  StatusDis->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // A long message takes the room the bar has and never widens the window.
  StatusDis->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  row->addWidget(StatusLabel);
  row->addWidget(StatusDis, 1);
  return bar;
}

// --- Start-up ---------------------------------------------------------------------------------

void TForm1::FormCreate(QObject*) {
  ErrorStore = std::make_unique<components::THugeDouble>(5);
  ErrorAverage = std::make_unique<components::TRunningAverage>();
  ErrorAverage->SetSize(10);
  StripChart1->SetIncrement(timerInterval_ / 1000.0);  // seconds of X per point
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
      SampleLog.Add({QDateTime::currentMSecsSinceEpoch(), NTPClient->Host(), error,
                     info.RoundTripDelay * 24 * 3600});
      AcceptError(error);
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
  const XRange& range = kXRanges[index];
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
  SetTimerInterval(static_cast<uint32_t>(UpdateRateSpin->Value()));
  StripChart1->SetIncrement(timerInterval_ / 1000.0);  // seconds of X per point
}

namespace {
constexpr uint32_t kLongestTimerPart = std::numeric_limits<int>::max();  // ms
}

void TForm1::SetTimerInterval(uint32_t milliseconds) {
  timerInterval_ = milliseconds;
  timerPart_ = 0;
  Timer1->SetInterval(TimerPartLength(0));
}

int TForm1::TimerParts() const {
  // 1 to 3 parts: 2^32 - 1 ms is less than three of the longest.
  return static_cast<int>((uint64_t{timerInterval_} + kLongestTimerPart - 1) / kLongestTimerPart);
}

int TForm1::TimerPartLength(int part) const {
  const int parts = std::max(TimerParts(), 1);
  const uint32_t length = timerInterval_ / parts;
  // The last part makes up the remainder. No part is longer than kLongestTimerPart, so it fits
  // the window timer's int.
  return static_cast<int>(part == parts - 1 ? timerInterval_ - length * (parts - 1) : length);
}

bool TForm1::TickEndsInterval() {
  const int parts = TimerParts();
  if (parts <= 1) return true;
  timerPart_ = (timerPart_ + 1) % parts;
  Timer1->SetInterval(TimerPartLength(timerPart_));
  return timerPart_ == 0;
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

int TForm1::PageWidthNeeded() const {
  return std::max(PageControl1->minimumSizeHint().width(),
                  PageControl1->tabBar()->sizeHint().width() + 2);
}

void TForm1::FitSplitter() {
  // The window is never narrower than the page control's tabs and captions beside the chart
  // area's, so only a drag of the splitter can make the page control narrower. A new minimum
  // asks for a new layout, which comes back here once and finds the width already set.
  const int needed = std::max(kPageControlWidth, PageWidthNeeded()) + Splitter1->handleWidth() +
                     ChartArea->minimumSizeHint().width();
  if (Splitter1->minimumWidth() != needed) Splitter1->setMinimumWidth(needed);
}

void TForm1::FitHostList() {
  QAbstractItemView* list = HostCombo->view();
  const QFontMetrics metrics(list->font());
  int widest = 0;
  for (int i = 0; i < HostCombo->count(); ++i)
    widest = std::max(widest, metrics.horizontalAdvance(HostCombo->itemText(i)));
  int width = std::max(widest, list->sizeHintForColumn(0)) + 2 * list->frameWidth() + 8;
  if (HostCombo->count() > HostCombo->maxVisibleItems())
    width += list->verticalScrollBar()->sizeHint().width();
  list->setMinimumWidth(width);
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
}

void TForm1::AcceptError(double error) {
  ErrorStore->Add(error);
  // The run takes the error from the end of ErrorStore, where it has just been added. A count
  // is never negative, so it converts to a size as it is.
  Statistics.Accept(std::span<const double>(ErrorStore->Data(), std::size_t(ErrorStore->Count())),
                    framework::Now());
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
}

void TForm1::ClearStatsBtnClick(QObject*) {
  ClearStatistics();
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
  ChangePerDaySpin->SetValue(AdjustmentPerDay(TimeAdjustment, TimeIncrement),
                             components::TEmitPolicy::EmitIfChanged);
}

void TForm1::ChangePerDaySpinChange(QObject*) {
  TimeAdjustment = AdjustmentForPerDay(TimeIncrement, ChangePerDaySpin->Value());
  ShowTimeAdjustment();
}

void TForm1::AdjustmentOnOffClick(QObject*) {
  TimeAdjustmentDisabled = AdjustmentOnOff->BoxOn() ? 0 : -1;
}

void TForm1::Button3Click(QObject*) {
  if (!SetTimePrivilege(true)) return;
  if (!platform::SetSystemTimeAdjustment(TimeAdjustment, TimeAdjustmentDisabled))
    CalibStatusDis->setText(framework::SysErrorMessage(platform::GetLastError()));
  SetTimePrivilege(false);
  RefreshTimeAdjustment();
}

bool TForm1::SetTimePrivilege(bool enable) {
  platform::HANDLE token = nullptr;
  if (!platform::OpenProcessToken(platform::GetCurrentProcess(),
                                  platform::TOKEN_ADJUST_PRIVILEGES | platform::TOKEN_QUERY,
                                  &token))
    return false;
  platform::LUID luid;
  if (!platform::LookupPrivilegeValueA(nullptr, platform::SE_SYSTEMTIME_NAME, &luid)) {
    CalibStatusDis->setText(framework::SysErrorMessage(platform::GetLastError()));
    platform::CloseHandle(token);
    return false;
  }
  platform::TOKEN_PRIVILEGES privileges;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid = luid;
  privileges.Privileges[0].Attributes = enable ? platform::SE_PRIVILEGE_ENABLED : 0;
  platform::TOKEN_PRIVILEGES previous;
  uint32_t length = 0;
  platform::AdjustTokenPrivileges(token, false, &privileges, 16, &previous, &length);
  // Not holding the right shows only in the last error ("not all assigned").
  const uint32_t error = platform::GetLastError();
  if (enable && error == platform::ERROR_NOT_ALL_ASSIGNED) ShowNoTimeRight();
  platform::CloseHandle(token);
  return error == 0;
}

void TForm1::SetTimeBtnClick(QObject*) {
  // The host and port of the last "Get Time"; nothing else on the window changes. A valid reply
  // that did not set the clock was refused by the system.
  if (!NTPClient->SetComputerTime() && NTPClient->Info.Valid &&
      LacksTimeRight(platform::GetLastError()))
    ShowNoTimeRight();
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
