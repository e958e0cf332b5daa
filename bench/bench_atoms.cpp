// Benchmarks of the atom model: the spheres of 20,000 atoms on a lattice against filling
// arrays of the same size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench_util.h"
#include "stl/uAtomModel.h"

namespace {

using namespace pelorin;

constexpr int kLatticeAtoms = 20000;
// Facets per atom of the converter's STL surface (Open Babel 3.1.1), which the atom model
// replaces; its mesh arrays hold 108 bytes a facet like the atom model's.
constexpr double kSurfaceFacetsPerAtom = 20700;
constexpr double kMeshBytesPerFacet = 9 * 3 * sizeof(float);

const TAtomArray& LatticeAtoms() {
  static const TAtomArray atoms = [] {
    const char* elements[] = {"C", "C", "N", "O", "H", "H", "S", "C"};
    TAtomArray out;
    for (int i = 0; i < kLatticeAtoms; ++i) {
      TAtom atom{};
      std::snprintf(atom.Element, sizeof atom.Element, "%s", elements[i % 8]);
      atom.X = 3.5f * (i % 28), atom.Y = 3.5f * (i / 28 % 28), atom.Z = 3.5f * (i / 784);
      out.push_back(atom);
    }
    return out;
  }();
  return atoms;
}

// The model is kept between runs, as the viewer keeps its arrays from one load to the next.
void BM_BuildAtomModel(benchmark::State& state) {
  TMeshModel model;
  std::string error;
  for (auto _ : state) {
    if (!BuildAtomModel(LatticeAtoms(), model, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(model.MeshVertices.data());
  }
  state.counters["facets"] = model.FacetCount;
  state.counters["bytes"] = static_cast<double>(model.MeshVertices.size() * 3 * sizeof(float));
}

// Baseline: the same three arrays, already sized, filled with one value each.
void BM_FillMeshArrays(benchmark::State& state) {
  TMeshModel model;
  std::string error;
  BuildAtomModel(LatticeAtoms(), model, error);
  for (auto _ : state) {
    std::fill(model.MeshVertices.begin(), model.MeshVertices.end(), 1.0f);
    std::fill(model.MeshNormals.begin(), model.MeshNormals.end(), 0.5f);
    std::fill(model.MeshColors.begin(), model.MeshColors.end(), 0.25f);
    benchmark::DoNotOptimize(model.MeshVertices.data());
  }
}

BENCHMARK(BM_BuildAtomModel)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FillMeshArrays)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  pelorin_bench::TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  double build = reporter.Seconds("BM_BuildAtomModel/real_time");
  double fill = reporter.Seconds("BM_FillMeshArrays/real_time");
  if (build > 0 && fill > 0) pelorin_bench::PrintFigure("atom_model_20k", build * 1e3, "ms", build / fill);
  double bytes = reporter.Counter("BM_BuildAtomModel/real_time", "bytes");
  if (bytes > 0) {
    // Baseline: the atom list itself, 16 bytes an atom.
    double perAtom = bytes / kLatticeAtoms;
    pelorin_bench::PrintFigure("atom_model_bytes_per_atom", perAtom, "B", perAtom / sizeof(TAtom));
    std::printf("mesh bytes per atom: %.0f in the atom model of %d atoms, %.0f in the converter's surface\n", perAtom,
                kLatticeAtoms, kSurfaceFacetsPerAtom * kMeshBytesPerFacet);
  }
  return 0;
}
