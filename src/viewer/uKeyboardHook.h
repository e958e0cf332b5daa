// The thread keyboard hook that brings the viewer's keys to it before the host takes them.
#pragma once

#include <windows.h>

namespace pelorin {

// A viewer window of the calling thread starts or stops using the thread's hook: the hook is
// installed with the thread's first window and removed with its last, so closing one of two
// viewers leaves the other its keys. Each key goes to the viewer window that has the focus
// (or holds the focused window).
void InstallKbdHook(HWND wnd);
void RemoveKbdHook(HWND wnd);
// Removes the hooks of every thread (the library is unloaded).
void RemoveAllKbdHooks();
// Whether the calling thread has the hook installed.
bool KbdHookInstalled();

}  // namespace pelorin
