// The time query as both platforms must run it: the request's bytes, a reply read into its
// named fields and held to the validity rules, NTP stamps on both sides of the 2036 era
// boundary, host names that need no lookup, the socket error texts, and one real exchange
// through TNTPClient with a small SNTP responder on 127.0.0.1. The responder uses the same
// socket library as the client ("wsock32.dll", loaded by name), so on Windows (or Wine) the
// whole exchange runs over the Windows calls. No Qt and no POSIX calls here: this suite runs
// natively on Linux and under Wine in the cross build.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "framework/DateUtils.h"
#include "ntp/IdException.h"
#include "ntp/IdGlobal.h"
#include "ntp/IdStack.h"
#include "ntp/NTPClient.h"
#include "platform/ContractEnvironment.h"
#include "platform/WinTime.h"
#include "platform/Winsock.h"

using framework::DaysFromCivil;
using namespace ntp;

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kMs = 1.0 / 86400000.0;  // one millisecond in days

// A zone of our choosing, UTC+01:30 with no daylight saving time, so that the stamps below
// are the same on every machine. The clock readings themselves stay the real ones.
class FixedZone : public platform::ClockApi {
 public:
  static constexpr int32_t kBiasMinutes = -90;
  void GetLocalTime(platform::SYSTEMTIME* time) override { Real().GetLocalTime(time); }
  void GetSystemTime(platform::SYSTEMTIME* time) override { Real().GetSystemTime(time); }
  uint32_t GetTimeZoneInformation(platform::TIME_ZONE_INFORMATION* info) override {
    *info = platform::TIME_ZONE_INFORMATION{};
    info->Bias = kBiasMinutes;
    return platform::TIME_ZONE_ID_UNKNOWN;
  }
  bool SetLocalTime(const platform::SYSTEMTIME*) override { return false; }

 private:
  platform::ScopedOverride<platform::ClockApi> installed_{*this};
};

// The local date-time (in FixedZone) of a UTC calendar instant.
double LocalOfUtc(int year, int month, int day, int hour, int minute, double second) {
  return DaysFromCivil(year, month, day) + (hour * 3600 + minute * 60 + second) / kSecondsPerDay -
         FixedZone::kBiasMinutes / 1440.0;
}

void PutWord(TIdBytes& bytes, std::size_t at, uint32_t word) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(word >> (24 - 8 * i));
}

// A reply of a synchronised stratum-2 server, with the stamps given as words.
TIdBytes ValidReply() {
  TIdBytes reply(48, 0);
  reply[0] = 0x1C;  // no leap second, version 3, server
  reply[1] = 2;
  return reply;
}

// --- The request ------------------------------------------------------------------------------

TEST(SntpRequest, IsFortyEightBytesWithTheHeaderByteAndTheTransmitStampOnly) {
  FixedZone zone;
  // 2025-01-01 00:00 UTC is 3944678400 (0xEB1F0400) seconds after 1900; half a second more
  // is the fraction 0x80000000.
  const TIdBytes request = BuildSntpRequest(LocalOfUtc(2025, 1, 1, 0, 0, 0.5));
  ASSERT_EQ(request.size(), 48u);
  EXPECT_EQ(request[0], 0x1B) << "leap indicator 0, version 3, client mode";
  for (std::size_t i = 1; i < 40; ++i) EXPECT_EQ(request[i], 0) << "byte " << i;
  EXPECT_EQ(TIdBytes(request.begin() + 40, request.end()),
            (TIdBytes{0xEB, 0x1F, 0x04, 0x00, 0x80, 0x00, 0x00, 0x00}));
}

// --- Reading a reply --------------------------------------------------------------------------

