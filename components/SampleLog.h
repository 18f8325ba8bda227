#pragma once
// The accepted samples of a run as they leave the program: each one's UTC time, host, computer
// error and round-trip delay, written as CSV (RFC 4180). Standard C++ only, so that the window
// and the command-line tool write samples the same way.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace components {

struct TSample {
  int64_t UtcMilliseconds = 0;  // since 1970-01-01 00:00 UTC
  std::string Host;             // UTF-8, as it was asked
  double Error = 0;             // seconds, positive when the computer's clock is ahead
  double RoundTripDelay = 0;    // seconds
};

// The samples in the order they were accepted.
class TSampleLog {
 public:
  void Add(TSample sample) { samples_.push_back(std::move(sample)); }
  void Clear() { samples_.clear(); }
  // Makes room for `count` samples in all, so that a run read back grows the log once.
  void Reserve(std::size_t count) { samples_.reserve(count); }
  const std::vector<TSample>& Samples() const { return samples_; }
  int Count() const { return static_cast<int>(samples_.size()); }

 private:
  std::vector<TSample> samples_;
};

// A CSV field: the text itself, or in double quotes with its quotes doubled when it holds a
// comma, a quote, a carriage return or a line feed.
std::string CsvField(std::string_view text);
// A number with "." as its decimal point whatever the locale, in the fewest digits that read
// back as the same double; "nan", "inf" and "-inf" for the values that are no number.
std::string CsvNumber(double value);

// Decimals of a figure in seconds at the resolution it stands for: statistics of the window's
// figures to the microsecond, the full-resolution figures (from nanosecond readings) to the
// nanosecond.
inline constexpr int kMicrosecondDecimals = 6;
inline constexpr int kNanosecondDecimals = 9;
// `seconds` rounded to the nearest multiple of 10^-decimals s (decimals 0 or more), zero
// without a sign; nan and the infinities as they are. What a JSON writer is given, so that it
// writes the same value as CSV.
double RoundSeconds(double seconds, int decimals);
// One of the window's figures of a single exchange (an error, an offset, a delay) as what it
// stands for. They come from clock readings to the millisecond, so an offset or error (half a
// sum of two differences of readings) is a multiple of 0.5 ms and a delay a multiple of 1 ms;
// carried as date-times in days, which hold a time of this century to about 0.6 us, they arrive
// with a few microseconds of noise. Rounded to the nearest 0.5 ms, zero without a sign; nan and
// the infinities as they are.
double MillisecondFigure(double seconds);
// RoundSeconds(seconds, decimals) for CSV: the fewest digits that read back as the rounded
// value, so at most `decimals` after the ".", whatever the locale; never an exponent, never
// "-0". "nan", "inf" and "-inf" as CsvNumber writes them.
std::string CsvSeconds(double seconds, int decimals);
// Milliseconds since 1970 UTC as ISO 8601: "2026-03-01T12:00:00.250Z".
std::string IsoUtc(int64_t utc_milliseconds);
// Ends every CSV record.
inline constexpr std::string_view kCsvRecordEnd = "\r\n";

// The log as CSV: the header "utc_time,host,computer_error,round_trip_delay" and one record
// per sample, each ended by CRLF; the error and the delay to the microsecond.
std::string SampleLogCsv(const TSampleLog& log);

}  // namespace components
