// Network Time Security against a real chronyd on loopback ports.
#include "ntp/NtsClient.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <thread>

#include "framework/IniFiles.h"
#include "ntp/NTPClient.h"
#include "platform/posix/PosixPrivateProfile.h"
#include "support/ChronyServer.h"
#include "support/FakeClock.h"
#include "support/NtsServer.h"

using namespace ntp;
using testing_support::ChronyServer;
using testing_support::FakeKernelClock;
using testing_support::SilentTcpServer;
using testing_support::TlsServer;
using testing_support::UdpRelay;

namespace {

class NtsChrony : public testing_support::NtsServerSuite {
 protected:
  std::string Host() const { return "nts://127.0.0.1:" + std::to_string(server_->KePort()); }
  // A client for the server that trusts the tests' CA.
  void Prepare(TNTPClient& client) const {
    client.SetHost(Host());
    client.SetPort(123);  // not used for an NTS host: key establishment names the port
    client.SetReceiveTimeout(1000);
    client.Nts.SetCaFile(certificates_->CaFile().toStdString());
  }
  // The message of the NTS error one query raises; "" when none is raised.
  static std::string QueryError(TNTPClient& client) {
    try {
      client.QueryServerTime();
    } catch (const EIdNtsError& e) {
      return e.Message();
    }
    return "";
  }
};

TEST_F(NtsChrony, AuthenticatedReplyIsValidWithTheServersFieldsAndTheClocksOffset) {
  TNTPClient client;
  Prepare(client);
  // How far key establishment had come at each full-resolution reading of the clock.
  std::vector<int> established_at_reading;
  client.SetPreciseClock([&] {
    established_at_reading.push_back(client.Nts.Establishments());
    return SystemClockNanoseconds();
  });
  const int64_t before = SystemClockNanoseconds();
  EXPECT_NE(client.QueryServerTime(), 0.0);
  const int64_t after = SystemClockNanoseconds();
  EXPECT_TRUE(client.Info.Valid);
  EXPECT_EQ(client.Info.Stratum, ChronyServer::kStratum);
  EXPECT_EQ(client.Info.Mode, 4);
  EXPECT_EQ(client.Info.Version, 4);
  // Server and client read one clock: the offset is within what the exchange allows, half its
  // round trip, and for the millisecond figures their truncation (2 ms) too.
  const double delay = client.Info.RoundTripDelay * 86400.0;
  EXPECT_LE(std::fabs(client.GetClockOffset() * 86400.0), delay / 2 + 0.002);
  EXPECT_EQ(client.Nts.Establishments(), 1);
  // The full-resolution figures: T1 and T4 read around the send and the receive, after key
  // establishment, within the query; chronyd's stamps may carry noise below its precision.
  EXPECT_TRUE(client.Precise.Valid);
  EXPECT_LE(before, client.Precise.Originate);
  EXPECT_LE(client.Precise.Originate, client.Precise.Destination);
  EXPECT_LE(client.Precise.Destination, after);
  EXPECT_EQ(established_at_reading, std::vector<int>(established_at_reading.size(), 1));
  EXPECT_GE(client.Precise.RoundTripDelay, -0.0001);
  EXPECT_LE(std::fabs(client.Precise.ClockOffset), client.Precise.RoundTripDelay / 2 + 0.0001);

  // With the computer's clock an hour and a half behind, the offset says so.
  FakeKernelClock slow(std::time(nullptr) - 5400);
  EXPECT_NE(client.QueryServerTime(), 0.0);
  EXPECT_TRUE(client.Info.Valid);
  EXPECT_NEAR(client.GetClockOffset() * 86400.0, 5400.0, 1.5);
  EXPECT_EQ(client.Nts.Establishments(), 1);  // the cookies of the first are used
}

TEST_F(NtsChrony, CookiesAreUsedOnceAndRefilledOverManyQueries) {
  TNTPClient client;
  Prepare(client);
  std::set<TIdBytes> sent;
  for (int i = 0; i < 30; ++i) {
    if (i > 0) {
      TNtsSession& session = client.Nts.Session(*ParseNtsHost(Host()), 1000);
      ASSERT_FALSE(session.Cookies.empty());
      EXPECT_TRUE(sent.insert(session.Cookies.front()).second) << "cookie used twice, query " << i;
    }
    ASSERT_NE(client.QueryServerTime(), 0.0) << "query " << i;
    if (i == 0) {
      TNtsSession& session = client.Nts.Session(*ParseNtsHost(Host()), 1000);
      EXPECT_EQ(session.Cookies.size(), kNtsCookieStore);
    }
  }
  EXPECT_EQ(client.Nts.Establishments(), 1);
  EXPECT_EQ(client.Nts.Session(*ParseNtsHost(Host()), 1000).Cookies.size(), kNtsCookieStore);
}

TEST_F(NtsChrony, EachKeyEstablishmentFailureRaisesItsOwnMessage) {
  {  // the certificate is signed by a CA the client was not told to trust
    TNTPClient client;
    Prepare(client);
    client.Nts.SetCaFile(certificates_->OtherCaFile().toStdString());
    const std::string message = QueryError(client);
    EXPECT_NE(message.find("is not trusted"), std::string::npos) << message;
    EXPECT_FALSE(client.Info.Valid);
  }
  {  // the system's trust store knows nothing of the tests' CA either
    TNTPClient client;
    Prepare(client);
    client.Nts.SetCaFile("");
    EXPECT_NE(QueryError(client).find("is not trusted"), std::string::npos);
  }
  {  // a CA file that cannot be read
    TNTPClient client;
    Prepare(client);
    client.Nts.SetCaFile("/nonexistent/ca.pem");
    EXPECT_NE(QueryError(client).find("cannot read the CA file \"/nonexistent/ca.pem\""),
              std::string::npos);
  }
  {  // a trusted certificate made out to another name
    TlsServer wrong(certificates_->WrongNameCert(), certificates_->WrongNameKey(), "ntske/1");
    ASSERT_TRUE(wrong.Started());
    TNTPClient client;
    Prepare(client);
    client.SetHost("nts://127.0.0.1:" + std::to_string(wrong.Port()));
    const std::string message = QueryError(client);
    EXPECT_NE(message.find("is not trusted (IP address mismatch)"), std::string::npos) << message;
  }
  {  // a TLS server that does not speak NTS key establishment
    TlsServer plain(certificates_->ServerCert(), certificates_->ServerKey(), "");
    ASSERT_TRUE(plain.Started());
    TNTPClient client;
    Prepare(client);
    client.SetHost("nts://127.0.0.1:" + std::to_string(plain.Port()));
    const std::string message = QueryError(client);
    EXPECT_NE(message.find("does not offer NTS"), std::string::npos) << message;
  }
  {  // nobody listens: a server without NTS has no key-establishment port
    ChronyServer plain_chrony;
    ASSERT_TRUE(plain_chrony.Started());
    const int closed = testing_support::FreeTcpPort();
    TNTPClient client;
    Prepare(client);
    client.SetHost("nts://127.0.0.1:" + std::to_string(closed));
    const std::string message = QueryError(client);
    EXPECT_NE(message.find("no connection to 127.0.0.1:" + std::to_string(closed)),
              std::string::npos)
        << message;
    EXPECT_EQ(client.Nts.Establishments(), 0);
  }
  {  // a name nobody knows (".invalid" is never given out)
    TNTPClient client;
    Prepare(client);
    client.SetHost("nts://no-such-host.invalid");
    EXPECT_EQ(QueryError(client), "NTS key establishment: host not found: no-such-host.invalid");
  }
}

TEST_F(NtsChrony, ARelayThatChangesReplaysOrStripsTheReplyGivesNoReplyNeverATime) {
  const TNtsHost host = *ParseNtsHost(Host());
  // Where no reply is to come, the query waits for one until its time-out: a short one.
  auto through = [&](UdpRelay& relay, TNTPClient& client, int receive_timeout_ms = 300) {
    Prepare(client);
    client.SetReceiveTimeout(receive_timeout_ms);
    client.Nts.Session(host, 1000).NtpPort = relay.Port();
  };
  {  // the relay itself changes nothing: a time
    UdpRelay relay(server_->Port(), UdpRelay::Mode::Forward);
    TNTPClient client;
    through(relay, client, 1000);
    EXPECT_NE(client.QueryServerTime(), 0.0);
    EXPECT_TRUE(client.Info.Valid);
  }
  // One bit changed in the header, the identifier, the authenticator's nonce and ciphertext.
  for (int at : {1, 40, 47, 48 + 4, 48 + 36 + 4, 48 + 36 + 8, 48 + 36 + 30}) {
    UdpRelay relay(server_->Port(), UdpRelay::Mode::FlipByte, at);
    TNTPClient client;
    through(relay, client);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(client.QueryServerTime(), 0.0) << "byte " << at;
      EXPECT_FALSE(client.Info.Valid) << "byte " << at;
    }
    EXPECT_EQ(relay.Requests(), 2);
  }
  {  // the first reply again, for the second request: its identifier answers the first
    UdpRelay relay(server_->Port(), UdpRelay::Mode::Replay);
    TNTPClient client;
    through(relay, client, 1000);
    EXPECT_NE(client.QueryServerTime(), 0.0);
    const TNTPInfo first = client.Info;
    EXPECT_EQ(client.QueryServerTime(), 0.0);
    EXPECT_FALSE(client.Info.Valid);
    EXPECT_EQ(client.Info.TransmitTime, first.TransmitTime);  // kept, not replaced
  }
  {  // the genuine header without its authentication
    UdpRelay relay(server_->Port(), UdpRelay::Mode::Plain);
    TNTPClient client;
    through(relay, client);
    EXPECT_EQ(client.QueryServerTime(), 0.0);
    EXPECT_FALSE(client.Info.Valid);
    EXPECT_EQ(client.Info.Stratum, 0);  // nothing of it was taken
  }
}

