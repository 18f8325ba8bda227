// "wsock32.dll" on Linux: each library function is an adapter over the BSD socket call of the
// same name, reporting failures with the library's error numbers.
#include "platform/Winsock.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "platform/LastError.h"

namespace platform {

namespace {

// No errno may be claimed by two numbers: which one it gives would depend on the table's order.
constexpr bool EachErrnoHasOneNumber() {
  for (const SocketErrorRow& a : kSocketErrorTexts)
    for (int e : a.posixErrors)
      for (const SocketErrorRow& b : kSocketErrorTexts)
        for (int f : b.posixErrors)
          if (e != 0 && e == f && &a != &b) return false;
  return true;
}
static_assert(EachErrnoHasOneNumber(), "an errno mapped to two socket error numbers");

int FailWith(int wsa_error) {
  SetLastError(static_cast<uint32_t>(wsa_error));
  return SOCKET_ERROR;
}

int FailFromErrno() {
  return FailWith(WsaErrorFromErrno(errno));
}

// The library's socket address (a SOCKADDR_IN, or a SOCKADDR_IN6 by its family and length) as
// the system's; false for anything else. The bytes are copied out, never read through a pointer
// of the other type.
bool ToHostAddress(const SOCKADDR_IN* address, int length, sockaddr_storage& out,
                   socklen_t& out_length) {
  if (!address || length < static_cast<int>(sizeof(SOCKADDR_IN))) return false;
  int16_t family = 0;
  std::memcpy(&family, address, sizeof family);
  out = sockaddr_storage{};
  if (family == WS_AF_INET) {
    auto& in = reinterpret_cast<sockaddr_in&>(out);
    in.sin_family = AF_INET;
    in.sin_port = address->sin_port;
    std::memcpy(&in.sin_addr.s_addr, address->sin_addr, 4);
    out_length = sizeof(sockaddr_in);
    return true;
  }
  if (family == WS_AF_INET6 && length >= static_cast<int>(sizeof(SOCKADDR_IN6))) {
    SOCKADDR_IN6 given;
    std::memcpy(static_cast<void*>(&given), address, sizeof given);
    auto& in6 = reinterpret_cast<sockaddr_in6&>(out);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = given.sin6_port;
    in6.sin6_flowinfo = given.sin6_flowinfo;
    std::memcpy(in6.sin6_addr.s6_addr, given.sin6_addr, 16);
    in6.sin6_scope_id = given.sin6_scope_id;
    out_length = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

int WsaStartup(uint16_t version, WSADATA* data) {
  if (!data) return WSAEINVAL;
  *data = WSADATA{};
  data->wVersion = version;
  data->wHighVersion = 0x0202;
  std::strncpy(data->szDescription, "BSD sockets", sizeof data->szDescription - 1);
  std::strncpy(data->szSystemStatus, "Running", sizeof data->szSystemStatus - 1);
  data->iMaxSockets = 0xFFFF;
  data->iMaxUdpDg = 0xFFFF;
  return 0;
}

int WsaCleanup() {
  return 0;
}
int WsaGetLastError() {
  return static_cast<int>(GetLastError());
}
int WsaCancelBlockingCall() {
  return 0;
}  // no call of this library ever blocks another thread

SOCKET Socket(int family, int type, int protocol) {
  if (family != WS_AF_INET && family != WS_AF_INET6) return FailWith(WSAEAFNOSUPPORT);
  if (type != WS_SOCK_DGRAM) return FailWith(WSAESOCKTNOSUPPORT);
  const int fd =
      ::socket(family == WS_AF_INET6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    FailFromErrno();
    return INVALID_SOCKET;
  }
  return fd;
}

int SetSockOpt(SOCKET s, int level, int option, const char* value, int length) {
  if (level != WS_SOL_SOCKET || option != WS_SO_BROADCAST) return FailWith(WSAENOPROTOOPT);
  if (!value || length < 4) return FailWith(WSAEFAULT);
  int32_t flag = 0;
  std::memcpy(&flag, value, 4);
  const int on = flag != 0 ? 1 : 0;
  if (::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
    return FailFromErrno();
  return 0;
}

// The entry returned lives in thread-local storage until the thread's next lookup, as the
// library's own does.
HOSTENT* GetHostByName(const char* name) {
  thread_local HOSTENT entry;
  thread_local std::string stored_name;
  thread_local std::vector<std::vector<char>> addresses;
  thread_local std::vector<char*> address_list;
  thread_local char* no_aliases[1] = {nullptr};

  if (!name) {
    FailWith(WSAEFAULT);
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int result = ::getaddrinfo(name, nullptr, &hints, &found);
  if (result != 0 || !found) {
    switch (result) {
      case EAI_AGAIN:
        FailWith(WSATRY_AGAIN);
        break;
      case EAI_FAIL:
        FailWith(WSANO_RECOVERY);
        break;
      case EAI_NODATA:
        FailWith(WSANO_DATA);
        break;
      default:
        FailWith(WSAHOST_NOT_FOUND);
        break;
    }
    return nullptr;
  }
  addresses.clear();
  for (addrinfo* a = found; a; a = a->ai_next) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    std::vector<char> bytes(4);
    std::memcpy(bytes.data(), &in->sin_addr.s_addr, 4);
    addresses.push_back(std::move(bytes));
  }
  ::freeaddrinfo(found);
  address_list.clear();
  for (auto& bytes : addresses) address_list.push_back(bytes.data());
  address_list.push_back(nullptr);
  stored_name = name;
  entry.h_name = stored_name.data();
  entry.h_aliases = no_aliases;
  entry.h_addrtype = WS_AF_INET;
  entry.h_length = 4;
  entry.h_addr_list = address_list.data();
  return &entry;
}

uint16_t Htons(uint16_t value) {
  return htons(value);
}
uint16_t Ntohs(uint16_t value) {
  return ntohs(value);
}

int SendTo(SOCKET s, const char* data, int length, int flags, const SOCKADDR_IN* to,
           int to_length) {
  sockaddr_storage address;
  socklen_t address_length = 0;
  if (!ToHostAddress(to, to_length, address, address_length)) return FailWith(WSAEFAULT);
  if (length < 0) return FailWith(WSAEINVAL);
  const ssize_t sent =
      ::sendto(static_cast<int>(s), data, static_cast<size_t>(length), flags | MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&address), address_length);
  if (sent < 0) return FailFromErrno();
  return static_cast<int>(sent);
}

// Kernel stamps: SO_TIMESTAMPNS stamps each datagram as it arrives; SO_TIMESTAMPING's software
// transmit stamp is taken as the datagram is handed to the device, and comes back on the socket's
// error queue. Only the stamp comes back, not the datagram (OPT_TSONLY).
constexpr int kTransmitStampFlags =
    SOF_TIMESTAMPING_TX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE | SOF_TIMESTAMPING_OPT_TSONLY;
// Room for the control messages of one datagram or one error-queue entry: a stamp (3 timespecs)
// and an extended error with its address, with headers.
constexpr std::size_t kControlSize = 256;  // bytes
// A socket's error queue holds at most what a few sends left behind; a bound all the same.
constexpr int kMostStampsDropped = 64;

int64_t Nanoseconds(const timespec& at) {
  return int64_t{at.tv_sec} * 1000000000 + at.tv_nsec;
}

// Reads one entry of the socket's error queue without waiting. False when it holds none; else
// `stamp_ns` is the transmit stamp the entry carries, 0 when it carries none.
bool ReadErrorQueue(int fd, int64_t& stamp_ns) {
  alignas(cmsghdr) char control[kControlSize];
  msghdr message{};
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return false;
  int64_t stamp = 0;
  bool sent = false;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPING) {
      scm_timestamping stamps;
      std::memcpy(&stamps, CMSG_DATA(c), sizeof stamps);
      stamp = Nanoseconds(stamps.ts[0]);  // ts[0]: software; ts[2] would be the device's
    } else if ((c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR) ||
               (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR)) {
      sock_extended_err error;
      std::memcpy(&error, CMSG_DATA(c), sizeof error);
      sent = error.ee_origin == SO_EE_ORIGIN_TIMESTAMPING && error.ee_info == SCM_TSTAMP_SND;
    }
  }
  stamp_ns = sent ? stamp : 0;
  return true;
}

// Drops the stamps waiting in the socket's error queue; gives how many.
int DropWaitingStamps(int fd) {
  int dropped = 0;
  int64_t ignored = 0;
  while (dropped < kMostStampsDropped && ReadErrorQueue(fd, ignored)) ++dropped;
  return dropped;
}

// Either stamp is worth having alone, so the call fails only when the system gives neither.
int EnableStamps(SOCKET s) {
  const int fd = static_cast<int>(s);
  const int on = 1;
  const bool receive = ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
  const int flags = kTransmitStampFlags;
  const bool transmit = ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPING, &flags, sizeof flags) == 0;
  if (!receive && !transmit) return FailFromErrno();
  return 0;
}

int SendToStamped(SOCKET s, const char* data, int length, int flags, const SOCKADDR_IN* to,
                  int to_length, int stamp_wait_ms, int64_t* stamp_ns) {
  if (stamp_ns) *stamp_ns = 0;
  const int fd = static_cast<int>(s);
  DropWaitingStamps(fd);  // whatever waits there belongs to an earlier datagram
  const int sent = SendTo(s, data, length, flags, to, to_length);
  if (sent == SOCKET_ERROR || !stamp_ns) return sent;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(std::max(0, stamp_wait_ms));
  while (true) {
    int64_t stamp = 0;
    while (ReadErrorQueue(fd, stamp))
      if (stamp != 0) return *stamp_ns = stamp, sent;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return sent;
    pollfd p{fd, 0, 0};  // an error-queue entry shows as POLLERR, asked for or not
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return sent;
  }
}

// Waits for readability only: the time query never asks for the write or error sets. Like the
// library's select, the read set is reduced to the sockets that are ready.
int Select(int /*nfds*/, FD_SET* read, FD_SET* write, FD_SET* error, const TIMEVAL* timeout) {
  std::vector<pollfd> polled;
  if (read)
    for (uint32_t i = 0; i < read->fd_count && i < WS_FD_SETSIZE; ++i)
      polled.push_back(pollfd{static_cast<int>(read->fd_array[i]), POLLIN, 0});
  if (write) write->fd_count = 0;
  if (error) error->fd_count = 0;
  if (polled.empty() && !timeout) return FailWith(WSAEINVAL);
  int wait_ms = -1;
  if (timeout) {
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return FailWith(WSAEINVAL);
    // Round the microseconds up, so a wait never ends before the time asked for.
    // In 64 bits: a wait of more than 24.8 days does not fit poll's milliseconds, and must not
    // wrap into a short one; it is cut to the longest poll can wait.
    const int64_t ms = int64_t{timeout->tv_sec} * 1000 + (int64_t{timeout->tv_usec} + 999) / 1000;
    wait_ms = static_cast<int>(std::min<int64_t>(ms, std::numeric_limits<int>::max()));
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  while (true) {
    const int ready = ::poll(polled.data(), polled.size(), wait_ms);
    if (ready < 0) return FailFromErrno();
    // A transmit stamp that came after its send stopped waiting for it marks the socket with an
    // error, yet a receive would find nothing and block: it is dropped and the wait goes on.
    bool only_late_stamps = ready > 0;
    for (pollfd& p : polled) {
      if (p.revents == POLLERR && DropWaitingStamps(p.fd) > 0)
        p.revents = 0;
      else if (p.revents != 0)
        only_late_stamps = false;
    }
    if (!only_late_stamps) break;
    if (wait_ms > 0)
      wait_ms = static_cast<int>(std::max<int64_t>(
          0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    if (wait_ms == 0) break;
  }
  if (read) {
    read->fd_count = 0;
    for (const pollfd& p : polled) {
      if (p.revents & POLLNVAL) return FailWith(WSAENOTSOCK);
      if (p.revents & (POLLIN | POLLERR | POLLHUP)) read->fd_array[read->fd_count++] = p.fd;
    }
    return static_cast<int>(read->fd_count);
  }
  return 0;
}

// Linux quietly cuts a datagram larger than the buffer; the library fails with 10040 instead.
// MSG_TRUNC makes the kernel report the datagram's real length, which tells the two apart.
// With `stamp_ns`, also the stamp SO_TIMESTAMPNS put on the datagram (0 when it has none).
int Receive(SOCKET s, char* buffer, int length, int flags, SOCKADDR_IN* from, int* from_length,
            int64_t* stamp_ns) {
  if (stamp_ns) *stamp_ns = 0;
  if (length < 0 || (!buffer && length > 0)) return FailWith(WSAEFAULT);
  sockaddr_storage address{};
  iovec data{buffer, static_cast<size_t>(length)};
  alignas(cmsghdr) char control[kControlSize];
  msghdr message{};
  message.msg_name = &address;
  message.msg_namelen = sizeof address;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  if (stamp_ns) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
  }
  const ssize_t received = ::recvmsg(static_cast<int>(s), &message, flags | MSG_TRUNC);
  if (received < 0) return FailFromErrno();
  if (stamp_ns)
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
        timespec at;
        std::memcpy(&at, CMSG_DATA(c), sizeof at);
        *stamp_ns = Nanoseconds(at);
      }
  if (address.ss_family == AF_INET6) {
    if (from && from_length && *from_length >= static_cast<int>(sizeof(SOCKADDR_IN6))) {
      const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
      SOCKADDR_IN6 sender;
      sender.sin6_family = WS_AF_INET6;
      sender.sin6_port = in6.sin6_port;
      sender.sin6_flowinfo = in6.sin6_flowinfo;
      std::memcpy(sender.sin6_addr, in6.sin6_addr.s6_addr, 16);
      sender.sin6_scope_id = in6.sin6_scope_id;
      std::memcpy(static_cast<void*>(from), &sender, sizeof sender);
      *from_length = sizeof(SOCKADDR_IN6);
    }
  } else if (from && from_length && *from_length >= static_cast<int>(sizeof(SOCKADDR_IN))) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(address);
    *from = SOCKADDR_IN{};
    from->sin_family = WS_AF_INET;
    from->sin_port = in.sin_port;
    std::memcpy(from->sin_addr, &in.sin_addr.s_addr, 4);
    *from_length = sizeof(SOCKADDR_IN);
  }
  if (received > length) return FailWith(WSAEMSGSIZE);
  return static_cast<int>(received);
}

int RecvFrom(SOCKET s, char* buffer, int length, int flags, SOCKADDR_IN* from, int* from_length) {
  return Receive(s, buffer, length, flags, from, from_length, nullptr);
}

int RecvFromStamped(SOCKET s, char* buffer, int length, int flags, SOCKADDR_IN* from,
                    int* from_length, int64_t* stamp_ns) {
  int64_t ignored = 0;
  return Receive(s, buffer, length, flags, from, from_length, stamp_ns ? stamp_ns : &ignored);
}

int Shutdown(SOCKET s, int how) {
  if (::shutdown(static_cast<int>(s), how == WS_SD_SEND ? SHUT_WR : how) != 0)
    return FailFromErrno();
  return 0;
}

int CloseSocket(SOCKET s) {
  if (::close(static_cast<int>(s)) != 0) return FailFromErrno();
  return 0;
}

// The library's number for a getaddrinfo failure.
int WsaErrorFromLookup(int result) {
  switch (result) {
    case EAI_AGAIN:
      return WSATRY_AGAIN;
    case EAI_FAIL:
      return WSANO_RECOVERY;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return WSANO_DATA;
    case EAI_FAMILY:
      return WSAEAFNOSUPPORT;
    case EAI_MEMORY:
      return WSAENOBUFS;
    case EAI_SYSTEM:
      return WsaErrorFromErrno(errno);
    default:
      return WSAHOST_NOT_FOUND;
  }
}

void FreeAddrInfo(ADDRINFOA* list) {
  while (list) {
    ADDRINFOA* next = list->ai_next;
    if (list->ai_family == WS_AF_INET6)
      delete static_cast<SOCKADDR_IN6*>(list->ai_addr);
    else
      delete static_cast<SOCKADDR_IN*>(list->ai_addr);
    delete list;
    list = next;
  }
}

// The system's lookup, its results in the library's shapes (IPv4 and IPv6 entries only).
int GetAddrInfo(const char* node, const char* service, const ADDRINFOA* hints, ADDRINFOA** result) {
  if (!result) return FailWith(WSAEFAULT), WSAEFAULT;
  *result = nullptr;
  addrinfo system_hints{};
  system_hints.ai_socktype = SOCK_DGRAM;
  if (hints) {
    if (hints->ai_family == WS_AF_INET)
      system_hints.ai_family = AF_INET;
    else if (hints->ai_family == WS_AF_INET6)
      system_hints.ai_family = AF_INET6;
    else if (hints->ai_family != 0)
      return FailWith(WSAEAFNOSUPPORT), WSAEAFNOSUPPORT;
    if (hints->ai_flags & WS_AI_NUMERICHOST) system_hints.ai_flags |= AI_NUMERICHOST;
  }
  addrinfo* found = nullptr;
  const int looked = ::getaddrinfo(node, service, &system_hints, &found);
  if (looked != 0 || !found) {
    const int error = looked != 0 ? WsaErrorFromLookup(looked) : WSANO_DATA;
    FailWith(error);
    return error;
  }
  ADDRINFOA* first = nullptr;
  ADDRINFOA** tail = &first;
  for (addrinfo* a = found; a; a = a->ai_next) {
    auto* entry = new ADDRINFOA;
    entry->ai_socktype = WS_SOCK_DGRAM;
    if (a->ai_family == AF_INET6) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->ai_addr);
      auto* address = new SOCKADDR_IN6;
      address->sin6_family = WS_AF_INET6;
      address->sin6_port = in6->sin6_port;
      std::memcpy(address->sin6_addr, in6->sin6_addr.s6_addr, 16);
      address->sin6_scope_id = in6->sin6_scope_id;
      entry->ai_family = WS_AF_INET6;
      entry->ai_addr = address;
      entry->ai_addrlen = sizeof(SOCKADDR_IN6);
    } else if (a->ai_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      auto* address = new SOCKADDR_IN;
      address->sin_family = WS_AF_INET;
      address->sin_port = in->sin_port;
      std::memcpy(address->sin_addr, &in->sin_addr.s_addr, 4);
      entry->ai_family = WS_AF_INET;
      entry->ai_addr = address;
      entry->ai_addrlen = sizeof(SOCKADDR_IN);
    } else {
      delete entry;
      continue;
    }
    *tail = entry;
    tail = &entry->ai_next;
  }
  ::freeaddrinfo(found);
  if (!first) return FailWith(WSANO_DATA), WSANO_DATA;
  *result = first;
  return 0;
}

