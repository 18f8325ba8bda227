// The query tool's display forms where it is built without Qt: the C locale's forms, the same
// on every machine and under Wine; and its failure messages. Standard C++ only, as the forms
// themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "framework/DateUtils.h"
#include "platform/Winsock.h"
#include "tools/tempomere-query/FailureMessages.h"
#include "tools/tempomere-query/JsonText.h"
#include "tools/tempomere-query/PlainFormats.h"

using framework::DaysFromCivil;
using namespace tempomere_query;

namespace {

constexpr double kMs = 1.0 / 86400000.0;  // one millisecond in days

TEST(PlainNumbers, FixedDecimalsWithAPointAndNoSignOnZero) {
  EXPECT_EQ(PlainFixed(-2.5, 5), "-2.50000");
  EXPECT_EQ(PlainFixed(1234567.891, 3), "1234567.891");
  EXPECT_EQ(PlainFixed(0.0004, 3), "0.000");
  EXPECT_EQ(PlainFixed(-0.0004, 3), "0.000");
  EXPECT_EQ(PlainFixed(-0.0006, 3), "-0.001");
  EXPECT_EQ(PlainFixed(64.0, 5), "64.00000");
  EXPECT_EQ(PlainFixed(-1e300, 1).size(), 304u) << "the whole number, never cut short";
}

TEST(PlainNumbers, ExponentsHaveFiveSignificantDigitsAndABareExponent) {
  EXPECT_EQ(PlainExponent(std::ldexp(1.0, -20)), "9.5367E-7");
  EXPECT_EQ(PlainExponent(1.0), "1.0000E+0");
  EXPECT_EQ(PlainExponent(1536.0), "1.5360E+3");
  EXPECT_EQ(PlainExponent(0.0), "0.0000E+0");
  EXPECT_EQ(PlainExponent(-std::ldexp(1.0, 17)), "-1.3107E+5");
  EXPECT_EQ(PlainExponent(std::ldexp(1.0, -128)), "2.9387E-39");
  EXPECT_EQ(PlainExponent(1e300), "1.0000E+300");
}

TEST(PlainDates, IsoDateAndTwentyFourHourTimeOfTheRoundedValue) {
  // 0.4 ms before midnight is the next day, as the time would be.
  const double late = DaysFromCivil(2026, 10, 31) + 1.0 - 0.4 * kMs;
  EXPECT_EQ(PlainShortDate(late), "2026-11-01");
  EXPECT_EQ(PlainLongTime(late), "00:00:00");
  const double afternoon = DaysFromCivil(2024, 2, 29) + (14 * 3600 + 5 * 60 + 9.6) / 86400.0;
  EXPECT_EQ(PlainShortDate(afternoon), "2024-02-29");
  EXPECT_EQ(PlainLongTime(afternoon), "14:05:09") << "seconds are cut, not rounded";
  EXPECT_EQ(PlainShortDate(0.0), "1899-12-30");
  EXPECT_EQ(PlainLongTime(0.0), "00:00:00");
  EXPECT_EQ(PlainShortDate(DaysFromCivil(10000, 1, 1)), "") << "no calendar date holds it";
  EXPECT_EQ(PlainLongTime(std::numeric_limits<double>::quiet_NaN()), "");
}

TEST(PlainDates, TheTimeOfDayDropsWholeDaysAndShowsMilliseconds) {
  EXPECT_EQ(PlainTimeOfDay(0.5 + 1.5 / 86400.0), "12:00:01 500");
  EXPECT_EQ(PlainTimeOfDay(25.0 / 24.0), "1:00:00 000");
  EXPECT_EQ(PlainTimeOfDay(0.0), "0:00:00 000");
  EXPECT_EQ(PlainTimeOfDay(45000.0 + (23 * 3600 + 59 * 60 + 59.999) / 86400.0), "23:59:59 999");
  EXPECT_EQ(PlainTimeOfDay((10.0 + 0.1236) / 86400.0), "0:00:10 124");
  EXPECT_EQ(PlainTimeOfDay(-61.25 / 86400.0), "-0:01:01 250");
  EXPECT_EQ(PlainTimeOfDay(-0.0001 / 86400.0), "0:00:00 000");
}

// A host that cannot be asked: the number, what it means, the host; one line whatever the
// socket library's text or the host holds.
TEST(FailureMessages, SocketErrorsSayWhatHappened) {
  using namespace platform;
  // The failures a query meets, from the name lookup to the reply, each in words of its own.
  const int met[] = {WSAHOST_NOT_FOUND, WSATRY_AGAIN,   WSANO_RECOVERY,  WSANO_DATA,
                     WSAEAFNOSUPPORT,   WSAENETUNREACH, WSAENETDOWN,     WSAEHOSTUNREACH,
                     WSAEHOSTDOWN,      WSAEACCES,      WSAECONNREFUSED, WSAECONNRESET,
                     WSAETIMEDOUT,      WSAEMSGSIZE,    WSAEINTR,        12345};
  std::set<std::string> seen;
  for (int code : met) {
    const std::string words = SocketErrorWords(code);
    EXPECT_TRUE(seen.insert(words).second) << code << " reads as another one: " << words;
    EXPECT_EQ(SocketFailureMessage(code, "ntp.example"),
              "Socket Error # " + std::to_string(code) + ": " + words + ": ntp.example");
  }
  EXPECT_EQ(SocketFailureMessage(WSAHOST_NOT_FOUND, "no-such-host.invalid"),
            "Socket Error # 11001: host not found: no-such-host.invalid");
  // Windows reports an ICMP "port unreachable" for a datagram as a reset connection.
  for (int code : {WSAECONNREFUSED, WSAECONNRESET})
    EXPECT_NE(SocketErrorWords(code).find("port unreachable"), std::string::npos) << code;
  // Numbers without words of the tool's own: the library's text as a clause, or a plain word.
  EXPECT_EQ(SocketErrorWords(WSAEWOULDBLOCK), "operation would block");
  EXPECT_EQ(SocketErrorWords(12345), "unknown socket error");
  // A host given with control characters cannot break the line or steer the terminal.
  EXPECT_EQ(SocketFailureMessage(WSAHOST_NOT_FOUND, "a\r\nb\x1B"),
            "Socket Error # 11001: host not found: a\\x0D\\x0Ab\\x1B");
}

TEST(FailureMessages, OtherMessagesAreJoinedIntoOneLine) {
  const struct {
    const char* message;
    const char* line;
  } rows[] = {
      {"Socket Error # 11001\r\n", "Socket Error # 11001"},
      {"Socket Error # 10040\r\nMessage too long.", "Socket Error # 10040: Message too long."},
      {"\nNTS key establishment: a\r\n\r\nb\n", "NTS key establishment: a: b"},
      {"tab\there\x1B[2J\x7F", "tab\\x09here\\x1B[2J\\x7F"},
  };
  for (const auto& row : rows) EXPECT_EQ(OneLine(row.message), row.line) << row.message;
}

// The JSON form's numbers as readers of the tool's documents have always seen them: the
// shorter of the plain and the exponent form (the plain one when both are as long), the
// exponent signed and of two digits at least, whole numbers up to 2^53 without a point.
TEST(JsonNumbers, TheShorterFormWithTheFewestDigits) {
  const struct {
    double value;
    const char* text;
  } rows[] = {
      {64, "64"},
      {-0.0, "0"},
      {0.0015, "0.0015"},
      {0.001, "0.001"},  // as long as "1e-03"
      {-0.0005, "-5e-04"},
      {2.5e-5, "2.5e-05"},
      {std::ldexp(1.0, -20), "9.5367431640625e-07"},
      {std::ldexp(1.0, 53), "9007199254740992"},
      {std::ldexp(1.0, 53) + 2, "9007199254740994"},  // the plain form is shorter
      {1e16, "1e+16"},
      {std::ldexp(1.0, 62), "4611686018427388000"},  // the shortest digits, then zeros
      {std::ldexp(1.0, 127), "1.7014118346046923e+38"},
      {1e100, "1e+100"},
      {26510655.8995, "26510655.8995"},
      {0.1 + 0.2, "0.30000000000000004"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
  };
  for (const auto& row : rows) EXPECT_EQ(JsonNumber(row.value), row.text) << row.value;
}

TEST(JsonNumbers, DocumentsAreIndentedByFourWithEmptyArraysOverTwoLines) {
  using nlohmann::json;
  const json host = {{"samples", json::array()}, {"host", "h\xC3\xA9\x01\""}};
  const json document = {{"hosts", json::array({host})}, {"a", json::array({1.5, nullptr, true})}};
  EXPECT_EQ(JsonText(document),
            "{\n    \"a\": [\n        1.5,\n        null,\n        true\n    ],\n"
            "    \"hosts\": [\n        {\n            \"host\": \"h\xC3\xA9\\u0001\\\"\",\n"
            "            \"samples\": [\n            ]\n        }\n    ]\n}\n");
  // A byte that is no UTF-8 (a host as the Windows console gives it) is no failure.
  EXPECT_EQ(JsonText(json("\xE9")), "\"\xEF\xBF\xBD\"\n");
}

}  // namespace
