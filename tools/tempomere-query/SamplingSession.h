#pragma once
// Asking one host COUNT times, as the main window's measurement cycle asks it, and keeping
// what each exchange gave: the window's figures, the full-resolution ones, and the statistics
// the window's Statistics tab computes over the valid errors. Standard C++ only.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "components/DriftFit.h"
#include "components/ErrorStatistics.h"
#include "ntp/NTPClient.h"
#include "tools/tempomere-query/OutputWriter.h"
#include "tools/tempomere-query/QueryOptions.h"

namespace components {
class TRunJournal;
}

namespace tempomere_query {

// One exchange's result as the window would show it.
struct Sample {
  int64_t sampled_at_ms = 0;  // UTC, when the exchange began, milliseconds since 1970
  bool replied = false;       // a reply of 48 bytes arrived (valid or not)
  ntp::TNTPInfo info;
  double error = 0;  // seconds, positive when the computer's clock is ahead
  ntp::TPreciseExchange precise;
  double precise_error = 0;  // seconds, from the full-resolution readings
  ntp::TBurstOutcome burst;  // with -b: how many requests went out and which one was kept
  // The host's fitted drift once this sample was taken in (valid samples only).
  components::TFittedDrift fitted;

  double DelaySeconds() const { return info.RoundTripDelay * 24 * 3600; }
  double PreciseDelaySeconds() const { return replied ? precise.RoundTripDelay : 0; }
  // The reference identifier as the window's field shows it: up to the first zero character.
  std::string ShownReference() const {
    return info.ReferenceID.substr(0, info.ReferenceID.find('\0'));
  }
  // The server's time as ISO 8601 UTC to the millisecond: "2026-03-01T12:00:00.250Z".
  std::string ServerTimeIso() const;
};

// What one host gave: its samples in order, the statistics over its valid errors, and the
// message of the error that ended its samples early, if any, on one line.
struct HostRun {
  std::string host;
  std::vector<Sample> samples;
  std::vector<double> errors;  // the valid samples' errors, oldest first
  components::TErrorStatistics statistics;
  // The least-squares drift of the valid samples' full-resolution errors against their times.
  components::TDriftFit fit;
  double last_accepted = 0;  // local date-time of the newest valid sample
  std::optional<std::string> failure;

  bool AnyValid() const { return !errors.empty(); }
  // The Statistics tab's figures at the newest valid sample.
  components::TErrorSummary Summary() const { return statistics.Summary(last_accepted); }
};

// Asks `host` options.count times, the starts of two samples options.interval_s apart. A
// transport error ends the host's samples (the next one would meet it again) and is kept as
// its failure.
// With `journal`, each valid sample is appended to it as it is taken.
HostRun AskHost(const std::string& host, const Options& options,
                components::TRunJournal* journal = nullptr);

// Asks every host in turn and hands each one's run to `writer`; a host that cannot be asked is
// said on `err`, one line, after its host when there are several. The exit status.
int AskEveryHost(const Options& options, OutputWriter& writer, std::ostream& out,
                 std::ostream& err);

}  // namespace tempomere_query