TEST(SntpReply, EveryFieldIsReadFromItsOwnBytesInNetworkOrder) {
  TIdBytes bytes(48, 0);
  bytes[0] = 0x5C;  // leap 1, version 3, mode 4
  bytes[1] = 3;
  bytes[2] = 6;
  bytes[3] = 0xEC;  // -20
  PutWord(bytes, 4, 0x00018000);
  PutWord(bytes, 8, 0x00004000);
  bytes[12] = 192, bytes[13] = 0, bytes[14] = 2, bytes[15] = 7;
  PutWord(bytes, 16, 0x01020304), PutWord(bytes, 20, 0x05060708);
  PutWord(bytes, 24, 0x11121314), PutWord(bytes, 28, 0x15161718);
  PutWord(bytes, 32, 0x21222324), PutWord(bytes, 36, 0x25262728);
  PutWord(bytes, 40, 0x31323334), PutWord(bytes, 44, 0x35363738);

  const std::optional<TNtpPacket> read = ReadNtpPacket(bytes);
  ASSERT_TRUE(read.has_value());
  const TNtpPacket& p = *read;
  EXPECT_EQ(p.LeapIndicator, 1);
  EXPECT_EQ(p.Version, 3);
  EXPECT_EQ(p.Mode, 4);
  EXPECT_EQ(p.Stratum, 3);
  EXPECT_EQ(p.Poll, 6);
  EXPECT_EQ(p.Precision, 0xEC);
  EXPECT_EQ(p.RootDelay, 0x00018000u);
  EXPECT_EQ(p.RootDispersion, 0x00004000u);
  EXPECT_EQ(p.ReferenceId, (std::array<uint8_t, 4>{192, 0, 2, 7}));
  EXPECT_EQ(p.ReferenceTimestamp, (TNtpTimestamp{0x01020304, 0x05060708}));
  EXPECT_EQ(p.OriginateTimestamp, (TNtpTimestamp{0x11121314, 0x15161718}));
  EXPECT_EQ(p.ReceiveTimestamp, (TNtpTimestamp{0x21222324, 0x25262728}));
  EXPECT_EQ(p.TransmitTimestamp, (TNtpTimestamp{0x31323334, 0x35363738}));
  EXPECT_EQ(WriteNtpPacket(p), bytes) << "written back to the same bytes";

  // The decoded figures in the units the window shows.
  const std::optional<TNTPInfo> info = DecodeSntpReply(bytes, 45000.0);
  ASSERT_TRUE(info.has_value());
  EXPECT_DOUBLE_EQ(info->RootDelay, 1.5);
  EXPECT_DOUBLE_EQ(info->RootDispersion, 0.25);
  EXPECT_DOUBLE_EQ(info->PollInterval, 64.0);
  EXPECT_DOUBLE_EQ(info->Precision, std::ldexp(1.0, -20));
  EXPECT_EQ(info->ReferenceID, "192.0.2.7") << "dotted above stratum 1";
  EXPECT_DOUBLE_EQ(info->DestinationTime, 45000.0);

  // Fewer than 48 bytes are no reply; bytes beyond them are not read.
  EXPECT_FALSE(ReadNtpPacket(std::span<const uint8_t>(bytes).first(47)).has_value());
  EXPECT_FALSE(DecodeSntpReply({}, 45000.0).has_value());
  TIdBytes longer = bytes;
  longer.resize(68, 0xFF);
  EXPECT_EQ(ReadNtpPacket(longer)->TransmitTimestamp, p.TransmitTimestamp);
}

TEST(SntpReply, StratumOneNamesItsSourceInCharacters) {
  TIdBytes bytes = ValidReply();
  bytes[1] = 1;
  bytes[12] = 'G', bytes[13] = 'P', bytes[14] = 'S', bytes[15] = 0;
  PutWord(bytes, 40, 0xEB1F0400);
  const std::optional<TNTPInfo> info = DecodeSntpReply(bytes, 45000.0);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->ReferenceID, std::string("GPS\0", 4));
}

