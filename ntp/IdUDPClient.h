#pragma once
#include <string>

#include "ntp/IdUDPBase.h"

namespace ntp {

// A datagram component that sends to one destination.
class TIdUDPClient : public TIdUDPBase {
 public:
  using TIdUDPBase::TIdUDPBase;

  // Destination name or dotted IPv4 address, resolved again on every send.
  const std::string& Host() const { return host_; }
  void SetHost(const std::string& host) { host_ = host; }
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }

  void SendDatagram(const TIdBytes& data) { Send(host_, port_, data); }
  // As SendDatagram, running `right_before_send` once the host is resolved and the socket
  // ready, immediately before the datagram goes out.
  void SendDatagram(const TIdBytes& data, const std::function<void()>& right_before_send) {
    Send(host_, port_, data, right_before_send);
  }

 private:
  std::string host_;
  int port_ = 0;
};

}  // namespace ntp
