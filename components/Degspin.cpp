#include "components/Degspin.h"

#include <QApplication>
#include <QEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "framework/FormatSettings.h"
#include "framework/SysUtils.h"

namespace components {

namespace {

// The largest tick count kept: symmetric, so that its magnitude always exists (about 2.6e6
// years).
constexpr int64_t kMaxTicks = std::numeric_limits<int64_t>::max();

// Nearest whole number, halves to even (the default rounding mode), held within the tick range.
int64_t RoundTicks(double x) {
  const double r = std::nearbyint(x);
  if (std::isnan(r)) return 0;
  if (r >= 9.2e18) return kMaxTicks;
  if (r <= -9.2e18) return -kMaxTicks;
  return static_cast<int64_t>(r);
}

// a + b held within +-kMaxTicks; the overflow is seen before the sum is formed, as standard C++
// leaves a signed overflow undefined.
int64_t SaturatingAdd(int64_t a, int64_t b) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  if (b > 0 && a > kMax - b) return kMaxTicks;
  if (b < 0 && a < -kMax - b) return -kMaxTicks;
  const int64_t sum = a + b;  // within [-max, max]
  return std::clamp(sum, -kMaxTicks, kMaxTicks);
}

// Percent of the width for the units, minutes and seconds fields, by Digits.
constexpr int kShares[6][3] = {{36, 24, 24}, {32, 24, 28}, {30, 24, 30},
                               {28, 24, 32}, {26, 24, 34}, {24, 24, 36}};

// a * b / 100 rounded to nearest, halves to even, in whole numbers.
int PercentRounded(int a, int percent) {
  const int product = a * percent;
  int q = product / 100;
  const int rem = std::abs(product % 100);
  if (rem > 50 || (rem == 50 && q % 2 != 0)) q += product < 0 ? -1 : 1;
  return q;
}

constexpr int kArrowWidth = 15;  // px

}  // namespace

TDegreeSpin::TDegreeSpin(QWidget* owner) : framework::TPanel(owner) {
  spinFont_ = QApplication::font();
  labelFont_ = QFont("Arial");
  labelFont_.setPointSize(8);
  resize(width(), 50);

  auto makeField = [this] {
    auto* field = new TEditEx(this);
    // Opaque, so typing repaints the field alone and not the panel (whose repaint rewrites the
    // fields from the value).
    field->setAutoFillBackground(true);
    field->OnChange = [this](QObject*) { FieldsChanged(); };
    field->OnKeyPress = [](QObject*, QChar& key) {
      const char16_t c = key.unicode();
      const bool allowed = c == '+' || c == '-' || (c >= '0' && c <= '9') ||
                           key == framework::DecimalSeparator() || (c < 32 && c != 13);
      if (!allowed) key = QChar();  // dropped without a beep
    };
    return field;
  };
  unitsField_ = makeField();
  minutesField_ = makeField();
  secondsField_ = makeField();

  auto makeArrows = [this](std::function<int64_t()> step) {
    auto* arrows = new TUpDownButton(this);
    arrows->OnUpClick = [this, step](QObject*) { ArrowStep(step()); };
    arrows->OnDownClick = [this, step](QObject*) { ArrowStep(-step()); };
    return arrows;
  };
  unitsArrows_ = makeArrows([] { return TicksPerUnit; });
  minutesArrows_ = makeArrows([] { return TicksPerMinute; });
  secondsArrows_ = makeArrows([this] { return SecondsStep(); });

  unitsLabel_ = new QLabel("Deg", this);
  minutesLabel_ = new QLabel("Min", this);
  secondsLabel_ = new QLabel("Sec", this);

  ArrangeFields();
  ShowTicks(ticks_);
}

int64_t TDegreeSpin::SecondsStep() const {
  return RoundTicks(static_cast<double>(TicksPerSecond) * secInc_);
}

void TDegreeSpin::ArrowStep(int64_t delta) {
  const TLimitKind kind = SetTicksLimited(SaturatingAdd(ticks_, delta));
  ShowTicks(ticks_);
  NotifyChange(kind);
}

