// The viewer's 3D frames and its load overhead on caffeine, through the real converter (the
// bridge): a full 3D frame and a dragging frame at 800 x 600 against a frame of the bare mesh,
// and the time from a new viewer window to its first drawn picture (2D and 3D) against the
// converter's own run; and the memory the viewer holds per facet of caffeine's surface once it
// is drawn; and a 2D frame of an SDF record with its data fields panel against one without.
// Windows only (runs under Wine, software OpenGL).
//   bench_viewer_frames [--frames N] [--loads N]
// clang-format off
#include <windows.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "convert/uConverter.h"
#include "model3d/uMeshModel.h"
#include "render/uGLContext.h"
#include "render/uMeshRender.h"
#include "render/uOpenGL.h"
#include "support/uConfig.h"
#include "viewer/uWin32Window.h"
#include "viewer_bench_util.h"

using namespace pelorin;
using namespace pelorin_bench;

namespace {

// The bare mesh the way the renderer draws it (same projection, depth test, culling, lit
// colours, buffer objects when there are any), without the shadow, the wire overlay, the second
// light and the specular highlight: the least a frame of this model can cost.
class TMeshOnlyFrame {
 public:
  explicit TMeshOnlyFrame(const TMeshModel& model) : model_(model) {
    gen_ = reinterpret_cast<PFNGLGENBUFFERSPROC>(reinterpret_cast<void*>(GetGLProc("glGenBuffers", "glGenBuffersARB")));
    bind_ =
        reinterpret_cast<PFNGLBINDBUFFERPROC>(reinterpret_cast<void*>(GetGLProc("glBindBuffer", "glBindBufferARB")));
    auto data =
        reinterpret_cast<PFNGLBUFFERDATAPROC>(reinterpret_cast<void*>(GetGLProc("glBufferData", "glBufferDataARB")));
    del_ = reinterpret_cast<PFNGLDELETEBUFFERSPROC>(
        reinterpret_cast<void*>(GetGLProc("glDeleteBuffers", "glDeleteBuffersARB")));
    if (!gen_ || !bind_ || !data || !del_) return;
    // The renderer's packed vertices, made here from the arrays (which it releases once it
    // has uploaded them: this frame must be made before the renderer's first).
    std::vector<TPackedVertex> packed(static_cast<size_t>(model.MeshVertexCount));
    PackMeshVertices(model, 0, packed.size(), packed.data());
    gen_(1, &name_);
    bind_(GL_ARRAY_BUFFER, name_);
    data(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(packed.size() * sizeof(TPackedVertex)), packed.data(),
         GL_STATIC_DRAW);
    bind_(GL_ARRAY_BUFFER, 0);
    buffers_ = !DrainGLErrors();
  }
  TMeshOnlyFrame(const TMeshOnlyFrame&) = delete;
  TMeshOnlyFrame& operator=(const TMeshOnlyFrame&) = delete;
  ~TMeshOnlyFrame() {
    if (del_ && name_) del_(1, &name_);
  }

  void Draw() const {
    if (!buffers_) return;  // without buffer objects there is no bare mesh to compare with
    const TVec3 c = model_.ModelCenter;
    const double s = 1.35 * model_.ModelRadius, aspect = static_cast<double>(kWidth) / kHeight;
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-s * aspect, s * aspect, -s, s, -4.0 * model_.ModelRadius, 4.0 * model_.ModelRadius);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0.13f, 0.14f, 0.16f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glRotatef(kResetRotX, 1, 0, 0);
    glRotatef(kResetRotY, 0, 1, 0);
    glTranslatef(-c.X, -c.Y, -c.Z);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    constexpr GLsizei kStride = sizeof(TPackedVertex);
    bind_(GL_ARRAY_BUFFER, name_);
    glVertexPointer(3, GL_FLOAT, kStride, reinterpret_cast<const void*>(offsetof(TPackedVertex, X)));
    glNormalPointer(GL_SHORT, kStride, reinterpret_cast<const void*>(offsetof(TPackedVertex, NX)));
    glColorPointer(4, GL_UNSIGNED_BYTE, kStride, reinterpret_cast<const void*>(offsetof(TPackedVertex, R)));
    bind_(GL_ARRAY_BUFFER, 0);
    glDrawArrays(GL_TRIANGLES, 0, model_.MeshVertexCount);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glFinish();
  }

