#include "ntp/IdStack.h"

#include <string_view>

#include "framework/SysUtils.h"
#include "ntp/IdException.h"
#include "ntp/IdStackWinsock.h"

namespace ntp {

namespace {

TIdStack* socket_stack = nullptr;

// A part of a dotted quad: decimal digits only, read as an integer, 0..255. Leading zeros are
// part of the number ("0010" is 10), never an octal prefix.
bool ReadAddressByte(std::string_view part, uint8_t& byte) {
  if (part.empty()) return false;
  int value = 0;
  for (char c : part) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > 255) return false;  // stops before any overflow, however long the part
  }
  byte = static_cast<uint8_t>(value);
  return true;
}

}  // namespace

TIdStack* SocketStack() {
  return socket_stack;
}

void CreateSocketStack() {
  if (!socket_stack) socket_stack = new TIdStackWinsock();
}

void DestroySocketStack() {
  delete socket_stack;
  socket_stack = nullptr;
}

bool TIdStack::ReadDottedIP(const std::string& text, std::array<uint8_t, 4>& bytes) {
  // Split off the text before the first "." three times; the remainder is the fourth part.
  std::array<uint8_t, 4> read{};
  std::string_view rest = text;
  for (int i = 0; i < 3; ++i) {
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos) return false;
    if (!ReadAddressByte(rest.substr(0, dot), read[i])) return false;
    rest.remove_prefix(dot + 1);
  }
  if (!ReadAddressByte(rest, read[3])) return false;
  bytes = read;
  return true;
}

bool TIdStack::IsDottedIP(const std::string& text) {
  std::array<uint8_t, 4> bytes;
  return ReadDottedIP(text, bytes);
}

bool TIdStack::IsIPv6Text(const std::string& text) {
  return text.find(':') != std::string::npos;
}

TIdIPAddress TIdStack::LookUpHost(const std::string& host) {
  return LookUpHost(host, TIdFamilyChoice::Any);
}

TIdIPAddress TIdStack::LookUpHost(const std::string& host, TIdFamilyChoice family) {
  const bool v4 = family != TIdFamilyChoice::IPv6Only;
  const bool v6 = family != TIdFamilyChoice::IPv4Only;
  if (framework::SameTextAscii(host, "LOCALHOST")) {
    if (v4) return TIdIPAddress::IPv4({127, 0, 0, 1});
    std::array<uint8_t, 16> loopback{};
    loopback[15] = 1;
    return TIdIPAddress::IPv6(loopback);
  }
  std::array<uint8_t, 4> bytes;
  if (ReadDottedIP(host, bytes)) {
    if (!v4) RaiseSocketError(platform::WSAEAFNOSUPPORT);
    return TIdIPAddress::IPv4(bytes);
  }
  if (IsIPv6Text(host)) {
    if (!v6) RaiseSocketError(platform::WSAEAFNOSUPPORT);
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    return HostByName6(bracketed ? host.substr(1, host.size() - 2) : host, true);
  }
  if (!v4) return HostByName6(host, false);
  if (!v6 || !SupportsIPv6()) return HostByName(host);
  try {
    return HostByName(host);
  } catch (const EIdSocketError& v4_error) {
    // Only "no such name" and "no IPv4 address" send the name on to the IPv6 lookup; a failing
    // name server fails the same way for both.
    if (v4_error.ErrorCode() != platform::WSAHOST_NOT_FOUND &&
        v4_error.ErrorCode() != platform::WSANO_DATA)
      throw;
    try {
      return HostByName6(host, false);
    } catch (const EIdSocketError&) {
      throw v4_error;
    }
  }
}

int TIdStack::CheckSocketResult(int result) {
  if (result == platform::SOCKET_ERROR) RaiseSocketError(LastError());
  return result;
}

void TIdStack::RaiseSocketError(int error_code) {
  throw EIdSocketError(error_code, SocketErrorText(error_code));
}

std::string TIdStack::SocketErrorText(int error_code) {
  const char* text = platform::SocketErrorTextOf(error_code);
  return text ? std::string(text) : std::string();
}

}  // namespace ntp
