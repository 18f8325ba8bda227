#include "ntp/IdStack.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(SocketStack()->LookUpHost(name), "127.0.0.1");
  EXPECT_TRUE(winsock.lookups.empty());
}

TEST(LookUpHost, DottedQuadsAreUsedUnchanged) {
  FakeWinsock winsock;
  TIdUDPClient client;
  EXPECT_EQ(SocketStack()->LookUpHost("10.0.0.1"), "10.0.0.1");
  EXPECT_EQ(SocketStack()->LookUpHost("255.255.255.255"), "255.255.255.255");
  EXPECT_TRUE(winsock.lookups.empty());
}

TEST(LookUpHost, TextsThatAreNotDottedQuadsGoToTheLookup) {
  FakeWinsock winsock;
  TIdUDPClient client;
  for (const char* text : {"256.0.0.1", "1.2.3", "1.2.3.4.5", "a.b.c.d", "1..2.3", "pool.ntp.org"})
    EXPECT_EQ(SocketStack()->LookUpHost(text), "192.0.2.5") << text;
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

TEST(SocketErrorText, KnownNumbersHaveTheirTextsOthersNone) {
  EXPECT_EQ(TIdStack::SocketErrorText(10040), "Message too long.");
  EXPECT_EQ(TIdStack::SocketErrorText(10035), "Operation would block. ");
  EXPECT_EQ(TIdStack::SocketErrorText(10066), "Directory not empty");
  EXPECT_EQ(TIdStack::SocketErrorText(10004), "Interrupted system call.");
  EXPECT_EQ(TIdStack::SocketErrorText(11001), "");
  EXPECT_EQ(TIdStack::SocketErrorText(0), "");
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
