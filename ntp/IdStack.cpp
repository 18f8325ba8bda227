#include "ntp/IdStack.h"

#include "ntp/IdException.h"
#include "ntp/IdStackWinsock.h"

namespace ntp {

namespace {

TIdStack* socket_stack = nullptr;

// A part of a dotted quad: decimal digits only, read as an integer, 0..255. Leading zeros are
// part of the number ("0010" is 10), never an octal prefix.
bool ReadAddressByte(const QString& part, uint8_t& byte) {
  if (part.isEmpty()) return false;
  int value = 0;
  for (QChar c : part) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c.unicode() - '0');
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

bool TIdStack::ReadDottedIP(const QString& text, std::array<uint8_t, 4>& bytes) {
  // Split off the text before the first "." three times; the remainder is the fourth part.
  std::array<uint8_t, 4> read{};
  QString rest = text;
  for (int i = 0; i < 3; ++i) {
    const qsizetype dot = rest.indexOf('.');
    if (dot < 0) return false;
    if (!ReadAddressByte(rest.left(dot), read[i])) return false;
    rest = rest.mid(dot + 1);
  }
  if (!ReadAddressByte(rest, read[3])) return false;
  bytes = read;
  return true;
}

bool TIdStack::IsDottedIP(const QString& text) {
  std::array<uint8_t, 4> bytes;
  return ReadDottedIP(text, bytes);
}

QString TIdStack::LookUpHost(const QString& host) {
  if (host.compare("LOCALHOST", Qt::CaseInsensitive) == 0) return "127.0.0.1";
  if (IsDottedIP(host)) return host;
  return HostByName(host);
}

int TIdStack::CheckSocketResult(int result) {
  if (result == platform::SOCKET_ERROR) {
    const int error = LastError();
    throw EIdSocketError(error, SocketErrorText(error));
  }
  return result;
}

QString TIdStack::SocketErrorText(int error_code) {
  const char* text = platform::SocketErrorTextOf(error_code);
  return text ? QString::fromLatin1(text) : QString();
}

}  // namespace ntp
