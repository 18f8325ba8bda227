#include "framework/SysUtils.h"

#include <cstdint>
#include <limits>
#include <string_view>

namespace framework {

namespace {

// The blanks that may surround a number: space, tab and the line and page ends.
bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

bool TryStrToInt(const std::string& text, int& value) {
  std::string_view t = text;
  while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
  bool negative = false;
  if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  int base = 10;
  if (!t.empty() && t.front() == '$') {
    base = 16;
    t.remove_prefix(1);
  } else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  if (t.empty()) return false;
  // Decimal texts hold a 32-bit signed value; hexadecimal ones name the 32 bits directly
  // ("$FFFFFFFF" is -1). The magnitude stops growing past either limit, so no length of text
  // can overflow it.
  const int64_t limit = base == 10 ? (negative ? 2147483648LL : 2147483647LL) : 0xFFFFFFFFLL;
  int64_t magnitude = 0;
  for (char c : t) {
    const int digit = DigitValue(c);
    if (digit >= base) return false;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return false;
  }
  if (base == 16) {
    const auto bits = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    // Negating the most negative value is undefined; its negation is itself in 32 bits.
    value = negative && bits != std::numeric_limits<int32_t>::min() ? -bits : bits;
    return true;
  }
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

int StrToInt(const std::string& text) {
  int value = 0;
  if (!TryStrToInt(text, value)) throw EConvertError("'" + text + "' is not a valid integer value");
  return value;
}

int StrToIntDef(const std::string& text, int fallback) {
  int value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

}  // namespace framework
