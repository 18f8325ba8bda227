#pragma once
#include "ntp/IdStack.h"

namespace ntp {

// The stack over the platform's socket library, loaded by name and started for version 1.1.
class TIdStackWinsock final : public TIdStack {
 public:
  // Raises EIdStackCanNotLoadWinsock when the library (or one of its functions) is missing,
  // EIdStackInitializationFailed when it does not start.
  TIdStackWinsock();
  ~TIdStackWinsock() override;
  TIdStackWinsock(const TIdStackWinsock&) = delete;
  TIdStackWinsock& operator=(const TIdStackWinsock&) = delete;

  // The library speaks IPv4 only (version 1.1): a socket or a send of another family fails with
  // WSAEAFNOSUPPORT.
  platform::SOCKET CreateSocketHandle(TIdIPVersion version) override;
  int SetBroadcast(platform::SOCKET s, bool enabled) override;
  int SendTo(platform::SOCKET s, const TIdBytes& data, const TIdIPAddress& ip, int port) override;
  bool Readable(platform::SOCKET s, int timeout_ms) override;
  int RecvFrom(platform::SOCKET s, TIdBytes& buffer, TIdIPAddress& ip, int& port) override;
  void Disconnect(platform::SOCKET s) override;
  int LastError() override;

 protected:
  TIdIPAddress HostByName(const std::string& name) override;

 private:
  struct Functions {
    platform::TWSAStartup WSAStartup = nullptr;
    platform::TWSACleanup WSACleanup = nullptr;
    platform::TWSAGetLastError WSAGetLastError = nullptr;
    platform::TWSACancelBlockingCall WSACancelBlockingCall = nullptr;
    platform::Tsocket socket = nullptr;
    platform::Tsetsockopt setsockopt = nullptr;
    platform::Tgethostbyname gethostbyname = nullptr;
    platform::Thtons htons = nullptr;
    platform::Tntohs ntohs = nullptr;
    platform::Tsendto sendto = nullptr;
    platform::Tselect select = nullptr;
    platform::Trecvfrom recvfrom = nullptr;
    platform::Tshutdown shutdown = nullptr;
    platform::Tclosesocket closesocket = nullptr;
  };

  // A call refused before it reached the library; LastError then gives `error`.
  int Refuse(int error);

  platform::HMODULE library_ = nullptr;
  int refused_error_ = 0;
  Functions f_;
};

}  // namespace ntp
