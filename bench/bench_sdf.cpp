// Benchmarks of SDF records: every record's text of a 200 MB file, cut in one pass, and the
// record index of a 1 GB one, each against a plain scan of the same file, and their peak memory.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "bench_util.h"
#include "formats/uRecordIndex.h"
#include "formats/uRecordScan.h"
#include "formats/uSDFFormat.h"
#include "formats/uTextScan.h"
#include "support/uFileIO.h"

namespace {

using namespace pelorin;

constexpr uint64_t kSplitFileSize = 200ull << 20;
constexpr uint64_t kIndexFileSize = 1ull << 30;

std::string DataDir() {
  const char* dir = std::getenv("PELORIN_BENCH_DATA");
  return dir && *dir ? std::string(dir) : std::string("/tmp");
}
std::string BigPath() {
  return DataDir() + "/records_200mb.sdf";
}
std::string HugePath() {
  return DataDir() + "/records_1gb.sdf";
}

// Repeats a real record set from the converter until the file reaches `size` (kept between runs).
bool MakeSDF(const std::string& path, uint64_t size) {
  if (FileSizeOf(path).value_or(0) >= size) return true;
  std::string smiles = DataDir() + "/set.smi", set = DataDir() + "/set.sdf";
  std::ofstream(smiles) << "Cn1cnc2c1c(=O)n(C)c(=O)n2C caffeine\nCC(=O)Oc1ccccc1C(=O)O aspirin\n"
                           "CC(C)Cc1ccc(cc1)C(C)C(=O)O ibuprofen\nOC[C@H]1OC(O)[C@H](O)[C@@H](O)[C@@H]1O glucose\n"
                           "CCO ethanol\nc1ccc2c(c1)ccc1ccccc12 phenanthrene\n";
  std::string command = "/usr/bin/obabel \"" + smiles + "\" -O \"" + set + "\" --gen2d >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  return pelorin_bench::WriteRepeated(path, ReadWholeFile(set).value_or(""), size);
}

// Every record's text in one pass: where the record scanner finds the ends, each record as the
// index delivers it (RecordText). A record inside one piece is delivered straight from it; only
// one that a piece's end cuts is gathered first.
std::vector<std::string> SplitRecords(const std::string& path) {
  std::vector<std::string> records;
  TSDFRecordScanner scanner;
  std::vector<uint64_t> ends;
  std::vector<const char*> lineBreaks;
  std::string open;  // the start of a record that a piece's end cut
  auto add = [&](const char* begin, const char* end) {
    records.emplace_back();
    RecordText(begin, end, records.back(), lineBreaks);
  };
  FeedFile(path, [&](std::string_view piece) {
    const char* begin = piece.data();
    const char* end = begin + piece.size();
    const uint64_t offset = scanner.Offset();
    ends.clear();
    scanner.Feed(begin, end, ends);
    const char* p = begin;
    for (uint64_t recordEnd : ends) {
      const char* cut = begin + (recordEnd - offset);
      if (open.empty()) {
        add(p, cut);
      } else {
        open.append(p, cut);
        add(open.data(), open.data() + open.size());
        open.clear();
      }
      p = cut;
    }
    open.append(p, end);
    return true;
  });
  ends.clear();
  scanner.Finish(ends);
  if (!ends.empty()) add(open.data(), open.data() + open.size());
  return records;
}

long StatusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  size_t length = std::strlen(field);
  while (std::getline(status, line))
    if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length + 1);
  return -1;
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// Peak resident memory that `work` adds, in bytes, measured in a child process whose
// high-water mark starts at its resident size at the fork; `count` is what `work` returns.
double MeasurePeak(const std::function<size_t()>& work, size_t& count) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    long before = StatusKilobytes("VmRSS:");
    size_t n = work();
    double result[2] = {(StatusKilobytes("VmHWM:") - before) * 1024.0, static_cast<double>(n)};
    ssize_t ignored = write(fds[1], result, sizeof result);
    (void)ignored;
    _exit(0);
  }
  close(fds[1]);
  double result[2] = {-1, 0};
  if (read(fds[0], result, sizeof result) != static_cast<ssize_t>(sizeof result)) result[0] = -1;
  close(fds[0]);
  waitpid(child, nullptr, 0);
  count = static_cast<size_t>(result[1]);
  return result[0];
}

void BM_SplitSDF(benchmark::State& state) {
  long faults = MinorFaults();
  for (auto _ : state) {
    std::vector<std::string> records = SplitRecords(BigPath());
    if (records.empty()) state.SkipWithError("no records");
    benchmark::DoNotOptimize(records.data());
    // Freeing the list belongs to closing the file, not to splitting it.
    state.PauseTiming();
    std::vector<std::string>().swap(records);
    malloc_trim(0);  // each run gets fresh memory, as the first file a viewer opens does
    state.ResumeTiming();
  }
  state.counters["faults"] = static_cast<double>(MinorFaults() - faults) / static_cast<double>(state.iterations());
}

// The sizes of the records SplitRecords makes, found once.
const std::vector<size_t>& RecordSizes() {
  static const std::vector<size_t> sizes = [] {
    std::vector<std::string> records = SplitRecords(BigPath());
    std::vector<size_t> result;
    for (const std::string& record : records) result.push_back(record.size());
    return result;
  }();
  return sizes;
}

