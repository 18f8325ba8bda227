#include "platform/dbus/DBusTimeService.h"

#include <QAtomicInt>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QVariantMap>
#include <algorithm>
#include <cstdlib>

namespace platform::dbus {

namespace {

constexpr const char* kDefaultSystemBus = "unix:path=/run/dbus/system_bus_socket";

const QString kTimedated = "org.freedesktop.timedate1";
const QString kTimedatedPath = "/org/freedesktop/timedate1";
const QString kSystemd = "org.freedesktop.systemd1";
const QString kSystemdPath = "/org/freedesktop/systemd1";
const QString kProperties = "org.freedesktop.DBus.Properties";

// timedated's refusal while a synchronising service runs.
const QString kAutomaticTimeSyncEnabled = "org.freedesktop.timedate1.AutomaticTimeSyncEnabled";

// One private connection for one request, closed with it: a bus that went away (or was
// restarted) is met anew by the next request, never through a stale shared connection.
class Bus {
 public:
  explicit Bus(const std::string& address)
      : name_("tempomere-time-service-" + QString::number(Counter().fetchAndAddRelaxed(1))),
        connection_(QDBusConnection::connectToBus(QString::fromStdString(address), name_)) {}
  ~Bus() { QDBusConnection::disconnectFromBus(name_); }
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  bool Connected() const { return connection_.isConnected(); }
  std::string Why() const { return connection_.lastError().message().toStdString(); }
  QDBusMessage Call(const QDBusMessage& message, int timeoutMs, bool interactive) {
    QDBusMessage sent = message;
    sent.setInteractiveAuthorizationAllowed(interactive);
    // While polkit's prompt waits for the user the window keeps drawing.
    return connection_.call(sent, interactive ? QDBus::BlockWithGui : QDBus::Block, timeoutMs);
  }

