#include "ntp/NTPClient.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QLocale>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "framework/DisplayFormats.h"
#include "ntp/IdException.h"
#include "support/ChronyServer.h"
#include "support/FakeClock.h"
#include "support/FakeSntpServer.h"
#include "support/FakeWinsock.h"
#include "support/ScriptedStamps.h"

using framework::DaysFromCivil;
using namespace ntp;
using testing_support::ChronyServer;
using testing_support::FakeClock;
using testing_support::FakeKernelClock;
using testing_support::FakeSntpServer;
using testing_support::FakeWinsock;
using testing_support::ReplySpec;
using testing_support::ScopedTimeZone;
using testing_support::ScriptedStamps;

namespace {

constexpr double kMs = 1.0 / 86400000.0;  // one millisecond in days

QByteArray Reply(std::initializer_list<std::pair<int, uint8_t>> bytes) {
  QByteArray reply(48, '\0');
  for (auto [offset, value] : bytes) reply[offset] = static_cast<char>(value);
  return reply;
}

void PutStamp(QByteArray& message, int offset, uint32_t seconds, uint32_t fraction) {
  for (int i = 0; i < 4; ++i) {
    message[offset + i] = static_cast<char>(seconds >> (24 - 8 * i));
    message[offset + 4 + i] = static_cast<char>(fraction >> (24 - 8 * i));
  }
}

std::span<const uint8_t> Span(const QByteArray& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.constData()),
          static_cast<std::size_t>(bytes.size())};
}

TNTPInfo Decode(const QByteArray& reply, double destination) {
  const std::optional<TNTPInfo> info = DecodeSntpReply(Span(reply), destination);
  EXPECT_TRUE(info.has_value());
  return info.value_or(TNTPInfo{});
}

// A 32.32 stamp as one number, to compare stamps to within a fraction of a second.
int64_t Stamp64(uint32_t seconds, uint32_t fraction) {
  return static_cast<int64_t>((uint64_t{seconds} << 32) | fraction);
}
constexpr int64_t kStampMs = 4294967296LL / 1000;  // one millisecond of a 32.32 stamp

// NTP seconds of a UTC calendar instant, counted in whole numbers.
uint32_t NtpSeconds(int year, int month, int day, int hour, int minute, int second = 0) {
  const int64_t days = DaysFromCivil(year, month, day) - 2;
  return static_cast<uint32_t>(days * 86400 + hour * 3600 + minute * 60 + second);
}

// Seconds since 1970 of a UTC calendar instant.
time_t UnixSeconds(int year, int month, int day, int hour, int minute, int second = 0) {
  return static_cast<time_t>(NtpSeconds(year, month, day, hour, minute, second)) - 2208988800LL;
}

// The smallest fraction word that reads as `ms` whole milliseconds.
uint32_t FractionForMs(int ms) {
  return static_cast<uint32_t>(std::ceil(ms * 4294967296.0 / 1000.0));
}

}  // namespace

// --- Timestamps -------------------------------------------------------------------------------

TEST(Timestamps, EpochsAndWholeSeconds) {
  FakeClock clock;  // bias 0
  uint32_t s = 1, f = 1;
  LocalToNtpStamp(2.0, s, f);
  EXPECT_EQ(s, 0u);
  EXPECT_EQ(f, 0u);
  LocalToNtpStamp(DaysFromCivil(2025, 1, 1), s, f);
  EXPECT_EQ(s, 3944678400u);
  EXPECT_EQ(f, 0u);
  EXPECT_DOUBLE_EQ(NtpStampToLocal(3944678400u, 0), DaysFromCivil(2025, 1, 1));
}

TEST(Timestamps, HalfASecondAndTheFractionTruncation) {
  FakeClock clock;
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(2.0 + 0.5 / 86400.0, s, f);
  EXPECT_EQ(s, 0u);
  EXPECT_EQ(f, 0x80000000u);
  const double base = DaysFromCivil(2025, 1, 1);
  EXPECT_NEAR((NtpStampToLocal(3944678400u, 0x80000000u) - base) * 86400.0, 0.5, 1e-6);
  // 0xFFFFFFFF is 0.99999999977 s: it reads as 999 ms, never the next second.
  EXPECT_NEAR((NtpStampToLocal(3944678400u, 0xFFFFFFFFu) - base) * 86400000.0, 999.0, 1e-3);
}

TEST(Timestamps, BothDirectionsTruncateSoARoundTripCanLoseAMillisecond) {
  FakeClock clock;
  const double value = DaysFromCivil(2025, 1, 1) + (3600.0 + 0.123) / 86400.0;
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(value, s, f);
  const double back = NtpStampToLocal(s, f);
  const double lost_ms = (value - back) * 86400000.0;
  EXPECT_GE(lost_ms, -1e-3);
  EXPECT_LT(lost_ms, 1.0 + 1e-3);
  EXPECT_NEAR(std::round(back * 86400000.0) - std::round(value * 86400000.0), 0.0, 1.0);
}

TEST(Timestamps, TheBiasShiftsLocalTimeToUtc) {
  FakeClock clock;
  clock.bias_minutes = -60;  // UTC+1
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(DaysFromCivil(2025, 1, 1) + 1.0 / 24, s, f);
  EXPECT_EQ(s, 3944678400u);
  clock.zone_state = platform::TIME_ZONE_ID_DAYLIGHT;
  clock.daylight_bias = -60;  // UTC+2 in summer
  EXPECT_DOUBLE_EQ(UtcBiasDays(), -120 / 1440.0);
  clock.zone_state = platform::TIME_ZONE_ID_INVALID;  // no zone at all: UTC
  EXPECT_DOUBLE_EQ(UtcBiasDays(), 0.0);
}

TEST(Timestamps, SecondsWordsFrom0x80000000AreUnsigned1900EraDates) {
  FakeClock clock;
  // 0x80000000 s after 1900 is 1968-01-20 03:14:08 UTC.
  const double expected = DaysFromCivil(1968, 1, 20) + (3 * 3600 + 14 * 60 + 8) / 86400.0;
  EXPECT_NEAR(NtpStampToLocal(0x80000000u, 0), expected, kMs / 10);
  EXPECT_NEAR(NtpStampToLocal(0xFFFFFFFFu, 0),
              DaysFromCivil(2036, 2, 7) + (6 * 3600 + 28 * 60 + 15) / 86400.0, kMs / 10);
}

TEST(Timestamps, WordsBelow0x80000000BelongToTheEraThatBeginsIn2036) {
  FakeClock clock;
  const double rollover = DaysFromCivil(2036, 2, 7) + (6 * 3600 + 28 * 60 + 16) / 86400.0;
  EXPECT_NEAR(NtpStampToLocal(0, 0), rollover, kMs / 10);
  EXPECT_NEAR(NtpStampToLocal(86400, 0), rollover + 1, kMs / 10);

  // A local time just past the rollover wraps modulo 2^32 and reads back after it, not in 1900.
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(rollover + 10.25 / 86400.0, s, f);
  EXPECT_EQ(s, 10u);
  EXPECT_NEAR(NtpStampToLocal(s, f), rollover + 10.25 / 86400.0, 1.5 * kMs);
  // And one just before it stays before it.
  LocalToNtpStamp(rollover - 10.0 / 86400.0, s, f);
  EXPECT_EQ(s, 0xFFFFFFF6u);
  EXPECT_NEAR(NtpStampToLocal(s, f), rollover - 10.0 / 86400.0, 1.5 * kMs);
}

// --- Header fields ----------------------------------------------------------------------------

TEST(HeaderFields, FirstByteSplitsIntoLeapVersionAndMode) {
  FakeClock clock;
  TNTPInfo a = Decode(Reply({{0, 0x24}, {1, 2}}), clock.local);
  EXPECT_EQ(a.LeapIndicator, 0);
  EXPECT_EQ(a.Version, 4);
  EXPECT_EQ(a.Mode, 4);
  TNTPInfo b = Decode(Reply({{0, 0xDC}}), clock.local);
  EXPECT_EQ(b.LeapIndicator, 3);
  EXPECT_EQ(b.Version, 3);
  EXPECT_EQ(b.Mode, 4);
}

