#pragma once
// The application's help: its help file name and the entry point for help commands, with a hook
// that may take the commands over before the help manager sees them.
#include <QString>
#include <cstdint>
#include <functional>

namespace framework {

// Help commands, with the values of the Windows help call.
constexpr unsigned HELP_CONTEXT = 1;       // data: context number
constexpr unsigned HELP_QUIT = 2;          // data: 0
constexpr unsigned HELP_CONTENTS = 3;      // data: 0
constexpr unsigned HELP_CONTEXTPOPUP = 8;  // data: context number
constexpr unsigned HELP_FINDER = 11;       // data: 0
constexpr unsigned HELP_KEY = 257;         // data: address of a keyword text

class TApplicationHelp {
 public:
  const QString& HelpFile() const { return helpFile_; }
  void SetHelpFile(const QString& fileName) { helpFile_ = fileName; }

  // Runs one help command: first the OnHelp hook, then, unless the hook cleared CallHelp, the
  // help manager's own handling. True when the command was taken.
  bool HelpCommand(unsigned command, std::intptr_t data);

  // Sees every help command first; clearing CallHelp keeps the help manager out of it.
  std::function<bool(unsigned Command, std::intptr_t Data, bool& CallHelp)> OnHelp;

 private:
  QString helpFile_;
};

// The application's help state.
TApplicationHelp& ApplicationHelp();

}  // namespace framework
