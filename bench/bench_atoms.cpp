// Benchmarks of the atom model: the spheres of 20,000 atoms on a lattice against filling
// arrays of the same size; and the atoms of a 20,000-atom PDB (and of the XYZ the converter
// makes of it) read straight from the file against the converter's XYZ run plus reading that,
// with a check that both ways give the same atoms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_util.h"
#include "formats/uXYZFormat.h"
#include "lattice_pdb.h"
#include "model3d/uAtomModel.h"
#include "model3d/uModelChoice.h"

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

std::string LowerName(std::string name) {
  for (char& c : name) c = static_cast<char>(c | 0x20);
  return name;
}

// The model is kept between runs, as the viewer keeps its arrays from one load to the next. Its
// spheres as meshes, the way OpenGL 1.1 drivers draw them: the costly way.
void BM_BuildAtomModel(benchmark::State& state) {
  TMeshModel model;
  std::string error;
  for (auto _ : state) {
    if (!BuildAtomModel(LatticeAtoms(), TAtomDrawing::Meshes, model, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(model.MeshVertices.data());
  }
  state.counters["facets"] = model.FacetCount;
  state.counters["bytes"] = static_cast<double>(model.MeshVertices.size() * 3 * sizeof(float));
}

// Baseline: the same three arrays, already sized, filled with one value each.
void BM_FillMeshArrays(benchmark::State& state) {
  TMeshModel model;
  std::string error;
  if (!BuildAtomModel(LatticeAtoms(), TAtomDrawing::Meshes, model, error)) state.SkipWithError(error.c_str());
  for (auto _ : state) {
    std::fill(model.MeshVertices.begin(), model.MeshVertices.end(), 1.0f);
    std::fill(model.MeshNormals.begin(), model.MeshNormals.end(), 0.5f);
    std::fill(model.MeshColors.begin(), model.MeshColors.end(), 0.25f);
    benchmark::DoNotOptimize(model.MeshVertices.data());
  }
}

// The generated PDB, and the XYZ the converter makes of it, in a folder of this run.
struct TAtomFiles {
  std::filesystem::path Dir = std::filesystem::temp_directory_path() / "pelorin_bench_atoms";
  std::string Pdb = (Dir / "lattice.pdb").string();
  std::string Xyz = (Dir / "lattice.xyz").string();
  std::string Converted = (Dir / "converted.xyz").string();
  TAtomFiles() {
    std::filesystem::create_directories(Dir);
    std::ofstream(Pdb, std::ios::binary) << pelorin::lattice::LatticePDBText(kLatticeAtoms);
    Convert(Pdb, Xyz);
  }
  ~TAtomFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
  }
  // The converter's XYZ run as the plugin makes it (a PDB without bond perception).
  static bool Convert(const std::string& input, const std::string& output) {
    const bool pdb = input.size() > 4 && input.substr(input.size() - 4) == ".pdb";
    const std::string command =
        "obabel '" + input + "' -O '" + output + "'" + (pdb ? " -ab" : "") + " -xC >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }
};

const TAtomFiles& Files() {
  static const TAtomFiles files;
  return files;
}

void ReadStraight(benchmark::State& state, const std::string& file) {
  TAtomArray atoms;
  std::string error;
  for (auto _ : state)
    if (!ReadAtomTableFile(file, atoms, error)) state.SkipWithError(error.c_str());
}

void ReadThroughConverter(benchmark::State& state, const std::string& file) {
  TAtomArray atoms;
  std::string error;
  for (auto _ : state)
    if (!TAtomFiles::Convert(file, Files().Converted) || !ReadXYZFile(Files().Converted, 0, atoms, error))
      state.SkipWithError("the converter's XYZ run failed");
}

void BM_PDBStraight(benchmark::State& state) {
  ReadStraight(state, Files().Pdb);
}
void BM_PDBThroughConverter(benchmark::State& state) {
  ReadThroughConverter(state, Files().Pdb);
}
void BM_XYZStraight(benchmark::State& state) {
  ReadStraight(state, Files().Xyz);
}
void BM_XYZThroughConverter(benchmark::State& state) {
  ReadThroughConverter(state, Files().Xyz);
}

// Same elements, and positions within the converter's five decimals.
bool SameAtoms(const std::string& file) {
  TAtomArray straight, converted;
  std::string error;
  if (!ReadAtomTableFile(file, straight, error) || !TAtomFiles::Convert(file, Files().Converted) ||
      !ReadXYZFile(Files().Converted, 0, converted, error) || straight.size() != converted.size())
    return false;
  for (size_t i = 0; i < straight.size(); ++i) {
    const TAtom &a = straight[i], &b = converted[i];
    if (std::string(a.Element) != b.Element || std::fabs(a.X - b.X) > 1e-3f || std::fabs(a.Y - b.Y) > 1e-3f ||
        std::fabs(a.Z - b.Z) > 1e-3f)
      return false;
  }
  return true;
}

BENCHMARK(BM_BuildAtomModel)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PDBStraight)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PDBThroughConverter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_XYZStraight)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_XYZThroughConverter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
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
  for (const char* kind : {"PDB", "XYZ"}) {
    const std::string name = kind;
    const double straight = reporter.Seconds("BM_" + name + "Straight/real_time");
    const double converter = reporter.Seconds("BM_" + name + "ThroughConverter/iterations:5/real_time");
    const bool same = SameAtoms(name == "PDB" ? Files().Pdb : Files().Xyz);
    std::printf("%s of %d atoms: straight from the file %.1f ms, through the converter %.0f ms; same atoms: %s\n", kind,
                kLatticeAtoms, straight * 1e3, converter * 1e3, same ? "yes" : "NO");
    if (straight > 0 && converter > 0)
      pelorin_bench::PrintFigure("atoms_read_" + LowerName(name), straight * 1e3, "ms", straight / converter);
  }
  return 0;
}
