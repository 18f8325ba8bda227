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

TIdIPAddress TIdStack::LookUpHost(const std::string& host) {
  if (framework::SameTextAscii(host, "LOCALHOST")) return TIdIPAddress::IPv4({127, 0, 0, 1});
  std::array<uint8_t, 4> bytes;
  if (ReadDottedIP(host, bytes)) return TIdIPAddress::IPv4(bytes);
  return HostByName(host);
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
