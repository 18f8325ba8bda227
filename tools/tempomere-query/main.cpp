// tempomere-query [-p PORT] [-t TIMEOUT_MS] [-c COUNT] [-i SECONDS] [--precise]
//                 [-4 | -6] [--json | --csv] [--nts] [--ca-file FILE] HOST...
// tempomere-query --help | --version
//
// Exchanges with time servers, each run as the main window's measurement cycle runs it, and the
// window's displays printed one per line. Each host is asked COUNT times in turn, SECONDS apart;
// with more than one sample a host's valid errors are summarised by the statistics the window's
// Statistics tab uses. The same figures can be had as one JSON document or as CSV rows, one per
// sample. Beside the window's millisecond figures stand the same exchange's full-resolution
// ones (nanosecond local readings, the server's full fractions): always in JSON and CSV, and in
// the text form with --precise. Exit status: 0 when every host gave a valid reply, 1 when some gave
// none (time-out or only invalid replies; the fields are still printed), 2 for an error or bad
// usage. A host that cannot be asked is reported on one line, a socket error with its number in
// words ("Socket Error # 11001: host not found: HOST"; the window keeps the socket layer's own).
//
// Built without Qt (TEMPOMERE_QT 0, as in the cross build for Windows), the tool shows numbers,
// dates and times in the C locale's forms (tools/tempomere-query/PlainFormats.h) and refuses
// --json, which is written by Qt's JSON classes.
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "components/ErrorStatistics.h"
#include "components/SampleLog.h"
#include "framework/SysUtils.h"
#include "ntp/IdException.h"
#include "ntp/NTPClient.h"
#include "tools/tempomere-query/FailureMessages.h"

#ifndef TEMPOMERE_QT
#error "TEMPOMERE_QT is set by the build: 1 where the tool is made with Qt, 0 without"
#endif
#if TEMPOMERE_QT
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include "framework/DisplayFormats.h"
#else
#include "tools/tempomere-query/PlainFormats.h"
#endif
#if defined(_WIN32)
#include <fcntl.h>  // _O_BINARY
#include <io.h>     // _setmode
#endif

#ifndef TEMPOMERE_VERSION
#error "TEMPOMERE_VERSION is set by the build from the project's one version number"
#endif

