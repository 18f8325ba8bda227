#include "tools/tempomere-query/CsvWriter.h"

#include <ostream>
#include <string>
#include <vector>

#include "components/SampleLog.h"
#include "tools/tempomere-query/SamplingSession.h"

namespace tempomere_query {

void CsvWriter::Start(std::ostream& out) {
  out << "host,sample,sampled_at,replied,server_time,computer_error,round_trip_delay,"
         "precise_computer_error,precise_round_trip_delay,version,"
         "leap_indicator,stratum,mode,precision,poll_interval,root_dispersion,root_delay,"
         "reference_id,valid,t1_source,t4_source,fitted_drift_per_day,fitted_drift_interval,fitted_"
         "drift_ppm,"
         "residual_sd"
      << components::kCsvRecordEnd;
}

void CsvWriter::Write(std::ostream& out, const HostRun& run) {
  using components::CsvField;
  using components::CsvNumber;
  using components::CsvSeconds;
  using components::kMicrosecondDecimals;
  using components::kNanosecondDecimals;
  for (std::size_t i = 0; i < run.samples.size(); ++i) {
    const Sample& sample = run.samples[i];
    const ntp::TNTPInfo& info = sample.info;
    const std::vector<std::string> fields = {
        CsvField(run.host),
        std::to_string(i + 1),
        components::IsoUtc(sample.sampled_at_ms),
        sample.replied ? "true" : "false",
        sample.replied ? sample.ServerTimeIso() : std::string(),
        CsvSeconds(components::MillisecondFigure(sample.error), kMicrosecondDecimals),
        CsvSeconds(components::MillisecondFigure(sample.DelaySeconds()), kMicrosecondDecimals),
        CsvSeconds(sample.precise_error, kNanosecondDecimals),
        CsvSeconds(sample.PreciseDelaySeconds(), kNanosecondDecimals),
        std::to_string(info.Version),
        std::to_string(info.LeapIndicator),
        std::to_string(info.Stratum),
        std::to_string(info.Mode),
        CsvNumber(info.Precision),
        CsvNumber(info.PollInterval),
        CsvNumber(info.RootDispersion),
        CsvNumber(info.RootDelay),
        CsvField(sample.ShownReference()),
        info.Valid ? "true" : "false",
        sample.replied ? ntp::StampSourceName(sample.precise.OriginateSource) : "",
        sample.replied ? ntp::StampSourceName(sample.precise.DestinationSource) : "",
        // The host's fitted drift once this sample was taken in; empty until it can be said.
        sample.fitted.HasRate ? CsvSeconds(sample.fitted.PerDay, kMicrosecondDecimals) : "",
        sample.fitted.HasInterval ? CsvSeconds(sample.fitted.HalfWidth, kMicrosecondDecimals) : "",
        sample.fitted.HasRate ? CsvSeconds(sample.fitted.Ppm, kMicrosecondDecimals) : "",
        sample.fitted.HasInterval ? CsvSeconds(sample.fitted.ResidualStdDev, kNanosecondDecimals)
                                  : "",
    };
    for (std::size_t f = 0; f < fields.size(); ++f) out << (f > 0 ? "," : "") << fields[f];
    out << components::kCsvRecordEnd;
  }
}

}  // namespace tempomere_query