TDegreeSpin::TLimitKind TDegreeSpin::SetTicksLimited(int64_t n) {
  TLimitKind kind = lkNone;
  if (useLimit_) {
    // Bounded in units; a value within the limits keeps its exact tick count.
    const TBounded<double> bounded =
        BoundSpinValue(static_cast<double>(n) / TicksPerUnit, minValue_, maxValue_, wrap_);
    if (bounded.side != lsNone) {
      kind = bounded.side == lsUpper ? lkUpper : lkLower;
      if (bounded.wrapped)
        n = RoundTicks(bounded.value * TicksPerUnit);
      else if (kind == lkUpper)
        n = RoundTicks(std::trunc(TicksPerUnit * maxValue_));
      else
        n = RoundTicks(TicksPerUnit * minValue_);
      // A wrapped value just below the maximum may round up to it; the maximum never shows.
      if (bounded.wrapped && static_cast<double>(n) / TicksPerUnit >= maxValue_)
        n = RoundTicks(TicksPerUnit * minValue_);
    }
  }
  // Truncated toward zero to the resolution of Digits.
  int64_t resolution = 1;
  for (int i = digits_; i < 5; ++i) resolution *= 10;
  ticks_ = n / resolution * resolution;
  return kind;
}

void TDegreeSpin::NotifyChange(TLimitKind kind) {
  if (blockChangeEvent_) return;
  if (OnChange) OnChange(this);
  if (OnLimit && kind != lkNone) OnLimit(this, kind == lkUpper);
}

void TDegreeSpin::SplitTicks(int64_t t, QString& units, QString& minutes, QString& seconds) const {
  const int sign = t < 0 ? -1 : 1;
  int64_t a = t < 0 ? -t : t;
  const int64_t u = a / TicksPerUnit;
  a -= u * TicksPerUnit;
  const int64_t m = a / TicksPerMinute;
  a -= m * TicksPerMinute;
  const int64_t s = a / TicksPerSecond;
  const int64_t f = a % TicksPerSecond;
  // A negative value below one unit keeps its sign in the units field.
  units = u == 0 && sign < 0 ? QString("-0") : QString::number(u * sign);
  minutes = QString::number(m);
  seconds = QString::number(s);
  const QString fraction =
      QString::number(f).rightJustified(5, '0').leftJustified(20, '0').left(digits_);
  // No separator for a fraction that Digits shows no digit of.
  if (f != 0 && !fraction.isEmpty()) seconds += framework::DecimalSeparator() + fraction;
}

void TDegreeSpin::ShowTicks(int64_t t) {
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{updating_};
  updating_ = true;
  QString texts[3];
  SplitTicks(t, texts[0], texts[1], texts[2]);
  TEditEx* fields[3] = {unitsField_, minutesField_, secondsField_};
  for (int i = 0; i < 3; ++i) {
    if (fields[i]->Text() == texts[i]) continue;
    // Typing goes on where it was.
    const int caret = fields[i]->cursorPosition();
    fields[i]->SetText(texts[i]);
    fields[i]->setCursorPosition(caret);
  }
}

void TDegreeSpin::FieldsChanged() {
  if (updating_ || Loading()) return;
  int units = 0;
  int minutes = 0;
  double seconds = 0;
  try {
    units = framework::StrToInt(unitsField_->Text().toStdString());
    minutes = framework::StrToInt(minutesField_->Text().toStdString());
  } catch (const framework::EConvertError&) {
    return;
  }
  if (!framework::TryTextToFloat(secondsField_->Text(), seconds)) return;
  // Seconds beyond what the tick count holds do not convert either.
  const double secondTicks = std::nearbyint(TicksPerSecond * std::fabs(seconds));
  if (secondTicks > 8e18) return;

  const bool negative =
      unitsField_->Text().contains('-') || units < 0 || minutes < 0 || seconds < 0;
  const bool outOfRange = minutes < 0 || minutes > 59 || seconds < 0 || seconds >= 60;
  if (!autoCorrect_ && outOfRange) {
    NotifyChange(lkNone);
    return;
  }
  // At most 2^31 units and minutes: well inside 64 bits beside the seconds bound above.
  const int64_t magnitude = std::llabs(static_cast<int64_t>(units)) * TicksPerUnit +
                            std::llabs(static_cast<int64_t>(minutes)) * TicksPerMinute +
                            static_cast<int64_t>(secondTicks);
  const int64_t n = negative ? -magnitude : magnitude;
  if (n == ticks_) return;
  const TLimitKind kind = SetTicksLimited(n);
  ShowTicks(ticks_);
  NotifyChange(kind);
}

void TDegreeSpin::SetDegrees(double units) {
  const TLimitKind kind = SetTicksLimited(RoundTicks(TicksPerUnit * units));
  ShowTicks(ticks_);
  if (!Loading()) NotifyChange(kind);
}

void TDegreeSpin::SetDegrees(double units, TEmitPolicy policy) {
  const TEmitGuard<TDegreeSpin> guard(*this, policy);
  SetDegrees(units);
}

int TDegreeSpin::Hours() const {
  return framework::StrToIntDef(unitsField_->Text().toStdString(), 0);
}