namespace {

constexpr int kExitValid = 0;
constexpr int kExitNoValidReply = 1;
constexpr int kExitError = 2;

// A server listens on a port 1..65535; port 0 cannot be sent to.
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;
// Milliseconds to wait for the reply. A wait of 0 or less ends before any reply can come, and
// more than a day is surely a slip of the keyboard.
constexpr int kShortestTimeout = 1;
constexpr int kLongestTimeout = 86400000;

// Samples per host, and the seconds between the starts of two samples: a count beyond a
// million or a pause beyond a day is surely a slip of the keyboard.
constexpr int kMostSamples = 1000000;
constexpr double kShortestInterval = 0.001;
constexpr double kLongestInterval = 86400;

// Milliseconds from 1900-01-01 00:00 UTC (the NTP epoch) to 1970-01-01 00:00 UTC.
constexpr int64_t kNtpEpochToUnixMs = 2208988800000;

enum class OutputForm { Text, Json, Csv };

struct Options {
  std::vector<std::string> hosts;  // UTF-8
  OutputForm form = OutputForm::Text;
  bool precise_text = false;  // the text form adds the full-resolution figures
  ntp::TIdFamilyChoice family = ntp::TIdFamilyChoice::Any;
  int port = 123;
  int timeout_ms = 500;
  int count = 1;
  double interval_s = 1;
  // Network Time Security: --nts asks each HOST as "nts://HOST"; --ca-file trusts that CA
  // instead of the system's trust store.
  bool nts = false;
  std::string ca_file;
  bool port_given = false;  // -p was given: refused for an NTS host, whose server names its port
};

constexpr const char* kUsage =
    "usage: tempomere-query [-p PORT] [-t TIMEOUT_MS] [-c COUNT] [-i SECONDS] [--precise]\n"
    "                      [-4 | -6] [--json | --csv] [--nts] [--ca-file FILE] HOST...\n"
    "       tempomere-query --help | --version\n";

constexpr const char* kHelp =
    "Asks each HOST in turn for the time by SNTP, as the Tempomere window's measurement cycle\n"
    "does, and prints the computer's error (positive when its clock is ahead) with the reply.\n"
    "\n"
    "HOST  a name, \"localhost\", a dotted IPv4 address, or an IPv6 address, bare or in\n"
    "      brackets (::1, [2001:db8::123]). A name with an IPv4 address is asked there; a name\n"
    "      with only IPv6 addresses is asked at the first of them. nts://NAME[:PORT] asks with\n"
    "      Network Time Security; its PORT is the key-establishment port (default 4460).\n"
    "\n"
    "  -p PORT        the servers' UDP port, 1..65535 (default 123)\n"
    "  -t TIMEOUT_MS  how long to wait for each reply, 1..86400000 ms (default 500)\n"
    "  -c COUNT       samples per host, 1..1000000 (default 1); with more than one, a summary\n"
    "                 of the valid ones follows: count, time span, mean, min, max, standard\n"
    "                 deviation, total drift and drift per day, as the window's Statistics tab\n"
    "  -i SECONDS     time between the starts of two samples, 0.001..86400, fractions with a\n"
    "                 \".\" (default 1)\n"
    "  --precise      the text form adds the offset and delay from full-resolution readings\n"
    "                 (\"Precise Computer Error\", \"Precise Round Trip Delay\", 9 decimals)\n"
    "  -4, -6         use only IPv4 or only IPv6 addresses (-6 takes \"localhost\" as ::1)\n"
    "  --nts          ask every HOST with Network Time Security, as nts://HOST (-p is then\n"
    "                 refused: key establishment names the NTP port)\n"
    "  --ca-file FILE trust the certificates FILE holds for NTS instead of the system's\n"
    "  --json         one JSON document: {\"hosts\": [...]}, one object per host with host,\n"
    "                 port, valid, error (when it could not be asked), samples (sampledAt,\n"
    "                 replied, serverTime, computerError, roundTripDelay, preciseComputerError,\n"
    "                 preciseRoundTripDelay, version, leapIndicator, stratum, mode, precision,\n"
    "                 pollInterval, rootDispersion, rootDelay, referenceId, valid) and, with\n"
    "                 more than one sample, summary (count, timeSpan, mean, min, max, std,\n"
    "                 totalDrift, driftPerDay). Seconds as numbers, to the microsecond (the\n"
    "                 precise ones to the nanosecond); times as ISO 8601 UTC.\n"
    "  --csv          CSV (RFC 4180, CRLF line ends): a header and one record per sample:\n"
    "                 host, sample (1, 2, ...) and the sample fields above in snake_case\n"
    "                 (sampled_at, ..., reference_id, valid); numbers with a \".\" whatever\n"
    "                 the locale, seconds as in JSON (at most 6 or 9 decimals), no summary\n"
    "  --help         this text;  --version  the program's version\n"
    "\n"
    "The text form (the default) prints \"Caption: value\" lines in the user's number and date\n"
    "formats: for one host asked once, the window's 15 displays; with several hosts each\n"
    "host's block starts with \"Host: HOST\", and samples and the summary are parted by an\n"
    "empty line. A sample without a reply prints zeros and \"Valid: No\".\n"
    "\n"
    "Exit status: 0 when every host gave a valid reply (at least one of its samples);\n"
    "1 when some host gave none or only invalid ones; 2 for an error (a host that cannot be\n"
    "resolved or sent to; the other hosts are still asked) or bad usage. Messages go to\n"
    "standard error, prefixed with the host when several are asked, one line each; a\n"
    "socket error says its number, what happened and the host, as in\n"
    "\"Socket Error # 11001: host not found: HOST\" (in JSON also the host's \"error\").\n";

// The display forms: the user's locale's where the tool is made with Qt (as the window shows
// them), the C locale's otherwise.
#if TEMPOMERE_QT
std::string Fixed(double value, int decimals) {
  return framework::FormatFixed(value, decimals).toStdString();
}
std::string Exponent(double value) {
  return framework::FormatExponent(value).toStdString();
}
std::string ShortDate(framework::TDateTime value) {
  return framework::FormatShortDate(value).toStdString();
}
std::string LongTime(framework::TDateTime value) {
  return framework::FormatLongTime(value).toStdString();
}
std::string TimeOfDay(double days) {
  return framework::FormatTimeOfDay(days).toStdString();
}
#else
std::string Fixed(double value, int decimals) {
  return tempomere_query::PlainFixed(value, decimals);
}
std::string Exponent(double value) {
  return tempomere_query::PlainExponent(value);
}
std::string ShortDate(framework::TDateTime value) {
  return tempomere_query::PlainShortDate(value);
}
std::string LongTime(framework::TDateTime value) {
  return tempomere_query::PlainLongTime(value);
}
std::string TimeOfDay(double days) {
  return tempomere_query::PlainTimeOfDay(days);
}
#endif

int Usage(const std::string& problem) {
  std::cerr << problem << "\n"
            << kUsage << "  PORT 1..65535 (default 123), TIMEOUT_MS 1..86400000 (default 500),\n"
            << "  COUNT 1..1000000 (default 1), SECONDS 0.001..86400 (default 1); --help tells "
               "more\n";
  return kExitError;
}

// Reads a whole number argument: decimal digits only, nothing before or after them, within
// [low, high]. False, with the problem said, for anything else (a sign, blanks, trailing junk,
// a number too large for any type).
bool ReadNumber(const std::string& text, int low, int high, const char* what, int& value,
                std::string& problem) {
  bool ok = !text.empty();
  long long number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      ok = false;
      break;
    }
    number = number * 10 + (c - '0');
    if (number > high) {  // stop before the number can overflow
      ok = false;
      break;
    }
  }
  if (!ok || number < low || number > high) {
    problem = std::string(what) + " must be a whole number from " + std::to_string(low) + " to " +
              std::to_string(high) + ", not '" + text + "'";
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

// Reads a number of seconds: decimal digits with at most one "." among or after them, nothing
// else (no sign, exponent or blanks), within [low, high].
bool ReadSeconds(const std::string& text, double low, double high, const char* what, double& value,
                 std::string& problem) {
  bool ok = !text.empty() && text != ".";
  int points = 0;
  for (char c : text) {
    if (c == '.')
      ++points;
    else if (c < '0' || c > '9')
      ok = false;
  }
  double number = 0;
  if (ok && points <= 1) {  // "." in any locale
    const char* const end = text.data() + text.size();
    const std::from_chars_result read = std::from_chars(text.data(), end, number);
    ok = read.ec == std::errc() && read.ptr == end;
  }
  if (!ok || points > 1 || !(number >= low && number <= high)) {
    problem = std::string(what) + " must be a number of seconds from " +
              components::CsvNumber(low) + " to " + components::CsvNumber(high) + ", not '" + text +
              "'";
    return false;
  }
  value = number;
  return true;
}

// Whether a host is written "nts://...", the scheme in any letter case.
bool NamesNtsHost(const std::string& host) {
  const std::string_view scheme = "nts://";
  if (host.size() < scheme.size()) return false;
  for (std::size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(host[i])) != scheme[i]) return false;
  return true;
}

