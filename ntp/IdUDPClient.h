#pragma once
#include "ntp/IdUDPBase.h"

namespace ntp {

// A datagram component that sends to one destination.
class TIdUDPClient : public TIdUDPBase {
  Q_OBJECT
 public:
  using TIdUDPBase::TIdUDPBase;

  // Destination name or dotted IPv4 address, resolved again on every send.
  const QString& Host() const { return host_; }
  void SetHost(const QString& host) { host_ = host; }
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }

  void SendDatagram(const QByteArray& data) { Send(host_, port_, data); }

 private:
  QString host_;
  int port_ = 0;
};

}  // namespace ntp
