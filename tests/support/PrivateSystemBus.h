#pragma once
// A system bus of the test's own: dbus-daemon with a configuration in a temporary folder, and
// python-dbusmock services on it (systemd-timedated, polkit, systemd's units). The test process
// is pointed at it (DBUS_SYSTEM_BUS_ADDRESS) and kept to it (TEMPOMERE_ONLY_SYSTEM_BUS, which
// the D-Bus time service obeys), so that no test reaches the machine's own bus, its timedated or
// its clock. The daemon and the services die with the test process however it ends, and are
// killed when the object goes.
#include <sys/types.h>
#include <QDBusMessage>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class PrivateSystemBus {
 public:
  // Starts the daemon; with `running` false only points the process at an address where no bus
  // listens (a machine without a system bus).
  explicit PrivateSystemBus(bool running = true);
  ~PrivateSystemBus();
  PrivateSystemBus(const PrivateSystemBus&) = delete;
  PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

  const std::string& Address() const { return address_; }
  // Whether the daemon started and listens; the reason in Problem() when not.
  bool Ready() const { return problem_.empty(); }
  const std::string& Problem() const { return problem_; }

  // Starts python-dbusmock with `templateName` (a stock template or a file of tests/support,
  // "mock_timedated.py") and its JSON parameters, and waits until it owns `busName`. False with
  // Problem() set when it does not within the bound.
  bool StartMock(const std::string& templateName, const std::string& parametersJson,
                 const std::string& busName);
  // A call on the private bus, to arrange a mock or read what it recorded; the reply, or an
  // error message.
  QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& arguments = {});
  // The polkit mock says yes to these actions only.
  bool AllowPolkitActions(const std::vector<std::string>& actions);

  // What the timedated mock recorded: each accepted SetTime, and each question to polkit.
  struct ClockSet {
    int64_t usec = 0;
    bool relative = false;
    bool interactive = false;
    int64_t target = 0;  // the time it would have set, microseconds since 1970 UTC
    int64_t clock = 0;   // the real clock then, microseconds since 1970 UTC
  };
  std::vector<ClockSet> ClockSets();
  struct Authorization {
    std::string action;
    uint32_t flags = 0;  // 1: the user may be asked
    bool allowed = false;
  };
  std::vector<Authorization> Authorizations();

 private:
  pid_t Spawn(const std::vector<std::string>& arguments, const std::string& log);
  bool WaitForName(const std::string& busName);

  QTemporaryDir dir_;
  std::string address_;
  std::string problem_;
  std::vector<pid_t> children_;
  std::string previousAddress_;
  bool hadAddress_ = false;
};

// The folder of the mock templates (tests/support in the sources).
std::string MockTemplateFolder();

}  // namespace testing_support
