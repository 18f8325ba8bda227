#pragma once
// The tool's display forms where it is built without Qt: the C locale's forms, the same
// whatever the user's settings: fixed and exponent numbers with a "." (otherwise as the
// window's forms), dates as "YYYY-MM-DD" and times as "HH:MM:SS".
// Standard C++ only.
#include <string>

#include "framework/DateUtils.h"

namespace tempomere_query {

// Exactly `decimals` digits after a ".", no thousands separators, a leading "-" only when the
// shown value is not zero.
std::string PlainFixed(double value, int decimals);
// One digit, ".", four digits, "E", the exponent's sign and its digits without leading zeros:
// 2^-20 is "9.5367E-7".
std::string PlainExponent(double value);
// The date of a local date-time as "YYYY-MM-DD" and its time as "HH:MM:SS", each of the value
// rounded to the millisecond; empty for a value no calendar date holds.
std::string PlainShortDate(framework::TDateTime value);
std::string PlainLongTime(framework::TDateTime value);
// The time of day (or duration) of a value in days: hours without leading zeros, two-digit
// minutes and seconds, a blank and three-digit milliseconds; whole days are dropped.
std::string PlainTimeOfDay(double days);

}  // namespace tempomere_query
