#include "framework/KeyboardState.h"

#include <QGuiApplication>

namespace framework {

bool CtrlKeyDown() {
  // Asks the window system rather than the event being handled, so a Ctrl pressed after the
  // event was queued still counts.
  return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
}

}  // namespace framework
