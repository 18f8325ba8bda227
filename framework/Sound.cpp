#include "framework/Sound.h"

#include <QApplication>

namespace framework {

namespace {

std::function<void()>& BeepHook() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

void Beep() {
  if (BeepHook()) {
    BeepHook()();
    return;
  }
  QApplication::beep();
}

ScopedBeepHook::ScopedBeepHook(std::function<void()> hook) : previous_(std::move(BeepHook())) {
  BeepHook() = std::move(hook);
}

ScopedBeepHook::~ScopedBeepHook() {
  BeepHook() = std::move(previous_);
}

}  // namespace framework
