#include "ntp/IdStackWinsock.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "ntp/IdException.h"

namespace ntp {

namespace {

constexpr const char* kLibraryName = "wsock32.dll";
constexpr uint16_t kVersion11 = 0x0101;

template <class F>
bool Bind(platform::HMODULE library, const char* name, F& slot) {
  slot = reinterpret_cast<F>(platform::GetProcAddress(library, name));
  return slot != nullptr;
}

}  // namespace

TIdStackWinsock::TIdStackWinsock() {
  library_ = platform::LoadLibraryA(kLibraryName);
  if (!library_) throw EIdStackCanNotLoadWinsock(kLibraryName);
  // A library without one of the calls used here cannot carry the time query; calling a
  // missing entry would crash, so it counts as not loadable.
  const bool complete =
      Bind(library_, "WSAStartup", f_.WSAStartup) && Bind(library_, "WSACleanup", f_.WSACleanup) &&
      Bind(library_, "WSAGetLastError", f_.WSAGetLastError) &&
      Bind(library_, "WSACancelBlockingCall", f_.WSACancelBlockingCall) &&
      Bind(library_, "socket", f_.socket) && Bind(library_, "setsockopt", f_.setsockopt) &&
      Bind(library_, "gethostbyname", f_.gethostbyname) && Bind(library_, "htons", f_.htons) &&
      Bind(library_, "ntohs", f_.ntohs) && Bind(library_, "sendto", f_.sendto) &&
      Bind(library_, "select", f_.select) && Bind(library_, "recvfrom", f_.recvfrom) &&
      Bind(library_, "shutdown", f_.shutdown) && Bind(library_, "closesocket", f_.closesocket);
  if (!complete) {
    platform::FreeLibrary(library_);
    throw EIdStackCanNotLoadWinsock(kLibraryName);
  }
  // IPv6 takes both calls or neither.
  if (!Bind(library_, "getaddrinfo", f_.getaddrinfo) ||
      !Bind(library_, "freeaddrinfo", f_.freeaddrinfo))
    f_.getaddrinfo = nullptr, f_.freeaddrinfo = nullptr;
  // Stamps take all three calls or none.
  if (!Bind(library_, "enablestamps", f_.enablestamps) ||
      !Bind(library_, "sendtostamped", f_.sendtostamped) ||
      !Bind(library_, "recvfromstamped", f_.recvfromstamped))
    f_.enablestamps = nullptr, f_.sendtostamped = nullptr, f_.recvfromstamped = nullptr;
  platform::WSADATA data;
  if (f_.WSAStartup(kVersion11, &data) != 0) {
    platform::FreeLibrary(library_);
    throw EIdStackInitializationFailed();
  }
}

TIdStackWinsock::~TIdStackWinsock() {
  f_.WSACancelBlockingCall();
  f_.WSACleanup();
  platform::FreeLibrary(library_);
}

int TIdStackWinsock::Refuse(int error) {
  refused_error_ = error;
  return platform::SOCKET_ERROR;
}

bool TIdStackWinsock::SupportsIPv6() const {
  return f_.getaddrinfo != nullptr;
}

platform::SOCKET TIdStackWinsock::CreateSocketHandle(TIdIPVersion version) {
  const bool v6 = version == TIdIPVersion::Id_IPv6;
  if (v6 && !SupportsIPv6()) {
    Refuse(platform::WSAEAFNOSUPPORT);
    return platform::INVALID_SOCKET;
  }
  refused_error_ = 0;
  return f_.socket(v6 ? platform::WS_AF_INET6 : platform::WS_AF_INET, platform::WS_SOCK_DGRAM, 0);
}

int TIdStackWinsock::SetBroadcast(platform::SOCKET s, bool enabled) {
  refused_error_ = 0;
  const int32_t value = enabled ? -1 : 0;
  return f_.setsockopt(s, platform::WS_SOL_SOCKET, platform::WS_SO_BROADCAST,
                       reinterpret_cast<const char*>(&value), sizeof value);
}

TIdIPAddress TIdStackWinsock::HostByName(const std::string& name) {
  refused_error_ = 0;
  const platform::HOSTENT* entry = f_.gethostbyname(name.c_str());
  if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) {
    CheckSocketResult(platform::SOCKET_ERROR);
    return {};  // not reached: the check raises
  }
  // This lookup asks for IPv4 addresses; an entry of another shape is no answer to it.
  if (entry->h_addrtype != platform::WS_AF_INET || entry->h_length != 4)
    RaiseSocketError(platform::WSANO_DATA);
  std::array<uint8_t, 4> bytes{};
  std::copy_n(reinterpret_cast<const uint8_t*>(entry->h_addr_list[0]), 4, bytes.begin());
  return TIdIPAddress::IPv4(bytes);
}

