#pragma once
// What the platform's contract suite needs of the system it runs on, beyond the platform
// interfaces it tests: a UDP peer made with the system's own sockets, a way to go without the
// system-time privilege, the registry to test, and the numbers each system gives for the same
// refusal. One implementation per system.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Registry.h"

namespace contract {

// True when the program runs under Wine rather than on Windows or Linux itself.
bool UnderWine();

// The last error each system gives for a refused argument and for a refused access.
uint32_t InvalidArgumentError();
uint32_t AccessDeniedError();
// ... and for a clock change without the system-time privilege.
uint32_t PrivilegeNotHeldError();

// Runs `body` where the system-time privilege is neither enabled nor can be: in a thread without
// the capability (Linux), or with the privilege disabled in the process's token (Windows).
// False, with `why` set, when that cannot be arranged.
bool WithoutSystemTimePrivilege(const std::function<void()>& body, std::string* why);

// The registry the suite writes to: on Linux the stand-in over a scratch folder, so the
// machine's time service keeps its configuration; on Windows the real one.
platform::RegistryApi& RegistryUnderTest();
// Removes a value the suite added (the stand-in keeps nothing to remove).
void RemoveRegistryValue(const char* keyPath, const char* valueName);

// A UDP socket of the system itself on 127.0.0.1, the other end of the socket library's
// datagrams.
class LoopbackPeer {
 public:
  LoopbackPeer();
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  bool Ok() const { return port_ > 0; }
  int Port() const { return port_; }
  // One datagram, waiting at most `timeoutMs`; false when none came.
  bool Receive(std::string* bytes, int* fromPort, int timeoutMs);
  bool SendTo(int port, const std::string& bytes);

 private:
  std::intptr_t socket_ = -1;
  int port_ = 0;
};

}  // namespace contract
