// The time service as the system tells it, against a private system bus with python-dbusmock's
// timedated, polkit and systemd stand-ins; the kernel's status through a fake adjtimex.
#include "platform/TimeService.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/dbus/DBusTimeService.h"
#include "support/FakeKernelTime.h"
#include "support/PrivateSystemBus.h"

namespace {

using platform::TimeServiceOutcome;
using testing_support::FakeKernelTime;
using testing_support::PrivateSystemBus;

const char* const kSetTime = "org.freedesktop.timedate1.set-time";
const char* const kSetNtp = "org.freedesktop.timedate1.set-ntp";

// What runs on the private bus for one row.
struct World {
  bool bus = true;
  bool timedated = true;
  bool systemd = true;
  bool ntp = false;
  bool synchronised = false;
  std::vector<std::string> active;    // units systemd says are active
  std::vector<std::string> inactive;  // loaded, not running
  std::vector<std::string> allowed;   // polkit actions the user is authorized for

  World& NoBus() { return bus = false, *this; }
  World& NoTimedated() { return timedated = false, *this; }
  World& NoSystemd() { return systemd = false, *this; }
  World& Ntp() { return ntp = true, *this; }
  World& Synced() { return synchronised = true, *this; }
  World& Active(std::vector<std::string> units) { return active = std::move(units), *this; }
  World& Inactive(std::vector<std::string> units) { return inactive = std::move(units), *this; }
  World& Allow(std::vector<std::string> actions) { return allowed = std::move(actions), *this; }
};

std::string JsonList(const std::vector<std::string>& names) {
  std::string text = "[";
  for (const std::string& name : names) text += (text.size() > 1 ? ",\"" : "\"") + name + "\"";
  return text + "]";
}

// Starts the row's world; the test fails (and stops) when a part does not start.
void Start(PrivateSystemBus& bus, const World& world) {
  // Nothing below may reach another bus than the test's.
  ASSERT_STREQ(std::getenv("DBUS_SYSTEM_BUS_ADDRESS"), bus.Address().c_str());
  ASSERT_STREQ(std::getenv(platform::dbus::kOnlyBusVariable), bus.Address().c_str());
  if (!world.bus) return;
  ASSERT_TRUE(bus.Ready()) << bus.Problem();
  ASSERT_TRUE(bus.StartMock("polkitd", "{}", "org.freedesktop.PolicyKit1")) << bus.Problem();
  ASSERT_TRUE(bus.AllowPolkitActions(world.allowed));
  if (world.timedated) {
    ASSERT_TRUE(
        bus.StartMock("mock_timedated.py",
                      std::string("{\"NTP\": ") + (world.ntp ? "true" : "false") +
                          ", \"NTPSynchronized\": " + (world.synchronised ? "true" : "false") + "}",
                      "org.freedesktop.timedate1"))
        << bus.Problem();
  }
  if (world.systemd) {
    ASSERT_TRUE(bus.StartMock("mock_systemd.py",
                              "{\"active\": " + JsonList(world.active) +
                                  ", \"inactive\": " + JsonList(world.inactive) + "}",
                              "org.freedesktop.systemd1"))
        << bus.Problem();
  }
}

// --- Facts ------------------------------------------------------------------------------------

struct FactsRow {
  const char* name;
  World world;
  int kernelState;   // adjtimex's clock state
  int kernelStatus;  // adjtimex's status word
  // Expected.
  bool busReachable, timedatedPresent, ntpOn, ntpSynchronized, servicesKnown;
  std::vector<std::string> services;
  bool kernelSynchronised;
  const char* kernelMode;  // in the summary
  bool overridden;         // the summary says an applied rate will be overridden
  const char* saysAlso;    // a further part of the summary
};

class TimeServiceFacts : public ::testing::TestWithParam<FactsRow> {};

TEST_P(TimeServiceFacts, SaysWhatTheSystemTells) {
  const FactsRow& row = GetParam();
  PrivateSystemBus bus(row.world.bus);
  Start(bus, row.world);
  FakeKernelTime kernel;
  kernel.state = row.kernelState;
  kernel.status = row.kernelStatus;

  platform::dbus::TDBusTimeService service(bus.Address());
  const platform::TimeServiceFacts facts = service.Facts();
  EXPECT_EQ(facts.busReachable, row.busReachable) << facts.reason;
  EXPECT_EQ(facts.timedatedPresent, row.timedatedPresent) << facts.reason;
  EXPECT_EQ(facts.ntpOn, row.ntpOn);
  EXPECT_EQ(facts.ntpSynchronized, row.ntpSynchronized);
  EXPECT_EQ(facts.servicesKnown, row.servicesKnown);
  EXPECT_EQ(facts.services, row.services);
  EXPECT_TRUE(facts.kernel.known);
  EXPECT_EQ(facts.kernel.synchronised, row.kernelSynchronised);

  const std::string summary = platform::TimeServiceSummary(facts);
  EXPECT_NE(summary.find(row.kernelMode), std::string::npos) << summary;
  EXPECT_NE(summary.find(row.saysAlso), std::string::npos) << summary;
  EXPECT_EQ(summary.find("will be overridden") != std::string::npos, row.overridden) << summary;
  // Unknown bus facts are said to be unknown, never stated.
  EXPECT_EQ(summary.find("cannot tell") != std::string::npos, !row.timedatedPresent) << summary;
}

constexpr int kSynchronisedPll = platform::kStaPll;
constexpr int kUnsynchronised = platform::kStaUnsync;

INSTANTIATE_TEST_SUITE_P(
    States, TimeServiceFacts,
    ::testing::Values(
        FactsRow{"OnAndSynchronisedByTimesyncd",
                 World().Ntp().Synced().Active({"systemd-timesyncd.service"}),
                 0,
                 kSynchronisedPll,
                 true,
                 true,
                 true,
                 true,
                 true,
                 {"systemd-timesyncd"},
                 true,
                 "PLL mode",
                 true,
                 "overridden by systemd-timesyncd"},
        FactsRow{"OnNotYetSynchronisedByChrony",
                 World().Ntp().Active({"chrony.service"}).Inactive({"systemd-timesyncd.service"}),
                 0,
                 kUnsynchronised,
                 true,
                 true,
                 true,
                 false,
                 true,
                 {"chrony"},
                 false,
                 "no PLL or FLL discipline",
                 true,
                 "(chrony), not synchronised"},
        FactsRow{"OffWithTheKernelFree",
                 World().Inactive({"systemd-timesyncd.service"}),
                 0,
                 kUnsynchronised,
                 true,
                 true,
                 false,
                 false,
                 true,
                 {},
                 false,
                 "clock not synchronised",
                 false,
                 "network time synchronisation off"},
        FactsRow{"OffWhileAnUnmanagedServiceKeepsTheKernelClock",
                 World(),
                 0,
                 kSynchronisedPll | platform::kStaFll,
                 true,
                 true,
                 false,
                 false,
                 true,
                 {},
                 true,
                 "FLL mode",
                 true,
                 "overridden by the time service"},
        FactsRow{"KernelTimeErrorIsNotSynchronised",
                 World().Ntp().Active({"ntpsec.service"}),
                 platform::kTimeError,
                 kSynchronisedPll,
                 true,
                 true,
                 true,
                 false,
                 true,
                 {"ntpsec"},
                 false,
                 "clock not synchronised, PLL mode",
                 true,
                 "overridden by ntpsec"},
        FactsRow{"SystemdAbsentLeavesTheServiceUnnamed",
                 World().NoSystemd().Ntp().Synced(),
                 0,
                 kSynchronisedPll,
                 true,
                 true,
                 true,
                 true,
                 false,
                 {},
                 true,
                 "PLL mode",
                 true,
                 "the system does not say which service"},
        FactsRow{"TimedatedAbsent",
                 World().NoTimedated().Active({"systemd-timesyncd.service"}),
                 0,
                 kUnsynchronised,
                 true,
                 false,
                 false,
                 false,
                 false,
                 {},
                 false,
                 "clock not synchronised",
                 false,
                 "systemd-timedated is not on the system bus"},
        FactsRow{"BusAbsent",
                 World().NoBus(),
                 0,
                 kSynchronisedPll,
                 false,
                 false,
                 false,
                 false,
                 false,
                 {},
                 true,
                 "PLL mode",
                 true,
                 "no system bus at"}),
    [](const ::testing::TestParamInfo<FactsRow>& info) { return info.param.name; });

TEST(TimeServiceKernel, AStatusTheKernelRefusesIsSaidUnknown) {
  FakeKernelTime kernel;
  kernel.fail = true;
  const platform::KernelClockStatus status = platform::ReadKernelClockStatus();
  EXPECT_FALSE(status.known);
  const std::string summary = platform::KernelClockSummary(status);
  EXPECT_NE(summary.find("cannot tell"), std::string::npos) << summary;
  platform::TimeServiceFacts facts;
  facts.kernel = status;
  EXPECT_FALSE(platform::ServiceKeepsTheClock(facts));
}

// --- Requests ---------------------------------------------------------------------------------

enum class Request { SetTime, NtpOff, NtpOn };

struct RequestRow {
  const char* name;
  World world;
  Request request;
  bool interactive;
  // Expected.
  TimeServiceOutcome outcome;
  size_t clockSets;         // SetTime calls the mock accepted
  const char* askedAction;  // the polkit action asked about; "" when polkit is not asked
  bool ntpAfter;            // timedated's NTP after the request (when timedated runs)
};

class TimeServiceRequests : public ::testing::TestWithParam<RequestRow> {};

// 90 s ahead: a relative change the mock takes against its clock when it grants it.
constexpr int64_t kAheadUsec = 90'000'000;

TEST_P(TimeServiceRequests, EndAsTheServiceAnswers) {
  const RequestRow& row = GetParam();
  PrivateSystemBus bus(row.world.bus);
  Start(bus, row.world);
  FakeKernelTime kernel;
  platform::dbus::TDBusTimeService service(bus.Address());

  timespec before{};
  ::clock_gettime(CLOCK_REALTIME, &before);
  platform::TimeServiceReply reply;
  if (row.request == Request::SetTime)
    reply = service.SetTime(kAheadUsec, true, row.interactive);
  else
    reply = service.SetNTP(row.request == Request::NtpOn, row.interactive);
  EXPECT_EQ(reply.outcome, row.outcome) << reply.message;
  EXPECT_EQ(reply.message.empty(), reply.outcome == TimeServiceOutcome::Done) << reply.message;
  if (!row.world.bus || !row.world.timedated) return;

  const auto sets = bus.ClockSets();
  ASSERT_EQ(sets.size(), row.clockSets);
  for (const auto& set : sets) {
    EXPECT_EQ(set.usec, kAheadUsec);
    EXPECT_TRUE(set.relative);
    EXPECT_EQ(set.interactive, row.interactive);
    EXPECT_EQ(set.target - set.clock, kAheadUsec);
    // The mock's clock when it granted the change, not the one before the request: never earlier.
    EXPECT_GE(set.clock, before.tv_sec * 1'000'000LL + before.tv_nsec / 1000);
  }
  const auto asked = bus.Authorizations();
  if (std::string(row.askedAction).empty()) {
    EXPECT_TRUE(asked.empty());
  } else {
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].action, row.askedAction);
    EXPECT_EQ(asked[0].flags, row.interactive ? 1u : 0u);
  }
  EXPECT_EQ(service.Facts().ntpOn, row.ntpAfter);
}

