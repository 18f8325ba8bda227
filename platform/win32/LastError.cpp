#include "platform/LastError.h"

#include "platform/win32/WindowsHeaders.h"

namespace platform {

// The thread's own last error, as Windows keeps it: the calls below set it, and so does every
// Windows call the program makes.
uint32_t GetLastError() {
  return ::GetLastError();
}
void SetLastError(uint32_t code) {
  ::SetLastError(code);
}

}  // namespace platform
