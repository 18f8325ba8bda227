// The security area over the Windows calls themselves, and the system's message table.
#include "platform/Security.h"

#include <cstddef>
#include <string>

#include "platform/Winsock.h"

#include "platform/win32/WindowsHeaders.h"

namespace platform {

namespace {

// The privilege list is passed to Windows as it lies in memory, entries beyond the first
// included, so ours must be laid out as Windows' own.
static_assert(sizeof(LUID) == sizeof(::LUID) &&
              offsetof(LUID, LowPart) == offsetof(::LUID, LowPart) &&
              offsetof(LUID, HighPart) == offsetof(::LUID, HighPart));
static_assert(sizeof(LUID_AND_ATTRIBUTES) == sizeof(::LUID_AND_ATTRIBUTES) &&
              offsetof(LUID_AND_ATTRIBUTES, Attributes) ==
                  offsetof(::LUID_AND_ATTRIBUTES, Attributes));
static_assert(sizeof(TOKEN_PRIVILEGES) == sizeof(::TOKEN_PRIVILEGES) &&
              offsetof(TOKEN_PRIVILEGES, Privileges) == offsetof(::TOKEN_PRIVILEGES, Privileges));
static_assert(sizeof(uint32_t) == sizeof(::DWORD));

class Win32Security final : public SecurityApi {
 public:
  bool OpenProcessToken(HANDLE process, uint32_t desiredAccess, HANDLE* token) override {
    ::HANDLE opened = nullptr;
    if (!::OpenProcessToken(static_cast<::HANDLE>(process), desiredAccess, &opened)) return false;
    *token = opened;
    return true;
  }

  bool LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) override {
    ::LUID found{};
    if (!::LookupPrivilegeValueA(systemName, name, &found)) return false;
    luid->LowPart = found.LowPart;
    luid->HighPart = found.HighPart;
    return true;
  }

  bool AdjustTokenPrivileges(HANDLE token, bool disableAllPrivileges,
                             const TOKEN_PRIVILEGES* newState, uint32_t bufferLength,
                             TOKEN_PRIVILEGES* previousState, uint32_t* returnLength) override {
    // Windows wants somewhere to say how long the former state is whenever it is asked for.
    ::DWORD length = 0;
    const bool done =
        ::AdjustTokenPrivileges(
            static_cast<::HANDLE>(token), disableAllPrivileges ? TRUE : FALSE,
            const_cast<::TOKEN_PRIVILEGES*>(reinterpret_cast<const ::TOKEN_PRIVILEGES*>(newState)),
            bufferLength, reinterpret_cast<::TOKEN_PRIVILEGES*>(previousState),
            previousState != nullptr ? &length : nullptr) != FALSE;
    // The last error (0, or ERROR_NOT_ALL_ASSIGNED on success) is Windows' own.
    if (returnLength != nullptr) *returnLength = length;
    return done;
  }

  bool CloseHandle(HANDLE handle) override { return ::CloseHandle(static_cast<::HANDLE>(handle)); }
};

// The message without the line end (and blanks) Windows puts after it.
std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

}  // namespace

SecurityApi& SecurityApi::Real() {
  static Win32Security security;
  return security;
}

// The system's message table in the user's language. It has no texts for some Winsock numbers
// (Wine has none for 10040, say) nor for the socket library's own numbers above 12000: those
// take the socket library's texts, so that no failure is shown without words.
std::string SystemMessageText(uint32_t code) {
  char* buffer = nullptr;
  const ::DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0 && buffer != nullptr) text.assign(buffer, length);
  if (buffer != nullptr) ::LocalFree(buffer);
  text = Trimmed(std::move(text));
  if (!text.empty()) return text;
  if (code <= 0x7FFFFFFF) {
    if (const char* socketText = SocketErrorTextOf(static_cast<int>(code))) return socketText;
  }
  return "Unknown error " + std::to_string(code);
}

}  // namespace platform