// One character of UTF-8 text from `at`, which moves past it; U+FFFD for a byte that starts
// no well-formed character (the byte alone is passed).
char32_t NextCharacter(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  int length = lead < 0x80                   ? 1
               : lead >= 0xC2 && lead < 0xE0 ? 2
               : lead >= 0xE0 && lead < 0xF0 ? 3
               : lead >= 0xF0 && lead < 0xF5 ? 4
                                             : 0;
  char32_t code = length == 1   ? lead
                  : length == 2 ? lead & 0x1F
                  : length == 3 ? lead & 0x0F
                                : lead & 0x07;
  bool well_formed = length > 0 && at + length <= text.size();
  for (int i = 1; well_formed && i < length; ++i) {
    well_formed = (byte(at + i) & 0xC0) == 0x80;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if (well_formed && ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
                      (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF))
    well_formed = false;
  if (!well_formed) {
    ++at;
    return 0xFFFD;
  }
  at += length;
  return code;
}

// The reference identifier as the window's field shows it (up to the first zero character),
// with every character that is not printable ASCII, and the backslash itself, written as \xNN
// (per UTF-16 unit, as the window's text holds it): the server chooses these bytes, and raw they
// could move the cursor, clear the terminal or forge lines of output.
std::string PrintableReference(const std::string& text) {
  std::string printable;
  const auto escape = [&printable](char32_t unit) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(unit));
    printable += hex;
  };
  for (std::size_t at = 0; at < text.size();) {
    const char32_t code = NextCharacter(text, at);
    if (code == 0) break;
    if (code >= 0x20 && code <= 0x7E && code != '\\') {
      printable += static_cast<char>(code);
    } else if (code > 0xFFFF) {
      escape(0xD800 + ((code - 0x10000) >> 10));
      escape(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      escape(code);
    }
  }
  return printable;
}

