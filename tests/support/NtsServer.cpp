#include "support/NtsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QThread>
#include <algorithm>
#include <chrono>

namespace testing_support {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// Whether something accepts TCP connections on the port.
bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = Loopback(port);
  const bool connected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

TestCertificates::TestCertificates() {
  QFile ext(path("server.ext"));
  ext.open(QIODevice::WriteOnly);
  ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
  ext.close();
  QFile wrong_ext(path("wrong.ext"));
  wrong_ext.open(QIODevice::WriteOnly);
  wrong_ext.write("subjectAltName=DNS:wrong.example\n");
  wrong_ext.close();
  const QStringList key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
  const QStringList ca_ext = {"-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                              "keyUsage=critical,keyCertSign,cRLSign"};
  (void)(Run(QStringList{"req", "-x509"} + key + ca_ext +
             QStringList{"-keyout", path("ca.key"), "-out", CaFile(), "-days", "30", "-subj",
                         "/CN=Tempomere Test CA"}) &&
         Run(QStringList{"req", "-x509"} + key + ca_ext +
             QStringList{"-keyout", path("other-ca.key"), "-out", OtherCaFile(), "-days", "30",
                         "-subj", "/CN=Tempomere Other CA"}) &&
         Run(QStringList{"req"} + key +
             QStringList{"-keyout", ServerKey(), "-out", path("server.csr"), "-subj",
                         "/CN=localhost"}) &&
         Run({"x509", "-req", "-in", path("server.csr"), "-CA", CaFile(), "-CAkey", path("ca.key"),
              "-CAcreateserial", "-out", ServerCert(), "-days", "30", "-extfile",
              path("server.ext")}) &&
         Run(QStringList{"req"} + key +
             QStringList{"-keyout", WrongNameKey(), "-out", path("wrong.csr"), "-subj",
                         "/CN=wrong.example"}) &&
         Run({"x509", "-req", "-in", path("wrong.csr"), "-CA", CaFile(), "-CAkey", path("ca.key"),
              "-CAcreateserial", "-out", WrongNameCert(), "-days", "30", "-extfile",
              path("wrong.ext")}));
  // chronyd may read its key as another user.
  for (const char* name : {"server.key", "server.pem", "ca.pem"})
    QFile::setPermissions(path(name), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
  QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadOther | QFile::ExeOther);
}

bool TestCertificates::Run(const QStringList& arguments) {
  QProcess openssl;
  openssl.start("openssl", arguments);
  if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
    problem_ = "openssl " + arguments.join(' ') +
               " failed: " + QString::fromLocal8Bit(openssl.readAllStandardError()) +
               openssl.errorString();
    return false;
  }
  return true;
}

NtsChronyServer::NtsChronyServer(const TestCertificates& certificates) {
  if (!certificates.Made()) {
    problem_ = certificates.Problem();
    return;
  }
  ke_port_ = FreeTcpPort();
  QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
  server_ = std::make_unique<ChronyServer>(QString("ntsserverkey %1\n"
                                                   "ntsservercert %2\n"
                                                   "ntsport %3\n"
                                                   "ntsdumpdir %4\n")
                                               .arg(certificates.ServerKey())
                                               .arg(certificates.ServerCert())
                                               .arg(ke_port_)
                                               .arg(dir_.path()));
  if (!server_->Started()) return;
  // Key establishment starts listening beside NTP; wait until it accepts.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (Accepts(ke_port_)) return;
    QThread::msleep(100);
  }
  problem_ = "chronyd's key establishment never accepted";
  server_.reset();
}

TlsServer::TlsServer(const QString& cert, const QString& key, const QString& alpn) {
  port_ = FreeTcpPort();
  QStringList arguments = {"s_server", "-accept", QString("127.0.0.1:%1").arg(port_),
                           "-cert",    cert,      "-key",
                           key,        "-tls1_3", "-quiet"};
  if (!alpn.isEmpty()) arguments << "-alpn" << alpn;
  process_.setProcessChannelMode(QProcess::MergedChannels);
  // The server dies with the test process, however that ends.
  process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
  process_.start("openssl", arguments);
  if (!process_.waitForStarted(10000)) return;
  for (int attempt = 0; attempt < 50 && !started_; ++attempt) {
    started_ = Accepts(port_);
    if (!started_) QThread::msleep(100);
  }
}

