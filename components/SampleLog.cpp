#include "components/SampleLog.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace components {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string CsvNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[64];
  // to_chars does not look at the locale, and without a precision it is the shortest form.
  const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

double RoundSeconds(double seconds, int decimals) {
  if (!std::isfinite(seconds)) return seconds;
  double scale = 1;  // 10^decimals, exact for up to 22 decimals
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const double scaled = seconds * scale;
  // From 2^52 on a double holds no fraction: the value is already coarser than the step.
  if (std::fabs(scaled) >= 4503599627370496.0) return seconds;
  // k / 10^decimals with k whole and the divisor exact: the double nearest to that decimal, so
  // that the decimal is its shortest form. Adding +0 turns -0 into 0.
  return std::round(scaled) / scale + 0.0;
}

double MillisecondFigure(double seconds) {
  constexpr double kHalfMillisecondsPerSecond = 2000;
  if (!std::isfinite(seconds)) return seconds;
  return std::round(seconds * kHalfMillisecondsPerSecond) / kHalfMillisecondsPerSecond + 0.0;
}

std::string CsvSeconds(double seconds, int decimals) {
  const double rounded = RoundSeconds(seconds, decimals);
  if (!std::isfinite(rounded)) return CsvNumber(rounded);
  // The shortest fixed form that reads back exactly: the decimal k / 10^decimals reads back as
  // `rounded`, so none longer is needed. The longest double in fixed form has 309 digits before
  // the point.
  char buffer[400];
  const std::to_chars_result written =
      std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed);
  return std::string(buffer, written.ptr);
}

std::string IsoUtc(int64_t utc_milliseconds) {
  using namespace std::chrono;
  const sys_time<milliseconds> instant{milliseconds(utc_milliseconds)};
  const sys_days day = floor<days>(instant);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> time{instant - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
  return text;
}

std::string SampleLogCsv(const TSampleLog& log) {
  std::string csv = "utc_time,host,computer_error,round_trip_delay";
  csv += kCsvRecordEnd;
  for (const TSample& sample : log.Samples()) {
    csv += IsoUtc(sample.UtcMilliseconds);
    csv += ',';
    csv += CsvField(sample.Host);
    csv += ',';
    csv += CsvSeconds(MillisecondFigure(sample.Error), kMicrosecondDecimals);
    csv += ',';
    csv += CsvSeconds(MillisecondFigure(sample.RoundTripDelay), kMicrosecondDecimals);
    csv += kCsvRecordEnd;
  }
  return csv;
}

}  // namespace components
