// The atom model in the viewer, through the real converter (the bridge): a generated
// 20,000-atom PDB from a new viewer window to its first picture against the converter's own XYZ
// run on it, the working set that adds, its full and dragging frames against a full frame of
// caffeine's surface, the same atoms as exact spheres against as meshes, caffeine as atoms
// against as surface, and the working set a surface costs per atom (which sets MaxSurfaceAtoms);
// a generated 1,000,000-atom XYZ from a new viewer window to its first picture against reading
// its atoms alone, the working set that adds per atom, and its full frame against caffeine's
// surface. Windows only (runs under Wine, software OpenGL).
//   bench_atoms_viewer [--frames N] [--loads N]   (--loads 0: frames only)
// clang-format off
#include <windows.h>
#include <GL/gl.h>
#include <psapi.h>
// clang-format on

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "convert/uConverter.h"
#include "lattice_pdb.h"
#include "model3d/uAtomModel.h"
#include "model3d/uModelChoice.h"
#include "render/uOpenGL.h"
#include "viewer_bench_util.h"

using namespace pelorin;
using namespace pelorin_bench;

namespace {

constexpr int kProteinAtoms = 20000;
constexpr int kBoxAtoms = 1000000;
constexpr double kAtomsMemoryGoalMB = 150;
constexpr double kMB = 1 << 20;

// The highest working set while `fn` runs above the one before it, sampled every millisecond.
template <typename TFn>
double PeakWorkingSetAboveMB(TFn fn) {
  const uint64_t baseline = ProcessMemory().Now;
  std::atomic<bool> done{false};
  std::atomic<uint64_t> peak{baseline};
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak.load(), ProcessMemory().Now);
      Sleep(1);
    }
  });
  fn();
  peak = std::max(peak.load(), ProcessMemory().Now);
  done = true;
  sampler.join();
  return static_cast<double>(peak - baseline) / kMB;
}

// An atom model as the viewer's load makes it, with the depth cue of its size.
std::shared_ptr<TMeshModel> AtomModelOf(const std::string& input, TAtomDrawing drawing) {
  TAtomArray atoms;
  std::string error;
  auto model = std::make_shared<TMeshModel>();
  if (!LoadFileAtoms(input, atoms, error) || !BuildAtomModel(atoms, drawing, *model, error)) {
    std::fprintf(stderr, "no atom model of %s: %s\n", input.c_str(), error.c_str());
    return nullptr;
  }
  model->DepthCue = WantsDepthCue(true, atoms.size());
  return model;
}

// Full (or dragging) frames of a model at 800 x 600 in a context of its own (a context's buffers
// hold one model), after one frame that uploads the buffers and makes the shadow. An atom model
// made for meshes is drawn as a driver of OpenGL 1.1 draws it.
class TFrameSeries {
 public:
  TFrameSeries(std::shared_ptr<TMeshModel> model, TMeshFrame frame) : model_(std::move(model)), frame_(frame) {
    if (!window_.Ready()) return;
    if (model_->Kind == TModelKind::Atoms && model_->FacetCount > 0) window_.Resources().AssumeGLVersion("1.1.0");
    Frame();
  }
  bool Ready() const { return window_.Ready(); }
  void Take() {
    window_.MakeCurrent();
    ms_.push_back(MillisecondsOf([this] { Frame(); }));
  }
  double Median() const { return pelorin_bench::Median(ms_); }

 private:
  // Each frame turns the model a little further, as a frame after the user turned it: a repaint of
  // the very same view would draw from what the last frame worked out.
  void Frame() {
    TViewValues view;
    view.RotY += 0.25f * static_cast<float>(frames_++);
    RenderMeshModel(model_, window_.Resources().For(model_), {kWidth, kHeight}, view, frame_);
    glFinish();
  }
  TGLWindow window_;
  std::shared_ptr<TMeshModel> model_;
  TMeshFrame frame_;
  int frames_ = 0;
  std::vector<double> ms_;
};

// First pictures of `input` in a new viewer window, median of `runs` after one warm-up.
double MedianFirstPictureMs(HWND parent, const std::string& input, int runs) {
  if (FirstPictureMs(parent, input) < 0) return -1;
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const double one = FirstPictureMs(parent, input);
    if (one < 0) return -1;
    ms.push_back(one);
  }
  return Median(ms);
}

struct TInputs {
  std::string Caffeine, Protein, Box, TempDir;
};

