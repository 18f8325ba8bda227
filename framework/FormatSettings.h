#pragma once
// The process-wide number separators that the input controls write and read numbers with, and
// the 64-bit integer conversion they use.
#include <QChar>
#include <QLocale>
#include <QString>
#include <cstdint>

namespace framework {

// The user's default locale: the system's, unless a test installed another.
QLocale UserDefaultLocale();

// Separators in force. Taken from the user's locale at first use and again by
// ApplyLocaleSeparators, so a control that handles the locale-change notice sees the new ones.
QChar DecimalSeparator();
QChar ThousandSeparator();
// Reads both separators from the user's default locale ("." and "," where it has none).
void ApplyLocaleSeparators();

// On (the default): the separators follow the locale. Off: they are "." and ",".
bool UseLocaleSeparators();
void SetUseLocaleSeparators(bool on);

// A decimal number with DecimalSeparator, an optional sign and an optional exponent ("E" or
// "e"), leading and trailing blanks allowed, no thousands separators. Infinite and undefined
// values do not convert.
bool TryTextToFloat(const QString& text, double& value);

// A 64-bit whole number: leading blanks, an optional sign, decimal digits or "$" followed by
// hexadecimal digits (the 64 bits as written: "$FFFFFFFFFFFFFFFF" is -1), nothing after it.
// Out of range or anything else does not convert.
bool TryStrToInt64(const QString& text, int64_t& value);

// Installs a user locale for the lifetime of this object (tests of locale changes); the
// separators are re-read from the locale in force on entry and on exit.
class ScopedUserLocale {
 public:
  explicit ScopedUserLocale(const QLocale& locale);
  ~ScopedUserLocale();
  ScopedUserLocale(const ScopedUserLocale&) = delete;
  ScopedUserLocale& operator=(const ScopedUserLocale&) = delete;

 private:
  bool hadPrevious_;
  QLocale previous_;
};

}  // namespace framework
