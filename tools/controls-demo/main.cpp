// Shows the input controls side by side: integer, real and hours spins, an aligned edit field
// and a free-standing arrow pair, each with a caption, and a line that reports their events.
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QWidget>

#include "components/Degspin.h"
#include "components/Onoffbox.h"
#include "components/Realspin.h"
#include "components/intspin.h"
#include "framework/SysUtils.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("Input controls");
  auto* grid = new QGridLayout(&window);

  auto* status = new QLabel("Ready", &window);
  auto report = [status](const QString& text) { status->setText(text); };

  auto* samples = new components::TIntegerSpin(&window);
  samples->SetUnitsString("Samples");
  samples->SetUseLimit(true);
  samples->SetMinValue(1);
  samples->SetMaxValue(10000);
  samples->SetValue(10);
  samples->setMinimumWidth(140);
  samples->OnChange = [=](QObject*) { report(QString("Samples: %1").arg(samples->Value())); };

  auto* perDay = new components::TRealSpin(&window);
  perDay->SetUnitsString("Sec");
  perDay->SetNumFormat(components::nfFixed);
  perDay->SetDigits(1);
  perDay->SetIncrement(0.1);
  perDay->SetValue(2.26);
  perDay->setMinimumWidth(140);
  perDay->OnChange = [=](QObject*) { report(QString("Per day: %1").arg(perDay->Value())); };

  auto* hours = new components::TDegreeSpin(&window);
  hours->SetUnitsString("Hours");
  hours->SetUseLimit(true);
  hours->SetMaxValue(24);
  hours->SetHours(1);
  hours->SetMinutes(30);
  hours->SetSeconds(15.5);
  hours->setFixedSize(216, 59);
  hours->OnLimit = [=](QObject*, bool upper) {
    report(upper ? "Hours: upper limit" : "Hours: lower limit");
  };

  auto* display = new components::TEditEx(&window);
  display->SetAlignment(framework::taRightJustify);
  display->SetReadOnly(true);
  display->SetText("0.0123 Sec");

  auto* arrows = new components::TUpDownButton(&window);
  arrows->SetTabStop(true);
  auto* arrowCount = new components::TEditEx(&window);
  arrowCount->SetAlignment(framework::taCenter);
  arrowCount->SetText("0");
  arrowCount->setFixedWidth(60);
  arrows->SetFocusControl(arrowCount);
  // The pair counts up to 5 and refuses more with an exception, to show that a failing handler,
  // a held arrow's repeated clicks included, ends in the standard error box.
  auto step = [=](int d) {
    const int next = arrowCount->Text().toInt() + d;
    if (next > 5) throw framework::Exception("The arrow pair counts up to 5 only");
    arrowCount->SetText(QString::number(next));
  };
  arrows->OnUpClick = [=](QObject*) { step(1); };
  arrows->OnDownClick = [=](QObject*) { step(-1); };
  auto* arrowRow = new QHBoxLayout;
  arrowRow->addWidget(arrowCount);
  arrowRow->addWidget(arrows);
  arrowRow->addStretch();

  int row = 0;
  auto add = [&](const QString& caption, QWidget* w, QLayout* l = nullptr) {
    grid->addWidget(new QLabel(caption, &window), row, 0);
    if (w) grid->addWidget(w, row, 1);
    if (l) grid->addLayout(l, row, 1);
    ++row;
  };
  add("Running average", samples);
  add("Adjustment per day", perDay);
  add("Poll interval", hours);
  add("Round trip delay", display);
  add("Arrow pair", nullptr, arrowRow);
  // A box the user toggles with a left click, as the calibration's "Adjustment Enabled".
  auto* enabled = new components::TOnOffBox(&window);
  enabled->setFixedSize(40, 24);
  auto* enabledRow = new QHBoxLayout;
  enabledRow->addWidget(enabled);
  enabledRow->addStretch();
  add("On/off box", nullptr, enabledRow);
  grid->addWidget(status, row, 0, 1, 2);

  window.show();
  return app.exec();
}
