#include "ntp/IdUDPClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "ntp/IdException.h"
#include "ntp/IdStack.h"
#include "ntp/NTPClient.h"
#include "support/FakeSntpServer.h"
#include "support/FakeWinsock.h"

using ntp::TIdUDPClient;
using ntp::ToBytes;
using testing_support::FakeSntpServer;
using testing_support::FakeWinsock;
using testing_support::ReplySpec;

namespace {

std::string Text(const ntp::TIdBytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

struct Transport : ::testing::Test {
  FakeWinsock winsock;
  TIdUDPClient client;
};

}  // namespace

TEST_F(Transport, ActiveOpensOneSocketAndClosingShutsItDownForSending) {
  EXPECT_FALSE(client.Active());
  client.SetActive(false);  // nothing open: nothing happens
  EXPECT_EQ(winsock.closes, 0);
  client.SetActive(true);
  client.SetActive(true);
  EXPECT_TRUE(client.Active());
  EXPECT_EQ(winsock.sockets_made, 1);
  EXPECT_EQ(winsock.broadcast_values, std::vector<int32_t>{0});
  client.SetActive(false);
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(winsock.shutdowns, 1);
  EXPECT_EQ(winsock.last_shutdown_how, 1);
  EXPECT_EQ(winsock.closes, 1);
}

TEST_F(Transport, BroadcastOptionFollowsTheProperty) {
  client.SetBroadcastEnabled(true);  // closed: only remembered
  EXPECT_TRUE(winsock.broadcast_values.empty());
  client.SetActive(true);
  client.SetBroadcastEnabled(false);  // open: applied at once
  EXPECT_EQ(winsock.broadcast_values, (std::vector<int32_t>{-1, 0}));
}

TEST_F(Transport, NoSocketFromThePlatformIsInvalidAndTheNextUseTriesAgain) {
  winsock.next_socket = platform::INVALID_SOCKET;
  try {
    client.SetActive(true);
    FAIL() << "no exception";
  } catch (const ntp::EIdInvalidSocket& e) {
    EXPECT_EQ(e.Message(), "Cannot allocate socket.");
  }
  EXPECT_FALSE(client.Active());
  winsock.next_socket = 9;
  client.SetHost("10.0.0.1");
  client.SendDatagram(ToBytes("x"));
  EXPECT_TRUE(client.Active());
}

TEST_F(Transport, SendResolvesTheHostOnEverySendAndOpensOnDemand) {
  client.SetHost("time.example");
  client.SetPort(123);
  client.SendDatagram(ToBytes("abc"));
  client.SendDatagram(ToBytes("def"));
  EXPECT_EQ(winsock.lookups, (std::vector<std::string>{"time.example", "time.example"}));
  EXPECT_EQ(winsock.sockets_made, 1);
  ASSERT_EQ(winsock.sent.size(), 2u);
  EXPECT_EQ(winsock.sent[0].address, (std::array<uint8_t, 4>{192, 0, 2, 5}));
  EXPECT_EQ(winsock.sent[0].port, 123);
  EXPECT_EQ(winsock.sent[1].data, "def");
}

TEST_F(Transport, TheHostIsResolvedBeforeASocketIsOpenedForItsFamily) {
  winsock.host_address.reset();
  client.SetHost("no.such.host");
  EXPECT_THROW(client.SendDatagram(ToBytes("abc")), ntp::EIdSocketError);
  EXPECT_EQ(winsock.sockets_made, 0);  // nothing to send to: no socket either
  EXPECT_FALSE(client.Active());

  // An entry that is not an IPv4 address is no answer to this lookup.
  winsock.host_address = std::array<uint8_t, 4>{192, 0, 2, 7};
  winsock.host_address_family = 23;
  try {
    client.SendDatagram(ToBytes("abc"));
    FAIL() << "no exception";
  } catch (const ntp::EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode(), 11004);
  }
  EXPECT_EQ(winsock.sockets_made, 0);
  EXPECT_TRUE(winsock.sent.empty());

  winsock.host_address_family = platform::WS_AF_INET;
  client.SendDatagram(ToBytes("abc"));
  EXPECT_EQ(winsock.sockets_made, 1);
  EXPECT_EQ(client.Binding().IPVersion(), ntp::TIdIPVersion::Id_IPv4);
  ASSERT_EQ(winsock.sent.size(), 1u);
  EXPECT_EQ(winsock.sent[0].address, (std::array<uint8_t, 4>{192, 0, 2, 7}));
}

