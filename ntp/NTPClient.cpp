#include "ntp/NTPClient.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>

#include "ntp/IdException.h"
#include "ntp/IdGlobal.h"
#include "platform/Winsock.h"

namespace ntp {

namespace {

constexpr double kTwoTo32 = 4294967296.0;
constexpr double kNtpEpochDays = 2.0;  // 1900-01-01 00:00 as a date-time
constexpr uint32_t kEraBoundary = 0x80000000u;
constexpr int64_t kNtpToUnixSeconds = 2208988800;  // 1900-01-01 to 1970-01-01
constexpr int64_t kNanosecondsPerSecond = 1000000000;

constexpr uint8_t kLeapAlarm = 3;
constexpr uint8_t kRequestVersion = 3;
constexpr uint8_t kModeClient = 3;
constexpr uint8_t kLowestSynchronisedStratum = 1;
constexpr uint8_t kHighestSynchronisedStratum = 15;

// Reads big-endian fields one after the other; the caller has checked the length.
class TWireReader {
 public:
  explicit TWireReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint8_t Byte() { return bytes_[at_++]; }
  uint32_t Word() {
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word = (word << 8) | Byte();
    return word;
  }
  TNtpTimestamp Timestamp() {
    TNtpTimestamp stamp;
    stamp.Seconds = Word();
    stamp.Fraction = Word();
    return stamp;
  }
  std::array<uint8_t, 4> Quad() { return {Byte(), Byte(), Byte(), Byte()}; }

 private:
  std::span<const uint8_t> bytes_;
  std::size_t at_ = 0;
};

// Writes big-endian fields one after the other.
class TWireWriter {
 public:
  void Byte(uint8_t value) { bytes_.push_back(value); }
  void Word(uint32_t word) {
    for (int shift = 24; shift >= 0; shift -= 8) Byte(static_cast<uint8_t>(word >> shift));
  }
  void Timestamp(const TNtpTimestamp& stamp) {
    Word(stamp.Seconds);
    Word(stamp.Fraction);
  }
  void Quad(const std::array<uint8_t, 4>& quad) {
    for (uint8_t b : quad) Byte(b);
  }
  TIdBytes Take() { return std::move(bytes_); }

