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

  platform::SOCKET CreateSocketHandle() override;
  int SetBroadcast(platform::SOCKET s, bool enabled) override;
  int SendTo(platform::SOCKET s, const QByteArray& data, const QString& ip, int port) override;
  bool Readable(platform::SOCKET s, int timeout_ms) override;
  int RecvFrom(platform::SOCKET s, QByteArray& buffer, QString& ip, int& port) override;
  void Disconnect(platform::SOCKET s) override;
  int LastError() override;

 protected:
  QString HostByName(const QString& name) override;

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

  platform::HMODULE library_ = nullptr;
  Functions f_;
};

}  // namespace ntp