 private:
  const TMeshModel& model_;
  PFNGLGENBUFFERSPROC gen_ = nullptr;
  PFNGLBINDBUFFERPROC bind_ = nullptr;
  PFNGLDELETEBUFFERSPROC del_ = nullptr;
  GLuint name_ = 0;
  bool buffers_ = false;
};

struct TFrameTimes {
  double FullMs = 0, DragMs = 0, MeshOnlyMs = 0, NoWireMs = 0;
};

TFrameTimes MeasureFrames(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers, int runs) {
  const TViewValues view;  // the view a load starts with
  auto full = [&] {
    RenderMeshModel(model, buffers, {kWidth, kHeight}, view, TMeshFrame::Still);
    glFinish();
  };
  auto drag = [&] {
    RenderMeshModel(model, buffers, {kWidth, kHeight}, view, TMeshFrame::Dragged);
    glFinish();
  };
  TMeshOnlyFrame meshOnly(*model);
  // One of each first: the uploads, the shadow and cold caches are no frame's cost.
  full();
  drag();
  meshOnly.Draw();
  std::vector<double> fullMs, dragMs, meshMs, noWireMs;
  for (int i = 0; i < runs; ++i) {
    fullMs.push_back(MillisecondsOf(full));
    dragMs.push_back(MillisecondsOf(drag));
    meshMs.push_back(MillisecondsOf([&] { meshOnly.Draw(); }));
    // The full frame of a model the renderer draws without a wire overlay: the shadow's share.
    model->Kind = TModelKind::Atoms;
    noWireMs.push_back(MillisecondsOf(full));
    model->Kind = TModelKind::Surface;
  }
  return {Median(fullMs), Median(dragMs), Median(meshMs), Median(noWireMs)};
}

// A viewer window in 3D on caffeine until its picture is drawn: the working set it adds per
// facet of the surface, against the 50 bytes a facet takes in the converter's file. Run first,
// so that the peak is this load's. A 2D window opened and closed before sets up what every
// window shares (the OpenGL driver, its threads, the text cache), which is no cost of the surface.
bool ReportSurfaceMemory(HWND parent, const std::string& input, const std::string& tempDir) {
  UseConfig(tempDir, TViewMode::k2D);
  if (FirstPictureMs(parent, input) < 0) return false;
  UseConfig(tempDir, TViewMode::k3D);
  const TMemory before = ProcessMemory();
  HWND wnd = CreatePelorinWindow(parent, input);
  while (wnd && StateOf(wnd) && StateOf(wnd)->Loading) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    PumpMessages();
  }
  TPelorinState* state = wnd ? StateOf(wnd) : nullptr;
  const int32_t facets = state && state->Shown.Ready && state->Shown.Model ? state->Shown.Model->FacetCount : 0;
  if (facets > 0) {
    for (int frame = 0; frame < 3; ++frame) {  // the first draws and uploads; later ones must not add
      InvalidateRect(wnd, nullptr, FALSE);
      UpdateWindow(wnd);
    }
  }
  const TMemory after = ProcessMemory();
  if (wnd) DestroyWindow(wnd);
  PumpMessages();
  if (facets <= 0 || before.Now == 0) {
    std::fprintf(stderr, "the 3D viewer load of caffeine failed\n");
    return false;
  }
  const double held = (static_cast<double>(after.Now) - static_cast<double>(before.Now)) / facets;
  const double peak = (static_cast<double>(after.Peak) - static_cast<double>(before.Now)) / facets;
  std::printf(
      "surface of caffeine, %d facets: working set +%.0f MB once drawn (%.0f B a facet), peak +%.0f MB "
      "(%.0f B a facet)\n",
      facets, held * facets / 1e6, held, peak * facets / 1e6, peak);
  std::printf("FIGURE surface_bytes_per_facet: %.0f B (%.2f x baseline)\n", held, held / 50);
  std::fflush(stdout);
  return true;
}