TEST(HeaderFields, FixedPointAndPowersOfTwo) {
  EXPECT_DOUBLE_EQ(ShortFixedToSeconds(0x00018000), 1.5);
  EXPECT_DOUBLE_EQ(ShortFixedToSeconds(0xFFFF8000), -0.5);
  EXPECT_DOUBLE_EQ(Log2ToSeconds(0xEC), 9.5367431640625e-07);
  EXPECT_DOUBLE_EQ(Log2ToSeconds(6), 64.0);
  EXPECT_DOUBLE_EQ(Log2ToSeconds(0), 1.0);
  EXPECT_EQ(ByteSwap32(0x11223344), 0x44332211u);
}

TEST(HeaderFields, ReferenceIdIsCharactersAtStrata0And1DottedAbove) {
  const std::string one = ReferenceIdText(1, {'G', 'P', 'S', 0});
  EXPECT_EQ(one, std::string("GPS\0", 4));
  EXPECT_EQ(ReferenceIdText(0, {'R', 'A', 'T', 'E'}), "RATE");
  EXPECT_EQ(ReferenceIdText(2, {10, 0, 0, 1}), "10.0.0.1");
  // Bytes above 0x7F are the characters U+0080..U+00FF, written in UTF-8 for the window.
  EXPECT_EQ(ReferenceIdText(1, {0xE9, 0x7F, 0x80, 0xFF}), "\xC3\xA9\x7F\xC2\x80\xC3\xBF");
  EXPECT_EQ(QString::fromStdString(ReferenceIdText(1, {0xE9, 'x', 0xFF, 0})),
            QString::fromLatin1("\xE9x\xFF\0", 4));
}

TEST(Packet, FieldsAreReadInWireOrderAndWrittenBackToTheSameBytes) {
  ntp::TIdBytes wire(48);
  for (std::size_t i = 0; i < wire.size(); ++i) wire[i] = static_cast<uint8_t>(0xA1 + 3 * i);
  wire[0] = 0xE3;  // leap 3, version 4, mode 3
  const std::optional<ntp::TNtpPacket> p = ntp::ReadNtpPacket(wire);
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->LeapIndicator, 3);
  EXPECT_EQ(p->Version, 4);
  EXPECT_EQ(p->Mode, 3);
  EXPECT_EQ(p->Stratum, 0xA4);
  EXPECT_EQ(p->Poll, 0xA7);
  EXPECT_EQ(p->Precision, 0xAA);
  EXPECT_EQ(p->RootDelay, 0xADB0B3B6u);
  EXPECT_EQ(p->RootDispersion, 0xB9BCBFC2u);
  EXPECT_EQ(p->ReferenceId, (std::array<uint8_t, 4>{0xC5, 0xC8, 0xCB, 0xCE}));
  EXPECT_EQ(p->ReferenceTimestamp, (ntp::TNtpTimestamp{0xD1D4D7DAu, 0xDDE0E3E6u}));
  EXPECT_EQ(p->OriginateTimestamp, (ntp::TNtpTimestamp{0xE9ECEFF2u, 0xF5F8FBFEu}));
  EXPECT_EQ(p->ReceiveTimestamp, (ntp::TNtpTimestamp{0x0104070Au, 0x0D101316u}));
  EXPECT_EQ(p->TransmitTimestamp, (ntp::TNtpTimestamp{0x191C1F22u, 0x25282B2Eu}));
  EXPECT_EQ(ntp::WriteNtpPacket(*p), wire);
  EXPECT_FALSE(ntp::ReadNtpPacket(std::span<const uint8_t>(wire).first(47)).has_value());
}

TEST(Validity, EachRuleHasANameAndAReasonAndTheFirstBrokenOneIsTold) {
  ntp::TNtpPacket reply;
  reply.Stratum = 2;
  reply.TransmitTimestamp = {0xEB1F0400u, 1};
  EXPECT_EQ(ntp::FailedReplyCheck(reply), nullptr);
  const auto failed = [](const ntp::TNtpPacket& r) {
    const ntp::TNtpReplyCheck* check = ntp::FailedReplyCheck(r);
    return check ? std::string(check->Name) : std::string("passes");
  };
  for (uint8_t stratum : {1, 15}) {
    ntp::TNtpPacket r = reply;
    r.Stratum = stratum;
    EXPECT_EQ(failed(r), "passes") << int(stratum);
  }
  for (uint8_t stratum : {0, 16, 255}) {
    ntp::TNtpPacket r = reply;
    r.Stratum = stratum;
    EXPECT_EQ(failed(r), "SynchronisedStratum") << int(stratum);
  }
  for (uint8_t leap : {1, 2}) {
    ntp::TNtpPacket r = reply;
    r.LeapIndicator = leap;
    EXPECT_EQ(failed(r), "passes") << int(leap);
  }
  ntp::TNtpPacket alarm = reply;
  alarm.LeapIndicator = 3;
  alarm.Stratum = 0;  // broken too, but the alarm is asked first
  EXPECT_EQ(failed(alarm), "NoAlarm");
  ntp::TNtpPacket silent = reply;
  silent.TransmitTimestamp = {};
  EXPECT_EQ(failed(silent), "TransmitTimestampPresent");
  silent.TransmitTimestamp = {0, 1};  // any non-zero bit is a reading
  EXPECT_EQ(failed(silent), "passes");
  for (const ntp::TNtpReplyCheck& check : ntp::kNtpReplyChecks)
    EXPECT_GT(std::strlen(check.Reason), 20u);
}

TEST(Request, IsFortyEightBytesWithOnlyTheHeaderByteAndTheTransmitStamp) {
  FakeClock clock;
  const ntp::TIdBytes request = BuildSntpRequest(DaysFromCivil(2025, 1, 1));
  ASSERT_EQ(request.size(), 48u);
  EXPECT_EQ(request[0], 0x1B);
  for (int i = 1; i < 40; ++i) EXPECT_EQ(request[i], 0) << i;
  // 3944678400 = 0xEB1F0400, network order.
  EXPECT_EQ(ntp::TIdBytes(request.begin() + 40, request.end()),
            (ntp::TIdBytes{0xEB, 0x1F, 0x04, 0x00, 0, 0, 0, 0}));
}

// --- Offset and delay -------------------------------------------------------------------------

TEST(OffsetAndDelay, TheFourTimesOfOneExchange) {
  FakeClock clock;
  const double ten = DaysFromCivil(2025, 1, 1) + 10.0 / 24;
  QByteArray reply = Reply({{0, 0x24}, {1, 2}});
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(ten, s, f);
  PutStamp(reply, 24, s, 0);                            // T1 10:00:00.000
  PutStamp(reply, 32, s, 0x0F5C28F6);                   // T2 10:00:00.060
  PutStamp(reply, 40, s, 0x0F9DB22E);                   // T3 10:00:00.061
  const TNTPInfo info = Decode(reply, ten + 21 * kMs);  // T4 10:00:00.021
  // Date-times near 2025 resolve about 1 us.
  EXPECT_NEAR(info.RoundTripDelay * 86400.0, 0.020, 1e-6);
  EXPECT_NEAR(info.ClockOffset * 86400.0, 0.050, 1e-6);
  EXPECT_TRUE(info.Valid);
  // The UTC field counts days from 1900: only its fraction, the time of day, is shown.
  EXPECT_NEAR(info.ServerTimeUtc - std::floor(info.ServerTimeUtc), 10.0 / 24 + 61 * kMs, 1e-10);
}

// --- Queries against a server -----------------------------------------------------------------

namespace {

struct Query : ::testing::Test {
  FakeSntpServer server;
  TNTPClient client;
  void SetUp() override {
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetReceiveTimeout(500);
  }
};

}  // namespace

