#include "tools/tempomere-query/SamplingSession.h"

#include <chrono>
#include <cmath>
#include <ostream>
#include <thread>

#include "components/SampleLog.h"
#include "framework/SysUtils.h"
#include "ntp/IdException.h"
#include "tools/tempomere-query/FailureMessages.h"

namespace tempomere_query {

namespace {

// Milliseconds from 1900-01-01 00:00 UTC (the NTP epoch) to 1970-01-01 00:00 UTC.
constexpr int64_t kNtpEpochToUnixMs = 2208988800000;

// Milliseconds since 1970 UTC now, as the computer's clock reads.
int64_t UtcNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// One exchange with the host; transport errors pass out. The client's record is emptied first,
// so a silent sample shows zeros, never the previous sample's reply.
// With `burst` above 1, that many exchanges, of which the shortest round trip is kept.
Sample QueryOnce(ntp::TNTPClient& client, int burst) {
  client.Info = ntp::TNTPInfo{};
  client.Precise = ntp::TPreciseExchange{};
  Sample sample;
  sample.sampled_at_ms = UtcNowMs();
  client.SetActive(true);
  if (burst > 1) {
    client.QueryServerTimeBurst(burst);
    sample.burst = client.Burst;
  } else {
    client.QueryServerTime();
  }
  client.SetActive(false);
  sample.info = client.Info;
  sample.replied = client.Info.DestinationTime != 0;  // set only by a decoded reply
  sample.precise = client.Precise;
  sample.precise_error = sample.replied ? -client.Precise.ClockOffset : 0;
  // Days to seconds in long double, as the window computes its error display.
  sample.error =
      static_cast<double>(-static_cast<long double>(client.GetClockOffset()) * 24 * 3600);
  return sample;
}

}  // namespace

std::string Sample::ServerTimeIso() const {
  // ServerTimeUtc counts days since 1900-01-01 00:00 UTC.
  return components::IsoUtc(std::llround(info.ServerTimeUtc * 86400000.0) - kNtpEpochToUnixMs);
}

HostRun AskHost(const std::string& host, const Options& options) {
  HostRun run;
  run.host = host;
  using Clock = std::chrono::steady_clock;
  const auto interval = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(options.interval_s));
  auto next = Clock::now();
  try {
    ntp::TNTPClient client;
    client.SetReceiveTimeout(options.timeout_ms);
    client.SetHost(host);
    client.SetPort(options.port);
    client.SetHostFamily(options.family);
    client.Nts.SetCaFile(options.ca_file);
    for (int i = 0; i < options.count; ++i) {
      if (i > 0) {
        next += interval;
        std::this_thread::sleep_until(next);
      }
      Sample sample = QueryOnce(client, options.burst);
      if (sample.info.Valid) {
        // Accepted as the window accepts an error: stored first, then taken into the run.
        run.last_accepted = framework::Now();
        run.errors.push_back(sample.error);
        run.statistics.Accept(run.errors, run.last_accepted);
      }
      run.samples.push_back(std::move(sample));
    }
  } catch (const ntp::EIdSocketError& e) {
    // The socket layer's message is the number and a text that may be empty, after CR LF.
    run.failure = SocketFailureMessage(e.ErrorCode(), host);
  } catch (const framework::Exception& e) {
    run.failure = OneLine(e.Message());
  }
  return run;
}

int AskEveryHost(const Options& options, OutputWriter& writer, std::ostream& out,
                 std::ostream& err) {
  bool every_host_valid = true;
  bool any_failure = false;
  writer.Start(out);
  for (const std::string& host : options.hosts) {
    const HostRun run = AskHost(host, options);
    writer.Write(out, run);
    out.flush();
    if (run.failure) {
      any_failure = true;
      if (options.hosts.size() > 1) err << EscapedControls(run.host) << ": ";
      err << *run.failure << "\n";
      err.flush();
    }
    every_host_valid = every_host_valid && run.AnyValid();
  }
  writer.Finish(out);
  out.flush();
  if (any_failure) return kExitError;
  return every_host_valid ? kExitValid : kExitNoValidReply;
}

}  // namespace tempomere_query
