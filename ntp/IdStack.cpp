#include "ntp/IdStack.h"

#include <map>

#include "ntp/IdException.h"
#include "ntp/IdStackWinsock.h"

namespace ntp {

namespace {

TIdStack* socket_stack = nullptr;

// A part of a dotted quad: decimal digits only, 0..255.
bool IsAddressByte(const QString& part) {
  if (part.isEmpty() || part.size() > 3) return false;
  for (QChar c : part)
    if (c < '0' || c > '9') return false;
  return part.toInt() <= 255;
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

bool TIdStack::IsDottedIP(const QString& text) {
  // Split off the text before the first "." three times; the remainder is the fourth part.
  QString rest = text;
  for (int i = 0; i < 3; ++i) {
    const qsizetype dot = rest.indexOf('.');
    if (dot < 0) return false;
    if (!IsAddressByte(rest.left(dot))) return false;
    rest = rest.mid(dot + 1);
  }
  return IsAddressByte(rest);
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
  static const std::map<int, const char*> texts = {
      {10004, "Interrupted system call."},
      {10009, "Bad file number."},
      {10013, "Access denied."},
      {10014, "Bad address."},
      {10022, "Invalid argument."},
      {10024, "Too many open files."},
      {10035, "Operation would block. "},
      {10036, "Operation now in progress."},
      {10037, "Operation already in progress."},
      {10038, "Socket operation on non-socket."},
      {10039, "Destination address required."},
      {10040, "Message too long."},
      {10041, "Protocol wrong type for socket."},
      {10042, "Bad protocol option."},
      {10043, "Protocol not supported."},
      {10044, "Socket type not supported."},
      {10045, "Operation not supported on socket."},
      {10046, "Protocol family not supported."},
      {10047, "Address family not supported by protocol family."},
      {10048, "Address already in use."},
      {10049, "Cannot assign requested address."},
      {10050, "Network is down."},
      {10051, "Network is unreachable."},
      {10052, "Net dropped connection or reset."},
      {10053, "Software caused connection abort."},
      {10054, "Connection reset by peer."},
      {10055, "No buffer space available."},
      {10056, "Socket is already connected."},
      {10057, "Socket is not connected."},
      {10058, "Cannot send or receive after socket is closed."},
      {10059, "Too many references, cannot splice."},
      {10060, "Connection timed out."},
      {10061, "Connection refused."},
      {10062, "Too many levels of symbolic links."},
      {10063, "File name too long."},
      {10064, "Host is down."},
      {10065, "No route to host."},
      {10066, "Directory not empty"},
  };
  const auto found = texts.find(error_code);
  return found == texts.end() ? QString() : QString::fromLatin1(found->second);
}

}  // namespace ntp
