// Key establishment against servers that break its rules: crafted record streams read directly,
// randomised breakage of a valid response, and crafted responses over real TLS.
#include "ntp/NtsKeyEstablishment.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <chrono>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>

#include "ntp/NtsClient.h"
#include "support/NtsServer.h"

using namespace ntp;

namespace {

using TRecords = std::vector<TNtsKeRecord>;

TIdBytes Text(const std::string& text) {
  return TIdBytes(text.begin(), text.end());
}

TIdBytes Stream(const TRecords& records) {
  TIdBytes bytes;
  for (const TNtsKeRecord& r : records) WriteNtsKeRecord(r, bytes);
  return bytes;
}

const TNtsKeRecord kEnd = {true, kNtsKeEndOfMessage, {}};

// A valid response with one cookie, End of Message last.
TRecords Valid() {
  return {{true, kNtsKeNextProtocol, NtsKeWords({kNtsProtocolNtpV4})},
          {true, kNtsKeAeadAlgorithm, NtsKeWords({kNtsAeadAesSivCmac256})},
          {false, kNtsKeNewCookie, TIdBytes(100, 7)},
          kEnd};
}

// The refusal's message for a stream of records, or "accepted".
std::string Outcome(const TNtsKeParse& parse, TNtsKeResponse* response = nullptr) {
  try {
    const TNtsKeResponse r = InterpretNtsKeResponse(parse, "h:1");
    if (response) *response = r;
  } catch (const EIdNtsError& e) {
    return e.Message();
  }
  return "accepted";
}

struct TBrokenRule {
  const char* Name;
  std::function<void(TRecords&)> Break;  // applied to Valid(); End of Message is last
  const char* Message;                   // a fragment of the refusal
};

void PrintTo(const TBrokenRule& rule, std::ostream* out) {
  *out << rule.Name;
}

class NtsKeBrokenRules : public testing::TestWithParam<TBrokenRule> {};

TEST_P(NtsKeBrokenRules, AreRefusedSayingWhichRuleTheServerBroke) {
  TRecords records = Valid();
  GetParam().Break(records);
  const std::string message = Outcome(ReadNtsKeRecords(Stream(records)));
  EXPECT_EQ(message.rfind("NTS key establishment: h:1 ", 0), 0u) << message;
  EXPECT_NE(message.find(GetParam().Message), std::string::npos) << message;
}

// Inserts a record before End of Message.
std::function<void(TRecords&)> Adding(TNtsKeRecord record) {
  return [record](TRecords& r) { r.insert(r.end() - 1, record); };
}
std::function<void(TRecords&)> Setting(std::size_t at, TNtsKeRecord record) {
  return [at, record](TRecords& r) { r[at] = record; };
}
std::function<void(TRecords&)> Dropping(std::size_t at) {
  return [at](TRecords& r) { r.erase(r.begin() + static_cast<long>(at)); };
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NtsKeBrokenRules,
    testing::Values(
        TBrokenRule{"NextProtocolTwice", Adding({true, kNtsKeNextProtocol, NtsKeWords({0})}),
                    "sent more than one Next Protocol record"},
        TBrokenRule{"NextProtocolNotCritical",
                    Setting(0, {false, kNtsKeNextProtocol, NtsKeWords({0})}),
                    "sent a Next Protocol record without the critical bit"},
        TBrokenRule{"NextProtocolNamesTwo",
                    Setting(0, {true, kNtsKeNextProtocol, NtsKeWords({0, 1})}),
                    "named more than one next protocol"},
        TBrokenRule{
            "NextProtocolNotOffered", Setting(0, {true, kNtsKeNextProtocol, NtsKeWords({1})}),
            "refused the NTPv4 protocol (it named protocol 1, which the client did not offer)"},
        TBrokenRule{"NextProtocolOddLength", Setting(0, {true, kNtsKeNextProtocol, {0, 0, 0}}),
                    "sent a Next Protocol record of 3 bytes"},
        TBrokenRule{"NextProtocolNone", Setting(0, {true, kNtsKeNextProtocol, {}}),
                    "refused the NTPv4 protocol"},
        TBrokenRule{"NextProtocolMissing", Dropping(0), "refused the NTPv4 protocol"},
        TBrokenRule{"AeadTwice", Adding({true, kNtsKeAeadAlgorithm, NtsKeWords({15})}),
                    "sent more than one AEAD Algorithm record"},
        TBrokenRule{"AeadNamesTwo", Setting(1, {true, kNtsKeAeadAlgorithm, NtsKeWords({15, 17})}),
                    "named more than one AEAD algorithm"},
        TBrokenRule{"AeadNotOffered", Setting(1, {true, kNtsKeAeadAlgorithm, NtsKeWords({16})}),
                    "refused the AEAD_AES_SIV_CMAC_256 algorithm (it chose algorithm 16, which "
                    "the client did not offer)"},
        TBrokenRule{"AeadMissing", Dropping(1), "refused the AEAD_AES_SIV_CMAC_256 algorithm"},
        TBrokenRule{"Warning", Adding({true, kNtsKeWarning, NtsKeWords({5})}),
                    "sent a warning the client does not know (code 5)"},
        TBrokenRule{"Error", Adding({true, kNtsKeError, NtsKeWords({1})}),
                    "refused the request (bad request)"},
        TBrokenRule{"EndOfMessageWithBody", Setting(3, {true, kNtsKeEndOfMessage, {0}}),
                    "sent End of Message with a body"},
        TBrokenRule{"EndOfMessageNotCritical", Setting(3, {false, kNtsKeEndOfMessage, {}}),
                    "sent End of Message without the critical bit"},
        TBrokenRule{"EndOfMessageMissing", Dropping(3),
                    "did not end its records with End of Message"},
        TBrokenRule{"PortOfOneByte", Adding({true, kNtsKePort, {0x12}}),
                    "sent a Port record of length 1 (a port takes 2 bytes)"},
        TBrokenRule{"PortOfThreeBytes", Adding({true, kNtsKePort, {0, 0x12, 0x34}}),
                    "sent a Port record of length 3"},
        TBrokenRule{"PortZero", Adding({true, kNtsKePort, NtsKeWords({0})}),
                    "named port 0 for NTP"},
        TBrokenRule{"ServerEmpty", Adding({true, kNtsKeServer, {}}), "sent an empty Server record"},
        TBrokenRule{"ServerWithNul", Adding({true, kNtsKeServer, Text(std::string("a\0b", 3))}),
                    "sent a Server record holding a NUL byte"},
        TBrokenRule{"UnknownCritical", Adding({true, 0x4000, {}}),
                    "sent a critical record of unknown type 16384"},
        TBrokenRule{"NoCookie", Dropping(2), "gave no cookie"},
        TBrokenRule{"CookieTooLongForARequest",
                    Setting(2, {false, kNtsKeNewCookie, TIdBytes(573, 1)}),
                    "gave a cookie of 573 bytes, too long for a request of at most 1280 bytes"},
        TBrokenRule{"CookieOf65000Bytes", Adding({false, kNtsKeNewCookie, TIdBytes(65000, 1)}),
                    "gave a cookie of 65000 bytes"}),
    [](const testing::TestParamInfo<TBrokenRule>& info) { return info.param.Name; });

TEST(NtsKeResponse, GivesAtMostEightCookiesServerAndPortAndPassesOverWhatMayBeIgnored) {
  TRecords records = {{true, kNtsKeNextProtocol, NtsKeWords({0})},
                      {false, kNtsKeAeadAlgorithm, NtsKeWords({15})}};  // may be not critical
  for (uint8_t i = 0; i < 10; ++i) records.push_back({false, kNtsKeNewCookie, TIdBytes(572, i)});
  records.push_back({true, kNtsKeServer, Text("time")});
  records.push_back({false, kNtsKePort, NtsKeWords({1234})});
  records.push_back({false, 0x4000, {1}});  // unknown, not critical
  records.push_back(kEnd);
  TNtsKeResponse response;
  ASSERT_EQ(Outcome(ReadNtsKeRecords(Stream(records)), &response), "accepted");
  ASSERT_EQ(response.Cookies.size(), kNtsCookieStore);  // the first eight, in order
  for (std::size_t i = 0; i < kNtsCookieStore; ++i) EXPECT_EQ(response.Cookies[i][0], i);
  EXPECT_EQ(response.Server, "time");
  EXPECT_EQ(response.Port, 1234);
}

// --- Randomised rounds: one thing broken at a time in a valid response --------------------------

enum class TBreak { Drop, Duplicate, Swap, FlipCritical, ChangeLength, ChangeValue };

// Whether the response must be refused after `what` was done to `record` (of `cookies` cookies;
// `changed_to_forbidden`: a value change left a Server record with a NUL or a Port record with
// 0); nothing when either may happen.
std::optional<bool> MustRefuse(TBreak what, const TNtsKeRecord& record, std::size_t cookies,
                               bool changed_to_forbidden) {
  const uint16_t type = record.Type;
  const bool required = type == kNtsKeNextProtocol || type == kNtsKeAeadAlgorithm;
  switch (what) {
    case TBreak::Drop:
      return required || type == kNtsKeEndOfMessage || (type == kNtsKeNewCookie && cookies == 1);
    case TBreak::Duplicate:
      return required;
    case TBreak::Swap:
      return false;
    case TBreak::FlipCritical:
      return type == kNtsKeNextProtocol || type == kNtsKeEndOfMessage || type >= 0x4000;
    case TBreak::ChangeValue:
      return required || changed_to_forbidden;
    case TBreak::ChangeLength:
      return std::nullopt;
  }
  return std::nullopt;
}

TEST(NtsKeResponse, RandomisedBreakageIsRefusedOrReadTheSameWhateverPiecesTheBytesCameIn) {
  std::mt19937 random(8915);  // fixed: every run breaks the same things
  const auto below = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  int refused = 0, accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    // A valid response: the records in any order, End of Message last.
    TRecords records = {{true, kNtsKeNextProtocol, NtsKeWords({0})},
                        {below(2) == 0, kNtsKeAeadAlgorithm, NtsKeWords({15})}};
    const std::size_t cookie_count = 1 + below(10);
    for (std::size_t i = 0; i < cookie_count; ++i)
      records.push_back(
          {false, kNtsKeNewCookie, TIdBytes(1 + below(200), static_cast<uint8_t>(i))});
    if (below(2)) records.push_back({below(2) == 0, kNtsKeServer, Text("localhost")});
    if (below(2))
      records.push_back(
          {below(2) == 0, kNtsKePort, NtsKeWords({static_cast<uint16_t>(1 + below(65535))})});
    if (below(2)) records.push_back({false, 0x4001, TIdBytes(below(8), 9)});
    std::shuffle(records.begin(), records.end(), random);
    records.push_back(kEnd);

    const TBreak what = static_cast<TBreak>(below(6));
    const std::size_t at = below(what == TBreak::Swap ? records.size() - 1 : records.size());
    const TNtsKeRecord target = records[at];
    bool forbidden = false;
    switch (what) {
      case TBreak::Drop:
        records.erase(records.begin() + static_cast<long>(at));
        break;
      case TBreak::Duplicate:
        records.insert(records.begin() + static_cast<long>(at), target);
        break;
      case TBreak::Swap:
        std::swap(records[at], records[below(records.size() - 1)]);
        break;
      case TBreak::FlipCritical:
        records[at].Critical = !records[at].Critical;
        break;
      case TBreak::ChangeValue:
        if (target.Body.empty()) continue;
        {
          TIdBytes& body = records[at].Body;
          const std::size_t i = below(body.size());
          body[i] = static_cast<uint8_t>(body[i] + 1 + below(255));
          forbidden = (target.Type == kNtsKeServer && body[i] == 0) ||
                      (target.Type == kNtsKePort && body[0] == 0 && body[1] == 0);
        }
        break;
      case TBreak::ChangeLength:
        break;
    }
    TIdBytes bytes = Stream(records);
    if (what == TBreak::ChangeLength) {  // the length word of the record's header, changed
      std::size_t offset = 0;
      for (std::size_t i = 0; i < at; ++i) offset += 4 + records[i].Body.size();
      bytes[offset + 2 + below(2)] ^= static_cast<uint8_t>(1 + below(255));
    }

    TNtsKeResponse whole_response, pieces_response;
    const std::string whole = Outcome(ReadNtsKeRecords(bytes), &whole_response);
    TNtsKeReader reader;
    for (std::size_t from = 0; from < bytes.size();) {
      const std::size_t n = std::min(bytes.size() - from, 1 + below(7));
      reader.Feed(std::span(bytes).subspan(from, n));
      from += n;
    }
    const std::string pieces = Outcome(reader.Parse(), &pieces_response);
    SCOPED_TRACE("round " + std::to_string(round) + ", break " +
                 std::to_string(static_cast<int>(what)) + " of record type " +
                 std::to_string(target.Type));
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(reader.Received(), bytes.size());
    if (const auto refuse = MustRefuse(what, target, cookie_count, forbidden)) {
      EXPECT_EQ(whole != "accepted", *refuse) << whole;
    }
    if (whole != "accepted") {
      ++refused;
      continue;
    }
    ++accepted;
    EXPECT_EQ(pieces_response.Cookies, whole_response.Cookies);
    EXPECT_GE(whole_response.Cookies.size(), 1u);
    EXPECT_LE(whole_response.Cookies.size(), kNtsCookieStore);
    EXPECT_EQ(whole_response.Server.find('\0'), std::string::npos);
  }
  // Both outcomes were met often: the rounds are not all one kind.
  EXPECT_GT(refused, 500);
  EXPECT_GT(accepted, 500);
}

