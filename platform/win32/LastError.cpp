#include "platform/LastError.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX  // the C++ library may have asked for it already
#define NOMINMAX
#endif
#include <windows.h>

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