// The three rules, each broken alone on either side of its boundary.
TEST(SntpReply, EachValidityRuleDecidesAloneAtItsBoundary) {
  const auto failed = [](const TIdBytes& bytes) -> std::string {
    const std::optional<TNtpPacket> p = ReadNtpPacket(bytes);
    if (!p) return "no packet";
    const TNtpReplyCheck* check = FailedReplyCheck(*p);
    return check ? check->Name : "passes";
  };
  const auto valid = [](const TIdBytes& bytes) {
    return DecodeSntpReply(bytes, 45000.0).value_or(TNTPInfo{}).Valid;
  };
  TIdBytes good = ValidReply();
  PutWord(good, 40, 0xEB1F0400);
  EXPECT_EQ(failed(good), "passes");
  EXPECT_TRUE(valid(good));

  TIdBytes alarm = good;
  alarm[0] |= 0xC0;
  EXPECT_EQ(failed(alarm), "NoAlarm");
  EXPECT_FALSE(valid(alarm));
  TIdBytes leap = good;
  leap[0] = static_cast<uint8_t>((leap[0] & 0x3F) | 0x80);  // leap indicator 2 is no alarm
  EXPECT_EQ(failed(leap), "passes");

  for (const auto& [stratum, expected] :
       std::vector<std::pair<uint8_t, std::string>>{{0, "SynchronisedStratum"},
                                                    {1, "passes"},
                                                    {15, "passes"},
                                                    {16, "SynchronisedStratum"}}) {
    TIdBytes bytes = good;
    bytes[1] = stratum;
    EXPECT_EQ(failed(bytes), expected) << "stratum " << int{stratum};
    EXPECT_EQ(valid(bytes), expected == "passes") << "stratum " << int{stratum};
  }

  TIdBytes unset = good;
  PutWord(unset, 40, 0);
  EXPECT_EQ(failed(unset), "TransmitTimestampPresent");
  EXPECT_FALSE(valid(unset));
  TIdBytes fractionOnly = unset;
  PutWord(fractionOnly, 44, 1);
  EXPECT_EQ(failed(fractionOnly), "passes");

  for (const TNtpReplyCheck& check : kNtpReplyChecks)
    EXPECT_GT(std::strlen(check.Reason), 20u) << check.Name << " says why it exists";
}

// --- Stamps across the 2036 era ---------------------------------------------------------------

TEST(NtpStamps, TheOffsetAndDelayComeFromTheFourTimes) {
  FixedZone zone;
  // Sent at 12:00:00.000 UTC, received by the server at 12:00:02.000 of its clock, answered at
  // 12:00:02.010, back at 12:00:00.030: the server is 1.990 s ahead, the trip took 20 ms.
  constexpr uint32_t kSent = 3957768000u;           // 2025-06-01 12:00:00 UTC
  constexpr uint32_t kTenMilliseconds = 42949673u;  // the least fraction that reads as 10 ms
  const double t1 = LocalOfUtc(2025, 6, 1, 12, 0, 0.0);
  TIdBytes bytes = ValidReply();
  PutWord(bytes, 24, kSent);
  PutWord(bytes, 32, kSent + 2);
  PutWord(bytes, 40, kSent + 2), PutWord(bytes, 44, kTenMilliseconds);
  const std::optional<TNTPInfo> info = DecodeSntpReply(bytes, t1 + 0.030 / kSecondsPerDay);
  ASSERT_TRUE(info.has_value());
  EXPECT_TRUE(info->Valid);
  EXPECT_NEAR(info->ClockOffset * kSecondsPerDay, 1.990, 0.002);
  EXPECT_NEAR(info->RoundTripDelay * kSecondsPerDay, 0.020, 0.002);
  EXPECT_NEAR(info->ServerTime, t1 + 2.010 / kSecondsPerDay, 1.5 * kMs);
}

TEST(NtpStamps, ALocalTimeIsItsUtcInstantInNtpSeconds) {
  FixedZone zone;
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(LocalOfUtc(2025, 1, 1, 0, 0, 0.25), s, f);
  EXPECT_EQ(s, 3944678400u);
  EXPECT_EQ(f, 0x40000000u);
  EXPECT_NEAR(NtpStampToLocal(3944678400u, 0x40000000u), LocalOfUtc(2025, 1, 1, 0, 0, 0.25),
              kMs / 10);
}

TEST(NtpStamps, WordsFrom0x80000000CountFrom1900AndWordsBelowFrom2036) {
  FixedZone zone;
  // 0x80000000 s after 1900 is 1968-01-20 03:14:08 UTC; the era ends 2036-02-07 06:28:16 UTC.
  EXPECT_NEAR(NtpStampToLocal(0x80000000u, 0), LocalOfUtc(1968, 1, 20, 3, 14, 8), kMs / 10);
  EXPECT_NEAR(NtpStampToLocal(0xFFFFFFFFu, 0), LocalOfUtc(2036, 2, 7, 6, 28, 15), kMs / 10);
  EXPECT_NEAR(NtpStampToLocal(0, 0), LocalOfUtc(2036, 2, 7, 6, 28, 16), kMs / 10);
  EXPECT_NEAR(NtpStampToLocal(0x7FFFFFFFu, 0), LocalOfUtc(2104, 2, 26, 9, 42, 23), kMs / 10);
}