TlsServer::~TlsServer() {
  process_.kill();
  process_.waitForFinished(5000);
}

QString TlsServer::Output() {
  return QString::fromLocal8Bit(process_.readAll());
}

UdpRelay::UdpRelay(int server_port, Mode mode, int flip_at)
    : server_port_(server_port), mode_(mode), flip_at_(flip_at) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address = Loopback(0);
  ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
}

UdpRelay::~UdpRelay() {
  stop_ = true;
  thread_.join();
  ::close(fd_);
}

void UdpRelay::Run() {
  const int upstream = ::socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in server = Loopback(server_port_);
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) != 1) continue;
    char buffer[2048];
    sockaddr_in client{};
    socklen_t length = sizeof client;
    const ssize_t n =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&client), &length);
    if (n <= 0) continue;
    ++requests_;
    QByteArray reply;
    const QByteArray request(buffer, static_cast<int>(n));
    const auto send = [&](const QByteArray& datagram) {
      ::sendto(fd_, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
               reinterpret_cast<sockaddr*>(&client), length);
    };
    if (mode_ == Mode::Replay && !first_reply_.isEmpty()) {
      reply = first_reply_;
    } else if ((mode_ == Mode::RefuseFirst && requests_ == 1) || mode_ == Mode::RefuseOtherId ||
               mode_ == Mode::RefuseWithoutId) {
      reply = NtsRefusal(request, mode_ != Mode::RefuseWithoutId, mode_ == Mode::RefuseOtherId);
    } else {
      ::sendto(upstream, buffer, static_cast<size_t>(n), 0,
               reinterpret_cast<const sockaddr*>(&server), sizeof server);
      pollfd q{upstream, POLLIN, 0};
      if (::poll(&q, 1, 2000) != 1) continue;
      const ssize_t m = ::recv(upstream, buffer, sizeof buffer, 0);
      if (m <= 0) continue;
      reply = QByteArray(buffer, static_cast<int>(m));
      if (first_reply_.isEmpty()) first_reply_ = reply;
      if (mode_ == Mode::FlipByte && flip_at_ < reply.size())
        reply[flip_at_] = reply[flip_at_] ^ 0x01;
      if (mode_ == Mode::Plain) reply.truncate(48);
      QByteArray forged = reply;
      constexpr int kInAuthenticator = 48 + 36 + 8;  // the nonce's first byte
      if (forged.size() > kInAuthenticator)
        forged[kInAuthenticator] = static_cast<char>(forged[kInAuthenticator] ^ 0x01);
      if (mode_ == Mode::ForgedFirst) send(forged);
      if (mode_ == Mode::RefusalFirst) send(NtsRefusal(request, true, false));
      if (mode_ == Mode::MisshapenFirst) {
        send(QByteArray());
        send(QByteArray(2000, 'x'));
      }
      if (mode_ == Mode::ForgedFlood) {
        for (int i = 0; i < 80 && !stop_; ++i) {
          send(forged);
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        continue;
      }
    }
    send(reply);
  }
  ::close(upstream);
}

namespace {

struct SslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

int SelectNtsKe(SSL*, const unsigned char** out, unsigned char* out_length,
                const unsigned char* offered, unsigned int offered_length, void*) {
  static const unsigned char kNtsKe[] = {7, 'n', 't', 's', 'k', 'e', '/', '1'};
  unsigned char* selected = nullptr;
  if (SSL_select_next_proto(&selected, out_length, kNtsKe, sizeof kNtsKe, offered,
                            offered_length) != OPENSSL_NPN_NEGOTIATED)
    return SSL_TLSEXT_ERR_ALERT_FATAL;
  *out = selected;
  return SSL_TLSEXT_ERR_OK;
}

}  // namespace

ScriptedKeServer::ScriptedKeServer(const TestCertificates& certificates, QByteArray response,
                                   int record_bytes)
    : response_(std::move(response)), record_bytes_(std::max(1, record_bytes)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (!certificates.Made() || listen_fd_ < 0 ||
      ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_fd_, 4) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(
      [this, cert = certificates.ServerCert(), key = certificates.ServerKey()] { Run(cert, key); });
}