// The reference identifier as the window's field shows it: up to the first zero character.
std::string ShownReference(const std::string& reference) {
  return reference.substr(0, reference.find('\0'));
}

// One exchange's result as the window would show it.
struct Sample {
  int64_t sampled_at_ms = 0;  // UTC, when the exchange began, milliseconds since 1970
  bool replied = false;       // a reply of 48 bytes arrived (valid or not)
  ntp::TNTPInfo info;
  double error = 0;  // seconds, positive when the computer's clock is ahead
  ntp::TPreciseExchange precise;
  double precise_error = 0;  // seconds, from the full-resolution readings
};

// What one host gave: its samples in order, the statistics over its valid errors, and the
// message of the error that ended its samples early, if any, on one line.
struct HostRun {
  std::string host;
  std::vector<Sample> samples;
  std::vector<double> errors;  // the valid samples' errors, oldest first
  components::TErrorStatistics statistics;
  double last_accepted = 0;  // local date-time of the newest valid sample
  std::optional<std::string> failure;

  bool AnyValid() const { return !errors.empty(); }
};

// Milliseconds since 1970 UTC now, as the computer's clock reads.
int64_t UtcNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// One exchange with the host; transport errors pass out. The client's record is emptied first,
// so a silent sample shows zeros, never the previous sample's reply.
Sample QueryOnce(ntp::TNTPClient& client) {
  client.Info = ntp::TNTPInfo{};
  client.Precise = ntp::TPreciseExchange{};
  Sample sample;
  sample.sampled_at_ms = UtcNowMs();
  client.SetActive(true);
  client.QueryServerTime();
  client.SetActive(false);
  sample.info = client.Info;
  sample.replied = client.Info.DestinationTime != 0;  // set only by a decoded reply
  sample.precise = client.Precise;
  sample.precise_error = sample.replied ? -client.Precise.ClockOffset : 0;
  sample.error =
      static_cast<double>(-static_cast<long double>(client.GetClockOffset()) * 24 * 3600);
  return sample;
}

// Asks one host `count` times, the starts of two samples `interval_s` apart. A transport error
// ends this host's samples (the next one would meet it again) and is kept as its failure.
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
      Sample sample = QueryOnce(client);
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
    run.failure = tempomere_query::SocketFailureMessage(e.ErrorCode(), host);
  } catch (const framework::Exception& e) {
    run.failure = tempomere_query::OneLine(e.Message());
  }
  return run;
}

void PrintSample(std::ostream& out, const Sample& sample) {
  const ntp::TNTPInfo& info = sample.info;
  out << "Date - Local Zone: " << ShortDate(info.ServerTime) << "\n"
      << "Time - Local Zone: " << LongTime(info.ServerTime) << "\n"
      << "UTC Time: " << TimeOfDay(info.ServerTimeUtc) << "\n"
      << "Computer Error: " << Fixed(sample.error, 5) << "\n"
      << "Round Trip Delay: " << Fixed(info.RoundTripDelay * 24 * 3600, 5) << "\n"
      << "Version: " << int{info.Version} << "\n"
      << "Leap Indicator: " << int{info.LeapIndicator} << "\n"
      << "Stratum: " << int{info.Stratum} << "\n"
      << "Mode: " << int{info.Mode} << "\n"
      << "Precision: " << Exponent(info.Precision) << "\n"
      << "Poll Interval: " << Fixed(info.PollInterval, 5) << "\n"
      << "Root Dispersion: " << Fixed(info.RootDispersion, 5) << "\n"
      << "Root Delay: " << Fixed(info.RootDelay, 5) << "\n"
      << "Reference ID: " << PrintableReference(info.ReferenceID) << "\n"
      << "Valid: " << (info.Valid ? "Yes" : "No") << "\n";
}

void PrintPrecise(std::ostream& out, const Sample& sample) {
  const double delay = sample.replied ? sample.precise.RoundTripDelay : 0;
  out << "Precise Computer Error: " << Fixed(sample.precise_error, 9) << "\n"
      << "Precise Round Trip Delay: " << Fixed(delay, 9) << "\n";
}

