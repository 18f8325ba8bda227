#pragma once
// Date-time values: days since 1899-12-30 00:00 as a double, the time of day as the fraction.
#include "platform/WinTime.h"

namespace framework {

using TDateTime = double;

constexpr double kSecondsPerDay = 86400.0;
constexpr double kMillisecondsPerDay = 86400000.0;

// Calendar fields to a date-time (the day of week is ignored).
TDateTime SystemTimeToDateTime(const platform::SYSTEMTIME& time);
// Date-time to calendar fields, rounded to the nearest millisecond (day of week included).
platform::SYSTEMTIME DateTimeToSystemTime(TDateTime value);
// The local clock now, to the millisecond.
TDateTime Now();
// Days since 1899-12-30 of a civil date (proleptic Gregorian calendar).
int DaysFromCivil(int year, int month, int day);

}  // namespace framework