TEST(NtpStamps, LocalTimesOnEitherSideOfTheEraEndWrapAndReadBack) {
  FixedZone zone;
  const double rollover = LocalOfUtc(2036, 2, 7, 6, 28, 16);
  uint32_t s = 0, f = 0;
  LocalToNtpStamp(rollover + 10.25 / kSecondsPerDay, s, f);
  EXPECT_EQ(s, 10u);
  // A quarter second, to within what a date-time of days in a double holds (some microseconds).
  EXPECT_NEAR(f, 0x40000000u, 42950.0);
  EXPECT_NEAR(NtpStampToLocal(s, f), rollover + 10.25 / kSecondsPerDay, 1.5 * kMs);
  LocalToNtpStamp(rollover - 10.0 / kSecondsPerDay, s, f);
  EXPECT_EQ(s, 0xFFFFFFF6u);
  EXPECT_NEAR(NtpStampToLocal(s, f), rollover - 10.0 / kSecondsPerDay, 1.5 * kMs);

  // A reply stamped after the rollover decodes to a server time after it, never to 1900.
  TIdBytes bytes = ValidReply();
  PutWord(bytes, 40, 3600);
  const std::optional<TNTPInfo> info = DecodeSntpReply(bytes, rollover);
  ASSERT_TRUE(info.has_value());
  EXPECT_NEAR(info->ServerTime, rollover + 1.0 / 24, kMs / 10);
}

// --- Hosts and errors -------------------------------------------------------------------------

// Each test that needs the socket stack holds a component for its duration, as the client does.
class SocketStackUser : public ::testing::Test {
 protected:
  TIdStack& Stack() { return *SocketStack(); }
  TNTPClient holder_;
};

// Through the real lookup, whatever this system's host table says. (That these names are never
// looked up is shown natively with the scripted socket library.)
TEST_F(SocketStackUser, LocalhostInAnyCaseAndDottedQuadsGiveTheirAddresses) {
  for (const char* name : {"localhost", "LOCALHOST", "LocalHost"}) {
    const TIdIPAddress address = Stack().LookUpHost(name);
    EXPECT_EQ(address.Version, TIdIPVersion::Id_IPv4) << name;
    EXPECT_EQ(address.ToString(), "127.0.0.1") << name;
  }
  EXPECT_EQ(Stack().LookUpHost("127.0.0.1").ToString(), "127.0.0.1");
  EXPECT_EQ(Stack().LookUpHost("192.0.2.255").IPv4Bytes(),
            (std::array<uint8_t, 4>{192, 0, 2, 255}));
  EXPECT_EQ(Stack().LookUpHost("010.000.002.001").ToString(), "10.0.2.1")
      << "leading zeros are decimal, never octal";
  EXPECT_TRUE(TIdStack::IsDottedIP("255.255.255.255"));
  for (const char* text : {"256.0.0.1", "1.2.3", "1.2.3.4.5", "1.2.3.x", "1..3.4", " 1.2.3.4"})
    EXPECT_FALSE(TIdStack::IsDottedIP(text)) << text;
}

TEST(SocketErrors, EachNumberHasItsTextAfterTheNumberAndALineEnd) {
  const std::vector<std::pair<int, std::string>> rows = {
      {10013, "Access denied."},
      {10035, "Operation would block. "},
      {10040, "Message too long."},
      {10047, "Address family not supported by protocol family."},
      {10054, "Connection reset by peer."},
      {10060, "Connection timed out."},
      {10061, "Connection refused."},
      {10065, "No route to host."},
      {10066, "Directory not empty"},
      {11001, ""},
      {0, ""}};
  for (const auto& [code, text] : rows) {
    EXPECT_EQ(TIdStack::SocketErrorText(code), text) << code;
    const EIdSocketError error(code, TIdStack::SocketErrorText(code));
    EXPECT_EQ(error.Message(), "Socket Error # " + std::to_string(code) + "\r\n" + text);
    EXPECT_EQ(error.ErrorCode(), code);
  }
  for (const platform::SocketErrorRow& row : platform::kSocketErrorTexts)
    EXPECT_EQ(TIdStack::SocketErrorText(row.code), row.text) << row.code;
}

