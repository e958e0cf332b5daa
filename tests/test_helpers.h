// Small helpers shared by the test programs.
#pragma once

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
#endif

}  // namespace pelorin_test
