#include "ntp/IdUDPBase.h"

#include "ntp/IdStack.h"

namespace ntp {

TIdUDPBase::TIdUDPBase(framework::TComponent* owner) : TIdComponent(owner) {}

TIdUDPBase::~TIdUDPBase() {
  CloseBinding();
}

bool TIdUDPBase::Active() const {
  if (Loading() || Designing()) return active_wish_;
  return binding_ && binding_->HandleAllocated();
}

void TIdUDPBase::SetActive(bool active) {
  if (Loading() || Designing()) {
    active_wish_ = active;
    return;
  }
  if (active == Active()) return;
  if (active)
    OpenSocket(ip_version_);
  else
    CloseBinding();
}

void TIdUDPBase::Loaded() {
  const bool wish = active_wish_;
  active_wish_ = false;
  SetActive(wish);
}

void TIdUDPBase::SetBroadcastEnabled(bool enabled) {
  if (enabled == broadcast_enabled_) return;
  broadcast_enabled_ = enabled;
  if (binding_ && binding_->HandleAllocated())
    SocketStack()->CheckSocketResult(SocketStack()->SetBroadcast(binding_->Handle(), enabled));
}

void TIdUDPBase::OpenSocket(TIdIPVersion version) {
  if (!binding_) binding_ = std::make_unique<TIdSocketHandle>();
  if (binding_->HandleAllocated()) {
    if (binding_->IPVersion() == version) return;
    binding_->CloseSocket();  // a socket of one family cannot send to the other
  }
  binding_->AllocateSocket(version);
  SocketStack()->CheckSocketResult(
      SocketStack()->SetBroadcast(binding_->Handle(), broadcast_enabled_));
}

void TIdUDPBase::CloseBinding() {
  binding_.reset();
}

TIdSocketHandle& TIdUDPBase::Binding() {
  if (!binding_ || !binding_->HandleAllocated()) OpenSocket(ip_version_);
  return *binding_;
}

void TIdUDPBase::Send(const std::string& host, int port, const TIdBytes& data,
                      const std::function<void()>& right_before_send) {
  const TIdIPAddress ip = SocketStack()->LookUpHost(host, host_family_);
  OpenSocket(ip.Version);
  TIdSocketHandle& socket = *binding_;
  // One exchange at a time runs on this socket: whatever waits in it now answers an earlier
  // request (one whose receive timed out or failed) and would be taken for this one's reply.
  socket.DiscardWaitingDatagrams();
  if (right_before_send) right_before_send();
  socket.SendTo(ip, port, data);
}

TIdBytes TIdUDPBase::ReceiveDatagram(int timeout_ms, TIdIPAddress& peer_ip, int& peer_port) {
  if (timeout_ms == kUseReceiveTimeout) timeout_ms = receive_timeout_;
  TIdSocketHandle& socket = Binding();
  if (!socket.Readable(timeout_ms)) {
    peer_ip = TIdIPAddress();
    peer_port = 0;
    return {};
  }
  return socket.RecvFrom(buffer_size_, peer_ip, peer_port);
}

TIdBytes TIdUDPBase::ReceiveDatagram(int timeout_ms) {
  TIdIPAddress ip;
  int port = 0;
  return ReceiveDatagram(timeout_ms, ip, port);
}

}  // namespace ntp
