// Browsing as a user of the file manager does, through the plugin's entry points with the real
// converter (the bridge) and the debug log on, as installed: ListLoad's own time and the time to
// its first 2D picture, ListLoadNext to the next file's picture, a step to a record made ready
// during a pause, a step back and T back to the view just seen, each against the converter's
// own run in the same program; and the memory the kept views take after 200 steps through a
// library, against their budget. Windows only (runs under Wine, software OpenGL).
//   bench_browse [--loads N] [--steps N]
// clang-format off
#include <windows.h>
#include <GL/gl.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "plugin/uWLXExports.h"
#include "support/uDebugLog.h"
#include "viewer/uLoadController.h"
#include "viewer_bench_util.h"

using namespace pelorin;
using namespace pelorin_bench;

namespace {

struct TBrowseRuns {
  int Loads = 9;
  int Steps = 200;
};

TBrowseRuns ParseRuns(int argc, char** argv) {
  TBrowseRuns runs;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--loads") == 0) runs.Loads = std::max(1, std::atoi(argv[++i]));
    if (std::strcmp(argv[i], "--steps") == 0) runs.Steps = std::max(4, std::atoi(argv[++i]));
  }
  return runs;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Pumps messages until `done`, waiting for them in between; false after two minutes.
template <typename TDone>
bool PumpUntil(TDone done) {
  const ULONGLONG deadline = GetTickCount64() + 120000;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    PumpMessages();
  }
  return true;
}

// The window's picture, drawn now if it is not yet, and finished by the driver; false when the
// window shows no picture (a failed load).
bool PictureDrawn(HWND wnd) {
  UpdateWindow(wnd);
  TPelorinState* state = StateOf(wnd);
  if (!state || !state->Shown.Ready || !state->GL) return false;
  const TCurrentContext current = state->GL->MakeCurrent();
  if (!current) return false;
  glFinish();
  return true;
}

// Waits for the shown load, then draws: false when it failed.
bool WaitForPicture(HWND wnd) {
  return PumpUntil([wnd] { return !StateOf(wnd) || (!StateOf(wnd)->Loading && !StateOf(wnd)->GLPending); }) &&
         PictureDrawn(wnd);
}

// Until the background conversion after the shown record has ended (and the records are counted).
bool WaitForPrefetch(HWND wnd) {
  PumpMessages();  // the drawn record asks for it by a posted message
  return PumpUntil([wnd] {
    const TPelorinState* s = StateOf(wnd);
    return !s || (!s->Loading && !s->PrefetchDue && !s->Prefetch && s->RecordCountFinal);
  });
}

// A key the user presses, until its record or view is drawn; then the pause in which the next
// record is made ready.
double StepMs(HWND wnd, WPARAM key, bool& ok) {
  const double ms = MillisecondsOf([&] {
    SendMessageA(wnd, WM_KEYDOWN, key, 0);
    ok = WaitForPicture(wnd) && ok;
  });
  ok = WaitForPrefetch(wnd) && ok;
  return ms;
}

// The 2D converter's run on `input`, as the load runs it; -1 when it failed.
double ConverterMs(const std::string& input) {
  bool ok = false;
  const double ms = MillisecondsOf([&] {
    std::string svg, error;
    ok = RunOBabel(input, svg, error);
  });
  return ok ? ms : -1;
}

struct TFigure {
  std::vector<double> Measured, Converter;
  void Add(double measured, double converter) {
    Measured.push_back(measured);
    Converter.push_back(converter);
  }
  void Print(const char* name, const char* what) const {
    const double m = Median(Measured), c = Median(Converter);
    std::printf("%s: %.1f ms, converter alone %.1f ms (median of %d)\n", what, m, c, static_cast<int>(Measured.size()));
    PrintRatioFigure(name, m, m, c);
  }
};

// ListLoad's own time and the time to its first picture; and ListLoadNext from one copy of
// caffeine to the next (copies, so that no view of the file is kept).
bool MeasureLoads(HWND parent, const std::filesystem::path& dir, int runs) {
  const std::string caffeine = PELORIN_SAMPLES_DIR "\\caffeine.mol";
  TFigure listLoad, firstPicture, loadNext;
  for (int i = -1; i < runs; ++i) {  // the first round warms up
    std::string name = caffeine;
    HWND wnd = nullptr;
    bool ok = true;
    double returned = 0;
    const double drawn = MillisecondsOf([&] {
      returned = MillisecondsOf([&] { wnd = ListLoad(parent, name.data(), 0); });
      ok = wnd && WaitForPicture(wnd);
    });
    const std::string next = (dir / ("caffeine_" + std::to_string(i + 1) + ".mol")).string();
    std::filesystem::copy_file(caffeine, next, std::filesystem::copy_options::overwrite_existing);
    std::string nextName = next;
    const double nextMs =
        MillisecondsOf([&] { ok = ok && ListLoadNext(parent, wnd, nextName.data(), 0) == 0 && WaitForPicture(wnd); });
    if (wnd) ListCloseWindow(wnd);
    PumpMessages();
    const double converter = ConverterMs(caffeine), nextConverter = ConverterMs(next);
    if (!ok || converter < 0 || nextConverter < 0) {
      std::fprintf(stderr, "a load or a converter run failed\n");
      return false;
    }
    if (i < 0) continue;
    listLoad.Add(returned, converter);
    firstPicture.Add(drawn, converter);
    loadNext.Add(nextMs, nextConverter);
  }
  listLoad.Print("listload", "ListLoad of caffeine returned");
  firstPicture.Print("first_picture_2d", "ListLoad to the first 2D picture");
  loadNext.Print("loadnext", "ListLoadNext to the next file's picture");
  return true;
}

