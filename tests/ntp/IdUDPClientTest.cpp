#include "ntp/IdUDPClient.h"

#include <gtest/gtest.h>

#include "ntp/IdException.h"
#include "support/FakeWinsock.h"

using ntp::TIdUDPClient;
using testing_support::FakeWinsock;

namespace {

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
  client.SendDatagram("x");
  EXPECT_TRUE(client.Active());
}

TEST_F(Transport, SendResolvesTheHostOnEverySendAndOpensOnDemand) {
  client.SetHost("time.example");
  client.SetPort(123);
  client.SendDatagram("abc");
  client.SendDatagram("def");
  EXPECT_EQ(winsock.lookups, (std::vector<std::string>{"time.example", "time.example"}));
  EXPECT_EQ(winsock.sockets_made, 1);
  ASSERT_EQ(winsock.sent.size(), 2u);
  EXPECT_EQ(winsock.sent[0].address, (std::array<uint8_t, 4>{192, 0, 2, 5}));
  EXPECT_EQ(winsock.sent[0].port, 123);
  EXPECT_EQ(winsock.sent[1].data, "def");
}

TEST_F(Transport, SendFailuresRaiseTheirOwnExceptions) {
  client.SetHost("10.0.0.1");
  winsock.send_result = -1;
  winsock.send_error = 10040;
  EXPECT_THROW(client.SendDatagram("abc"), ntp::EIdPackageSizeTooBig);
  winsock.send_error = 10051;
  try {
    client.SendDatagram("abc");
    FAIL() << "no exception";
  } catch (const ntp::EIdSocketError& e) {
    EXPECT_EQ(e.Message(), "Socket Error # 10051\r\nNetwork is unreachable.");
  }
  winsock.send_result = 2;
  try {
    client.SendDatagram("abc");
    FAIL() << "no exception";
  } catch (const ntp::EIdNotAllBytesSent& e) {
    EXPECT_EQ(e.Message(), "Not all bytes sent.");
  }
  EXPECT_TRUE(client.Active());  // a failed send leaves the socket open
}

TEST_F(Transport, ReceiveTimeOutsBecomeSelectTimeValues) {
  winsock.select_result = 0;
  client.SetReceiveTimeout(1500);
  EXPECT_TRUE(client.ReceiveDatagram(-1).isEmpty());  // -1: ReceiveTimeout
  EXPECT_TRUE(client.ReceiveDatagram(500).isEmpty());
  EXPECT_TRUE(client.ReceiveDatagram(0).isEmpty());   // polls once
  EXPECT_TRUE(client.ReceiveDatagram(-2).isEmpty());  // no limit
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
  EXPECT_EQ(client.ReceiveDatagram(), "hello");
  EXPECT_FALSE(winsock.select_timeouts.at(0).has_value());
}

TEST_F(Transport, OnlyExactlyOneReadySocketCountsAsReadable) {
  winsock.datagrams.push_back("data");
  for (int result : {0, 2, -1}) {
    winsock.select_result = result;
    QString ip = "x";
    int port = 5;
    EXPECT_TRUE(client.ReceiveDatagram(100, ip, port).isEmpty()) << result;
    EXPECT_TRUE(ip.isEmpty());
    EXPECT_EQ(port, 0);
  }
  EXPECT_TRUE(winsock.recv_buffer_sizes.empty());
}

TEST_F(Transport, ReceiveGivesTheDatagramAndItsSender) {
  winsock.datagrams.push_back("reply");
  QString ip;
  int port = 0;
  EXPECT_EQ(client.ReceiveDatagram(100, ip, port), "reply");
  EXPECT_EQ(ip, "192.0.2.5");
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
