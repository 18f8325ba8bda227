#pragma once
// The framework's periodic window timer: an interval in milliseconds, an enable flag and a
// tick notification, firing through the main event loop.
#include <QObject>
#include <QTimer>
#include <functional>

namespace framework {

class TTimer : public QObject {
  Q_OBJECT
 public:
  explicit TTimer(QObject* owner = nullptr);

  int Interval() const { return interval_; }
  // A change while enabled restarts the count from now.
  void SetInterval(int milliseconds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // True while the underlying timer counts (enabled and interval > 0).
  bool Active() const { return timer_.isActive(); }

  // Runs one tick as the event loop would; lets a test drive the timer without waiting.
  void Tick();

  std::function<void(QObject* Sender)> OnTimer;

 private:
  void Update();

  QTimer timer_;
  int interval_ = 1000;
  bool enabled_ = true;
};

}  // namespace framework