// A library of the sample's three records over and over: each step is a record of its own.
std::string WriteLibrary(const std::filesystem::path& dir, int records) {
  const std::string three = ReadText(PELORIN_SAMPLES_DIR "\\three.sdf");
  std::string text;
  for (int i = 0; i < (records + 2) / 3; ++i) text += three;
  const std::string path = (dir / "library.sdf").string();
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// Each record of the sample alone, as the load writes it for the converter.
std::vector<std::string> WriteRecords(const std::filesystem::path& dir) {
  TRecordIndex index(PELORIN_SAMPLES_DIR "\\three.sdf");
  std::vector<std::string> paths;
  if (BuildRecordIndex(index) != TRecordIndexState::kComplete) return paths;
  for (size_t i = 0; i < index.Count(); ++i) {
    std::string text, error;
    if (!index.ReadRecord(i, text, error)) return {};
    paths.push_back((dir / ("record_" + std::to_string(i) + ".mol")).string());
    std::ofstream(paths.back(), std::ios::binary) << text;
  }
  return paths;
}

// Steps through the library with a pause on each record (the next one is made ready meanwhile)
// and a step back now and then: the memory the kept views take after all steps; then T to the
// 3D model and back, a few times.
bool MeasureSteps(HWND parent, const std::filesystem::path& dir, int steps) {
  const std::vector<std::string> records = WriteRecords(dir);
  if (records.size() != 3) return false;
  const std::string library = WriteLibrary(dir, steps + 2);
  std::string name = library;
  HWND wnd = ListLoad(parent, name.data(), 0);
  bool ok = wnd && WaitForPicture(wnd) && WaitForPrefetch(wnd);
  const TMemory before = ProcessMemory();
  TFigure prefetched, back, toggleBack;
  for (int i = 0; ok && i < steps; ++i) {
    const double stepMs = StepMs(wnd, VK_RIGHT, ok);
    const double converter = ConverterMs(records[(i + 1) % 3]);
    prefetched.Add(stepMs, converter);
    if (i % 20 == 5) {  // back to the record just seen, and forward again
      back.Add(StepMs(wnd, VK_LEFT, ok), ConverterMs(records[i % 3]));
      StepMs(wnd, VK_RIGHT, ok);
    }
  }
  const TMemory after = ProcessMemory();
  TPelorinState* state = wnd ? StateOf(wnd) : nullptr;
  const uint64_t kept = state ? state->KeptViews.SceneBytes() : 0,
                 budget = state ? state->KeptViews.Limits().SceneBytes : 0;
  const size_t views = state ? state->KeptViews.Count() : 0;
  for (int i = 0; ok && i < 3; ++i) {  // to the 3D model and back to the drawing, then on
    StepMs(wnd, 'T', ok);
    toggleBack.Add(StepMs(wnd, 'T', ok), ConverterMs(records[(steps + 1 + i) % 3]));
    StepMs(wnd, VK_RIGHT, ok);
  }
  if (wnd) ListCloseWindow(wnd);
  PumpMessages();
  if (!ok || prefetched.Measured.empty() || back.Measured.empty() || toggleBack.Measured.empty()) {
    std::fprintf(stderr, "a step or a converter run failed\n");
    return false;
  }
  prefetched.Print("step_prefetched", "a step to the record made ready during the pause");
  back.Print("step_back", "a step back to the record just seen");
  toggleBack.Print("toggle_back", "T back to the drawing just seen");
  const double grownMB = (static_cast<double>(after.Now) - static_cast<double>(before.Now)) / (1 << 20);
  const double keptMB = static_cast<double>(kept) / (1 << 20), budgetMB = static_cast<double>(budget) / (1 << 20);
  std::printf(
      "after %d steps: %zu views kept, %.1f MB of 2D scenes as counted; working set grown by %.1f MB; budget %.0f MB\n",
      steps, views, keptMB, grownMB, budgetMB);
  std::printf("FIGURE view_cache_memory: %.3g MB (%.2f x baseline)\n", std::max(grownMB, keptMB),
              std::max(grownMB, keptMB) / budgetMB);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const TBrowseRuns runs = ParseRuns(argc, argv);
  std::filesystem::path temp;
  if (!StartViewerBench("pelorin_browse_", temp)) return 1;
  const std::string tempDir = temp.string() + "\\";
  UseConfig(tempDir, TViewMode::k2D);
  TPelorinConfig config = ConfigSnapshot();
  config.Logging = true;
  StoreConfig(config);
  ConfigLoaded = true;  // the entry points take this configuration as the plugin's
  DebugLogSetup(tempDir, true);
  HWND parent = CreateSizedWindow("PelorinBrowseBenchParent", ParentProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  bool ok = parent && MeasureLoads(parent, temp, runs.Loads);
  ok = ok && MeasureSteps(parent, temp, runs.Steps);
  if (parent) DestroyWindow(parent);
  PumpMessages();
  DebugLogClose();
  ViewerLibraryDetach();
  UnloadOpenGL();
  std::error_code ignored;
  std::filesystem::remove_all(temp, ignored);
  return ok ? 0 : 1;
}
