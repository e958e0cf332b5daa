// The record index of a 1 GB XYZ trajectory (frames: a count line, a comment line and the atom
// lines) built in one pass, against reading the same file and finding its line breaks.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "bench_util.h"
#include "formats/uRecordIndex.h"
#include "formats/uTextScan.h"
#include "support/uFileIO.h"

namespace {

using namespace pelorin;

constexpr uint64_t kTrajectorySize = 1ull << 30;

std::string TrajectoryPath() {
  const char* dir = std::getenv("PELORIN_BENCH_DATA");
  return std::string(dir && *dir ? dir : "/tmp") + "/trajectory_1gb.xyz";
}

// Frames of benzene, each its own comment, repeated to the size (kept between runs).
bool MakeTrajectory(const std::string& path) {
  if (FileSizeOf(path).value_or(0) >= kTrajectorySize) return true;
  const std::string frame = ReadWholeFile(PELORIN_SAMPLES_DIR "/benzene.xyz").value_or("");
  if (frame.empty()) return false;
  std::string frames;
  for (int i = 0; i < 100; ++i) {
    std::string copy = frame;
    const size_t comment = copy.find('\n') + 1;
    copy.insert(comment, "step " + std::to_string(i) + " ");
    frames += copy;
  }
  return pelorin_bench::WriteRepeated(path, frames, kTrajectorySize);
}

// The least a pass over the file costs: every chunk read and its line breaks found.
void BM_ReadLines(benchmark::State& state) {
  std::vector<char> chunk(kReadChunkSize);
  for (auto _ : state) {
    TFile f = OpenReadDenyWrite(TrajectoryPath());
    size_t lines = 0, got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), f.get())) > 0) {
      const char* p = chunk.data();
      const char* end = p + got;
      while (const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) {
        ++lines;
        p = nl + 1;
      }
    }
    benchmark::DoNotOptimize(lines);
  }
}

size_t IndexTrajectory() {
  TRecordIndex index(TrajectoryPath(), TRecordRule::kXYZ);
  if (BuildRecordIndex(index) != TRecordIndexState::kComplete) return 0;
  return index.Count();
}

void BM_IndexXYZ(benchmark::State& state) {
  for (auto _ : state)
    if (IndexTrajectory() == 0) state.SkipWithError("no frames");
}

BENCHMARK(BM_ReadLines)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_IndexXYZ)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

}  // namespace

int main(int argc, char** argv) {
  if (!MakeTrajectory(TrajectoryPath())) {
    std::fprintf(stderr, "bench_xyz_index: cannot make %s\n", TrajectoryPath().c_str());
    return 1;
  }
  const size_t frames = IndexTrajectory();
  benchmark::Initialize(&argc, argv);
  pelorin_bench::TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double size = static_cast<double>(FileSizeOf(TrajectoryPath()).value_or(1));
  const double index = reporter.Seconds("BM_IndexXYZ/iterations:4/real_time");
  const double read = reporter.Seconds("BM_ReadLines/iterations:4/real_time");
  std::printf("xyz_frames_index: %zu frames in %.0f MB\n", frames, size / (1 << 20));
  if (index > 0 && read > 0)
    pelorin_bench::PrintFigure("xyz_frames_index", size / (1 << 20) / index, "MB/s", index / read);
  return 0;
}
