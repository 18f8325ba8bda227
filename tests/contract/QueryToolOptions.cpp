// The query tool's command line, read in the process: each row an argument vector and the
// options it gives, or the first problem said. Standard C++ only, as the reader itself; run
// under Wine for the build without Qt.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tools/tempomere-query/QueryOptions.h"

using namespace tempomere_query;
using Family = ntp::TIdFamilyChoice;

namespace {

struct Row {
  const char* name;
  std::vector<std::string> arguments;
  std::string said;      // the usage error's first line, or the start of what is printed
  Options options = {};  // when neither is said
};

auto Fields(const Options& o) {
  return std::tie(o.hosts, o.form, o.precise_text, o.family, o.port, o.timeout_ms, o.count,
                  o.interval_s, o.burst, o.nts, o.ca_file);
}

constexpr const char* kNtsWithPort =
    "-p cannot be used with an NTS host: its key establishment names the NTP port (write "
    "nts://NAME:PORT for the key-establishment port)";

const Row kRows[] = {
    {"Defaults", {"h"}, "", {.hosts = {"h"}}},
    {"EdgesOfEachRange",
     {"-p", "65535", "-t", "1", "-c", "1000000", "-i", "0.001", "h"},
     "",
     {.hosts = {"h"}, .port = 65535, .timeout_ms = 1, .count = 1000000, .interval_s = 0.001}},
    {"LeadingZerosAreDecimal",
     {"-p", "0010", "-t", "086400000", "h"},
     "",
     {.hosts = {"h"}, .port = 10, .timeout_ms = 86400000}},
    {"SecondsWithAPointAnywhere",
     {"-i", "5.", "-i", ".5", "h"},
     "",
     {.hosts = {"h"}, .interval_s = 0.5}},
    {"OptionsAfterHostsAndTheLastOneCounts",
     {"a", "-c", "3", "b", "-c", "2", "-"},
     "",
     {.hosts = {"a", "b", "-"}, .count = 2}},
    {"FormsFamilyAndFlags",
     {"--csv", "-6", "--precise", "--csv", "-6", "[::1]"},
     "",
     {.hosts = {"[::1]"},
      .form = OutputForm::Csv,
      .precise_text = true,
      .family = Family::IPv6Only}},
    {"NtsWritesEachHostAsNts",
     {"--nts", "a", "NTS://b", "-4"},
     "",
     {.hosts = {"nts://a", "NTS://b"}, .family = Family::IPv4Only, .nts = true}},
    {"CaFileTakesTheNextArgumentWhateverItIs",
     {"--ca-file", "--help", "--json", "h"},
     "",
     {.hosts = {"h"}, .form = OutputForm::Json, .ca_file = "--help"}},
    {"BurstEdgesAndTheLastOneCounts",
     {"-b", "2", "-b", "64", "h"},
     "",
     {.hosts = {"h"}, .burst = 64}},
    {"BurstOfOne", {"-b", "1", "h"}, "N must be a whole number from 2 to 64, not '1'"},
    {"BurstAboveTheRange", {"-b", "65", "h"}, "N must be a whole number from 2 to 64, not '65'"},
    {"PortZero", {"-p", "0", "h"}, "PORT must be a whole number from 1 to 65535, not '0'"},
    {"PortWithASign",
     {"-p", "+123", "h"},
     "PORT must be a whole number from 1 to 65535, not '+123'"},
    {"PortInHex", {"-p", "0x7B", "h"}, "PORT must be a whole number from 1 to 65535, not '0x7B'"},
    {"PortWrappedAt64Bits",
     {"-p", "18446744073709551739", "h"},
     "PORT must be a whole number from 1 to 65535, not '18446744073709551739'"},
    {"TimeoutPastADay",
     {"-t", "86400001", "h"},
     "TIMEOUT_MS must be a whole number from 1 to 86400000, not '86400001'"},
    {"CountFraction",
     {"-c", "1.5", "h"},
     "COUNT must be a whole number from 1 to 1000000, not '1.5'"},
    {"CountPastAMillion",
     {"-c", "1000001", "h"},
     "COUNT must be a whole number from 1 to 1000000, not '1000001'"},
    {"SecondsWithAnExponent",
     {"-i", "1e3", "h"},
     "SECONDS must be a number of seconds from 0.001 to 86400, not '1e3'"},
    {"SecondsWithTwoPoints",
     {"-i", "1.2.3", "h"},
     "SECONDS must be a number of seconds from 0.001 to 86400, not '1.2.3'"},
    {"SecondsAPointAlone",
     {"-i", ".", "h"},
     "SECONDS must be a number of seconds from 0.001 to 86400, not '.'"},
    {"SecondsEmpty",
     {"-i", "", "h"},
     "SECONDS must be a number of seconds from 0.001 to 86400, not ''"},
    {"SecondsBelowAMillisecond",
     {"-i", "0.0005", "h"},
     "SECONDS must be a number of seconds from 0.001 to 86400, not '0.0005'"},
    {"SecondsWithAComma",
     {"-i", "0,5", "h"},
     "SECONDS must be a number of seconds from 0.001 to 86400, not '0,5'"},
    {"AValueMissingAtTheEnd", {"h", "-t"}, "-t needs a value"},
    {"ANextOptionIsTakenAsTheValue",
     {"-c", "--json", "h"},
     "COUNT must be a whole number from 1 to 1000000, not '--json'"},
    {"UnknownOption", {"-x", "h"}, "unknown option -x"},
    {"ANumberIsNoOption", {"-5"}, "unknown option -5"},
    {"DoubleDash", {"--", "h"}, "unknown option --"},
    {"AValueJoinedToItsOption", {"-p123", "h"}, "unknown option -p123"},
    {"AValueAfterAnEqualsSign", {"--ca-file=x", "h"}, "unknown option --ca-file=x"},
    {"AnEmptyValueAfterAnEqualsSign", {"--ca-file=", "x", "h"}, "unknown option --ca-file="},
    {"AFlagGivenAValue", {"--precise=0", "h"}, "unknown option --precise=0"},
    {"FlagsRunTogether", {"-46", "h"}, "unknown option -46"},
    {"TheFirstProblemIsSaid", {"--bogus", "-p", "0", "h"}, "unknown option --bogus"},
    {"TheFirstProblemIsSaidAgain",
     {"-p", "0", "--bogus", "h"},
     "PORT must be a whole number from 1 to 65535, not '0'"},
    {"UnknownBeforeAMissingValue", {"--bogus", "-p"}, "unknown option --bogus"},
    {"BothFamilies", {"-4", "-4", "-6", "h"}, "-4 and -6 cannot be given together"},
    {"BothForms", {"--csv", "--json", "h"}, "--json and --csv cannot be given together"},
    {"NoHost", {"-p", "123"}, "HOST is missing"},
    {"PortWithAnNtsHost", {"-p", "123", "h", "nTs://x"}, kNtsWithPort},
    {"PortWithNts", {"--nts", "-p", "123", "h"}, kNtsWithPort},
    {"HelpEndsTheReading", {"--help", "-p", "0", "--bogus"}, "usage: tempomere-query"},
    {"AProblemBeforeHelp",
     {"-p", "0", "--help"},
     "PORT must be a whole number from 1 to 65535, not '0'"},
    {"VersionWithoutHosts", {"--version"}, "tempomere-query 9.8.7\n"},
};

class QueryToolOptions : public testing::TestWithParam<Row> {};

TEST_P(QueryToolOptions, ReadInOrder) {
  const Row& row = GetParam();
  const CommandLine read = ReadCommandLine(row.arguments, "9.8.7");
  if (row.said.empty()) {
    ASSERT_TRUE(read.run.has_value()) << read.err;
    EXPECT_EQ(Fields(*read.run), Fields(row.options));
  } else if (read.exit_status == kExitValid) {
    EXPECT_FALSE(read.run.has_value());
    EXPECT_EQ(read.out.substr(0, row.said.size()), row.said);
    EXPECT_EQ(read.err, "");
  } else {
    EXPECT_FALSE(read.run.has_value());
    EXPECT_EQ(read.exit_status, kExitError);
    EXPECT_EQ(read.err.substr(0, read.err.find('\n')), row.said);
    EXPECT_NE(read.err.find("; --help tells more\n"), std::string::npos);
    EXPECT_EQ(read.out, "");
  }
}

// The whole message: the problem, the usage, and the ranges of the numbers, two to a line.
TEST(QueryToolUsageError, SaysTheProblemTheUsageAndTheRanges) {
  EXPECT_EQ(
      ReadCommandLine({"-x"}, "1").err,
      "unknown option -x\n"
      "usage: tempomere-query [-p PORT] [-t TIMEOUT_MS] [-c COUNT] [-i SECONDS] [-b N] "
      "[--precise]\n"
      "                      [-4 | -6] [--json | --csv] [--nts] [--ca-file FILE] [--journal FILE] "
      "HOST...\n"
      "       tempomere-query --time-service [--json]\n"
      "       tempomere-query --help | --version\n"
      "  PORT 1..65535 (default 123), TIMEOUT_MS 1..86400000 (default 500),\n"
      "  COUNT 1..1000000 (default 1), SECONDS 0.001..86400 (default 1); --help tells more\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, QueryToolOptions, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
