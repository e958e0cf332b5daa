// Threads that may outlive the one who started them: each keeps the plugin's module loaded until
// it ends, so that the host may unload the library while one still finishes its work.
#pragma once

#ifdef _WIN32
#include <functional>

#include "support/uWinHandle.h"

namespace pelorin {

// Runs `work` on a new thread (a stack of `stackBytes` reserved) that holds a reference on the
// module this code lies in until `work` has returned; `work` runs guarded under `entry`. The
// handle lets the caller wait for the thread (never needed: closing it lets the thread run on);
// none when no thread could be made, `work` then not run.
TUniqueHandle StartModuleThread(std::function<void()> work, const char* entry, size_t stackBytes = 256 * 1024);

}  // namespace pelorin
#endif  // _WIN32
