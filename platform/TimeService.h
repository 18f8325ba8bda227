#pragma once
// The system's time service as the desktop sees it: whether a service synchronises the clock
// with network time, which one where the system names it, the kernel's own view of its clock,
// and the desktop's way to set the clock and to turn network time on and off (on Linux
// systemd-timedated, which asks polkit). Standard C++ only: the D-Bus implementation lives in its
// own library (platform/dbus) and the program installs it at start (UseSystemTimeService).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Seam.h"

namespace platform {

// The kernel clock's status word as adjtimex reports it (Linux ABI values).
inline constexpr int kStaPll = 0x0001;     // phase-locked loop updates enabled
inline constexpr int kStaFll = 0x0008;     // frequency-locked loop mode instead of PLL
inline constexpr int kStaUnsync = 0x0040;  // the clock is not synchronised
// adjtimex's clock state TIME_ERROR: the clock is not synchronised whatever the status says.
inline constexpr int kTimeError = 5;

// The kernel's own view of its clock.
struct KernelClockStatus {
  bool known = false;          // false: `reason` says why it could not be read
  bool synchronised = false;   // STA_UNSYNC clear and the clock state not TIME_ERROR
  bool discipline = false;     // STA_PLL: a service steers the clock through the kernel's loop
  bool frequencyMode = false;  // STA_FLL: frequency-locked (FLL) instead of phase-locked (PLL)
  std::string reason;
};

// The kernel clock's status read: adjtimex with no mode, which needs no privilege.
class KernelTimeApi {
 public:
  virtual ~KernelTimeApi() = default;
  // The clock state (TIME_OK .. TIME_ERROR) and the status word; false with the last error set
  // when the kernel gives none.
  virtual bool ReadKernelClock(int* state, int* status) = 0;

  static KernelTimeApi& Real();
};

// The status word decoded; `state` and `status` as ReadKernelClock gives them.
KernelClockStatus DecodeKernelClock(int state, int status);
// The kernel's status now, through the installed area.
KernelClockStatus ReadKernelClockStatus();

// What the system says about its time service. Nothing here is guessed: a fact the system did
// not give is reported as unknown with the reason.
struct TimeServiceFacts {
  bool busReachable = false;      // the system bus answered
  bool timedatedPresent = false;  // systemd-timedated answered
  bool ntpOn = false;             // timedated's NTP: network time synchronisation is on
  bool ntpSynchronized = false;   // timedated's NTPSynchronized: the clock is synchronised
  bool canNtp = false;            // timedated's CanNTP: a service it can turn on is installed
  // The synchronising services the system names as running (systemd units without
  // ".service"); empty with `servicesKnown` true: none of those it knows runs.
  std::vector<std::string> services;
  bool servicesKnown = false;  // false: the system could not say which service runs
  std::string reason;          // why the bus facts are unknown, when they are
  KernelClockStatus kernel;
};

// How a request to the time service ended.
enum class TimeServiceOutcome {
  Done,
  NoBus,          // no system bus to ask
  NoTimedated,    // the bus has no systemd-timedated
  NotAuthorized,  // polkit (or the user at its prompt) refused
  NtpOn,          // timedated refuses to set the clock while network time synchronisation is on
  TimedOut,       // no answer within the call's time-out; the request may still take effect
  Failed,         // refused for another reason, given in the message
};

struct TimeServiceReply {
  TimeServiceOutcome outcome = TimeServiceOutcome::Failed;
  std::string message;  // the service's own text, or why it could not be asked
};

// Longest wait for an answer that may need the user's password at polkit's prompt, ms.
inline constexpr int kInteractiveTimeoutMs = 120000;
// Longest wait for one query of the facts, all its calls together, ms: timedated may first have
// to be started by the bus.
inline constexpr int kQueryTimeoutMs = 5000;

class TimeServiceApi {
 public:
  virtual ~TimeServiceApi() = default;
  virtual TimeServiceFacts Facts() = 0;
  // Sets the clock: `usec` microseconds since 1970 UTC, or with `relative` microseconds added
  // to the clock when the service sets it (positive: forward). `interactive`: the user may be
  // asked for authorization.
  virtual TimeServiceReply SetTime(int64_t usec, bool relative, bool interactive) = 0;
  virtual TimeServiceReply SetNTP(bool useNtp, bool interactive) = 0;

  // The system's service as the program installed it, else a stand-in that cannot tell.
  static TimeServiceApi& Real();
};

// The program's system service, installed once at start (null: the stand-in again). Tests
// install theirs with ScopedOverride instead.
void UseSystemTimeService(TimeServiceApi* service);

// The stand-in's reason where this build or this system has no way to ask.
std::string NoTimeServiceReason();

// The facts in one line, as the Calibration tab's "Time Service:" line and the query tool say
// them.
std::string TimeServiceSummary(const TimeServiceFacts& facts);
// The kernel's part alone ("kernel: clock synchronised, PLL mode").
std::string KernelClockSummary(const KernelClockStatus& kernel);
// Whether a service disciplines the clock, so that an applied rate does not last: timedated
// says synchronisation is on, or the kernel's loop is steered by a service.
bool ServiceKeepsTheClock(const TimeServiceFacts& facts);
// Whether systemd-timesyncd is the synchronising service the system names, and no other.
bool TimesyncdInCharge(const TimeServiceFacts& facts);

}  // namespace platform
