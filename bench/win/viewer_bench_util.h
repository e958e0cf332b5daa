// Shared by the Windows benchmarks of the viewer: timing and figures, a sized window with its
// OpenGL drawing state, the benchmark configuration and the time to a new viewer window's first picture.
#pragma once

// clang-format off
#include <windows.h>
#include <GL/gl.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../bench_timing.h"
#include "convert/uConverter.h"
#include "model3d/uMeshModel.h"
#include "render/uGLContext.h"
#include "render/uMeshRender.h"
#include "render/uOpenGL.h"
#include "support/uConfig.h"
#include "support/uWinHandle.h"
#include "viewer/uWin32Window.h"

namespace pelorin_bench {

using namespace pelorin;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// `ratio` is the measured time over the baseline's; `ms` is that time, or for an overhead the
// part beyond the baseline (as bench_thumbnail prints its figure).
inline void PrintRatioFigure(const char* name, double ms, double measuredMs, double baselineMs) {
  std::printf("FIGURE %s: %.3g ms (%.2f x baseline)\n", name, ms, baselineMs > 0 ? measuredMs / baselineMs : 0.0);
  std::fflush(stdout);
}

inline void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// A top-level window whose client area is exactly kWidth x kHeight.
inline HWND CreateSizedWindow(const char* className, WNDPROC proc, DWORD style) {
  WNDCLASSA wc{};
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className;
  RegisterClassA(&wc);
  RECT r{0, 0, kWidth, kHeight};
  AdjustWindowRect(&r, style, FALSE);
  HWND wnd = CreateWindowExA(0, className, "bench", style, 0, 0, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                             wc.hInstance, nullptr);
  PumpMessages();
  return wnd;
}

// A hidden window with its own OpenGL drawing state, its context current while the object lives.
class TGLWindow {
 public:
  TGLWindow() : window_(CreateSizedWindow("PelorinFrameBench", DefWindowProcA, WS_OVERLAPPEDWINDOW)) {
    if (window_) gl_ = TWindowGL::Create(window_.get());
    current_ = MakeCurrent();
  }
  ~TGLWindow() {
    if (current_) wglMakeCurrent(nullptr, nullptr);
  }
  TGLWindow(const TGLWindow&) = delete;
  TGLWindow& operator=(const TGLWindow&) = delete;
  bool Ready() const { return current_; }
  bool MakeCurrent() { return gl_ && wglMakeCurrent(gl_->DC(), gl_->Context()) != FALSE; }
  TMeshBuffers& Mesh() { return gl_->Mesh(); }
  TGLFontCache& Text() { return gl_->Text(); }

 private:
  TOwnedWindow window_;
  std::unique_ptr<TWindowGL> gl_;
  bool current_ = false;
};

inline void UseConfig(const std::string& tempDir, TViewMode startMode, TModel3D model = TModel3D::Auto) {
  TPelorinConfig c;
  c.Model3D = model;
  c.OBabelPath = PELORIN_BRIDGE_EXE;
  c.CmdLine2D = kDefaultCmdLine2D;
  c.CmdLine3D = kDefaultCmdLine3D;
  c.OBabelOpts = kDefaultOBabelOpts;
  c.StartMode = startMode;
  c.TempDir = tempDir;
  StoreConfig(c);
}

inline LRESULT CALLBACK ParentProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

// A new viewer window on `input` until its first picture is drawn and finished; -1 on failure.
inline double FirstPictureMs(HWND parent, const std::string& input) {
  HWND wnd = nullptr;
  bool drawn = false;
  const double ms = MillisecondsOf([&] {
    wnd = CreatePelorinWindow(parent, input);
    if (!wnd) return;
    while (StateOf(wnd) && StateOf(wnd)->Loading) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      PumpMessages();
    }
    UpdateWindow(wnd);  // paints now unless the pump already did
    TPelorinState* state = StateOf(wnd);
    if (!state || !state->Shown.Ready || !state->GL) return;
    const TCurrentContext current = state->GL->MakeCurrent();
    if (!current) return;
    glFinish();
    drawn = true;
  });
  if (wnd) DestroyWindow(wnd);
  PumpMessages();
  return drawn ? ms : -1;
}

// The process's working set and its peak so far, as the system counts them.
struct TMemory {
  uint64_t Now = 0, Peak = 0;
};
inline TMemory ProcessMemory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return {};
  return {counters.WorkingSetSize, counters.PeakWorkingSetSize};
}

// How often a benchmark draws and loads: --frames N (at least 1) and --loads N (at least
// `minLoads`) override the defaults.
struct TBenchRuns {
  int Frames = 7;
  int Loads = 3;
};
inline TBenchRuns ParseBenchRuns(int argc, char** argv, TBenchRuns runs, int minLoads) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--frames") == 0)
      runs.Frames = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--loads") == 0)
      runs.Loads = std::max(minLoads, std::atoi(argv[++i]));
  }
  return runs;
}

// Loads OpenGL, attaches the viewer library to this program and makes a temporary folder of its
// own, named by `prefix` and the process id. False, said on stderr, when OpenGL cannot be loaded.
inline bool StartViewerBench(const char* prefix, std::filesystem::path& temp) {
  std::string error;
  if (!LoadOpenGL(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  ViewerLibraryAttach(GetModuleHandleA(nullptr));
  temp = std::filesystem::temp_directory_path() / (prefix + std::to_string(GetCurrentProcessId()));
  std::filesystem::create_directories(temp);
  return true;
}

// A surface model as the viewer's load makes it: the converter's STL, read and prepared.
inline std::shared_ptr<TMeshModel> LoadSurfaceModel(const std::string& input) {
  std::string stlPath, error;
  if (!RunOBabelSTL(input, stlPath, error)) {
    std::fprintf(stderr, "the 3D conversion failed: %s\n", error.c_str());
    return nullptr;
  }
  auto model = std::make_shared<TMeshModel>();
  const bool loaded = LoadMeshModel(*model, stlPath, error);
  DeleteFileA(stlPath.c_str());
  if (!loaded) {
    std::fprintf(stderr, "the STL model did not load %s\n", error.c_str());
    return nullptr;
  }
  return model;
}

}  // namespace pelorin_bench
