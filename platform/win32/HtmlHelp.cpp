// HTML Help itself: HtmlHelpA of the HTML Help control library (hhctrl.ocx), loaded when help
// is first asked for, so that a system without it still runs the program and says why no help
// shows.
#include "platform/HtmlHelp.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/win32/WindowsHeaders.h"

#include <htmlhelp.h>  // after <windows.h>, whose types it uses

namespace platform {

namespace {

// The published layout of the keyword lookup is passed to HTML Help as it lies in memory.
static_assert(sizeof(HH_AKLINK) == sizeof(::HH_AKLINK) &&
              offsetof(HH_AKLINK, pszKeywords) == offsetof(::HH_AKLINK, pszKeywords) &&
              offsetof(HH_AKLINK, pszWindow) == offsetof(::HH_AKLINK, pszWindow) &&
              offsetof(HH_AKLINK, fIndexOnFail) == offsetof(::HH_AKLINK, fIndexOnFail));

using WindowsHtmlHelp = ::HWND(WINAPI*)(::HWND caller, const char* file, ::UINT command,
                                        ::DWORD_PTR data);

class Win32HtmlHelp final : public HtmlHelpApi {
 public:
  HWND HtmlHelpA(HWND caller, const char* file, unsigned command, DWORD_PTR data) override {
    if (command == HH_CLOSE_ALL) {
      // Nothing can be open when the library was never loaded.
      if (htmlHelp_ == nullptr) return nullptr;
      return FromWindows(htmlHelp_(nullptr, nullptr, command, 0));
    }
    if (file == nullptr) return nullptr;
    // A file that is not there is said through the sink, in the program's own error box as on
    // every system, rather than in a message box of HTML Help's.
    const std::string name = FilePart(file);
    const ::DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      SayHtmlHelpMessage("Cannot open the help file \"" + name + "\".");
      return nullptr;
    }
    if (!Load()) {
      SayHtmlHelpMessage("Cannot show the help file \"" + name +
                         "\": the HTML Help library (hhctrl.ocx) of Windows could not be loaded.");
      return nullptr;
    }
    return FromWindows(htmlHelp_(reinterpret_cast<::HWND>(caller), file, command, data));
  }

 private:
  static std::string FilePart(const std::string& name) {
    const auto topic = name.find("::");
    return topic == std::string::npos ? name : name.substr(0, topic);
  }

  static HWND FromWindows(::HWND window) { return reinterpret_cast<HWND>(window); }

  bool Load() {
    if (htmlHelp_ != nullptr) return true;
    ::HMODULE library = ::LoadLibraryA("hhctrl.ocx");
    if (library == nullptr) return false;
    ::FARPROC found = ::GetProcAddress(library, "HtmlHelpA");
    if (found == nullptr) {
      ::FreeLibrary(library);
      return false;
    }
    // Kept loaded for the rest of the run: help windows belong to it.
    htmlHelp_ = reinterpret_cast<WindowsHtmlHelp>(reinterpret_cast<void*>(found));
    return true;
  }

  WindowsHtmlHelp htmlHelp_ = nullptr;
};

}  // namespace

HtmlHelpApi& HtmlHelpApi::Real() {
  static Win32HtmlHelp help;
  return help;
}

}  // namespace platform