TEST_F(Query, AValidReplyFillsInfoAndGivesTheServersTime) {
  ReplySpec plan;
  plan.offset_seconds = 2.5;
  server.ThenReply(plan);
  client.SetBufferSize(1000);
  const double result = client.QueryServerTime();
  EXPECT_TRUE(client.Info.Valid);
  EXPECT_EQ(result, client.Info.ServerTime);
  // Each of the four times is cut to the millisecond, and a loaded machine stretches the round
  // trip, of which half may fall on either side.
  EXPECT_NEAR(client.GetClockOffset() * 86400.0, 2.5,
              client.Info.RoundTripDelay * 86400.0 / 2 + 0.002);
  EXPECT_GT(client.Info.RoundTripDelay * 86400.0, -0.003);
  EXPECT_LT(client.Info.RoundTripDelay * 86400.0, 0.050);
  EXPECT_EQ(client.Info.Stratum, 2);
  EXPECT_EQ(client.Info.Version, 4);
  EXPECT_EQ(client.Info.Mode, 4);
  EXPECT_DOUBLE_EQ(client.Info.PollInterval, 64.0);
  EXPECT_DOUBLE_EQ(client.Info.RootDelay, 1.5);
  EXPECT_DOUBLE_EQ(client.Info.RootDispersion, 0.25);
  EXPECT_EQ(client.Info.ReferenceID, "10.0.0.1");
  EXPECT_EQ(client.BufferSize(), 48);
  // The request carried this machine's clock in the transmit field.
  EXPECT_EQ(server.LastRequest().size(), 48);
  EXPECT_EQ(static_cast<uint8_t>(server.LastRequest()[0]), 0x1B);
}

TEST_F(Query, EachBrokenValidityRuleIsStoredButNotValid) {
  struct Case {
    const char* name;
    ReplySpec plan;
  };
  std::vector<Case> cases(4);
  cases[0] = {"leap indicator 3", {}};
  cases[0].plan.byte0 = 0xDC;
  cases[1] = {"stratum 0", {}};
  cases[1].plan.stratum = 0;
  cases[2] = {"stratum 16", {}};
  cases[2].plan.stratum = 16;
  cases[3] = {"zero transmit stamp", {}};
  cases[3].plan.zero_transmit = true;
  for (Case& c : cases) {
    c.plan.poll = 3;
    server.ThenReply(c.plan);
    EXPECT_EQ(client.QueryServerTime(), 0.0) << c.name;
    EXPECT_FALSE(client.Info.Valid) << c.name;
    EXPECT_DOUBLE_EQ(client.Info.PollInterval, 8.0) << c.name;  // the record was replaced
  }
}

TEST_F(Query, WithoutAReplyOnlyValidIsCleared) {
  server.ThenReply();
  client.QueryServerTime();
  const TNTPInfo first = client.Info;
  ASSERT_TRUE(first.Valid);
  server.ThenSilence();
  EXPECT_EQ(client.QueryServerTime(), 0.0);
  EXPECT_FALSE(client.Info.Valid);
  EXPECT_EQ(client.Info.ServerTime, first.ServerTime);
  EXPECT_EQ(client.Info.ClockOffset, first.ClockOffset);
  // A datagram shorter than a message counts as no reply.
  server.ThenBytes(QByteArray(47, '\x24'));
  EXPECT_EQ(client.QueryServerTime(), 0.0);
  EXPECT_EQ(client.Info.Stratum, first.Stratum);
  EXPECT_EQ(server.RequestCount(), 3);
}

TEST_F(Query, ALongReplyIsMessageTooLongAndAnEmptyOneAReceiveError) {
  server.ThenReply();
  client.QueryServerTime();
  server.ThenBytes(QByteArray(68, '\x24'));
  try {
    client.QueryServerTime();
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode(), 10040);
    EXPECT_EQ(e.Message(), "Socket Error # 10040\r\nMessage too long.");
  }
  EXPECT_FALSE(client.Info.Valid);
  EXPECT_EQ(client.Info.Stratum, 2);
  server.ThenBytes(QByteArray());
  EXPECT_THROW(client.QueryServerTime(), EIdUDPReceiveErrorZeroBytes);
}

TEST_F(Query, AReplyThatDoesNotEchoTheRequestIsStillTaken) {
  ReplySpec plan;
  plan.echo_originate = false;  // originate 0: the offset is computed from it anyway
  server.ThenReply(plan);
  EXPECT_NE(client.QueryServerTime(), 0.0);
  EXPECT_TRUE(client.Info.Valid);
  EXPECT_GT(std::fabs(client.GetClockOffset()), 1000.0);
}

TEST_F(Query, TheSocketOpenedByAQueryStaysOpen) {
  EXPECT_EQ(client.GetClockOffset(), 0.0);
  server.ThenReply();
  client.QueryServerTime();
  EXPECT_TRUE(client.Active());
}

TEST_F(Query, SetComputerTimeRunsAFreshExchangeAndSetsTheServersTime) {
  FakeClock clock;
  ReplySpec plan;
  plan.seconds_after_originate = 10.0;
  server.ThenReply(plan);
  server.ThenReply(plan);
  client.QueryServerTime();
  ASSERT_TRUE(client.Info.Valid);
  const double before = clock.local;
  EXPECT_TRUE(client.SetComputerTime());
  EXPECT_EQ(server.RequestCount(), 2);
  ASSERT_EQ(clock.set_times.size(), 1u);
  // T1 = T4 on the frozen clock, server 10 s ahead: the clock moves 10 s forward.
  EXPECT_NEAR((clock.local - before) * 86400.0, 10.0, 0.0015);
  EXPECT_EQ(clock.set_times[0].wSecond, 10);
  EXPECT_EQ(clock.set_times[0].wDayOfWeek, 3);
}

TEST_F(Query, SetComputerTimeIsFalseWhenRefusedOrWithoutAValidReply) {
  FakeClock clock;
  clock.refuse_set = true;
  server.ThenReply();
  EXPECT_FALSE(client.SetComputerTime());
  clock.refuse_set = false;
  ReplySpec invalid;
  invalid.stratum = 0;
  server.ThenReply(invalid);
  EXPECT_FALSE(client.SetComputerTime());
  server.ThenSilence();
  EXPECT_FALSE(client.SetComputerTime());
  EXPECT_TRUE(clock.set_times.empty());
}

TEST_F(Query, AnUnresolvableHostPassesTheSocketErrorOut) {
  // A label longer than 63 characters is refused by the resolver itself, without asking a name
  // server, so the test stays on this machine.
  client.SetHost(std::string(64, 'a') + ".invalid");
  EXPECT_THROW(client.QueryServerTime(), EIdSocketError);
  EXPECT_FALSE(client.Info.Valid);
}

// --- A real NTP server ------------------------------------------------------------------------

TEST(RealServer, ChronydAnswersWithItsStratumAndAnErrorOfAFewMilliseconds) {
  ChronyServer chrony;
  ASSERT_TRUE(chrony.Started()) << chrony.Problem().toStdString();
  TNTPClient client;
  client.SetHost("127.0.0.1");  // chronyd listens there; a machine may lack a localhost line
  client.SetPort(chrony.Port());
  client.SetReceiveTimeout(500);
  client.SetActive(true);
  EXPECT_NE(client.QueryServerTime(), 0.0);
  client.SetActive(false);
  EXPECT_TRUE(client.Info.Valid);
  EXPECT_EQ(client.Info.Stratum, ChronyServer::kStratum);
  EXPECT_EQ(client.Info.Mode, 4);
  EXPECT_LT(std::fabs(client.GetClockOffset() * 86400.0), 0.005);
  EXPECT_GE(client.Info.RoundTripDelay * 86400.0, -0.002);
  EXPECT_LT(client.Info.RoundTripDelay * 86400.0, 0.05);
}

// --- Reply decoding: every field and each validity rule at its boundary -----------------------

TEST(Decoding, FewerThanFortyEightBytesAreNoReplyAndBytesBeyondThemAreIgnored) {
  FakeClock clock;
  QByteArray reply = Reply({{0, 0x24}, {1, 2}, {40, 0xEB}});
  EXPECT_FALSE(DecodeSntpReply(Span(reply.left(47)), clock.local).has_value());
  EXPECT_FALSE(DecodeSntpReply({}, clock.local).has_value());
  const std::span<const uint8_t> bytes = Span(reply);
  EXPECT_FALSE(DecodeSntpReply(bytes.first(47), clock.local).has_value());
  ASSERT_TRUE(DecodeSntpReply(bytes, clock.local).has_value());
  const TNTPInfo exact = *DecodeSntpReply(bytes, clock.local);
  const TNTPInfo longer = Decode(reply + QByteArray(20, '\xFF'), clock.local);
  EXPECT_TRUE(exact.Valid);
  EXPECT_EQ(longer.ServerTime, exact.ServerTime);
  EXPECT_EQ(longer.Valid, exact.Valid);
}