#if !TEMPOMERE_NTS
TEST(NtsHosts, AreRefusedWhereTheBuildHasNoNts) {
  TNTPClient client;
  client.SetReceiveTimeout(200);
  for (const char* host : {"nts://time.example", "NTS://127.0.0.1:4460"}) {
    client.SetHost(host);
    try {
      client.QueryServerTime();
      ADD_FAILURE() << host << " was asked";
    } catch (const EIdException& e) {
      EXPECT_EQ(e.Message(), "NTS is not available in this build") << host;
    }
    EXPECT_FALSE(client.Info.Valid);
  }
}
#endif

// --- A real exchange on the loopback ----------------------------------------------------------

// An SNTP server on 127.0.0.1 over the socket library the client uses, answering every request
// with the computer's own clock moved by `offset_seconds`. The library has no bind: the socket
// takes a port of the system's choosing with its first datagram, which goes to a peer of the
// system's own sockets to learn that port.
class LoopbackResponder {
 public:
  explicit LoopbackResponder(double offset_seconds)
      : offset_days_(offset_seconds / kSecondsPerDay) {
    library_ = platform::LoadLibraryA("wsock32.dll");
    if (!library_ || !Find(startup_, "WSAStartup") || !Find(cleanup_, "WSACleanup") ||
        !Find(socket_, "socket") || !Find(sendto_, "sendto") || !Find(recvfrom_, "recvfrom") ||
        !Find(select_, "select") || !Find(close_, "closesocket") || !Find(htons_, "htons"))
      return;
    platform::WSADATA data;
    if (startup_(0x0101, &data) != 0) return;
    started_ = true;
    socket_handle_ = socket_(platform::WS_AF_INET, platform::WS_SOCK_DGRAM, 0);
    if (socket_handle_ == platform::INVALID_SOCKET) return;
    contract::LoopbackPeer peer;
    if (!peer.Ok()) return;
    const std::string probe = "port?";
    const platform::SOCKADDR_IN to = Loopback(peer.Port());
    if (sendto_(socket_handle_, probe.data(), static_cast<int>(probe.size()), 0, &to, sizeof to) !=
        static_cast<int>(probe.size()))
      return;
    std::string received;
    if (!peer.Receive(&received, &port_, 5000) || received != probe) port_ = 0;
    if (port_ > 0) thread_ = std::thread([this] { Serve(); });
  }

