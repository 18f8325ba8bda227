#include "tools/tempomere-query/QueryOptions.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <memory>
#include <system_error>
#include <type_traits>
#include <variant>

#include "components/SampleLog.h"
#include "ntp/NTPClient.h"

namespace tempomere_query {

namespace {

constexpr std::string_view kUsage =
    "usage: tempomere-query [-p PORT] [-t TIMEOUT_MS] [-c COUNT] [-i SECONDS] [-b N] [--precise]\n"
    "                      [-4 | -6] [--json | --csv] [--nts] [--ca-file FILE] [--journal FILE] "
    "HOST...\n"
    "       tempomere-query --time-service [--json]\n"
    "       tempomere-query --help | --version\n";

// The help before the options' rows.
constexpr const char* kAbout =
    "Asks each HOST in turn for the time by SNTP, as the Tempomere window's measurement cycle\n"
    "does, and prints the computer's error (positive when its clock is ahead) with the reply.\n"
    "\n"
    "HOST  a name, \"localhost\", a dotted IPv4 address, or an IPv6 address, bare or in\n"
    "      brackets (::1, [2001:db8::123]). A name with an IPv4 address is asked there; a name\n"
    "      with only IPv6 addresses is asked at the first of them. nts://NAME[:PORT] asks with\n"
    "      Network Time Security; its PORT is the key-establishment port (default 4460).\n";

// The help after the options' rows.
constexpr const char* kForms =
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

// A number on the command line: decimal digits only, or seconds, digits with at most one "."
// among or after them (in any locale). Nothing else: no sign, exponent or blanks.
enum class NumberKind { Whole, Seconds };

struct NumberOption {
  const char* flag;
  const char* name;  // the value's name in the usage, the help and the messages
  NumberKind kind;
  double low;   // the smallest value taken
  double high;  // the largest value taken
  std::variant<int Options::*, double Options::*> value;
  const char* help;  // "{range}" and "{default}" are filled in
};

constexpr NumberOption kNumberOptions[] = {
    // A server listens on a port 1..65535; port 0 cannot be sent to.
    {"-p", "PORT", NumberKind::Whole, 1, 65535, &Options::port,
     "the servers' UDP port, {range} (default {default})"},
    // Milliseconds to wait for the reply. A wait of 0 or less ends before any reply can come,
    // and more than a day is surely a slip of the keyboard.
    {"-t", "TIMEOUT_MS", NumberKind::Whole, 1, 86400000, &Options::timeout_ms,
     "how long to wait for each reply, {range} ms (default {default})"},
    // Samples per host, and the seconds between the starts of two samples: a count beyond a
    // million or a pause beyond a day is surely a slip of the keyboard.
    {"-c", "COUNT", NumberKind::Whole, 1, 1000000, &Options::count,
     "samples per host, {range} (default {default}); with more than one, a summary\n"
     "of the valid ones follows: count, time span, mean, min, max, standard\n"
     "deviation, total drift and drift per day, as the window's Statistics tab"},
    {"-i", "SECONDS", NumberKind::Seconds, 0.001, 86400, &Options::interval_s,
     "time between the starts of two samples, {range}, fractions with a\n"
     "\".\" (default {default})"},
};

// Requests per sample: one is the plain exchange, and a burst of more than 64 back to back only
// loads the server. Not among the numbers above, whose ranges a usage error recalls: one
// request, the default, cannot be asked for by -b.
constexpr NumberOption kBurstOption = {
    "-b",
    "N",
    NumberKind::Whole,
    2,
    64,
    &Options::burst,
    "send N requests in quick succession per sample, {range}, and keep the one\n"
    "with the shortest round trip (NTP's clock filter); each request takes only\n"
    "the reply that echoes it"};

// A value of an option as the help and the messages write it: "65535", "0.001".
std::string NumberText(const NumberOption& option, double value) {
  if (option.kind == NumberKind::Whole) return std::to_string(std::llround(value));
  return components::CsvNumber(value);  // a "." whatever the locale
}

double DefaultOf(const NumberOption& option) {
  const Options defaults;
  return std::visit([&](auto member) { return static_cast<double>(defaults.*member); },
                    option.value);
}

std::string RangeOf(const NumberOption& option) {
  return NumberText(option, option.low) + ".." + NumberText(option, option.high);
}

std::string Filled(std::string text, std::string_view field, const std::string& value) {
  const std::size_t at = text.find(field);
  return at == std::string::npos ? text : text.replace(at, field.size(), value);
}

std::string HelpOf(const NumberOption& option) {
  return Filled(Filled(option.help, "{range}", RangeOf(option)), "{default}",
                NumberText(option, DefaultOf(option)));
}

std::string ProblemWith(const NumberOption& option, const std::string& text) {
  const char* what = option.kind == NumberKind::Whole ? " must be a whole number from "
                                                      : " must be a number of seconds from ";
  return option.name + std::string(what) + NumberText(option, option.low) + " to " +
         NumberText(option, option.high) + ", not '" + text + "'";
}

// The number `text` writes, when it is written as `option` takes it and lies in its range.
// Only digits and points are looked at: from_chars would also take a sign, and in seconds an
// exponent, "inf" or "nan". It must then read the whole text, which leaves no second point, nor
// a point in a whole number.
std::optional<double> ReadNumber(const NumberOption& option, const std::string& text) {
  const bool digits_and_points = std::all_of(
      text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
  if (!digits_and_points) return std::nullopt;
  const char* const end = text.data() + text.size();
  double number = 0;
  std::from_chars_result read{};
  if (option.kind == NumberKind::Whole) {
    long long integer = 0;  // a number too large for it is out of range
    read = std::from_chars(text.data(), end, integer);
    number = static_cast<double>(integer);
  } else {
    read = std::from_chars(text.data(), end, number);
  }
  if (read.ec != std::errc() || read.ptr != end || !(number >= option.low && number <= option.high))
    return std::nullopt;
  return number;
}

// The usage error's reminder of the numbers' ranges, two to a line.
std::string RangesReminder() {
  std::string reminder;
  const std::size_t count = std::size(kNumberOptions);
  for (std::size_t i = 0; i < count; ++i) {
    const NumberOption& option = kNumberOptions[i];
    reminder += (i % 2 == 0 ? "  " : " ") + std::string(option.name) + " " + RangeOf(option) +
                " (default " + NumberText(option, DefaultOf(option)) + ")";
    reminder += i + 1 == count ? "; --help tells more\n" : (i % 2 == 0 ? "," : ",\n");
  }
  return reminder;
}

// The help: the usage, what the tool does, one row per option (its names and its value's name
// in a column 17 wide, then its text) and the forms of the output.
class HelpLayout : public CLI::Formatter {
 public:
  HelpLayout() { column_width(17); }

  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    std::string rows;
    const auto shown = [](const CLI::Option* option) { return !option->get_group().empty(); };
    for (const CLI::Option* option : app->get_options(shown)) rows += make_option(option, false);
    return std::string(kUsage) + "\n" + app->get_description() + "\n" + rows + "\n" +
           app->get_footer();
  }
  std::string make_option_name(const CLI::Option* option, bool) const override {
    std::string names;
    for (const std::string& name : option->get_snames())
      names += (names.empty() ? "-" : ", -") + name;
    for (const std::string& name : option->get_lnames())
      names += (names.empty() ? "--" : ", --") + name;
    return names;
  }
  std::string make_option_opts(const CLI::Option* option) const override {
    return option->get_type_size() == 0 ? "" : " " + option->get_type_name();
  }
};

// A problem with the command line, said as a usage error.
struct UsageProblem {
  std::string text;
};
// An option that ends the reading with a text of its own: --help, --version.
struct Answered {
  std::string text;
};

// Reads the arguments in order: CLI11 runs each option's callback as it meets the option, so
// the first problem on the command line is the one said. What matches no option is kept aside:
// a host, or, when it starts with "-", an unknown option.
class Reader {
 public:
  Reader(const std::vector<std::string>& arguments, std::string_view version);
  CommandLine Read();

