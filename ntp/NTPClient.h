#pragma once
// SNTP: one 48-byte request, one 48-byte reply, the clock offset and round-trip delay.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "framework/DateUtils.h"
#include "ntp/IdUDPClient.h"
#include "ntp/NtsClient.h"

namespace ntp {

using framework::TDateTime;

constexpr int kSntpMessageSize = 48;  // bytes, request and reply alike

// Whether a host is written for Network Time Security: "nts://", the scheme in any letter case.
// Known in every build, so that one without NTS can refuse such a host by name.
bool NamesNtsHost(const std::string& host);

// A timestamp as it travels: whole seconds since the era's start and the fraction of a second
// in units of 2^-32 s, host order.
struct TNtpTimestamp {
  uint32_t Seconds = 0;
  uint32_t Fraction = 0;
  bool IsZero() const { return Seconds == 0 && Fraction == 0; }
  bool operator==(const TNtpTimestamp&) const = default;
};

// The message's fields, in their order on the wire; numbers in host order, unconverted.
struct TNtpPacket {
  uint8_t LeapIndicator = 0;  // 2 bits: 0 none, 1 and 2 a leap second due, 3 alarm
  uint8_t Version = 0;        // 3 bits
  uint8_t Mode = 0;           // 3 bits: 3 client, 4 server
  uint8_t Stratum = 0;
  uint8_t Poll = 0;             // signed exponent of 2, seconds
  uint8_t Precision = 0;        // signed exponent of 2, seconds
  uint32_t RootDelay = 0;       // signed 16.16 seconds
  uint32_t RootDispersion = 0;  // signed 16.16 seconds
  std::array<uint8_t, 4> ReferenceId{};
  TNtpTimestamp ReferenceTimestamp;
  TNtpTimestamp OriginateTimestamp;  // the request's transmit time, echoed (T1)
  TNtpTimestamp ReceiveTimestamp;    // when the request reached the server (T2)
  TNtpTimestamp TransmitTimestamp;   // when the reply left the server (T3)
};

// The fields of the first 48 bytes of a message; nothing for fewer. Longer messages (with
// extension fields) give their header.
std::optional<TNtpPacket> ReadNtpPacket(std::span<const uint8_t> bytes);
// The 48 bytes of a message.
TIdBytes WriteNtpPacket(const TNtpPacket& packet);

// A rule a reply must pass to count as a time, with the reason it exists.
struct TNtpReplyCheck {
  const char* Name;
  const char* Reason;
  bool (*Passes)(const TNtpPacket& reply);
};
// The only three rules a reply is held to, in the order they are asked.
extern const std::array<TNtpReplyCheck, 3> kNtpReplyChecks;
// The first rule the reply breaks; null when it passes them all.
const TNtpReplyCheck* FailedReplyCheck(const TNtpPacket& reply);

// One decoded reply. All zero (and not valid) until a reply has been stored.
struct TNTPInfo {
  uint8_t LeapIndicator = 0;
  uint8_t Version = 0;
  uint8_t Mode = 0;
  uint8_t Stratum = 0;
  double PollInterval = 0;        // seconds
  double Precision = 0;           // seconds
  double RootDelay = 0;           // seconds
  double RootDispersion = 0;      // seconds
  std::string ReferenceID;        // UTF-8 (see ReferenceIdText)
  TDateTime DestinationTime = 0;  // T4, local
  double ClockOffset = 0;         // days, server minus computer: positive when the computer is slow
  TDateTime OriginateTime = 0;    // T1, local
  TDateTime ReceiveTime = 0;      // T2, local
  double RoundTripDelay = 0;      // days
  TDateTime TransmitTime = 0;     // T3, local
  TDateTime ServerTime = 0;       // local
  double ServerTimeUtc = 0;       // days since 1900-01-01 00:00 UTC; its fraction is the UTC time
  bool Valid = false;
};

// Reverses the four bytes of a word: network order to host order and back on this platform.
uint32_t ByteSwap32(uint32_t value);
// Days to add to a local date-time to get UTC, read from the platform on each call.
double UtcBiasDays();
// A local date-time as NTP seconds (modulo 2^32) and fraction words, host order. Both truncate.
// Times before 1900 count back from the era's end, as the wrap after 2036 counts forward, so
// the fraction never goes negative; a value that is not a number, or infinite, gives 0 and 0.
void LocalToNtpStamp(TDateTime value, uint32_t& seconds, uint32_t& fraction);
// NTP seconds and fraction words (host order) as a local date-time, truncated to whole
// milliseconds. Seconds words from 0x80000000 up count from 1900 (1968-2036); words below
// count from 2036-02-07 06:28:16 UTC, where the 1900 era ends.
TDateTime NtpStampToLocal(uint32_t seconds, uint32_t fraction);
// A signed 16.16 word (host order), in seconds.
double ShortFixedToSeconds(uint32_t word);
// 2 to the power of a signed byte, in seconds.
double Log2ToSeconds(uint8_t exponent);
// Stratum 0 and 1: the four bytes as four characters U+0000..U+00FF (zero bytes included), in
// UTF-8; above: dotted decimal.
std::string ReferenceIdText(uint8_t stratum, const std::array<uint8_t, 4>& bytes);

// The request: 0x1B (version 3, client mode), zeros, and the local time as transmit timestamp.
TIdBytes BuildSntpRequest(TDateTime local_now);
// Decodes the first 48 bytes of a reply that arrived at local time `destination` (T4), with
// Valid set by the three validity rules. Fewer than 48 bytes (or none) are no reply: nothing.
std::optional<TNTPInfo> DecodeSntpReply(std::span<const uint8_t> reply, TDateTime destination);

// Nanoseconds since 1970-01-01 00:00 UTC by the system's real-time clock.
int64_t SystemClockNanoseconds();
// An NTP timestamp as nanoseconds since 1970-01-01 00:00 UTC, to the nearest nanosecond, with
// the era rule of NtpStampToLocal (seconds words below 0x80000000 count from 2036).
int64_t NtpStampToUnixNanoseconds(const TNtpTimestamp& stamp);

// Where a full-resolution T1 or T4 comes from: the system's own stamp of the datagram, taken as
// it left or arrived (Kernel), or the local clock read by the client right before the send or
// right after the receive (User), where the system gives no stamp.
enum class TStampSource { User, Kernel };
// "user" or "kernel".
const char* StampSourceName(TStampSource source);

// One exchange at full resolution: T1 and T4 in nanoseconds from the system's stamps of the
// request's leaving and the reply's arrival, or, where it gives none, from the local clock read
// right before the send and right after the receive; the server's stamps with their full 32-bit
// fractions (T2, T3); and the offset and delay from them. The millisecond figures of TNTPInfo
// come from the same exchange; these stand beside them.
struct TPreciseExchange {
  int64_t Originate = 0;      // T1, nanoseconds since 1970 UTC
  int64_t Receive = 0;        // T2
  int64_t Transmit = 0;       // T3
  int64_t Destination = 0;    // T4
  double ClockOffset = 0;     // seconds, server minus computer: positive when the computer is slow
  double RoundTripDelay = 0;  // seconds
  bool Valid = false;         // the reply passed the validity rules (as TNTPInfo::Valid)
  TStampSource OriginateSource = TStampSource::User;    // of T1
  TStampSource DestinationSource = TStampSource::User;  // of T4
};

// What a burst of requests gave (TNTPClient::QueryServerTimeBurst).
struct TBurstOutcome {
  int Sent = 0;  // requests sent
  int Kept = 0;  // the number of the request whose exchange was kept, from 1; 0 when none was
};

// The full-resolution figures of a reply whose request left at `originate_ns` (T1) and which
// arrived at `destination_ns` (T4), both nanoseconds since 1970 UTC.
TPreciseExchange PreciseExchange(const TNtpPacket& reply, int64_t originate_ns,
                                 int64_t destination_ns);

// Asks one time server for the time.
class TNTPClient : public TIdUDPClient {
 public:
  explicit TNTPClient(framework::TComponent* owner = nullptr);

