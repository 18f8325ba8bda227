// Fuzzes the SNTP reply decoder with whatever a server (or anyone on the path) could send, and
// the request's timestamp conversion with any date-time. Beyond "no crash": every field is
// finite, each field is what its bytes say, the validity rules hold exactly, a short reply is
// no reply, and bytes after the 48th change nothing.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "ntp/NTPClient.h"
#include "platform/WinTime.h"

namespace {

constexpr std::size_t kMessageSize = 48;  // bytes
constexpr double kTwoTo32 = 4294967296.0;
constexpr double kSecondsPerDay = 86400.0;
// A reply arriving on 2026-06-01 12:00 local (days since 1899-12-30).
constexpr double kDestination = 46174.5;
// Comparisons of date-times in days: well below a millisecond (1.16e-8 days), well above the
// rounding of a double near 50,000 days (7.3e-12 days).
constexpr double kDayTolerance = 1e-9;

// A zone east of UTC by a part of an hour, in daylight time: UTC = local - 10:30, so the bias
// has a sign and a fraction that a dropped or mixed-up term would show.
class FixedZone final : public platform::ClockApi {
 public:
  static constexpr int32_t kBias = -570;         // minutes
  static constexpr int32_t kDaylightBias = -60;  // minutes
  void GetLocalTime(platform::SYSTEMTIME* time) override { *time = {}; }
  void GetSystemTime(platform::SYSTEMTIME* time) override { *time = {}; }
  uint32_t GetTimeZoneInformation(platform::TIME_ZONE_INFORMATION* info) override {
    info->Bias = kBias;
    info->StandardBias = 0;
    info->DaylightBias = kDaylightBias;
    return platform::TIME_ZONE_ID_DAYLIGHT;
  }
  bool SetLocalTime(const platform::SYSTEMTIME*) override { return false; }
};
constexpr double kBiasDays = (FixedZone::kBias + FixedZone::kDaylightBias) / 1440.0;

[[noreturn]] void Fail(const char* what, double got, double expected) {
  std::fprintf(stderr, "SNTP reply check failed: %s (got %.17g, expected %.17g)\n", what, got,
               expected);
  std::abort();
}

void Expect(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "SNTP reply check failed: %s\n", what);
  std::abort();
}

void ExpectNear(double got, double expected, double tolerance, const char* what) {
  if (!std::isfinite(got) || !(std::fabs(got - expected) <= tolerance)) Fail(what, got, expected);
}

uint32_t BigEndianWord(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

// 2^n by doubling or halving, so it does not share the decoder's way of computing it.
double PowerOfTwo(int n) {
  double value = 1.0;
  for (int i = 0; i < n; ++i) value *= 2.0;
  for (int i = 0; i > n; --i) value /= 2.0;
  return value;
}

// A timestamp's instant in seconds since 1900-01-01 00:00 UTC, in the era that begins in 1900
// or the one that begins in 2036, truncated to whole milliseconds.
double StampSeconds(const uint8_t* bytes, int era) {
  const double seconds = BigEndianWord(bytes) + era * kTwoTo32;
  const double milliseconds = std::floor(BigEndianWord(bytes + 4) * 1000.0 / kTwoTo32);
  return seconds + milliseconds / 1000.0;
}

// The local date-time that a timestamp stands for: one of the two eras, as a word that reads
// back after 2036 may be taken to mean.
void ExpectStamp(double got, const uint8_t* bytes, const char* what) {
  for (int era = 0; era <= 1; ++era) {
    const double expected = StampSeconds(bytes, era) / kSecondsPerDay + 2.0 - kBiasDays;
    if (std::isfinite(got) && std::fabs(got - expected) <= kDayTolerance) return;
  }
  Fail(what, got, StampSeconds(bytes, 0) / kSecondsPerDay + 2.0 - kBiasDays);
}

// The characters of a UTF-8 text of U+0000..U+00FF only; nothing for any other text.
std::optional<std::string> Latin1Of(const std::string& utf8) {
  std::string characters;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      characters += static_cast<char>(lead);
      continue;
    }
    if ((lead != 0xC2 && lead != 0xC3) || i + 1 >= utf8.size()) return std::nullopt;
    const auto next = static_cast<unsigned char>(utf8[++i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    characters += static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F));
  }
  return characters;
}

void CheckReferenceId(const std::string& utf8, uint8_t stratum, const uint8_t* bytes) {
  if (stratum <= 1) {
    // One character per byte, zero bytes included.
    const std::optional<std::string> characters = Latin1Of(utf8);
    Expect(characters && characters->size() == 4,
           "reference ID of stratum 0 or 1 is four characters in UTF-8");
    for (std::size_t i = 0; characters && i < characters->size() && i < 4; ++i)
      Expect(static_cast<unsigned char>((*characters)[i]) == bytes[i],
             "reference ID character is its byte");
    return;
  }
  const std::string dotted = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                             std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
  Expect(utf8 == dotted, "reference ID above stratum 1 is dotted decimal");
}

