#include "ntp/IdStack.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "ntp/IdException.h"
#include "ntp/IdUDPClient.h"
#include "support/FakeWinsock.h"

using ntp::EIdSocketError;
using ntp::SocketStack;
using ntp::TIdStack;
using ntp::TIdUDPClient;
using testing_support::FakeWinsock;

TEST(LookUpHost, LocalhostInAnyCaseNeedsNoLookup) {
  FakeWinsock winsock;
  TIdUDPClient client;
  for (const char* name : {"localhost", "LOCALHOST", "LocalHost"})
    EXPECT_EQ(SocketStack()->LookUpHost(name).ToString(), "127.0.0.1");
  EXPECT_TRUE(winsock.lookups.empty());
}

TEST(LookUpHost, DottedQuadsAreUsedUnchanged) {
  FakeWinsock winsock;
  TIdUDPClient client;
  EXPECT_EQ(SocketStack()->LookUpHost("10.0.0.1").ToString(), "10.0.0.1");
  EXPECT_EQ(SocketStack()->LookUpHost("255.255.255.255").ToString(), "255.255.255.255");
  EXPECT_TRUE(winsock.lookups.empty());
}

TEST(LookUpHost, TextsThatAreNotDottedQuadsGoToTheLookup) {
  FakeWinsock winsock;
  TIdUDPClient client;
  for (const char* text : {"256.0.0.1", "1.2.3", "1.2.3.4.5", "a.b.c.d", "1..2.3", "pool.ntp.org"})
    EXPECT_EQ(SocketStack()->LookUpHost(text).ToString(), "192.0.2.5") << text;
  EXPECT_EQ(winsock.lookups.size(), 6u);
}

TEST(LookUpHost, AFailedLookupRaisesTheSocketErrorOfTheLastErrorNumber) {
  FakeWinsock winsock;
  winsock.host_address.reset();
  TIdUDPClient client;
  try {
    SocketStack()->LookUpHost("no.such.host");
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode(), 11001);
    // 11001 has no text of its own: the message ends after CR LF.
    EXPECT_EQ(e.Message(), "Socket Error # 11001\r\n");
  }
}

// Each part of a dotted quad reads as a decimal integer: leading zeros never make it octal.
TEST(LookUpHost, PartsWithLeadingZerosAreDecimalAndSentThere) {
  FakeWinsock winsock;
  TIdUDPClient client;
  client.SetPort(123);
  const struct {
    const char* text;
    std::array<uint8_t, 4> address;
  } rows[] = {
      {"0010.0.0.1", {10, 0, 0, 1}},
      {"010.001.000.0255", {10, 1, 0, 255}},
      {"0.0.0.0", {0, 0, 0, 0}},
      {"00000000000000000000000000000001.2.3.4", {1, 2, 3, 4}},
      {"255.255.255.255", {255, 255, 255, 255}},
  };
  for (const auto& row : rows) {
    // Read as a quad, without asking the lookup.
    EXPECT_EQ(SocketStack()->LookUpHost(row.text), ntp::TIdIPAddress::IPv4(row.address));
    winsock.sent.clear();
    client.SetHost(row.text);
    client.SendDatagram(ntp::ToBytes("x"));
    ASSERT_EQ(winsock.sent.size(), 1u);
    EXPECT_EQ(winsock.sent[0].address, row.address) << row.text;
  }
  EXPECT_TRUE(winsock.lookups.empty());
}

TEST(LookUpHost, APartOutOfRangeOrNotADecimalNumberIsNoDottedQuad) {
  FakeWinsock winsock;
  TIdUDPClient client;
  const std::vector<std::string> texts = {
      "256.0.0.1",        "0.256.0.1",  "0.0.256.1",
      "0.0.0.256",        "0256.0.0.1", "1.2.3.99999999999999999999",
      "1.2.3.4294967306", "-1.2.3.4",   "+1.2.3.4",
      " 1.2.3.4",         "1.2.3.4 ",   "1.2.3.",
      ".1.2.3",           "0x10.0.0.1", "1.2.3.4a"};
  for (const std::string& text : texts) {
    EXPECT_FALSE(TIdStack::IsDottedIP(text)) << text;
    EXPECT_EQ(SocketStack()->LookUpHost(text).ToString(), "192.0.2.5") << text;
  }
  EXPECT_EQ(winsock.lookups, texts);
}

