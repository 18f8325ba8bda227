#include "framework/ApplicationHelp.h"

#include "framework/HelpManager.h"

namespace framework {

namespace {

// What the framework does with a help command on its own: hand it to the registered viewers.
bool RouteToViewers(unsigned command, std::intptr_t data) {
  THelpManager& manager = HelpManager();
  switch (command) {
    case HELP_CONTENTS:
    case HELP_FINDER:
      return manager.ShowContents();
    case HELP_CONTEXT:
    case HELP_CONTEXTPOPUP:
      return manager.ShowContext(static_cast<int>(data));
    case HELP_KEY: {
      const auto* keyword = reinterpret_cast<const char*>(data);
      return keyword && manager.ShowKeyword(QString::fromLocal8Bit(keyword));
    }
    case HELP_QUIT:
      manager.SoftShutdownViewers();
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TApplicationHelp::HelpCommand(unsigned command, std::intptr_t data) {
  bool callHelp = true;
  bool handled = false;
  if (OnHelp) handled = OnHelp(command, data, callHelp);
  if (callHelp) handled = RouteToViewers(command, data);
  return handled;
}

TApplicationHelp& ApplicationHelp() {
  static TApplicationHelp help;
  return help;
}

}  // namespace framework
