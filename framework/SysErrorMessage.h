#pragma once
// The framework's text for a platform error number, as the standard error box and status
// fields show it.
#include <QString>
#include <cstdint>

namespace framework {

QString SysErrorMessage(uint32_t code);

}  // namespace framework