TEST_F(NtsChrony, SetComputerTimeMovesTheClockOnlyOnAnAuthenticatedReply) {
  const TNtsHost host = *ParseNtsHost(Host());
  const time_t now = std::time(nullptr);
  {
    FakeKernelClock clock(now - 5400);
    UdpRelay relay(server_->Port(), UdpRelay::Mode::Plain);
    TNTPClient client;
    Prepare(client);
    client.Nts.Session(host, 1000).NtpPort = relay.Port();
    EXPECT_FALSE(client.SetComputerTime());
    EXPECT_TRUE(clock.set_times.empty());
  }
  {
    FakeKernelClock clock(now - 5400);
    TNTPClient client;
    Prepare(client);
    EXPECT_TRUE(client.SetComputerTime());
    ASSERT_EQ(clock.set_times.size(), 1u);
    EXPECT_NEAR(static_cast<double>(clock.set_times[0].tv_sec), static_cast<double>(now), 3.0);
  }
}

TEST_F(NtsChrony, TheServersRefusalOfTheCookieMakesTheNextQueryEstablishKeysAgain) {
  const TNtsHost host = *ParseNtsHost(Host());
  {  // the relay answers the first request with "NTSN" and the request's identifier
    UdpRelay relay(server_->Port(), UdpRelay::Mode::RefuseFirst);
    TNTPClient client;
    Prepare(client);
    client.Nts.Session(host, 1000).NtpPort = relay.Port();
    EXPECT_EQ(client.QueryServerTime(), 0.0);
    EXPECT_FALSE(client.Info.Valid);
    EXPECT_EQ(client.Info.Version, 0);  // nothing of the kiss was taken
    EXPECT_EQ(relay.Requests(), 1);
    EXPECT_EQ(client.Nts.Establishments(), 1);
    // Key establishment again, and the new session's server is asked: a time.
    EXPECT_NE(client.QueryServerTime(), 0.0);
    EXPECT_TRUE(client.Info.Valid);
    EXPECT_EQ(client.Info.Version, 4);
    EXPECT_EQ(client.Nts.Establishments(), 2);
    EXPECT_EQ(relay.Requests(), 1);
    EXPECT_EQ(client.Nts.Session(host, 1000).Cookies.size(), kNtsCookieStore);
  }
  // A kiss that does not answer this request is no reply and changes nothing else: whoever
  // never saw the request cannot make the client drop its keys.
  for (UdpRelay::Mode mode : {UdpRelay::Mode::RefuseOtherId, UdpRelay::Mode::RefuseWithoutId}) {
    UdpRelay relay(server_->Port(), mode);
    TNTPClient client;
    Prepare(client);
    client.SetReceiveTimeout(300);  // no reply is to come
    client.Nts.Session(host, 1000).NtpPort = relay.Port();
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(client.QueryServerTime(), 0.0);
      EXPECT_FALSE(client.Info.Valid);
    }
    EXPECT_EQ(relay.Requests(), 2);
    TNtsSession& kept = client.Nts.Session(host, 1000);
    EXPECT_EQ(kept.NtpPort, relay.Port());
    EXPECT_EQ(kept.Cookies.size(), kNtsCookieStore - 2);
    EXPECT_EQ(client.Nts.Establishments(), 1);
  }
}