// --- Over real TLS --------------------------------------------------------------------------

class NtsKeOverTls : public testing::Test {
 protected:
  static void SetUpTestSuite() { certificates_ = new testing_support::TestCertificates; }
  static void TearDownTestSuite() {
    delete certificates_;
    certificates_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(certificates_->Made()) << certificates_->Problem().toStdString();
  }
  static TNtsKeSettings Settings(const testing_support::ScriptedKeServer& server) {
    TNtsKeSettings settings;
    settings.Host = "127.0.0.1";
    settings.Port = server.Port();
    settings.CaFile = certificates_->CaFile().toStdString();
    settings.TimeoutMs = kNtsKeShortestTimeoutMs;
    return settings;
  }
  static QByteArray Bytes(const TRecords& records) {
    const TIdBytes bytes = Stream(records);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
  }
  static inline testing_support::TestCertificates* certificates_ = nullptr;
};

TEST_F(NtsKeOverTls, TenCookiesGiveASessionOfEightThatMakesRequests) {
  TRecords records = Valid();
  records.pop_back();
  for (int i = 1; i < 10; ++i) records.push_back({false, kNtsKeNewCookie, TIdBytes(100, 7)});
  records.push_back(kEnd);
  testing_support::ScriptedKeServer server(*certificates_, Bytes(records));
  ASSERT_TRUE(server.Started());
  TNtsSession session = EstablishNtsSession(Settings(server));
  EXPECT_EQ(session.Cookies.size(), kNtsCookieStore);
  EXPECT_EQ(session.NtpServer, "127.0.0.1");
  for (std::size_t left = kNtsCookieStore; left > 0; --left) {
    TNtsPending pending;
    EXPECT_LE(BuildNtsRequest(TIdBytes(48, 0x23), session, pending).size(), kNtsLongestMessage);
  }
}

