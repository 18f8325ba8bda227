#include "ntp/IdGlobal.h"

#include "platform/WinTime.h"

namespace ntp {

TIdBytes ToBytes(std::string_view text) {
  return TIdBytes(text.begin(), text.end());
}

TIdIPAddress TIdIPAddress::IPv4(const std::array<uint8_t, 4>& bytes) {
  TIdIPAddress address;
  address.Version = TIdIPVersion::Id_IPv4;
  for (std::size_t i = 0; i < bytes.size(); ++i) address.Bytes[i] = bytes[i];
  return address;
}

TIdIPAddress TIdIPAddress::IPv6(const std::array<uint8_t, 16>& bytes) {
  TIdIPAddress address;
  address.Version = TIdIPVersion::Id_IPv6;
  address.Bytes = bytes;
  return address;
}

std::array<uint8_t, 4> TIdIPAddress::IPv4Bytes() const {
  if (Version != TIdIPVersion::Id_IPv4) return {};
  return {Bytes[0], Bytes[1], Bytes[2], Bytes[3]};
}

std::string TIdIPAddress::ToString() const {
  if (Version != TIdIPVersion::Id_IPv4) return {};
  return std::to_string(Bytes[0]) + '.' + std::to_string(Bytes[1]) + '.' +
         std::to_string(Bytes[2]) + '.' + std::to_string(Bytes[3]);
}

double TimeZoneBiasDays() {
  platform::TIME_ZONE_INFORMATION zone;
  const uint32_t state = platform::GetTimeZoneInformation(&zone);
  // Minutes to days in floating point: a bias of 330 (UTC-5:30) is not a whole number of hours.
  return platform::BiasInForceMinutes(zone, state) / 1440.0;
}

bool SetLocalTime(framework::TDateTime value) {
  const platform::SYSTEMTIME fields = framework::DateTimeToSystemTime(value);
  return platform::SetLocalTime(&fields);
}

}  // namespace ntp
