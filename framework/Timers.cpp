#include "framework/Timers.h"

#include <algorithm>
#include <limits>

namespace framework {

namespace {
// The longest part the event loop's timer counts, ms.
constexpr uint32_t kLongestPart = std::numeric_limits<int>::max();
}  // namespace

TTimer::TTimer(QObject* owner) : QObject(owner) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(LengthOfPart(part_));  // counted from the first SetInterval or SetEnabled
  connect(&timer_, &QTimer::timeout, this, &TTimer::Tick);
}

void TTimer::SetInterval(uint32_t milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  part_ = 0;
  Update();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  part_ = 0;
  Update();
}

int TTimer::Parts() const {
  // 1 to 3 parts: 2^32 - 1 ms is less than three of the longest.
  return static_cast<int>((uint64_t{interval_} + kLongestPart - 1) / kLongestPart);
}

int TTimer::LengthOfPart(int part) const {
  const int parts = std::max(Parts(), 1);
  const uint32_t length = interval_ / static_cast<uint32_t>(parts);
  // The last part makes up the remainder. No part is longer than kLongestPart, so each fits the
  // event loop's int.
  return static_cast<int>(part == parts - 1 ? interval_ - length * static_cast<uint32_t>(parts - 1)
                                            : length);
}

void TTimer::Tick() {
  const int parts = Parts();
  if (parts > 1) {
    part_ = (part_ + 1) % parts;
    // The next part runs from now; a part as long as the last one goes on as it is.
    if (timer_.interval() != LengthOfPart(part_)) timer_.setInterval(LengthOfPart(part_));
    if (part_ != 0) return;
  }
  if (OnTimer) OnTimer(this);
}

void TTimer::Update() {
  timer_.stop();
  timer_.setInterval(LengthOfPart(part_));
  if (enabled_ && interval_ > 0) timer_.start();
}

}  // namespace framework
