#include "ntp/NTPClient.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "ntp/IdGlobal.h"

namespace ntp {

namespace {

constexpr double kTwoTo32 = 4294967296.0;
constexpr double kNtpEpochDays = 2.0;  // 1900-01-01 00:00 as a date-time
constexpr uint32_t kEraBoundary = 0x80000000u;

uint32_t NetworkToHost(uint32_t word) {
  return std::endian::native == std::endian::little ? ByteSwap32(word) : word;
}

uint32_t WordAt(const uint8_t* bytes, int offset) {
  uint32_t word = 0;
  std::memcpy(&word, bytes + offset, 4);
  return word;  // as it lies in the message
}

void PutWord(QByteArray& bytes, int offset, uint32_t host_word) {
  const uint32_t word = NetworkToHost(host_word);  // the swap is its own inverse
  std::memcpy(bytes.data() + offset, &word, 4);
}

TDateTime StampAt(const uint8_t* bytes, int offset) {
  return NtpStampToLocal(NetworkToHost(WordAt(bytes, offset)),
                         NetworkToHost(WordAt(bytes, offset + 4)));
}

}  // namespace

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

double ShortFixedToSeconds(uint32_t network_word) {
  return static_cast<int32_t>(NetworkToHost(network_word)) / 65536.0;
}

double Log2ToSeconds(uint8_t exponent) {
  return std::ldexp(1.0, static_cast<int8_t>(exponent));
}

QString ReferenceIdText(uint8_t stratum, const uint8_t bytes[4]) {
  if (stratum <= 1) {
    QString text;
    for (int i = 0; i < 4; ++i) text += QChar(bytes[i]);
    return text;
  }
  return QString("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
}

QByteArray BuildSntpRequest(TDateTime local_now) {
  QByteArray request(kSntpMessageSize, '\0');
  request[0] = 0x1B;  // leap indicator 0, version 3, mode 3 (client)
  uint32_t seconds = 0, fraction = 0;
  LocalToNtpStamp(local_now, seconds, fraction);
  PutWord(request, 40, seconds);
  PutWord(request, 44, fraction);
  return request;
}

std::optional<TNTPInfo> DecodeSntpReply(const uint8_t* b, std::size_t length,
                                        TDateTime destination) {
  if (b == nullptr || length < static_cast<std::size_t>(kSntpMessageSize)) return std::nullopt;
  TNTPInfo info;
  info.DestinationTime = destination;
  info.LeapIndicator = (b[0] >> 6) & 3;
  info.Version = (b[0] >> 3) & 7;
  info.Mode = b[0] & 7;
  info.Stratum = b[1];
  info.PollInterval = Log2ToSeconds(b[2]);
  info.Precision = Log2ToSeconds(b[3]);
  info.RootDelay = ShortFixedToSeconds(WordAt(b, 4));
  info.RootDispersion = ShortFixedToSeconds(WordAt(b, 8));
  info.ReferenceID = ReferenceIdText(info.Stratum, b + 12);

  info.ServerTime = StampAt(b, 40);
  info.ServerTimeUtc = info.ServerTime + UtcBiasDays() - kNtpEpochDays;

  const TDateTime t1 = info.OriginateTime = StampAt(b, 24);
  const TDateTime t2 = info.ReceiveTime = StampAt(b, 32);
  const TDateTime t3 = info.TransmitTime = StampAt(b, 40);
  const TDateTime t4 = destination;
  info.RoundTripDelay = (t4 - t1) - (t3 - t2);
  info.ClockOffset = ((t2 - t1) + (t3 - t4)) / 2;

  // The only three rules: no alarm (leap indicator 3), a synchronised server of stratum 1 to
  // 15 (0 is a kiss code), and a transmit timestamp that is there at all.
  bool transmit_zero = true;
  for (int i = 40; i < 48; ++i) transmit_zero = transmit_zero && b[i] == 0;
  info.Valid = info.LeapIndicator != 3 && info.Stratum >= 1 && info.Stratum <= 15 && !transmit_zero;
  return info;
}

std::optional<TNTPInfo> DecodeSntpReply(const QByteArray& reply, TDateTime destination) {
  return DecodeSntpReply(reinterpret_cast<const uint8_t*>(reply.constData()),
                         static_cast<std::size_t>(reply.size()), destination);
}

TNTPClient::TNTPClient(QObject* owner) : TIdUDPClient(owner) {}

QByteArray TNTPClient::BuildRequest() {
  return BuildSntpRequest(framework::Now());
}

QByteArray TNTPClient::SendAndReceive() {
  const QByteArray request = BuildRequest();  // its timestamp becomes T1
  SetBufferSize(kSntpMessageSize);
  SendDatagram(request);
  const QByteArray received = ReceiveDatagram(kUseReceiveTimeout);
  if (received.size() < kSntpMessageSize) return {};
  return received.left(kSntpMessageSize);
}

void TNTPClient::DecodeReply(const QByteArray& reply) {
  const TDateTime destination = framework::Now();  // T4, before any other work on the reply
  if (std::optional<TNTPInfo> decoded = DecodeSntpReply(reply, destination)) Info = *decoded;
}

TDateTime TNTPClient::QueryServerTime() {
  Info.Valid = false;
  const QByteArray reply = SendAndReceive();
  if (!reply.isEmpty()) DecodeReply(reply);
  return Info.Valid ? Info.ServerTime : 0.0;
}

bool TNTPClient::SetComputerTime() {
  if (QueryServerTime() == 0.0) return false;
  // The server's time when the reply arrived, less its hold time.
  const TDateTime t = Info.OriginateTime + Info.ClockOffset + Info.RoundTripDelay;
  return SetLocalTime(t);
}

}  // namespace ntp
