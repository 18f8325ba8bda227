#include "framework/SysErrorMessage.h"

#include "platform/Security.h"

namespace framework {

QString SysErrorMessage(uint32_t code) {
  return QString::fromLocal8Bit(platform::SystemMessageText(code)).trimmed();
}

}  // namespace framework
