// "wsock32.dll" itself, loaded by name, with its functions looked up by name. The program calls
// them through our own pointer types and structures, which hold only where those are laid out
// as Windows' own: the checks below make the build say so. WSADATA is the one structure whose
// 64-bit layout differs from ours, so WSAStartup goes through an adapter that copies it field
// by field.
#include "platform/Winsock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <ws2tcpip.h>  // sockaddr_in6, ADDRINFOA
#include "platform/win32/WindowsHeaders.h"

namespace platform {

namespace {

// Our pointer types carry no calling convention: that is right only where Windows has one
// convention, as on 64-bit Windows.
static_assert(sizeof(void*) == 8, "the socket library is called as on 64-bit Windows");

static_assert(sizeof(SOCKET) == sizeof(::SOCKET));
static_assert(sizeof(SOCKADDR_IN) == sizeof(::sockaddr_in) &&
              offsetof(SOCKADDR_IN, sin_port) == offsetof(::sockaddr_in, sin_port) &&
              offsetof(SOCKADDR_IN, sin_addr) == offsetof(::sockaddr_in, sin_addr) &&
              offsetof(SOCKADDR_IN, sin_zero) == offsetof(::sockaddr_in, sin_zero));
static_assert(WS_FD_SETSIZE == FD_SETSIZE && sizeof(FD_SET) == sizeof(::fd_set) &&
              offsetof(FD_SET, fd_array) == offsetof(::fd_set, fd_array));
static_assert(sizeof(TIMEVAL) == sizeof(::timeval) &&
              offsetof(TIMEVAL, tv_usec) == offsetof(::timeval, tv_usec));
static_assert(sizeof(HOSTENT) == sizeof(::hostent) &&
              offsetof(HOSTENT, h_addrtype) == offsetof(::hostent, h_addrtype) &&
              offsetof(HOSTENT, h_length) == offsetof(::hostent, h_length) &&
              offsetof(HOSTENT, h_addr_list) == offsetof(::hostent, h_addr_list));
static_assert(WS_AF_INET == AF_INET && WS_SOCK_DGRAM == SOCK_DGRAM && WS_SOL_SOCKET == SOL_SOCKET &&
              WS_SO_BROADCAST == SO_BROADCAST && WS_SD_SEND == SD_SEND);
// IPv6, where the library offers getaddrinfo and freeaddrinfo.
static_assert(WS_AF_INET6 == AF_INET6 && WS_AI_NUMERICHOST == AI_NUMERICHOST);
static_assert(sizeof(SOCKADDR_IN6) == sizeof(::sockaddr_in6) &&
              offsetof(SOCKADDR_IN6, sin6_port) == offsetof(::sockaddr_in6, sin6_port) &&
              offsetof(SOCKADDR_IN6, sin6_flowinfo) == offsetof(::sockaddr_in6, sin6_flowinfo) &&
              offsetof(SOCKADDR_IN6, sin6_addr) == offsetof(::sockaddr_in6, sin6_addr) &&
              offsetof(SOCKADDR_IN6, sin6_scope_id) == offsetof(::sockaddr_in6, sin6_scope_id));
static_assert(sizeof(ADDRINFOA) == sizeof(::ADDRINFOA) &&
              offsetof(ADDRINFOA, ai_family) == offsetof(::ADDRINFOA, ai_family) &&
              offsetof(ADDRINFOA, ai_addrlen) == offsetof(::ADDRINFOA, ai_addrlen) &&
              offsetof(ADDRINFOA, ai_canonname) == offsetof(::ADDRINFOA, ai_canonname) &&
              offsetof(ADDRINFOA, ai_addr) == offsetof(::ADDRINFOA, ai_addr) &&
              offsetof(ADDRINFOA, ai_next) == offsetof(::ADDRINFOA, ai_next));

using WindowsStartup = int(WSAAPI*)(::WORD version, ::WSADATA* data);

// The library's own WSAStartup, found when the program looked it up. The library is loaded
// once per process, so one slot serves every lookup.
std::atomic<WindowsStartup> windowsStartup{nullptr};

template <std::size_t N, std::size_t M>
void CopyText(char (&to)[N], const char (&from)[M]) {
  static_assert(N >= M);
  std::memcpy(to, from, M);
  to[M - 1] = '\0';
}

int WsaStartupAdapter(uint16_t version, WSADATA* data) {
  const WindowsStartup startup = windowsStartup.load();
  if (data == nullptr) return startup(version, nullptr);  // the library says what is wrong
  ::WSADATA windowsData{};
  const int result = startup(version, &windowsData);
  *data = WSADATA{};
  data->wVersion = windowsData.wVersion;
  data->wHighVersion = windowsData.wHighVersion;
  CopyText(data->szDescription, windowsData.szDescription);
  CopyText(data->szSystemStatus, windowsData.szSystemStatus);
  data->iMaxSockets = windowsData.iMaxSockets;
  data->iMaxUdpDg = windowsData.iMaxUdpDg;
  data->lpVendorInfo = windowsData.lpVendorInfo;
  return result;
}

void* AsPointer(::FARPROC function) {
  return reinterpret_cast<void*>(function);
}

class Win32Modules final : public ModuleApi {
 public:
  HMODULE LoadLibraryA(const char* name) override { return ::LoadLibraryA(name); }

  void* GetProcAddress(HMODULE module, const char* name) override {
    void* const found = AsPointer(::GetProcAddress(static_cast<::HMODULE>(module), name));
    // A name below 0x10000 is an ordinal number, not text.
    const bool byName = reinterpret_cast<std::uintptr_t>(name) > 0xFFFF;
    if (found == nullptr || !byName || std::strcmp(name, "WSAStartup") != 0) return found;
    windowsStartup.store(reinterpret_cast<WindowsStartup>(found));
    return reinterpret_cast<void*>(&WsaStartupAdapter);
  }

  bool FreeLibrary(HMODULE module) override {
    return ::FreeLibrary(static_cast<::HMODULE>(module)) != FALSE;
  }
};

}  // namespace

ModuleApi& ModuleApi::Real() {
  static Win32Modules modules;
  return modules;
}

}  // namespace platform
