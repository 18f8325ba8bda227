#pragma once
// The platform's own error numbers, for the failures the C library has no number of its own
// for. The last error otherwise holds errno values. The registry calls return these numbers
// directly.
#include <cstdint>

namespace platform {

constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_WRITE_FAULT = 29;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_MORE_DATA = 234;
constexpr uint32_t ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr uint32_t ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr uint32_t RPC_S_SERVER_UNAVAILABLE = 1722;

}  // namespace platform
