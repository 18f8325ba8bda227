#pragma once
// A socket library of the test's: installed as "wsock32.dll" for its lifetime, it records every
// call and answers as scripted.
#include <QByteArray>
#include <array>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Winsock.h"

namespace testing_support {

class FakeWinsock : public platform::ModuleApi {
 public:
  FakeWinsock();
  ~FakeWinsock() override;

  // Loading and starting.
  bool library_missing = false;
  std::set<std::string> missing_functions;
  int startup_result = 0;
  int startups = 0, cleanups = 0, cancels = 0, loads = 0, frees = 0;
  uint16_t startup_version = 0;

  // Sockets.
  platform::SOCKET next_socket = 7;  // INVALID_SOCKET makes socket() fail
  int sockets_made = 0, shutdowns = 0, closes = 0;
  int last_shutdown_how = -1;
  std::vector<int32_t> broadcast_values;  // each setsockopt's value
  int setsockopt_result = 0;

  // Lookups: the address found, or nothing with `lookup_error`.
  std::optional<std::array<uint8_t, 4>> host_address = std::array<uint8_t, 4>{192, 0, 2, 5};
  int lookup_error = platform::WSAHOST_NOT_FOUND;
  int16_t host_address_family = platform::WS_AF_INET;  // as the entry names it
  std::vector<std::string> lookups;
  // getaddrinfo: a numeric request reads the text as an IPv6 address; a name finds
  // `host_address6`, or nothing with `lookup6_error`. Each call's node and flags are kept.
  std::optional<std::array<uint8_t, 16>> host_address6;
  int lookup6_error = platform::WSAHOST_NOT_FOUND;
  struct Lookup6 {
    std::string node;
    int family;
    int flags;
  };
  std::vector<Lookup6> lookups6;
  int lists_freed = 0;
  std::vector<int> socket_families;  // each socket()'s family

  // Sending: -2 sends everything; otherwise the count returned (-1 with `send_error`).
  int send_result = -2;
  int send_error = 0;
  struct Sent {
    std::array<uint8_t, 4> address;  // zeros for IPv6
    int port;
    QByteArray data;
    int family = platform::WS_AF_INET;
    int address_length = 0;
    std::array<uint8_t, 16> address6{};
  };
  std::vector<Sent> sent;

  // Waiting: each select's time-out (nullopt for none) and its result: the scripted one when
  // set, otherwise 1 while a datagram (or a receive error) waits and 0 when none does.
  std::vector<std::optional<platform::TIMEVAL>> select_timeouts;
  std::optional<int> select_result;

  // Receiving: the datagrams in line; a datagram larger than the buffer fails with 10040 and is
  // gone. Each send puts the next of `replies` in line after it, as a server's answer arrives.
  std::deque<QByteArray> datagrams;
  std::deque<QByteArray> replies;
  std::optional<int> recv_error;  // makes recvfrom fail with this number
  std::vector<int> recv_buffer_sizes;

  int last_error = 0;

  // The socket calls in the order made: "select", "recvfrom", "sendto".
  std::vector<std::string> calls;

  platform::HMODULE LoadLibraryA(const char* name) override;
  void* GetProcAddress(platform::HMODULE module, const char* name) override;
  bool FreeLibrary(platform::HMODULE module) override;

  static FakeWinsock* current;

 private:
  platform::ScopedOverride<platform::ModuleApi> installed_{*this};
};

}  // namespace testing_support
