#include "ntp/IdSocketHandle.h"

#include "ntp/IdException.h"
#include "ntp/IdStack.h"

namespace ntp {

TIdSocketHandle::~TIdSocketHandle() {
  CloseSocket();
}

void TIdSocketHandle::AllocateSocket() {
  if (allocated_) return;
  const platform::SOCKET s = SocketStack()->CreateSocketHandle();
  if (s == platform::INVALID_SOCKET) throw EIdInvalidSocket();
  handle_ = s;
  allocated_ = true;
}

void TIdSocketHandle::CloseSocket() {
  if (allocated_ && SocketStack()) SocketStack()->Disconnect(handle_);
  handle_ = platform::INVALID_SOCKET;
  allocated_ = false;
  ip_.clear();
  port_ = 0;
}

void TIdSocketHandle::SendTo(const QString& ip, int port, const QByteArray& data) {
  TIdStack* stack = SocketStack();
  const int sent = stack->SendTo(handle_, data, ip, port);
  if (sent == platform::SOCKET_ERROR) {
    const int error = stack->LastError();
    if (error == platform::WSAEMSGSIZE) throw EIdPackageSizeTooBig();
    throw EIdSocketError(error, TIdStack::SocketErrorText(error));
  }
  if (sent != data.size()) throw EIdNotAllBytesSent();
}

bool TIdSocketHandle::Readable(int timeout_ms) const {
  return SocketStack()->Readable(handle_, timeout_ms);
}

QByteArray TIdSocketHandle::RecvFrom(int buffer_size, QString& peer_ip, int& peer_port) {
  TIdStack* stack = SocketStack();
  QByteArray buffer(buffer_size > 0 ? buffer_size : 0, '\0');
  const int received =
      stack->CheckSocketResult(stack->RecvFrom(handle_, buffer, peer_ip, peer_port));
  if (received == 0) throw EIdUDPReceiveErrorZeroBytes();
  buffer.truncate(received);
  return buffer;
}

}  // namespace ntp
