#pragma once
// What every unit of the time query shares: datagrams as bytes, addresses that carry their
// family, and the two platform services it needs besides sockets (the local-to-UTC bias and
// setting the local clock).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/DateUtils.h"

namespace ntp {

// A datagram, as it is sent or received.
using TIdBytes = std::vector<uint8_t>;
TIdBytes ToBytes(std::string_view text);

enum class TIdIPVersion { Id_IPv4, Id_IPv6 };

// Which address families a host's lookup may give: either (IPv4 first), or only one.
enum class TIdFamilyChoice { Any, IPv4Only, IPv6Only };

// An IP address with its family, from the lookup that found it down to the socket that sends
// to it or received from it.
struct TIdIPAddress {
  TIdIPVersion Version = TIdIPVersion::Id_IPv4;
  // Network order; an IPv4 address fills the first four bytes, the rest stay zero.
  std::array<uint8_t, 16> Bytes{};

  static TIdIPAddress IPv4(const std::array<uint8_t, 4>& bytes);
  static TIdIPAddress IPv6(const std::array<uint8_t, 16>& bytes);
  // The four bytes of an IPv4 address (zeros for another family).
  std::array<uint8_t, 4> IPv4Bytes() const;
  // Dotted decimal for IPv4; empty for another family.
  std::string ToString() const;
  bool operator==(const TIdIPAddress&) const = default;
};

// Days to add to a local date-time to get UTC, read from the platform's time-zone information
// on every call: (Bias + DaylightBias) / 1440 while daylight saving time is in force,
// (Bias + StandardBias) / 1440 otherwise. When the platform cannot tell, the bias is 0 (UTC).
double TimeZoneBiasDays();

// Sets the computer's local clock to a date-time, rounded to the nearest millisecond. False when
// the platform refuses (no right to change the time).
bool SetLocalTime(framework::TDateTime value);

}  // namespace ntp
