// The thread keyboard hook that brings the viewer's keys to it before the host takes them.
#include "viewer/uKeyboardHook.h"

#include <bitset>
#include <initializer_list>

#include "support/uDebugLog.h"
#include "support/uGuard.h"

namespace pelorin {
namespace {

HHOOK gHook = nullptr;
HWND gTarget = nullptr;

const std::bitset<256>& ForwardedKeys() {
  static const std::bitset<256> keys = [] {
    std::bitset<256> set;
    for (int vk : std::initializer_list<int>{VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, 'G', 'H', 'R', 'S', 'T', VK_ADD,
                                             VK_SUBTRACT, VK_OEM_PLUS, VK_OEM_MINUS})
      set.set(vk);
    return set;
  }();
  return keys;
}

bool FocusIsInside(HWND target) {
  HWND focus = GetFocus();
  return focus && (focus == target || IsChild(target, focus));
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  bool taken = false;
  TryGuarded("KeyboardHookProc", [&] {
    bool released = (static_cast<uint64_t>(lParam) & 0x80000000u) != 0;
    if (code >= 0 && !released && gTarget && IsForwardedKey(wParam) && FocusIsInside(gTarget)) {
      PostMessageA(gTarget, WM_KEYDOWN, wParam, lParam);
      taken = true;
    }
  });
  return taken ? 1 : CallNextHookEx(gHook, code, wParam, lParam);
}

}  // namespace

bool IsForwardedKey(WPARAM virtualKey) {
  return ForwardedKeys().test(virtualKey & 0xFF);
}

void InstallKbdHook(HWND wnd) {
  gTarget = wnd;
  if (!gHook) gHook = SetWindowsHookExA(WH_KEYBOARD, &KeyboardHookProc, nullptr, GetCurrentThreadId());
  DebugLogFmt("InstallKbdHook: HHOOK=%llu HWND=%llu",
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(gHook)),
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(wnd)));
}

void RemoveKbdHook() {
  if (!gHook) return;
  UnhookWindowsHookEx(gHook);
  gHook = nullptr;
  gTarget = nullptr;
  DebugLog("RemoveKbdHook: unhooked");
}

void SetHookTarget(HWND wnd) {
  gTarget = wnd;
}

bool KbdHookInstalled() {
  return gHook != nullptr;
}

}  // namespace pelorin