// A library without getaddrinfo and freeaddrinfo has no IPv6.
TEST(TransportWithoutIPv6, AnAddressOfAFamilyTheLibraryLacksIsRefusedWithItsNumber) {
  FakeWinsock winsock;
  winsock.missing_functions = {"getaddrinfo"};
  TIdUDPClient client;
  ntp::TIdSocketHandle socket;
  try {
    socket.AllocateSocket(ntp::TIdIPVersion::Id_IPv6);
    FAIL() << "no exception";
  } catch (const ntp::EIdInvalidSocket&) {
  }
  EXPECT_EQ(ntp::SocketStack()->LastError(), 10047);
  EXPECT_EQ(winsock.sockets_made, 0);

  socket.AllocateSocket(ntp::TIdIPVersion::Id_IPv4);
  ntp::TIdIPAddress v6;
  v6.Version = ntp::TIdIPVersion::Id_IPv6;
  v6.Bytes[15] = 1;
  try {
    socket.SendTo(v6, 123, ToBytes("abc"));
    FAIL() << "no exception";
  } catch (const ntp::EIdSocketError& e) {
    EXPECT_EQ(e.Message(),
              "Socket Error # 10047\r\nAddress family not supported by protocol family.");
  }
  EXPECT_TRUE(winsock.sent.empty());
  // The refusal is not left behind for the next failure to report.
  winsock.send_result = -1;
  winsock.send_error = 10051;
  try {
    socket.SendTo(ntp::TIdIPAddress::IPv4({10, 0, 0, 1}), 123, ToBytes("abc"));
    FAIL() << "no exception";
  } catch (const ntp::EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode(), 10051);
  }
}

TEST_F(Transport, SendFailuresRaiseTheirOwnExceptions) {
  client.SetHost("10.0.0.1");
  winsock.send_result = -1;
  winsock.send_error = 10040;
  EXPECT_THROW(client.SendDatagram(ToBytes("abc")), ntp::EIdPackageSizeTooBig);
  winsock.send_error = 10051;
  try {
    client.SendDatagram(ToBytes("abc"));
    FAIL() << "no exception";
  } catch (const ntp::EIdSocketError& e) {
    EXPECT_EQ(e.Message(), "Socket Error # 10051\r\nNetwork is unreachable.");
  }
  winsock.send_result = 2;
  try {
    client.SendDatagram(ToBytes("abc"));
    FAIL() << "no exception";
  } catch (const ntp::EIdNotAllBytesSent& e) {
    EXPECT_EQ(e.Message(), "Not all bytes sent.");
  }
  EXPECT_TRUE(client.Active());  // a failed send leaves the socket open
}

TEST_F(Transport, ReceiveTimeOutsBecomeSelectTimeValues) {
  winsock.select_result = 0;
  client.SetReceiveTimeout(1500);
  EXPECT_TRUE(client.ReceiveDatagram(-1).empty());  // -1: ReceiveTimeout
  EXPECT_TRUE(client.ReceiveDatagram(500).empty());
  EXPECT_TRUE(client.ReceiveDatagram(0).empty());   // polls once
  EXPECT_TRUE(client.ReceiveDatagram(-2).empty());  // no limit
  ASSERT_EQ(winsock.select_timeouts.size(), 4u);
  EXPECT_EQ(winsock.select_timeouts[0]->tv_sec, 1);
  EXPECT_EQ(winsock.select_timeouts[0]->tv_usec, 500000);
  EXPECT_EQ(winsock.select_timeouts[1]->tv_sec, 0);
  EXPECT_EQ(winsock.select_timeouts[1]->tv_usec, 500000);
  EXPECT_EQ(winsock.select_timeouts[2]->tv_sec, 0);
  EXPECT_EQ(winsock.select_timeouts[2]->tv_usec, 0);
  EXPECT_FALSE(winsock.select_timeouts[3].has_value());
}

TEST_F(Transport, TheDefaultReceiveTimeoutWaitsWithoutLimit) {
  EXPECT_EQ(client.ReceiveTimeout(), -2);
  EXPECT_EQ(client.BufferSize(), 8192);
  EXPECT_EQ(client.Port(), 0);
  winsock.datagrams.push_back("hello");
  EXPECT_EQ(Text(client.ReceiveDatagram()), "hello");
  EXPECT_FALSE(winsock.select_timeouts.at(0).has_value());
}