 private:
  void DefineNumber(const NumberOption& option);
  void DefineFlags();    // --precise, -4 and -6, --nts, --ca-file
  void DefineForms();    // --json, --csv
  void DefineAnswers();  // --help, --version
  // Called as each option is read (`value`: the value it was given). Refuses an unknown option
  // met before it, and the forms CLI11 reads besides the tool's own ("-p123",
  // "--ca-file=FILE", "--json=1", "-46"): each option, and each value, is an argument of its
  // own, as the tool has always taken them.
  void Met(std::string_view flag, const std::string* value = nullptr) const;
  void RefuseUnknownBefore() const;
  std::optional<std::string> FirstUnknown() const;
  CommandLine Refused(const std::string& problem) const;

  const std::vector<std::string>& arguments_;
  std::string version_;
  CLI::App app_;
  std::vector<std::string> pending_;  // the arguments CLI11 has yet to read, last first
  Options options_;
};

Reader::Reader(const std::vector<std::string>& arguments, std::string_view version)
    : arguments_(arguments), version_(version), app_(kAbout, "tempomere-query") {
  app_.formatter(std::make_shared<HelpLayout>());
  app_.footer(kForms);
  app_.set_help_flag();                     // the tool's own --help, read in order with the others
  app_.allow_extras();                      // hosts, and unknown options said in order
  app_.allow_windows_style_options(false);  // "/x" is no option on Windows either
  for (const NumberOption& option : kNumberOptions) DefineNumber(option);
  DefineNumber(kBurstOption);
  DefineFlags();
  DefineForms();
  DefineAnswers();
}

void Reader::DefineNumber(const NumberOption& option) {
  app_.add_option_function<std::string>(
          option.flag,
          [this, &option](const std::string& text) {
            Met(option.flag, &text);
            const std::optional<double> number = ReadNumber(option, text);
            if (!number) throw UsageProblem{ProblemWith(option, text)};
            std::visit(
                [&](auto member) {
                  using Value = std::remove_reference_t<decltype(options_.*member)>;
                  options_.*member = static_cast<Value>(*number);
                },
                option.value);
          },
          HelpOf(option))
      ->type_name(option.name)
      ->trigger_on_parse();
}

void Reader::DefineFlags() {
  app_.add_flag("--precise")
      ->each([this](const std::string&) {
        Met("--precise");
        options_.precise_text = true;
      })
      ->description(
          "the text form adds the offset and delay from full-resolution readings\n"
          "(\"Precise Computer Error\", \"Precise Round Trip Delay\", 9 decimals)")
      ->trigger_on_parse();
  app_.add_flag("-4{4},-6{6}")
      ->each([this](const std::string& given) {
        Met("-" + given);
        const ntp::TIdFamilyChoice family =
            given == "4" ? ntp::TIdFamilyChoice::IPv4Only : ntp::TIdFamilyChoice::IPv6Only;
        if (options_.family != ntp::TIdFamilyChoice::Any && options_.family != family)
          throw UsageProblem{"-4 and -6 cannot be given together"};
        options_.family = family;
      })
      ->description("use only IPv4 or only IPv6 addresses (-6 takes \"localhost\" as ::1)")
      ->trigger_on_parse();
  app_.add_flag("--nts")
      ->each([this](const std::string&) {
        Met("--nts");
        options_.nts = true;
      })
      ->description(
          "ask every HOST with Network Time Security, as nts://HOST (-p is then\n"
          "refused: key establishment names the NTP port)")
      ->trigger_on_parse();
  app_.add_option_function<std::string>("--ca-file",
                                        [this](const std::string& file) {
                                          Met("--ca-file", &file);
                                          options_.ca_file = file;
                                        })
      ->description("trust the certificates FILE holds for NTS instead of the system's")
      ->type_name("FILE")
      ->trigger_on_parse();
  app_.add_flag("--time-service")
      ->each([this](const std::string&) {
        Met("--time-service");
        options_.time_service = true;
      })
      ->description(
          "instead of asking hosts: whether network time synchronisation is on and\n"
          "synchronised (systemd-timedated), which service runs, and the kernel\n"
          "clock's status; with --json as {\"timeService\": {...}}")
      ->trigger_on_parse();
  app_.add_option_function<std::string>("--journal",
                                        [this](const std::string& file) {
                                          Met("--journal", &file);
                                          options_.journal = file;
                                        })
      ->description(
          "append every accepted sample to the journal of runs FILE (SQLite), one\n"
          "run per host, as the window keeps its runs")
      ->type_name("FILE")
      ->trigger_on_parse();
}

void Reader::DefineForms() {
  const auto form = [this](const char* flag, OutputForm chosen) {
    Met(flag);
    if (options_.form != OutputForm::Text && options_.form != chosen)
      throw UsageProblem{"--json and --csv cannot be given together"};
    options_.form = chosen;
  };
  app_.add_flag("--json")
      ->each([form](const std::string&) { form("--json", OutputForm::Json); })
      ->description(
          "one JSON document: {\"hosts\": [...]}, one object per host with host,\n"
          "port, valid, error (when it could not be asked), samples (sampledAt,\n"
          "replied, serverTime, computerError, roundTripDelay, preciseComputerError,\n"
          "preciseRoundTripDelay, version, leapIndicator, stratum, mode, precision,\n"
          "pollInterval, rootDispersion, rootDelay, referenceId, valid, t1Source and\n"
          "t4Source: \"kernel\" or \"user\", the clock of the precise T1 and T4; with -b\n"
          "also burst: sent and kept, the kept request's number from 1) and, with\n"
          "more than one sample, summary (count, timeSpan, mean, min, max, std,\n"
          "totalDrift, driftPerDay). Seconds as numbers, to the microsecond (the\n"
          "precise ones to the nanosecond); times as ISO 8601 UTC.")
      ->trigger_on_parse();
  app_.add_flag("--csv")
      ->each([form](const std::string&) { form("--csv", OutputForm::Csv); })
      ->description(
          "CSV (RFC 4180, CRLF line ends): a header and one record per sample:\n"
          "host, sample (1, 2, ...) and the sample fields above in snake_case\n"
          "(sampled_at, ..., reference_id, valid, t1_source, t4_source); numbers\n"
          "with a \".\" whatever the locale, seconds as in JSON (at most 6 or 9\n"
          "decimals), no summary")
      ->trigger_on_parse();
}

void Reader::DefineAnswers() {
  app_.add_flag("--help")
      ->each([this](const std::string&) {
        Met("--help");
        throw Answered{app_.help()};
      })
      ->description("this text;  --version  the program's version")
      ->trigger_on_parse();
  app_.add_flag("--version")
      ->each([this](const std::string&) {
        Met("--version");
        throw Answered{"tempomere-query " + version_ + "\n"};
      })
      ->group("")  // in the row of --help
      ->trigger_on_parse();
}

void Reader::Met(std::string_view flag, const std::string* value) const {
  RefuseUnknownBefore();
  const std::size_t read = arguments_.size() - pending_.size();
  // The option's own argument: the last one read, or the one before its value.
  const bool value_alone = value && read >= 2 && arguments_[read - 1] == *value;
  const std::string& written = arguments_[read - (value_alone ? 2 : 1)];
  if (written != flag) throw UsageProblem{"unknown option " + written};
}

std::optional<std::string> Reader::FirstUnknown() const {
  for (const std::string& argument : app_.remaining())
    if (argument.size() > 1 && argument.front() == '-') return argument;
  return std::nullopt;
}

void Reader::RefuseUnknownBefore() const {
  if (const std::optional<std::string> unknown = FirstUnknown())
    throw UsageProblem{"unknown option " + *unknown};
}

CommandLine Reader::Refused(const std::string& problem) const {
  CommandLine refused;
  refused.err = problem + "\n" + std::string(kUsage) + RangesReminder();
  refused.exit_status = kExitError;
  return refused;
}

CommandLine Reader::Read() {
  try {
    pending_.assign(arguments_.rbegin(), arguments_.rend());
    app_.parse(pending_);
    RefuseUnknownBefore();
  } catch (const UsageProblem& problem) {
    return Refused(problem.text);
  } catch (const Answered& answered) {
    return CommandLine{std::nullopt, answered.text, {}, kExitValid};
  } catch (const CLI::ArgumentMismatch&) {
    // An option that takes a value was the last argument.
    if (const std::optional<std::string> unknown = FirstUnknown())
      return Refused("unknown option " + *unknown);
    return Refused(arguments_.back() + " needs a value");
  } catch (const CLI::ParseError& error) {
    return Refused(error.what());
  }
  options_.hosts = app_.remaining();
  if (options_.time_service) {
    if (!options_.hosts.empty()) return Refused("--time-service takes no HOST");
    if (options_.form == OutputForm::Csv) return Refused("--time-service has no CSV form");
    return CommandLine{options_, {}, {}, kExitValid};
  }
  if (options_.hosts.empty()) return Refused("HOST is missing");
  if (options_.nts)
    for (std::string& host : options_.hosts)
      if (!ntp::NamesNtsHost(host)) host = "nts://" + host;
  if (app_.count("-p") > 0 &&
      std::any_of(options_.hosts.begin(), options_.hosts.end(), ntp::NamesNtsHost))
    return Refused(
        "-p cannot be used with an NTS host: its key establishment names the NTP port "
        "(write nts://NAME:PORT for the key-establishment port)");
  return CommandLine{options_, {}, {}, kExitValid};
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& arguments, std::string_view version) {
  return Reader(arguments, version).Read();
}

}  // namespace tempomere_query
