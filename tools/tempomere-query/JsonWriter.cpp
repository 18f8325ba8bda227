#include "tools/tempomere-query/JsonWriter.h"

#include <ostream>

#include "components/SampleLog.h"
#include "tools/tempomere-query/JsonText.h"
#include "tools/tempomere-query/QueryOptions.h"
#include "tools/tempomere-query/SamplingSession.h"

namespace tempomere_query {

namespace {

using nlohmann::json;
using ntp::StampSourceName;

// A figure in seconds at its resolution (see components::RoundSeconds): the same value that
// the CSV form writes.
double Microseconds(double seconds) {
  return components::RoundSeconds(seconds, components::kMicrosecondDecimals);
}
double Nanoseconds(double seconds) {
  return components::RoundSeconds(seconds, components::kNanosecondDecimals);
}

json SampleJson(const Sample& sample) {
  const ntp::TNTPInfo& info = sample.info;
  json written = {
      {"sampledAt", components::IsoUtc(sample.sampled_at_ms)},
      {"replied", sample.replied},
      // Without a reply there is no server time; the text form's zeros would read as 1900.
      {"serverTime", sample.replied ? json(sample.ServerTimeIso()) : json(nullptr)},
      {"computerError", components::MillisecondFigure(sample.error)},
      {"roundTripDelay", components::MillisecondFigure(sample.DelaySeconds())},
      {"preciseComputerError", Nanoseconds(sample.precise_error)},
      {"preciseRoundTripDelay", Nanoseconds(sample.PreciseDelaySeconds())},
      {"version", info.Version},
      {"leapIndicator", info.LeapIndicator},
      {"stratum", info.Stratum},
      {"mode", info.Mode},
      {"precision", info.Precision},
      {"pollInterval", info.PollInterval},
      {"rootDispersion", info.RootDispersion},
      {"rootDelay", info.RootDelay},
      {"referenceId", sample.ShownReference()},
      {"valid", info.Valid},
      // Without a reply no clock gave a precise T1 or T4.
      {"t1Source", sample.replied ? json(StampSourceName(sample.precise.OriginateSource)) : json()},
      {"t4Source",
       sample.replied ? json(StampSourceName(sample.precise.DestinationSource)) : json()},
  };
  if (sample.burst.Sent > 0)
    written["burst"] = {{"sent", sample.burst.Sent},
                        {"kept", sample.burst.Kept > 0 ? json(sample.burst.Kept) : json()}};
  return written;
}

// Seconds (and seconds per day) to the microsecond, as the errors they are made of.
json SummaryJson(const HostRun& run) {
  const components::TErrorSummary summary = run.Summary();
  const components::TFittedDrift fitted = run.fit.Result();
  return {
      {"count", summary.Count},
      {"timeSpan", Microseconds(summary.Span * 24 * 3600)},
      {"mean", Microseconds(summary.Mean)},
      {"min", Microseconds(summary.Min)},
      {"max", Microseconds(summary.Max)},
      {"std", Microseconds(components::PopulationStdDev(run.errors))},
      {"totalDrift", Microseconds(summary.Drift.Total)},
      {"driftPerDay", Microseconds(summary.Drift.PerDay)},
      // The fitted drift (seconds per day, ppm) and its 95 % half-width; the residuals'
      // spread at the full figures' resolution. Null when the samples cannot give them.
      {"fittedDriftPerDay", fitted.HasRate ? json(Microseconds(fitted.PerDay)) : json(nullptr)},
      {"fittedDriftInterval",
       fitted.HasInterval ? json(Microseconds(fitted.HalfWidth)) : json(nullptr)},
      {"fittedDriftPpm", fitted.HasRate ? json(Microseconds(fitted.Ppm)) : json(nullptr)},
      {"residualSd", fitted.HasInterval ? json(Nanoseconds(fitted.ResidualStdDev)) : json(nullptr)},
  };
}

}  // namespace

JsonWriter::JsonWriter(const Options& options)
    : port_(options.port), summarise_(options.count > 1) {}

void JsonWriter::Write(std::ostream&, const HostRun& run) {
  json host = {{"host", run.host}, {"port", port_}, {"valid", run.AnyValid()}};
  if (run.failure) host["error"] = *run.failure;
  host["samples"] = json::array();
  for (const Sample& sample : run.samples) host["samples"].push_back(SampleJson(sample));
  if (summarise_ && run.AnyValid()) host["summary"] = SummaryJson(run);
  hosts_.push_back(std::move(host));
}

void JsonWriter::Finish(std::ostream& out) {
  out << JsonText(json{{"hosts", hosts_}});
}

}  // namespace tempomere_query
