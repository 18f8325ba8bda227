#include "support/FakeSntpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace testing_support {

namespace {

constexpr uint64_t kUnixToNtpSeconds = 2208988800ULL;  // 1900-01-01 to 1970-01-01

void PutBigEndian(QByteArray& bytes, int offset, uint32_t word) {
  bytes[offset] = static_cast<char>(word >> 24);
  bytes[offset + 1] = static_cast<char>(word >> 16);
  bytes[offset + 2] = static_cast<char>(word >> 8);
  bytes[offset + 3] = static_cast<char>(word);
}

uint32_t GetBigEndian(const QByteArray& bytes, int offset) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.constData() + offset);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

// Adds seconds to an NTP stamp held as one 64-bit 32.32 number.
uint64_t AddSeconds(uint64_t stamp, double seconds) {
  return stamp + static_cast<uint64_t>(std::llround(seconds * 4294967296.0));
}

}  // namespace

void NtpNow(double offset_seconds, uint32_t& seconds, uint32_t& fraction) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const uint64_t stamp =
      ((static_cast<uint64_t>(now.tv_sec) + kUnixToNtpSeconds) << 32) +
      static_cast<uint64_t>(static_cast<double>(now.tv_nsec) * 4294967296.0 / 1e9);
  const uint64_t shifted = AddSeconds(stamp, offset_seconds);
  seconds = static_cast<uint32_t>(shifted >> 32);
  fraction = static_cast<uint32_t>(shifted);
}

QByteArray MakeReply(const QByteArray& request, const ReplySpec& plan) {
  QByteArray reply(48, '\0');
  reply[0] = static_cast<char>(plan.byte0);
  reply[1] = static_cast<char>(plan.stratum);
  reply[2] = static_cast<char>(plan.poll);
  reply[3] = static_cast<char>(plan.precision);
  PutBigEndian(reply, 4, plan.root_delay);
  PutBigEndian(reply, 8, plan.root_dispersion);
  for (int i = 0; i < 4; ++i) reply[12 + i] = static_cast<char>(plan.reference[i]);

  const uint64_t originate =
      request.size() >= 48 ? (uint64_t{GetBigEndian(request, 40)} << 32) | GetBigEndian(request, 44)
                           : 0;
  uint64_t server = 0;
  if (plan.seconds_after_originate) {
    server = AddSeconds(originate, *plan.seconds_after_originate);
  } else {
    uint32_t s = 0, f = 0;
    NtpNow(plan.offset_seconds, s, f);
    server = (uint64_t{s} << 32) | f;
  }
  PutBigEndian(reply, 16, static_cast<uint32_t>(server >> 32));  // reference: same instant
  if (plan.echo_originate) {
    PutBigEndian(reply, 24, static_cast<uint32_t>(originate >> 32));
    PutBigEndian(reply, 28, static_cast<uint32_t>(originate));
  }
  PutBigEndian(reply, 32, static_cast<uint32_t>(server >> 32));
  PutBigEndian(reply, 36, static_cast<uint32_t>(server));
  if (!plan.zero_transmit) {
    PutBigEndian(reply, 40, static_cast<uint32_t>(server >> 32));
    PutBigEndian(reply, 44, static_cast<uint32_t>(server));
  }
  return reply;
}

FakeSntpServer::FakeSntpServer() : FakeSntpServer("127.0.0.1", 0) {}

namespace {

// The socket address of a numeric IPv4 or IPv6 text and a port; false for anything else.
bool SocketAddress(const char* text, int port, sockaddr_storage& address, socklen_t& length) {
  address = sockaddr_storage{};
  auto& v4 = reinterpret_cast<sockaddr_in&>(address);
  auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
  if (::inet_pton(AF_INET, text, &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(static_cast<uint16_t>(port));
    length = sizeof v4;
    return true;
  }
  address = sockaddr_storage{};
  if (::inet_pton(AF_INET6, text, &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<uint16_t>(port));
    length = sizeof v6;
    return true;
  }
  return false;
}

}  // namespace

bool FakeSntpServer::IPv6LoopbackAvailable() {
  const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_storage address;
  socklen_t length = 0;
  SocketAddress("::1", 0, address, length);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
  ::close(fd);
  return bound;
}

FakeSntpServer::FakeSntpServer(const char* text, int port) {
  sockaddr_storage address;
  socklen_t length = 0;
  if (!SocketAddress(text, port, address, length))
    throw std::runtime_error("fake SNTP server: not a numeric address");
  fd_ = ::socket(address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("fake SNTP server: no socket");
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    ::close(fd_);
    throw std::runtime_error("fake SNTP server: cannot bind");
  }
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                              : reinterpret_cast<sockaddr_in&>(address).sin_port);
  thread_ = std::thread([this] { Serve(); });
}

FakeSntpServer::~FakeSntpServer() {
  running_ = false;
  thread_.join();
  ::close(fd_);
}

void FakeSntpServer::Then(Response response) {
  std::lock_guard lock(mutex_);
  script_.push_back(std::move(response));
}

void FakeSntpServer::ThenReply(const ReplySpec& plan) {
  Then([plan](const QByteArray& request) { return MakeReply(request, plan); });
}

void FakeSntpServer::ThenBytes(const QByteArray& bytes) {
  Then([bytes](const QByteArray&) { return bytes; });
}

void FakeSntpServer::ThenSilence() {
  Then([](const QByteArray&) { return std::optional<QByteArray>(); });
}

void FakeSntpServer::Always(Response response) {
  std::lock_guard lock(mutex_);
  always_ = std::move(response);
}

QByteArray FakeSntpServer::LastRequest() const {
  std::lock_guard lock(mutex_);
  return last_request_;
}

bool FakeSntpServer::WaitForReplies(int count, int timeout_ms) const {
  for (int waited = 0; replies_ < count; waited += 5) {
    if (waited >= timeout_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void FakeSntpServer::Serve() {
  while (running_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;  // look at running_ every 20 ms
    char buffer[2048];
    sockaddr_storage from{};
    socklen_t from_length = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &from_length);
    if (n < 0) continue;
    const QByteArray request(buffer, static_cast<qsizetype>(n));
    Response response;
    {
      std::lock_guard lock(mutex_);
      last_request_ = request;
      if (!script_.empty()) {
        response = std::move(script_.front());
        script_.pop_front();
      } else {
        response = always_;
      }
    }
    ++requests_;
    if (!response) continue;
    const std::optional<QByteArray> reply = response(request);
    if (reply && ::sendto(fd_, reply->constData(), static_cast<size_t>(reply->size()), 0,
                          reinterpret_cast<sockaddr*>(&from), from_length) >= 0)
      ++replies_;
  }
}

}  // namespace testing_support
