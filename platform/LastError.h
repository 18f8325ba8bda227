#pragma once
// The calling thread's last error number, as the platform's calls leave it.
#include <cstdint>

namespace platform {

uint32_t GetLastError();
void SetLastError(uint32_t code);

}  // namespace platform
