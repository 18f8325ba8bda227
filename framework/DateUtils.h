#pragma once
// Date-time values: days since 1899-12-30 00:00 as a double, the time of day as the fraction.
#include "platform/WinTime.h"

namespace framework {

using TDateTime = double;

constexpr double kSecondsPerDay = 86400.0;
constexpr double kMillisecondsPerDay = 86400000.0;
// 0001-01-01 00:00 and 10000-01-01 00:00: the date-times that calendar fields can hold lie in
// between.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;

// Calendar fields to a date-time (the day of week is ignored).
TDateTime SystemTimeToDateTime(const platform::SYSTEMTIME& time);
// Date-time to calendar fields, rounded to the nearest millisecond (day of week included); all
// zero outside kMinDateTime..kMaxDateTime and for values that are not numbers.
platform::SYSTEMTIME DateTimeToSystemTime(TDateTime value);
// The local clock now, to the millisecond.
TDateTime Now();
// Days since 1899-12-30 of a civil date (proleptic Gregorian calendar).
int DaysFromCivil(int year, int month, int day);

}  // namespace framework