ScriptedKeServer::~ScriptedKeServer() {
  stop_ = true;
  // Wakes a read or write the thread is blocked in; its other waits look at stop_ in turn.
  const int connection = connection_fd_;
  if (connection >= 0) ::shutdown(connection, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  if (connection_fd_ >= 0) ::close(connection_fd_);
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

void ScriptedKeServer::Run(const QString& cert, const QString& key) {
  // A client that closed early makes writes fail with EPIPE rather than kill the test process.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  std::unique_ptr<SSL_CTX, SslCtxFree> ctx(SSL_CTX_new(TLS_server_method()));
  if (!ctx) return;
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_3_VERSION);
  SSL_CTX_set_num_tickets(ctx.get(), 0);
  SSL_CTX_set_alpn_select_cb(ctx.get(), SelectNtsKe, nullptr);
  if (SSL_CTX_use_certificate_chain_file(ctx.get(), cert.toLocal8Bit().constData()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx.get(), key.toLocal8Bit().constData(), SSL_FILETYPE_PEM) != 1)
    return;
  // Up to 30 s for the client to connect.
  int fd = -1;
  for (int waited_ms = 0; fd < 0 && !stop_ && waited_ms < 30000; waited_ms += 100) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 100) == 1) fd = ::accept(listen_fd_, nullptr, nullptr);
  }
  if (fd < 0) return;
  // Closed by the destructor. Either it sees the descriptor and wakes what waits on it, or
  // this thread sees stop_.
  connection_fd_ = fd;
  if (stop_) return;
  // Every read and write gives up after 10 s.
  const timeval limit{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  std::unique_ptr<SSL, SslFree> ssl(SSL_new(ctx.get()));
  if (ssl && SSL_set_fd(ssl.get(), fd) == 1 && SSL_accept(ssl.get()) == 1) {
    // The client's request: its 16 bytes of records, read before answering.
    char request[16];
    std::size_t got = 0, n = 0;
    while (got < sizeof request && !stop_ &&
           SSL_read_ex(ssl.get(), request + got, sizeof request - got, &n) == 1)
      got += n;
    for (int at = 0; at < response_.size() && !stop_;) {
      const int chunk = std::min(record_bytes_, static_cast<int>(response_.size()) - at);
      if (SSL_write_ex(ssl.get(), response_.constData() + at, static_cast<std::size_t>(chunk),
                       &n) != 1)
        break;
      at += static_cast<int>(n);
    }
    // Held open until the client closes it (or 10 s pass without a word).
    char rest[256];
    while (!stop_ && SSL_read_ex(ssl.get(), rest, sizeof rest, &n) == 1) {
    }
  }
}

SilentTcpServer::SilentTcpServer() {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, 8) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  port_ = ntohs(address.sin_port);
}

SilentTcpServer::~SilentTcpServer() {
  if (fd_ >= 0) ::close(fd_);
}

QByteArray NtsRefusal(const QByteArray& request, bool with_id, bool other_id) {
  constexpr int kHeader = 48;
  constexpr uint16_t kUniqueIdentifier = 0x0104;
  QByteArray kiss(kHeader, '\0');
  kiss[0] = static_cast<char>(3 << 6 | 4 << 3 | 4);  // alarm, version 4, server
  kiss[1] = 0;                                       // stratum 0: a kiss code
  if (request.size() >= kHeader) {
    kiss[2] = request[2];
    kiss[3] = request[3];
    kiss.replace(24, 8, request.mid(40, 8));  // the request's transmit time as originate time
  }
  kiss.replace(12, 4, "NTSN");
  for (int at = kHeader; with_id && at + 4 <= request.size();) {
    const auto word = [&](int i) {
      return static_cast<uint16_t>(static_cast<uint8_t>(request[i]) << 8 |
                                   static_cast<uint8_t>(request[i + 1]));
    };
    const int length = word(at + 2);
    if (length < 4 || at + length > request.size()) break;
    if (word(at) == kUniqueIdentifier) {
      QByteArray field = request.mid(at, length);
      if (other_id && length > 4) field[4] = static_cast<char>(field[4] ^ 0x01);
      kiss += field;
      break;
    }
    at += length;
  }
  return kiss;
}

}  // namespace testing_support