TEST(Decoding, EachValidityRuleOnBothSidesOfItsBoundary) {
  FakeClock clock;
  struct Case {
    const char* what;
    uint8_t byte0;
    uint8_t stratum;
    std::vector<std::pair<int, uint8_t>> transmit;  // non-zero bytes of 40..47
    bool valid;
  };
  const std::vector<Case> cases = {
      {"leap indicator 0", 0x24, 2, {{40, 0xEB}}, true},
      {"leap indicator 1", 0x64, 2, {{40, 0xEB}}, true},
      {"leap indicator 2", 0xA4, 2, {{40, 0xEB}}, true},
      {"leap indicator 3", 0xE4, 2, {{40, 0xEB}}, false},
      {"stratum 0", 0x24, 0, {{40, 0xEB}}, false},
      {"stratum 1", 0x24, 1, {{40, 0xEB}}, true},
      {"stratum 15", 0x24, 15, {{40, 0xEB}}, true},
      {"stratum 16", 0x24, 16, {{40, 0xEB}}, false},
      {"stratum 255", 0x24, 255, {{40, 0xEB}}, false},
      {"transmit all zero", 0x24, 2, {}, false},
      {"transmit seconds zero, fraction not", 0x24, 2, {{47, 0x01}}, true},
      {"transmit seconds' low byte only", 0x24, 2, {{43, 0x01}}, true},
      {"transmit fraction's high byte only", 0x24, 2, {{44, 0x80}}, true},
      // Version, mode and the originate stamp play no part.
      {"version 0, mode 0", 0x00, 2, {{40, 0xEB}}, true},
      {"version 7, mode 7", 0x3F, 2, {{40, 0xEB}}, true},
  };
  for (const Case& c : cases) {
    QByteArray reply = Reply({{0, c.byte0}, {1, c.stratum}});
    for (auto [offset, value] : c.transmit) reply[offset] = static_cast<char>(value);
    EXPECT_EQ(Decode(reply, clock.local).Valid, c.valid) << c.what;
  }
}

TEST(Decoding, EveryHeaderFieldComesFromItsOwnBytes) {
  FakeClock clock;
  QByteArray reply = Reply({{0, 0xA3},  // leap 2, version 4, mode 3
                            {1, 1},
                            {2, 0xFA},  // poll 2^-6
                            {3, 0x05},  // precision 2^5
                            {4, 0xFF},  // root delay FF FF 80 00: -0.5 s
                            {5, 0xFF},
                            {6, 0x80},
                            {8, 0xFF},  // root dispersion FF FE 40 00: -1.75 s
                            {9, 0xFE},
                            {10, 0x40},
                            {12, 'G'},
                            {13, 'P'},
                            {14, 'S'},
                            {40, 0xEB}});
  const TNTPInfo info = Decode(reply, clock.local);
  EXPECT_EQ(info.LeapIndicator, 2);
  EXPECT_EQ(info.Version, 4);
  EXPECT_EQ(info.Mode, 3);
  EXPECT_EQ(info.Stratum, 1);
  EXPECT_DOUBLE_EQ(info.PollInterval, 1.0 / 64);
  EXPECT_DOUBLE_EQ(info.Precision, 32.0);
  EXPECT_DOUBLE_EQ(info.RootDelay, -0.5);
  EXPECT_DOUBLE_EQ(info.RootDispersion, -1.75);
  // Stratum 1: four characters, the zero byte included.
  EXPECT_EQ(info.ReferenceID, std::string("GPS\0", 4));
  EXPECT_TRUE(info.Valid);
  EXPECT_EQ(info.DestinationTime, clock.local);

  reply[1] = 15;  // the same bytes at stratum 15 are an address
  EXPECT_EQ(Decode(reply, clock.local).ReferenceID, "71.80.83.0");
}

// --- Out-of-range times -----------------------------------------------------------------------

TEST(Timestamps, TimesBefore1900CountBackFromTheEraEnd) {
  FakeClock clock;  // bias 0
  uint32_t s = 1, f = 1;
  LocalToNtpStamp(1.0, s, f);  // 1899-12-31 00:00, one day before the epoch
  EXPECT_EQ(s, 4294967296u - 86400u);
  EXPECT_EQ(f, 0u);
  LocalToNtpStamp(2.0 - 1.0 / 1024, s, f);  // 84.375 s before the epoch
  EXPECT_EQ(s, 4294967296u - 85u);
  EXPECT_EQ(f, 0xA0000000u);                // 0.625 s
  LocalToNtpStamp(2.0 - 1.0 / 4096, s, f);  // 21.09375 s before
  EXPECT_EQ(s, 4294967296u - 22u);
  EXPECT_EQ(f, 0xE8000000u);  // 0.90625 s
  // Far outside any era: still a stamp, with whole seconds wrapped.
  LocalToNtpStamp(-1e30, s, f);
  EXPECT_EQ(f, 0u);
  LocalToNtpStamp(1e30, s, f);
  EXPECT_EQ(f, 0u);
}

TEST(Timestamps, ValuesThatAreNoTimeGiveTheZeroStamp) {
  FakeClock clock;
  for (double value :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    uint32_t s = 1, f = 1;
    LocalToNtpStamp(value, s, f);
    EXPECT_EQ(s, 0u) << value;
    EXPECT_EQ(f, 0u) << value;
  }
}

// --- Conversions under zones east and west of UTC (the zone seam) -----------------------------

namespace {

struct SeamZone {
  const char* name;
  int standard_east;  // minutes east of UTC
  bool daylight;
  int local_day;  // July 2026, at 12:00:00.250 UTC
  const char* local_time;
};

class ZonedConversions : public ::testing::TestWithParam<SeamZone> {};

std::string SeamZoneName(const ::testing::TestParamInfo<SeamZone>& info) {
  return info.param.name;
}

}  // namespace

TEST_P(ZonedConversions, StampsAreUtcAndTheServersTimeIsLocal) {
  const SeamZone& z = GetParam();
  FakeClock clock;
  clock.SetZone(z.standard_east, z.daylight);
  const int east = z.standard_east + (z.daylight ? 60 : 0);
  EXPECT_DOUBLE_EQ(UtcBiasDays(), -east / 1440.0);

  // 12:00:00.250 UTC on 1 July 2026 as this zone's local date-time.
  const double utc = DaysFromCivil(2026, 7, 1) + 0.5 + 250 * kMs;
  const double local = utc + east / 1440.0;
  const uint32_t seconds = NtpSeconds(2026, 7, 1, 12, 0);
  const uint32_t fraction = FractionForMs(250);
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(local, s, f);
  EXPECT_LE(std::llabs(Stamp64(s, f) - Stamp64(seconds, fraction)), kStampMs);
  EXPECT_NEAR(NtpStampToLocal(seconds, fraction), local, kMs / 100);

  QByteArray reply = Reply({{0, 0x24}, {1, 2}});
  PutStamp(reply, 40, seconds, fraction);
  const TNTPInfo info = Decode(reply, local);
  EXPECT_NEAR(info.ServerTime, local, kMs / 100);
  // The displays: the UTC time of day, and the local date and time of day.
  EXPECT_EQ(framework::FormatTimeOfDay(info.ServerTimeUtc), "12:00:00 250");
  EXPECT_EQ(framework::FormatTimeOfDay(info.ServerTime), z.local_time);
  EXPECT_EQ(framework::FormatShortDate(info.ServerTime),
            QLocale::system().toString(QDate(2026, 7, z.local_day), QLocale::ShortFormat));
}

INSTANTIATE_TEST_SUITE_P(
    EastAndWest, ZonedConversions,
    ::testing::Values(SeamZone{"NewYorkStandard", -300, false, 1, "7:00:00 250"},
                      SeamZone{"NewYorkDaylight", -300, true, 1, "8:00:00 250"},
                      SeamZone{"HonoluluStandard", -600, false, 1, "2:00:00 250"},
                      SeamZone{"BerlinStandard", 60, false, 1, "13:00:00 250"},
                      SeamZone{"BerlinDaylight", 60, true, 1, "14:00:00 250"},
                      SeamZone{"KolkataStandard", 330, false, 1, "17:30:00 250"},
                      SeamZone{"ChathamStandard", 765, false, 2, "0:45:00 250"},
                      SeamZone{"ChathamDaylight", 765, true, 2, "1:45:00 250"}),
    SeamZoneName);

