#pragma once
// The time service over the system bus: systemd-timedated (org.freedesktop.timedate1) for the
// synchronisation facts, SetTime and SetNTP, systemd (org.freedesktop.systemd1) for which
// synchronising service runs. Every call has a bounded time-out; nothing is guessed when the
// bus or a service does not answer. Qt D-Bus, so apart from the standard-C++ platform library.
#include <string>

#include "platform/TimeService.h"

namespace platform::dbus {

// The system bus's address: DBUS_SYSTEM_BUS_ADDRESS, else the well-known socket.
std::string SystemBusAddress();

// When this variable is set (the test suites set it to their private bus), no other bus
// address is ever used: the service refuses it as if there were no bus.
inline constexpr const char* kOnlyBusVariable = "TEMPOMERE_ONLY_SYSTEM_BUS";

// The synchronising services asked about, as systemd names their units (Debian's names and the
// upstream ones).
inline constexpr const char* kSynchronisingUnits[] = {
    "systemd-timesyncd.service",
    "chrony.service",
    "chronyd.service",
    "ntpsec.service",
    "ntp.service",
    "ntpd.service",
    "openntpd.service",
};

class TDBusTimeService final : public TimeServiceApi {
 public:
  // The bus at `address`; the system bus's address when empty.
  explicit TDBusTimeService(std::string address = {});

  TimeServiceFacts Facts() override;
  TimeServiceReply SetTime(int64_t usec, bool relative, bool interactive) override;
  TimeServiceReply SetNTP(bool useNtp, bool interactive) override;

 private:
  std::string address_;
};

// Installs the system bus's service as the program's time service (UseSystemTimeService).
void UseSystemBus();

}  // namespace platform::dbus