TEST_F(Transport, OnlyExactlyOneReadySocketCountsAsReadable) {
  winsock.datagrams.push_back("data");
  for (int result : {0, 2, -1}) {
    winsock.select_result = result;
    ntp::TIdIPAddress ip = ntp::TIdIPAddress::IPv4({1, 2, 3, 4});
    int port = 5;
    EXPECT_TRUE(client.ReceiveDatagram(100, ip, port).empty()) << result;
    EXPECT_EQ(ip, ntp::TIdIPAddress());
    EXPECT_EQ(port, 0);
  }
  EXPECT_TRUE(winsock.recv_buffer_sizes.empty());
}

TEST_F(Transport, ReceiveGivesTheDatagramAndItsSender) {
  winsock.datagrams.push_back("reply");
  ntp::TIdIPAddress ip;
  int port = 0;
  EXPECT_EQ(Text(client.ReceiveDatagram(100, ip, port)), "reply");
  EXPECT_EQ(ip.ToString(), "192.0.2.5");
  EXPECT_EQ(port, 123);
  EXPECT_EQ(winsock.recv_buffer_sizes, std::vector<int>{8192});
}

TEST_F(Transport, ReceiveFailures) {
  winsock.datagrams.push_back("");
  try {
    client.ReceiveDatagram(100);
    FAIL() << "no exception";
  } catch (const ntp::EIdUDPReceiveErrorZeroBytes& e) {
    EXPECT_EQ(e.Message(), "UDP Receive Error = 0.");
  }
  client.SetBufferSize(48);
  winsock.datagrams.push_back(QByteArray(68, 'x'));
  try {
    client.ReceiveDatagram(100);
    FAIL() << "no exception";
  } catch (const ntp::EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode(), 10040);
    EXPECT_EQ(e.Message(), "Socket Error # 10040\r\nMessage too long.");
  }
  winsock.recv_error = 10054;
  EXPECT_THROW(client.ReceiveDatagram(100), ntp::EIdSocketError);
  EXPECT_TRUE(client.Active());
}

TEST_F(Transport, WhileLoadingActiveIsOnlyRecordedUntilLoadingEnds) {
  client.BeginLoading();
  client.SetActive(true);
  EXPECT_TRUE(client.Active());
  EXPECT_EQ(winsock.sockets_made, 0);
  client.EndLoading();
  EXPECT_TRUE(client.Active());
  EXPECT_EQ(winsock.sockets_made, 1);
}

// A reply that comes after its receive gave up waits in the socket; the next request must not
// take it for its own answer.
TEST_F(Transport, DatagramsWaitingBeforeASendAreDroppedAndTheReplyAfterItIsTaken) {
  winsock.datagrams = {"late reply", QByteArray(600, 'L'), ""};  // too long and empty, too
  winsock.replies = {"fresh reply"};
  client.SetHost("10.0.0.1");
  client.SetPort(123);
  client.SendDatagram(ToBytes("request"));
  // Every stale datagram was read before the request went out, each through a zero wait.
  const auto send = std::find(winsock.calls.begin(), winsock.calls.end(), "sendto");
  ASSERT_NE(send, winsock.calls.end());
  EXPECT_EQ(std::count(winsock.calls.begin(), send, "recvfrom"), 3);
  for (const auto& timeout : winsock.select_timeouts) {
    ASSERT_TRUE(timeout.has_value());
    EXPECT_EQ(timeout->tv_sec, 0);
    EXPECT_EQ(timeout->tv_usec, 0);
  }
  ntp::TIdIPAddress ip;
  int port = 0;
  EXPECT_EQ(Text(client.ReceiveDatagram(100, ip, port)), "fresh reply");
  EXPECT_EQ(ip.ToString(),
            "192.0.2.5");  // the drained datagrams left no trace in the sender either
  EXPECT_TRUE(winsock.datagrams.empty());
}

TEST_F(Transport, NothingWaitingMeansOneZeroWaitAndNoRead) {
  client.SetHost("10.0.0.1");
  client.SendDatagram(ToBytes("request"));
  EXPECT_EQ(winsock.calls, (std::vector<std::string>{"select", "sendto"}));
}