TIdIPAddress TIdStackWinsock::HostByName6(const std::string& name, bool numeric) {
  if (!SupportsIPv6()) throw EIdIPv6Unavailable(kLibraryName);
  refused_error_ = 0;
  platform::ADDRINFOA hints;
  hints.ai_family = platform::WS_AF_INET6;
  hints.ai_socktype = platform::WS_SOCK_DGRAM;
  hints.ai_flags = numeric ? platform::WS_AI_NUMERICHOST : 0;
  platform::ADDRINFOA* found = nullptr;
  const int result = f_.getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (result != 0) RaiseSocketError(result);
  std::optional<TIdIPAddress> address;
  for (const platform::ADDRINFOA* a = found; a && !address; a = a->ai_next) {
    if (a->ai_family != platform::WS_AF_INET6 || !a->ai_addr ||
        a->ai_addrlen < sizeof(platform::SOCKADDR_IN6))
      continue;
    platform::SOCKADDR_IN6 entry;
    std::memcpy(static_cast<void*>(&entry), a->ai_addr, sizeof entry);
    std::array<uint8_t, 16> bytes;
    std::copy(std::begin(entry.sin6_addr), std::end(entry.sin6_addr), bytes.begin());
    address = TIdIPAddress::IPv6(bytes);
  }
  f_.freeaddrinfo(found);
  if (!address) RaiseSocketError(platform::WSANO_DATA);
  return *address;
}

bool TIdStackWinsock::EnableKernelStamps(platform::SOCKET s) {
  refused_error_ = 0;
  return f_.enablestamps != nullptr && f_.enablestamps(s) == 0;
}

int TIdStackWinsock::SendTo(platform::SOCKET s, const TIdBytes& data, const TIdIPAddress& ip,
                            int port) {
  return Send(s, data, ip, port, 0, nullptr);
}

int TIdStackWinsock::SendToStamped(platform::SOCKET s, const TIdBytes& data, const TIdIPAddress& ip,
                                   int port, int stamp_wait_ms, int64_t& stamp_ns) {
  stamp_ns = 0;
  return Send(s, data, ip, port, stamp_wait_ms, f_.sendtostamped ? &stamp_ns : nullptr);
}

int TIdStackWinsock::Send(platform::SOCKET s, const TIdBytes& data, const TIdIPAddress& ip,
                          int port, int stamp_wait_ms, int64_t* stamp_ns) {
  // The library's sendto, or its stamped send with the same arguments before the stamp's.
  const auto send = [&](const platform::SOCKADDR_IN* to, int to_length) {
    const char* bytes = reinterpret_cast<const char*>(data.data());
    const int length = static_cast<int>(data.size());
    return stamp_ns ? f_.sendtostamped(s, bytes, length, 0, to, to_length, stamp_wait_ms, stamp_ns)
                    : f_.sendto(s, bytes, length, 0, to, to_length);
  };
  if (ip.Version == TIdIPVersion::Id_IPv6) {
    if (!SupportsIPv6()) return Refuse(platform::WSAEAFNOSUPPORT);
    refused_error_ = 0;
    platform::SOCKADDR_IN6 address;
    address.sin6_family = platform::WS_AF_INET6;
    address.sin6_port = f_.htons(static_cast<uint16_t>(port));
    std::copy(ip.Bytes.begin(), ip.Bytes.end(), address.sin6_addr);
    // The library takes either address through the one pointer type, told apart by length.
    return send(reinterpret_cast<const platform::SOCKADDR_IN*>(&address), sizeof address);
  }
  if (ip.Version != TIdIPVersion::Id_IPv4) return Refuse(platform::WSAEAFNOSUPPORT);
  refused_error_ = 0;
  platform::SOCKADDR_IN address;
  address.sin_family = platform::WS_AF_INET;
  address.sin_port = f_.htons(static_cast<uint16_t>(port));
  const std::array<uint8_t, 4> bytes = ip.IPv4Bytes();
  std::copy(bytes.begin(), bytes.end(), address.sin_addr);
  return send(&address, sizeof address);
}

