#pragma once
// Capabilities of the calling thread, for tests of what the program does without a privilege.
// Linux keeps capabilities per thread, so a test can give one up in a thread of its own and
// leave the rest of the test program as it was.
#include <thread>
#include <utility>

namespace testing_support {

bool ThreadHasEffective(unsigned capability);
bool ThreadHasPermitted(unsigned capability);
// Removes the capability from the calling thread's effective and permitted sets for good.
bool DropFromThread(unsigned capability);

// Runs `body` in a new thread and waits for it.
template <class Body>
void RunInOwnThread(Body&& body) {
  std::thread worker(std::forward<Body>(body));
  worker.join();
}

}  // namespace testing_support
