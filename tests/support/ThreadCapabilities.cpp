#include "support/ThreadCapabilities.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testing_support {

namespace {

bool Read(__user_cap_data_struct (&data)[_LINUX_CAPABILITY_U32S_3]) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capget, &header, data) == 0;
}

}  // namespace

bool ThreadHasEffective(unsigned capability) {
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  return Read(data) && ((data[capability / 32].effective >> (capability % 32)) & 1u);
}

bool ThreadHasPermitted(unsigned capability) {
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  return Read(data) && ((data[capability / 32].permitted >> (capability % 32)) & 1u);
}

bool DropFromThread(unsigned capability) {
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (!Read(data)) return false;
  const unsigned bit = 1u << (capability % 32);
  data[capability / 32].effective &= ~bit;
  data[capability / 32].permitted &= ~bit;
  data[capability / 32].inheritable &= ~bit;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace testing_support
