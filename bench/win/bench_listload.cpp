// ListLoad of a 1 GB SDF library against ListLoad of caffeine.mol, through the DLL loaded as the
// file manager loads it, and the peak memory of the open library against one index entry of
// 16 bytes a record above the host's baseline. The library is made in the build folder and
// deleted afterwards. Windows only (runs under Wine with the bridge converter).
//   bench_listload [--runs N] [--size MB]
#include <windows.h>
// psapi.h needs the types of windows.h first.
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../bench_timing.h"

namespace {

using pelorin_bench::Median;

using TListLoadFn = HWND(__stdcall*)(HWND, char*, int);
using TListCloseFn = void(__stdcall*)(HWND);
using TDefaultParamsFn = void(__stdcall*)(void*);
constexpr UINT kGoToRecord = WM_USER + 104;  // the viewer's WM_PELORIN_GOTO_RECORD

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double PeakWorkingSetMB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1 << 20);
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A private copy of the plugin with an ini that points at the bridge converter and logs, so
// that finished loads and the record count can be read from the log.
struct TPluginCopy {
  std::filesystem::path Dir;
  HMODULE Module = nullptr;
  TListLoadFn Load = nullptr;
  TListCloseFn Close = nullptr;

  TPluginCopy() {
    Dir = std::filesystem::temp_directory_path() / ("pelorin_listload_" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(Dir);
    std::filesystem::copy_file(PELORIN_PLUGIN_DLL, Dir / "PELORINPLUGIN.dll",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(Dir / "pelorin.ini", std::ios::binary)
        << "[Pelorin]\r\nOBabelPath=" << PELORIN_BRIDGE_EXE << "\r\nStartMode=2D\r\nLogging=1\r\n";
    Module = LoadLibraryW((Dir / "PELORINPLUGIN.dll").wstring().c_str());
    if (!Module) return;
    auto defaults =
        reinterpret_cast<TDefaultParamsFn>(reinterpret_cast<void*>(GetProcAddress(Module, "ListSetDefaultParams")));
    Load = reinterpret_cast<TListLoadFn>(reinterpret_cast<void*>(GetProcAddress(Module, "ListLoad")));
    Close = reinterpret_cast<TListCloseFn>(reinterpret_cast<void*>(GetProcAddress(Module, "ListCloseWindow")));
    if (defaults) defaults(nullptr);
  }
  ~TPluginCopy() {
    if (Module) FreeLibrary(Module);
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
  }
  std::string Log() const { return ReadText(Dir / "pelorindebug.log"); }
  // Pumps messages until the log shows one more finished load than `before`.
  bool WaitForLoad(size_t before) const {
    const double deadline = NowMs() + 120000;
    while (NowMs() < deadline) {
      PumpMessages();
      if (CountOf(Log(), "WM_PELORIN_LOADED: ") > before) return true;
      Sleep(20);
    }
    return false;
  }
};

// Repeats the sample library's records until the file holds `size` bytes.
bool MakeLibrary(const std::filesystem::path& path, uint64_t size) {
  const std::string records = ReadText(std::filesystem::path(PELORIN_SAMPLES_DIR) / "three.sdf");
  return pelorin_bench::WriteRepeated(path, records, size);
}

LRESULT CALLBACK ParentProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

HWND CreateParent() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = ParentProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PelorinListLoadBench";
  RegisterClassA(&wc);
  HWND wnd = CreateWindowExA(0, wc.lpszClassName, "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                             nullptr, wc.hInstance, nullptr);
  PumpMessages();
  return wnd;
}

// ListLoad alone, in ms; the window is closed after its first load has finished.
double TimeListLoad(const TPluginCopy& plugin, HWND parent, const std::string& file) {
  std::string name = file;
  const size_t loads = CountOf(plugin.Log(), "WM_PELORIN_LOADED: ");
  const double start = NowMs();
  HWND wnd = plugin.Load(parent, name.data(), 0);
  const double ms = NowMs() - start;
  if (!wnd) return -1;
  const bool loaded = plugin.WaitForLoad(loads);
  plugin.Close(wnd);
  PumpMessages();
  return loaded ? ms : -1;
}

struct TLibraryFigures {
  double PeakMB = 0, LastRecordMs = 0;
  long long Records = 0;
};

// Opens the library, waits until its records are counted, steps to the last one and waits for
// its picture: the peak working set of all that.
bool OpenLibraryToItsEnd(const TPluginCopy& plugin, HWND parent, const std::string& file, TLibraryFigures& figures) {
  std::string name = file;
  const double start = NowMs();
  HWND wnd = plugin.Load(parent, name.data(), 0);
  if (!wnd) return false;
  bool ok = false;
  const double deadline = NowMs() + 300000;
  while (NowMs() < deadline) {
    PumpMessages();
    const size_t loads = CountOf(plugin.Log(), "WM_PELORIN_LOADED: ");
    const LRESULT went = SendMessageA(wnd, kGoToRecord, static_cast<WPARAM>(-1), 0);
    if (went >= 0) {
      ok = went == 0 || plugin.WaitForLoad(loads);
      break;
    }
    Sleep(20);
  }
  figures.LastRecordMs = NowMs() - start;
  figures.PeakMB = PeakWorkingSetMB();
  plugin.Close(wnd);
  PumpMessages();
  const std::string log = plugin.Log();
  const size_t at = log.rfind("SDF split: ");
  if (at != std::string::npos) figures.Records = std::atoll(log.c_str() + at + 11);
  return ok && figures.Records > 0;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  uint64_t sizeMB = 1024;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[++i]));
    if (std::strcmp(argv[i], "--size") == 0) sizeMB = std::max(1, std::atoi(argv[++i]));
  }
  TPluginCopy plugin;
  if (!plugin.Load || !plugin.Close) {
    std::fprintf(stderr, "cannot load the plugin\n");
    return 1;
  }
  const std::filesystem::path library = std::filesystem::path(PELORIN_BENCH_DATA_DIR) / "listload_1gb.sdf";
  std::filesystem::create_directories(library.parent_path());
  if (!MakeLibrary(library, sizeMB << 20)) {
    std::fprintf(stderr, "cannot make %s\n", library.string().c_str());
    return 1;
  }
  const std::string caffeine = PELORIN_SAMPLES_DIR "\\caffeine.mol";
  HWND parent = CreateParent();
  bool ok = parent != nullptr;
  // The host's baseline: the plugin loaded and a window on caffeine open.
  ok = ok && TimeListLoad(plugin, parent, caffeine) >= 0;
  const double baselineMB = PeakWorkingSetMB();
  std::vector<double> small, large;
  for (int i = 0; ok && i < runs; ++i) {
    small.push_back(TimeListLoad(plugin, parent, caffeine));
    large.push_back(TimeListLoad(plugin, parent, library.string()));
    ok = small.back() >= 0 && large.back() >= 0;
  }
  TLibraryFigures figures;
  ok = ok && OpenLibraryToItsEnd(plugin, parent, library.string(), figures);
  if (parent) DestroyWindow(parent);
  PumpMessages();
  std::error_code ignored;
  std::filesystem::remove(library, ignored);
  if (!ok) {
    std::fprintf(stderr, "a ListLoad or a load failed\n");
    return 1;
  }
  const double smallMs = Median(small), largeMs = Median(large);
  const double indexMB = 16.0 * static_cast<double>(figures.Records) / (1 << 20);
  std::printf("ListLoad: caffeine.mol %.1f ms, %llu MB library %.1f ms (median of %d)\n", smallMs,
              static_cast<unsigned long long>(sizeMB), largeMs, runs);
  std::printf(
      "library of %lld records: last record drawn %.0f ms after ListLoad; peak working set %.0f MB, host baseline "
      "%.0f MB, 16 B a record %.1f MB\n",
      figures.Records, figures.LastRecordMs, figures.PeakMB, baselineMB, indexMB);
  std::printf("FIGURE listload_sdf_1gb: %.3g ms (%.2f x baseline)\n", largeMs, smallMs > 0 ? largeMs / smallMs : 0.0);
  std::printf("FIGURE listload_sdf_1gb_peak_memory: %.3g MB (%.2f x baseline)\n", figures.PeakMB,
              figures.PeakMB / (indexMB + baselineMB));
  return 0;
}
