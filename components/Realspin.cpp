#include "components/Realspin.h"

#include <QEvent>
#include <QLocale>
#include <algorithm>
#include <cmath>

#include "framework/FormatSettings.h"
#include "framework/KeyboardState.h"
#include "framework/Sound.h"

namespace components {

namespace {

// Significant digits of the general format.
constexpr int kGeneralPrecision = 15;
// The most digits any format writes: what an 18-digit decimal conversion holds.
constexpr int kMaxDigits = 18;

// The decimal digits of |x| rounded to `precision` significant digits, and the power of ten of
// the first: 1234.5 with 5 gives "12345" and 3.
void SignificantDigits(double x, int precision, QString& digits, int& exponent) {
  // Qt's conversion, unlike the C library's, does not follow the process locale: the digits
  // are split at "." whatever decimal comma the user's C locale has.
  const QString text = QString::number(std::fabs(x), 'e', precision - 1);
  const qsizetype e = text.indexOf('e');
  digits = text.left(e).remove('.');
  exponent = text.mid(e + 1).toInt();
}

QString General(double x, QChar decimal) {
  if (x == 0) return "0";
  QString digits;
  int exponent = 0;
  SignificantDigits(x, kGeneralPrecision, digits, exponent);
  while (digits.size() > 1 && digits.endsWith('0')) digits.chop(1);
  const QString sign = x < 0 ? "-" : "";
  // Plain up to 15 integer digits and down to 0.00001; scientific beyond.
  if (exponent >= kGeneralPrecision || exponent < -5) {
    QString mantissa = digits.left(1);
    if (digits.size() > 1) mantissa += decimal + digits.mid(1);
    return sign + mantissa + "E" + QString::number(exponent);
  }
  if (exponent < 0) return sign + "0" + decimal + QString(-exponent - 1, '0') + digits;
  const int integerDigits = exponent + 1;
  if (digits.size() <= integerDigits)
    return sign + digits + QString(integerDigits - digits.size(), '0');
  return sign + digits.left(integerDigits) + decimal + digits.mid(integerDigits);
}

QString Scientific(double x, int significant, QChar decimal) {
  significant = std::clamp(significant, 2, kMaxDigits);
  QString digits;
  int exponent = 0;
  SignificantDigits(x, significant, digits, exponent);
  if (x == 0) exponent = 0;
  const QString sign = x < 0 ? "-" : "";
  return sign + digits.left(1) + decimal + digits.mid(1) + "E" + (exponent < 0 ? "-" : "+") +
         QString::number(std::abs(exponent)).rightJustified(4, '0');
}

QString Fixed(double x, int decimals, QChar decimal, QChar thousands, bool grouped) {
  if (std::fabs(x) >= 1e18) return Scientific(x, kGeneralPrecision, decimal);
  decimals = std::min(decimals, kMaxDigits);
  QString text = QString::number(std::fabs(x), 'f', decimals);
  const bool zero =
      std::none_of(text.begin(), text.end(), [](QChar c) { return c > '0' && c <= '9'; });
  const qsizetype point = text.indexOf('.');
  QString integer = point < 0 ? text : text.left(point);
  const QString fraction = point < 0 ? QString() : text.mid(point + 1);
  if (grouped) {
    for (qsizetype i = integer.size() - 3; i > 0; i -= 3) integer.insert(i, thousands);
  }
  // A value that rounds to zero shows no sign.
  const QString sign = x < 0 && !zero ? "-" : "";
  return sign + integer + (fraction.isEmpty() ? QString() : decimal + fraction);
}

}  // namespace

TRealSpin::TRealSpin(QWidget* owner) : TCustomSpin(owner) {
  value_ = ParseText();
  lastGoodValue_ = value_;
}

double TRealSpin::ClampValue(double x) {
  return LimitValue(x, minValue_, maxValue_);
}

QString TRealSpin::FormatValue(double x) {
  const double v = ClampValue(x);
  const QChar decimal = framework::DecimalSeparator();
  switch (numFormat_) {
    case nfScientific:
      return Scientific(v, digits_, decimal);
    case nfFixed:
      return Fixed(v, digits_, decimal, framework::ThousandSeparator(), false);
    case nfThousands:
      return Fixed(v, digits_, decimal, framework::ThousandSeparator(), true);
    case nfStandard:
      break;
  }
  return General(v, decimal);
}

void TRealSpin::ShowValue(double x) {
  SetText(FormatValue(x));
}

double TRealSpin::ParseText() {
  QString text = Text();
  text.remove(framework::ThousandSeparator());
  double number = 0;
  if (!framework::TryTextToFloat(text, number)) return lastGoodValue_;
  lastGoodValue_ = ClampValue(number);
  return lastGoodValue_;
}

void TRealSpin::SetValue(double x) {
  // Infinity and NaN are no value a user can read or type back: such a write (from code, an
  // owner's step or a step past the largest double) leaves the value and its text as they were.
  if (!std::isfinite(x)) return;
  const double v = ClampValue(x);
  if (!std::isfinite(v)) return;  // an infinite limit
  lastGoodValue_ = v;
  value_ = v;
  ShowValue(v);
}

void TRealSpin::SetValue(double x, TEmitPolicy policy) {
  const TEmitGuard<TRealSpin> guard(*this, policy);
  SetValue(x);
}

void TRealSpin::Change() {
  value_ = ParseText();
  TCustomSpin::Change();
}

void TRealSpin::SetMaxValue(double m) {
  if (m == maxValue_) return;
  if (value_ > m) SetValue(m);
  maxValue_ = m;
}

void TRealSpin::SetMinValue(double m) {
  if (m == minValue_) return;
  if (value_ < m) SetValue(m);
  minValue_ = m;
}

void TRealSpin::SetDigits(int digits) {
  if (digits == digits_ || digits < 0) return;
  digits_ = digits;
  ShowValue(value_);
}

void TRealSpin::StepUp() {
  Step(true);
}
void TRealSpin::StepDown() {
  Step(false);
}

void TRealSpin::Step(bool up) {
  const double factor = framework::CtrlKeyDown() ? 10 : 1;
  if (ReadOnly()) {
    framework::Beep();
    return;
  }
  if (ownerIncrement_) {
    double v = value_;
    if (OnIncrement) OnIncrement(this, up, v);
    SetValue(v);
    return;
  }
  // The field holds the shown number, so repeated steps land on shown values exactly.
  SetValue(up ? value_ + increment_ * factor : value_ - increment_ * factor);
}

bool TRealSpin::KeyAllowed(QChar key) {
  const char16_t c = key.unicode();
  bool allowed = c == '+' || c == '-' || (c >= '0' && c <= '9') || c == 'E' || c == 'e' ||
                 key == framework::DecimalSeparator() || key == framework::ThousandSeparator() ||
                 (c < 32 && c != 13);
  if (!EditorEnabled() && (c >= 32 || c == 8)) allowed = false;
  return allowed;
}

void TRealSpin::KeyPress(QChar& key) {
  // The point key (and the keypad's on most layouts) types "." whatever the locale. Where the
  // decimal separator is another character, a typed "." can only mean that separator: kept as
  // a thousands separator ("." in German) it would be stripped on reading, and -2.6 would read
  // as -26. Pasted text is read as it stands.
  const QChar decimal = framework::DecimalSeparator();
  if (key == '.' && decimal != '.') key = decimal;
  TCustomSpin::KeyPress(key);
}

void TRealSpin::DoExit() {
  TCustomSpin::DoExit();
  if (Text().isEmpty()) SetValue(lastGoodValue_);
  SetValue(value_);
}

void TRealSpin::changeEvent(QEvent* event) {
  // Qt's locale-change notice stands for the system's regional-settings notice; the edit's own
  // handling is not wanted for it.
  if (event->type() == QEvent::LocaleChange) {
    RegionalSettingsChanged();
    return;
  }
  TCustomSpin::changeEvent(event);
}

void TRealSpin::RegionalSettingsChanged() {
  const bool useLocale = framework::UseLocaleSeparators();
  struct Restore {
    bool useLocale;
    ~Restore() { framework::SetUseLocaleSeparators(useLocale); }
  } restore{useLocale};
  // The application's locale follows the user's; setting it equal again changes nothing.
  const QLocale user = framework::UserDefaultLocale();
  if (QLocale() != user) QLocale::setDefault(user);
  framework::ApplyLocaleSeparators();
  ShowValue(value_);
}

}  // namespace components
