#include "framework/SysErrorMessage.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/ErrorCodes.h"

using framework::SysErrorMessage;

TEST(SysErrorMessage, PrivilegeNotAssignedHasThePlatformsText) {
  EXPECT_EQ(SysErrorMessage(platform::ERROR_NOT_ALL_ASSIGNED),
            "Not all privileges or groups referenced are assigned to the caller.");
}

namespace {

// The C library's text in the user's language, as the process's locale gives it.
QString CLibraryText(int error) {
  return QString::fromLocal8Bit(std::strerror(error)).trimmed();
}

}  // namespace

TEST(SysErrorMessage, RefusalsOfTheKernelHaveTheCLibrarysText) {
  EXPECT_EQ(SysErrorMessage(EPERM), CLibraryText(EPERM));
  EXPECT_EQ(SysErrorMessage(EINVAL), CLibraryText(EINVAL));
  EXPECT_NE(SysErrorMessage(EPERM), SysErrorMessage(EINVAL));
  EXPECT_FALSE(SysErrorMessage(EPERM).isEmpty());
}

// The socket calls leave the socket library's numbers as the last error.
TEST(SysErrorMessage, SocketErrorNumbersReadAsTheSocketTexts) {
  EXPECT_EQ(SysErrorMessage(10054), "Connection reset by peer.");
  EXPECT_EQ(SysErrorMessage(10040), "Message too long.");
  EXPECT_EQ(SysErrorMessage(10035), "Operation would block.");  // trimmed as every message is
  EXPECT_EQ(SysErrorMessage(EPERM), CLibraryText(EPERM));       // still the C library's
}
