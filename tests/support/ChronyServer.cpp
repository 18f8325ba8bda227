#include "support/ChronyServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <chrono>
#include <thread>

#include "support/FakeSntpServer.h"

namespace testing_support {

namespace {

int FreePort(int type) {
  const int fd = ::socket(AF_INET, type, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// A UDP port nobody holds right now on 127.0.0.1.
int FreeUdpPort() {
  return FreePort(SOCK_DGRAM);
}

// Whether an SNTP request to the port gets a reply within `wait_ms`.
bool Answers(int port, int wait_ms) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  QByteArray request(48, '\0');
  request[0] = 0x1B;
  uint32_t s = 0, f = 0;
  NtpNow(0, s, f);
  const uint32_t ns = htonl(s), nf = htonl(f);
  memcpy(request.data() + 40, &ns, 4);
  memcpy(request.data() + 44, &nf, 4);
  ::sendto(fd, request.constData(), 48, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
  pollfd p{fd, POLLIN, 0};
  const bool ready = ::poll(&p, 1, wait_ms) == 1;
  char buffer[128];
  const bool answered = ready && ::recv(fd, buffer, sizeof buffer, 0) >= 48;
  ::close(fd);
  return answered;
}

}  // namespace

int FreeTcpPort() {
  return FreePort(SOCK_STREAM);
}

ChronyServer::ChronyServer(const QString& extra_config) {
  // The test command unpacks chronyd into the build folder (bin/../chrony) rather than install
  // the chrony package, which would replace the machine's own time service; an installed one is
  // used where that is missing.
  QString program = QStandardPaths::findExecutable(
      "chronyd", {QCoreApplication::applicationDirPath() + "/../chrony/usr/sbin"});
  if (program.isEmpty())
    program = QStandardPaths::findExecutable("chronyd", {"/usr/sbin", "/sbin"});
  if (program.isEmpty()) program = QStandardPaths::findExecutable("chronyd");
  if (program.isEmpty()) {
    problem_ =
        "chronyd was not found: scripts/install-deps.sh --tests unpacks it into the build "
        "folder";
    return;
  }
  port_ = FreeUdpPort();
  const QString dir = dir_.path();
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                 QFile::ReadOther | QFile::ExeOther);
  QFile config(dir + "/chrony.conf");
  config.open(QIODevice::WriteOnly);
  config.write(QString("port %1\n"
                       "bindaddress 127.0.0.1\n"
                       "cmdport 0\n"
                       "local stratum %2\n"
                       "allow 127.0.0.1\n"
                       "pidfile %3/chronyd.pid\n")
                   .arg(port_)
                   .arg(kStratum)
                   .arg(dir)
                   .toUtf8());
  config.write(extra_config.toUtf8());
  config.close();

  const QByteArray program_path = program.toLocal8Bit();
  const QByteArray config_path = (dir + "/chrony.conf").toLocal8Bit();
  const QByteArray log_path = (dir + "/chronyd.log").toLocal8Bit();
  // -x: never control the clock; -d: stay in the foreground. As root it keeps root rather than
  // switching to a user that cannot read this folder; otherwise -U lets it run unprivileged.
  const bool root = ::geteuid() == 0;
  const pid_t test_process = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec: the test process may run threads.
    // The server dies with the test process, however that ends (a crash, CTest's time-out), and
    // holds none of its descriptors: with CTest's output pipe open it would keep CTest waiting.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != test_process) ::_exit(127);  // the test process ended before prctl
    const int null = ::open("/dev/null", O_RDONLY);
    const int log = ::open(log_path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null < 0 || log < 0 || ::dup2(null, 0) < 0 || ::dup2(log, 1) < 0 || ::dup2(log, 2) < 0)
      ::_exit(127);
    ::close_range(3, ~0U, 0);
    if (root)
      ::execl(program_path.constData(), "chronyd", "-f", config_path.constData(), "-x", "-d", "-u",
              "root", static_cast<char*>(nullptr));
    else
      ::execl(program_path.constData(), "chronyd", "-f", config_path.constData(), "-x", "-d", "-U",
              static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ < 0) {
    problem_ = "cannot start chronyd";
    return;
  }
  // Up to ten seconds for the server to start answering.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (Answers(port_, 200)) return;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      QFile log(QString::fromLocal8Bit(log_path));
      log.open(QIODevice::ReadOnly);
      problem_ = "chronyd exited: " + QString::fromLocal8Bit(log.readAll());
      return;
    }
  }
  problem_ = "chronyd never answered";
}

ChronyServer::~ChronyServer() {
  if (pid_ > 0) {
    // Two seconds to stop on its own, then killed; a killed process is reaped at once.
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (::waitpid(pid_, &status, WNOHANG) == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
  }
}

}  // namespace testing_support