bool ReportFrames(const TInputs& in, int runs) {
  std::shared_ptr<TMeshModel> surface = LoadSurfaceModel(in.Caffeine);
  std::shared_ptr<TMeshModel> caffeineAtoms = AtomModelOf(in.Caffeine, TAtomDrawing::Impostors);
  // Each context takes its model's arrays into its buffers, so the dragging frames get their own.
  std::shared_ptr<TMeshModel> protein = AtomModelOf(in.Protein, TAtomDrawing::Impostors),
                              draggedProtein = AtomModelOf(in.Protein, TAtomDrawing::Impostors),
                              proteinMeshes = AtomModelOf(in.Protein, TAtomDrawing::Meshes),
                              box = AtomModelOf(in.Box, TAtomDrawing::Impostors);
  if (!surface || !caffeineAtoms || !protein || !draggedProtein || !proteinMeshes || !box) return false;
  // Taken in turns, so that a machine shared with other work slows baseline and atoms alike.
  TFrameSeries surfaceMs(surface, TMeshFrame::Still), proteinMs(protein, TMeshFrame::Still),
      proteinDragMs(draggedProtein, TMeshFrame::Dragged), proteinMeshMs(proteinMeshes, TMeshFrame::Still),
      caffeineMs(caffeineAtoms, TMeshFrame::Still), boxMs(box, TMeshFrame::Still);
  const std::initializer_list<TFrameSeries*> all = {&surfaceMs,     &proteinMs,  &proteinDragMs,
                                                    &proteinMeshMs, &caffeineMs, &boxMs};
  for (TFrameSeries* series : all)
    if (!series->Ready()) return false;
  for (int i = 0; i < runs; ++i)
    for (TFrameSeries* series : all) series->Take();
  std::printf(
      "full frame at %dx%d: caffeine's surface (%d facets) %.0f ms; as atoms %.1f ms; %d atoms as spheres %.1f ms, "
      "dragging %.1f ms, as meshes (%d facets) %.1f ms; %d atoms %.0f ms (median of %d)\n",
      kWidth, kHeight, surface->FacetCount, surfaceMs.Median(), caffeineMs.Median(), kProteinAtoms, proteinMs.Median(),
      proteinDragMs.Median(), proteinMeshes->FacetCount, proteinMeshMs.Median(), kBoxAtoms, boxMs.Median(), runs);
  PrintRatioFigure("atoms_frame", proteinMs.Median(), proteinMs.Median(), surfaceMs.Median());
  PrintRatioFigure("atoms_drag", proteinDragMs.Median(), proteinDragMs.Median(), surfaceMs.Median());
  PrintRatioFigure("impostor_frame", proteinMs.Median(), proteinMs.Median(), proteinMeshMs.Median());
  PrintRatioFigure("atoms_1m_frame", boxMs.Median(), boxMs.Median(), surfaceMs.Median());
  PrintRatioFigure("caffeine_atoms_vs_surface_frame", caffeineMs.Median(), caffeineMs.Median(), surfaceMs.Median());
  return true;
}

// A million atoms: the viewer's first picture against reading the atoms alone, alternating, and
// the working set that picture adds per atom, measured first, after one small load (as
// MeasureMemory below).
bool ReportMillion(HWND parent, const TInputs& in, int runs) {
  UseConfig(in.TempDir, TViewMode::k3D, TModel3D::Atoms);
  if (FirstPictureMs(parent, in.Caffeine) < 0) return false;
  UseConfig(in.TempDir, TViewMode::k3D, TModel3D::Auto);
  const uint64_t baseline = ProcessMemory().Now;
  const double peakMB = PeakWorkingSetAboveMB([&] { FirstPictureMs(parent, in.Box); });
  const double heldMB = (static_cast<double>(ProcessMemory().Now) - static_cast<double>(baseline)) / kMB;
  std::vector<double> viewer, reading;
  for (int i = 0; i < runs; ++i) {
    viewer.push_back(FirstPictureMs(parent, in.Box));
    bool ok = false;
    reading.push_back(MillisecondsOf([&] {
      TAtomArray atoms;
      std::string error;
      ok = LoadFileAtoms(in.Box, atoms, error) && atoms.size() == size_t(kBoxAtoms);
    }));
    if (viewer.back() < 0 || !ok) return false;
  }
  std::printf("first picture of %d atoms: %.0f ms, reading the atoms alone %.0f ms (median of %d)\n", kBoxAtoms,
              Median(viewer), Median(reading), runs);
  PrintRatioFigure("atoms_1m_first_picture", Median(viewer), Median(viewer), Median(reading));
  const double peakPerAtom = peakMB * kMB / kBoxAtoms, heldPerAtom = heldMB * kMB / kBoxAtoms;
  std::printf(
      "working set above the baseline for %d atoms: at its peak %.0f MB (%.0f B an atom), after %.0f MB (%.0f B an "
      "atom)\n",
      kBoxAtoms, peakMB, peakPerAtom, heldMB, heldPerAtom);
  std::printf("FIGURE atoms_1m_memory: %.0f B an atom (%.2f x the goal of 100 B)\n", peakPerAtom, peakPerAtom / 100);
  std::fflush(stdout);
  return true;
}

struct TMemory {
  double ProteinMB = -1, SurfaceMB = -1;
};