TEST_F(NtsKeOverTls, AnOversizeCookieIsRefused) {
  TRecords records = Valid();
  records[2].Body.assign(65000, 3);
  testing_support::ScriptedKeServer server(*certificates_, Bytes(records));
  ASSERT_TRUE(server.Started());
  try {
    EstablishNtsSession(Settings(server));
    ADD_FAILURE() << "accepted";
  } catch (const EIdNtsError& e) {
    EXPECT_EQ(e.Message(), "NTS key establishment: 127.0.0.1:" + std::to_string(server.Port()) +
                               " gave a cookie of 65000 bytes, too long for a request of at most "
                               "1280 bytes");
  }
}

// Records that never end, each byte in a TLS record of its own: the time-out ends the exchange,
// however much keeps arriving. Bounded generously; the time taken is printed.
TEST_F(NtsKeOverTls, ARecordTrickleInOneByteTlsRecordsEndsAtTheTimeOut) {
  TRecords records(16000, TNtsKeRecord{false, 0x4000, {}});
  testing_support::ScriptedKeServer server(*certificates_, Bytes(records), 1);
  ASSERT_TRUE(server.Started());
  const auto start = std::chrono::steady_clock::now();
  std::string message;
  try {
    EstablishNtsSession(Settings(server));
  } catch (const EIdNtsError& e) {
    message = e.Message();
  }
  const auto taken = std::chrono::steady_clock::now() - start;
  EXPECT_NE(message.find("within " + std::to_string(kNtsKeShortestTimeoutMs) + " ms"),
            std::string::npos)
      << message;
  EXPECT_LT(taken, std::chrono::milliseconds(kNtsKeShortestTimeoutMs + 3000));
  std::printf("key establishment ended after %.3f s (time-out %.3f s)\n",
              std::chrono::duration<double>(taken).count(), kNtsKeShortestTimeoutMs / 1000.0);
}

}  // namespace

// Raises SIGPIPE (whose default ends the process) inside the guard and exits with 0 when it was
// taken out and the thread's mask is as before.
[[noreturn]] void RaiseBrokenPipeInsideTheGuard() {
  std::signal(SIGPIPE, SIG_DFL);
  sigset_t before, after, pending;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  {
    const ntp::TBrokenPipeGuard guard;
    pthread_kill(pthread_self(), SIGPIPE);
  }
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  sigpending(&pending);
  const bool restored = sigismember(&after, SIGPIPE) == sigismember(&before, SIGPIPE);
  std::exit(sigismember(&pending, SIGPIPE) == 0 && restored ? 0 : 1);
}

TEST(NtsBrokenPipe, AWriteToAClosedConnectionDoesNotEndTheProcess) {
  EXPECT_EXIT(RaiseBrokenPipeInsideTheGuard(), testing::ExitedWithCode(0), "");
}