// The Statistics tab's figures over the host's valid errors, in seconds to 5 decimals.
void PrintSummary(std::ostream& out, const HostRun& run) {
  const components::TErrorSummary summary = run.statistics.Summary(run.last_accepted);
  out << "Count: " << summary.Count << "\n"
      << "Time Span: " << TimeOfDay(summary.Span) << "\n"
      << "Mean: " << Fixed(summary.Mean, 5) << "\n"
      << "Min: " << Fixed(summary.Min, 5) << "\n"
      << "Max: " << Fixed(summary.Max, 5) << "\n"
      << "STD: " << Fixed(components::PopulationStdDev(run.errors), 5) << "\n"
      << "Total Drift: " << Fixed(summary.Drift.Total, 5) << "\n"
      << "Drift Per Day: " << Fixed(summary.Drift.PerDay, 5) << "\n";
}

// The text form. One host asked once prints its 15 displays and nothing else; with several
// hosts each host's block opens with a "Host:" line, samples are parted by an empty line, and
// with more than one sample the summary follows the samples.
void PrintText(std::ostream& out, const HostRun& run, const Options& options, bool first_host) {
  const bool several_hosts = options.hosts.size() > 1;
  if (several_hosts) out << (first_host ? "" : "\n") << "Host: " << run.host << "\n";
  for (std::size_t i = 0; i < run.samples.size(); ++i) {
    if (i > 0) out << "\n";
    PrintSample(out, run.samples[i]);
    if (options.precise_text) PrintPrecise(out, run.samples[i]);
  }
  if (options.count > 1 && run.AnyValid()) {
    out << "\n";
    PrintSummary(out, run);
  }
}

#if TEMPOMERE_QT
// A UTC date-time as ISO 8601 with milliseconds and a "Z".
QString IsoUtc(const QDateTime& time) {
  return time.toUTC().toString(Qt::ISODateWithMs);
}
std::string IsoUtcMs(int64_t utc_ms) {
  return IsoUtc(QDateTime::fromMSecsSinceEpoch(utc_ms, QTimeZone::utc())).toStdString();
}

// Days since 1900-01-01 00:00 UTC as ISO 8601, to the millisecond.
QString IsoUtcFromNtpDays(double days) {
  const QDateTime epoch(QDate(1900, 1, 1), QTime(0, 0), QTimeZone::utc());
  return IsoUtc(epoch.addMSecs(std::llround(days * 86400000.0)));
}

// A figure in seconds at its resolution (see components::RoundSeconds): the same value that
// the CSV form writes.
double Microseconds(double seconds) {
  return components::RoundSeconds(seconds, components::kMicrosecondDecimals);
}
double Nanoseconds(double seconds) {
  return components::RoundSeconds(seconds, components::kNanosecondDecimals);
}

QJsonObject SampleJson(const Sample& sample) {
  const ntp::TNTPInfo& info = sample.info;
  QJsonObject o;
  o["sampledAt"] = QString::fromStdString(IsoUtcMs(sample.sampled_at_ms));
  o["replied"] = sample.replied;
  // Without a reply there is no server time; the text form's zeros would read as 1900.
  o["serverTime"] = sample.replied ? QJsonValue(IsoUtcFromNtpDays(info.ServerTimeUtc))
                                   : QJsonValue(QJsonValue::Null);
  o["computerError"] = components::MillisecondFigure(sample.error);
  o["roundTripDelay"] = components::MillisecondFigure(info.RoundTripDelay * 24 * 3600);
  o["preciseComputerError"] = Nanoseconds(sample.precise_error);
  o["preciseRoundTripDelay"] = Nanoseconds(sample.replied ? sample.precise.RoundTripDelay : 0);
  o["version"] = info.Version;
  o["leapIndicator"] = info.LeapIndicator;
  o["stratum"] = info.Stratum;
  o["mode"] = info.Mode;
  o["precision"] = info.Precision;
  o["pollInterval"] = info.PollInterval;
  o["rootDispersion"] = info.RootDispersion;
  o["rootDelay"] = info.RootDelay;
  o["referenceId"] = QString::fromStdString(ShownReference(info.ReferenceID));
  o["valid"] = info.Valid;
  return o;
}