 private:
  TIdBytes bytes_;
};

TDateTime StampToLocal(const TNtpTimestamp& stamp) {
  return NtpStampToLocal(stamp.Seconds, stamp.Fraction);
}

// One UTF-8 sequence for a character U+0000..U+00FF.
void AppendLatin1(std::string& text, uint8_t byte) {
  if (byte < 0x80) {
    text += static_cast<char>(byte);
  } else {
    text += static_cast<char>(0xC0 | (byte >> 6));
    text += static_cast<char>(0x80 | (byte & 0x3F));
  }
}

// Milliseconds left until `deadline` for a receive, not below 0; a negative time-out (without
// limit) stays as it is.
int WaitLeftMs(int timeout_ms, std::chrono::steady_clock::time_point deadline) {
  if (timeout_ms < 0) return timeout_ms;
  return static_cast<int>(std::max<long long>(
      0, std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
             .count()));
}

// The requests of a burst are told apart by the transmit timestamps their replies echo, and
// those count whole milliseconds (the request carries the local clock as the window reads it):
// the next request waits until the clock has moved on from `last`. Bounded, for a clock that
// does not move: 400 pauses of 100 us are 40 ms, beyond a coarse clock's tick (15.6 ms).
void AwaitNewTransmitTimestamp(const TNtpTimestamp& last) {
  constexpr auto kPause = std::chrono::microseconds(100);
  constexpr int kMostPauses = 400;
  for (int i = 0; i < kMostPauses; ++i) {
    if (ReadNtpPacket(BuildSntpRequest(framework::Now()))->TransmitTimestamp != last) return;
    std::this_thread::sleep_for(kPause);
  }
}

}  // namespace

const char* StampSourceName(TStampSource source) {
  return source == TStampSource::Kernel ? "kernel" : "user";
}

bool NamesNtsHost(const std::string& host) {
  const std::string_view scheme = kNtsScheme;
  return host.size() >= scheme.size() &&
         std::equal(scheme.begin(), scheme.end(), host.begin(), [](char a, char b) {
           return a == std::tolower(static_cast<unsigned char>(b));
         });
}

std::optional<TNtpPacket> ReadNtpPacket(std::span<const uint8_t> bytes) {
  if (bytes.size() < static_cast<std::size_t>(kSntpMessageSize)) return std::nullopt;
  TWireReader in(bytes);
  TNtpPacket p;
  const uint8_t first = in.Byte();
  p.LeapIndicator = (first >> 6) & 3;
  p.Version = (first >> 3) & 7;
  p.Mode = first & 7;
  p.Stratum = in.Byte();
  p.Poll = in.Byte();
  p.Precision = in.Byte();
  p.RootDelay = in.Word();
  p.RootDispersion = in.Word();
  p.ReferenceId = in.Quad();
  p.ReferenceTimestamp = in.Timestamp();
  p.OriginateTimestamp = in.Timestamp();
  p.ReceiveTimestamp = in.Timestamp();
  p.TransmitTimestamp = in.Timestamp();
  return p;
}

TIdBytes WriteNtpPacket(const TNtpPacket& p) {
  TWireWriter out;
  out.Byte(static_cast<uint8_t>((p.LeapIndicator & 3) << 6 | (p.Version & 7) << 3 | (p.Mode & 7)));
  out.Byte(p.Stratum);
  out.Byte(p.Poll);
  out.Byte(p.Precision);
  out.Word(p.RootDelay);
  out.Word(p.RootDispersion);
  out.Quad(p.ReferenceId);
  out.Timestamp(p.ReferenceTimestamp);
  out.Timestamp(p.OriginateTimestamp);
  out.Timestamp(p.ReceiveTimestamp);
  out.Timestamp(p.TransmitTimestamp);
  return out.Take();
}

const std::array<TNtpReplyCheck, 3> kNtpReplyChecks = {{
    {"NoAlarm",
     "leap indicator 3 is the server's alarm: its clock is not synchronised, so its time is no "
     "time",
     [](const TNtpPacket& r) { return r.LeapIndicator != kLeapAlarm; }},
    {"SynchronisedStratum",
     "stratum 1 to 15 is a server that keeps time; 0 is a kiss code (a refusal or a rate "
     "limit) and 16 and above are unsynchronised",
     [](const TNtpPacket& r) {
       return r.Stratum >= kLowestSynchronisedStratum && r.Stratum <= kHighestSynchronisedStratum;
     }},
    {"TransmitTimestampPresent",
     "a zero transmit timestamp says the server never set its clock's reading into the reply",
     [](const TNtpPacket& r) { return !r.TransmitTimestamp.IsZero(); }},
}};

const TNtpReplyCheck* FailedReplyCheck(const TNtpPacket& reply) {
  for (const TNtpReplyCheck& check : kNtpReplyChecks)
    if (!check.Passes(reply)) return &check;
  return nullptr;
}

uint32_t ByteSwap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
         (value << 24);
}

double UtcBiasDays() {
  return TimeZoneBiasDays();
}

void LocalToNtpStamp(TDateTime value, uint32_t& seconds, uint32_t& fraction) {
  const double v = (value + UtcBiasDays() - kNtpEpochDays) * 86400.0;  // seconds since 1900
  if (!std::isfinite(v)) {
    seconds = fraction = 0;
    return;
  }
  // From 1900 on, the floor is the whole part truncated toward zero. Before it, the floor keeps
  // the fraction in [0, 1) and the seconds in the era before 1900, taken modulo 2^32.
  double whole = std::floor(v);
  double part = v - whole;
  if (part >= 1.0) {  // a tiny negative v: v - floor(v) rounds up to a whole second
    whole += 1.0;
    part = 0.0;
  }
  double wrapped = std::fmod(whole, kTwoTo32);  // exact, in (-2^32, 2^32)
  if (wrapped < 0) wrapped += kTwoTo32;
  seconds = static_cast<uint32_t>(wrapped);
  fraction = static_cast<uint32_t>(std::trunc(part * kTwoTo32));
}

