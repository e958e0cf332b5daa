// Shared set-up for the viewer window tests: the converter tests' configuration and log
// (through the bridge to the real converter), a visible parent window, waiting for loads.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/converter_test_util.h"
#include "formats/uRecordIndex.h"
#include "test_drawing.h"
#include "viewer/uLoadController.h"
#include "viewer/uWin32Window.h"

namespace pelorin_test {

class ViewerTest : public ConverterTest {
 protected:
  void SetUp() override {
    pelorin::ViewerLibraryAttach(GetModuleHandleA(nullptr));
    ConverterTest::SetUp();
    parent_ = CreateParent(640, 480);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override {
    if (parent_) DestroyWindow(parent_);
    PumpMessages();
    ConverterTest::TearDown();
  }

  // Destroys a window of this thread when another thread asks: DestroyWindow works only on
  // the owning thread, which may sit in a modal loop or a wait that handles sent messages.
  bool DestroyFromAnotherThread(HWND wnd) const {
    return SendMessageA(parent_, WM_APP, reinterpret_cast<WPARAM>(wnd), 0) != 0;
  }
  static LRESULT CALLBACK ParentProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_APP) return DestroyWindow(reinterpret_cast<HWND>(wParam));
    return DefWindowProcA(wnd, msg, wParam, lParam);
  }

  static HWND CreateParent(int width, int height) {
    static const bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = &ParentProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "PelorinTestParent";
      return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
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

  HWND Open(const std::string& file) { return pelorin::CreatePelorinWindow(parent_, file); }

  // The counting stand-in as the converter, from a folder of the test's own where its count
  // and hold files lie: each run is counted, and is a real conversion unless held.
  void UseCountingConverter(pelorin::TViewMode mode) {
    const std::string exe = counter_.File("obabel.exe");
    std::filesystem::copy_file(pelorin::testpaths::CountingStandInExe(), exe);
    UseStartMode(mode, exe);
  }
  size_t ConverterRuns() const {
    return CountOf(ReadFileBytes(counter_.File(pelorin::testpaths::kRunsFileName)), "run");
  }
  // While held, the counting stand-in's runs sleep instead of converting.
  void HoldConversions(bool hold) const {
    const std::string file = counter_.File(pelorin::testpaths::kHoldFileName);
    if (hold)
      WriteFileBytes(file, "");
    else
      std::filesystem::remove(file);
  }
  bool WaitForLog(const std::string& line, double seconds = 60) const {
    return PumpUntil([&] { return Log().find(line) != std::string::npos; }, seconds);
  }
  static pelorin::TPelorinState* State(HWND wnd) { return pelorin::StateOf(wnd); }
  // Until the load has ended and the records are counted.
  static bool WaitLoaded(HWND wnd) {
    return PumpUntil([wnd] {
      const pelorin::TPelorinState* state = pelorin::StateOf(wnd);
      return !state || (!state->Loading && state->RecordCountFinal);
    });
  }

  HWND parent_ = nullptr;
  TTempDir counter_;
};

// Repaints a viewer window with its current values and reads its picture back.
inline TImage Picture(HWND wnd) {
  InvalidateRect(wnd, nullptr, FALSE);
  PumpMessages();
  return TakeImage(pelorin::RenderViewToBitmap(wnd));
}

// Every record of an SDF file, as the viewer reads it through the record index.
inline std::vector<std::string> RecordsOf(const std::string& path) {
  pelorin::TRecordIndex index(path);
  std::vector<std::string> records;
  if (pelorin::BuildRecordIndex(index) != pelorin::TRecordIndexState::kComplete) return records;
  for (size_t i = 0; i < index.Count(); ++i) {
    std::string text, error;
    if (index.ReadRecord(i, text, error)) records.push_back(text);
  }
  return records;
}

}  // namespace pelorin_test