TEST(LookUpHost, ReadingAQuadGivesItsBytesAndLeavesThemAloneOtherwise) {
  std::array<uint8_t, 4> bytes{9, 9, 9, 9};
  EXPECT_FALSE(TIdStack::ReadDottedIP("1.2.3.256", bytes));
  EXPECT_EQ(bytes, (std::array<uint8_t, 4>{9, 9, 9, 9}));
  EXPECT_TRUE(TIdStack::ReadDottedIP("192.168.0010.200", bytes));
  EXPECT_EQ(bytes, (std::array<uint8_t, 4>{192, 168, 10, 200}));
}

namespace {

struct ErrorTextRow {
  int code;
  const char* text;
};

class SocketErrorTexts : public ::testing::TestWithParam<ErrorTextRow> {};

}  // namespace

// The texts a user reads in the error box, one row per number.
TEST_P(SocketErrorTexts, TheNumberHasItsTextInTheMessage) {
  const ErrorTextRow row = GetParam();
  EXPECT_EQ(TIdStack::SocketErrorText(row.code), row.text);
  const EIdSocketError error(row.code, TIdStack::SocketErrorText(row.code));
  EXPECT_EQ(error.Message(), "Socket Error # " + std::to_string(row.code) + "\r\n" + row.text);
  EXPECT_EQ(error.ErrorCode(), row.code);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SocketErrorTexts,
    ::testing::Values(
        ErrorTextRow{10004, "Interrupted system call."}, ErrorTextRow{10009, "Bad file number."},
        ErrorTextRow{10013, "Access denied."}, ErrorTextRow{10014, "Bad address."},
        ErrorTextRow{10022, "Invalid argument."}, ErrorTextRow{10024, "Too many open files."},
        ErrorTextRow{10035, "Operation would block. "},
        ErrorTextRow{10036, "Operation now in progress."},
        ErrorTextRow{10037, "Operation already in progress."},
        ErrorTextRow{10038, "Socket operation on non-socket."},
        ErrorTextRow{10039, "Destination address required."},
        ErrorTextRow{10040, "Message too long."},
        ErrorTextRow{10041, "Protocol wrong type for socket."},
        ErrorTextRow{10042, "Bad protocol option."}, ErrorTextRow{10043, "Protocol not supported."},
        ErrorTextRow{10044, "Socket type not supported."},
        ErrorTextRow{10045, "Operation not supported on socket."},
        ErrorTextRow{10046, "Protocol family not supported."},
        ErrorTextRow{10047, "Address family not supported by protocol family."},
        ErrorTextRow{10048, "Address already in use."},
        ErrorTextRow{10049, "Cannot assign requested address."},
        ErrorTextRow{10050, "Network is down."}, ErrorTextRow{10051, "Network is unreachable."},
        ErrorTextRow{10052, "Net dropped connection or reset."},
        ErrorTextRow{10053, "Software caused connection abort."},
        ErrorTextRow{10054, "Connection reset by peer."},
        ErrorTextRow{10055, "No buffer space available."},
        ErrorTextRow{10056, "Socket is already connected."},
        ErrorTextRow{10057, "Socket is not connected."},
        ErrorTextRow{10058, "Cannot send or receive after socket is closed."},
        ErrorTextRow{10059, "Too many references, cannot splice."},
        ErrorTextRow{10060, "Connection timed out."}, ErrorTextRow{10061, "Connection refused."},
        ErrorTextRow{10062, "Too many levels of symbolic links."},
        ErrorTextRow{10063, "File name too long."}, ErrorTextRow{10064, "Host is down."},
        ErrorTextRow{10065, "No route to host."}, ErrorTextRow{10066, "Directory not empty"},
        // Numbers of the library without a text: the message ends after CR LF.
        ErrorTextRow{0, ""}, ErrorTextRow{10003, ""}, ErrorTextRow{10067, ""},
        ErrorTextRow{10069, ""}, ErrorTextRow{10091, ""}, ErrorTextRow{11001, ""},
        ErrorTextRow{11004, ""}, ErrorTextRow{-1, ""}),
    [](const ::testing::TestParamInfo<ErrorTextRow>& info) {
      return info.param.code < 0 ? std::string("minus") + std::to_string(-info.param.code)
                                 : std::to_string(info.param.code);
    });