  // One exchange: gives the server's time when the reply is valid, 0.0 otherwise. A reply of
  // 48 bytes replaces Info whole; no reply clears only Info.Valid. Transport errors pass out.
  TDateTime QueryServerTime();
  double GetClockOffset() const { return Info.ClockOffset; }
  // Runs a fresh exchange and sets the local clock from it; false without a valid reply or
  // when the platform refuses.
  bool SetComputerTime();

  // `requests` exchanges in quick succession, keeping the valid one with the shortest
  // full-resolution round trip, as NTP's clock filter does: the one least held up on the way
  // gives the truest offset. Each request waits for its own reply only: a datagram that does
  // not echo its transmit timestamp (a late reply to an earlier request, say) is passed over.
  // Info and Precise are then the kept exchange's; without a valid reply, the last reply's (or
  // only their Valid cleared). Gives what QueryServerTime gives for the kept exchange; Burst
  // says how many went out and which was kept. Transport errors pass out.
  TDateTime QueryServerTimeBurst(int requests);
  TBurstOutcome Burst;

  TNTPInfo Info;
  // Keys and cookies of the hosts asked with Network Time Security ("nts://name[:port]"), and
  // the certificates they are checked against.
  TNtsClient Nts;

  // The same exchange at full resolution; replaced together with Info, and its Valid cleared
  // together with Info's.
  TPreciseExchange Precise;

  // The clock that Precise reads (nanoseconds since 1970 UTC); SystemClockNanoseconds unless a
  // test sets another.
  using TNanosecondClock = std::function<int64_t()>;
  void SetPreciseClock(TNanosecondClock clock) { precise_clock_ = std::move(clock); }

 private:
  TIdBytes BuildRequest();
  // The reply's 48 bytes, or empty when none (or a shorter datagram) arrived in time. With
  // `own_reply_only`, datagrams that do not echo the request's transmit timestamp are passed
  // over until the receive time-out, counted from the send, is over.
  TIdBytes SendAndReceive(bool own_reply_only = false);
  // T1 and T4 at full resolution: the system's stamp where it gave one, else the clock reading.
  void TakeOriginate(int64_t read_before_send);
  void TakeDestination(int64_t read_after_receive);
  // The same for an NTS host: the header of an authenticated reply to this request, or empty.
  TIdBytes SendAndReceiveNts(const TNtsHost& host);
  void DecodeReply(const TIdBytes& reply);

  TNanosecondClock precise_clock_ = SystemClockNanoseconds;
  int64_t precise_originate_ = 0;    // read right before the send
  int64_t precise_destination_ = 0;  // read right after the receive
  TStampSource originate_source_ = TStampSource::User;
  TStampSource destination_source_ = TStampSource::User;
  TNtpTimestamp last_transmit_;  // the transmit timestamp of the last request sent
};

}  // namespace ntp
