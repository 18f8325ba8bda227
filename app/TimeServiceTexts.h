#pragma once
// What the window says about the system's time service, and the one question it asks about it:
// the texts of the Calibration tab's "Time Service:" line and of its status after a request to
// systemd-timedated, the clock change such a request carries, and the confirmation before
// network time synchronisation is turned off (through an interface, so tests answer it).
#include <QString>
#include <cstdint>

#include "platform/Seam.h"
#include "platform/TimeService.h"

namespace ntp {
struct TNTPInfo;
}

namespace app {

class ConfirmApi {
 public:
  virtual ~ConfirmApi() = default;
  // A question with Yes and No, No the default; true for Yes.
  virtual bool Confirm(const QString& caption, const QString& question) = 0;

  static ConfirmApi& Real();
};

bool Confirm(const QString& caption, const QString& question);

// The change that brings the clock to the time a reply gave ("Set Computer Time": the server's
// time at the reply's arrival, less its hold time), in microseconds to add to the clock
// (positive: forward). Given as a change rather than a time, the service applies it to the
// clock when it sets it, so the time the user spends at the authorization prompt is made up
// for.
int64_t ClockCorrectionUsec(const ntp::TNTPInfo& info);

// The "Time Service:" line.
QString TimeServiceText(const platform::TimeServiceFacts& facts);
// What the Calibration tab's status says after the clock was set through the service, or why
// it was not.
QString SetTimeReplyText(const platform::TimeServiceReply& reply, int64_t correctionUsec);
// What it says after turning network time synchronisation on or off.
QString SetNtpReplyText(const platform::TimeServiceReply& reply, bool useNtp);
// The question before turning network time synchronisation off.
QString TurnNtpOffQuestion();
// The status when timedated refused to set the clock while synchronisation is on.
QString NtpOnRefusalText();

}  // namespace app