// Failures of the Linux calls that the library has no number for say what happened, each in
// words of its own.
TEST(SocketErrorText, TheStandInsOwnNumbersSayWhatHappened) {
  const std::vector<std::pair<int, std::string>> own = {
      {platform::WSXEIO, "Input/output error."},
      {platform::WSXENOSPC, "No space left on device."},
      {platform::WSXEDQUOT, "Disk quota exceeded."},
      {platform::WSXENODEV, "No such network device."},
      {platform::WSXEUNEXPECTED, "Unexpected system error."}};
  for (const auto& [code, text] : own) {
    EXPECT_EQ(TIdStack::SocketErrorText(code), text) << code;
    EXPECT_GT(code, 11999) << "clear of every number the library itself uses";
  }
}

TEST(SocketStackLifecycle, LivesFromTheFirstComponentToTheLast) {
  FakeWinsock winsock;
  EXPECT_EQ(SocketStack(), nullptr);
  {
    TIdUDPClient first;
    ASSERT_NE(SocketStack(), nullptr);
    EXPECT_EQ(winsock.startups, 1);
    EXPECT_EQ(winsock.startup_version, 0x0101);
    {
      TIdUDPClient second;
      EXPECT_EQ(winsock.startups, 1);
    }
    EXPECT_EQ(winsock.cleanups, 0);
    EXPECT_NE(SocketStack(), nullptr);
  }
  EXPECT_EQ(SocketStack(), nullptr);
  EXPECT_EQ(winsock.cancels, 1);
  EXPECT_EQ(winsock.cleanups, 1);
  EXPECT_EQ(winsock.frees, 1);
}

TEST(SocketStackLifecycle, AMissingLibraryOrFunctionCannotBeLoaded) {
  FakeWinsock winsock;
  winsock.library_missing = true;
  try {
    TIdUDPClient client;
    FAIL() << "no exception";
  } catch (const ntp::EIdStackCanNotLoadWinsock& e) {
    EXPECT_EQ(e.Message(), "wsock32.dll could not be loaded.");
  }
  winsock.library_missing = false;
  winsock.missing_functions = {"recvfrom"};
  EXPECT_THROW(TIdUDPClient client, ntp::EIdStackCanNotLoadWinsock);
  EXPECT_EQ(winsock.frees, 1);
  EXPECT_EQ(SocketStack(), nullptr);
  EXPECT_EQ(ntp::TIdComponent::LiveCount(), 0);
}

TEST(SocketStackLifecycle, AStartFailureIsAnInitialisationError) {
  FakeWinsock winsock;
  winsock.startup_result = 10091;
  try {
    TIdUDPClient client;
    FAIL() << "no exception";
  } catch (const ntp::EIdStackInitializationFailed& e) {
    EXPECT_EQ(e.Message(), "Winsock Initialization Error.");
  }
  // The next component tries again.
  winsock.startup_result = 0;
  TIdUDPClient client;
  EXPECT_NE(SocketStack(), nullptr);
}

// --- IPv6 -------------------------------------------------------------------------------------

namespace {

std::array<uint8_t, 16> V6(const char* text) {
  std::array<uint8_t, 16> bytes{};
  // 2001:db8::123 and ::1 are all the tests need; written out to keep the test free of the
  // lookup it checks.
  if (std::string(text) == "2001:db8::123")
    bytes = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x23};
  else if (std::string(text) == "::1")
    bytes[15] = 1;
  else
    ADD_FAILURE() << text;
  return bytes;
}

using ntp::TIdFamilyChoice;
using ntp::TIdIPAddress;
using ntp::TIdIPVersion;

int ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EIdSocketError& e) {
    return e.ErrorCode();
  }
  return 0;
}

}  // namespace