// What any splitter pays for the list it returns: strings of the records' sizes, each
// allocated and written once, in memory the process has not touched before (page faults).
void BM_FillRecordMemory(benchmark::State& state) {
  const std::vector<size_t>& sizes = RecordSizes();
  long faults = MinorFaults();
  for (auto _ : state) {
    std::vector<std::string> records;
    for (size_t size : sizes) records.emplace_back(size, 'x');
    benchmark::DoNotOptimize(records.data());
    state.PauseTiming();
    std::vector<std::string>().swap(records);
    malloc_trim(0);  // each run gets fresh memory, as the first file a viewer opens does
    state.ResumeTiming();
  }
  state.counters["faults"] = static_cast<double>(MinorFaults() - faults) / static_cast<double>(state.iterations());
}

// Baseline: read the file in the same chunks and count its "$$$$" lines with memchr.
void BM_CountMarks(benchmark::State& state, std::string (*path)()) {
  std::vector<char> chunk(kReadChunkSize);
  for (auto _ : state) {
    TFile f = OpenReadDenyWrite(path());
    size_t marks = 0, got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), f.get())) > 0) {
      const char* p = chunk.data();
      const char* end = p + got;
      // A line cut by a chunk's end is not looked at: a baseline may miss one mark in 10^5.
      while (const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) {
        if (nl - p == 4 && std::memcmp(p, "$$$$", 4) == 0) ++marks;
        p = nl + 1;
      }
    }
    benchmark::DoNotOptimize(marks);
  }
}

size_t IndexHugeFile(size_t& memoryBytes) {
  TRecordIndex index(HugePath());
  if (BuildRecordIndex(index) != TRecordIndexState::kComplete) return 0;
  memoryBytes = index.MemoryBytes();
  return index.Count();
}

// The record index of the 1 GB file, built in one pass.
void BM_IndexSDF(benchmark::State& state) {
  for (auto _ : state) {
    size_t memoryBytes = 0;
    if (IndexHugeFile(memoryBytes) == 0) state.SkipWithError("no records");
  }
}

BENCHMARK(BM_SplitSDF)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK_CAPTURE(BM_CountMarks, split, &BigPath)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_FillRecordMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK_CAPTURE(BM_CountMarks, index, &HugePath)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_IndexSDF)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

}  // namespace

int main(int argc, char** argv) {
  for (const auto& [path, size] : {std::pair(BigPath(), kSplitFileSize), std::pair(HugePath(), kIndexFileSize)}) {
    if (!MakeSDF(path, size)) {
      std::fprintf(stderr, "bench_sdf: cannot make %s\n", path.c_str());
      return 1;
    }
  }
  double fileSize = static_cast<double>(FileSizeOf(BigPath()).value_or(1));
  double hugeSize = static_cast<double>(FileSizeOf(HugePath()).value_or(1));
  // Peaks first, while this process is small.
  size_t recordCount = 0, indexCount = 0, indexBytes = 0;
  double peak = MeasurePeak([] { return SplitRecords(BigPath()).size(); }, recordCount);
  double indexPeak = MeasurePeak(
      [] {
        size_t bytes = 0;
        return IndexHugeFile(bytes);
      },
      indexCount);
  IndexHugeFile(indexBytes);

  benchmark::Initialize(&argc, argv);
  pelorin_bench::TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("split_sdf: %zu records in %.0f MB\n", recordCount, fileSize / (1 << 20));
  double split = reporter.Seconds("BM_SplitSDF/iterations:4/real_time");
  double count = reporter.Seconds("BM_CountMarks/split/iterations:4/real_time");
  double fill = reporter.Seconds("BM_FillRecordMemory/iterations:4/real_time");
  if (split > 0 && fill > 0)
    std::printf("split_sdf: %.0f ms, of which about %.0f ms (%.0f%%) is allocating and faulting in the records\n",
                split * 1e3, fill * 1e3, 100 * fill / split);
  if (split > 0 && count > 0)
    pelorin_bench::PrintFigure("split_sdf", fileSize / (1 << 20) / split, "MB/s", split / count);
  if (peak > 0) pelorin_bench::PrintFigure("split_sdf_peak_memory", peak / (1 << 20), "MB", peak / fileSize);

  std::printf("sdf_index: %zu records in %.0f MB, offsets %.2f MB\n", indexCount, hugeSize / (1 << 20),
              static_cast<double>(indexBytes) / (1 << 20));
  double index = reporter.Seconds("BM_IndexSDF/iterations:4/real_time");
  double hugeCount = reporter.Seconds("BM_CountMarks/index/iterations:4/real_time");
  if (index > 0 && hugeCount > 0)
    pelorin_bench::PrintFigure("sdf_index", hugeSize / (1 << 20) / index, "MB/s", index / hugeCount);
  if (indexCount > 0) {
    // Against one 8-byte offset a record.
    double perRecord = static_cast<double>(indexBytes) / static_cast<double>(indexCount);
    pelorin_bench::PrintFigure("sdf_index_memory", perRecord, "bytes/record", perRecord / 8);
    if (indexPeak > 0)
      pelorin_bench::PrintFigure("sdf_index_peak_memory", indexPeak / static_cast<double>(indexCount), "bytes/record",
                                 indexPeak / static_cast<double>(indexCount) / 8);
  }
  return 0;
}
