#pragma once
// The socket library as the time query uses it: a library loaded by name whose functions are
// looked up by name (Windows Sockets 1.1 shapes and error numbers). The Linux stand-in of
// "wsock32.dll" is a table of adapters over BSD sockets.
#include <cstdint>

#include "platform/Seam.h"

namespace platform {

using SOCKET = intptr_t;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Constants of the library, not of the host: they keep their Windows values.
constexpr int WS_AF_INET = 2;
constexpr int WS_SOCK_DGRAM = 2;
constexpr int WS_SOL_SOCKET = 0xFFFF;
constexpr int WS_SO_BROADCAST = 0x20;
constexpr int WS_SD_SEND = 1;
constexpr int WS_FD_SETSIZE = 64;

// Error numbers the adapters report through WSAGetLastError.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

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