void TDegreeSpin::SetHours(int units) {
  unitsField_->SetText(QString::number(units));
  FieldsChanged();
}

int TDegreeSpin::Minutes() const {
  return framework::StrToIntDef(minutesField_->Text().toStdString(), 0);
}

void TDegreeSpin::SetMinutes(int minutes) {
  minutesField_->SetText(QString::number(minutes));
  FieldsChanged();
}

double TDegreeSpin::Seconds() const {
  double seconds = 0;
  return framework::TryTextToFloat(secondsField_->Text(), seconds) ? seconds : 0.0;
}

void TDegreeSpin::SetSeconds(double seconds) {
  QString text = QString::number(seconds, 'f', digits_);
  if (framework::DecimalSeparator() != '.') text.replace('.', framework::DecimalSeparator());
  secondsField_->SetText(text);
  FieldsChanged();
}

void TDegreeSpin::SetMaxValue(double units) {
  if (units == maxValue_) return;
  maxValue_ = units;
  if (useLimit_ && Degrees() > units) SetDegrees(units);
}

void TDegreeSpin::SetMinValue(double units) {
  if (units == minValue_) return;
  minValue_ = units;
  if (useLimit_ && Degrees() < units) SetDegrees(units);
}

void TDegreeSpin::SetDigits(int digits) {
  if (digits == digits_ || digits < 0 || digits > 5) return;
  digits_ = digits;
  ArrangeFields();
  // Shown with the new decimals at once; the value itself is not re-rounded.
  ShowTicks(ticks_);
  update();
}

void TDegreeSpin::SetAlignment(framework::TAlignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  for (TEditEx* field : {unitsField_, minutesField_, secondsField_}) field->SetAlignment(alignment);
}

void TDegreeSpin::SetSpinFont(const QFont& font) {
  spinFont_ = font;
  ArrangeFields();
}

void TDegreeSpin::SetLabelFont(const QFont& font) {
  labelFont_ = font;
  ArrangeFields();
}

void TDegreeSpin::ArrangeFields() {
  SetCaption("");
  for (TEditEx* field : {unitsField_, minutesField_, secondsField_}) field->setFont(spinFont_);
  for (QLabel* label : {unitsLabel_, minutesLabel_, secondsLabel_}) {
    label->setFont(labelFont_);
    label->resize(label->sizeHint());
  }
  const int* share = kShares[digits_];
  const int w = width();
  const int h = height();
  const int wu = PercentRounded(w, share[0]);
  const int wm = PercentRounded(w, share[1]);
  const int ws = PercentRounded(w, share[2]);
  const int gap = (w - wu - wm - ws) / 4;
  const int lefts[3] = {gap + 1, wu + 2 * gap + 1, wu + wm + 3 * gap + 1};
  const int widths[3] = {wu - kArrowWidth, wm - kArrowWidth, ws - kArrowWidth};
  const int fieldHeight = unitsField_->height();
  const int top = PercentRounded(h - fieldHeight - unitsLabel_->height() - 2, 75);
  TEditEx* fields[3] = {unitsField_, minutesField_, secondsField_};
  TUpDownButton* arrows[3] = {unitsArrows_, minutesArrows_, secondsArrows_};
  QLabel* labels[3] = {unitsLabel_, minutesLabel_, secondsLabel_};
  for (int i = 0; i < 3; ++i) {
    fields[i]->setGeometry(lefts[i], top, widths[i], fields[i]->height());
    // The arrows overlap the field's right edge by one pixel.
    arrows[i]->SetBounds(lefts[i] + widths[i] - 1, top, kArrowWidth, fields[i]->height());
    labels[i]->move(lefts[i], top + fields[i]->height());
  }
}

void TDegreeSpin::Paint(QPainter& painter) {
  framework::TPanel::Paint(painter);
  // Every repaint shows the value again, so an entry that was not taken goes away.
  ShowTicks(ticks_);
}

void TDegreeSpin::resizeEvent(QResizeEvent* event) {
  framework::TPanel::resizeEvent(event);
  ArrangeFields();
}

void TDegreeSpin::changeEvent(QEvent* event) {
  framework::TPanel::changeEvent(event);
  if (event->type() != QEvent::EnabledChange) return;
  const bool enabled = isEnabled();
  for (QWidget* child : std::initializer_list<QWidget*>{
           unitsField_, minutesField_, secondsField_, unitsArrows_, minutesArrows_, secondsArrows_,
           unitsLabel_, minutesLabel_, secondsLabel_})
    child->setEnabled(enabled);
}

}  // namespace components