TDateTime NtpStampToLocal(uint32_t seconds, uint32_t fraction) {
  // Words below 0x80000000 belong to the era that begins in 2036.
  const double s = seconds >= kEraBoundary ? static_cast<double>(seconds)
                                           : static_cast<double>(seconds) + kTwoTo32;
  const double ms = std::trunc(static_cast<double>(fraction) / kTwoTo32 * 1000.0);
  return (s + ms / 1000.0) / 86400.0 - UtcBiasDays() + kNtpEpochDays;
}

double ShortFixedToSeconds(uint32_t word) {
  return static_cast<int32_t>(word) / 65536.0;
}

double Log2ToSeconds(uint8_t exponent) {
  return std::ldexp(1.0, static_cast<int8_t>(exponent));
}

std::string ReferenceIdText(uint8_t stratum, const std::array<uint8_t, 4>& bytes) {
  if (stratum <= 1) {
    std::string text;
    for (uint8_t b : bytes) AppendLatin1(text, b);
    return text;
  }
  return TIdIPAddress::IPv4(bytes).ToString();
}

TIdBytes BuildSntpRequest(TDateTime local_now) {
  TNtpPacket request;  // leap indicator 0 and every other field zero
  request.Version = kRequestVersion;
  request.Mode = kModeClient;
  LocalToNtpStamp(local_now, request.TransmitTimestamp.Seconds, request.TransmitTimestamp.Fraction);
  return WriteNtpPacket(request);
}

std::optional<TNTPInfo> DecodeSntpReply(std::span<const uint8_t> bytes, TDateTime destination) {
  const std::optional<TNtpPacket> packet = ReadNtpPacket(bytes);
  if (!packet) return std::nullopt;
  const TNtpPacket& p = *packet;
  TNTPInfo info;
  info.DestinationTime = destination;
  info.LeapIndicator = p.LeapIndicator;
  info.Version = p.Version;
  info.Mode = p.Mode;
  info.Stratum = p.Stratum;
  info.PollInterval = Log2ToSeconds(p.Poll);
  info.Precision = Log2ToSeconds(p.Precision);
  info.RootDelay = ShortFixedToSeconds(p.RootDelay);
  info.RootDispersion = ShortFixedToSeconds(p.RootDispersion);
  info.ReferenceID = ReferenceIdText(p.Stratum, p.ReferenceId);

  info.ServerTime = StampToLocal(p.TransmitTimestamp);
  info.ServerTimeUtc = info.ServerTime + UtcBiasDays() - kNtpEpochDays;

  const TDateTime t1 = info.OriginateTime = StampToLocal(p.OriginateTimestamp);
  const TDateTime t2 = info.ReceiveTime = StampToLocal(p.ReceiveTimestamp);
  const TDateTime t3 = info.TransmitTime = StampToLocal(p.TransmitTimestamp);
  const TDateTime t4 = destination;
  info.RoundTripDelay = (t4 - t1) - (t3 - t2);
  info.ClockOffset = ((t2 - t1) + (t3 - t4)) / 2;

  info.Valid = FailedReplyCheck(p) == nullptr;
  return info;
}

int64_t SystemClockNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int64_t NtpStampToUnixNanoseconds(const TNtpTimestamp& stamp) {
  const int64_t seconds = stamp.Seconds >= kEraBoundary
                              ? int64_t{stamp.Seconds}
                              : int64_t{stamp.Seconds} + (int64_t{1} << 32);
  // The fraction in nanoseconds, rounded: below 2^32 * 10^9 + 2^31, so it fits 64 bits.
  const uint64_t nanoseconds =
      (uint64_t{stamp.Fraction} * kNanosecondsPerSecond + (uint64_t{1} << 31)) >> 32;
  return (seconds - kNtpToUnixSeconds) * kNanosecondsPerSecond + static_cast<int64_t>(nanoseconds);
}

