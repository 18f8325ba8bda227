#pragma once
// What the NTS tests run against: chronyd as an NTS server on loopback ports with a certificate
// made for "localhost" and 127.0.0.1 by a test CA, a plain TLS server (openssl s_server) for
// handshakes that must fail, a key-establishment server that answers with crafted records, and
// a UDP relay that can tamper with the authenticated replies or send others before them.
// Each stops whatever happens to the test: its destructor ends it within a bounded time, and a
// child process dies with the test process.
#include <sys/types.h>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <memory>
#include <thread>

#include "support/ChronyServer.h"

namespace testing_support {

// A CA and certificates made with the openssl program in a folder of their own.
class TestCertificates {
 public:
  TestCertificates();
  bool Made() const { return problem_.isEmpty(); }
  const QString& Problem() const { return problem_; }
  QString CaFile() const { return path("ca.pem"); }
  QString OtherCaFile() const { return path("other-ca.pem"); }  // trusts nothing used here
  QString ServerCert() const { return path("server.pem"); }     // localhost, 127.0.0.1
  QString ServerKey() const { return path("server.key"); }
  QString WrongNameCert() const { return path("wrong.pem"); }  // wrong.example only
  QString WrongNameKey() const { return path("wrong.key"); }

 private:
  QString path(const char* name) const { return dir_.path() + "/" + name; }
  bool Run(const QStringList& arguments);
  QTemporaryDir dir_;
  QString problem_;
};

// chronyd serving NTS: key establishment on KePort(), NTP on Port().
class NtsChronyServer {
 public:
  explicit NtsChronyServer(const TestCertificates& certificates);
  bool Started() const { return server_ && server_->Started(); }
  QString Problem() const { return server_ ? server_->Problem() : problem_; }
  int Port() const { return server_->Port(); }
  int KePort() const { return ke_port_; }

 private:
  QTemporaryDir dir_;
  int ke_port_ = 0;
  QString problem_;
  std::unique_ptr<ChronyServer> server_;
};

// A test suite sharing one set of certificates and one NTS chronyd for all its tests; each test
// fails at its start when either could not be made.
class NtsServerSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    certificates_ = new TestCertificates;
    server_ = new NtsChronyServer(*certificates_);
  }
  static void TearDownTestSuite() {
    delete server_;
    delete certificates_;
    server_ = nullptr;
    certificates_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(certificates_->Made()) << certificates_->Problem().toStdString();
    ASSERT_TRUE(server_->Started()) << server_->Problem().toStdString();
  }

  static inline TestCertificates* certificates_ = nullptr;
  static inline NtsChronyServer* server_ = nullptr;
};

// `openssl s_server` on a loopback port with the given certificate; with `alpn` it offers that
// protocol, without it none.
class TlsServer {
 public:
  TlsServer(const QString& cert, const QString& key, const QString& alpn);
  ~TlsServer();
  bool Started() const { return started_; }
  int Port() const { return port_; }
  qint64 Pid() const { return process_.processId(); }
  QString Output();

 private:
  QProcess process_;
  int port_ = 0;
  bool started_ = false;
};

// Passes datagrams between a client and an NTP server on 127.0.0.1, changing the replies as its
// mode says.
class UdpRelay {
 public:
  enum class Mode {
    Forward,   // as they are
    FlipByte,  // one bit of one byte of each reply changed
    Replay,    // the first reply forwarded; every later request answered with it again
    Plain,     // only the reply's first 48 bytes: the genuine header, without authentication
    // The server's refusal of the cookie, made by the relay: a kiss of death "NTSN" ...
    RefuseFirst,      // ... with the request's unique identifier, for the first request only;
                      // later ones are forwarded
    RefuseOtherId,    // ... with an identifier one bit away from the request's, for every one
    RefuseWithoutId,  // ... without an identifier, for every one
    // Datagrams that come first, each followed by the genuine reply:
    ForgedFirst,     // the reply with one bit of its authenticator changed
    RefusalFirst,    // the refusal with the request's identifier
    MisshapenFirst,  // an empty datagram and one of 2000 bytes
    // Forged replies every 50 ms for four seconds, and never the genuine one.
    ForgedFlood,
  };
  UdpRelay(int server_port, Mode mode, int flip_at = 0);
  ~UdpRelay();
  int Port() const { return port_; }
  int Requests() const { return requests_; }

 private:
  void Run();
  int server_port_;
  Mode mode_;
  int flip_at_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  QByteArray first_reply_;
  std::thread thread_;
};

// A key-establishment server in the test process: TLS 1.3 on a loopback port with the test
// certificate and "ntske/1", that answers the first connection with `response`, written in TLS
// records of `record_bytes` each (1: every byte a record of its own), and then holds the
// connection until the client closes it. Every wait of its thread is bounded; the destructor
// ends it.
class ScriptedKeServer {
 public:
  ScriptedKeServer(const TestCertificates& certificates, QByteArray response,
                   int record_bytes = 16384);
  ~ScriptedKeServer();
  ScriptedKeServer(const ScriptedKeServer&) = delete;
  ScriptedKeServer& operator=(const ScriptedKeServer&) = delete;
  bool Started() const { return port_ > 0; }
  int Port() const { return port_; }

 private:
  void Run(const QString& cert, const QString& key);
  QByteArray response_;
  int record_bytes_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<int> connection_fd_{-1};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A TCP port on 127.0.0.1 that takes connections (the system completes them) and never says a
// word: a key-establishment server that hangs.
class SilentTcpServer {
 public:
  SilentTcpServer();
  ~SilentTcpServer();
  SilentTcpServer(const SilentTcpServer&) = delete;
  SilentTcpServer& operator=(const SilentTcpServer&) = delete;
  bool Started() const { return port_ > 0; }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A kiss of death "NTSN" answering the NTS request `request`: the header, and the request's
// unique identifier (one bit changed when `other_id`, left out when `with_id` is false).
QByteArray NtsRefusal(const QByteArray& request, bool with_id, bool other_id);

}  // namespace testing_support
