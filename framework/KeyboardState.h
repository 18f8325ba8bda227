#pragma once
// The keyboard as it is now, not as the last handled event saw it.

namespace framework {

// True while a Ctrl key is held down at this moment.
bool CtrlKeyDown();

}  // namespace framework