// Datagrams that come before the reply, from anyone on the path, spoil nothing: the reply that
// follows is taken, and a refusal that an authenticated reply follows leaves the keys alone.
TEST_F(NtsChrony, DatagramsAheadOfTheReplyAreReadPastAndTheTimeOutCountsFromTheSend) {
  const TNtsHost host = *ParseNtsHost(Host());
  for (UdpRelay::Mode mode : {UdpRelay::Mode::ForgedFirst, UdpRelay::Mode::RefusalFirst,
                              UdpRelay::Mode::MisshapenFirst}) {
    UdpRelay relay(server_->Port(), mode);
    TNTPClient client;
    Prepare(client);
    client.Nts.Session(host, 1000).NtpPort = relay.Port();
    for (int i = 0; i < 2; ++i) {
      EXPECT_NE(client.QueryServerTime(), 0.0) << static_cast<int>(mode) << ", query " << i;
      EXPECT_TRUE(client.Info.Valid);
    }
    EXPECT_EQ(relay.Requests(), 2);
    EXPECT_EQ(client.Nts.Establishments(), 1);
    EXPECT_EQ(client.Nts.Session(host, 1000).NtpPort, relay.Port());
  }
  {  // forged replies keep coming, four seconds long: the query ends at its time-out all the same
    UdpRelay relay(server_->Port(), UdpRelay::Mode::ForgedFlood);
    TNTPClient client;
    Prepare(client);
    client.Nts.Session(host, 1000).NtpPort = relay.Port();
    client.SetReceiveTimeout(500);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.QueryServerTime(), 0.0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_FALSE(client.Info.Valid);
    EXPECT_EQ(client.Nts.Establishments(), 1);
  }
}

