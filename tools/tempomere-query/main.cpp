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
// usage.
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>
#include <QTimeZone>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include "components/ErrorStatistics.h"
#include "components/SampleLog.h"
#include "framework/DisplayFormats.h"
#include "framework/SysUtils.h"
#include "ntp/NTPClient.h"

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

enum class OutputForm { Text, Json, Csv };

struct Options {
  QStringList hosts;
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
  QString ca_file;
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
    "                 totalDrift, driftPerDay). Seconds as numbers, times as ISO 8601 UTC.\n"
    "  --csv          CSV (RFC 4180, CRLF line ends): a header and one record per sample:\n"
    "                 host, sample (1, 2, ...) and the sample fields above in snake_case\n"
    "                 (sampled_at, ..., reference_id, valid); numbers with a \".\" whatever\n"
    "                 the locale, no summary\n"
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
    "standard error, prefixed with the host when several are asked.\n";

int Usage(const QString& problem) {
  QTextStream err(stderr);
  err << problem << "\n"
      << kUsage << "  PORT 1..65535 (default 123), TIMEOUT_MS 1..86400000 (default 500),\n"
      << "  COUNT 1..1000000 (default 1), SECONDS 0.001..86400 (default 1); --help tells more\n";
  return kExitError;
}

// Reads a whole number argument: decimal digits only, nothing before or after them, within
// [low, high]. False, with the problem said, for anything else (a sign, blanks, trailing junk,
// a number too large for any type).
bool ReadNumber(const QString& text, int low, int high, const char* what, int& value,
                QString& problem) {
  const QByteArray digits = text.toLatin1();
  bool ok = !digits.isEmpty();
  long long number = 0;
  for (char c : digits) {
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
    problem = QString("%1 must be a whole number from %2 to %3, not '%4'")
                  .arg(what)
                  .arg(low)
                  .arg(high)
                  .arg(text);
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

// Reads a number of seconds: decimal digits with at most one "." among or after them, nothing
// else (no sign, exponent or blanks), within [low, high].
bool ReadSeconds(const QString& text, double low, double high, const char* what, double& value,
                 QString& problem) {
  const QByteArray chars = text.toLatin1();
  bool ok = !chars.isEmpty() && chars != ".";
  int points = 0;
  for (char c : chars) {
    if (c == '.')
      ++points;
    else if (c < '0' || c > '9')
      ok = false;
  }
  double number = 0;
  if (ok && points <= 1) number = QString::fromLatin1(chars).toDouble(&ok);  // "." in any locale
  if (!ok || points > 1 || !(number >= low && number <= high)) {
    problem = QString("%1 must be a number of seconds from %2 to %3, not '%4'")
                  .arg(what)
                  .arg(low)
                  .arg(high)
                  .arg(text);
    return false;
  }
  value = number;
  return true;
}

// The reference identifier as the window's field shows it (up to the first zero character),
// with every character that is not printable ASCII, and the backslash itself, written as \xNN:
// the server chooses these bytes, and raw they could move the cursor, clear the terminal or
// forge lines of output.
QString PrintableReference(const QString& text) {
  const qsizetype zero = text.indexOf(QChar(0));
  const QString shown = zero < 0 ? text : text.left(zero);
  QString printable;
  for (QChar c : shown) {
    const char16_t code = c.unicode();
    if (code >= 0x20 && code <= 0x7E && code != '\\')
      printable += c;
    else
      printable += "\\x" + QString::number(code, 16).toUpper().rightJustified(2, '0');
  }
  return printable;
}

// The reference identifier as the window's field shows it: up to the first zero character.
QString ShownReference(const std::string& reference) {
  const QString text = QString::fromStdString(reference);
  const qsizetype zero = text.indexOf(QChar(0));
  return zero < 0 ? text : text.left(zero);
}

// One exchange's result as the window would show it.
struct Sample {
  QDateTime sampled_at;  // UTC, when the exchange began
  bool replied = false;  // a reply of 48 bytes arrived (valid or not)
  ntp::TNTPInfo info;
  double error = 0;  // seconds, positive when the computer's clock is ahead
  ntp::TPreciseExchange precise;
  double precise_error = 0;  // seconds, from the full-resolution readings
};

// What one host gave: its samples in order, the statistics over its valid errors, and the
// message of the error that ended its samples early, if any.
struct HostRun {
  QString host;
  std::vector<Sample> samples;
  std::vector<double> errors;  // the valid samples' errors, oldest first
  components::TErrorStatistics statistics;
  double last_accepted = 0;  // local date-time of the newest valid sample
  std::optional<QString> failure;

  bool AnyValid() const { return !errors.empty(); }
};

// One exchange with the host; transport errors pass out. The client's record is emptied first,
// so a silent sample shows zeros, never the previous sample's reply.
Sample QueryOnce(ntp::TNTPClient& client) {
  client.Info = ntp::TNTPInfo{};
  client.Precise = ntp::TPreciseExchange{};
  Sample sample;
  sample.sampled_at = QDateTime::currentDateTimeUtc();
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
HostRun AskHost(const QString& host, const Options& options) {
  HostRun run;
  run.host = host;
  using Clock = std::chrono::steady_clock;
  const auto interval = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(options.interval_s));
  auto next = Clock::now();
  try {
    ntp::TNTPClient client;
    client.SetReceiveTimeout(options.timeout_ms);
    client.SetHost(host.toStdString());
    client.SetPort(options.port);
    client.SetHostFamily(options.family);
    client.Nts.SetCaFile(options.ca_file.toStdString());
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
  } catch (const framework::Exception& e) {
    run.failure = QString::fromStdString(e.Message());
  }
  return run;
}

void PrintSample(QTextStream& out, const Sample& sample) {
  const ntp::TNTPInfo& info = sample.info;
  using namespace framework;
  out << "Date - Local Zone: " << FormatShortDate(info.ServerTime) << "\n"
      << "Time - Local Zone: " << FormatLongTime(info.ServerTime) << "\n"
      << "UTC Time: " << FormatTimeOfDay(info.ServerTimeUtc) << "\n"
      << "Computer Error: " << FormatFixed(sample.error, 5) << "\n"
      << "Round Trip Delay: " << FormatFixed(info.RoundTripDelay * 24 * 3600, 5) << "\n"
      << "Version: " << info.Version << "\n"
      << "Leap Indicator: " << info.LeapIndicator << "\n"
      << "Stratum: " << info.Stratum << "\n"
      << "Mode: " << info.Mode << "\n"
      << "Precision: " << FormatExponent(info.Precision) << "\n"
      << "Poll Interval: " << FormatFixed(info.PollInterval, 5) << "\n"
      << "Root Dispersion: " << FormatFixed(info.RootDispersion, 5) << "\n"
      << "Root Delay: " << FormatFixed(info.RootDelay, 5) << "\n"
      << "Reference ID: " << PrintableReference(QString::fromStdString(info.ReferenceID)) << "\n"
      << "Valid: " << (info.Valid ? "Yes" : "No") << "\n";
}

void PrintPrecise(QTextStream& out, const Sample& sample) {
  using framework::FormatFixed;
  const double delay = sample.replied ? sample.precise.RoundTripDelay : 0;
  out << "Precise Computer Error: " << FormatFixed(sample.precise_error, 9) << "\n"
      << "Precise Round Trip Delay: " << FormatFixed(delay, 9) << "\n";
}

// The Statistics tab's figures over the host's valid errors, in seconds to 5 decimals.
void PrintSummary(QTextStream& out, const HostRun& run) {
  using namespace framework;
  const components::TErrorSummary summary = run.statistics.Summary(run.last_accepted);
  out << "Count: " << summary.Count << "\n"
      << "Time Span: " << FormatTimeOfDay(summary.Span) << "\n"
      << "Mean: " << FormatFixed(summary.Mean, 5) << "\n"
      << "Min: " << FormatFixed(summary.Min, 5) << "\n"
      << "Max: " << FormatFixed(summary.Max, 5) << "\n"
      << "STD: " << FormatFixed(components::PopulationStdDev(run.errors), 5) << "\n"
      << "Total Drift: " << FormatFixed(summary.Drift.Total, 5) << "\n"
      << "Drift Per Day: " << FormatFixed(summary.Drift.PerDay, 5) << "\n";
}

// The text form. One host asked once prints its 15 displays and nothing else; with several
// hosts each host's block opens with a "Host:" line, samples are parted by an empty line, and
// with more than one sample the summary follows the samples.
void PrintText(QTextStream& out, const HostRun& run, const Options& options, bool first_host) {
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

// A UTC date-time as ISO 8601 with milliseconds and a "Z".
QString IsoUtc(const QDateTime& time) {
  return time.toUTC().toString(Qt::ISODateWithMs);
}

// Days since 1900-01-01 00:00 UTC as ISO 8601, to the millisecond.
QString IsoUtcFromNtpDays(double days) {
  const QDateTime epoch(QDate(1900, 1, 1), QTime(0, 0), QTimeZone::utc());
  return IsoUtc(epoch.addMSecs(std::llround(days * 86400000.0)));
}

QJsonObject SampleJson(const Sample& sample) {
  const ntp::TNTPInfo& info = sample.info;
  QJsonObject o;
  o["sampledAt"] = IsoUtc(sample.sampled_at);
  o["replied"] = sample.replied;
  // Without a reply there is no server time; the text form's zeros would read as 1900.
  o["serverTime"] = sample.replied ? QJsonValue(IsoUtcFromNtpDays(info.ServerTimeUtc))
                                   : QJsonValue(QJsonValue::Null);
  o["computerError"] = sample.error;
  o["roundTripDelay"] = info.RoundTripDelay * 24 * 3600;
  o["preciseComputerError"] = sample.precise_error;
  o["preciseRoundTripDelay"] = sample.replied ? sample.precise.RoundTripDelay : 0;
  o["version"] = info.Version;
  o["leapIndicator"] = info.LeapIndicator;
  o["stratum"] = info.Stratum;
  o["mode"] = info.Mode;
  o["precision"] = info.Precision;
  o["pollInterval"] = info.PollInterval;
  o["rootDispersion"] = info.RootDispersion;
  o["rootDelay"] = info.RootDelay;
  o["referenceId"] = ShownReference(info.ReferenceID);
  o["valid"] = info.Valid;
  return o;
}

QJsonObject HostJson(const HostRun& run, const Options& options) {
  QJsonObject o;
  o["host"] = run.host;
  o["port"] = options.port;
  o["valid"] = run.AnyValid();
  if (run.failure) o["error"] = *run.failure;
  QJsonArray samples;
  for (const Sample& sample : run.samples) samples.append(SampleJson(sample));
  o["samples"] = samples;
  if (options.count > 1 && run.AnyValid()) {
    const components::TErrorSummary summary = run.statistics.Summary(run.last_accepted);
    QJsonObject s;
    s["count"] = summary.Count;
    s["timeSpan"] = summary.Span * 24 * 3600;  // seconds
    s["mean"] = summary.Mean;
    s["min"] = summary.Min;
    s["max"] = summary.Max;
    s["std"] = components::PopulationStdDev(run.errors);
    s["totalDrift"] = summary.Drift.Total;
    s["driftPerDay"] = summary.Drift.PerDay;
    o["summary"] = s;
  }
  return o;
}

// The CSV rules of the window's saved samples (components/SampleLog), for Qt texts.
QString CsvField(const QString& text) {
  return QString::fromStdString(components::CsvField(text.toStdString()));
}
QString CsvNumber(double value) {
  return QString::fromStdString(components::CsvNumber(value));
}

const char* const kCsvHeader =
    "host,sample,sampled_at,replied,server_time,computer_error,round_trip_delay,"
    "precise_computer_error,precise_round_trip_delay,version,"
    "leap_indicator,stratum,mode,precision,poll_interval,root_dispersion,root_delay,"
    "reference_id,valid";

void PrintCsvRows(QTextStream& out, const HostRun& run) {
  for (std::size_t i = 0; i < run.samples.size(); ++i) {
    const Sample& sample = run.samples[i];
    const ntp::TNTPInfo& info = sample.info;
    const QStringList fields = {
        CsvField(run.host),
        QString::number(i + 1),
        IsoUtc(sample.sampled_at),
        sample.replied ? "true" : "false",
        sample.replied ? IsoUtcFromNtpDays(info.ServerTimeUtc) : QString(),
        CsvNumber(sample.error),
        CsvNumber(info.RoundTripDelay * 24 * 3600),
        CsvNumber(sample.precise_error),
        CsvNumber(sample.replied ? sample.precise.RoundTripDelay : 0),
        QString::number(info.Version),
        QString::number(info.LeapIndicator),
        QString::number(info.Stratum),
        QString::number(info.Mode),
        CsvNumber(info.Precision),
        CsvNumber(info.PollInterval),
        CsvNumber(info.RootDispersion),
        CsvNumber(info.RootDelay),
        CsvField(ShownReference(info.ReferenceID)),
        info.Valid ? "true" : "false",
    };
    out << fields.join(',') << components::kCsvRecordEnd.data();
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);

  Options options;
  QString problem;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == "--help") {
      QTextStream(stdout) << kUsage << "\n" << kHelp;
      return kExitValid;
    }
    if (a == "--version") {
      QTextStream(stdout) << "tempomere-query " << TEMPOMERE_VERSION << "\n";
      return kExitValid;
    }
    if (a == "-p" || a == "-t" || a == "-c" || a == "-i") {
      if (i + 1 >= args.size()) return Usage(QString("%1 needs a value").arg(a));
      const QString value = args[++i];
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
    } else if (a.startsWith('-') && a.size() > 1) {
      return Usage(QString("unknown option %1").arg(a));
    } else {
      options.hosts << a;
    }
  }
  if (options.hosts.isEmpty()) return Usage("HOST is missing");
  if (options.nts)
    for (QString& host : options.hosts)
      if (!host.startsWith("nts://", Qt::CaseInsensitive)) host = "nts://" + host;
  if (options.port_given)
    for (const QString& host : options.hosts)
      if (host.startsWith("nts://", Qt::CaseInsensitive))
        return Usage(
            "-p cannot be used with an NTS host: its key establishment names the NTP port "
            "(write nts://NAME:PORT for the key-establishment port)");

  QTextStream out(stdout);
  QTextStream err(stderr);
  bool every_host_valid = true;
  bool any_failure = false;
  QJsonArray hosts;  // the JSON document is written once every host has been asked
  if (options.form == OutputForm::Csv) out << kCsvHeader << components::kCsvRecordEnd.data();
  for (qsizetype h = 0; h < options.hosts.size(); ++h) {
    const HostRun run = AskHost(options.hosts[h], options);
    switch (options.form) {
      case OutputForm::Text:
        // A host whose first exchange failed has nothing to show but the message.
        if (!run.samples.empty()) PrintText(out, run, options, h == 0);
        break;
      case OutputForm::Json:
        hosts.append(HostJson(run, options));
        break;
      case OutputForm::Csv:
        PrintCsvRows(out, run);
        break;
    }
    out.flush();
    if (run.failure) {
      any_failure = true;
      if (options.hosts.size() > 1) err << run.host << ": ";
      err << *run.failure << "\n";
      err.flush();
    }
    if (!run.AnyValid()) every_host_valid = false;
  }
  if (options.form == OutputForm::Json) {
    QJsonObject document;
    document["hosts"] = hosts;
    out << QJsonDocument(document).toJson(QJsonDocument::Indented);
    out.flush();
  }
  if (any_failure) return kExitError;
  return every_host_valid ? kExitValid : kExitNoValidReply;
}