struct TLoadTimes {
  double ViewerMs = -1, ConverterMs = -1;
};

// The viewer's first picture against the converter's run alone, alternating.
template <typename TConvert>
TLoadTimes MeasureLoad(HWND parent, const std::string& input, int runs, TConvert convert) {
  if (FirstPictureMs(parent, input) < 0 || !convert()) return {};
  std::vector<double> viewer, converter;
  for (int i = 0; i < runs; ++i) {
    const double ms = FirstPictureMs(parent, input);
    if (ms < 0) return {};
    viewer.push_back(ms);
    bool ok = false;
    converter.push_back(MillisecondsOf([&] { ok = convert(); }));
    if (!ok) return {};
  }
  return {Median(viewer), Median(converter)};
}

bool ReportFrames(const std::string& input, int runs) {
  TGLWindow window;
  if (!window.Ready()) {
    std::fprintf(stderr, "no OpenGL context for a hidden window\n");
    return false;
  }
  std::shared_ptr<TMeshModel> model = LoadSurfaceModel(input);
  if (!model) return false;
  const TFrameTimes t = MeasureFrames(model, window.Mesh(), runs);
  std::printf(
      "caffeine, %d facets at %dx%d: full frame %.0f ms (%.0f ms without the wire overlay), dragging %.0f ms, "
      "mesh only %.0f ms (median of %d)\n",
      model->FacetCount, kWidth, kHeight, t.FullMs, t.NoWireMs, t.DragMs, t.MeshOnlyMs, runs);
  PrintRatioFigure("frame3d_caffeine", t.FullMs, t.FullMs, t.MeshOnlyMs);
  PrintRatioFigure("drag3d_caffeine", t.DragMs, t.DragMs, t.MeshOnlyMs);
  return true;
}