// Measured first, after one small load: the one-time costs of a viewer window (its context, the
// text cache) belong to the baseline, and no large block freed by an earlier load is reused.
TMemory MeasureMemory(HWND parent, const TInputs& in) {
  UseConfig(in.TempDir, TViewMode::k3D, TModel3D::Atoms);
  if (FirstPictureMs(parent, in.Caffeine) < 0) return {};
  TMemory m;
  UseConfig(in.TempDir, TViewMode::k3D, TModel3D::Auto);
  m.ProteinMB = PeakWorkingSetAboveMB([&] { FirstPictureMs(parent, in.Protein); });
  UseConfig(in.TempDir, TViewMode::k3D, TModel3D::Surface);
  m.SurfaceMB = PeakWorkingSetAboveMB([&] { FirstPictureMs(parent, in.Caffeine); });
  return m;
}

void PrintMemory(const TMemory& m) {
  std::printf("working set above the baseline: %d atoms %.0f MB (%.0f bytes an atom); caffeine's surface %.0f MB\n",
              kProteinAtoms, m.ProteinMB, m.ProteinMB * kMB / kProteinAtoms, m.SurfaceMB);
  std::printf("FIGURE atoms_memory: %.0f MB (%.2f x the goal of %.0f MB)\n", m.ProteinMB,
              m.ProteinMB / kAtomsMemoryGoalMB, kAtomsMemoryGoalMB);
  // caffeine has 24 atoms; MaxSurfaceAtoms keeps a surface within about 512 MB.
  const double perAtom = m.SurfaceMB / 24;
  std::printf("FIGURE surface_memory_per_atom: %.1f MB (%.0f atoms fit in 512 MB; MaxSurfaceAtoms=%d)\n", perAtom,
              perAtom > 0 ? 512 / perAtom : 0.0, kDefaultMaxSurfaceAtoms);
}

bool ReportLoads(const TInputs& in, int runs) {
  HWND parent = CreateSizedWindow("PelorinAtomsBenchParent", ParentProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  if (!parent) return false;
  if (!ReportMillion(parent, in, runs)) {
    std::fprintf(stderr, "the million atoms did not load\n");
    DestroyWindow(parent);
    return false;
  }
  const TMemory memory = MeasureMemory(parent, in);
  UseConfig(in.TempDir, TViewMode::k3D, TModel3D::Auto);
  const double proteinMs = MedianFirstPictureMs(parent, in.Protein, runs);
  std::vector<double> converter;
  for (int i = 0; i < runs; ++i) {
    bool ok = false;
    converter.push_back(MillisecondsOf([&] {
      std::string xyzPath, error;
      ok = RunOBabelXYZ(in.Protein, xyzPath, error);
      if (ok) DeleteFileA(xyzPath.c_str());
    }));
    if (!ok) return false;
  }
  const double converterMs = Median(converter);
  UseConfig(in.TempDir, TViewMode::k3D, TModel3D::Atoms);
  const double caffeineAtomsMs = MedianFirstPictureMs(parent, in.Caffeine, runs);
  UseConfig(in.TempDir, TViewMode::k3D, TModel3D::Surface);
  const double caffeineSurfaceMs = MedianFirstPictureMs(parent, in.Caffeine, runs);
  DestroyWindow(parent);
  PumpMessages();
  if (memory.ProteinMB < 0 || proteinMs < 0 || caffeineAtomsMs < 0 || caffeineSurfaceMs < 0) return false;
  std::printf("first picture of %d atoms: %.0f ms, the converter's XYZ run alone %.0f ms (median of %d)\n",
              kProteinAtoms, proteinMs, converterMs, runs);
  std::printf("caffeine's first picture: as atoms %.0f ms, as surface %.0f ms\n", caffeineAtomsMs, caffeineSurfaceMs);
  PrintRatioFigure("atoms_first_picture", proteinMs, proteinMs, converterMs);
  PrintMemory(memory);
  PrintRatioFigure("caffeine_atoms_vs_surface_first_picture", caffeineAtomsMs, caffeineAtomsMs, caffeineSurfaceMs);
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const auto [frames, loads] = ParseBenchRuns(argc, argv, {7, 3}, 0);
  std::filesystem::path temp;
  if (!StartViewerBench("pelorin_atoms_", temp)) return 1;
  TInputs in{PELORIN_SAMPLES_DIR "\\caffeine.mol", (temp / "lattice.pdb").string(), (temp / "box.xyz").string(),
             temp.string() + "\\"};
  std::ofstream(in.Protein, std::ios::binary) << lattice::LatticePDBText(kProteinAtoms);
  if (!lattice::WriteLatticeXYZ(in.Box, kBoxAtoms)) return 1;
  const std::filesystem::path work = temp / "work";
  std::filesystem::create_directories(work);
  in.TempDir = work.string() + "\\";
  UseConfig(in.TempDir, TViewMode::k3D);
  bool ok = loads == 0 || ReportLoads(in, loads);
  ok = ReportFrames(in, frames) && ok;
  ViewerLibraryDetach();
  UnloadOpenGL();
  std::error_code ignored;
  std::filesystem::remove_all(temp, ignored);
  return ok ? 0 : 1;
}
