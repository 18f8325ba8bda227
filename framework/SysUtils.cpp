#include "framework/SysUtils.h"

#include <limits>

namespace framework {

namespace {

bool TryStrToInt(const QString& text, int& value) {
  QString t = text.trimmed();
  bool negative = false;
  if (t.startsWith('-') || t.startsWith('+')) {
    negative = t.startsWith('-');
    t.remove(0, 1);
  }
  int base = 10;
  if (t.startsWith('$')) {
    base = 16;
    t.remove(0, 1);
  } else if (t.startsWith("0x", Qt::CaseInsensitive)) {
    base = 16;
    t.remove(0, 2);
  }
  if (t.isEmpty()) return false;
  for (QChar c : t) {
    if (base == 10 ? !c.isDigit() : !QString("0123456789abcdefABCDEF").contains(c)) return false;
  }
  bool ok = false;
  const qlonglong magnitude = t.toLongLong(&ok, base);
  if (!ok) return false;
  const qlonglong signedValue = negative ? -magnitude : magnitude;
  if (base == 10 && (signedValue < std::numeric_limits<int>::min() ||
                     signedValue > std::numeric_limits<int>::max()))
    return false;
  if (base == 16) {
    // Hexadecimal texts name the 32 bits directly: "$FFFFFFFF" is -1.
    if (magnitude > 0xFFFFFFFFLL) return false;
    const auto bits = static_cast<int>(static_cast<uint32_t>(magnitude));
    value = negative ? -bits : bits;
    return true;
  }
  value = static_cast<int>(signedValue);
  return true;
}

}  // namespace

int StrToInt(const QString& text) {
  int value = 0;
  if (!TryStrToInt(text, value))
    throw EConvertError(QString("'%1' is not a valid integer value").arg(text));
  return value;
}

int StrToIntDef(const QString& text, int fallback) {
  int value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}

}  // namespace framework
