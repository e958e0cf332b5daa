// The thread keyboard hook that brings the viewer's keys to it before the host takes them.
#pragma once

#include <windows.h>

namespace pelorin {

// Makes `wnd` the hook target and installs the hook for the calling thread if needed.
void InstallKbdHook(HWND wnd);
// Removes the hook (for every viewer window of the thread) and clears the target.
void RemoveKbdHook();
// The window that receives forwarded keys, or null.
void SetHookTarget(HWND wnd);
bool KbdHookInstalled();

// True for the 13 keys the viewer takes from the host: arrows, G, H, R, S, T, + and -.
bool IsForwardedKey(WPARAM virtualKey);

}  // namespace pelorin
