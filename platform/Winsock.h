#pragma once
// The socket library as the time query uses it: a library loaded by name whose functions are
// looked up by name (Windows Sockets 1.1 shapes and error numbers). The Linux stand-in of
// "wsock32.dll" is a table of adapters over BSD sockets.
//
// IPv6 needs two calls of the later libraries, getaddrinfo and freeaddrinfo, in their Windows
// shapes. They are looked up like the others but are not required: a library without them has
// no IPv6, and IPv4 never uses them.
#include <cstddef>
#include <cstdint>
#if !defined(_WIN32)
#include <cerrno>
#endif

#include "platform/Seam.h"

namespace platform {

using SOCKET = intptr_t;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Constants of the library, not of the host: they keep their Windows values.
constexpr int WS_AF_INET = 2;
constexpr int WS_AF_INET6 = 23;
constexpr int WS_AI_NUMERICHOST = 0x04;  // getaddrinfo: the name must be a numeric address
constexpr int WS_SOCK_DGRAM = 2;
constexpr int WS_SOL_SOCKET = 0xFFFF;
constexpr int WS_SO_BROADCAST = 0x20;
constexpr int WS_SD_SEND = 1;
constexpr int WS_FD_SETSIZE = 64;

// Error numbers the library reports through WSAGetLastError.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// Failures of the Linux socket calls that the library has no number for. They get numbers of
// their own, above every number the library uses, so that a message never names a wrong cause.
constexpr int WSXEIO = 12001;          // the system reported an input/output error
constexpr int WSXENOSPC = 12002;       // no space left on the device
constexpr int WSXEDQUOT = 12003;       // disk quota exceeded
constexpr int WSXENODEV = 12004;       // the network device is gone
constexpr int WSXEUNEXPECTED = 12099;  // a failure the stand-in does not know

// The one table of the library's error numbers: each number's text and the C library errno
// values that the Linux stand-in reports as that number (EAGAIN is EWOULDBLOCK and EOPNOTSUPP is
// ENOTSUP on Linux). Numbers without a row have no text. On Windows the errno column is left
// out: the library there reports its own numbers.
#if defined(_WIN32)
#define TEMPOMERE_POSIX_ERRORS(...) \
  {}
#else
#define TEMPOMERE_POSIX_ERRORS(...) \
  { __VA_ARGS__ }
#endif
struct SocketErrorRow {
  int code;
  const char* text;
  int posixErrors[2];  // zero where unused
};
inline constexpr SocketErrorRow kSocketErrorTexts[] = {
    {WSAEINTR, "Interrupted system call.", TEMPOMERE_POSIX_ERRORS(EINTR)},
    {WSAEBADF, "Bad file number.", TEMPOMERE_POSIX_ERRORS(EBADF)},
    {WSAEACCES, "Access denied.", TEMPOMERE_POSIX_ERRORS(EACCES, EPERM)},
    {WSAEFAULT, "Bad address.", TEMPOMERE_POSIX_ERRORS(EFAULT)},
    {WSAEINVAL, "Invalid argument.", TEMPOMERE_POSIX_ERRORS(EINVAL)},
    {WSAEMFILE, "Too many open files.", TEMPOMERE_POSIX_ERRORS(EMFILE, ENFILE)},
    {WSAEWOULDBLOCK, "Operation would block. ", TEMPOMERE_POSIX_ERRORS(EAGAIN)},
    {WSAEINPROGRESS, "Operation now in progress.", TEMPOMERE_POSIX_ERRORS(EINPROGRESS)},
    {WSAEALREADY, "Operation already in progress.", TEMPOMERE_POSIX_ERRORS(EALREADY)},
    {WSAENOTSOCK, "Socket operation on non-socket.", TEMPOMERE_POSIX_ERRORS(ENOTSOCK)},
    {WSAEDESTADDRREQ, "Destination address required.", TEMPOMERE_POSIX_ERRORS(EDESTADDRREQ)},
    {WSAEMSGSIZE, "Message too long.", TEMPOMERE_POSIX_ERRORS(EMSGSIZE)},
    {WSAEPROTOTYPE, "Protocol wrong type for socket.", TEMPOMERE_POSIX_ERRORS(EPROTOTYPE)},
    {WSAENOPROTOOPT, "Bad protocol option.", TEMPOMERE_POSIX_ERRORS(ENOPROTOOPT)},
    {WSAEPROTONOSUPPORT, "Protocol not supported.", TEMPOMERE_POSIX_ERRORS(EPROTONOSUPPORT)},
    {WSAESOCKTNOSUPPORT, "Socket type not supported.", TEMPOMERE_POSIX_ERRORS(ESOCKTNOSUPPORT)},
    {WSAEOPNOTSUPP, "Operation not supported on socket.", TEMPOMERE_POSIX_ERRORS(EOPNOTSUPP)},
    {WSAEPFNOSUPPORT, "Protocol family not supported.", TEMPOMERE_POSIX_ERRORS(EPFNOSUPPORT)},
    {WSAEAFNOSUPPORT, "Address family not supported by protocol family.",
     TEMPOMERE_POSIX_ERRORS(EAFNOSUPPORT)},
    {WSAEADDRINUSE, "Address already in use.", TEMPOMERE_POSIX_ERRORS(EADDRINUSE)},
    {WSAEADDRNOTAVAIL, "Cannot assign requested address.", TEMPOMERE_POSIX_ERRORS(EADDRNOTAVAIL)},
    {WSAENETDOWN, "Network is down.", TEMPOMERE_POSIX_ERRORS(ENETDOWN)},
    {WSAENETUNREACH, "Network is unreachable.", TEMPOMERE_POSIX_ERRORS(ENETUNREACH)},
    {WSAENETRESET, "Net dropped connection or reset.", TEMPOMERE_POSIX_ERRORS(ENETRESET)},
    {WSAECONNABORTED, "Software caused connection abort.", TEMPOMERE_POSIX_ERRORS(ECONNABORTED)},
    {WSAECONNRESET, "Connection reset by peer.", TEMPOMERE_POSIX_ERRORS(ECONNRESET)},
    {WSAENOBUFS, "No buffer space available.", TEMPOMERE_POSIX_ERRORS(ENOBUFS, ENOMEM)},
    {WSAEISCONN, "Socket is already connected.", TEMPOMERE_POSIX_ERRORS(EISCONN)},
    {WSAENOTCONN, "Socket is not connected.", TEMPOMERE_POSIX_ERRORS(ENOTCONN)},
    {WSAESHUTDOWN, "Cannot send or receive after socket is closed.",
     TEMPOMERE_POSIX_ERRORS(ESHUTDOWN, EPIPE)},
    {WSAETOOMANYREFS, "Too many references, cannot splice.", TEMPOMERE_POSIX_ERRORS(ETOOMANYREFS)},
    {WSAETIMEDOUT, "Connection timed out.", TEMPOMERE_POSIX_ERRORS(ETIMEDOUT)},
    {WSAECONNREFUSED, "Connection refused.", TEMPOMERE_POSIX_ERRORS(ECONNREFUSED)},
    {WSAELOOP, "Too many levels of symbolic links.", TEMPOMERE_POSIX_ERRORS(ELOOP)},
    {WSAENAMETOOLONG, "File name too long.", TEMPOMERE_POSIX_ERRORS(ENAMETOOLONG)},
    {WSAEHOSTDOWN, "Host is down.", TEMPOMERE_POSIX_ERRORS(EHOSTDOWN)},
    {WSAEHOSTUNREACH, "No route to host.", TEMPOMERE_POSIX_ERRORS(EHOSTUNREACH)},
    {WSAENOTEMPTY, "Directory not empty", TEMPOMERE_POSIX_ERRORS(ENOTEMPTY)},
    {WSXEIO, "Input/output error.", TEMPOMERE_POSIX_ERRORS(EIO)},
    {WSXENOSPC, "No space left on device.", TEMPOMERE_POSIX_ERRORS(ENOSPC)},
    {WSXEDQUOT, "Disk quota exceeded.", TEMPOMERE_POSIX_ERRORS(EDQUOT)},
    {WSXENODEV, "No such network device.", TEMPOMERE_POSIX_ERRORS(ENODEV)},
    {WSXEUNEXPECTED, "Unexpected system error.", TEMPOMERE_POSIX_ERRORS()},
};
#undef TEMPOMERE_POSIX_ERRORS

// The text of an error number from the table above; null when it has none.
constexpr const char* SocketErrorTextOf(int code) {
  for (const SocketErrorRow& row : kSocketErrorTexts)
    if (row.code == code) return row.text;
  return nullptr;
}

// The Linux stand-in's error number for a C library errno value, from the table above;
// WSXEUNEXPECTED for an errno the table does not name. Every number it gives has a text.
int WsaErrorFromErrno(int error);

struct WSADATA {
  uint16_t wVersion = 0;
  uint16_t wHighVersion = 0;
  char szDescription[257] = {};
  char szSystemStatus[129] = {};
  uint16_t iMaxSockets = 0;
  uint16_t iMaxUdpDg = 0;
  char* lpVendorInfo = nullptr;
};

// The 16-byte IPv4 socket address: family in host order, port in network order, the four
// address bytes in network order, eight zero bytes.
struct SOCKADDR_IN {
  int16_t sin_family = 0;
  uint16_t sin_port = 0;
  uint8_t sin_addr[4] = {};
  char sin_zero[8] = {};
};
static_assert(sizeof(SOCKADDR_IN) == 16);

// The 28-byte IPv6 socket address: family in host order, port in network order, flow label, the
// sixteen address bytes in network order, scope. sendto and recvfrom take it where their
// SOCKADDR_IN pointer stands when the length passed with it is this size and its family is
// WS_AF_INET6: the library's calls take any socket address by its family and length.
struct SOCKADDR_IN6 {
  int16_t sin6_family = 0;
  uint16_t sin6_port = 0;
  uint32_t sin6_flowinfo = 0;
  uint8_t sin6_addr[16] = {};
  uint32_t sin6_scope_id = 0;
};
static_assert(sizeof(SOCKADDR_IN6) == 28);

// One result of getaddrinfo, in a list freed with freeaddrinfo. ai_addr points at a SOCKADDR_IN
// or a SOCKADDR_IN6, as ai_family says.
struct ADDRINFOA {
  int ai_flags = 0;
  int ai_family = 0;
  int ai_socktype = 0;
  int ai_protocol = 0;
  size_t ai_addrlen = 0;
  char* ai_canonname = nullptr;
  void* ai_addr = nullptr;
  ADDRINFOA* ai_next = nullptr;
};

struct FD_SET {
  uint32_t fd_count = 0;
  SOCKET fd_array[WS_FD_SETSIZE] = {};
};

struct TIMEVAL {
  int32_t tv_sec = 0;
  int32_t tv_usec = 0;
};

struct HOSTENT {
  char* h_name = nullptr;
  char** h_aliases = nullptr;
  int16_t h_addrtype = 0;
  int16_t h_length = 0;
  char** h_addr_list = nullptr;  // null-terminated list of h_length-byte addresses
};

// The signatures looked up by name.
using TWSAStartup = int (*)(uint16_t version, WSADATA* data);
using TWSACleanup = int (*)();
using TWSAGetLastError = int (*)();
using TWSACancelBlockingCall = int (*)();
using Tsocket = SOCKET (*)(int family, int type, int protocol);
using Tsetsockopt = int (*)(SOCKET s, int level, int option, const char* value, int length);
using Tgethostbyname = HOSTENT* (*)(const char* name);
using Thtons = uint16_t (*)(uint16_t value);
using Tntohs = uint16_t (*)(uint16_t value);
using Tsendto = int (*)(SOCKET s, const char* data, int length, int flags, const SOCKADDR_IN* to,
                        int to_length);
using Tselect = int (*)(int nfds, FD_SET* read, FD_SET* write, FD_SET* error,
                        const TIMEVAL* timeout);
using Trecvfrom = int (*)(SOCKET s, char* buffer, int length, int flags, SOCKADDR_IN* from,
                          int* from_length);
using Tshutdown = int (*)(SOCKET s, int how);
using Tclosesocket = int (*)(SOCKET s);
// Gives 0 and the list, or the library's error number (also the last error) and no list.
using Tgetaddrinfo = int (*)(const char* node, const char* service, const ADDRINFOA* hints,
                             ADDRINFOA** result);
using Tfreeaddrinfo = void (*)(ADDRINFOA* list);

// The system's own stamps of a socket's datagrams, in nanoseconds since 1970-01-01 00:00 UTC by
// its real-time clock, taken where a datagram leaves and enters the host rather than where the
// program next gets to read a clock. Three calls that only the Linux stand-in has: they are
// looked up like the others and are not required; without them (Windows' own library) the time
// query reads its clock itself. A stamp of 0 means the system gave none.
//
// Asks the system to stamp what the socket sends and receives: 0, or SOCKET_ERROR.
using Tenablestamps = int (*)(SOCKET s);
// sendto, then the stamp of the datagram's leaving, waited for at most `stamp_wait_ms`.
using Tsendtostamped = int (*)(SOCKET s, const char* data, int length, int flags,
                               const SOCKADDR_IN* to, int to_length, int stamp_wait_ms,
                               int64_t* stamp_ns);
// recvfrom, with the stamp of the datagram's arrival.
using Trecvfromstamped = int (*)(SOCKET s, char* buffer, int length, int flags, SOCKADDR_IN* from,
                                 int* from_length, int64_t* stamp_ns);

using HMODULE = void*;

// Loading a library by name and looking its functions up by name.
class ModuleApi {
 public:
  virtual ~ModuleApi() = default;
  // Null (with the last error set) when there is no such library.
  virtual HMODULE LoadLibraryA(const char* name) = 0;
  // Null when the library has no function of that name.
  virtual void* GetProcAddress(HMODULE module, const char* name) = 0;
  virtual bool FreeLibrary(HMODULE module) = 0;

  static ModuleApi& Real();
};

inline HMODULE LoadLibraryA(const char* name) {
  return Current<ModuleApi>().LoadLibraryA(name);
}
inline void* GetProcAddress(HMODULE module, const char* name) {
  return Current<ModuleApi>().GetProcAddress(module, name);
}
inline bool FreeLibrary(HMODULE module) {
  return Current<ModuleApi>().FreeLibrary(module);
}

}  // namespace platform