TEST_F(Transport, AFailingReadEndsTheDiscardingAndTheSendStillGoesOut) {
  winsock.recv_error = 10054;  // readable, yet every read fails
  client.SetHost("10.0.0.1");
  EXPECT_NO_THROW(client.SendDatagram(ToBytes("request")));
  EXPECT_EQ(winsock.calls, (std::vector<std::string>{"select", "recvfrom", "sendto"}));
  ASSERT_EQ(winsock.sent.size(), 1u);

  // A select that fails counts as nothing waiting.
  winsock.recv_error.reset();
  winsock.select_result = -1;
  winsock.calls.clear();
  EXPECT_NO_THROW(client.SendDatagram(ToBytes("request")));
  EXPECT_EQ(winsock.calls, (std::vector<std::string>{"select", "sendto"}));
}

TEST_F(Transport, AFloodOfWaitingDatagramsIsDiscardedOnlyUpToABound) {
  for (int i = 0; i < 5000; ++i) winsock.datagrams.push_back("flood");
  client.SetHost("10.0.0.1");
  client.SendDatagram(ToBytes("request"));
  const auto reads = std::count(winsock.calls.begin(), winsock.calls.end(), "recvfrom");
  EXPECT_GE(reads, 256);  // more than a socket's default receive buffer holds
  EXPECT_LT(reads, 5000);
  EXPECT_EQ(winsock.sent.size(), 1u);
}

namespace {

// The client's local port, which the platform gave its socket at the first send.
int LocalPort(TIdUDPClient& client) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(static_cast<int>(client.Binding().Handle()),
                    reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return -1;
  return ntohs(address.sin_port);
}

// Sends one datagram to 127.0.0.1:port from a socket of its own.
void SendFromElsewhere(int port, const QByteArray& data) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(port));
  EXPECT_EQ(::sendto(fd, data.constData(), static_cast<size_t>(data.size()), 0,
                     reinterpret_cast<sockaddr*>(&to), sizeof to),
            data.size());
  ::close(fd);
}

}  // namespace

// The same over the real socket library: the answer to a request that timed out arrives while
// nobody waits, and the next request gets its own answer.
TEST(TransportOverLoopback, ALateReplyIsNotTakenAsTheAnswerToTheNextRequest) {
  FakeSntpServer server;
  const auto echo = [](const QByteArray& request) {
    return std::optional<QByteArray>("answer to " + request);
  };
  server.Then(echo);
  server.Then(echo);
  TIdUDPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetActive(true);
  client.SendDatagram(ToBytes("first"));
  ASSERT_TRUE(server.WaitForReplies(1));  // the first answer now waits in the socket, unread
  client.SendDatagram(ToBytes("second"));
  EXPECT_EQ(Text(client.ReceiveDatagram(5000)), "answer to second");
  EXPECT_TRUE(client.ReceiveDatagram(0).empty());
}

TEST(TransportOverLoopback, AReplyFromAnySenderAfterTheSendIsTaken) {
  FakeSntpServer server;  // listens but stays silent
  TIdUDPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SendDatagram(ToBytes("request"));
  const int port = LocalPort(client);
  ASSERT_GT(port, 0);
  SendFromElsewhere(port, "from another sender");
  ntp::TIdIPAddress ip;
  int peer_port = 0;
  EXPECT_EQ(Text(client.ReceiveDatagram(5000, ip, peer_port)), "from another sender");
  EXPECT_EQ(ip.ToString(), "127.0.0.1");
  EXPECT_NE(peer_port, server.Port());
}

// What the late reply did to a measurement: the next query took it, with the first request's
// stamp, and put the offset off by half the gap between the two queries.
TEST(TransportOverLoopback, AQueryAfterATimeOutMeasuresItsOwnExchange) {
  FakeSntpServer server;
  ReplySpec late;
  late.stratum = 3;
  server.Then([late](const QByteArray& request) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the client gave up
    return std::optional<QByteArray>(testing_support::MakeReply(request, late));
  });
  server.ThenReply();  // stratum 2, the same clock as this machine's
  ntp::TNTPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetReceiveTimeout(100);
  client.SetActive(true);
  EXPECT_EQ(client.QueryServerTime(), 0.0);  // timed out
  ASSERT_TRUE(server.WaitForReplies(1));     // the late reply waits in the open socket
  client.SetReceiveTimeout(10000);
  EXPECT_NE(client.QueryServerTime(), 0.0);
  EXPECT_EQ(client.Info.Stratum, 2);
  const double delay_s = client.Info.RoundTripDelay * 86400;
  EXPECT_NEAR(client.GetClockOffset() * 86400, 0.0, delay_s / 2 + 0.002);
}
