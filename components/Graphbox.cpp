#include "components/Graphbox.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

#include "framework/DisplayFormats.h"

namespace components {

// --- label text --------------------------------------------------------------------------

QString FormatLabelValue(double value, int decimals) {
  // 18 significant digits: a value with more digits before the point cannot be shown in fixed
  // notation without inventing digits.
  if (std::isfinite(value) && std::fabs(value) >= 1e18) {
    QString text = QString::number(value, 'E', 17);
    text.replace(QRegularExpression("\\.?0+E"), "E");
    const QString separator = QLocale::system().decimalPoint();
    if (separator != ".") text.replace('.', separator);
    return text;
  }
  return framework::FormatFixed(value, decimals < 0 ? 0 : decimals);
}

// --- TAxisParams -------------------------------------------------------------------------

TAxisParams::TAxisParams(QObject* owner) : QObject(owner) {}

void TAxisParams::Changed() {
  if (OnChange) OnChange(this);
}

void TAxisParams::LogClamp() {
  // A logarithmic axis cannot reach 0 or below.
  if (log_) {
    if (max_ <= 0) max_ = 1.0;
    if (min_ <= 0) min_ = 1.0;
  }
}

void TAxisParams::SetExponentLabels(bool value) {
  if (value == exponentLabels_) return;
  exponentLabels_ = value;
  Changed();
}

void TAxisParams::SetLog(bool value) {
  if (value == log_) return;
  log_ = value;
  LogClamp();
  Changed();
}

void TAxisParams::SetMinorLabels(bool value) {
  if (value == minorLabels_) return;
  minorLabels_ = value;
  Changed();
}

void TAxisParams::SetMinorLines(bool value) {
  if (value == minorLines_) return;
  minorLines_ = value;
  Changed();
}

void TAxisParams::SetMin(double value) {
  if (value == min_) return;
  min_ = value;
  LogClamp();
  Changed();
}

void TAxisParams::SetMax(double value) {
  if (value == max_) return;
  max_ = value;
  LogClamp();
  Changed();
}

void TAxisParams::SetMultiplier(double value) {
  if (value == multiplier_) return;
  multiplier_ = value;
  Changed();
}

void TAxisParams::SetOffset(double value) {
  if (value == offset_) return;
  offset_ = value;
  Changed();
}

void TAxisParams::SetLines(int value) {
  if (value == lines_) return;
  lines_ = value;
  Changed();
}

void TAxisParams::SetShowLabels(bool value) {
  if (value == showLabels_) return;
  showLabels_ = value;
  Changed();
}

void TAxisParams::SetUnits(const QString& value) {
  if (value == units_) return;
  units_ = value;
  Changed();
}

void TAxisParams::SetLabelModulo(TModulo value) {
  // "every 0th label" has no meaning and would divide by zero when drawing.
  if (value < 1) value = 1;
  if (value == labelModulo_) return;
  labelModulo_ = value;
  Changed();
}

void TAxisParams::SetCycle(double value) {
  if (value == cycle_) return;
  cycle_ = value;
  Changed();
}

double TAxisParams::Transform(double value) const {
  const double t = (value + offset_) * multiplier_;
  if (cycle_ == 0) return t;
  // Fractional part with the sign of its argument, like a floating-point remainder.
  const double turns = t / cycle_;
  return cycle_ * (turns - std::trunc(turns));
}

// --- TGraphTitle -------------------------------------------------------------------------

TGraphTitle::TGraphTitle(QObject* owner) : QObject(owner) {}

void TGraphTitle::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphTitle::SetCaption(const QString& value) {
  if (value == caption_) return;
  caption_ = value;
  Changed();
}

void TGraphTitle::SetShowCaption(bool value) {
  if (value == showCaption_) return;
  showCaption_ = value;
  Changed();
}

void TGraphTitle::SetBoxed(bool value) {
  if (value == boxed_) return;
  boxed_ = value;
  Changed();
}

void TGraphTitle::SetPosition(TTitlePosition value) {
  if (value == position_) return;
  position_ = value;
  Changed();
}

}  // namespace components
