#include "framework/FormatSettings.h"

#include <cmath>
#include <limits>
#include <optional>

namespace framework {

namespace {

std::optional<QLocale>& InstalledLocale() {
  static std::optional<QLocale> locale;
  return locale;
}

struct Separators {
  bool read = false;
  QChar decimal = '.';
  QChar thousand = ',';
  bool useLocale = true;
};

Separators& State() {
  static Separators state;
  return state;
}

QChar FirstOr(const QString& text, QChar fallback) {
  return text.isEmpty() ? fallback : text[0];
}

void ReadSeparators() {
  Separators& s = State();
  if (s.useLocale) {
    const QLocale locale = UserDefaultLocale();
    s.decimal = FirstOr(locale.decimalPoint(), '.');
    s.thousand = FirstOr(locale.groupSeparator(), ',');
  } else {
    s.decimal = '.';
    s.thousand = ',';
  }
  s.read = true;
}

const Separators& Current() {
  if (!State().read) ReadSeparators();
  return State();
}

}  // namespace

QLocale UserDefaultLocale() {
  return InstalledLocale() ? *InstalledLocale() : QLocale::system();
}

QChar DecimalSeparator() {
  return Current().decimal;
}
QChar ThousandSeparator() {
  return Current().thousand;
}

void ApplyLocaleSeparators() {
  const bool useLocale = State().useLocale;
  State().useLocale = true;
  ReadSeparators();
  State().useLocale = useLocale;
}

bool UseLocaleSeparators() {
  return State().useLocale;
}

void SetUseLocaleSeparators(bool on) {
  State().useLocale = on;
  ReadSeparators();
}

bool TryTextToFloat(const QString& text, double& value) {
  QString t = text.trimmed();
  if (t.isEmpty()) return false;
  const QChar decimal = DecimalSeparator();
  // Only the characters of a plain number: a later conversion must not accept words such as
  // "inf" or group separators.
  for (QChar c : t) {
    if (!(c.isDigit() || c == decimal || c == '+' || c == '-' || c == 'e' || c == 'E'))
      return false;
  }
  if (decimal != '.') t.replace(decimal, '.');
  bool ok = false;
  const double v = QLocale::c().toDouble(t, &ok);
  if (!ok || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool TryStrToInt64(const QString& text, int64_t& value) {
  qsizetype i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const bool hex = i < text.size() && text[i] == '$';
  if (hex) ++i;
  if (i >= text.size()) return false;
  uint64_t magnitude = 0;
  const uint64_t base = hex ? 16 : 10;
  for (; i < text.size(); ++i) {
    const int digit = text[i].isDigit() ? text[i].digitValue()
                      : hex && QString("abcdefABCDEF").contains(text[i])
                          ? text[i].toLower().unicode() - 'a' + 10
                          : -1;
    if (digit < 0) return false;
    if (magnitude > (std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(digit)) / base)
      return false;
    magnitude = magnitude * base + static_cast<uint64_t>(digit);
  }
  if (hex) {
    // Hexadecimal names the 64 bits directly.
    const auto bits = static_cast<int64_t>(magnitude);
    value = negative ? static_cast<int64_t>(0 - magnitude) : bits;
    return true;
  }
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (magnitude > limit) return false;
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

ScopedUserLocale::ScopedUserLocale(const QLocale& locale)
    : hadPrevious_(InstalledLocale().has_value()),
      previous_(hadPrevious_ ? *InstalledLocale() : QLocale::system()) {
  InstalledLocale() = locale;
  ApplyLocaleSeparators();
}

ScopedUserLocale::~ScopedUserLocale() {
  if (hadPrevious_)
    InstalledLocale() = previous_;
  else
    InstalledLocale().reset();
  ApplyLocaleSeparators();
}

}  // namespace framework
