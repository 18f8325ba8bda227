#pragma once
#include <QByteArray>
#include <QString>
#include <memory>

#include "ntp/IdComponent.h"
#include "ntp/IdSocketHandle.h"

namespace ntp {

// A datagram component: opens its socket when made active (or on first use), receives with a
// time-out.
class TIdUDPBase : public TIdComponent {
  Q_OBJECT
 public:
  static constexpr int kDefaultBufferSize = 8192;  // bytes
  static constexpr int kWaitForever = -2;          // a receive time-out without limit
  static constexpr int kUseReceiveTimeout = -1;    // a receive argument meaning ReceiveTimeout

  explicit TIdUDPBase(QObject* owner = nullptr);
  ~TIdUDPBase() override;

  // True while a socket is allocated. While loading or designing, a write is only recorded and
  // applied when loading ends.
  bool Active() const;
  void SetActive(bool active);

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
  QByteArray ReceiveDatagram(int timeout_ms, QString& peer_ip, int& peer_port);
  QByteArray ReceiveDatagram(int timeout_ms = kUseReceiveTimeout);

 protected:
  // Resolves the host, opens the socket if needed, drops the datagrams already waiting in it,
  // and sends.
  void Send(const QString& host, int port, const QByteArray& data);
  void Loaded() override;

 private:
  void OpenSocket();
  void CloseBinding();

  std::unique_ptr<TIdSocketHandle> binding_;
  bool active_wish_ = false;  // what was asked while loading
  int buffer_size_ = kDefaultBufferSize;
  bool broadcast_enabled_ = false;
  int receive_timeout_ = kWaitForever;
};

}  // namespace ntp
