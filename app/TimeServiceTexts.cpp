#include "app/TimeServiceTexts.h"

#include <QMessageBox>
#include <cmath>

#include "framework/DisplayFormats.h"
#include "framework/Forms.h"
#include "ntp/NTPClient.h"

namespace app {

namespace {

constexpr double kUsecPerDay = 86400.0 * 1e6;

class MessageBoxConfirm final : public ConfirmApi {
 public:
  bool Confirm(const QString& caption, const QString& question) override {
    return QMessageBox::question(nullptr, caption, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
  }
};

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

ConfirmApi& ConfirmApi::Real() {
  static MessageBoxConfirm confirm;
  return confirm;
}

bool Confirm(const QString& caption, const QString& question) {
  return platform::Current<ConfirmApi>().Confirm(caption, question);
}

int64_t ClockCorrectionUsec(const ntp::TNTPInfo& info) {
  // Both local date-times of the same reply (days): the time to set, and the clock's reading
  // when the reply arrived (T4).
  const double target = info.OriginateTime + info.ClockOffset + info.RoundTripDelay;
  return std::llround((target - info.DestinationTime) * kUsecPerDay);
}

QString TimeServiceText(const platform::TimeServiceFacts& facts) {
  return Text(platform::TimeServiceSummary(facts));
}

QString NtpOnRefusalText() {
  return "systemd-timedated does not set the clock while network time synchronisation is on.";
}

QString TurnNtpOffQuestion() {
  return "Network time synchronisation is on, so systemd-timedated does not set the clock.\n\n"
         "Turn network time synchronisation off and set the clock?\n"
         "\"Options > Turn Network Time On\" turns it on again.";
}

QString SetTimeReplyText(const platform::TimeServiceReply& reply, int64_t correctionUsec) {
  switch (reply.outcome) {
    case platform::TimeServiceOutcome::Done:
      // Seconds, signed: positive moved the clock forward.
      return "The clock was set through systemd-timedated (" +
             framework::FormatFixed(static_cast<double>(correctionUsec) / 1e6, 3) + " s).";
    case platform::TimeServiceOutcome::NtpOn:
      return NtpOnRefusalText();
    case platform::TimeServiceOutcome::NotAuthorized:
      return "Setting the clock was not authorized: " + Text(reply.message);
    case platform::TimeServiceOutcome::TimedOut:
      return Text(reply.message) + "; the clock may or may not have been set.";
    case platform::TimeServiceOutcome::NoBus:
    case platform::TimeServiceOutcome::NoTimedated:
    case platform::TimeServiceOutcome::Failed:
      break;
  }
  return "systemd-timedated did not set the clock: " + Text(reply.message);
}

QString SetNtpReplyText(const platform::TimeServiceReply& reply, bool useNtp) {
  const QString state = useNtp ? "on" : "off";
  if (reply.outcome == platform::TimeServiceOutcome::Done)
    return "Network time synchronisation is " + state + ".";
  return "Network time synchronisation could not be turned " + state + ": " + Text(reply.message);
}

}  // namespace app