  ~LoopbackResponder() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (socket_handle_ != platform::INVALID_SOCKET) close_(socket_handle_);
    if (started_) cleanup_();
    if (library_) platform::FreeLibrary(library_);
  }

  int Port() const { return port_; }
  int Answered() const { return answered_; }
  // Answers nothing from now on; requests are still read and dropped.
  void FallSilent() { silent_ = true; }

 private:
  template <class F>
  bool Find(F& slot, const char* name) {
    slot = reinterpret_cast<F>(platform::GetProcAddress(library_, name));
    return slot != nullptr;
  }

  platform::SOCKADDR_IN Loopback(int port) const {
    platform::SOCKADDR_IN address;
    address.sin_family = platform::WS_AF_INET;
    address.sin_port = htons_(static_cast<uint16_t>(port));
    const uint8_t loopback[4] = {127, 0, 0, 1};
    std::memcpy(address.sin_addr, loopback, sizeof loopback);
    return address;
  }

  void Serve() {
    while (!stop_) {
      platform::FD_SET readable;
      readable.fd_count = 1;
      readable.fd_array[0] = socket_handle_;
      const platform::TIMEVAL wait{0, 50000};
      if (select_(0, &readable, nullptr, nullptr, &wait) != 1) continue;
      std::array<char, 512> buffer{};
      platform::SOCKADDR_IN from;
      int from_length = sizeof from;
      const int count = recvfrom_(socket_handle_, buffer.data(), static_cast<int>(buffer.size()), 0,
                                  &from, &from_length);
      const TIdBytes request(buffer.begin(), buffer.begin() + std::max(count, 0));
      const std::optional<TNtpPacket> asked = ReadNtpPacket(request);
      if (!asked || silent_) continue;
      const TIdBytes reply = WriteNtpPacket(Answer(*asked));
      ++answered_;  // counted before it goes, so the client never sees a reply not yet counted
      sendto_(socket_handle_, reinterpret_cast<const char*>(reply.data()),
              static_cast<int>(reply.size()), 0, &from, from_length);
    }
  }

  // The reply of a stratum-2 server whose clock is this computer's moved by the offset, read
  // once for both the receive and the transmit stamp.
  TNtpPacket Answer(const TNtpPacket& request) const {
    TNtpPacket reply;
    reply.Version = request.Version;
    reply.Mode = 4;
    reply.Stratum = 2;
    reply.Poll = 6;
    reply.Precision = 0xEC;
    reply.ReferenceId = {127, 0, 0, 1};
    reply.OriginateTimestamp = request.TransmitTimestamp;
    TNtpTimestamp now;
    LocalToNtpStamp(framework::Now() + offset_days_, now.Seconds, now.Fraction);
    reply.ReferenceTimestamp = reply.ReceiveTimestamp = reply.TransmitTimestamp = now;
    return reply;
  }

  double offset_days_;
  platform::HMODULE library_ = nullptr;
  platform::TWSAStartup startup_ = nullptr;
  platform::TWSACleanup cleanup_ = nullptr;
  platform::Tsocket socket_ = nullptr;
  platform::Tsendto sendto_ = nullptr;
  platform::Trecvfrom recvfrom_ = nullptr;
  platform::Tselect select_ = nullptr;
  platform::Tclosesocket close_ = nullptr;
  platform::Thtons htons_ = nullptr;
  bool started_ = false;
  platform::SOCKET socket_handle_ = platform::INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> silent_{false};
  std::atomic<int> answered_{0};
};

TEST(LoopbackExchange, AValidReplyGivesTheServersOffsetWithinHalfTheRoundTrip) {
  constexpr double kOffsetSeconds = 1234.5;  // the server is ahead
  LoopbackResponder server(kOffsetSeconds);
  ASSERT_GT(server.Port(), 0) << "the responder could not be started on 127.0.0.1";

  TNTPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetReceiveTimeout(5000);
  const double before = framework::Now();
  const double server_time = client.QueryServerTime();
  const double after = framework::Now();

  const TNTPInfo& info = client.Info;
  ASSERT_TRUE(info.Valid);
  EXPECT_EQ(server.Answered(), 1);
  EXPECT_EQ(info.Mode, 4);
  EXPECT_EQ(info.Stratum, 2);
  EXPECT_EQ(info.ReferenceID, "127.0.0.1");
  const double offset = info.ClockOffset * kSecondsPerDay;
  const double delay = info.RoundTripDelay * kSecondsPerDay;
  EXPECT_GE(delay, 0.0);
  // The server read its clock between T1 and T4, so the offset is off by half the round trip
  // at most (and a millisecond for the readings' resolution).
  EXPECT_NEAR(offset, kOffsetSeconds, delay / 2 + 0.002);
  EXPECT_DOUBLE_EQ(server_time, info.ServerTime);
  EXPECT_GE(server_time, before + (kOffsetSeconds - 0.002) / kSecondsPerDay);
  EXPECT_LE(server_time, after + (kOffsetSeconds + 0.002) / kSecondsPerDay);
}

TEST(LoopbackExchange, SilenceGivesNoReplyWithinTheTimeOut) {
  LoopbackResponder server(0.0);
  ASSERT_GT(server.Port(), 0) << "the responder could not be started on 127.0.0.1";
  TNTPClient client;
  client.SetHost("localhost");
  client.SetPort(server.Port());
  client.SetReceiveTimeout(5000);
  ASSERT_NE(client.QueryServerTime(), 0.0);
  ASSERT_TRUE(client.Info.Valid);

  server.FallSilent();
  client.SetReceiveTimeout(300);
  EXPECT_EQ(client.QueryServerTime(), 0.0);
  EXPECT_FALSE(client.Info.Valid) << "no reply clears Valid";
  EXPECT_EQ(client.Info.Stratum, 2) << "and leaves the last reply's fields";
  EXPECT_EQ(server.Answered(), 1);
}

}  // namespace