// --- Conversions through the real stand-in and the real zone rules ----------------------------

namespace {

struct RealInstant {
  const char* name;
  const char* zone;
  time_t utc;
  int bias;  // minutes in force, UTC = local + bias
};

class RealZoneConversions : public ::testing::TestWithParam<RealInstant> {};

std::string RealInstantName(const ::testing::TestParamInfo<RealInstant>& info) {
  return info.param.name;
}

}  // namespace

TEST_P(RealZoneConversions, TheLocalClockStampsAsTheKernelsUtcInstant) {
  const RealInstant& c = GetParam();
  ScopedTimeZone zone(c.zone);
  FakeKernelClock kernel(c.utc, 250000000L);
  EXPECT_DOUBLE_EQ(UtcBiasDays(), c.bias / 1440.0);
  const double now = framework::Now();
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(now, s, f);
  const auto expected_seconds = static_cast<uint32_t>(c.utc + 2208988800LL);
  EXPECT_LE(std::llabs(Stamp64(s, f) - Stamp64(expected_seconds, FractionForMs(250))), kStampMs);
  EXPECT_NEAR(NtpStampToLocal(expected_seconds, FractionForMs(250)), now, kMs / 100);
}

INSTANTIATE_TEST_SUITE_P(
    BothSidesOfBothChanges, RealZoneConversions,
    ::testing::Values(RealInstant{"NewYorkBeforeFallBack", "America/New_York",
                                  UnixSeconds(2026, 11, 1, 5, 59, 59), 240},
                      RealInstant{"NewYorkAfterFallBack", "America/New_York",
                                  UnixSeconds(2026, 11, 1, 6, 0), 300},
                      RealInstant{"NewYorkBeforeSpringForward", "America/New_York",
                                  UnixSeconds(2026, 3, 8, 6, 59, 59), 300},
                      RealInstant{"NewYorkAfterSpringForward", "America/New_York",
                                  UnixSeconds(2026, 3, 8, 7, 0), 240},
                      RealInstant{"BerlinBeforeFallBack", "Europe/Berlin",
                                  UnixSeconds(2026, 10, 25, 0, 59, 59), -120},
                      RealInstant{"BerlinAfterFallBack", "Europe/Berlin",
                                  UnixSeconds(2026, 10, 25, 1, 0), -60},
                      RealInstant{"BerlinBeforeSpringForward", "Europe/Berlin",
                                  UnixSeconds(2026, 3, 29, 0, 59, 59), -60},
                      RealInstant{"BerlinAfterSpringForward", "Europe/Berlin",
                                  UnixSeconds(2026, 3, 29, 1, 0), -120},
                      RealInstant{"AdelaideBeforeFallBack", "Australia/Adelaide",
                                  UnixSeconds(2026, 4, 4, 16, 29, 59), -630},
                      RealInstant{"AdelaideAfterFallBack", "Australia/Adelaide",
                                  UnixSeconds(2026, 4, 4, 16, 30), -570},
                      RealInstant{"AdelaideBeforeSpringForward", "Australia/Adelaide",
                                  UnixSeconds(2026, 10, 3, 16, 29, 59), -570},
                      RealInstant{"AdelaideAfterSpringForward", "Australia/Adelaide",
                                  UnixSeconds(2026, 10, 3, 16, 30), -630},
                      RealInstant{"ChathamBeforeFallBack", "Pacific/Chatham",
                                  UnixSeconds(2026, 4, 4, 13, 59, 59), -825},
                      RealInstant{"ChathamAfterFallBack", "Pacific/Chatham",
                                  UnixSeconds(2026, 4, 4, 14, 0), -765},
                      RealInstant{"ChathamBeforeSpringForward", "Pacific/Chatham",
                                  UnixSeconds(2026, 9, 26, 13, 59, 59), -765},
                      RealInstant{"ChathamAfterSpringForward", "Pacific/Chatham",
                                  UnixSeconds(2026, 9, 26, 14, 0), -825},
                      RealInstant{"Kolkata", "Asia/Kolkata", UnixSeconds(2026, 7, 1, 12, 0), -330}),
    RealInstantName);

// --- One exchange: the order of its steps and the time it sets --------------------------------

namespace {

// The fake socket library, with the reply put in line only once the request has gone out, and
// every call of interest written to the same log as the clock's readings.
class ExchangeWinsock : public FakeWinsock {
 public:
  explicit ExchangeWinsock(std::vector<std::string>& log) : log_(log) { instance = this; }
  ~ExchangeWinsock() override { instance = nullptr; }

  QByteArray reply;  // put in line when a request is sent

  void* GetProcAddress(platform::HMODULE module, const char* name) override {
    void* real = FakeWinsock::GetProcAddress(module, name);
    if (real == nullptr) return nullptr;
    const std::string n = name;
    if (n == "gethostbyname") {
      real_lookup_ = reinterpret_cast<platform::Tgethostbyname>(real);
      return reinterpret_cast<void*>(&Lookup);
    }
    if (n == "socket") {
      real_socket_ = reinterpret_cast<platform::Tsocket>(real);
      return reinterpret_cast<void*>(&Socket);
    }
    if (n == "sendto") {
      real_send_ = reinterpret_cast<platform::Tsendto>(real);
      return reinterpret_cast<void*>(&SendTo);
    }
    if (n == "recvfrom") {
      real_receive_ = reinterpret_cast<platform::Trecvfrom>(real);
      return reinterpret_cast<void*>(&RecvFrom);
    }
    return real;
  }

 private:
  static inline ExchangeWinsock* instance = nullptr;
  static inline platform::Tgethostbyname real_lookup_ = nullptr;
  static inline platform::Tsocket real_socket_ = nullptr;
  static inline platform::Tsendto real_send_ = nullptr;
  static inline platform::Trecvfrom real_receive_ = nullptr;

  static platform::HOSTENT* Lookup(const char* name) {
    instance->log_.push_back("gethostbyname");
    return real_lookup_(name);
  }
  static platform::SOCKET Socket(int family, int type, int protocol) {
    instance->log_.push_back("socket");
    return real_socket_(family, type, protocol);
  }
  static int SendTo(platform::SOCKET s, const char* data, int length, int flags,
                    const platform::SOCKADDR_IN* to, int to_length) {
    instance->log_.push_back("sendto");
    const int sent = real_send_(s, data, length, flags, to, to_length);
    if (!instance->reply.isEmpty()) instance->datagrams.push_back(instance->reply);
    return sent;
  }
  static int RecvFrom(platform::SOCKET s, char* buffer, int length, int flags,
                      platform::SOCKADDR_IN* from, int* from_length) {
    instance->log_.push_back("recvfrom");
    return real_receive_(s, buffer, length, flags, from, from_length);
  }

  std::vector<std::string>& log_;
};

std::ptrdiff_t IndexOf(const std::vector<std::string>& log, const std::string& call) {
  return std::find(log.begin(), log.end(), call) - log.begin();
}
std::ptrdiff_t LastIndexOf(const std::vector<std::string>& log, const std::string& call) {
  const auto found = std::find(log.rbegin(), log.rend(), call);
  return found == log.rend() ? -1 : log.rend() - found - 1;
}

}  // namespace