bool ReportLoads(const std::string& input, const std::string& tempDir, int runs) {
  HWND parent = CreateSizedWindow("PelorinLoadBenchParent", ParentProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  if (!parent) return false;
  UseConfig(tempDir, TViewMode::k2D);
  const TLoadTimes t2 = MeasureLoad(parent, input, runs, [&] {
    std::string svg, error;
    return RunOBabel(input, svg, error);
  });
  UseConfig(tempDir, TViewMode::k3D);
  const TLoadTimes t3 = MeasureLoad(parent, input, runs, [&] {
    std::string stlPath, error;
    const bool ok = RunOBabelSTL(input, stlPath, error);
    if (ok) DeleteFileA(stlPath.c_str());
    return ok;
  });
  DestroyWindow(parent);
  PumpMessages();
  if (t2.ViewerMs < 0 || t3.ViewerMs < 0) {
    std::fprintf(stderr, "a viewer load or a converter run failed\n");
    return false;
  }
  std::printf(
      "first picture 2D: %.0f ms, converter alone %.0f ms; 3D: %.0f ms, converter alone %.0f ms (median of %d)\n",
      t2.ViewerMs, t2.ConverterMs, t3.ViewerMs, t3.ConverterMs, runs);
  PrintRatioFigure("load2d_overhead", t2.ViewerMs - t2.ConverterMs, t2.ViewerMs, t2.ConverterMs);
  PrintRatioFigure("load3d_overhead", t3.ViewerMs - t3.ConverterMs, t3.ViewerMs, t3.ConverterMs);
  return true;
}

// One painted frame of the window (the drawing, swapped, then the GDI panel and bar), finished.
double PaintedFrameMs(HWND wnd) {
  return MillisecondsOf([&] {
    InvalidateRect(wnd, nullptr, FALSE);
    UpdateWindow(wnd);
    GdiFlush();
  });
}

void ShowFieldsPanel(bool show) {
  TPelorinConfig c = ConfigSnapshot();
  c.ShowFields = show;
  StoreConfig(c);
}

// A 2D frame of caffeine as an SDF record with twelve data fields, the panel shown against hidden,
// alternating.
bool ReportFieldsFrame(const std::string& caffeine, const std::string& tempDir, int runs) {
  const std::string library = tempDir + "fields.sdf";
  {
    std::string molfile;
    FILE* in = std::fopen(caffeine.c_str(), "rb");
    if (!in) return false;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) molfile.append(buffer, n);
    std::fclose(in);
    std::string record = molfile;
    if (record.empty() || record.back() != '\n') record += "\n";
    for (int i = 0; i < 12; ++i)
      record += "> <FIELD" + std::to_string(i) + ">\nvalue " + std::to_string(i) + " " + std::string(40, 'v') + "\n\n";
    record += "$$$$\n";
    FILE* out = std::fopen(library.c_str(), "wb");
    if (!out) return false;
    std::fwrite(record.data(), 1, record.size(), out);
    std::fclose(out);
  }
  UseConfig(tempDir, TViewMode::k2D);
  HWND parent = CreateSizedWindow("PelorinFieldsBenchParent", ParentProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND wnd = parent ? CreatePelorinWindow(parent, library) : nullptr;
  while (wnd && StateOf(wnd) && (StateOf(wnd)->Loading || !StateOf(wnd)->RecordCountFinal)) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    PumpMessages();
  }
  const TPelorinState* state = wnd ? StateOf(wnd) : nullptr;
  const bool ready = state && state->Shown.Ready && state->Shown.Data.Items.size() == 12;
  std::vector<double> with, without;
  if (ready) {
    for (bool show : {true, false}) {  // one of each first: the text cache's first textures
      ShowFieldsPanel(show);
      PaintedFrameMs(wnd);
    }
    for (int i = 0; i < runs; ++i) {
      ShowFieldsPanel(true);
      with.push_back(PaintedFrameMs(wnd));
      ShowFieldsPanel(false);
      without.push_back(PaintedFrameMs(wnd));
    }
  }
  if (parent) DestroyWindow(parent);
  PumpMessages();
  std::remove(library.c_str());
  if (!ready) {
    std::fprintf(stderr, "the 2D viewer load of the fields library failed\n");
    return false;
  }
  std::printf(
      "2D frame of caffeine with 12 data fields at %dx%d: %.1f ms with the panel, %.1f ms without (median of %d)\n",
      kWidth, kHeight, Median(with), Median(without), runs);
  PrintRatioFigure("fields_frame", Median(with), Median(with), Median(without));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const auto [frames, loads] = ParseBenchRuns(argc, argv, {7, 5}, 1);
  std::filesystem::path temp;
  if (!StartViewerBench("pelorin_frames_", temp)) return 1;
  const std::string input = PELORIN_SAMPLES_DIR "\\caffeine.mol";
  HWND parent = CreateSizedWindow("PelorinMemoryBenchParent", ParentProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  bool ok = parent && ReportSurfaceMemory(parent, input, temp.string() + "\\");
  if (parent) DestroyWindow(parent);
  UseConfig(temp.string() + "\\", TViewMode::k3D);
  ok = ReportFrames(input, frames) && ok;
  ok = ReportLoads(input, temp.string() + "\\", loads) && ok;
  ok = ReportFieldsFrame(input, temp.string() + "\\", 4 * frames) && ok;
  ViewerLibraryDetach();
  UnloadOpenGL();
  std::error_code ignored;
  std::filesystem::remove_all(temp, ignored);
  return ok ? 0 : 1;
}
