#pragma once
// SNTP: one 48-byte request, one 48-byte reply, the clock offset and round-trip delay.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "framework/DateUtils.h"
#include "ntp/IdUDPClient.h"

namespace ntp {

using framework::TDateTime;

constexpr int kSntpMessageSize = 48;  // bytes, request and reply alike

// One decoded reply. All zero (and not valid) until a reply has been stored.
struct TNTPInfo {
  uint8_t LeapIndicator = 0;
  uint8_t Version = 0;
  uint8_t Mode = 0;
  uint8_t Stratum = 0;
  double PollInterval = 0;    // seconds
  double Precision = 0;       // seconds
  double RootDelay = 0;       // seconds
  double RootDispersion = 0;  // seconds
  QString ReferenceID;
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
// A signed 16.16 word as it lies in the message (network order), in seconds.
double ShortFixedToSeconds(uint32_t network_word);
// 2 to the power of a signed byte, in seconds.
double Log2ToSeconds(uint8_t exponent);
// Stratum 0 and 1: the four bytes as four characters (zero bytes included); above: dotted
// decimal.
QString ReferenceIdText(uint8_t stratum, const uint8_t bytes[4]);

// The request: 0x1B (version 3, client mode), zeros, and the local time as transmit timestamp.
QByteArray BuildSntpRequest(TDateTime local_now);
// Decodes the first 48 bytes of a reply that arrived at local time `destination` (T4), with
// Valid set by the three validity rules. Fewer than 48 bytes (or none) are no reply: nothing.
std::optional<TNTPInfo> DecodeSntpReply(const uint8_t* bytes, std::size_t length,
                                        TDateTime destination);
std::optional<TNTPInfo> DecodeSntpReply(const QByteArray& reply, TDateTime destination);

// Asks one time server for the time.
class TNTPClient : public TIdUDPClient {
  Q_OBJECT
 public:
  explicit TNTPClient(QObject* owner = nullptr);

  // One exchange: gives the server's time when the reply is valid, 0.0 otherwise. A reply of
  // 48 bytes replaces Info whole; no reply clears only Info.Valid. Transport errors pass out.
  TDateTime QueryServerTime();
  double GetClockOffset() const { return Info.ClockOffset; }
  // Runs a fresh exchange and sets the local clock from it; false without a valid reply or
  // when the platform refuses.
  bool SetComputerTime();

  TNTPInfo Info;

 private:
  QByteArray BuildRequest();
  // The reply's 48 bytes, or empty when none (or a shorter datagram) arrived in time.
  QByteArray SendAndReceive();
  void DecodeReply(const QByteArray& reply);
};

}  // namespace ntp