TEST(Exchange, T1IsStampedFirstAndT4ReadBeforeTheReplyIsDecoded) {
  std::vector<std::string> log;
  ExchangeWinsock winsock(log);
  FakeClock clock;
  clock.SetZone(60, true);  // Berlin in summer: UTC+2
  // 14:00:00.000 local is 12:00:00.000 UTC; every reading moves the clock on by 5 ms.
  const double start = DaysFromCivil(2026, 7, 1) + 14.0 / 24;
  clock.local = start;
  clock.step_after_read = 5 * kMs;
  clock.on_call = [&log](const std::string& call) { log.push_back(call); };

  // T1 12:00:00.000, T2 12:00:00.100, T3 12:00:00.101 UTC.
  const uint32_t noon = NtpSeconds(2026, 7, 1, 12, 0);
  winsock.reply = Reply({{0, 0x24}, {1, 2}});
  PutStamp(winsock.reply, 24, noon, 0);
  PutStamp(winsock.reply, 32, noon, FractionForMs(100));
  PutStamp(winsock.reply, 40, noon, FractionForMs(101));

  TNTPClient client;
  client.SetHost("time.example");
  client.SetPort(123);
  client.SetReceiveTimeout(500);
  ASSERT_TRUE(client.SetComputerTime());

  // T1 is read before the name is looked up, the socket made and the request sent; T4 after
  // the datagram was taken and before any zone reading that decoding needs.
  const auto t1 = IndexOf(log, "local");
  const auto received = LastIndexOf(log, "recvfrom");
  ASSERT_LT(received, static_cast<std::ptrdiff_t>(log.size()));
  EXPECT_LT(t1, IndexOf(log, "gethostbyname"));
  EXPECT_LT(t1, IndexOf(log, "socket"));
  EXPECT_LT(t1, IndexOf(log, "sendto"));
  const auto t4 = std::find(log.begin() + received, log.end(), "local") - log.begin();
  EXPECT_LT(t4, std::find(log.begin() + received, log.end(), "zone") - log.begin());
  EXPECT_EQ(std::count(log.begin(), log.end(), "local"), 2);
  EXPECT_EQ(log.back(), "set");

  // The request: client mode, version 3, stamped with the first reading (12:00:00.000 UTC).
  ASSERT_EQ(winsock.sent.size(), 1u);
  const QByteArray& request = winsock.sent[0].data;
  ASSERT_EQ(request.size(), 48);
  EXPECT_EQ(static_cast<uint8_t>(request[0]), 0x1B);
  uint32_t s = 0, f = 0;
  for (int i = 0; i < 4; ++i) {
    s = (s << 8) | static_cast<uint8_t>(request[40 + i]);
    f = (f << 8) | static_cast<uint8_t>(request[44 + i]);
  }
  EXPECT_LE(std::llabs(Stamp64(s, f) - Stamp64(noon, 0)), kStampMs);

  // T4 = 14:00:00.005 local: delay (5 - 1) ms, offset (100 + 96) / 2 ms.
  const TNTPInfo& info = client.Info;
  EXPECT_TRUE(info.Valid);
  EXPECT_NEAR(info.DestinationTime, start + 5 * kMs, kMs / 100);
  EXPECT_NEAR(info.OriginateTime, start, kMs / 100);
  EXPECT_NEAR(info.RoundTripDelay * 86400000.0, 4.0, 1e-3);
  EXPECT_NEAR(info.ClockOffset * 86400000.0, 98.0, 1e-3);
  EXPECT_NEAR(info.ServerTime, start + 101 * kMs, kMs / 100);
  EXPECT_EQ(framework::FormatTimeOfDay(info.ServerTimeUtc), "12:00:00 101");

  // The clock is set in local fields to T4 + offset - (T3 - T2): 14:00:00.102.
  ASSERT_EQ(clock.set_times.size(), 1u);
  const platform::SYSTEMTIME& set = clock.set_times[0];
  EXPECT_EQ(set.wYear, 2026);
  EXPECT_EQ(set.wMonth, 7);
  EXPECT_EQ(set.wDay, 1);
  EXPECT_EQ(set.wDayOfWeek, 3);  // a Wednesday
  EXPECT_EQ(set.wHour, 14);
  EXPECT_EQ(set.wMinute, 0);
  EXPECT_EQ(set.wSecond, 0);
  EXPECT_EQ(set.wMilliseconds, 102);
}

// --- The query and the clock setting through the real stand-in and real zones -----------------

namespace {

struct RealQueryCase {
  const char* name;
  const char* zone;
  time_t utc;
  const char* utc_time_of_day;  // of the server's time, 10 s after the kernel's instant
};

class RealZoneQuery : public ::testing::TestWithParam<RealQueryCase> {};

std::string RealQueryName(const ::testing::TestParamInfo<RealQueryCase>& info) {
  return info.param.name;
}

}  // namespace

TEST_P(RealZoneQuery, TheServersTimeIsShownLocallyAndSetAsTheSameInstant) {
  const RealQueryCase& c = GetParam();
  ScopedTimeZone zone(c.zone);
  FakeKernelClock kernel(c.utc, 0);
  FakeSntpServer server;
  ReplySpec plan;
  plan.seconds_after_originate = 10.0;  // the server is 10 s ahead of the frozen kernel clock
  server.ThenReply(plan);
  server.ThenReply(plan);
  TNTPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetReceiveTimeout(500);

  const double now = framework::Now();
  ASSERT_NE(client.QueryServerTime(), 0.0);
  const TNTPInfo& info = client.Info;
  EXPECT_NEAR((info.ServerTime - now) * 86400.0, 10.0, 0.0011);
  EXPECT_NEAR(client.GetClockOffset() * 86400.0, 10.0, 0.0011);
  // The shown UTC time of day; the stamps may read back a millisecond short.
  const QString shown = framework::FormatTimeOfDay(info.ServerTimeUtc);
  const QString exact = QString(c.utc_time_of_day) + " 000";
  EXPECT_TRUE(shown == exact || shown.endsWith(" 999")) << shown.toStdString();
  EXPECT_EQ(framework::FormatShortDate(info.ServerTime), framework::FormatShortDate(now));

  ASSERT_TRUE(client.SetComputerTime());
  ASSERT_EQ(kernel.set_times.size(), 1u);
  const double set_ms =
      (kernel.set_times[0].tv_sec - c.utc) * 1000.0 + kernel.set_times[0].tv_nsec / 1e6;
  EXPECT_NEAR(set_ms, 10000.0, 1.5);
}

INSTANTIATE_TEST_SUITE_P(
    AcrossTheDaylightChanges, RealZoneQuery,
    ::testing::Values(RealQueryCase{"NewYorkFirstPassThroughTheRepeatedHour", "America/New_York",
                                    UnixSeconds(2026, 11, 1, 5, 30), "5:30:10"},
                      RealQueryCase{"NewYorkSecondPassThroughTheRepeatedHour", "America/New_York",
                                    UnixSeconds(2026, 11, 1, 6, 30), "6:30:10"},
                      RealQueryCase{"NewYorkAfterSpringForward", "America/New_York",
                                    UnixSeconds(2026, 3, 8, 7, 0, 30), "7:00:40"},
                      RealQueryCase{"BerlinFirstPassThroughTheRepeatedHour", "Europe/Berlin",
                                    UnixSeconds(2026, 10, 25, 0, 45), "0:45:10"},
                      RealQueryCase{"AdelaideFirstPassThroughTheRepeatedHour", "Australia/Adelaide",
                                    UnixSeconds(2026, 4, 4, 16, 0), "16:00:10"},
                      RealQueryCase{"ChathamFirstPassThroughTheRepeatedHour", "Pacific/Chatham",
                                    UnixSeconds(2026, 4, 4, 13, 15), "13:15:10"},
                      RealQueryCase{"KolkataAcrossMidnightFromUtc", "Asia/Kolkata",
                                    UnixSeconds(2026, 7, 1, 20, 0), "20:00:10"}),
    RealQueryName);

// --- Full-resolution figures beside the millisecond ones --------------------------------------

namespace {

constexpr int64_t kNs = 1000000000;

TNtpTimestamp StampOf(int64_t unix_ns) {
  const int64_t ntp_ns = unix_ns + int64_t{2208988800} * kNs;
  TNtpTimestamp stamp;
  stamp.Seconds = static_cast<uint32_t>(ntp_ns / kNs);
  stamp.Fraction = static_cast<uint32_t>(std::llround((ntp_ns % kNs) * 4294967296.0 / kNs));
  return stamp;
}

}  // namespace

