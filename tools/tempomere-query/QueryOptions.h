#pragma once
// The tool's command line, read with CLI11. Each option is defined once, with its range and its
// text: that one definition makes the check, the usage error's message and the help. Arguments
// are read in order and the first problem is the one said. Standard C++ only.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ntp/IdGlobal.h"

namespace tempomere_query {

// Exit status: every host gave a valid reply; some host gave none (or only invalid ones); an
// error or bad usage.
inline constexpr int kExitValid = 0;
inline constexpr int kExitNoValidReply = 1;
inline constexpr int kExitError = 2;

enum class OutputForm { Text, Json, Csv };

// What to ask and how to show it; the defaults are those of an option not given.
struct Options {
  std::vector<std::string> hosts = {};  // UTF-8; with --nts each is written "nts://HOST"
  OutputForm form = OutputForm::Text;
  bool precise_text = false;  // the text form adds the full-resolution figures
  ntp::TIdFamilyChoice family = ntp::TIdFamilyChoice::Any;
  int port = 123;         // the servers' UDP port
  int timeout_ms = 500;   // how long to wait for each reply
  int count = 1;          // samples per host
  double interval_s = 1;  // seconds between the starts of two samples
  int burst = 1;          // requests per sample; of several, the shortest round trip is kept
  // Network Time Security: --nts asks each HOST as "nts://HOST"; --ca-file trusts that CA
  // instead of the system's trust store.
  bool nts = false;
  std::string ca_file = {};
  // --time-service: what the system says about its time service, instead of asking hosts.
  bool time_service = false;
  // --journal FILE: every accepted sample is appended to the journal of runs there, one run
  // per host.
  std::string journal = {};
};

// What the command line asks for: hosts to ask with these options, or a text to print and an
// exit status (the help, the version, a usage error).
struct CommandLine {
  std::optional<Options> run;
  std::string out;  // for standard output
  std::string err;  // for standard error
  int exit_status = kExitValid;
};

// Reads the arguments after the program's name (UTF-8). `version` is what --version prints.
CommandLine ReadCommandLine(const std::vector<std::string>& arguments, std::string_view version);

}  // namespace tempomere_query
