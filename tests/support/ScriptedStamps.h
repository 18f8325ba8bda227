#pragma once
// The real socket library with its kernel-stamp calls in a test's hands: installed as
// "wsock32.dll" for its lifetime, it sends and receives for real, but each stamped send and
// receive gives the next stamp the test scripted instead of the system's, and the library can
// be made one without stamp calls at all (as Windows' own).
#include <cstdint>
#include <deque>

#include "platform/Winsock.h"

namespace testing_support {

class ScriptedStamps : public platform::ModuleApi {
 public:
  // `library_has_stamps` false: the library offers no stamp calls.
  explicit ScriptedStamps(bool library_has_stamps = true);
  ~ScriptedStamps() override;

  // Nanoseconds since 1970 UTC, taken in order; 0, or an empty line, is a datagram the system
  // gave no stamp for.
  std::deque<int64_t> send_stamps;
  std::deque<int64_t> receive_stamps;
  int stamped_sends = 0, stamped_receives = 0;

  platform::HMODULE LoadLibraryA(const char* name) override;
  void* GetProcAddress(platform::HMODULE module, const char* name) override;
  bool FreeLibrary(platform::HMODULE module) override;

  static ScriptedStamps* current;

 private:
  bool library_has_stamps_;
  platform::ScopedOverride<platform::ModuleApi> installed_{*this};
};

}  // namespace testing_support
