#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ntp/IdComponent.h"
#include "ntp/IdSocketHandle.h"

namespace ntp {

// A datagram component: opens its socket when made active (or on first use), receives with a
// time-out. A send resolves its host first and then uses a socket of the address's family,
// opening (or reopening) one as needed.
class TIdUDPBase : public TIdComponent {
 public:
  static constexpr int kDefaultBufferSize = 8192;  // bytes
  static constexpr int kWaitForever = -2;          // a receive time-out without limit
  static constexpr int kUseReceiveTimeout = -1;    // a receive argument meaning ReceiveTimeout

  explicit TIdUDPBase(framework::TComponent* owner = nullptr);
  ~TIdUDPBase() override;

  // True while a socket is allocated. While loading or designing, a write is only recorded and
  // applied when loading ends. Made active before any send, the socket is of IPVersion's family.
  bool Active() const;
  void SetActive(bool active);

  TIdIPVersion IPVersion() const { return ip_version_; }
  void SetIPVersion(TIdIPVersion version) { ip_version_ = version; }
  // The address families a send's host lookup may give (see TIdStack::LookUpHost).
  TIdFamilyChoice HostFamily() const { return host_family_; }
  void SetHostFamily(TIdFamilyChoice family) { host_family_ = family; }
  int BufferSize() const { return buffer_size_; }
  void SetBufferSize(int size) { buffer_size_ = size; }
  // Given to the socket's broadcast option whenever one is opened, and at once while open.
  bool BroadcastEnabled() const { return broadcast_enabled_; }
  void SetBroadcastEnabled(bool enabled);
  // Milliseconds a receive waits: -2 without limit, 0 only polls.
  int ReceiveTimeout() const { return receive_timeout_; }
  void SetReceiveTimeout(int timeout_ms) { receive_timeout_ = timeout_ms; }

  // The socket, opened on demand.
  TIdSocketHandle& Binding();

  // One datagram, or an empty result (with the sender cleared) when none arrived in time;
  // -1 waits ReceiveTimeout.
  TIdBytes ReceiveDatagram(int timeout_ms, TIdIPAddress& peer_ip, int& peer_port);
  TIdBytes ReceiveDatagram(int timeout_ms = kUseReceiveTimeout);

  // The system's stamps of the last datagram sent and of the last one received (see
  // TIdSocketHandle); 0 where it gave none, or while no socket is open.
  int64_t KernelSendStamp() const { return binding_ ? binding_->SendStamp() : 0; }
  int64_t KernelReceiveStamp() const { return binding_ ? binding_->ReceiveStamp() : 0; }

 protected:
  // Resolves the host, opens a socket of its family if needed, drops the datagrams already
  // waiting in it, and sends; `right_before_send`, when given, runs after all that and
  // immediately before the datagram is handed to the socket.
  void Send(const std::string& host, int port, const TIdBytes& data,
            const std::function<void()>& right_before_send = {});
  void Loaded() override;

 private:
  void OpenSocket(TIdIPVersion version);
  void CloseBinding();

  std::unique_ptr<TIdSocketHandle> binding_;
  bool active_wish_ = false;  // what was asked while loading
  int buffer_size_ = kDefaultBufferSize;
  bool broadcast_enabled_ = false;
  TIdIPVersion ip_version_ = TIdIPVersion::Id_IPv4;
  TIdFamilyChoice host_family_ = TIdFamilyChoice::Any;
  int receive_timeout_ = kWaitForever;
};

}  // namespace ntp
