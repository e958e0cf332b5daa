// Shared set-up for the viewer window tests: a visible parent window, a configuration
// that points at the real converter (through the bridge), and waiting for loads.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>

#include "convert/uConverter.h"
#include "support/uConfig.h"
#include "support/uDebugLog.h"
#include "test_paths.h"
#include "test_temp_dir.h"
#include "viewer/uLoadThread.h"
#include "viewer/uWin32Window.h"

namespace pelorin_test {

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

// Points TempDir somewhere else for the lifetime of the object.
class TPelorinTestConfigOverride {
 public:
  explicit TPelorinTestConfigOverride(const std::string& tempDir) : saved_(pelorin::ConfigSnapshot()) {
    pelorin::TPelorinConfig c = saved_;
    c.TempDir = tempDir;
    pelorin::StoreConfig(c);
  }
  ~TPelorinTestConfigOverride() { pelorin::StoreConfig(saved_); }

 private:
  pelorin::TPelorinConfig saved_;
};

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pelorin::ViewerLibraryAttach(GetModuleHandleA(nullptr));
    UseStartMode(0);
    pelorin::DebugLogSetup(logDir_.Dir(), true);
    parent_ = CreateParent(640, 480);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override {
    if (parent_) DestroyWindow(parent_);
    PumpMessages();
    pelorin::DebugLogClose();
    pelorin::SetRunLimits({});
    for (const auto& entry : std::filesystem::directory_iterator(temp_.Path()))
      ADD_FAILURE() << "left behind: " << entry.path().string();
  }

  // WM_APP (wParam: a window) destroys that window: lets a test close the viewer from
  // another thread by a sent message, as a host's own threads may.
  static LRESULT CALLBACK ParentProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_APP) {
      DestroyWindow(reinterpret_cast<HWND>(wParam));
      return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
  }

  static HWND CreateParent(int width, int height) {
    static bool registered = false;
    if (!registered) {
      WNDCLASSA wc{};
      wc.lpfnWndProc = &ParentProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "PelorinTestParent";
      RegisterClassA(&wc);
      registered = true;
    }
    RECT r{0, 0, width, height};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND wnd =
        CreateWindowExA(0, "PelorinTestParent", "viewer test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, r.right - r.left,
                        r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    PumpMessages();
    return wnd;
  }

  // A pane of exactly width x height inside the test's main window (a top-level window
  // cannot be made arbitrarily small).
  HWND CreatePane(int width, int height) {
    HWND pane = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent_, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    PumpMessages();
    return pane;
  }

  void UseStartMode(int mode, const std::string& converter = pelorin::testpaths::BridgeExe()) {
    pelorin::TPelorinConfig c;
    c.OBabelPath = converter;
    c.CmdLine2D = pelorin::kDefaultCmdLine2D;
    c.CmdLine3D = pelorin::kDefaultCmdLine3D;
    c.OBabelOpts = pelorin::kDefaultOBabelOpts;
    c.StartMode = mode;
    c.TempDir = temp_.Dir();
    c.Logging = true;
    pelorin::StoreConfig(c);
  }

  HWND Open(const std::string& file) { return pelorin::CreatePelorinWindow(parent_, file); }
  static pelorin::TPelorinState* State(HWND wnd) { return pelorin::StateOf(wnd); }
  static bool WaitLoaded(HWND wnd) {
    return PumpUntil([wnd] { return !pelorin::StateOf(wnd) || !pelorin::StateOf(wnd)->Loading; });
  }
  std::string Log() const { return ReadFileBytes(logDir_.File("pelorindebug.log")); }

  TTempDir temp_;
  TTempDir logDir_;
  HWND parent_ = nullptr;
};

}  // namespace pelorin_test
