#include "tools/tempomere-query/SamplingSession.h"

#include <chrono>
#include <cmath>
#include <optional>
#include <ostream>
#include <thread>

#include "components/SampleLog.h"
#ifdef TEMPOMERE_JOURNAL
#include "components/RunJournal.h"
#endif
#include "framework/SysUtils.h"
#include "ntp/IdComponent.h"
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

// The middle of an exchange's send and receive, seconds since 1970 UTC: its time in the fit.
double FitTime(const Sample& sample) {
  return (double(sample.precise.Originate) + double(sample.precise.Destination)) / 2 / 1e9;
}

HostRun AskHost(const std::string& host, const Options& options, components::TRunJournal* journal) {
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
        run.fit.Add(FitTime(sample), sample.precise_error);
        sample.fitted = run.fit.Result();
#ifdef TEMPOMERE_JOURNAL
        if (journal != nullptr) {
          components::TJournalSample kept;
          kept.UtcMilliseconds = sample.sampled_at_ms;
          kept.Host = host;
          kept.Error = sample.error;
          kept.RoundTripDelay = sample.DelaySeconds();
          kept.PreciseError = sample.precise_error;
          kept.PreciseRoundTripDelay = sample.PreciseDelaySeconds();
          kept.FitTime = FitTime(sample);
          kept.LocalTime = run.last_accepted;
          journal->Append(kept);
        }
#else
        (void)journal;
#endif
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
  components::TRunJournal* journal = nullptr;
#ifdef TEMPOMERE_JOURNAL
  // A journal that cannot be kept is said once on `err`; the hosts are asked all the same.
  std::optional<components::TRunJournal> kept;
  if (!options.journal.empty()) {
    kept.emplace(options.journal, "tempomere-query");
    kept->OnMessage = [&](const std::string& message) {
      err << OneLine(message) << "\n";
      err.flush();
      any_failure = true;
    };
    journal = &*kept;
  }
#else
  if (!options.journal.empty()) {
    err << "This build of tempomere-query keeps no journal (it was made without SQLite).\n";
    return kExitError;
  }
#endif
  // The socket stack stays up from the first host to the last. Taken down and brought up again
  // between hosts (WSACleanup, WSAStartup), Wine's socket library takes the next host's new
  // socket for a closed one ("Socket Error # 10038"). A stack that cannot be brought up is left
  // to each host to report.
  std::optional<ntp::TIdComponent> stack;
  try {
    stack.emplace();
  } catch (const framework::Exception&) {
  }
  writer.Start(out);
  for (const std::string& host : options.hosts) {
#ifdef TEMPOMERE_JOURNAL
    if (journal != nullptr) journal->NewRun();  // one run per host
#endif
    const HostRun run = AskHost(host, options, journal);
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
