// Small helpers shared by the test programs.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on
#endif

namespace pelorin_test {

// How often `what` occurs in `text` (overlapping occurrences count).
inline size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

#ifdef _WIN32
// Sets an environment variable of this process (as the platform's functions read it) for
// the object's lifetime; the variable is restored, or removed if it was not set.
class TScopedEnvironment {
 public:
  TScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size) {
      saved_.emplace(size, L'\0');
      saved_->resize(GetEnvironmentVariableW(name, saved_->data(), size));
    }
    SetEnvironmentVariableW(name, value.c_str());
  }
  TScopedEnvironment(const TScopedEnvironment&) = delete;
  TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;
  ~TScopedEnvironment() { SetEnvironmentVariableW(name_, saved_ ? saved_->c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::optional<std::wstring> saved_;
};

// The running processes of this name that this test program started (the plugin's converters
// run as its children). ctest runs two test programs at once in one Wine server, each starting
// converters of the same names; and a process that has ended may stay listed a moment longer.
inline std::vector<DWORD> ProcessesNamed(const std::wstring& exeName) {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID != GetCurrentProcessId() || _wcsicmp(entry.szExeFile, exeName.c_str()) != 0) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (!process) continue;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) ids.push_back(entry.th32ProcessID);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return ids;
}

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
