#pragma once
// The forms in which the program shows numbers, dates and times, shared by the main window and
// the command-line tools.
#include <QString>

#include "framework/DateUtils.h"

namespace framework {

// Exactly `decimals` digits after the user's decimal separator, no thousands separators, a
// leading "-" when the shown value is negative.
QString FormatFixed(double value, int decimals);
// One digit, the decimal separator, four digits, "E", the exponent's sign and its digits
// without leading zeros: 2^-20 is "9.5367E-7", 1 is "1.0000E+0".
QString FormatExponent(double value);
// The user's short date and long time (hours, minutes and seconds) of a local date-time.
QString FormatShortDate(TDateTime value);
QString FormatLongTime(TDateTime value);
// The time of day (or duration) of a value in days: hours without leading zeros, two-digit
// minutes and seconds, a blank and three-digit milliseconds; whole days are dropped.
// Half a day plus 1.5 s is "12:00:01 500".
QString FormatTimeOfDay(double days);

}  // namespace framework
