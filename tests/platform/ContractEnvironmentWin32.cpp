#include "platform/ContractEnvironment.h"

#include "platform/win32/WindowsHeaders.h"

namespace contract {

bool UnderWine() {
  const ::HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

uint32_t InvalidArgumentError() {
  return ERROR_INVALID_PARAMETER;
}
uint32_t AccessDeniedError() {
  return ERROR_ACCESS_DENIED;
}
uint32_t PrivilegeNotHeldError() {
  return ERROR_PRIVILEGE_NOT_HELD;
}

namespace {

// Sets the system-time privilege's state in the process's token; the state it had before
// goes to `wasEnabled`.
bool SetPrivilege(bool enable, bool* wasEnabled) {
  ::HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return false;
  ::TOKEN_PRIVILEGES state{};
  state.PrivilegeCount = 1;
  state.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  ::TOKEN_PRIVILEGES previous{};
  ::DWORD length = 0;
  bool done =
      ::LookupPrivilegeValueA(nullptr, "SeSystemtimePrivilege", &state.Privileges[0].Luid) &&
      ::AdjustTokenPrivileges(token, FALSE, &state, sizeof previous, &previous, &length);
  // Not held at all: it cannot be enabled, which is what "without" asks for.
  done = done && (::GetLastError() == ERROR_SUCCESS ||
                  (!enable && ::GetLastError() == ERROR_NOT_ALL_ASSIGNED));
  if (done && wasEnabled != nullptr)
    *wasEnabled = previous.PrivilegeCount == 1
                      ? (previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) != 0
                      : enable;
  ::CloseHandle(token);
  return done;
}

}  // namespace

bool WithoutSystemTimePrivilege(const std::function<void()>& body, std::string* why) {
  bool wasEnabled = false;
  if (!SetPrivilege(false, &wasEnabled)) {
    *why = "the system-time privilege could not be disabled";
    return false;
  }
  body();
  if (wasEnabled) SetPrivilege(true, nullptr);
  return true;
}

platform::RegistryApi& RegistryUnderTest() {
  return platform::RegistryApi::Real();
}

void RemoveRegistryValue(const char* keyPath, const char* valueName) {
  ::HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  ::RegDeleteValueA(key, valueName);
  ::RegCloseKey(key);
}

namespace {

// The peer's own use of the system's socket library, started once for the program.
bool StartSockets() {
  static const bool started = [] {
    ::WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

}  // namespace

LoopbackPeer::LoopbackPeer() {
  if (!StartSockets()) return;
  const ::SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return;
  socket_ = static_cast<std::intptr_t>(s);
  ::sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<::sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<::sockaddr*>(&address), &length) != 0)
    return;
  port_ = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  if (socket_ != -1) ::closesocket(static_cast<::SOCKET>(socket_));
}

bool LoopbackPeer::Receive(std::string* bytes, int* fromPort, int timeoutMs) {
  const ::SOCKET s = static_cast<::SOCKET>(socket_);
  ::fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  ::timeval timeout{timeoutMs / 1000, timeoutMs % 1000 * 1000};
  if (::select(0, &readable, nullptr, nullptr, &timeout) != 1) return false;
  char buffer[2048];
  ::sockaddr_in from{};
  int length = sizeof from;
  const int n =
      ::recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<::sockaddr*>(&from), &length);
  if (n < 0) return false;
  bytes->assign(buffer, static_cast<size_t>(n));
  *fromPort = ntohs(from.sin_port);
  return true;
}

bool LoopbackPeer::SendTo(int port, const std::string& bytes) {
  ::sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<u_short>(port));
  return ::sendto(static_cast<::SOCKET>(socket_), bytes.data(), static_cast<int>(bytes.size()), 0,
                  reinterpret_cast<const ::sockaddr*>(&to),
                  sizeof to) == static_cast<int>(bytes.size());
}

}  // namespace contract
