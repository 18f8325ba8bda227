// Linux has no HTML Help: the compiled help file is handed to a viewer program for it, and
// closing all help windows ends the viewers this process started.
#include "platform/HtmlHelp.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

extern char** environ;

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// How often the end of a closing viewer is looked for when the stand-in itself ends.
constexpr auto kTerminatePoll = std::chrono::milliseconds(10);

// Reaps the started program as soon as it ends, without a help call to come: a viewer whose
// window its user closed would otherwise stay a zombie until the next one. The thread only
// waits; a reap by GroupRuns first ends its wait as well.
void ReapWhenEnded(pid_t pid) {
  try {
    std::thread([pid] {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the next help call reaps it (GroupRuns).
  }
}

// True while any process of the group runs (an opener such as xdg-open may have ended and
// left the viewer it started in the group).
bool GroupRuns(pid_t group) {
  waitpid(group, nullptr, WNOHANG);  // the started program itself, when it has ended
  return kill(-group, 0) == 0 || errno == EPERM;
}

class DesktopHtmlHelp final : public HtmlHelpApi {
 public:
  DesktopHtmlHelp(std::vector<HelpViewerProgram> programs, std::chrono::milliseconds closeGrace)
      : programs_(std::move(programs)), closeGrace_(closeGrace) {}

  // The program is ending and no window waits on it any more: viewers still open are closed,
  // and those that ignore being asked to end are killed after their grace.
  ~DesktopHtmlHelp() override {
    CloseAll();
    while (!closing_.empty()) {
      std::this_thread::sleep_for(kTerminatePoll);
      FinishClosing();
    }
  }

  HWND HtmlHelpA(HWND, const char* file, unsigned command, DWORD_PTR data) override {
    ForgetEnded();
    FinishClosing();
    switch (command) {
      case HH_CLOSE_ALL:
        CloseAll();
        return nullptr;
      case HH_HELP_CONTEXT:
        return file ? Show(FilePart(file), data) : nullptr;
      case HH_DISPLAY_TOPIC:
      case HH_DISPLAY_TOC:
      case HH_DISPLAY_INDEX:
      case HH_KEYWORD_LOOKUP:
        // The viewers open a file, not a page of it or a keyword: these requests show the
        // file.
        return file ? Show(FilePart(file), std::nullopt) : nullptr;
      default:
        return nullptr;
    }
  }

 private:
  struct Viewer {
    pid_t group;  // the started program's pid, which leads its own process group
    std::string path;
  };
  struct Closing {
    pid_t group;
    Clock::time_point killAt;
  };

  static std::string FilePart(const std::string& name) {
    const auto topic = name.find("::");
    return topic == std::string::npos ? name : name.substr(0, topic);
  }

  static HWND HandleOf(pid_t group) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(group));
  }

  HWND Show(const std::string& name, std::optional<DWORD_PTR> context) {
    if (name.empty()) return nullptr;
    // An absolute path, so a name that begins with "-" is never read as an option.
    char resolved[PATH_MAX];
    struct stat status {};
    if (!realpath(name.c_str(), resolved) || stat(resolved, &status) != 0 ||
        !S_ISREG(status.st_mode)) {
      SayHtmlHelpMessage("Cannot open the help file \"" + name + "\".");
      return nullptr;
    }
    const std::string path(resolved);
    // A help window already showing this file is reused, as HTML Help reuses its window.
    for (const Viewer& viewer : viewers_)
      if (viewer.path == path) return HandleOf(viewer.group);

    for (const HelpViewerProgram& program : programs_)
      if (const pid_t pid = Start(program, path, context); pid > 0) {
        viewers_.push_back({pid, path});
        return HandleOf(pid);
      }
    SayHtmlHelpMessage(NoHelpViewerMessage(path));
    return nullptr;
  }

  // The started program's pid, or 0 when it cannot be started (missing, not executable).
  static pid_t Start(const HelpViewerProgram& program, const std::string& path,
                     std::optional<DWORD_PTR> context) {
    std::vector<std::string> words{program.program};
    if (context && program.takesContextNumbers) {
      words.push_back("-c");
      words.push_back(std::to_string(*context));
    }
    words.push_back(path);
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    arguments.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    // A failed start (the program missing from PATH, say) is reported here, not by the child.
    const int failure = posix_spawnp(&pid, program.program.c_str(), nullptr, &attributes,
                                     arguments.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (failure != 0) return 0;
    ReapWhenEnded(pid);
    return pid;
  }

  // Reaps started programs that have ended and drops groups of which nothing runs any more.
  void ForgetEnded() {
    std::erase_if(viewers_, [](const Viewer& viewer) { return !GroupRuns(viewer.group); });
  }

  // Asks every viewer to end and returns at once: waiting here would hold the window up.
  void CloseAll() {
    const Clock::time_point killAt = Clock::now() + closeGrace_;
    for (const Viewer& viewer : viewers_) {
      kill(-viewer.group, SIGTERM);
      closing_.push_back({viewer.group, killAt});
    }
    viewers_.clear();
  }

  // Reaps closed viewers that have ended and kills those still running after their grace.
  void FinishClosing() {
    const Clock::time_point now = Clock::now();
    std::erase_if(closing_, [now](const Closing& closing) {
      if (!GroupRuns(closing.group)) return true;
      if (now >= closing.killAt) kill(-closing.group, SIGKILL);
      return false;
    });
  }

  std::vector<HelpViewerProgram> programs_;
  std::chrono::milliseconds closeGrace_;
  std::vector<Viewer> viewers_;
  std::vector<Closing> closing_;
};

}  // namespace

std::string NoHelpViewerMessage(const std::string& helpFile) {
  return "Cannot show the help file \"" + helpFile +
         "\": no viewer for compiled help (.chm) could be started. Install one, such as the "
         "Debian package kchmviewer (sudo apt install kchmviewer).";
}

HtmlHelpApi& HtmlHelpApi::Real() {
  // kchmviewer shows the pages as pages wherever it runs; Debian 12's xchm can show them as
  // their HTML source, so it comes second (it opens a numbered context with "-c <number>");
  // xdg-open hands the file to whatever viewer the desktop has for it.
  static DesktopHtmlHelp desktop({{"kchmviewer", false}, {"xchm", true}, {"xdg-open", false}},
                                 std::chrono::seconds(2));
  return desktop;
}

std::unique_ptr<HtmlHelpApi> NewDesktopHtmlHelp(std::vector<HelpViewerProgram> viewers,
                                                std::chrono::milliseconds closeGrace) {
  return std::make_unique<DesktopHtmlHelp>(std::move(viewers), closeGrace);
}

std::unique_ptr<HtmlHelpApi> NewDesktopHtmlHelp(std::string opener) {
  return NewDesktopHtmlHelp({{std::move(opener), false}});
}

}  // namespace platform
