#pragma once
// A real NTP server for tests: chronyd on a free loopback port with a configuration of its own,
// serving its local clock at a fixed stratum and never touching the machine's clock.
#include <sys/types.h>
#include <QString>
#include <QTemporaryDir>

namespace testing_support {

// A TCP port nobody listens on right now on 127.0.0.1.
int FreeTcpPort();

class ChronyServer {
 public:
  static constexpr int kStratum = 3;

  // `extra_config`: more lines for chronyd's configuration (an NTS server's, for one).
  explicit ChronyServer(const QString& extra_config = {});
  ~ChronyServer();
  ChronyServer(const ChronyServer&) = delete;
  ChronyServer& operator=(const ChronyServer&) = delete;

  // False, with the reason in Problem(), when the server could not be started or never answered.
  bool Started() const { return pid_ > 0 && problem_.isEmpty(); }
  const QString& Problem() const { return problem_; }
  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }

 private:
  QTemporaryDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
  QString problem_;
};

}  // namespace testing_support
