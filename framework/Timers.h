#pragma once
// The framework's periodic window timer: an interval in milliseconds, an enable flag and a
// tick notification, firing through the main event loop.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace framework {

class TTimer : public QObject {
  Q_OBJECT
 public:
  explicit TTimer(QObject* owner = nullptr);

  // Milliseconds between two OnTimer events: any unsigned 32-bit count, up to about 49.7 days;
  // 0 stops the timer. A change while enabled restarts the count from now.
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t milliseconds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // True while the underlying timer counts (enabled and interval > 0).
  bool Active() const { return timer_.isActive(); }

  // The event loop's timers count in signed milliseconds. An interval longer than they can
  // count (2^31 - 1 ms, about 24.9 days) is run as two or three parts of near-equal length;
  // OnTimer fires once, when the last part ends. The length (ms) of the part the event loop's
  // timer counts now.
  int PartLength() const { return timer_.interval(); }

  // Runs one expiry of the underlying timer as the event loop would: it ends the running part,
  // and OnTimer fires when that part ends the whole interval. Lets a test drive the timer
  // without waiting.
  void Tick();

  std::function<void(QObject* Sender)> OnTimer;

 private:
  int Parts() const;
  int LengthOfPart(int part) const;
  void Update();

  QTimer timer_;
  uint32_t interval_ = 1000;
  int part_ = 0;  // the running part, from 0
  bool enabled_ = true;
};

}  // namespace framework