TPreciseExchange PreciseExchange(const TNtpPacket& reply, int64_t originate_ns,
                                 int64_t destination_ns) {
  TPreciseExchange exchange;
  exchange.Originate = originate_ns;
  exchange.Receive = NtpStampToUnixNanoseconds(reply.ReceiveTimestamp);
  exchange.Transmit = NtpStampToUnixNanoseconds(reply.TransmitTimestamp);
  exchange.Destination = destination_ns;
  // Differences of nanosecond counts are exact; only the results are rounded to doubles.
  const int64_t t1 = exchange.Originate, t2 = exchange.Receive, t3 = exchange.Transmit,
                t4 = exchange.Destination;
  exchange.RoundTripDelay = static_cast<double>((t4 - t1) - (t3 - t2)) / kNanosecondsPerSecond;
  exchange.ClockOffset = static_cast<double>((t2 - t1) + (t3 - t4)) / 2 / kNanosecondsPerSecond;
  exchange.Valid = FailedReplyCheck(reply) == nullptr;
  return exchange;
}

TNTPClient::TNTPClient(framework::TComponent* owner) : TIdUDPClient(owner) {}

TIdBytes TNTPClient::BuildRequest() {
  TIdBytes request = BuildSntpRequest(framework::Now());
  last_transmit_ = ReadNtpPacket(request)->TransmitTimestamp;
  return request;
}

void TNTPClient::TakeOriginate(int64_t read_before_send) {
  const int64_t stamp = KernelSendStamp();
  precise_originate_ = stamp != 0 ? stamp : read_before_send;
  originate_source_ = stamp != 0 ? TStampSource::Kernel : TStampSource::User;
}

void TNTPClient::TakeDestination(int64_t read_after_receive) {
  const int64_t stamp = KernelReceiveStamp();
  precise_destination_ = stamp != 0 ? stamp : read_after_receive;
  destination_source_ = stamp != 0 ? TStampSource::Kernel : TStampSource::User;
}

TIdBytes TNTPClient::SendAndReceive(bool own_reply_only) {
#if TEMPOMERE_NTS
  if (const std::optional<TNtsHost> nts = ParseNtsHost(Host())) return SendAndReceiveNts(*nts);
#else
  if (NamesNtsHost(Host())) throw EIdException("NTS is not available in this build");
#endif
  const TIdBytes request = BuildRequest();  // its timestamp becomes T1
  SetBufferSize(kSntpMessageSize);
  // T1 at full resolution, read after the lookup and the socket's opening, right before the
  // datagram goes out.
  int64_t read_before_send = 0;
  const auto sent = std::chrono::steady_clock::now();
  SendDatagram(request, [&] { read_before_send = precise_clock_(); });
  TakeOriginate(read_before_send);
  if (!own_reply_only) {
    TIdBytes received = ReceiveDatagram(kUseReceiveTimeout);
    TakeDestination(precise_clock_());  // T4 at full resolution, right after the receive
    if (received.size() < static_cast<std::size_t>(kSntpMessageSize)) return {};
    received.resize(kSntpMessageSize);
    return received;
  }
  const int timeout_ms = ReceiveTimeout();
  const auto deadline = sent + std::chrono::milliseconds(std::max(0, timeout_ms));
  while (true) {
    TIdBytes received = ReceiveDatagram(WaitLeftMs(timeout_ms, deadline));
    const int64_t read_after_receive = precise_clock_();
    if (received.empty()) return {};
    const std::optional<TNtpPacket> reply = ReadNtpPacket(received);
    if (reply && reply->OriginateTimestamp == last_transmit_) {
      TakeDestination(read_after_receive);
      received.resize(kSntpMessageSize);
      return received;
    }
    if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline) return {};
  }
}

