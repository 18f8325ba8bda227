#include "app/TimeMainLayout.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "components/ChmHelper.h"
#include "components/EditEx.h"
#include "components/Graphbox.h"
#include "components/Onoffbox.h"
#include "components/Realspin.h"
#include "components/SpinButtons.h"
#include "components/intspin.h"
#include "framework/DisplayFormats.h"
#include "framework/Forms.h"
#include "framework/RadioGroup.h"
#include "framework/Timers.h"
#include "ntp/NTPClient.h"

namespace app {

using framework::FormatFixed;

namespace {

const QColor kTeal(0, 128, 128);
const QColor kOlive(128, 128, 0);
const QStringList kYRanges = {"0.1", "0.25", "0.5", "1.0", "2.5", "5.0", "10.0"};

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

}  // namespace

void TForm1Controls::SetupControls(QMainWindow* form) {
  form->setWindowTitle("Tempomere");
  form->resize(704, 554);
  QFont small = form->font();
  small.setPointSize(8);
  form->setFont(small);

  Timer1 = new framework::TTimer(form);
  Timer1->SetInterval(kTimerInterval);
  NTPClient = framework::OwnedBy(form, new ntp::TNTPClient());
  NTPClient->SetPort(123);
  NTPClient->SetReceiveTimeout(500);
  CHMHelper1 = new components::TCHMHelper(form);

  BuildMenu(form);
  auto* central = new QWidget(form);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(BuildToolBar(form));
  column->addWidget(BuildInternetStrip(form));
  column->addWidget(BuildComputerStrip(form));

  Splitter1 = new QSplitter(Qt::Horizontal, central);
  Splitter1->setHandleWidth(8);
  PageControl1 = new QTabWidget(Splitter1);
  PageControl1->addTab(BuildSettingsTab(form), "Settings");
  PageControl1->addTab(BuildStatisticsTab(), "Statistics");
  PageControl1->addTab(BuildCalibrationTab(), "Calibration");
  // The splitter may be dragged until the page control is 1 pixel wide; resizing the window
  // never squeezes it below what its tabs and captions need (FitSplitter).
  PageControl1->setMinimumWidth(1);
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
  column->addWidget(BuildStatusBar(form));
  form->setCentralWidget(central);
}

void TForm1Controls::BuildMenu(QMainWindow* form) {
  QMenu* file = form->menuBar()->addMenu("&File");
  ResumeLastRun1 = file->addAction("&Resume Last Run");
  SaveSamplesAs1 = file->addAction("Save &Samples As...");
  Exit1 = file->addAction("&Exit");
  QMenu* options = form->menuBar()->addMenu("&Options");
  ConfigureAutoCalibrate1 = options->addAction("Configure &Auto Calibrate...");
  EditHosts1 = options->addAction("Edit &Hosts...");
  SaveSettings1 = options->addAction("&Save Settings");
  NetworkTimeOn1 = options->addAction("Turn &Network Time On");
  QMenu* help = form->menuBar()->addMenu("Help");
  Contents1 = help->addAction("Contents");
}

QWidget* TForm1Controls::BuildToolBar(QWidget* form) {
  auto* bar = new QWidget(form);
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
  return bar;
}

QWidget* TForm1Controls::BuildInternetStrip(QWidget* form) {
  const auto [strip, row] = Strip(form, kTeal, kInternetTitle);
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

QWidget* TForm1Controls::BuildComputerStrip(QWidget* form) {
  const auto [strip, row] = Strip(form, kOlive, kComputerTitle);
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

QWidget* TForm1Controls::BuildSettingsTab(QWidget* form) {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(4, 4, 4, 4);
  column->addWidget(BuildSettingsGroup(page, form));
  column->addWidget(BuildParametersGroup(page));
  column->addStretch(1);
  return page;
}

QWidget* TForm1Controls::BuildSettingsGroup(QWidget* page, QWidget* form) {
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
  QObject::connect(hostModel, &QAbstractItemModel::rowsInserted, form, fitList);
  QObject::connect(hostModel, &QAbstractItemModel::rowsRemoved, form, fitList);
  QObject::connect(hostModel, &QAbstractItemModel::dataChanged, form, fitList);
  QObject::connect(hostModel, &QAbstractItemModel::modelReset, form, fitList);
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
  return settings;
}

QWidget* TForm1Controls::BuildParametersGroup(QWidget* page) {
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
  return parameters;
}

QWidget* TForm1Controls::BuildStatisticsTab() {
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
  ++row;
  const struct {
    const char* caption;
    components::TEditEx** field;
    QStringList samples;
  } fitted[] = {
      {"Fitted Drift Per Day",
       &FittedDriftDis,
       {FormatFixed(-888.888, 3) + " \u00B1 " + FormatFixed(88.888, 3)}},
      {"Fitted Drift ppm", &FittedPpmDis, FixedSamples({-8888.888}, 3)},
      {"Residual SD", &ResidualSDDis, FixedSamples({88.888888}, 6)},
  };
  // The drift with its interval is wider than a row's field: it takes the whole row under its
  // caption; the two short figures sit in rows as the described ones do.
  for (const auto& [caption, field, samples] : fitted) {
    *field = Display(group, false, samples);
    if (field == &FittedDriftDis) {
      grid->addWidget(Captioned(group, caption, *field), row++, 0, 1, 2);
    } else {
      grid->addWidget(new QLabel(caption, group), row, 0);
      grid->addWidget(*field, row++, 1);
    }
  }
  column->addWidget(group);
  column->addStretch(1);
  return page;
}

QWidget* TForm1Controls::BuildCalibrationTab() {
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
  FitNoteDis = new QLabel(group);
  FitNoteDis->setWordWrap(true);
  grid->addWidget(FitNoteDis);
  Button3 = new QPushButton("Apply Adjustment", group);
  grid->addWidget(Button3);
  CalibStatusDis = new QLineEdit(group);
  CalibStatusDis->setReadOnly(true);
  grid->addWidget(Captioned(group, "Status", CalibStatusDis));
  column->addWidget(group);
  // Below the group: the time service is not part of adjusting the clock, but decides whether
  // an adjustment lasts.
  TimeServiceDis = new QLabel(page);
  TimeServiceDis->setWordWrap(true);
  TimeServiceDis->setTextInteractionFlags(Qt::TextSelectableByMouse);
  column->addWidget(Captioned(page, "Time Service:", TimeServiceDis));
  column->addStretch(1);
  return page;
}

QWidget* TForm1Controls::BuildChartArea() {
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
  for (const TXRange& range : kXRanges) xItems << range.caption;
  RangeXRadio->SetItems(xItems);
  RangeXRadio->SetItemIndex(0);
  RangeYRadio = new framework::TRadioGroup("Range-Y", area);
  RangeYRadio->SetColumns(7);
  RangeYRadio->SetItems(kYRanges);
  RangeYRadio->SetItemIndex(6);
  column->addWidget(RangeXRadio);
  column->addWidget(RangeYRadio);
  return area;
}

QWidget* TForm1Controls::BuildStatusBar(QWidget* form) {
  auto* bar = new QFrame(form);
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

int TForm1Controls::PageWidthNeeded() const {
  return std::max(PageControl1->minimumSizeHint().width(),
                  PageControl1->tabBar()->sizeHint().width() + 2);
}

void TForm1Controls::FitSplitter() {
  // The window is never narrower than the page control's tabs and captions beside the chart
  // area's, so only a drag of the splitter can make the page control narrower. A new minimum
  // asks for a new layout, which comes back here once and finds the width already set.
  const int needed = std::max(kPageControlWidth, PageWidthNeeded()) + Splitter1->handleWidth() +
                     ChartArea->minimumSizeHint().width();
  if (Splitter1->minimumWidth() != needed) Splitter1->setMinimumWidth(needed);
}

void TForm1Controls::FitHostList() {
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

}  // namespace app
