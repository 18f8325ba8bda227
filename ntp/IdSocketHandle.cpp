#include "ntp/IdSocketHandle.h"

#include "ntp/IdException.h"
#include "ntp/IdStack.h"

namespace ntp {

TIdSocketHandle::~TIdSocketHandle() {
  CloseSocket();
}

void TIdSocketHandle::AllocateSocket(TIdIPVersion version) {
  if (allocated_) return;
  const platform::SOCKET s = SocketStack()->CreateSocketHandle(version);
  if (s == platform::INVALID_SOCKET) throw EIdInvalidSocket();
  handle_ = s;
  version_ = version;
  allocated_ = true;
  stamped_ = SocketStack()->EnableKernelStamps(s);
}

void TIdSocketHandle::CloseSocket() {
  if (allocated_ && SocketStack()) SocketStack()->Disconnect(handle_);
  handle_ = platform::INVALID_SOCKET;
  allocated_ = false;
  stamped_ = false;
  send_stamp_ = receive_stamp_ = 0;
  ip_.clear();
  port_ = 0;
}

void TIdSocketHandle::SendTo(const TIdIPAddress& ip, int port, const TIdBytes& data) {
  TIdStack* stack = SocketStack();
  send_stamp_ = receive_stamp_ = 0;
  const int sent =
      stamped_ ? stack->SendToStamped(handle_, data, ip, port, kSendStampWaitMs, send_stamp_)
               : stack->SendTo(handle_, data, ip, port);
  if (sent == platform::SOCKET_ERROR) {
    const int error = stack->LastError();
    if (error == platform::WSAEMSGSIZE) throw EIdPackageSizeTooBig();
    TIdStack::RaiseSocketError(error);
  }
  if (sent < 0 || static_cast<std::size_t>(sent) != data.size()) throw EIdNotAllBytesSent();
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
  TIdBytes buffer(kDiscardBufferSize);
  TIdIPAddress ip;
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

TIdBytes TIdSocketHandle::RecvFrom(int buffer_size, TIdIPAddress& peer_ip, int& peer_port) {
  TIdStack* stack = SocketStack();
  TIdBytes buffer(buffer_size > 0 ? static_cast<std::size_t>(buffer_size) : 0);
  receive_stamp_ = 0;
  const int received = stack->CheckSocketResult(
      stamped_ ? stack->RecvFromStamped(handle_, buffer, peer_ip, peer_port, receive_stamp_)
               : stack->RecvFrom(handle_, buffer, peer_ip, peer_port));
  if (received == 0) throw EIdUDPReceiveErrorZeroBytes();
  buffer.resize(static_cast<std::size_t>(received));
  return buffer;
}

}  // namespace ntp