 private:
  static QAtomicInt& Counter() {
    static QAtomicInt counter;
    return counter;
  }
  QString name_;
  QDBusConnection connection_;
};

bool ServiceMissing(const QDBusMessage& reply) {
  const QString name = reply.errorName();
  return name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
         name == "org.freedesktop.DBus.Error.NameHasNoOwner";
}

bool NoAnswer(const QDBusMessage& reply) {
  const QString name = reply.errorName();
  return name == "org.freedesktop.DBus.Error.NoReply" ||
         name == "org.freedesktop.DBus.Error.Timeout" ||
         name == "org.freedesktop.DBus.Error.TimedOut";
}

bool Refused(const QDBusMessage& reply) {
  const QString name = reply.errorName();
  return name == "org.freedesktop.DBus.Error.AccessDenied" ||
         name == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" ||
         name.startsWith("org.freedesktop.PolicyKit1.Error.");
}

// Why an address may not be used, or nothing: in a test run only the test's own bus.
std::string Forbidden(const std::string& address) {
  const char* only = std::getenv(kOnlyBusVariable);
  if (only && address != only)
    return "the bus at " + address + " is not the private bus " + only + " this run is kept to";
  return {};
}

TimeServiceReply Outcome(const QDBusMessage& reply, int timeoutMs) {
  if (reply.type() != QDBusMessage::ErrorMessage) return {TimeServiceOutcome::Done, {}};
  const std::string text = reply.errorMessage().toStdString();
  if (reply.errorName() == kAutomaticTimeSyncEnabled) return {TimeServiceOutcome::NtpOn, text};
  if (Refused(reply)) return {TimeServiceOutcome::NotAuthorized, text};
  if (ServiceMissing(reply))
    return {TimeServiceOutcome::NoTimedated, "systemd-timedated is not on the system bus"};
  if (NoAnswer(reply))
    return {TimeServiceOutcome::TimedOut, "systemd-timedated did not answer within " +
                                              std::to_string(timeoutMs / 1000) + " seconds"};
  return {TimeServiceOutcome::Failed, text.empty() ? reply.errorName().toStdString() : text};
}

// What is left of one facts query's time, in ms: the whole query, a dozen calls, is bounded by
// kQueryTimeoutMs together, so a hung service stalls the window once, not once per call.
int Left(const QDeadlineTimer& deadline) {
  return static_cast<int>(std::max<qint64>(1, deadline.remainingTime()));
}

// The units among kSynchronisingUnits that systemd says are active; false when systemd cannot
// say (not on the bus, or an answer that is neither a unit nor "no such unit", or no time left).
bool ActiveUnits(Bus& bus, const QDeadlineTimer& deadline, std::vector<std::string>* active) {
  for (const char* unit : kSynchronisingUnits) {
    if (deadline.hasExpired()) return false;
    QDBusMessage get =
        QDBusMessage::createMethodCall(kSystemd, kSystemdPath, kSystemd + ".Manager", "GetUnit");
    get << QString(unit);
    const QDBusMessage path = bus.Call(get, Left(deadline), false);
    if (path.type() == QDBusMessage::ErrorMessage) {
      // A unit systemd has not loaded is not running.
      if (path.errorName() == kSystemd + ".NoSuchUnit") continue;
      return false;
    }
    if (path.arguments().isEmpty()) return false;
    const QDBusObjectPath object = qvariant_cast<QDBusObjectPath>(path.arguments().at(0));
    QDBusMessage state =
        QDBusMessage::createMethodCall(kSystemd, object.path(), kProperties, "Get");
    state << kSystemd + ".Unit" << QString("ActiveState");
    const QDBusMessage value = bus.Call(state, Left(deadline), false);
    if (value.type() == QDBusMessage::ErrorMessage || value.arguments().isEmpty()) return false;
    const QString activeState =
        qvariant_cast<QDBusVariant>(value.arguments().at(0)).variant().toString();
    if (activeState == "active" || activeState == "reloading") {
      std::string name = unit;
      active->push_back(name.substr(0, name.size() - std::string(".service").size()));
    }
  }
  return true;
}

}  // namespace

std::string SystemBusAddress() {
  const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  return address && *address ? address : kDefaultSystemBus;
}

TDBusTimeService::TDBusTimeService(std::string address)
    : address_(address.empty() ? SystemBusAddress() : std::move(address)) {}

TimeServiceFacts TDBusTimeService::Facts() {
  TimeServiceFacts facts;
  facts.kernel = ReadKernelClockStatus();
  const QDeadlineTimer deadline(kQueryTimeoutMs);
  if (const std::string forbidden = Forbidden(address_); !forbidden.empty()) {
    facts.reason = forbidden;
    return facts;
  }
  Bus bus(address_);
  if (!bus.Connected()) {
    facts.reason = "no system bus at " + address_ + ": " + bus.Why();
    return facts;
  }
  facts.busReachable = true;
  QDBusMessage getAll =
      QDBusMessage::createMethodCall(kTimedated, kTimedatedPath, kProperties, "GetAll");
  getAll << kTimedated;
  const QDBusMessage reply = bus.Call(getAll, Left(deadline), false);
  if (reply.type() == QDBusMessage::ErrorMessage || reply.arguments().isEmpty()) {
    facts.reason = ServiceMissing(reply)
                       ? "systemd-timedated is not on the system bus"
                       : "systemd-timedated did not answer: " + reply.errorMessage().toStdString();
    return facts;
  }
  const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().at(0));
  facts.timedatedPresent = true;
  facts.ntpOn = properties.value("NTP").toBool();
  facts.ntpSynchronized = properties.value("NTPSynchronized").toBool();
  facts.canNtp = properties.value("CanNTP").toBool();
  facts.servicesKnown = ActiveUnits(bus, deadline, &facts.services);
  if (!facts.servicesKnown) facts.services.clear();
  return facts;
}

TimeServiceReply TDBusTimeService::SetTime(int64_t usec, bool relative, bool interactive) {
  if (const std::string forbidden = Forbidden(address_); !forbidden.empty())
    return {TimeServiceOutcome::NoBus, forbidden};
  Bus bus(address_);
  if (!bus.Connected()) return {TimeServiceOutcome::NoBus, bus.Why()};
  QDBusMessage call =
      QDBusMessage::createMethodCall(kTimedated, kTimedatedPath, kTimedated, "SetTime");
  call << static_cast<qlonglong>(usec) << relative << interactive;
  const int timeout = interactive ? kInteractiveTimeoutMs : kQueryTimeoutMs;
  return Outcome(bus.Call(call, timeout, interactive), timeout);
}

TimeServiceReply TDBusTimeService::SetNTP(bool useNtp, bool interactive) {
  if (const std::string forbidden = Forbidden(address_); !forbidden.empty())
    return {TimeServiceOutcome::NoBus, forbidden};
  Bus bus(address_);
  if (!bus.Connected()) return {TimeServiceOutcome::NoBus, bus.Why()};
  QDBusMessage call =
      QDBusMessage::createMethodCall(kTimedated, kTimedatedPath, kTimedated, "SetNTP");
  call << useNtp << interactive;
  const int timeout = interactive ? kInteractiveTimeoutMs : kQueryTimeoutMs;
  return Outcome(bus.Call(call, timeout, interactive), timeout);
}

void UseSystemBus() {
  static TDBusTimeService system;
  UseSystemTimeService(&system);
}

}  // namespace platform::dbus