bool TIdStackWinsock::Readable(platform::SOCKET s, int timeout_ms) {
  refused_error_ = 0;
  platform::FD_SET read;
  read.fd_count = 1;
  read.fd_array[0] = s;
  platform::FD_SET write, error;
  platform::TIMEVAL timeout;
  timeout.tv_sec = timeout_ms / 1000;
  timeout.tv_usec = (timeout_ms % 1000) * 1000;
  // -2 passes no time-out: wait without limit.
  const int ready = f_.select(0, &read, &write, &error, timeout_ms == -2 ? nullptr : &timeout);
  return ready == 1;
}

int TIdStackWinsock::RecvFrom(platform::SOCKET s, TIdBytes& buffer, TIdIPAddress& ip, int& port) {
  return Receive(s, buffer, ip, port, nullptr);
}

int TIdStackWinsock::RecvFromStamped(platform::SOCKET s, TIdBytes& buffer, TIdIPAddress& ip,
                                     int& port, int64_t& stamp_ns) {
  stamp_ns = 0;
  return Receive(s, buffer, ip, port, f_.recvfromstamped ? &stamp_ns : nullptr);
}

int TIdStackWinsock::Receive(platform::SOCKET s, TIdBytes& buffer, TIdIPAddress& ip, int& port,
                             int64_t* stamp_ns) {
  refused_error_ = 0;
  // Room for either address; the family written tells which one came.
  union {
    platform::SOCKADDR_IN v4;
    platform::SOCKADDR_IN6 v6;
  } from{};
  int from_length = sizeof from;
  char* const bytes = reinterpret_cast<char*>(buffer.data());
  const int length = static_cast<int>(buffer.size());
  const int result = stamp_ns
                         ? f_.recvfromstamped(s, bytes, length, 0, &from.v4, &from_length, stamp_ns)
                         : f_.recvfrom(s, bytes, length, 0, &from.v4, &from_length);
  if (result > 0) {
    int16_t family = 0;
    std::memcpy(&family, &from, sizeof family);
    if (family == platform::WS_AF_INET6 &&
        from_length >= static_cast<int>(sizeof(platform::SOCKADDR_IN6))) {
      std::array<uint8_t, 16> bytes;
      std::copy(std::begin(from.v6.sin6_addr), std::end(from.v6.sin6_addr), bytes.begin());
      ip = TIdIPAddress::IPv6(bytes);
      port = f_.ntohs(from.v6.sin6_port);
    } else {
      ip = TIdIPAddress::IPv4(
          {from.v4.sin_addr[0], from.v4.sin_addr[1], from.v4.sin_addr[2], from.v4.sin_addr[3]});
      port = f_.ntohs(from.v4.sin_port);
    }
  }
  return result;
}

void TIdStackWinsock::Disconnect(platform::SOCKET s) {
  refused_error_ = 0;
  f_.shutdown(s, platform::WS_SD_SEND);
  f_.closesocket(s);
}

int TIdStackWinsock::LastError() {
  return refused_error_ != 0 ? refused_error_ : f_.WSAGetLastError();
}

}  // namespace ntp
