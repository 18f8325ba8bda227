#include "framework/SysErrorMessage.h"

#include "platform/Security.h"
#include "platform/Winsock.h"

namespace framework {

QString SysErrorMessage(uint32_t code) {
  // The socket calls leave their own numbers as the last error; they read as the socket
  // layer's texts, not as the C library's "Unknown error".
  if (code <= static_cast<uint32_t>(INT32_MAX))
    if (const char* text = platform::SocketErrorTextOf(static_cast<int>(code)))
      return QString::fromLatin1(text).trimmed();
  return QString::fromLocal8Bit(platform::SystemMessageText(code)).trimmed();
}

}  // namespace framework