INSTANTIATE_TEST_SUITE_P(
    States, TimeServiceRequests,
    ::testing::Values(
        RequestRow{"SetTimeAuthorized", World().Allow({kSetTime}), Request::SetTime, true,
                   TimeServiceOutcome::Done, 1, kSetTime, false},
        RequestRow{"SetTimeAuthorizedWithoutAsking", World().Allow({kSetTime}), Request::SetTime,
                   false, TimeServiceOutcome::Done, 1, kSetTime, false},
        RequestRow{"SetTimeRefusedByPolkit", World().Allow({kSetNtp}), Request::SetTime, true,
                   TimeServiceOutcome::NotAuthorized, 0, kSetTime, false},
        RequestRow{"SetTimeRefusedWhileSynchronising", World().Ntp().Allow({kSetTime}),
                   Request::SetTime, true, TimeServiceOutcome::NtpOn, 0, "", true},
        RequestRow{"NtpTurnedOff", World().Ntp().Allow({kSetNtp}), Request::NtpOff, true,
                   TimeServiceOutcome::Done, 0, kSetNtp, false},
        RequestRow{"NtpTurnedOn", World().Allow({kSetNtp}), Request::NtpOn, true,
                   TimeServiceOutcome::Done, 0, kSetNtp, true},
        RequestRow{"NtpOffRefusedByPolkit", World().Ntp().Allow({kSetTime}), Request::NtpOff, true,
                   TimeServiceOutcome::NotAuthorized, 0, kSetNtp, true},
        RequestRow{"TimedatedAbsent", World().NoTimedated(), Request::SetTime, true,
                   TimeServiceOutcome::NoTimedated, 0, "", false},
        RequestRow{"BusAbsent", World().NoBus(), Request::NtpOn, true, TimeServiceOutcome::NoBus, 0,
                   "", false}),
    [](const ::testing::TestParamInfo<RequestRow>& info) { return info.param.name; });

// A run kept to its private bus refuses any other address, the machine's own included, before
// connecting to it.
TEST(TimeServiceGuard, RefusesEveryBusButThePrivateOne) {
  PrivateSystemBus bus(false);
  FakeKernelTime kernel;
  platform::dbus::TDBusTimeService machine("unix:path=/run/dbus/system_bus_socket");
  const platform::TimeServiceFacts facts = machine.Facts();
  EXPECT_FALSE(facts.busReachable);
  EXPECT_NE(facts.reason.find("is not the private bus"), std::string::npos) << facts.reason;
  EXPECT_EQ(machine.SetTime(1, true, false).outcome, TimeServiceOutcome::NoBus);
  EXPECT_EQ(machine.SetNTP(true, false).outcome, TimeServiceOutcome::NoBus);
}

}  // namespace
