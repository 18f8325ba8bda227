#include "framework/SysErrorMessage.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/ErrorCodes.h"

using framework::SysErrorMessage;

TEST(SysErrorMessage, PrivilegeNotAssignedHasThePlatformsText) {
  EXPECT_EQ(SysErrorMessage(platform::ERROR_NOT_ALL_ASSIGNED),
            "Not all privileges or groups referenced are assigned to the caller.");
}

TEST(SysErrorMessage, RefusalsOfTheKernelHaveTheCLibrarysText) {
  EXPECT_EQ(SysErrorMessage(EPERM), "Operation not permitted");
  EXPECT_EQ(SysErrorMessage(EINVAL), "Invalid argument");
}