TEST(Precise, StampsBecomeNanosecondsSince1970InBothEras) {
  TNtpTimestamp stamp{NtpSeconds(2026, 3, 1, 12, 0), 0x80000000u};
  EXPECT_EQ(NtpStampToUnixNanoseconds(stamp),
            int64_t{UnixSeconds(2026, 3, 1, 12, 0)} * kNs + 500000000);
  // The fraction to the nearest nanosecond: 2^-32 s is about 0.23 ns.
  stamp.Fraction = 1;
  EXPECT_EQ(NtpStampToUnixNanoseconds(stamp), int64_t{UnixSeconds(2026, 3, 1, 12, 0)} * kNs);
  stamp.Fraction = 5;  // 1.16 ns
  EXPECT_EQ(NtpStampToUnixNanoseconds(stamp), int64_t{UnixSeconds(2026, 3, 1, 12, 0)} * kNs + 1);
  stamp.Fraction = 0xFFFFFFFFu;  // a whisker below the next second
  EXPECT_EQ(NtpStampToUnixNanoseconds(stamp), int64_t{UnixSeconds(2026, 3, 1, 12, 0)} * kNs + kNs);
  // Words below 0x80000000 count from 2036-02-07 06:28:16 UTC, 2085978496 s after 1970.
  EXPECT_EQ(NtpStampToUnixNanoseconds({5, 0}), (int64_t{2085978496} + 5) * kNs);
  EXPECT_EQ(NtpStampToUnixNanoseconds({0x80000000u, 0}), (int64_t{0x80000000} - 2208988800) * kNs);
}

TEST(Precise, OffsetAndDelayOfKnownTimesToTheNanosecond) {
  const int64_t t1 = int64_t{UnixSeconds(2026, 6, 30, 23, 59, 58)} * kNs + 123456789;
  TNtpPacket reply;
  reply.Stratum = 2;
  reply.ReceiveTimestamp = StampOf(t1 + 1500250000);   // 1.50025 s after T1
  reply.TransmitTimestamp = StampOf(t1 + 1500350000);  // held 100 µs
  const int64_t t4 = t1 + 1000000;                     // back 1 ms after T1
  const TPreciseExchange e = PreciseExchange(reply, t1, t4);
  EXPECT_EQ(e.Originate, t1);
  EXPECT_EQ(e.Destination, t4);
  EXPECT_EQ(e.Receive, t1 + 1500250000);
  EXPECT_EQ(e.Transmit, t1 + 1500350000);
  EXPECT_NEAR(e.RoundTripDelay, 0.0009, 1e-12);
  // ((T2 - T1) + (T3 - T4)) / 2 = (1.50025 + 1.49935) / 2
  EXPECT_NEAR(e.ClockOffset, 1.4998, 1e-12);
  EXPECT_TRUE(e.Valid);
  // A computer ahead of its server has a negative offset.
  const TPreciseExchange behind = PreciseExchange(reply, t1 + 3 * kNs, t4 + 3 * kNs);
  EXPECT_NEAR(behind.ClockOffset, 1.4998 - 3, 1e-12);
  EXPECT_NEAR(behind.RoundTripDelay, 0.0009, 1e-12);
  // Valid follows the reply's validity rules.
  reply.Stratum = 0;
  EXPECT_FALSE(PreciseExchange(reply, t1, t4).Valid);
}

TEST(PreciseClock, ThePreciseClockIsReadRightBeforeTheSendAndRightAfterTheReceive) {
  // A library without kernel stamps, as Windows' own: the client's readings are T1 and T4.
  ScriptedStamps library(/*library_has_stamps=*/false);
  FakeSntpServer server;
  TNTPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetReceiveTimeout(500);
  // This machine's fine clock reads 0.7 s late; the millisecond clock is the real one.
  std::vector<int64_t> readings;
  client.SetPreciseClock([&] {
    readings.push_back(SystemClockNanoseconds() - 700000000);
    return readings.back();
  });
  server.ThenReply();
  EXPECT_NE(client.QueryServerTime(), 0.0);
  ASSERT_EQ(readings.size(), 2u);
  EXPECT_EQ(client.Precise.Originate, readings[0]);
  EXPECT_EQ(client.Precise.Destination, readings[1]);
  EXPECT_TRUE(client.Precise.Valid);
  EXPECT_NEAR(client.Precise.ClockOffset, 0.7, client.Precise.RoundTripDelay / 2 + 1e-6);
  EXPECT_NEAR(client.GetClockOffset() * 86400.0, 0.0,
              0.005);  // the millisecond figure is untouched
  // The server's stamps are those of the reply that filled Info.
  EXPECT_LT(std::fabs((client.Precise.Transmit - client.Precise.Receive) / 1e9), 1e-6);

  // No reply: Valid cleared, as Info's.
  server.ThenSilence();
  client.SetReceiveTimeout(50);
  EXPECT_EQ(client.QueryServerTime(), 0.0);
  EXPECT_FALSE(client.Precise.Valid);
  EXPECT_EQ(readings.size(), 4u);
}

// The scripted server stamps its reply with the real clock plus 2.5 s at full resolution; the
// moment it answers lies between T1 and T4, so each precise offset is within half the round
// trip of 2.5 s, and over loopback that is well under 0.1 ms.
TEST_F(Query, ThePreciseOffsetIsWithinATenthOfAMillisecondOfTheTruth) {
  ReplySpec plan;
  plan.offset_seconds = 2.5;
  std::vector<double> precise_errors, ms_errors;
  for (int i = 0; i < 20; ++i) {
    server.ThenReply(plan);
    ASSERT_NE(client.QueryServerTime(), 0.0);
    ASSERT_TRUE(client.Precise.Valid);
    const double off = std::fabs(client.Precise.ClockOffset - 2.5);
    EXPECT_LE(off, client.Precise.RoundTripDelay / 2 + 2e-9);
    precise_errors.push_back(off);
    ms_errors.push_back(std::fabs(client.GetClockOffset() * 86400.0 - 2.5));
  }
  std::sort(precise_errors.begin(), precise_errors.end());
  std::sort(ms_errors.begin(), ms_errors.end());
  EXPECT_LT(precise_errors[10], 0.0001);
  std::printf(
      "precise offset error: median %.1f us, max %.1f us; ms offset error: median %.1f "
      "us, max %.1f us\n",
      precise_errors[10] * 1e6, precise_errors.back() * 1e6, ms_errors[10] * 1e6,
      ms_errors.back() * 1e6);
}

// The fine clock brackets the send and the receive alone: the name lookup, opening the socket
// and draining it come before T1, decoding the reply after T4.
TEST(PreciseReadings, T1IsReadAfterTheLookupAndSocketRightBeforeSendtoAndT4RightAfterRecvfrom) {
  FakeWinsock winsock;
  TNTPClient client;
  client.SetHost("time.example");
  client.SetPort(123);
  client.SetReceiveTimeout(100);
  client.SetPreciseClock([&] {
    winsock.calls.push_back("clock");
    return int64_t{1};
  });
  winsock.replies.push_back(QByteArray(48, '\x24'));
  client.QueryServerTime();
  ASSERT_EQ(winsock.lookups.size(), 1u);
  ASSERT_EQ(winsock.sockets_made, 1);
  const std::vector<std::string> tail(winsock.calls.end() - 5, winsock.calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"clock", "sendto", "select", "recvfrom", "clock"}));
  EXPECT_EQ(std::count(winsock.calls.begin(), winsock.calls.end(), "clock"), 2);
}

// --- Kernel stamps and bursts -----------------------------------------------------------------