TEST(LookUpHostIPv6, LiteralsBareOrBracketedAreReadByTheNumericLookup) {
  FakeWinsock winsock;
  TIdUDPClient client;
  EXPECT_EQ(SocketStack()->LookUpHost("2001:db8::123"), TIdIPAddress::IPv6(V6("2001:db8::123")));
  EXPECT_EQ(SocketStack()->LookUpHost("[::1]"), TIdIPAddress::IPv6(V6("::1")));
  EXPECT_EQ(SocketStack()->LookUpHost("::1").Version, TIdIPVersion::Id_IPv6);
  ASSERT_EQ(winsock.lookups6.size(), 3u);
  EXPECT_EQ(winsock.lookups6[1].node, "::1");  // the brackets are the tool's, not the address's
  for (const auto& lookup : winsock.lookups6) {
    EXPECT_EQ(lookup.family, platform::WS_AF_INET6);
    EXPECT_TRUE(lookup.flags & platform::WS_AI_NUMERICHOST);
  }
  EXPECT_EQ(winsock.lists_freed, 3);
  EXPECT_TRUE(winsock.lookups.empty()) << "the IPv4 lookup is never asked for a literal";
  // A text with a colon that is no address fails; it is not taken for a name.
  EXPECT_EQ(ErrorOf([] { SocketStack()->LookUpHost("2001:db8::12345"); }), 11001);
  EXPECT_TRUE(winsock.lookups.empty());
}

TEST(LookUpHostIPv6, ANameWithOnlyAnIPv6AddressIsFoundAfterTheIPv4LookupFindsNone) {
  FakeWinsock winsock;
  winsock.host_address6 = V6("2001:db8::123");
  TIdUDPClient client;
  // With an IPv4 address the name keeps the IPv4 lookup alone.
  EXPECT_EQ(SocketStack()->LookUpHost("both.example").ToString(), "192.0.2.5");
  EXPECT_TRUE(winsock.lookups6.empty());

  for (int v4_error : {platform::WSANO_DATA, platform::WSAHOST_NOT_FOUND}) {
    winsock.host_address.reset();
    winsock.lookup_error = v4_error;
    winsock.lookups6.clear();
    EXPECT_EQ(SocketStack()->LookUpHost("v6only.example"), TIdIPAddress::IPv6(V6("2001:db8::123")));
    ASSERT_EQ(winsock.lookups6.size(), 1u);
    EXPECT_EQ(winsock.lookups6[0].node, "v6only.example");
    EXPECT_FALSE(winsock.lookups6[0].flags & platform::WS_AI_NUMERICHOST);
  }
  // A failing name server is no answer about the name: the IPv6 lookup is not asked.
  winsock.lookup_error = platform::WSATRY_AGAIN;
  winsock.lookups6.clear();
  EXPECT_EQ(ErrorOf([] { SocketStack()->LookUpHost("flaky.example"); }), platform::WSATRY_AGAIN);
  EXPECT_TRUE(winsock.lookups6.empty());
  // Neither family: the IPv4 lookup's error, as before IPv6 was asked.
  winsock.lookup_error = platform::WSAHOST_NOT_FOUND;
  winsock.host_address6.reset();
  winsock.lookup6_error = platform::WSANO_DATA;
  EXPECT_EQ(ErrorOf([] { SocketStack()->LookUpHost("nowhere.example"); }),
            platform::WSAHOST_NOT_FOUND);
  EXPECT_EQ(winsock.lookups6.size(), 1u);
}

