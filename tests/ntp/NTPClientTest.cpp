#include "ntp/NTPClient.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ntp/IdException.h"
#include "support/ChronyServer.h"
#include "support/FakeClock.h"
#include "support/FakeSntpServer.h"

using framework::DaysFromCivil;
using namespace ntp;
using testing_support::ChronyServer;
using testing_support::FakeClock;
using testing_support::FakeSntpServer;
using testing_support::ReplySpec;

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
  TNTPInfo a = DecodeSntpReply(Reply({{0, 0x24}, {1, 2}}), clock.local);
  EXPECT_EQ(a.LeapIndicator, 0);
  EXPECT_EQ(a.Version, 4);
  EXPECT_EQ(a.Mode, 4);
  TNTPInfo b = DecodeSntpReply(Reply({{0, 0xDC}}), clock.local);
  EXPECT_EQ(b.LeapIndicator, 3);
  EXPECT_EQ(b.Version, 3);
  EXPECT_EQ(b.Mode, 4);
}

TEST(HeaderFields, FixedPointAndPowersOfTwo) {
  EXPECT_DOUBLE_EQ(ShortFixedToSeconds(ByteSwap32(0x00018000)), 1.5);
  EXPECT_DOUBLE_EQ(ShortFixedToSeconds(ByteSwap32(0xFFFF8000)), -0.5);
  EXPECT_DOUBLE_EQ(Log2ToSeconds(0xEC), 9.5367431640625e-07);
  EXPECT_DOUBLE_EQ(Log2ToSeconds(6), 64.0);
  EXPECT_DOUBLE_EQ(Log2ToSeconds(0), 1.0);
  EXPECT_EQ(ByteSwap32(0x11223344), 0x44332211u);
}

TEST(HeaderFields, ReferenceIdIsCharactersAtStrata0And1DottedAbove) {
  const uint8_t gps[4] = {'G', 'P', 'S', 0};
  const QString one = ReferenceIdText(1, gps);
  EXPECT_EQ(one.size(), 4);
  EXPECT_EQ(one.at(3), QChar(0));
  EXPECT_EQ(one.left(3), "GPS");
  const uint8_t kiss[4] = {'R', 'A', 'T', 'E'};
  EXPECT_EQ(ReferenceIdText(0, kiss), "RATE");
  const uint8_t address[4] = {10, 0, 0, 1};
  EXPECT_EQ(ReferenceIdText(2, address), "10.0.0.1");
}

TEST(Request, IsFortyEightBytesWithOnlyTheHeaderByteAndTheTransmitStamp) {
  FakeClock clock;
  const QByteArray request = BuildSntpRequest(DaysFromCivil(2025, 1, 1));
  ASSERT_EQ(request.size(), 48);
  EXPECT_EQ(static_cast<uint8_t>(request[0]), 0x1B);
  for (int i = 1; i < 40; ++i) EXPECT_EQ(request[i], 0) << i;
  // 3944678400 = 0xEB1F0400, network order.
  EXPECT_EQ(request.mid(40, 8), QByteArray::fromHex("eb1f040000000000"));
}

// --- Offset and delay -------------------------------------------------------------------------

TEST(OffsetAndDelay, TheFourTimesOfOneExchange) {
  FakeClock clock;
  const double ten = DaysFromCivil(2025, 1, 1) + 10.0 / 24;
  QByteArray reply = Reply({{0, 0x24}, {1, 2}});
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(ten, s, f);
  PutStamp(reply, 24, s, 0);                                     // T1 10:00:00.000
  PutStamp(reply, 32, s, 0x0F5C28F6);                            // T2 10:00:00.060
  PutStamp(reply, 40, s, 0x0F9DB22E);                            // T3 10:00:00.061
  const TNTPInfo info = DecodeSntpReply(reply, ten + 21 * kMs);  // T4 10:00:00.021
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
  // Each of the four times is cut to the millisecond, and a loaded machine adds its own delay.
  EXPECT_NEAR(client.GetClockOffset() * 86400.0, 2.5, 0.005);
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
  client.SetHost("no-such-host.invalid");
  EXPECT_THROW(client.QueryServerTime(), EIdSocketError);
  EXPECT_FALSE(client.Info.Valid);
}

// --- A real NTP server ------------------------------------------------------------------------

TEST(RealServer, ChronydAnswersWithItsStratumAndAnErrorOfAFewMilliseconds) {
  ChronyServer chrony;
  ASSERT_TRUE(chrony.Started()) << chrony.Problem().toStdString();
  TNTPClient client;
  client.SetHost("localhost");
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