#if TEMPOMERE_NTS
TIdBytes TNTPClient::SendAndReceiveNts(const TNtsHost& host) {
  using Clock = std::chrono::steady_clock;
  // Key establishment, when due, before T1 is read.
  TNtsSession& session = Nts.Session(host, ReceiveTimeout());
  TNtsPending pending;
  const TIdBytes request = BuildNtsRequest(BuildRequest(), session, pending);
  SetBufferSize(static_cast<int>(kNtsLongestMessage));
  Clock::time_point sent;
  int64_t read_before_send = 0;
  Send(session.NtpServer, session.NtpPort, request, [&] {
    read_before_send = precise_clock_();  // T1 at full resolution, right before the send
    sent = Clock::now();
  });
  TakeOriginate(read_before_send);
  // Anyone on the path can send the client a datagram, and one that comes first must not spoil
  // the exchange: datagrams are read until one is the authenticated reply to this very request,
  // or until the receive time-out, counted from the send, is over.
  const int timeout_ms = ReceiveTimeout();
  const Clock::time_point deadline = sent + std::chrono::milliseconds(std::max(0, timeout_ms));
  bool refused = false;
  while (true) {
    int wait_ms = timeout_ms;  // negative: without limit
    if (timeout_ms >= 0)
      wait_ms = static_cast<int>(std::max<long long>(
          0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    TIdBytes received;
    bool arrived = true;
    try {
      received = ReceiveDatagram(wait_ms);
      arrived = !received.empty();
    } catch (const EIdSocketError& e) {
      // Longer than any reply (and gone from the socket): not the reply.
      if (e.ErrorCode() != platform::WSAEMSGSIZE) throw;
    } catch (const EIdUDPReceiveErrorZeroBytes&) {
      // Empty: not the reply either.
    }
    const int64_t destination = precise_clock_();  // T4 at full resolution, right after it
    if (!arrived) break;
    if (std::optional<TIdBytes> header = AcceptNtsReply(received, pending, session)) {
      TakeDestination(destination);
      return *header;
    }
    // The server's refusal of the cookie cannot be authenticated, so anyone who saw the request
    // could make one: it counts only when no authenticated reply follows in time.
    if (IsNtsRefusal(received, pending)) refused = true;
    if (timeout_ms >= 0 && Clock::now() >= deadline) break;
  }
  // The server could not use the cookie (it changed its keys, say): its other cookies are of
  // the same keys, so the next query starts again with key establishment. This one is no reply.
  if (refused) Nts.Forget(host);
  return {};
}
#endif

void TNTPClient::DecodeReply(const TIdBytes& reply) {
  const TDateTime destination = framework::Now();  // T4, before any other work on the reply
  if (std::optional<TNTPInfo> decoded = DecodeSntpReply(reply, destination)) {
    Info = *decoded;
    Precise = PreciseExchange(*ReadNtpPacket(reply), precise_originate_, precise_destination_);
    Precise.OriginateSource = originate_source_;
    Precise.DestinationSource = destination_source_;
  }
}

TDateTime TNTPClient::QueryServerTime() {
  Info.Valid = false;
  Precise.Valid = false;
  const TIdBytes reply = SendAndReceive();
  if (!reply.empty()) DecodeReply(reply);
  return Info.Valid ? Info.ServerTime : 0.0;
}

TDateTime TNTPClient::QueryServerTimeBurst(int requests) {
  Burst = TBurstOutcome{};
  Info.Valid = false;
  Precise.Valid = false;
  std::optional<std::pair<TNTPInfo, TPreciseExchange>> kept;
  for (int request = 1; request <= requests; ++request) {
    if (request > 1) AwaitNewTransmitTimestamp(last_transmit_);
    const TIdBytes reply = SendAndReceive(/*own_reply_only=*/true);
    ++Burst.Sent;
    if (reply.empty()) continue;
    DecodeReply(reply);
    // Ties keep the earlier exchange.
    if (Precise.Valid && (!kept || Precise.RoundTripDelay < kept->second.RoundTripDelay)) {
      kept.emplace(Info, Precise);
      Burst.Kept = request;
    }
  }
  if (kept) std::tie(Info, Precise) = *kept;
  return Info.Valid ? Info.ServerTime : 0.0;
}

bool TNTPClient::SetComputerTime() {
  if (QueryServerTime() == 0.0) return false;
  // The server's time when the reply arrived, less its hold time.
  const TDateTime t = Info.OriginateTime + Info.ClockOffset + Info.RoundTripDelay;
  return SetLocalTime(t);
}

}  // namespace ntp
