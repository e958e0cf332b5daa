// Copy (Ctrl+C, the host's copy command) of a viewer window's view as the user sees it in 3D: a
// generated 20,000-atom PDB (drawn as atoms) against caffeine (drawn as its surface), each the
// median of several copies to the clipboard through the real converter's bridge. Windows only
// (runs under Wine, software OpenGL).
//   bench_copy [--loads N]   (copies per file, default 7)
// clang-format off
#include <windows.h>
// clang-format on

#include <filesystem>
#include <fstream>
#include <vector>

#include "lattice_pdb.h"
#include "viewer/uClipboard.h"
#include "viewer_bench_util.h"

using namespace pelorin;
using namespace pelorin_bench;

namespace {

constexpr int kProteinAtoms = 20000;
constexpr double kGoal = 3;  // the large copy may take at most this many times caffeine's

// A new viewer window on `input`, once its first picture is drawn; null on failure.
HWND OpenLoaded(HWND parent, const std::string& input) {
  HWND wnd = CreatePelorinWindow(parent, input);
  while (wnd && StateOf(wnd) && StateOf(wnd)->Loading) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    PumpMessages();
  }
  if (!wnd || !StateOf(wnd) || !StateOf(wnd)->Shown.Ready) {
    std::fprintf(stderr, "no view of %s: %s\n", input.c_str(),
                 wnd && StateOf(wnd) ? StateOf(wnd)->Shown.ErrorMsg.c_str() : "");
    if (wnd) DestroyWindow(wnd);
    return nullptr;
  }
  UpdateWindow(wnd);
  return wnd;
}

// The median copy of the view of `input`, after one copy that warms up; -1 on failure.
double MedianCopyMs(HWND parent, const std::string& input, int copies) {
  HWND wnd = OpenLoaded(parent, input);
  if (!wnd) return -1;
  std::vector<double> ms;
  bool copied = CopyView(StateOf(wnd));
  for (int i = 0; copied && i < copies; ++i) ms.push_back(MillisecondsOf([&] { copied = CopyView(StateOf(wnd)); }));
  DestroyWindow(wnd);
  PumpMessages();
  if (!copied) std::fprintf(stderr, "the copy of %s failed\n", input.c_str());
  return copied ? Median(ms) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int copies = ParseBenchRuns(argc, argv, {7, 7}, 1).Loads;
  std::filesystem::path temp;
  if (!StartViewerBench("pelorin_copy_", temp)) return 1;
  const std::string caffeine = PELORIN_SAMPLES_DIR "\\caffeine.mol", protein = (temp / "lattice.pdb").string();
  std::ofstream(protein, std::ios::binary) << lattice::LatticePDBText(kProteinAtoms);
  const std::filesystem::path work = temp / "work";
  std::filesystem::create_directories(work);
  UseConfig(work.string() + "\\", TViewMode::k3D);
  HWND parent = CreateSizedWindow("PelorinCopyBenchParent", ParentProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  const double caffeineMs = parent ? MedianCopyMs(parent, caffeine, copies) : -1;
  const double proteinMs = parent ? MedianCopyMs(parent, protein, copies) : -1;
  if (parent) DestroyWindow(parent);
  PumpMessages();
  const bool ok = caffeineMs > 0 && proteinMs > 0;
  if (ok) {
    std::printf(
        "copy of the 3D view: caffeine (surface) %.0f ms, %d atoms %.0f ms (median of %d); goal at most %.0fx\n",
        caffeineMs, kProteinAtoms, proteinMs, copies, kGoal);
    PrintRatioFigure("copy_large", proteinMs, proteinMs, caffeineMs);
  }
  ViewerLibraryDetach();
  UnloadOpenGL();
  std::error_code ignored;
  std::filesystem::remove_all(temp, ignored);
  return ok ? 0 : 1;
}