TEST_F(NtsChrony, CookiesTheServerCannotReadAreRefusedAndReplacedByKeyEstablishment) {
  const TNtsHost host = *ParseNtsHost(Host());
  TNTPClient client;
  Prepare(client);
  ASSERT_NE(client.QueryServerTime(), 0.0);
  // The server's keys no longer open the cookies, as after it changed them.
  for (TIdBytes& cookie : client.Nts.Session(host, 1000).Cookies) cookie.back() ^= 0x01;
  EXPECT_EQ(client.QueryServerTime(), 0.0);
  EXPECT_FALSE(client.Info.Valid);
  EXPECT_EQ(client.Nts.Establishments(), 1);
  EXPECT_NE(client.QueryServerTime(), 0.0);
  EXPECT_TRUE(client.Info.Valid);
  EXPECT_EQ(client.Nts.Establishments(), 2);
}

TEST(NtsKeyEstablishmentTimeOut, IsTheReceiveTimeOutButNeverUnderTheFloor) {
  EXPECT_EQ(NtsKeTimeoutMs(500), kNtsKeShortestTimeoutMs);
  EXPECT_EQ(NtsKeTimeoutMs(0), kNtsKeShortestTimeoutMs);
  EXPECT_EQ(NtsKeTimeoutMs(kNtsKeShortestTimeoutMs - 1), kNtsKeShortestTimeoutMs);
  EXPECT_EQ(NtsKeTimeoutMs(kNtsKeShortestTimeoutMs + 1), kNtsKeShortestTimeoutMs + 1);
  EXPECT_EQ(NtsKeTimeoutMs(60000), 60000);
  EXPECT_LT(NtsKeTimeoutMs(TNTPClient::kWaitForever), 0);  // without limit, as the receive
}

