#include "platform/TimeService.h"

#include "platform/LastError.h"

namespace platform {

namespace {

// What the program has when it installs no system service: it cannot tell.
class UnknownTimeService final : public TimeServiceApi {
 public:
  TimeServiceFacts Facts() override {
    TimeServiceFacts facts;
    facts.reason = NoTimeServiceReason();
    facts.kernel = ReadKernelClockStatus();
    return facts;
  }
  TimeServiceReply SetTime(int64_t, bool, bool) override {
    return {TimeServiceOutcome::NoBus, NoTimeServiceReason()};
  }
  TimeServiceReply SetNTP(bool, bool) override {
    return {TimeServiceOutcome::NoBus, NoTimeServiceReason()};
  }
};

TimeServiceApi*& SystemService() {
  static TimeServiceApi* service = nullptr;
  return service;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

KernelClockStatus DecodeKernelClock(int state, int status) {
  KernelClockStatus kernel;
  kernel.known = true;
  kernel.synchronised = (status & kStaUnsync) == 0 && state != kTimeError;
  kernel.discipline = (status & kStaPll) != 0;
  kernel.frequencyMode = (status & kStaFll) != 0;
  return kernel;
}

KernelClockStatus ReadKernelClockStatus() {
  int state = 0, status = 0;
  if (!Current<KernelTimeApi>().ReadKernelClock(&state, &status)) {
    KernelClockStatus kernel;
    kernel.reason =
        "the kernel gives no clock status (error " + std::to_string(GetLastError()) + ")";
    return kernel;
  }
  return DecodeKernelClock(state, status);
}

TimeServiceApi& TimeServiceApi::Real() {
  static UnknownTimeService unknown;
  return SystemService() ? *SystemService() : unknown;
}

void UseSystemTimeService(TimeServiceApi* service) {
  SystemService() = service;
}

std::string KernelClockSummary(const KernelClockStatus& kernel) {
  if (!kernel.known) return "kernel: cannot tell (" + kernel.reason + ")";
  std::string text =
      kernel.synchronised ? "kernel: clock synchronised, " : "kernel: clock not synchronised, ";
  if (kernel.frequencyMode)
    text += "FLL mode";
  else if (kernel.discipline)
    text += "PLL mode";
  else
    text += "no PLL or FLL discipline";
  return text;
}

bool ServiceKeepsTheClock(const TimeServiceFacts& facts) {
  if (facts.timedatedPresent && facts.ntpOn) return true;
  // A clock the kernel holds synchronised, or steers in its loop, is kept by some service even
  // where timedated does not know it.
  return facts.kernel.known && (facts.kernel.synchronised || facts.kernel.discipline);
}

bool TimesyncdInCharge(const TimeServiceFacts& facts) {
  return facts.servicesKnown && facts.services.size() == 1 &&
         facts.services.front() == "systemd-timesyncd";
}

std::string TimeServiceSummary(const TimeServiceFacts& facts) {
  std::string text;
  if (!facts.busReachable || !facts.timedatedPresent) {
    text = "cannot tell whether network time synchronisation is on (" + facts.reason + ")";
  } else {
    text = facts.ntpOn ? "network time synchronisation on" : "network time synchronisation off";
    if (!facts.services.empty())
      text += " (" + Joined(facts.services) + ")";
    else if (facts.ntpOn)
      text += facts.servicesKnown ? " (no running service the system names)"
                                  : " (the system does not say which service)";
    if (facts.ntpOn) text += facts.ntpSynchronized ? ", synchronised" : ", not synchronised";
  }
  text += "; " + KernelClockSummary(facts.kernel) + ".";
  if (ServiceKeepsTheClock(facts))
    text += " An applied rate will be overridden by " +
            (facts.services.empty() ? std::string("the time service") : Joined(facts.services)) +
            ".";
  return text;
}

}  // namespace platform
