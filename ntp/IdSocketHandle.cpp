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

int TIdSocketHandle::DiscardWaitingDatagrams() {
  // A bound, so that a sender flooding the socket cannot hold the caller here forever; it is
  // more datagrams than a socket's default receive buffer holds.
  constexpr int kMostDiscarded = 1024;
  // Any size drops a whole datagram: a larger one fails with 10040 but is gone all the same.
  constexpr int kDiscardBufferSize = 512;  // bytes
  TIdStack* stack = SocketStack();
  QByteArray buffer(kDiscardBufferSize, '\0');
  QString ip;
  int port = 0;
  int discarded = 0;
  while (discarded < kMostDiscarded && stack->Readable(handle_, 0)) {
    // A failure other than "too long" took no datagram with it: reading on would only fail
    // again, and the send that follows reports any lasting fault itself.
    if (stack->RecvFrom(handle_, buffer, ip, port) == platform::SOCKET_ERROR &&
        stack->LastError() != platform::WSAEMSGSIZE)
      break;
    ++discarded;
  }
  return discarded;
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
