// Linux has no HTML Help: the compiled help file is handed to the desktop's viewer for it, and
// closing all help windows ends the viewers this process started.
#include "platform/HtmlHelp.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace platform {

namespace {

// How long a viewer gets to end on SIGTERM before it is killed.
constexpr auto kTerminateGrace = std::chrono::seconds(2);
constexpr auto kTerminatePoll = std::chrono::milliseconds(10);

class DesktopHtmlHelp final : public HtmlHelpApi {
 public:
  explicit DesktopHtmlHelp(std::string opener) : opener_(std::move(opener)) {}

  HWND HtmlHelpA(HWND, const char* file, unsigned command, DWORD_PTR) override {
    ForgetEnded();
    switch (command) {
      case HH_CLOSE_ALL:
        CloseAll();
        return nullptr;
      case HH_DISPLAY_TOPIC:
      case HH_DISPLAY_TOC:
      case HH_DISPLAY_INDEX:
      case HH_KEYWORD_LOOKUP:
      case HH_HELP_CONTEXT:
        // The desktop's viewers open a file, not a page of it or a keyword: every display
        // request shows the file.
        return file ? Show(FilePart(file)) : nullptr;
      default:
        return nullptr;
    }
  }

 private:
  struct Viewer {
    pid_t group;  // the started program's pid, which leads its own process group
    std::string path;
  };

  static std::string FilePart(const std::string& name) {
    const auto topic = name.find("::");
    return topic == std::string::npos ? name : name.substr(0, topic);
  }

  static HWND HandleOf(pid_t group) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(group));
  }

  HWND Show(const std::string& name) {
    if (name.empty()) return nullptr;
    // An absolute path, so a name that begins with "-" is never read as an option.
    char resolved[PATH_MAX];
    struct stat status {};
    if (!realpath(name.c_str(), resolved) || stat(resolved, &status) != 0 ||
        !S_ISREG(status.st_mode)) {
      std::fprintf(stderr, "Help file \"%s\" cannot be opened.\n", name.c_str());
      return nullptr;
    }
    const std::string path(resolved);
    // A help window already showing this file is reused, as HTML Help reuses its window.
    for (const Viewer& viewer : viewers_)
      if (viewer.path == path) return HandleOf(viewer.group);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> arguments{const_cast<char*>(opener_.c_str()),
                                 const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    const int failure =
        posix_spawnp(&pid, opener_.c_str(), nullptr, &attributes, arguments.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (failure != 0) return nullptr;
    viewers_.push_back({pid, path});
    return HandleOf(pid);
  }

  // Reaps started programs that have ended and drops groups of which nothing runs any more.
  void ForgetEnded() {
    std::vector<Viewer> running;
    for (Viewer& viewer : viewers_) {
      waitpid(viewer.group, nullptr, WNOHANG);
      if (kill(-viewer.group, 0) == 0 || errno == EPERM) running.push_back(std::move(viewer));
    }
    viewers_ = std::move(running);
  }

  void CloseAll() {
    for (const Viewer& viewer : viewers_) kill(-viewer.group, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    for (const Viewer& viewer : viewers_) {
      while (waitpid(viewer.group, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
          kill(-viewer.group, SIGKILL);
          waitpid(viewer.group, nullptr, 0);
          break;
        }
        std::this_thread::sleep_for(kTerminatePoll);
      }
    }
    viewers_.clear();
  }

  std::string opener_;
  std::vector<Viewer> viewers_;
};

}  // namespace

HtmlHelpApi& HtmlHelpApi::Real() {
  static DesktopHtmlHelp desktop("xdg-open");
  return desktop;
}

std::unique_ptr<HtmlHelpApi> NewDesktopHtmlHelp(std::string opener) {
  return std::make_unique<DesktopHtmlHelp>(std::move(opener));
}

}  // namespace platform