TEST(NtsKeyEstablishmentTimeOut, AServerThatTakesTheConnectionAndNeverAnswersIsReported) {
  SilentTcpServer silent;
  ASSERT_TRUE(silent.Started());
  const std::string where = "127.0.0.1:" + std::to_string(silent.Port());
  for (int receive_ms : {500, kNtsKeShortestTimeoutMs + 500}) {
    TNTPClient client;
    client.SetHost("nts://" + where);
    client.SetReceiveTimeout(receive_ms);
    const int expected_ms = std::max(receive_ms, kNtsKeShortestTimeoutMs);
    const auto start = std::chrono::steady_clock::now();
    std::string message;
    try {
      client.QueryServerTime();
    } catch (const EIdNtsError& e) {
      message = e.Message();
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(message, "NTS key establishment: " + where + " did not answer within " +
                           std::to_string(expected_ms) + " ms");
    // It gave the server the whole time it says it did.
    EXPECT_GE(waited, std::chrono::milliseconds(expected_ms));
    EXPECT_FALSE(client.Info.Valid);
    EXPECT_EQ(client.Nts.Establishments(), 0);
  }
}

// Sets an environment variable for its lifetime, and puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* before = std::getenv(name);
    had_ = before != nullptr;
    if (had_) before_ = before;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, before_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string before_;
};

// Run only as the child of the test below: starts the servers, says their process ids, waits.
TEST(NtsTestServers, DISABLED_StartAndWaitToBeKilled) {
  testing_support::TestCertificates certificates;
  ASSERT_TRUE(certificates.Made()) << certificates.Problem().toStdString();
  ChronyServer chrony;
  TlsServer tls(certificates.ServerCert(), certificates.ServerKey(), "ntske/1");
  ASSERT_TRUE(chrony.Started()) << chrony.Problem().toStdString();
  ASSERT_TRUE(tls.Started());
  std::printf("server pids: %d %lld\n", static_cast<int>(chrony.Pid()),
              static_cast<long long>(tls.Pid()));
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::seconds(60));  // killed long before
}

// Whether the process has ended (a zombie left unreaped by whoever adopted it counts as ended)
// within five seconds.
bool Ends(pid_t pid) {
  for (int i = 0; i < 100; ++i) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    if (close < 0 || close + 2 >= text.size() || text[close + 2] == 'Z' || text[close + 2] == 'X')
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// A test process that dies, as under CTest's time-out, takes its servers with it and leaves
// nobody holding its output open: a chronyd left behind once kept CTest waiting 600 s.
TEST(NtsTestServers, DieWithTheTestProcessAndHoldNoneOfItsOutput) {
  QTemporaryDir temporary;  // for the child's files, which its death leaves behind
  ASSERT_TRUE(temporary.isValid());
  ScopedEnv tmpdir("TMPDIR", temporary.path().toStdString());
  int out[2];
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  std::string self = QCoreApplication::applicationFilePath().toStdString();
  std::string all = "--gtest_also_run_disabled_tests";
  std::string filter = "--gtest_filter=NtsTestServers.DISABLED_StartAndWaitToBeKilled";
  char* arguments[] = {self.data(), all.data(), filter.data(), nullptr};
  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, self.c_str(), &actions, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ASSERT_EQ(spawned, 0);
  // Its output up to the servers' process ids, for at most 60 s.
  std::string output;
  int chronyd = 0;
  long long s_server = 0;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (chronyd == 0 && std::chrono::steady_clock::now() < give_up) {
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 100) != 1) continue;
    char buffer[4096];
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    output.append(buffer, static_cast<std::size_t>(n));
    const std::size_t at = output.find("server pids: ");
    if (at != std::string::npos && output.find('\n', at) != std::string::npos)
      std::sscanf(output.c_str() + at, "server pids: %d %lld", &chronyd, &s_server);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  // The end of its output comes at once.
  bool ended = false;
  for (int i = 0; i < 50 && !ended; ++i) {
    pollfd p{out[0], POLLIN, 0};
    char buffer[4096];
    ended = ::poll(&p, 1, 100) == 1 && ::read(out[0], buffer, sizeof buffer) == 0;
  }
  ::close(out[0]);
  ASSERT_GT(chronyd, 0) << output;
  EXPECT_TRUE(ended) << "a process still holds the test's output open";
  EXPECT_TRUE(Ends(chronyd)) << "chronyd outlived the test process";
  EXPECT_TRUE(Ends(static_cast<pid_t>(s_server))) << "openssl s_server outlived the test process";
  // Whatever this test found, it leaves nothing running.
  ::kill(chronyd, SIGKILL);
  if (s_server > 0) ::kill(static_cast<pid_t>(s_server), SIGKILL);
}

