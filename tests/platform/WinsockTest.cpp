// The Linux stand-in of the socket library, used for real on the loopback interface.
#include "platform/Winsock.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

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
  // A label longer than 63 characters cannot go into a query, so the resolver gives up without
  // asking any name server: the test stays on this machine and its answer is certain.
  const std::string unresolvable = std::string(64, 'a') + ".invalid";
  EXPECT_EQ(lookup(unresolvable.c_str()), nullptr);
  EXPECT_EQ(last_error(), WSAHOST_NOT_FOUND);
  // A numeric address is found without the machine's hosts file or any name server.
  HOSTENT* local = lookup("127.0.0.1");
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

namespace {

struct ErrnoRow {
  const char* name;
  int error;
  int code;
  const char* text;
};

class ErrnoMapping : public ::testing::TestWithParam<ErrnoRow> {};

}  // namespace

// Every errno that socket, setsockopt, sendto, recvfrom, poll, shutdown and close can give on
// Linux, with the library's number and the text the user then reads.
TEST_P(ErrnoMapping, TheErrnoBecomesTheLibrarysNumberWithItsText) {
  const ErrnoRow row = GetParam();
  EXPECT_EQ(WsaErrorFromErrno(row.error), row.code);
  ASSERT_NE(SocketErrorTextOf(row.code), nullptr);
  EXPECT_STREQ(SocketErrorTextOf(row.code), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    LinuxSocketCalls, ErrnoMapping,
    ::testing::Values(
        ErrnoRow{"EINTR", EINTR, 10004, "Interrupted system call."},
        ErrnoRow{"EBADF", EBADF, 10009, "Bad file number."},
        ErrnoRow{"EACCES", EACCES, 10013, "Access denied."},
        ErrnoRow{"EPERM", EPERM, 10013, "Access denied."},
        ErrnoRow{"EFAULT", EFAULT, 10014, "Bad address."},
        ErrnoRow{"EINVAL", EINVAL, 10022, "Invalid argument."},
        ErrnoRow{"EMFILE", EMFILE, 10024, "Too many open files."},
        ErrnoRow{"ENFILE", ENFILE, 10024, "Too many open files."},
        ErrnoRow{"EAGAIN", EAGAIN, 10035, "Operation would block. "},
        ErrnoRow{"EWOULDBLOCK", EWOULDBLOCK, 10035, "Operation would block. "},
        ErrnoRow{"EINPROGRESS", EINPROGRESS, 10036, "Operation now in progress."},
        ErrnoRow{"EALREADY", EALREADY, 10037, "Operation already in progress."},
        ErrnoRow{"ENOTSOCK", ENOTSOCK, 10038, "Socket operation on non-socket."},
        ErrnoRow{"EDESTADDRREQ", EDESTADDRREQ, 10039, "Destination address required."},
        ErrnoRow{"EMSGSIZE", EMSGSIZE, 10040, "Message too long."},
        ErrnoRow{"EPROTOTYPE", EPROTOTYPE, 10041, "Protocol wrong type for socket."},
        ErrnoRow{"ENOPROTOOPT", ENOPROTOOPT, 10042, "Bad protocol option."},
        ErrnoRow{"EPROTONOSUPPORT", EPROTONOSUPPORT, 10043, "Protocol not supported."},
        ErrnoRow{"ESOCKTNOSUPPORT", ESOCKTNOSUPPORT, 10044, "Socket type not supported."},
        ErrnoRow{"EOPNOTSUPP", EOPNOTSUPP, 10045, "Operation not supported on socket."},
        ErrnoRow{"ENOTSUP", ENOTSUP, 10045, "Operation not supported on socket."},
        ErrnoRow{"EPFNOSUPPORT", EPFNOSUPPORT, 10046, "Protocol family not supported."},
        ErrnoRow{"EAFNOSUPPORT", EAFNOSUPPORT, 10047,
                 "Address family not supported by protocol family."},
        ErrnoRow{"EADDRINUSE", EADDRINUSE, 10048, "Address already in use."},
        ErrnoRow{"EADDRNOTAVAIL", EADDRNOTAVAIL, 10049, "Cannot assign requested address."},
        ErrnoRow{"ENETDOWN", ENETDOWN, 10050, "Network is down."},
        ErrnoRow{"ENETUNREACH", ENETUNREACH, 10051, "Network is unreachable."},
        ErrnoRow{"ENETRESET", ENETRESET, 10052, "Net dropped connection or reset."},
        ErrnoRow{"ECONNABORTED", ECONNABORTED, 10053, "Software caused connection abort."},
        ErrnoRow{"ECONNRESET", ECONNRESET, 10054, "Connection reset by peer."},
        ErrnoRow{"ENOBUFS", ENOBUFS, 10055, "No buffer space available."},
        ErrnoRow{"ENOMEM", ENOMEM, 10055, "No buffer space available."},
        ErrnoRow{"EISCONN", EISCONN, 10056, "Socket is already connected."},
        ErrnoRow{"ENOTCONN", ENOTCONN, 10057, "Socket is not connected."},
        ErrnoRow{"ESHUTDOWN", ESHUTDOWN, 10058, "Cannot send or receive after socket is closed."},
        ErrnoRow{"EPIPE", EPIPE, 10058, "Cannot send or receive after socket is closed."},
        ErrnoRow{"ETOOMANYREFS", ETOOMANYREFS, 10059, "Too many references, cannot splice."},
        ErrnoRow{"ETIMEDOUT", ETIMEDOUT, 10060, "Connection timed out."},
        ErrnoRow{"ECONNREFUSED", ECONNREFUSED, 10061, "Connection refused."},
        ErrnoRow{"ELOOP", ELOOP, 10062, "Too many levels of symbolic links."},
        ErrnoRow{"ENAMETOOLONG", ENAMETOOLONG, 10063, "File name too long."},
        ErrnoRow{"EHOSTDOWN", EHOSTDOWN, 10064, "Host is down."},
        ErrnoRow{"EHOSTUNREACH", EHOSTUNREACH, 10065, "No route to host."},
        ErrnoRow{"ENOTEMPTY", ENOTEMPTY, 10066, "Directory not empty"},
        // No counterpart in the library: numbers of the stand-in's own.
        ErrnoRow{"EIO", EIO, WSXEIO, "Input/output error."},
        ErrnoRow{"ENOSPC", ENOSPC, WSXENOSPC, "No space left on device."},
        ErrnoRow{"EDQUOT", EDQUOT, WSXEDQUOT, "Disk quota exceeded."},
        ErrnoRow{"ENODEV", ENODEV, WSXENODEV, "No such network device."},
        ErrnoRow{"unknown", 0, WSXEUNEXPECTED, "Unexpected system error."},
        ErrnoRow{"ENOENT", ENOENT, WSXEUNEXPECTED, "Unexpected system error."}),
    [](const ::testing::TestParamInfo<ErrnoRow>& info) { return std::string(info.param.name); });

// Real failures of the stand-in's calls reach the caller as the library's numbers.
TEST(WinsockLibrary, FailuresOfTheRealCallsGiveTheLibrarysNumbers) {
  HMODULE library = LoadLibraryA("wsock32.dll");
  auto recvfrom_ = Get<Trecvfrom>(library, "recvfrom");
  auto sendto_ = Get<Tsendto>(library, "sendto");
  auto last_error = Get<TWSAGetLastError>(library, "WSAGetLastError");
  char buffer[48] = {};
  SOCKADDR_IN from;
  int from_length = sizeof from;

  // -1 is never a descriptor.
  EXPECT_EQ(recvfrom_(-1, buffer, sizeof buffer, 0, &from, &from_length), SOCKET_ERROR);
  EXPECT_EQ(last_error(), WSAEBADF);

  // A descriptor that is no socket.
  const int file = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(file, 0);
  from_length = sizeof from;
  EXPECT_EQ(recvfrom_(file, buffer, sizeof buffer, 0, &from, &from_length), SOCKET_ERROR);
  EXPECT_EQ(last_error(), WSAENOTSOCK);
  SOCKADDR_IN to;
  to.sin_family = WS_AF_INET;
  const uint8_t loopback[4] = {127, 0, 0, 1};
  std::memcpy(to.sin_addr, loopback, 4);
  EXPECT_EQ(sendto_(file, buffer, sizeof buffer, 0, &to, sizeof to), SOCKET_ERROR);
  EXPECT_EQ(last_error(), WSAENOTSOCK);
  ::close(file);
}

// A time-out of about 49.7 days is 4294968000 ms, which wrapped at 32 bits reads as 704 ms: the
// wait must go on until the datagram comes instead.
TEST_F(RealWinsock, AVeryLongTimeOutIsNoShortOne) {
  testing_support::FakeSntpServer server;
  server.Then([](const QByteArray&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    return std::optional<QByteArray>(QByteArray(48, 'z'));
  });
  SendTo(server.Port(), QByteArray(48, '\x1B'));
  FD_SET read;
  read.fd_count = 1;
  read.fd_array[0] = s;
  const TIMEVAL timeout{4294968, 0};
  // The reply comes 1.5 s after the request: a wait cut to 704 ms would have ended with 0.
  EXPECT_EQ(select_(0, &read, nullptr, nullptr, &timeout), 1);
}

// A transmit stamp nobody waited for (here: a plain sendto on a stamped socket) marks the socket
// with an error, yet a receive would find nothing there and block: the wait must not end on it.
TEST_F(RealWinsock, ATransmitStampLeftWaitingIsNoDatagram) {
  auto enable = Get<Tenablestamps>(library, "enablestamps");
  ASSERT_NE(enable, nullptr);
  if (enable(s) != 0) GTEST_SKIP() << "this kernel stamps no datagrams: " << last_error_();
  testing_support::FakeSntpServer server;  // silent: nothing is queued for it
  SendTo(server.Port(), QByteArray(48, '\x1B'));
  pollfd p{static_cast<int>(s), 0, 0};
  if (::poll(&p, 1, 200) != 1 || p.revents != POLLERR)
    GTEST_SKIP() << "this kernel gave no software transmit stamp for a loopback datagram";
  EXPECT_EQ(Wait(50), 0);
}
