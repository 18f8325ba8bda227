#include "tools/tempomere-query/TextWriter.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <ostream>
#include <string_view>

#include "tools/tempomere-query/DisplayForms.h"
#include "tools/tempomere-query/QueryOptions.h"
#include "tools/tempomere-query/SamplingSession.h"

namespace tempomere_query {

namespace {

void PrintSample(std::ostream& out, const Sample& sample) {
  const ntp::TNTPInfo& info = sample.info;
  out << "Date - Local Zone: " << ShortDate(info.ServerTime) << "\n"
      << "Time - Local Zone: " << LongTime(info.ServerTime) << "\n"
      << "UTC Time: " << TimeOfDay(info.ServerTimeUtc) << "\n"
      << "Computer Error: " << Fixed(sample.error, 5) << "\n"
      << "Round Trip Delay: " << Fixed(sample.DelaySeconds(), 5) << "\n"
      << "Version: " << int{info.Version} << "\n"
      << "Leap Indicator: " << int{info.LeapIndicator} << "\n"
      << "Stratum: " << int{info.Stratum} << "\n"
      << "Mode: " << int{info.Mode} << "\n"
      << "Precision: " << Exponent(info.Precision) << "\n"
      << "Poll Interval: " << Fixed(info.PollInterval, 5) << "\n"
      << "Root Dispersion: " << Fixed(info.RootDispersion, 5) << "\n"
      << "Root Delay: " << Fixed(info.RootDelay, 5) << "\n"
      << "Reference ID: " << Printable(sample.ShownReference()) << "\n"
      << "Valid: " << (info.Valid ? "Yes" : "No") << "\n";
}

void PrintPrecise(std::ostream& out, const Sample& sample) {
  out << "Precise Computer Error: " << Fixed(sample.precise_error, 9) << "\n"
      << "Precise Round Trip Delay: " << Fixed(sample.PreciseDelaySeconds(), 9) << "\n";
}

// With -b: how many requests went out for the sample and which one's exchange it shows.
void PrintBurst(std::ostream& out, const Sample& sample) {
  out << "Requests Sent: " << sample.burst.Sent << "\n"
      << "Request Kept: "
      << (sample.burst.Kept > 0 ? std::to_string(sample.burst.Kept) : std::string("none")) << "\n";
}

// The Statistics tab's figures over the host's valid errors, in seconds to 5 decimals.
void PrintSummary(std::ostream& out, const HostRun& run) {
  const components::TErrorSummary summary = run.Summary();
  out << "Count: " << summary.Count << "\n"
      << "Time Span: " << TimeOfDay(summary.Span) << "\n"
      << "Mean: " << Fixed(summary.Mean, 5) << "\n"
      << "Min: " << Fixed(summary.Min, 5) << "\n"
      << "Max: " << Fixed(summary.Max, 5) << "\n"
      << "STD: " << Fixed(components::PopulationStdDev(run.errors), 5) << "\n"
      << "Total Drift: " << Fixed(summary.Drift.Total, 5) << "\n"
      << "Drift Per Day: " << Fixed(summary.Drift.PerDay, 5) << "\n";
  // The fitted drift as the window shows it, to 5 decimals: its interval from three errors.
  const components::TFittedDrift fitted = run.fit.Result();
  if (!fitted.HasRate) return;
  out << "Fitted Drift Per Day: " << Fixed(fitted.PerDay, 5);
  if (fitted.HasInterval) out << " \u00B1 " << Fixed(fitted.HalfWidth, 5);
  out << "\n"
      << "Fitted Drift ppm: " << Fixed(fitted.Ppm, 5) << "\n";
  if (fitted.HasInterval) out << "Residual SD: " << Fixed(fitted.ResidualStdDev, 9) << "\n";
}

// JSON's short escapes and the characters they stand for.
constexpr std::string_view kShortEscapes = "btnfr\"\\";
constexpr char kEscapedCharacters[] = {'\b', '\t', '\n', '\f', '\r', '"', '\\'};

}  // namespace

std::string Printable(const std::string& text) {
  // JSON's ASCII-only form of the text writes every character beyond ASCII as its UTF-16 units
  // (\uXXXX) and a byte that starts no UTF-8 character as \ufffd: the units the window holds.
  const std::string json =
      nlohmann::json(text).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
  std::string printable;
  for (std::size_t at = 1; at + 1 < json.size(); ++at) {  // between the quotes
    unsigned unit = static_cast<unsigned char>(json[at]);
    if (unit == '\\' && json[at + 1] == 'u') {
      std::from_chars(json.data() + at + 2, json.data() + at + 6, unit, 16);
      at += 5;
    } else if (unit == '\\') {
      unit = static_cast<unsigned char>(kEscapedCharacters[kShortEscapes.find(json[++at])]);
    }
    if (unit >= 0x20 && unit <= 0x7E && unit != '\\') {
      printable += static_cast<char>(unit);
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "\\x%02X", unit);
      printable += hex;
    }
  }
  return printable;
}

TextWriter::TextWriter(const Options& options)
    : several_hosts_(options.hosts.size() > 1),
      precise_(options.precise_text),
      summarise_(options.count > 1) {}

void TextWriter::Write(std::ostream& out, const HostRun& run) {
  const bool first_host = first_host_;
  first_host_ = false;
  // A host whose first exchange failed has nothing to show but its message.
  if (run.samples.empty()) return;
  if (several_hosts_) out << (first_host ? "" : "\n") << "Host: " << run.host << "\n";
  for (std::size_t i = 0; i < run.samples.size(); ++i) {
    if (i > 0) out << "\n";
    PrintSample(out, run.samples[i]);
    if (precise_) PrintPrecise(out, run.samples[i]);
    if (run.samples[i].burst.Sent > 0) PrintBurst(out, run.samples[i]);
  }
  if (summarise_ && run.AnyValid()) {
    out << "\n";
    PrintSummary(out, run);
  }
}

}  // namespace tempomere_query
