#pragma once
// The right to change the system time ("SeSystemtimePrivilege"), held for one scope: changing
// the clock rate needs it enabled, and the process gives it up again when the change is made.
#include <cstdint>
#include <functional>

namespace app {

// Why the right could not be enabled, or given up again.
enum class TPrivilegeRefusal {
  TokenNotOpened,  // the process's access token could not be opened
  NotLookedUp,     // the system does not know the right by its name
  NotHeld,         // enabling: the token does not hold the right
  NotChanged,      // the token was not changed, for another reason
};

// Told of each refusal, with the last error (a platform error number) it left. The window
// decides what, if anything, the user is told; a report must not throw.
using TPrivilegeReport = std::function<void(TPrivilegeRefusal refusal, uint32_t lastError)>;

// Enables the right in its constructor and gives it up in its destructor, when the constructor
// turned it on: a right that was already on stays on. Each step opens the process's token,
// looks the right up, adjusts it and closes the token again.
class TTimePrivilege {
 public:
  explicit TTimePrivilege(TPrivilegeReport report);
  ~TTimePrivilege();
  TTimePrivilege(const TTimePrivilege&) = delete;
  TTimePrivilege& operator=(const TTimePrivilege&) = delete;

  // True when the right is enabled now.
  bool Holds() const { return holds_; }

 private:
  // True exactly when the token is left with no last error; `switched` says whether the call
  // changed the right's state.
  bool Adjust(bool enable, bool* switched);

  TPrivilegeReport report_;
  bool holds_ = false;
  bool turnedOn_ = false;  // the constructor enabled a right that was off
};

}  // namespace app
