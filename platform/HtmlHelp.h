#pragma once
// The compiled help area: one call that shows, looks up in or closes compiled help files, shaped
// as the HTML Help call it stands for.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Seam.h"

namespace platform {

// A native window handle; null means no window.
struct HWND__;
using HWND = HWND__*;
using DWORD_PTR = std::uintptr_t;

// Commands, with their published values.
constexpr unsigned HH_DISPLAY_TOPIC = 0;    // data: null or a topic text
constexpr unsigned HH_DISPLAY_TOC = 1;      // data: 0
constexpr unsigned HH_DISPLAY_INDEX = 2;    // data: null or a keyword text
constexpr unsigned HH_KEYWORD_LOOKUP = 13;  // data: address of an HH_AKLINK
constexpr unsigned HH_HELP_CONTEXT = 15;    // data: a context number
constexpr unsigned HH_CLOSE_ALL = 18;       // no window, no file, data 0

// A keyword lookup request, in the published layout.
struct HH_AKLINK {
  int cbStruct = sizeof(HH_AKLINK);
  int32_t fReserved = 0;  // a 32-bit boolean
  const char* pszKeywords = nullptr;
  const char* pszUrl = nullptr;
  const char* pszMsgText = nullptr;
  const char* pszMsgTitle = nullptr;
  const char* pszWindow = nullptr;
  int32_t fIndexOnFail = 0;  // a 32-bit boolean
};

// The file name may carry a topic after "::/" (as in "Horaplex.chm::/page.htm").
class HtmlHelpApi {
 public:
  virtual ~HtmlHelpApi() = default;
  // Returns the help window, or null when nothing was shown.
  virtual HWND HtmlHelpA(HWND caller, const char* file, unsigned command, DWORD_PTR data) = 0;

  static HtmlHelpApi& Real();
};

inline HWND HtmlHelpA(HWND caller, const char* file, unsigned command, DWORD_PTR data) {
  return Current<HtmlHelpApi>().HtmlHelpA(caller, file, command, data);
}

// Where the help call says what HTML Help says in message boxes of its own: a help file that
// cannot be opened, no viewer that could show it. The application's framework shows the text
// in its standard error box; with nothing installed it goes to the standard error stream.
// Installing returns what was installed before.
using HtmlHelpMessageSink = std::function<void(const std::string& text)>;
HtmlHelpMessageSink SetHtmlHelpMessageSink(HtmlHelpMessageSink sink);
// Says `text` through the installed sink (used by the help call of each system).
void SayHtmlHelpMessage(const std::string& text);

#ifndef _WIN32
// A program that shows compiled help files, started with the help file's absolute path as its
// last argument, in a process group of its own.
struct HelpViewerProgram {
  std::string program;  // looked up in PATH when it holds no '/'
  // Takes "-c <number>" before the file to open the page of a numbered context.
  bool takesContextNumbers = false;
};

// The Linux stand-in: the first of `viewers` that can be started shows the file; when none can,
// the message says which package to install. Closing sends the viewers SIGTERM and returns at
// once; one still running `closeGrace` later is killed at the next call (or at the latest when
// the stand-in ends). The real one tries Debian's "kchmviewer", then "xchm", then "xdg-open".
std::unique_ptr<HtmlHelpApi> NewDesktopHtmlHelp(
    std::vector<HelpViewerProgram> viewers,
    std::chrono::milliseconds closeGrace = std::chrono::seconds(2));
// With one program that takes only the file.
std::unique_ptr<HtmlHelpApi> NewDesktopHtmlHelp(std::string opener);

// The message given when no viewer could be started.
std::string NoHelpViewerMessage(const std::string& helpFile);
#endif

}  // namespace platform