namespace {

// A reply to `request` with the given server stamps (nanoseconds since 1970 UTC).
QByteArray Answer(const QByteArray& request, int64_t t2, int64_t t3, uint8_t stratum = 2) {
  const auto bytes = std::span(reinterpret_cast<const uint8_t*>(request.constData()),
                               static_cast<std::size_t>(request.size()));
  TNtpPacket reply;
  reply.Version = 4;
  reply.Mode = 4;
  reply.Stratum = stratum;
  reply.OriginateTimestamp = ReadNtpPacket(bytes)->TransmitTimestamp;
  reply.ReceiveTimestamp = StampOf(t2);
  reply.TransmitTimestamp = StampOf(t3);
  const TIdBytes written = WriteNtpPacket(reply);
  return QByteArray(reinterpret_cast<const char*>(written.data()),
                    static_cast<qsizetype>(written.size()));
}

struct StampCase {
  const char* name;
  bool library_has_stamps;
  bool kernel_send;     // the system stamps the request's leaving
  bool kernel_receive;  // the system stamps the reply's arrival
  TStampSource t1, t4;
  double delay_ms, offset_ms;  // worked out by hand from the times below
};

void PrintTo(const StampCase& c, std::ostream* os) {
  *os << c.name;
}

class StampSources : public ::testing::TestWithParam<StampCase> {};

// The server stamps X + 10 ms and X + 10.1 ms; the system stamps the request at X and the reply
// at X + 0.5 ms; the client's own clock reads X - 0.2 ms before the send and X + 0.8 ms after
// the receive.
TEST_P(StampSources, EachTimeIsTheSystemsStampWhenGivenAndTheClientsReadingWhenNot) {
  const StampCase& c = GetParam();
  const int64_t x = int64_t{UnixSeconds(2026, 3, 1, 12, 0)} * kNs;
  ScriptedStamps library(c.library_has_stamps);
  library.send_stamps = {c.kernel_send ? x : 0};
  library.receive_stamps = {c.kernel_receive ? x + 500000 : 0};
  FakeSntpServer server;
  server.Then(
      [&](const QByteArray& request) { return Answer(request, x + 10000000, x + 10100000); });
  TNTPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetReceiveTimeout(2000);
  const std::vector<int64_t> readings = {x - 200000, x + 800000};
  std::size_t read = 0;
  client.SetPreciseClock([&] { return readings[std::min(read++, readings.size() - 1)]; });
  ASSERT_NE(client.QueryServerTime(), 0.0);
  EXPECT_EQ(client.Precise.OriginateSource, c.t1);
  EXPECT_EQ(client.Precise.DestinationSource, c.t4);
  EXPECT_NEAR(client.Precise.RoundTripDelay * 1e3, c.delay_ms, 2e-6);
  EXPECT_NEAR(client.Precise.ClockOffset * 1e3, c.offset_ms, 2e-6);
  EXPECT_TRUE(client.Precise.Valid);
}

INSTANTIATE_TEST_SUITE_P(
    Seam, StampSources,
    ::testing::Values(
        // Delay (T4 - T1) - (T3 - T2); offset ((T2 - T1) + (T3 - T4)) / 2, in ms.
        StampCase{"BothFromTheSystem", true, true, true, TStampSource::Kernel, TStampSource::Kernel,
                  0.5 - 0.1, (10 + 9.6) / 2},
        StampCase{"NoReceiveStampReadsTheClockAfterTheReceive", true, true, false,
                  TStampSource::Kernel, TStampSource::User, 0.8 - 0.1, (10 + 9.3) / 2},
        StampCase{"NoSendStampReadsTheClockBeforeTheSend", true, false, true, TStampSource::User,
                  TStampSource::Kernel, 0.7 - 0.1, (10.2 + 9.6) / 2},
        StampCase{"ALibraryWithoutStampCallsReadsTheClockForBoth", false, true, true,
                  TStampSource::User, TStampSource::User, 1.0 - 0.1, (10.2 + 9.3) / 2}),
    [](const auto& info) { return std::string(info.param.name); });

// On this machine's loopback the kernel stamps the request as it leaves and the reply as it
// arrives; the server in the test process stamps with the same clock in between.
TEST(KernelStamps, OverLoopbackTheSystemsStampsBracketTheServersStamps) {
  const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
  const int on = 1;
  const bool refused = ::setsockopt(probe, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0;
  const int error = errno;
  ::close(probe);
  if (refused) GTEST_SKIP() << "this kernel refuses SO_TIMESTAMPNS: " << std::strerror(error);
  FakeSntpServer server;
  server.ThenReply();
  TNTPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetReceiveTimeout(2000);
  ASSERT_NE(client.QueryServerTime(), 0.0);
  if (client.Precise.OriginateSource != TStampSource::Kernel)
    GTEST_SKIP() << "this kernel gave no software transmit stamp for a loopback datagram";
  EXPECT_EQ(client.Precise.DestinationSource, TStampSource::Kernel);
  const TPreciseExchange& e = client.Precise;
  EXPECT_LE(e.Originate, e.Receive);
  EXPECT_LE(e.Receive, e.Transmit);
  EXPECT_LE(e.Transmit, e.Destination);
  EXPECT_GT(e.RoundTripDelay, 0.0);
}

// A datagram the burst server sends on a request: a reply to that request or an earlier one,
// stamped so that its round trip looks `longer_s` longer than it was (the receive stamp half
// of that later, the transmit stamp half of it earlier than the moment of answering: the client
// cannot tell that from a reply held up on the way, and the offset stays that of the clock).
struct BurstAnswer {
  int to_request;  // from 1
  double longer_s;
  uint8_t stratum = 2;
};

// A server in the test process that answers the k-th request with the k-th list of datagrams.
class BurstServer {
 public:
  explicit BurstServer(std::vector<std::vector<BurstAnswer>> script) : script_(std::move(script)) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~BurstServer() {
    running_ = false;
    thread_.join();
    ::close(fd_);
  }
  int Port() const { return port_; }

 private:
  void Serve() {
    std::vector<QByteArray> requests;
    while (running_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;  // look at running_ every 20 ms
      char buffer[512];
      sockaddr_in from{};
      socklen_t from_length = sizeof from;
      const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0,
                                   reinterpret_cast<sockaddr*>(&from), &from_length);
      if (n < 48) continue;
      requests.emplace_back(buffer, static_cast<qsizetype>(n));
      if (requests.size() > script_.size()) continue;
      for (const BurstAnswer& a : script_[requests.size() - 1]) {
        const int64_t now = SystemClockNanoseconds();
        const auto half = static_cast<int64_t>(a.longer_s / 2 * kNs);
        const QByteArray reply =
            Answer(requests[a.to_request - 1], now + half, now - half, a.stratum);
        ::sendto(fd_, reply.constData(), 48, 0, reinterpret_cast<sockaddr*>(&from), from_length);
      }
    }
  }

  std::vector<std::vector<BurstAnswer>> script_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> running_{true};
  std::thread thread_;
};

struct BurstCase {
  const char* name;
  std::vector<std::vector<BurstAnswer>> script;  // one list per request
  int kept;                                      // 0: none
  double kept_longer_s;  // how much longer the kept reply made its round trip look
};

void PrintTo(const BurstCase& c, std::ostream* os) {
  *os << c.name;
}

class Burst : public ::testing::TestWithParam<BurstCase> {};

TEST_P(Burst, KeepsTheValidExchangeWithTheShortestRoundTripOfItsOwnReplies) {
  const BurstCase& c = GetParam();
  BurstServer server(c.script);
  TNTPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetReceiveTimeout(300);
  const TDateTime result = client.QueryServerTimeBurst(static_cast<int>(c.script.size()));
  EXPECT_EQ(client.Burst.Sent, static_cast<int>(c.script.size()));
  EXPECT_EQ(client.Burst.Kept, c.kept);
  EXPECT_EQ(client.Info.Valid, c.kept > 0);
  EXPECT_EQ(client.Precise.Valid, c.kept > 0);
  EXPECT_EQ(result != 0.0, c.kept > 0);
  if (c.kept == 0) return;
  // Info and Precise are both the kept exchange's: its round trip, at either resolution.
  EXPECT_NEAR(client.Precise.RoundTripDelay, c.kept_longer_s, 0.25);
  EXPECT_NEAR(client.Info.RoundTripDelay * 86400, c.kept_longer_s, 0.25);
  EXPECT_NEAR(client.Precise.ClockOffset, 0.0, 0.25);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, Burst,
    ::testing::Values(
        BurstCase{
            "TheShortestRoundTripIsKept", {{{1, 3}}, {{2, 2}}, {{3, 0}}, {{4, 1}}, {{5, 4}}}, 3, 0},
        // A late reply to the first request comes first on the third; taken for the third's,
        // its round trip would look the shortest.
        BurstCase{"ALateReplyToAnEarlierRequestIsPassedOver",
                  {{{1, 3}}, {{2, 4}}, {{1, 0}, {3, 5}}},
                  1,
                  3},
        BurstCase{"ARequestWithoutAReplyDoesNotEndTheBurst", {{{1, 2}}, {}, {{3, 1}}}, 3, 1},
        BurstCase{"InvalidRepliesAreNeverKept", {{{1, 0, 0}}, {{2, 0, 16}}}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
