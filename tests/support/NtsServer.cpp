#include "support/NtsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QThread>

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
    }
    ::sendto(fd_, reply.constData(), static_cast<size_t>(reply.size()), 0,
             reinterpret_cast<sockaddr*>(&client), length);
  }
  ::close(upstream);
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
