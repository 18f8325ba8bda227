#pragma once
#include <cstdint>
#include <string>

#include "ntp/IdGlobal.h"
#include "platform/Winsock.h"

namespace ntp {

// One datagram socket of the platform, made for one address family. Destroying it shuts the
// socket down and closes it.
class TIdSocketHandle {
 public:
  TIdSocketHandle() = default;
  ~TIdSocketHandle();
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  // Asks the platform for a datagram socket of `version` when none is allocated; raises
  // EIdInvalidSocket when it gives none.
  void AllocateSocket(TIdIPVersion version = TIdIPVersion::Id_IPv4);
  // Shuts down and closes the socket, ignoring both results.
  void CloseSocket();
  bool HandleAllocated() const { return allocated_; }
  platform::SOCKET Handle() const { return handle_; }
  // The family the socket was made for.
  TIdIPVersion IPVersion() const { return version_; }

  // Sends one datagram; raises EIdPackageSizeTooBig, EIdSocketError or EIdNotAllBytesSent.
  void SendTo(const TIdIPAddress& ip, int port, const TIdBytes& data);
  // Receives one datagram of at most `buffer_size` bytes, giving the sender's address; raises
  // EIdSocketError on failure and EIdUDPReceiveErrorZeroBytes for an empty datagram.
  TIdBytes RecvFrom(int buffer_size, TIdIPAddress& peer_ip, int& peer_port);

  // The system's stamps, asked for when the socket is allocated: when the datagram last sent
  // left and when the one last received arrived, in nanoseconds since 1970 UTC by the system's
  // real-time clock; 0 where the system gave none. A send clears both.
  int64_t SendStamp() const { return send_stamp_; }
  int64_t ReceiveStamp() const { return receive_stamp_; }
  // How long a send waits for its stamp: the software stamp is taken as the datagram is handed
  // to the device, within the send on loopback and common devices; one that takes longer is
  // not waited for (ms).
  static constexpr int kSendStampWaitMs = 3;
  bool Readable(int timeout_ms) const;
  // Reads and drops every datagram already waiting (polling with a zero time-out), so that a
  // reply that came after its receive had given up cannot pass for the answer to the next
  // request. Raises nothing: a read that fails ends the discarding. Gives the number dropped.
  int DiscardWaitingDatagrams();

  // The local address and port; the time query never sets or reads them.
  const std::string& IP() const { return ip_; }
  int Port() const { return port_; }

 private:
  platform::SOCKET handle_ = platform::INVALID_SOCKET;
  bool allocated_ = false;
  TIdIPVersion version_ = TIdIPVersion::Id_IPv4;
  bool stamped_ = false;  // the system stamps this socket's datagrams
  int64_t send_stamp_ = 0;
  int64_t receive_stamp_ = 0;
  std::string ip_;
  int port_ = 0;
};

}  // namespace ntp
