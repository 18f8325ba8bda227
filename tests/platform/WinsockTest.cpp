// The Linux stand-in of the socket library, used for real on the loopback interface.
#include "platform/Winsock.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/FakeSntpServer.h"

using namespace platform;

namespace {

template <class F>
F Get(HMODULE library, const char* name) {
  return reinterpret_cast<F>(GetProcAddress(library, name));
}

struct RealWinsock : ::testing::Test {
  HMODULE library = LoadLibraryA("wsock32.dll");
  Tsocket socket_ = Get<Tsocket>(library, "socket");
  Tsendto sendto_ = Get<Tsendto>(library, "sendto");
  Trecvfrom recvfrom_ = Get<Trecvfrom>(library, "recvfrom");
  Tselect select_ = Get<Tselect>(library, "select");
  Tclosesocket closesocket_ = Get<Tclosesocket>(library, "closesocket");
  TWSAGetLastError last_error_ = Get<TWSAGetLastError>(library, "WSAGetLastError");
  Thtons htons_ = Get<Thtons>(library, "htons");
  SOCKET s = INVALID_SOCKET;

  void SetUp() override {
    ASSERT_NE(library, nullptr);
    s = socket_(WS_AF_INET, WS_SOCK_DGRAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
  }
  void TearDown() override {
    if (s != INVALID_SOCKET) closesocket_(s);
  }

  void SendTo(int port, const QByteArray& data) {
    SOCKADDR_IN to;
    to.sin_family = WS_AF_INET;
    to.sin_port = htons_(static_cast<uint16_t>(port));
    const uint8_t loopback[4] = {127, 0, 0, 1};
    std::memcpy(to.sin_addr, loopback, 4);
    ASSERT_EQ(sendto_(s, data.constData(), static_cast<int>(data.size()), 0, &to, sizeof to),
              data.size());
  }

  int Wait(int ms) {
    FD_SET read;
    read.fd_count = 1;
    read.fd_array[0] = s;
    TIMEVAL timeout{ms / 1000, ms % 1000 * 1000};
    return select_(0, &read, nullptr, nullptr, &timeout);
  }
};

}  // namespace

TEST(WinsockLibrary, OnlyItsOwnNameLoadsAndUnknownFunctionsAreMissing) {
  EXPECT_EQ(LoadLibraryA("ws2_32.dll"), nullptr);
  HMODULE library = LoadLibraryA("WSOCK32.DLL");
  ASSERT_NE(library, nullptr);
  EXPECT_NE(GetProcAddress(library, "recvfrom"), nullptr);
  EXPECT_EQ(GetProcAddress(library, "WSAAsyncSelect"), nullptr);
}

TEST(WinsockLibrary, AnUnresolvableNameFindsNothingAndSetsANonZeroError) {
  HMODULE library = LoadLibraryA("wsock32.dll");
  auto lookup = Get<Tgethostbyname>(library, "gethostbyname");
  auto last_error = Get<TWSAGetLastError>(library, "WSAGetLastError");
  EXPECT_EQ(lookup("no-such-host.invalid"), nullptr);
  EXPECT_NE(last_error(), 0);
  HOSTENT* local = lookup("localhost");
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(local->h_length, 4);
  EXPECT_EQ(static_cast<uint8_t>(local->h_addr_list[0][0]), 127);
}

TEST_F(RealWinsock, SelectTimesOutWithZeroWhenNothingArrives) {
  EXPECT_EQ(Wait(30), 0);
}

TEST_F(RealWinsock, ADatagramLargerThanTheBufferFailsWithMessageTooLong) {
  testing_support::FakeSntpServer server;
  server.ThenBytes(QByteArray(68, 'x'));
  server.ThenBytes(QByteArray(48, 'y'));
  SendTo(server.Port(), QByteArray(48, '\x1B'));
  ASSERT_EQ(Wait(2000), 1);
  char buffer[48];
  SOCKADDR_IN from;
  int from_length = sizeof from;
  EXPECT_EQ(recvfrom_(s, buffer, sizeof buffer, 0, &from, &from_length), SOCKET_ERROR);
  EXPECT_EQ(last_error_(), WSAEMSGSIZE);

  // One that fits is received whole, with its sender.
  SendTo(server.Port(), QByteArray(48, '\x1B'));
  ASSERT_EQ(Wait(2000), 1);
  from_length = sizeof from;
  EXPECT_EQ(recvfrom_(s, buffer, sizeof buffer, 0, &from, &from_length), 48);
  EXPECT_EQ(buffer[47], 'y');
  EXPECT_EQ(from.sin_addr[0], 127);
  EXPECT_EQ(from.sin_port, htons_(static_cast<uint16_t>(server.Port())));
}