TEST_F(NtsChrony, TheSystemsTrustStoreCanBeNamedByOpenSslsOwnVariables) {
  TNTPClient client;
  Prepare(client);
  client.Nts.SetCaFile("");
  {
    ScopedEnv file("SSL_CERT_FILE", certificates_->CaFile().toStdString());
    EXPECT_NE(client.QueryServerTime(), 0.0);
    EXPECT_TRUE(client.Info.Valid);
  }
  client.Nts.Forget(*ParseNtsHost(Host()));
  {  // a folder of certificates named by their hashes, as "openssl rehash" leaves it
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(certificates_->CaFile(), folder.path() + "/test-ca.pem"));
    ASSERT_EQ(QProcess::execute("openssl", {"rehash", folder.path()}), 0);
    ScopedEnv dir("SSL_CERT_DIR", folder.path().toStdString());
    EXPECT_NE(client.QueryServerTime(), 0.0);
    EXPECT_TRUE(client.Info.Valid);
  }
  client.Nts.Forget(*ParseNtsHost(Host()));
  EXPECT_NE(QueryError(client).find("is not trusted"), std::string::npos);  // the store again
  EXPECT_EQ(client.Nts.Establishments(), 2);
}

TEST_F(NtsChrony, AHostsOwnCaFileIsTrustedForThatHostAlone) {
  const TNtsHost host = *ParseNtsHost(Host());
  TNtsHost shouting = host;
  shouting.Name = "LOCALHOST";  // another host, though the certificate holds the name too
  const std::string other = certificates_->OtherCaFile().toStdString();
  const std::string right = certificates_->CaFile().toStdString();
  TNTPClient client;
  Prepare(client);
  client.Nts.SetCaFile(other);
  client.Nts.SetHostCaFile(host, right);
  EXPECT_EQ(client.Nts.CaFileFor(host), right);
  EXPECT_EQ(client.Nts.CaFileFor(shouting), other);
  EXPECT_NE(client.QueryServerTime(), 0.0);
  EXPECT_TRUE(client.Info.Valid);

  // Another host with the same certificate: the same address on another port, so that no name
  // lookup is needed (a machine may not know "localhost"). It is checked against the client's
  // own CA file until it is given the right one; its TLS handshake then holds, and what fails
  // is only that this server speaks no NTS.
  TlsServer same_certificate(certificates_->ServerCert(), certificates_->ServerKey(), "ntske/1");
  ASSERT_TRUE(same_certificate.Started()) << same_certificate.Output().toStdString();
  const std::string elsewhere = "nts://127.0.0.1:" + std::to_string(same_certificate.Port());
  client.SetHost(elsewhere);
  std::string message = QueryError(client);
  EXPECT_NE(message.find("is not trusted"), std::string::npos) << message;
  client.Nts.SetHostCaFile(*ParseNtsHost(elsewhere), right);
  message = QueryError(client);
  EXPECT_NE(message, "");
  EXPECT_EQ(message.find("is not trusted"), std::string::npos) << message;

  client.Nts.SetHostCaFile(host, "");  // back to the client's own
  EXPECT_EQ(client.Nts.CaFileFor(host), other);
}