QJsonObject HostJson(const HostRun& run, const Options& options) {
  QJsonObject o;
  o["host"] = QString::fromStdString(run.host);
  o["port"] = options.port;
  o["valid"] = run.AnyValid();
  if (run.failure) o["error"] = QString::fromStdString(*run.failure);
  QJsonArray samples;
  for (const Sample& sample : run.samples) samples.append(SampleJson(sample));
  o["samples"] = samples;
  if (options.count > 1 && run.AnyValid()) {
    const components::TErrorSummary summary = run.statistics.Summary(run.last_accepted);
    QJsonObject s;
    s["count"] = summary.Count;
    // Seconds (and seconds per day) to the microsecond, as the errors they are made of.
    s["timeSpan"] = Microseconds(summary.Span * 24 * 3600);
    s["mean"] = Microseconds(summary.Mean);
    s["min"] = Microseconds(summary.Min);
    s["max"] = Microseconds(summary.Max);
    s["std"] = Microseconds(components::PopulationStdDev(run.errors));
    s["totalDrift"] = Microseconds(summary.Drift.Total);
    s["driftPerDay"] = Microseconds(summary.Drift.PerDay);
    o["summary"] = s;
  }
  return o;
}

// The hosts' runs as one JSON document.
class JsonDocument {
 public:
  void Add(const HostRun& run, const Options& options) { hosts_.append(HostJson(run, options)); }
  std::string Text() const {
    QJsonObject document;
    document["hosts"] = hosts_;
    return QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
  }

 private:
  QJsonArray hosts_;
};
constexpr bool kJsonAvailable = true;
#else
std::string IsoUtcMs(int64_t utc_ms) {
  return components::IsoUtc(utc_ms);
}

std::string IsoUtcFromNtpDays(double days) {
  return components::IsoUtc(std::llround(days * 86400000.0) - kNtpEpochToUnixMs);
}

// No JSON writer without Qt: --json is refused before any host is asked.
class JsonDocument {
 public:
  void Add(const HostRun&, const Options&) {}
  std::string Text() const { return {}; }
};
constexpr bool kJsonAvailable = false;
#endif

const char* const kCsvHeader =
    "host,sample,sampled_at,replied,server_time,computer_error,round_trip_delay,"
    "precise_computer_error,precise_round_trip_delay,version,"
    "leap_indicator,stratum,mode,precision,poll_interval,root_dispersion,root_delay,"
    "reference_id,valid";

std::string ServerTimeIso(const Sample& sample) {
#if TEMPOMERE_QT
  return IsoUtcFromNtpDays(sample.info.ServerTimeUtc).toStdString();
#else
  return IsoUtcFromNtpDays(sample.info.ServerTimeUtc);
#endif
}

void PrintCsvRows(std::ostream& out, const HostRun& run) {
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
        IsoUtcMs(sample.sampled_at_ms),
        sample.replied ? "true" : "false",
        sample.replied ? ServerTimeIso(sample) : std::string(),
        CsvSeconds(components::MillisecondFigure(sample.error), kMicrosecondDecimals),
        CsvSeconds(components::MillisecondFigure(info.RoundTripDelay * 24 * 3600),
                   kMicrosecondDecimals),
        CsvSeconds(sample.precise_error, kNanosecondDecimals),
        CsvSeconds(sample.replied ? sample.precise.RoundTripDelay : 0, kNanosecondDecimals),
        std::to_string(info.Version),
        std::to_string(info.LeapIndicator),
        std::to_string(info.Stratum),
        std::to_string(info.Mode),
        CsvNumber(info.Precision),
        CsvNumber(info.PollInterval),
        CsvNumber(info.RootDispersion),
        CsvNumber(info.RootDelay),
        CsvField(ShownReference(info.ReferenceID)),
        info.Valid ? "true" : "false",
    };
    for (std::size_t f = 0; f < fields.size(); ++f) out << (f > 0 ? "," : "") << fields[f];
    out << components::kCsvRecordEnd;
  }
}

