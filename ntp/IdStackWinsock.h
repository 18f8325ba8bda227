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

  // IPv4 always; IPv6 when the library has getaddrinfo and freeaddrinfo. A socket or a send of
  // a family it lacks fails with WSAEAFNOSUPPORT.
  platform::SOCKET CreateSocketHandle(TIdIPVersion version) override;
  int SetBroadcast(platform::SOCKET s, bool enabled) override;
  int SendTo(platform::SOCKET s, const TIdBytes& data, const TIdIPAddress& ip, int port) override;
  bool Readable(platform::SOCKET s, int timeout_ms) override;
  int RecvFrom(platform::SOCKET s, TIdBytes& buffer, TIdIPAddress& ip, int& port) override;
  void Disconnect(platform::SOCKET s) override;
  // Where the library has its three stamp calls; otherwise no socket has stamps.
  bool EnableKernelStamps(platform::SOCKET s) override;
  int SendToStamped(platform::SOCKET s, const TIdBytes& data, const TIdIPAddress& ip, int port,
                    int stamp_wait_ms, int64_t& stamp_ns) override;
  int RecvFromStamped(platform::SOCKET s, TIdBytes& buffer, TIdIPAddress& ip, int& port,
                      int64_t& stamp_ns) override;
  int LastError() override;
  bool SupportsIPv6() const override;

 protected:
  TIdIPAddress HostByName(const std::string& name) override;
  TIdIPAddress HostByName6(const std::string& name, bool numeric) override;

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
    // Optional: without them the library has no IPv6.
    platform::Tgetaddrinfo getaddrinfo = nullptr;
    platform::Tfreeaddrinfo freeaddrinfo = nullptr;
    // Optional: without them the time query reads its own clock.
    platform::Tenablestamps enablestamps = nullptr;
    platform::Tsendtostamped sendtostamped = nullptr;
    platform::Trecvfromstamped recvfromstamped = nullptr;
  };

  // Sends with the library's sendto, or with its stamped send when `stamp_ns` is given.
  int Send(platform::SOCKET s, const TIdBytes& data, const TIdIPAddress& ip, int port,
           int stamp_wait_ms, int64_t* stamp_ns);
  // Receives with the library's recvfrom, or with its stamped receive when `stamp_ns` is given.
  int Receive(platform::SOCKET s, TIdBytes& buffer, TIdIPAddress& ip, int& port, int64_t* stamp_ns);

  // A call refused before it reached the library; LastError then gives `error`.
  int Refuse(int error);

  platform::HMODULE library_ = nullptr;
  int refused_error_ = 0;
  Functions f_;
};

}  // namespace ntp
