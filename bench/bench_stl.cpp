// Benchmarks of the STL reader: loading the converter's binary model, reading a large ASCII file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "model3d/uMeshModel.h"
#include "support/uFileIO.h"

namespace {

using namespace pelorin;

std::string DataDir() {
  const char* dir = std::getenv("PELORIN_BENCH_DATA");
  return dir && *dir ? std::string(dir) : std::string("/tmp");
}

std::string CaffeinePath() {
  return DataDir() + "/caffeine.stl";
}
std::string AsciiPath() {
  return DataDir() + "/ascii_50mb.stl";
}

bool MakeCaffeine() {
  if (FileExists(CaffeinePath())) return true;
  std::string command =
      "/usr/bin/obabel -:\"Cn1cnc2c1c(=O)n(C)c(=O)n2C\" -O \"" + CaffeinePath() + "\" --gen3d >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && FileExists(CaffeinePath());
}

// About 50 MB of ASCII STL, written the way common exporters do, from the caffeine facets.
bool MakeAscii() {
  if (FileExists(AsciiPath())) return true;
  TFacetArray facets;
  int32_t count = 0;
  if (!ReadBinarySTL(CaffeinePath(), facets, count)) return false;
  RepairFacetNormals(facets);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(AsciiPath().c_str(), "wb"), std::fclose);
  if (!f) return false;
  std::fprintf(f.get(), "solid caffeine\n");
  long written = 0;
  for (const TFacet& t : facets) {
    const TVec3* v = t.Vertices;
    written += std::fprintf(f.get(),
                            "  facet normal %e %e %e\n    outer loop\n      vertex %e %e %e\n      vertex %e %e %e\n"
                            "      vertex %e %e %e\n    endloop\n  endfacet\n",
                            t.Normal.X, t.Normal.Y, t.Normal.Z, v[0].X, v[0].Y, v[0].Z, v[1].X, v[1].Y, v[1].Z, v[2].X,
                            v[2].Y, v[2].Z);
    if (written >= 50L << 20) break;
  }
  std::fprintf(f.get(), "endsolid caffeine\n");
  return true;
}

// The model is reused, so each load after the first writes into arrays it already has.
void BM_LoadSTLModel(benchmark::State& state) {
  TMeshModel model;
  std::string openError;
  for (auto _ : state) {
    if (!LoadMeshModel(model, CaffeinePath(), openError)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(model.MeshVertices.data());
  }
}

// Baseline: the file's bytes into a fresh buffer with one read.
void BM_ReadFileBytes(benchmark::State& state) {
  for (auto _ : state) {
    TFile f = OpenReadDenyWrite(CaffeinePath());
    size_t size = static_cast<size_t>(FileSizeOf(f.get()).value_or(0));
    std::unique_ptr<char[]> bytes(new char[size]);
    if (std::fread(bytes.get(), 1, size, f.get()) != size) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(bytes.get());
  }
}

std::string& AsciiText() {
  static std::string text = ReadWholeFile(AsciiPath()).value_or("");
  return text;
}

void BM_ReadASCIISTL(benchmark::State& state) {
  const std::string& text = AsciiText();
  for (auto _ : state) {
    TFacetArray facets;
    int32_t count = 0;
    if (!ReadASCIISTL(text, facets, count)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(facets.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// Baseline: strtof over the same numbers, found in advance.
void BM_StrtofLoop(benchmark::State& state) {
  const std::string& text = AsciiText();
  std::vector<const char*> numbers;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool starts = (c == '-' || (c >= '0' && c <= '9')) && i > 0 && text[i - 1] == ' ';
    if (starts) numbers.push_back(text.c_str() + i);
  }
  for (auto _ : state) {
    float sum = 0;
    for (const char* p : numbers) sum += std::strtof(p, nullptr);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["numbers"] = static_cast<double>(numbers.size());
}

BENCHMARK(BM_LoadSTLModel)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadASCIISTL)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StrtofLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (!MakeCaffeine() || !MakeAscii()) {
    std::fprintf(stderr, "bench_stl: cannot make the STL data in %s\n", DataDir().c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  pelorin_bench::TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  double load = reporter.Seconds("BM_LoadSTLModel/real_time");
  double read = reporter.Seconds("BM_ReadFileBytes/real_time");
  if (load > 0 && read > 0) pelorin_bench::PrintFigure("stl_binary", load * 1e3, "ms", load / read);
  double ascii = reporter.Seconds("BM_ReadASCIISTL/real_time");
  double strtof = reporter.Seconds("BM_StrtofLoop/real_time");
  if (ascii > 0 && strtof > 0) {
    double megabytes = static_cast<double>(AsciiText().size()) / (1 << 20);
    pelorin_bench::PrintFigure("stl_ascii", megabytes / ascii, "MB/s", ascii / strtof);
  }
  return 0;
}
