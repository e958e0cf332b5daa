// Small helpers shared by the test programs.
#pragma once

#include <chrono>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pelorin_test {

// How often `what` occurs in `text` (overlapping occurrences count).
inline size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

#ifdef _WIN32
// An exported function of a loaded DLL as a typed pointer.
template <typename T>
T ProcAs(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

inline void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Pumps messages until `done` holds or the time is up.
template <typename TDone>
bool PumpUntil(TDone done, double seconds = 90) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    PumpMessages();
    Sleep(10);
  }
  PumpMessages();
  return true;
}
#endif

}  // namespace pelorin_test
