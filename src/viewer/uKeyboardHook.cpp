// The thread keyboard hook that brings the viewer's keys to it before the host takes them.
#include "viewer/uKeyboardHook.h"

#include <map>
#include <mutex>

#include "support/uDebugLog.h"
#include "support/uGuard.h"
#include "viewer/uViewerLogic.h"
#include "viewer/uWin32Window.h"

namespace pelorin {
namespace {

// One hook per thread, with the number of viewer windows of that thread using it.
struct THookUse {
  HHOOK Hook = nullptr;
  int Windows = 0;
};

std::mutex& HooksLock() {
  static std::mutex* lock = new std::mutex;  // outlives every thread, even during unload
  return *lock;
}

std::map<DWORD, THookUse>& Hooks() {
  static std::map<DWORD, THookUse>* hooks = new std::map<DWORD, THookUse>;
  return *hooks;
}

constexpr LPARAM kKeyReleasedBit = LPARAM{1} << 31;
constexpr LPARAM kAltHeldBit = LPARAM{1} << 29;

// The viewer window that has the focus or holds the focused window, or null.
HWND FocusedViewer() {
  HWND desktop = GetDesktopWindow();
  for (HWND wnd = GetFocus(); wnd && wnd != desktop; wnd = GetAncestor(wnd, GA_PARENT))
    if (IsViewerWindow(wnd)) return wnd;
  return nullptr;
}

// A key the viewer takes is posted to it and kept from the host; every other key, and each
// key with Ctrl or Alt held but Ctrl+C, goes on to the host.
bool TakeKey(WPARAM key, LPARAM flags) {
  if (flags & kKeyReleasedBit) return false;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  const bool alt = (flags & kAltHeldBit) != 0 || GetKeyState(VK_MENU) < 0;
  if (!ViewerTakesKey(static_cast<int>(key), ctrl, alt)) return false;
  HWND target = FocusedViewer();
  return target && PostMessageA(target, WM_KEYDOWN, key, flags);
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  bool taken = false;
  // Only a key that is being removed from the queue: a look-ahead (HC_NOREMOVE) comes again.
  if (code == HC_ACTION) TryGuarded("KeyboardHookProc", [&] { taken = TakeKey(wParam, lParam); });
  return taken ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

unsigned long long Number(const void* handle) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace

void InstallKbdHook(HWND wnd) {
  std::lock_guard<std::mutex> guard(HooksLock());
  THookUse& use = Hooks()[GetCurrentThreadId()];
  if (!use.Hook) use.Hook = SetWindowsHookExA(WH_KEYBOARD, &KeyboardHookProc, nullptr, GetCurrentThreadId());
  ++use.Windows;
  DebugLogFmt("InstallKbdHook: HHOOK=%llu HWND=%llu", Number(use.Hook), Number(wnd));
  DebugLogFmt("InstallKbdHook: viewer windows on this thread: %d", use.Windows);
}

void RemoveKbdHook(HWND wnd) {
  std::lock_guard<std::mutex> guard(HooksLock());
  auto found = Hooks().find(GetCurrentThreadId());
  if (found == Hooks().end()) return;
  THookUse& use = found->second;
  if (--use.Windows > 0) return;
  if (use.Hook) UnhookWindowsHookEx(use.Hook);
  Hooks().erase(found);
  DebugLog("RemoveKbdHook: unhooked");
  DebugLogFmt("RemoveKbdHook: HWND=%llu was the thread's last viewer window", Number(wnd));
}

void RemoveAllKbdHooks() {
  std::lock_guard<std::mutex> guard(HooksLock());
  for (const auto& entry : Hooks())
    if (entry.second.Hook) UnhookWindowsHookEx(entry.second.Hook);
  if (!Hooks().empty()) DebugLog("RemoveKbdHook: unhooked");
  Hooks().clear();
}

bool KbdHookInstalled() {
  std::lock_guard<std::mutex> guard(HooksLock());
  auto found = Hooks().find(GetCurrentThreadId());
  return found != Hooks().end() && found->second.Hook;
}

}  // namespace pelorin