void CheckReply(const uint8_t* bytes, std::size_t length) {
  const std::span<const uint8_t> reply(bytes, length);
  const std::optional<ntp::TNTPInfo> decoded = ntp::DecodeSntpReply(reply, kDestination);
  if (length < kMessageSize) {
    Expect(!decoded.has_value(), "a reply shorter than 48 bytes is no reply");
    // The same through the byte vector the client receives.
    const ntp::TIdBytes copy(bytes, bytes + length);
    Expect(!ntp::DecodeSntpReply(copy, kDestination).has_value(),
           "a short byte vector is no reply");
    return;
  }
  Expect(decoded.has_value(), "48 bytes or more are a reply");
  const ntp::TNTPInfo& info = *decoded;

  Expect(info.LeapIndicator == bytes[0] >> 6, "leap indicator is bits 7-6");
  Expect(info.Version == ((bytes[0] >> 3) & 7), "version is bits 5-3");
  Expect(info.Mode == (bytes[0] & 7), "mode is bits 2-0");
  Expect(info.Stratum == bytes[1], "stratum is byte 1");
  if (info.PollInterval != PowerOfTwo(static_cast<int8_t>(bytes[2])))
    Fail("poll interval is 2^(signed byte 2)", info.PollInterval,
         PowerOfTwo(static_cast<int8_t>(bytes[2])));
  if (info.Precision != PowerOfTwo(static_cast<int8_t>(bytes[3])))
    Fail("precision is 2^(signed byte 3)", info.Precision,
         PowerOfTwo(static_cast<int8_t>(bytes[3])));
  const double delay = static_cast<int32_t>(BigEndianWord(bytes + 4)) / 65536.0;
  if (info.RootDelay != delay) Fail("root delay is signed 16.16", info.RootDelay, delay);
  const double dispersion = static_cast<int32_t>(BigEndianWord(bytes + 8)) / 65536.0;
  if (info.RootDispersion != dispersion)
    Fail("root dispersion is signed 16.16", info.RootDispersion, dispersion);
  CheckReferenceId(info.ReferenceID, bytes[1], bytes + 12);

  if (info.DestinationTime != kDestination)
    Fail("destination time is T4 as given", info.DestinationTime, kDestination);
  ExpectStamp(info.OriginateTime, bytes + 24, "originate time is bytes 24..31");
  ExpectStamp(info.ReceiveTime, bytes + 32, "receive time is bytes 32..39");
  ExpectStamp(info.TransmitTime, bytes + 40, "transmit time is bytes 40..47");
  if (info.ServerTime != info.TransmitTime)
    Fail("server time is the transmit time", info.ServerTime, info.TransmitTime);
  ExpectNear(info.ServerTimeUtc, info.ServerTime + kBiasDays - 2.0, kDayTolerance,
             "server time UTC counts days from 1900 in UTC");

  const double t1 = info.OriginateTime, t2 = info.ReceiveTime, t3 = info.TransmitTime;
  ExpectNear(info.RoundTripDelay, (kDestination - t1) - (t3 - t2), kDayTolerance,
             "round-trip delay is (T4 - T1) - (T3 - T2)");
  ExpectNear(info.ClockOffset, ((t2 - t1) + (t3 - kDestination)) / 2, kDayTolerance,
             "clock offset is ((T2 - T1) + (T3 - T4)) / 2");

  // The three rules, and only they: no alarm, stratum 1 to 15, a transmit timestamp at all.
  bool transmitPresent = false;
  for (std::size_t i = 40; i < kMessageSize; ++i) transmitPresent = transmitPresent || bytes[i];
  const bool valid = (bytes[0] >> 6) != 3 && bytes[1] >= 1 && bytes[1] <= 15 && transmitPresent;
  Expect(info.Valid == valid, "Valid follows exactly the three rules");

  if (length > kMessageSize) {
    // Nothing after byte 47 belongs to the message.
    const std::optional<ntp::TNTPInfo> first =
        ntp::DecodeSntpReply(reply.first(kMessageSize), kDestination);
    Expect(first.has_value() && first->Valid == info.Valid &&
               first->ReferenceID == info.ReferenceID && first->ClockOffset == info.ClockOffset &&
               first->RoundTripDelay == info.RoundTripDelay && first->ServerTime == info.ServerTime,
           "bytes after the 48th change nothing");
  }
}

// The request side: any date-time gives a defined stamp; one between 1968 and 2036 reads back
// no later than itself and less than a millisecond earlier.
void CheckStamp(const uint8_t* bytes, std::size_t length) {
  if (length < sizeof(double)) return;
  double local = 0;
  std::memcpy(&local, bytes, sizeof local);
  uint32_t seconds = 0, fraction = 0;
  ntp::LocalToNtpStamp(local, seconds, fraction);  // the sanitizers watch the conversion
  if (!std::isfinite(local)) {
    Expect(seconds == 0 && fraction == 0, "a date-time that is no number gives a zero stamp");
    return;
  }
  // 1968-01-21 .. 2036-02-06 local, inside the era that begins in 1900 whatever the zone.
  if (local < 24858.0 || local > 49710.0) return;
  const double back = ntp::NtpStampToLocal(seconds, fraction);
  const double millisecond = 1.0 / 86400000.0;  // days
  if (!(back <= local + kDayTolerance && back > local - millisecond - kDayTolerance))
    Fail("a stamp reads back within the millisecond below", back, local);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static FixedZone zone;
  static platform::ScopedOverride<platform::ClockApi> installed(zone);
  if (ntp::UtcBiasDays() != kBiasDays)
    Fail("the fixed zone is in force", ntp::UtcBiasDays(), kBiasDays);
  CheckReply(data, size);
  CheckStamp(data, size);
  return 0;
}