// The functions of the library, by their names.
const std::map<std::string, void*>& Exports() {
  static const std::map<std::string, void*> exports = {
      {"WSAStartup", reinterpret_cast<void*>(&WsaStartup)},
      {"WSACleanup", reinterpret_cast<void*>(&WsaCleanup)},
      {"WSAGetLastError", reinterpret_cast<void*>(&WsaGetLastError)},
      {"WSACancelBlockingCall", reinterpret_cast<void*>(&WsaCancelBlockingCall)},
      {"socket", reinterpret_cast<void*>(&Socket)},
      {"setsockopt", reinterpret_cast<void*>(&SetSockOpt)},
      {"gethostbyname", reinterpret_cast<void*>(&GetHostByName)},
      {"htons", reinterpret_cast<void*>(&Htons)},
      {"ntohs", reinterpret_cast<void*>(&Ntohs)},
      {"sendto", reinterpret_cast<void*>(&SendTo)},
      {"select", reinterpret_cast<void*>(&Select)},
      {"recvfrom", reinterpret_cast<void*>(&RecvFrom)},
      {"shutdown", reinterpret_cast<void*>(&Shutdown)},
      {"closesocket", reinterpret_cast<void*>(&CloseSocket)},
      {"getaddrinfo", reinterpret_cast<void*>(&GetAddrInfo)},
      {"freeaddrinfo", reinterpret_cast<void*>(&FreeAddrInfo)},
      {"enablestamps", reinterpret_cast<void*>(&EnableStamps)},
      {"sendtostamped", reinterpret_cast<void*>(&SendToStamped)},
      {"recvfromstamped", reinterpret_cast<void*>(&RecvFromStamped)},
  };
  return exports;
}

constexpr uint32_t kErrorModNotFound = 126;  // the platform's "module not found"

class PosixModules final : public ModuleApi {
 public:
  HMODULE LoadLibraryA(const char* name) override {
    if (name && strcasecmp(name, "wsock32.dll") == 0)
      return const_cast<std::map<std::string, void*>*>(&Exports());
    SetLastError(kErrorModNotFound);
    return nullptr;
  }
  void* GetProcAddress(HMODULE module, const char* name) override {
    if (module != &Exports() || !name) return nullptr;
    const auto found = Exports().find(name);
    return found == Exports().end() ? nullptr : found->second;
  }
  bool FreeLibrary(HMODULE module) override { return module == &Exports(); }
};

}  // namespace

int WsaErrorFromErrno(int error) {
  if (error == 0) return WSXEUNEXPECTED;
  for (const SocketErrorRow& row : kSocketErrorTexts)
    for (int e : row.posixErrors)
      if (e == error) return row.code;
  return WSXEUNEXPECTED;
}

ModuleApi& ModuleApi::Real() {
  static PosixModules modules;
  return modules;
}

}  // namespace platform