TEST(NtsHostCaFiles, AreReadFromASettingsSectionKeyedByHost) {
  QTemporaryDir config;
  platform::PosixPrivateProfile profile{config.path().toStdString()};
  platform::ScopedOverride<platform::PrivateProfileApi> installed{profile};
  QFile file(config.path() + "/hosts.ini");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "[CurrentHosts]\nCount=1\nHost0=nts://a.example\nCurrentInx=0\n"
      "[NtsCaFiles]\n"
      "nts://a.example=/etc/a.pem\n"
      "NTS://B.Example:4461=/etc/b.pem\n"
      "c.example=/etc/c.pem\n"          // not an NTS host
      "nts://:4460=/etc/d.pem\n"        // no name
      "nts://e.example:0=/etc/e.pem\n"  // no port
      "nts://f.example=\n");
  file.close();
  TNtsClient nts;
  nts.SetCaFile("/etc/default.pem");
  nts.ReadHostCaFiles(framework::TIniFile("hosts.ini"), "NtsCaFiles");
  EXPECT_EQ(nts.CaFileFor(*ParseNtsHost("nts://a.example")), "/etc/a.pem");
  EXPECT_EQ(nts.CaFileFor(*ParseNtsHost("nts://A.EXAMPLE:4460")), "/etc/a.pem");
  EXPECT_EQ(nts.CaFileFor(*ParseNtsHost("nts://a.example:4461")), "/etc/default.pem");
  EXPECT_EQ(nts.CaFileFor(*ParseNtsHost("nts://b.example:4461")), "/etc/b.pem");
  EXPECT_EQ(nts.CaFileFor(*ParseNtsHost("nts://b.example")), "/etc/default.pem");
  EXPECT_EQ(nts.CaFileFor(*ParseNtsHost("nts://c.example")), "/etc/default.pem");
  EXPECT_EQ(nts.CaFileFor(TNtsHost{"", 4460}), "/etc/default.pem");
  EXPECT_EQ(nts.CaFileFor(TNtsHost{"e.example", 0}), "/etc/default.pem");
  EXPECT_EQ(nts.CaFileFor(*ParseNtsHost("nts://f.example")), "/etc/default.pem");
  // Neither a missing section nor a missing file names any.
  TNtsClient none;
  none.ReadHostCaFiles(framework::TIniFile("hosts.ini"), "NoSuchSection");
  none.ReadHostCaFiles(framework::TIniFile("missing.ini"), "NtsCaFiles");
  EXPECT_EQ(none.CaFileFor(*ParseNtsHost("nts://a.example")), "");
}

// The query tool, built beside the tests, asks NTS hosts given either way.
TEST_F(NtsChrony, TheQueryToolAsksAnNtsHostAndSaysWhyKeyEstablishmentFailed) {
  auto run = [](const QStringList& args, QString& out, QString& err) {
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + "/tempomere-query", args);
    EXPECT_TRUE(tool.waitForFinished(30000));
    out = QString::fromUtf8(tool.readAllStandardOutput());
    err = QString::fromUtf8(tool.readAllStandardError());
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
  };
  QString out, err;
  EXPECT_EQ(run({QString::fromStdString(Host()), "--ca-file", certificates_->CaFile()}, out, err),
            0)
      << err.toStdString();
  EXPECT_TRUE(out.contains("Version: 4\n")) << out.toStdString();
  EXPECT_TRUE(out.contains("Stratum: 3\n"));
  EXPECT_TRUE(out.contains("Valid: Yes\n"));
  const QString bare = QString("127.0.0.1:%1").arg(server_->KePort());
  EXPECT_EQ(run({"--ca-file", certificates_->CaFile(), "--nts", bare}, out, err), 0);
  EXPECT_TRUE(out.contains("Valid: Yes\n"));
  EXPECT_EQ(run({"--nts", bare, "--ca-file", certificates_->OtherCaFile()}, out, err), 2);
  EXPECT_TRUE(out.isEmpty());
  EXPECT_TRUE(
      err.startsWith("NTS key establishment: the certificate of " + bare + " is not trusted"))
      << err.toStdString();
  EXPECT_EQ(run({"--ca-file"}, out, err), 2);
  EXPECT_TRUE(err.contains("--ca-file needs a value"));
  // -p would name a port nobody asks: the server names its NTP port in key establishment.
  for (const QStringList& args :
       {QStringList{"-p", "123", QString::fromStdString(Host())},
        QStringList{"--nts", bare, "-p", QString::number(server_->Port())},
        QStringList{"-p", "4460", "NTS://127.0.0.1"}}) {
    EXPECT_EQ(run(args + QStringList{"--ca-file", certificates_->CaFile()}, out, err), 2)
        << args.join(' ').toStdString();
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.startsWith("-p cannot be used with an NTS host")) << err.toStdString();
    EXPECT_TRUE(err.contains("usage: tempomere-query"));
  }
}

TEST(NtsPlainHosts, APlainHostIsAskedWithThePlainRequest) {
  ChronyServer chrony;
  ASSERT_TRUE(chrony.Started()) << chrony.Problem().toStdString();
  TNTPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(chrony.Port());
  client.SetReceiveTimeout(500);
  EXPECT_NE(client.QueryServerTime(), 0.0);
  EXPECT_EQ(client.Info.Version, 3);  // the server answers in the request's version
  EXPECT_EQ(client.BufferSize(), 48);
  EXPECT_EQ(client.Nts.Establishments(), 0);
}

}  // namespace
