#pragma once
// A time server in the test process: a UDP socket on a loopback address (127.0.0.1 unless told
// otherwise) that answers each request with the next scripted response (bytes built from the
// request, or silence).
#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace testing_support {

// What a reply holds; the defaults make a valid stratum-2 reply from a server whose clock runs
// `offset_seconds` ahead of this machine's.
struct ReplySpec {
  uint8_t byte0 = 0x24;  // leap indicator 0, version 4, mode 4 (server)
  uint8_t stratum = 2;
  int8_t poll = 6;
  int8_t precision = -20;
  uint32_t root_delay = 0x00018000;       // 1.5 s, 16.16
  uint32_t root_dispersion = 0x00004000;  // 0.25 s
  uint8_t reference[4] = {10, 0, 0, 1};
  double offset_seconds = 0;
  // When set, receive and transmit are this many seconds after the echoed originate stamp
  // instead of the real clock plus the offset.
  std::optional<double> seconds_after_originate;
  bool zero_transmit = false;
  bool echo_originate = true;
};

// The 48 bytes of a reply to `request`.
QByteArray MakeReply(const QByteArray& request, const ReplySpec& plan = {});
// Seconds and fraction words of the real UTC clock plus an offset, as NTP counts.
void NtpNow(double offset_seconds, uint32_t& seconds, uint32_t& fraction);

class FakeSntpServer {
 public:
  // Given the request, the datagram to send back, or nothing for silence.
  using Response = std::function<std::optional<QByteArray>(const QByteArray& request)>;

  FakeSntpServer();
  // On another loopback address (127.x.y.z in dotted form, or "::1" for IPv6) and, when `port`
  // is not 0, on that port: several servers on one port, as a tool that asks several hosts on
  // one port needs.
  FakeSntpServer(const char* address, int port);
  // Whether this machine has an IPv6 loopback to serve on.
  static bool IPv6LoopbackAvailable();
  ~FakeSntpServer();
  FakeSntpServer(const FakeSntpServer&) = delete;
  FakeSntpServer& operator=(const FakeSntpServer&) = delete;

  int Port() const { return port_; }
  // Queues the response to the next request; without one queued the server stays silent.
  void Then(Response response);
  void ThenReply(const ReplySpec& plan = {});
  void ThenBytes(const QByteArray& bytes);
  void ThenSilence();
  // The same response to every request from now on, once the queue is empty.
  void Always(Response response);
  int RequestCount() const { return requests_; }
  // Datagrams sent back so far. Over loopback a datagram is in the receiver's socket once its
  // send has returned, so a count reached means the replies are waiting there.
  int RepliesSent() const { return replies_; }
  // Waits until `count` replies have gone out; false after `timeout_ms` without.
  bool WaitForReplies(int count, int timeout_ms = 5000) const;
  QByteArray LastRequest() const;

 private:
  void Serve();

  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> running_{true};
  std::atomic<int> requests_{0};
  std::atomic<int> replies_{0};
  mutable std::mutex mutex_;
  std::deque<Response> script_;
  Response always_;
  QByteArray last_request_;
  std::thread thread_;
};

}  // namespace testing_support