// The command line's arguments after the program's name, as UTF-8.
std::vector<std::string> Arguments(int argc, char** argv) {
#if TEMPOMERE_QT
  (void)argc, (void)argv;
  std::vector<std::string> args;
  const QStringList all = QCoreApplication::arguments();
  for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
  return args;
#else
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
#if TEMPOMERE_QT
  QCoreApplication app(argc, argv);
#endif
#if defined(_WIN32)
  // Line ends as written: "\n" for the text form, CRLF for CSV records, never doubled.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::vector<std::string> args = Arguments(argc, argv);

  Options options;
  std::string problem;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help") {
      std::cout << kUsage << "\n" << kHelp;
      return kExitValid;
    }
    if (a == "--version") {
      std::cout << "tempomere-query " << TEMPOMERE_VERSION << "\n";
      return kExitValid;
    }
    if (a == "-p" || a == "-t" || a == "-c" || a == "-i") {
      if (i + 1 >= args.size()) return Usage(a + " needs a value");
      const std::string value = args[++i];
      bool ok = false;
      options.port_given = options.port_given || a == "-p";
      if (a == "-p")
        ok = ReadNumber(value, kLowestPort, kHighestPort, "PORT", options.port, problem);
      else if (a == "-t")
        ok = ReadNumber(value, kShortestTimeout, kLongestTimeout, "TIMEOUT_MS", options.timeout_ms,
                        problem);
      else if (a == "-c")
        ok = ReadNumber(value, 1, kMostSamples, "COUNT", options.count, problem);
      else
        ok = ReadSeconds(value, kShortestInterval, kLongestInterval, "SECONDS", options.interval_s,
                         problem);
      if (!ok) return Usage(problem);
    } else if (a == "-4" || a == "-6") {
      const ntp::TIdFamilyChoice family =
          a == "-4" ? ntp::TIdFamilyChoice::IPv4Only : ntp::TIdFamilyChoice::IPv6Only;
      if (options.family != ntp::TIdFamilyChoice::Any && options.family != family)
        return Usage("-4 and -6 cannot be given together");
      options.family = family;
    } else if (a == "--precise") {
      options.precise_text = true;
    } else if (a == "--nts") {
      options.nts = true;
    } else if (a == "--ca-file") {
      if (i + 1 >= args.size()) return Usage("--ca-file needs a value");
      options.ca_file = args[++i];
    } else if (a == "--json" || a == "--csv") {
      const OutputForm form = a == "--json" ? OutputForm::Json : OutputForm::Csv;
      if (options.form != OutputForm::Text && options.form != form)
        return Usage("--json and --csv cannot be given together");
      options.form = form;
    } else if (a.size() > 1 && a.front() == '-') {
      return Usage("unknown option " + a);
    } else {
      options.hosts.push_back(a);
    }
  }
  if (options.hosts.empty()) return Usage("HOST is missing");
  if (options.nts)
    for (std::string& host : options.hosts)
      if (!NamesNtsHost(host)) host = "nts://" + host;
  if (options.port_given)
    for (const std::string& host : options.hosts)
      if (NamesNtsHost(host))
        return Usage(
            "-p cannot be used with an NTS host: its key establishment names the NTP port "
            "(write nts://NAME:PORT for the key-establishment port)");
  if (options.form == OutputForm::Json && !kJsonAvailable) {
    std::cerr << "--json is not available in this build (made without Qt, whose JSON writer "
                 "it uses); --csv gives the same figures\n";
    return kExitError;
  }

  std::ostream& out = std::cout;
  std::ostream& err = std::cerr;
  bool every_host_valid = true;
  bool any_failure = false;
  JsonDocument json;  // written once every host has been asked
  if (options.form == OutputForm::Csv) out << kCsvHeader << components::kCsvRecordEnd;
  for (std::size_t h = 0; h < options.hosts.size(); ++h) {
    const HostRun run = AskHost(options.hosts[h], options);
    switch (options.form) {
      case OutputForm::Text:
        // A host whose first exchange failed has nothing to show but the message.
        if (!run.samples.empty()) PrintText(out, run, options, h == 0);
        break;
      case OutputForm::Json:
        json.Add(run, options);
        break;
      case OutputForm::Csv:
        PrintCsvRows(out, run);
        break;
    }
    out.flush();
    if (run.failure) {
      any_failure = true;
      if (options.hosts.size() > 1) err << tempomere_query::EscapedControls(run.host) << ": ";
      err << *run.failure << "\n";
      err.flush();
    }
    if (!run.AnyValid()) every_host_valid = false;
  }
  if (options.form == OutputForm::Json) {
    out << json.Text();
    out.flush();
  }
  if (any_failure) return kExitError;
  return every_host_valid ? kExitValid : kExitNoValidReply;
}
