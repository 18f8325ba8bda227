#pragma once
// The system's default beep, which refused input answers with.
#include <functional>

namespace framework {

// Sounds the default beep (or runs the hook a test installed instead).
void Beep();

// Replaces the beep for the lifetime of this object, so tests can count beeps.
class ScopedBeepHook {
 public:
  explicit ScopedBeepHook(std::function<void()> hook);
  ~ScopedBeepHook();
  ScopedBeepHook(const ScopedBeepHook&) = delete;
  ScopedBeepHook& operator=(const ScopedBeepHook&) = delete;

 private:
  std::function<void()> previous_;
};

}  // namespace framework
