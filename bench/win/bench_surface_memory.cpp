// Where the working set of caffeine's 3D surface goes under software OpenGL, stage by stage: the
// STL read into facets, the mesh arrays made from them, the first frame (the upload into buffer
// objects, after which the mesh arrays are released, and the driver's drawing), later frames and
// the context's end, in a hidden window; then the same surface as a viewer window loads and shows
// it. Each stage's working set is read from the system, above the baseline of a context that has
// drawn a small model; the surface's cost a facet is the viewer's highest working set over its
// facets (what the budget's kSurfaceBytesPerFacet counts). Windows only (Wine, Mesa's llvmpipe).
// clang-format off
#include <windows.h>
#include <GL/gl.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "formats/uSTLParser.h"
#include "model3d/uMeshModel.h"
#include "model3d/uSurfaceBudget.h"
#include "viewer_bench_util.h"

using namespace pelorin;
using namespace pelorin_bench;

namespace {

constexpr double kMB = 1 << 20;

struct TUse {
  double WorkingMB = 0, PrivateMB = 0;
};

TUse Use() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return {counters.WorkingSetSize / kMB, counters.PrivateUsage / kMB};
}

class TStages {
 public:
  explicit TStages(int64_t facets) : base_(Use()), facets_(facets) {}
  void Take(const char* stage) {
    const TUse now = Use();
    std::printf("  %-46s %7.1f MB working set (%5.0f B a facet), %7.1f MB committed\n", stage,
                now.WorkingMB - base_.WorkingMB, (now.WorkingMB - base_.WorkingMB) * kMB / facets_,
                now.PrivateMB - base_.PrivateMB);
    std::fflush(stdout);
  }
  double WorkingAboveMB() const { return Use().WorkingMB - base_.WorkingMB; }

 private:
  TUse base_;
  int64_t facets_;
};

void Frame(TGLWindow& window, const std::shared_ptr<TMeshModel>& model) {
  RenderMeshModel(model, window.Resources().For(model), {kWidth, kHeight}, TViewValues(), TMeshFrame::Still);
  glFinish();
}

}  // namespace

int main() {
  std::filesystem::path temp;
  if (!StartViewerBench("pelorin_surface_memory_", temp)) return 1;
  UseConfig(temp.string() + "\\", TViewMode::k3D, TModel3D::Surface);
  const std::string caffeine = PELORIN_SAMPLES_DIR "\\caffeine.mol";
  std::string stlPath, error;
  if (!RunOBabelSTL(caffeine, stlPath, error)) {
    std::fprintf(stderr, "the 3D conversion failed: %s\n", error.c_str());
    return 1;
  }
  int ok = 1;
  {
    auto window = std::make_unique<TGLWindow>();
    auto warmUp = LoadSurfaceModel(PELORIN_SAMPLES_DIR "\\ethanol.pdb");  // the context's own start-up
    if (window->Ready() && warmUp) Frame(*window, warmUp);
    warmUp.reset();
    const int64_t facets = CountSTLFacets(stlPath).value_or(1);
    std::printf("caffeine's surface: %lld facets; above a context that has drawn ethanol's surface:\n",
                static_cast<long long>(facets));
    TStages stages(facets);
    auto model = std::make_shared<TMeshModel>();
    {
      TFacetArray read;
      int32_t count = 0;
      if (!ReadBinarySTL(stlPath, read, count)) return 1;
      stages.Take("STL read into facets (48 B a facet)");
      PrepareMeshBuffers(*model, read);
      ComputeModelBounds(*model);
      stages.Take("+ mesh arrays (108 B a facet)");
    }
    stages.Take("facets freed: the mesh arrays alone");
    Frame(*window, model);
    stages.Take("first frame: buffers (108 B), arrays released");
    const double firstPictureMB = stages.WorkingAboveMB();
    Frame(*window, model);
    stages.Take("second frame");
    Frame(*window, model);
    stages.Take("third frame");
    model.reset();
    window.reset();
    stages.Take("model and context gone");
    std::printf("the mesh alone, first picture: %.0f B a facet\n", firstPictureMB * kMB / facets);

    // The same surface as the user gets it: a viewer window's load (the STL read and the mesh
    // arrays built on the load thread) and its first picture, on screen.
    HWND parent = CreateSizedWindow("PelorinSurfaceMemoryParent", ParentProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    TStages viewer(facets);
    std::atomic<bool> loading{true};
    std::atomic<double> peakMB{0};
    std::thread sampler([&] {
      while (loading) {
        peakMB = std::max(peakMB.load(), viewer.WorkingAboveMB());
        Sleep(1);
      }
    });
    HWND wnd = CreatePelorinWindow(parent, caffeine);
    while (wnd && StateOf(wnd) && StateOf(wnd)->Loading) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      PumpMessages();
    }
    UpdateWindow(wnd);
    loading = false;
    sampler.join();
    std::printf("  %-46s %7.1f MB working set (%5.0f B a facet)\n", "viewer: highest during load and first picture",
                peakMB.load(), peakMB.load() * kMB / facets);
    viewer.Take("viewer: after the first picture");
    const double viewerMB = viewer.WorkingAboveMB();
    InvalidateRect(wnd, nullptr, FALSE);
    UpdateWindow(wnd);
    viewer.Take("viewer: after a second picture");
    DestroyWindow(wnd);
    PumpMessages();
    viewer.Take("viewer: window closed");
    DestroyWindow(parent);
    PumpMessages();
    const double costMB = std::max(viewerMB, peakMB.load());
    // The mesh read on a thread of its own, as the viewer's load reads it, and drawn here.
    {
      TStages threaded(facets);
      auto hidden = std::make_unique<TGLWindow>();
      auto loaded = std::make_shared<TMeshModel>();
      std::thread load([&] { (void)LoadMeshModel(*loaded, stlPath, error); });
      load.join();
      threaded.Take("loaded on another thread: mesh arrays");
      hidden->MakeCurrent();
      Frame(*hidden, loaded);
      threaded.Take("loaded on another thread: first frame");
      Frame(*hidden, loaded);
      threaded.Take("loaded on another thread: second frame");
      loaded.reset();
      hidden.reset();
      threaded.Take("loaded on another thread: all gone");
    }
    std::printf(
        "FIGURE surface_peak_bytes_per_facet: %.0f B (%.2f x the budget's %lld B; the highest working set of a "
        "viewer's load and first picture)\n",
        costMB * kMB / facets, costMB * kMB / facets / kSurfaceBytesPerFacet,
        static_cast<long long>(kSurfaceBytesPerFacet));
    ok = 0;
  }
  DeleteFileA(stlPath.c_str());
  ViewerLibraryDetach();
  UnloadOpenGL();
  std::error_code ignored;
  std::filesystem::remove_all(temp, ignored);
  return ok;
}
