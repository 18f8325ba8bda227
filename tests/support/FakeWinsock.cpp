#include "support/FakeWinsock.h"

#include <arpa/inet.h>

#include <cstring>
#include <map>

namespace testing_support {

FakeWinsock* FakeWinsock::current = nullptr;

namespace {

FakeWinsock& F() {
  return *FakeWinsock::current;
}

int Fail(int error) {
  F().last_error = error;
  return platform::SOCKET_ERROR;
}

int Startup(uint16_t version, platform::WSADATA*) {
  ++F().startups;
  F().startup_version = version;
  return F().startup_result;
}
int Cleanup() {
  return ++F().cleanups, 0;
}
int GetLastErrorFake() {
  return F().last_error;
}
int Cancel() {
  return ++F().cancels, 0;
}

platform::SOCKET Socket(int family, int, int) {
  F().socket_families.push_back(family);
  if (F().next_socket == platform::INVALID_SOCKET) {
    F().last_error = 10024;
    return platform::INVALID_SOCKET;
  }
  ++F().sockets_made;
  return F().next_socket;
}

int SetSockOpt(platform::SOCKET, int, int, const char* value, int) {
  int32_t v = 0;
  std::memcpy(&v, value, 4);
  F().broadcast_values.push_back(v);
  return F().setsockopt_result == 0 ? 0 : Fail(F().setsockopt_result);
}

platform::HOSTENT* HostByName(const char* name) {
  static platform::HOSTENT entry;
  static std::array<uint8_t, 4> address;
  static char* list[2];
  F().lookups.push_back(name);
  if (!F().host_address) {
    F().last_error = F().lookup_error;
    return nullptr;
  }
  address = *F().host_address;
  list[0] = reinterpret_cast<char*>(address.data());
  list[1] = nullptr;
  entry.h_addrtype = F().host_address_family;
  entry.h_length = 4;
  entry.h_addr_list = list;
  return &entry;
}

uint16_t Swap16(uint16_t v) {
  return static_cast<uint16_t>((v >> 8) | (v << 8));
}

int SendTo(platform::SOCKET, const char* data, int length, int, const platform::SOCKADDR_IN* to,
           int to_length) {
  FakeWinsock::Sent s;
  s.address_length = to_length;
  std::memcpy(&s.family, to, 2);
  s.family = static_cast<int16_t>(s.family);
  if (s.family == platform::WS_AF_INET6) {
    platform::SOCKADDR_IN6 to6;
    std::memcpy(static_cast<void*>(&to6), to, sizeof to6);
    std::copy(std::begin(to6.sin6_addr), std::end(to6.sin6_addr), s.address6.begin());
    s.address = {};
    s.port = Swap16(to6.sin6_port);
  } else {
    std::memcpy(s.address.data(), to->sin_addr, 4);
    s.port = Swap16(to->sin_port);
  }
  s.data = QByteArray(data, length);
  F().sent.push_back(s);
  F().calls.push_back("sendto");
  if (!F().replies.empty()) {
    F().datagrams.push_back(F().replies.front());
    F().replies.pop_front();
  }
  if (F().send_result == -2) return length;
  if (F().send_result == -1) return Fail(F().send_error);
  return F().send_result;
}

int Select(int, platform::FD_SET*, platform::FD_SET*, platform::FD_SET*,
           const platform::TIMEVAL* timeout) {
  F().select_timeouts.push_back(timeout ? std::optional(*timeout) : std::nullopt);
  F().calls.push_back("select");
  if (F().select_result) return *F().select_result < 0 ? Fail(10038) : *F().select_result;
  return F().datagrams.empty() && !F().recv_error ? 0 : 1;
}

int RecvFrom(platform::SOCKET, char* buffer, int length, int, platform::SOCKADDR_IN* from,
             int* from_length) {
  F().recv_buffer_sizes.push_back(length);
  F().calls.push_back("recvfrom");
  if (F().recv_error) return Fail(*F().recv_error);
  if (F().datagrams.empty()) return Fail(10035);
  const QByteArray d = F().datagrams.front();
  F().datagrams.pop_front();
  if (d.size() > length) return Fail(platform::WSAEMSGSIZE);
  std::memcpy(buffer, d.constData(), static_cast<size_t>(d.size()));
  *from = platform::SOCKADDR_IN{};
  from->sin_family = platform::WS_AF_INET;
  from->sin_port = Swap16(123);
  const uint8_t sender[4] = {192, 0, 2, 5};
  std::memcpy(from->sin_addr, sender, 4);
  *from_length = sizeof(platform::SOCKADDR_IN);
  return static_cast<int>(d.size());
}

int Shutdown(platform::SOCKET, int how) {
  ++F().shutdowns;
  F().last_shutdown_how = how;
  return 0;
}
int CloseSocket(platform::SOCKET) {
  return ++F().closes, 0;
}

int GetAddrInfo(const char* node, const char*, const platform::ADDRINFOA* hints,
                platform::ADDRINFOA** result) {
  F().lookups6.push_back({node, hints ? hints->ai_family : 0, hints ? hints->ai_flags : 0});
  *result = nullptr;
  std::array<uint8_t, 16> bytes{};
  if (hints && (hints->ai_flags & platform::WS_AI_NUMERICHOST)) {
    if (::inet_pton(AF_INET6, node, bytes.data()) != 1) return F().last_error = 11001;
  } else if (F().host_address6) {
    bytes = *F().host_address6;
  } else {
    return F().last_error = F().lookup6_error;
  }
  auto* address = new platform::SOCKADDR_IN6;
  address->sin6_family = platform::WS_AF_INET6;
  std::copy(bytes.begin(), bytes.end(), address->sin6_addr);
  auto* entry = new platform::ADDRINFOA;
  entry->ai_family = platform::WS_AF_INET6;
  entry->ai_addr = address;
  entry->ai_addrlen = sizeof *address;
  *result = entry;
  return 0;
}

void FreeAddrInfo(platform::ADDRINFOA* list) {
  ++F().lists_freed;
  while (list) {
    platform::ADDRINFOA* next = list->ai_next;
    delete static_cast<platform::SOCKADDR_IN6*>(list->ai_addr);
    delete list;
    list = next;
  }
}

const std::map<std::string, void*>& Exports() {
  static const std::map<std::string, void*> exports = {
      {"WSAStartup", reinterpret_cast<void*>(&Startup)},
      {"WSACleanup", reinterpret_cast<void*>(&Cleanup)},
      {"WSAGetLastError", reinterpret_cast<void*>(&GetLastErrorFake)},
      {"WSACancelBlockingCall", reinterpret_cast<void*>(&Cancel)},
      {"socket", reinterpret_cast<void*>(&Socket)},
      {"setsockopt", reinterpret_cast<void*>(&SetSockOpt)},
      {"gethostbyname", reinterpret_cast<void*>(&HostByName)},
      {"htons", reinterpret_cast<void*>(&Swap16)},
      {"ntohs", reinterpret_cast<void*>(&Swap16)},
      {"sendto", reinterpret_cast<void*>(&SendTo)},
      {"select", reinterpret_cast<void*>(&Select)},
      {"recvfrom", reinterpret_cast<void*>(&RecvFrom)},
      {"shutdown", reinterpret_cast<void*>(&Shutdown)},
      {"closesocket", reinterpret_cast<void*>(&CloseSocket)},
      {"getaddrinfo", reinterpret_cast<void*>(&GetAddrInfo)},
      {"freeaddrinfo", reinterpret_cast<void*>(&FreeAddrInfo)},
  };
  return exports;
}

}  // namespace

FakeWinsock::FakeWinsock() {
  current = this;
}
FakeWinsock::~FakeWinsock() {
  current = nullptr;
}

platform::HMODULE FakeWinsock::LoadLibraryA(const char* name) {
  ++loads;
  if (library_missing || std::string(name) != "wsock32.dll") return nullptr;
  return this;
}

void* FakeWinsock::GetProcAddress(platform::HMODULE module, const char* name) {
  if (module != this || missing_functions.count(name)) return nullptr;
  const auto found = Exports().find(name);
  return found == Exports().end() ? nullptr : found->second;
}

bool FakeWinsock::FreeLibrary(platform::HMODULE module) {
  ++frees;
  return module == this;
}

}  // namespace testing_support
