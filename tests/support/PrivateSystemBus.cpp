#include "support/PrivateSystemBus.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>
#include <cstdlib>

#include "platform/dbus/DBusTimeService.h"

namespace testing_support {

namespace {

// Bounds, ms: the daemon's socket appears and a mock claims its name well within these on a
// loaded machine; past them the test fails with a message instead of hanging.
constexpr int kStartBoundMs = 15000;
constexpr int kPollMs = 20;

// The tests' bus configuration: the system bus's type, listening only on the folder's socket,
// every name and message allowed (the mocks stand in for root services).
QByteArray BusConfiguration(const QString& socket) {
  return QString(
             "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
             "<busconfig>\n"
             "  <type>system</type>\n"
             "  <listen>unix:path=%1</listen>\n"
             "  <auth>EXTERNAL</auth>\n"
             "  <policy context=\"default\">\n"
             "    <allow user=\"*\"/>\n"
             "    <allow own=\"*\"/>\n"
             "    <allow send_type=\"method_call\"/><allow send_type=\"signal\"/>\n"
             "    <allow send_type=\"method_return\"/><allow send_type=\"error\"/>\n"
             "    <allow receive_type=\"method_call\"/><allow receive_type=\"signal\"/>\n"
             "    <allow receive_type=\"method_return\"/><allow receive_type=\"error\"/>\n"
             "  </policy>\n"
             "</busconfig>\n")
      .arg(socket)
      .toUtf8();
}

}  // namespace

std::string MockTemplateFolder() {
  return TEMPOMERE_TEST_SUPPORT_DIR;
}

PrivateSystemBus::PrivateSystemBus(bool running) {
  if (const char* previous = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
    hadAddress_ = true;
    previousAddress_ = previous;
  }
  const QString socket = dir_.path() + "/system_bus_socket";
  address_ = "unix:path=" + socket.toStdString();
  // From here on this process uses no other bus, whatever the test does.
  ::setenv(platform::dbus::kOnlyBusVariable, address_.c_str(), 1);
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
  if (!running) return;

  const QString config = dir_.path() + "/bus.conf";
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly) || file.write(BusConfiguration(socket)) < 0) {
    problem_ = "cannot write " + config.toStdString();
    return;
  }
  file.close();
  if (Spawn({"/usr/bin/dbus-daemon", "--config-file=" + config.toStdString(), "--nofork",
             "--nopidfile"},
            dir_.path().toStdString() + "/dbus-daemon.log") < 0)
    return;
  const QDeadlineTimer deadline(kStartBoundMs);
  while (!QFileInfo::exists(socket)) {
    if (deadline.hasExpired()) {
      problem_ = "dbus-daemon made no socket within " + std::to_string(kStartBoundMs) + " ms";
      return;
    }
    QThread::msleep(kPollMs);
  }
}

PrivateSystemBus::~PrivateSystemBus() {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    ::kill(*it, SIGKILL);
    ::waitpid(*it, nullptr, 0);
  }
  // The process stays kept to an address where nothing listens: no later code in it may fall
  // back to the machine's bus.
  const std::string nowhere = "unix:path=" + dir_.path().toStdString() + "/gone";
  ::setenv(platform::dbus::kOnlyBusVariable, nowhere.c_str(), 1);
  if (hadAddress_)
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", previousAddress_.c_str(), 1);
  else
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

pid_t PrivateSystemBus::Spawn(const std::vector<std::string>& arguments, const std::string& log) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t test_process = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls: the child dies with the test process (a crash, CTest's
    // time-out) and holds none of its descriptors.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != test_process) ::_exit(127);
    const int null = ::open("/dev/null", O_RDONLY);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (null < 0 || out < 0 || ::dup2(null, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0)
      ::_exit(127);
    ::close_range(3, ~0U, 0);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pid < 0) {
    problem_ = "cannot start " + arguments.front();
    return -1;
  }
  children_.push_back(pid);
  return pid;
}

bool PrivateSystemBus::StartMock(const std::string& templateName, const std::string& parametersJson,
                                 const std::string& busName) {
  if (!Ready()) return false;
  std::string chosen = templateName;
  if (chosen.ends_with(".py")) chosen = MockTemplateFolder() + "/" + chosen;
  // Debian's own Python, which has python3-dbusmock, whatever else comes first on PATH.
  if (Spawn({"/usr/bin/python3", "-m", "dbusmock", "--template", chosen, "-p", parametersJson},
            dir_.path().toStdString() + "/mocks.log") < 0)
    return false;
  return WaitForName(busName);
}

bool PrivateSystemBus::WaitForName(const std::string& busName) {
  const QString name = "tempomere-test-bus-watch";
  bool owned = false;
  {
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    const QDeadlineTimer deadline(kStartBoundMs);
    while (bus.isConnected() && !deadline.hasExpired()) {
      const auto reply = bus.interface()->isServiceRegistered(QString::fromStdString(busName));
      if (reply.isValid() && reply.value()) {
        owned = true;
        break;
      }
      QThread::msleep(kPollMs);
    }
  }
  QDBusConnection::disconnectFromBus(name);
  if (!owned)
    problem_ = "no mock took " + busName + " within " + std::to_string(kStartBoundMs) + " ms (" +
               dir_.path().toStdString() + "/mocks.log)";
  return owned;
}

QDBusMessage PrivateSystemBus::Call(const QString& service, const QString& path,
                                    const QString& interface, const QString& method,
                                    const QVariantList& arguments) {
  const QString name = "tempomere-test-bus-arrange";
  QDBusMessage reply;
  {
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    reply = bus.call(call, QDBus::Block, kStartBoundMs);
  }
  QDBusConnection::disconnectFromBus(name);
  return reply;
}

bool PrivateSystemBus::AllowPolkitActions(const std::vector<std::string>& actions) {
  QStringList list;
  for (const std::string& action : actions) list << QString::fromStdString(action);
  return Call("org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
              "org.freedesktop.DBus.Mock", "SetAllowed", {list})
             .type() == QDBusMessage::ReplyMessage;
}

std::vector<PrivateSystemBus::ClockSet> PrivateSystemBus::ClockSets() {
  std::vector<ClockSet> sets;
  const QDBusMessage reply = Call("org.freedesktop.timedate1", "/org/freedesktop/timedate1",
                                  "org.freedesktop.DBus.Mock", "GetClockSets");
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return sets;
  const QDBusArgument array = reply.arguments().at(0).value<QDBusArgument>();
  array.beginArray();
  while (!array.atEnd()) {
    ClockSet set;
    qlonglong usec = 0, target = 0, clock = 0;
    array.beginStructure();
    array >> usec >> set.relative >> set.interactive >> target >> clock;
    array.endStructure();
    set.usec = usec;
    set.target = target;
    set.clock = clock;
    sets.push_back(set);
  }
  array.endArray();
  return sets;
}

std::vector<PrivateSystemBus::Authorization> PrivateSystemBus::Authorizations() {
  std::vector<Authorization> asked;
  const QDBusMessage reply = Call("org.freedesktop.timedate1", "/org/freedesktop/timedate1",
                                  "org.freedesktop.DBus.Mock", "GetAuthorizations");
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return asked;
  const QDBusArgument array = reply.arguments().at(0).value<QDBusArgument>();
  array.beginArray();
  while (!array.atEnd()) {
    Authorization authorization;
    QString action;
    uint flags = 0;
    array.beginStructure();
    array >> action >> flags >> authorization.allowed;
    array.endStructure();
    authorization.action = action.toStdString();
    authorization.flags = flags;
    asked.push_back(authorization);
  }
  array.endArray();
  return asked;
}

}  // namespace testing_support
