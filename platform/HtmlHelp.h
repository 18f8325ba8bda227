#pragma once
// The compiled help area: one call that shows, looks up in or closes compiled help files, shaped
// as the HTML Help call it stands for.
#include <cstdint>
#include <memory>
#include <string>

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

#ifndef _WIN32
// The Linux stand-in with another program in place of "xdg-open": it is started with the help
// file's path as its one argument, in a process group of its own.
std::unique_ptr<HtmlHelpApi> NewDesktopHtmlHelp(std::string opener);
#endif

}  // namespace platform
