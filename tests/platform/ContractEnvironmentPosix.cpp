#include <arpa/inet.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/ContractEnvironment.h"
#include "platform/ErrorCodes.h"
#include "platform/posix/PosixRegistry.h"
#include "support/ThreadCapabilities.h"

namespace contract {

bool UnderWine() {
  return false;
}

uint32_t InvalidArgumentError() {
  return EINVAL;
}
uint32_t AccessDeniedError() {
  return EACCES;
}
uint32_t PrivilegeNotHeldError() {
  return EPERM;
}

bool WithoutSystemTimePrivilege(const std::function<void()>& body, std::string* why) {
  bool dropped = false;
  // Capabilities belong to a thread: this one gives CAP_SYS_TIME up for good and ends.
  std::thread worker([&] {
    dropped = testing_support::DropFromThread(CAP_SYS_TIME) &&
              !testing_support::ThreadHasEffective(CAP_SYS_TIME) &&
              !testing_support::ThreadHasPermitted(CAP_SYS_TIME);
    if (dropped) body();
  });
  worker.join();
  if (!dropped) *why = "the thread could not give CAP_SYS_TIME up";
  return dropped;
}

platform::RegistryApi& RegistryUnderTest() {
  static const std::string root = [] {
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   ("tempomere-contract-registry-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                      ("tempomere-contract-registry-" + std::to_string(getpid())),
                                  ignored);
    });
    return folder.string();
  }();
  static platform::PosixRegistry registry(root);
  return registry;
}

void RemoveRegistryValue(const char*, const char*) {}

LoopbackPeer::LoopbackPeer() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  socket_ = fd;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  port_ = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  if (socket_ >= 0) ::close(static_cast<int>(socket_));
}

bool LoopbackPeer::Receive(std::string* bytes, int* fromPort, int timeoutMs) {
  pollfd wait{static_cast<int>(socket_), POLLIN, 0};
  if (::poll(&wait, 1, timeoutMs) != 1) return false;
  char buffer[2048];
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t n = ::recvfrom(static_cast<int>(socket_), buffer, sizeof buffer, 0,
                               reinterpret_cast<sockaddr*>(&from), &length);
  if (n < 0) return false;
  bytes->assign(buffer, static_cast<size_t>(n));
  *fromPort = ntohs(from.sin_port);
  return true;
}

bool LoopbackPeer::SendTo(int port, const std::string& bytes) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(port));
  return ::sendto(static_cast<int>(socket_), bytes.data(), bytes.size(), 0,
                  reinterpret_cast<const sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(bytes.size());
}

}  // namespace contract