TEST(LookUpHostIPv6, AForcedFamilyAsksOnlyItsOwnLookupAndRefusesTheOther) {
  FakeWinsock winsock;
  winsock.host_address6 = V6("2001:db8::123");
  TIdUDPClient client;
  TIdStack& stack = *SocketStack();
  EXPECT_EQ(stack.LookUpHost("LocalHost", TIdFamilyChoice::IPv6Only),
            TIdIPAddress::IPv6(V6("::1")));
  EXPECT_EQ(stack.LookUpHost("LocalHost", TIdFamilyChoice::IPv4Only).ToString(), "127.0.0.1");
  EXPECT_EQ(stack.LookUpHost("both.example", TIdFamilyChoice::IPv6Only),
            TIdIPAddress::IPv6(V6("2001:db8::123")));
  EXPECT_TRUE(winsock.lookups.empty());
  EXPECT_EQ(stack.LookUpHost("both.example", TIdFamilyChoice::IPv4Only).ToString(), "192.0.2.5");
  EXPECT_EQ(winsock.lookups6.size(), 1u);
  EXPECT_EQ(ErrorOf([&] { stack.LookUpHost("10.0.0.1", TIdFamilyChoice::IPv6Only); }),
            platform::WSAEAFNOSUPPORT);
  EXPECT_EQ(ErrorOf([&] { stack.LookUpHost("[::1]", TIdFamilyChoice::IPv4Only); }),
            platform::WSAEAFNOSUPPORT);
  winsock.host_address.reset();
  EXPECT_EQ(ErrorOf([&] { stack.LookUpHost("v6only.example", TIdFamilyChoice::IPv4Only); }),
            platform::WSAHOST_NOT_FOUND);
  EXPECT_EQ(winsock.lookups6.size(), 1u) << "-4 never falls back to IPv6";
}

TEST(LookUpHostIPv6, ASendGoesOutOnAnIPv6SocketToTheTwentyEightByteAddress) {
  FakeWinsock winsock;
  TIdUDPClient client;
  client.SetHost("[2001:db8::123]");
  client.SetPort(123);
  client.SendDatagram(ntp::ToBytes("hello"));
  ASSERT_EQ(winsock.sent.size(), 1u);
  EXPECT_EQ(winsock.socket_families, (std::vector<int>{platform::WS_AF_INET6}));
  EXPECT_EQ(winsock.sent[0].family, platform::WS_AF_INET6);
  EXPECT_EQ(winsock.sent[0].address_length, 28);
  EXPECT_EQ(winsock.sent[0].address6, V6("2001:db8::123"));
  EXPECT_EQ(winsock.sent[0].port, 123);
  EXPECT_EQ(winsock.sent[0].data, "hello");
  // Back to IPv4: a socket of that family, and the 16-byte address as before.
  client.SetHost("192.0.2.9");
  client.SendDatagram(ntp::ToBytes("again"));
  EXPECT_EQ(winsock.socket_families.back(), platform::WS_AF_INET);
  EXPECT_EQ(winsock.sent[1].address_length, 16);
  EXPECT_EQ(winsock.sent[1].address, (std::array<uint8_t, 4>{192, 0, 2, 9}));
}

TEST(LookUpHostIPv6, ALibraryWithoutTheIPv6CallsStillCarriesIPv4AndSaysWhyNotIPv6) {
  for (const char* missing : {"getaddrinfo", "freeaddrinfo"}) {
    FakeWinsock winsock;
    winsock.missing_functions = {missing};
    winsock.host_address6 = V6("2001:db8::123");
    TIdUDPClient client;
    EXPECT_FALSE(SocketStack()->SupportsIPv6());
    EXPECT_EQ(SocketStack()->LookUpHost("both.example").ToString(), "192.0.2.5");
    try {
      SocketStack()->LookUpHost("::1");
      FAIL() << "no exception";
    } catch (const ntp::EIdIPv6Unavailable& e) {
      EXPECT_EQ(e.Message(),
                "IPv6 is not available: wsock32.dll has no getaddrinfo and freeaddrinfo.");
    }
    // A name without an IPv4 address keeps the IPv4 lookup's error.
    winsock.host_address.reset();
    EXPECT_EQ(ErrorOf([] { SocketStack()->LookUpHost("v6only.example"); }),
              platform::WSAHOST_NOT_FOUND);
    EXPECT_TRUE(winsock.lookups6.empty());
    // The socket layer itself refuses an IPv6 socket.
    EXPECT_THROW(SocketStack()->LookUpHost("x", TIdFamilyChoice::IPv6Only),
                 ntp::EIdIPv6Unavailable);
    client.SetHost("192.0.2.9");
    client.SendDatagram(ntp::ToBytes("v4 works"));
    EXPECT_EQ(winsock.sent.size(), 1u);
  }
}
