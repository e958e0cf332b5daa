// Benchmark of the record search: a 1 GB SDF library whose records carry data items (the
// converter's descriptors and a catalogue number each), searched for the catalogue number of
// its last record, against reading the file in the same pieces.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "bench_util.h"
#include "formats/uRecordSearch.h"
#include "support/uFileIO.h"

namespace {

using namespace pelorin;

constexpr uint64_t kLibrarySize = 1ull << 30;
constexpr char kLastCatalogue[] = "PEL-9999999";

std::string DataDir() {
  const char* dir = std::getenv("PELORIN_BENCH_DATA");
  return dir && *dir ? std::string(dir) : std::string("/tmp");
}
std::string LibraryPath() {
  return DataDir() + "/library_1gb.sdf";
}

// Each record of the converter's set with a catalogue number added as its last data item.
std::string Catalogued(const std::string& records, int& number) {
  std::string out;
  size_t at = 0;
  for (size_t mark; (mark = records.find("$$$$\n", at)) != std::string::npos; at = mark + 5) {
    char item[48];
    std::snprintf(item, sizeof item, ">  <CATALOGUE>\nPEL-%07d\n\n", number++ % 10000000);
    out.append(records, at, mark - at).append(item).append("$$$$\n");
  }
  return out;
}

// The converter's drawings of six molecules with descriptors as data items, numbered and
// repeated to 1 GB, then a last record with its own catalogue number (kept between runs).
bool MakeLibrary(const std::string& path) {
  if (FileSizeOf(path).value_or(0) >= kLibrarySize) return true;
  const std::string smiles = DataDir() + "/search_set.smi", set = DataDir() + "/search_set.sdf";
  std::ofstream(smiles) << "Cn1cnc2c1c(=O)n(C)c(=O)n2C caffeine\nCC(=O)Oc1ccccc1C(=O)O aspirin\n"
                           "CC(C)Cc1ccc(cc1)C(C)C(=O)O ibuprofen\nOC[C@H]1OC(O)[C@H](O)[C@@H](O)[C@@H]1O glucose\n"
                           "CCO ethanol\nc1ccc2c(c1)ccc1ccccc12 phenanthrene\n";
  const std::string command =
      "/usr/bin/obabel \"" + smiles + "\" -O \"" + set + "\" --gen2d --add \"MW logP formula\" >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  const std::string records = ReadWholeFile(set).value_or("");
  int number = 0;
  std::string block;
  while (block.size() < (8u << 20)) block += Catalogued(records, number);
  if (!pelorin_bench::WriteRepeated(path, block, kLibrarySize)) return false;
  const std::string first = records.substr(0, records.find("$$$$\n"));
  std::ofstream(path, std::ios::binary | std::ios::app) << first << ">  <CATALOGUE>\n"
                                                        << kLastCatalogue << "\n\n$$$$\n";
  return true;
}

const TRecordIndex& Index() {
  static TRecordIndex index(LibraryPath());
  static const bool built = BuildRecordIndex(index) == TRecordIndexState::kComplete;
  (void)built;
  return index;
}

// Reading the whole file in pieces of `size` bytes. On some machines a read whose size is a
// multiple of the page size costs several times one that is not (the copy's alignment): the
// baseline is the faster of both.
void BM_ReadFile(benchmark::State& state, size_t size) {
  std::vector<char> piece(size);
  for (auto _ : state) {
    TFile f = OpenReadDenyWrite(LibraryPath());
    size_t total = 0, got;
    while ((got = std::fread(piece.data(), 1, piece.size(), f.get())) > 0) total += got;
    benchmark::DoNotOptimize(total);
  }
}

void BM_Search(benchmark::State& state, TSearchQuery query) {
  const TRecordIndex& index = Index();
  for (auto _ : state) {
    TSearchHit hit;
    std::string error;
    if (SearchRecords(index, query, 0, TSearchControl{}, hit, error) != TSearchOutcome::kFound ||
        hit.Record + 1 != index.Count())
      state.SkipWithError("the last record was not found");
  }
}

BENCHMARK_CAPTURE(BM_ReadFile, pages, kSearchChunkSize)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK_CAPTURE(BM_ReadFile, odd, kSearchChunkSize - 1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
// As the host asks by default: letter case does not matter.
BENCHMARK_CAPTURE(BM_Search, catalogue, TSearchQuery{kLastCatalogue, false, false, false})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(4);
// Digits only: every byte of the query is common in atom blocks.
BENCHMARK_CAPTURE(BM_Search, digits, TSearchQuery{"9999999", false, true, false})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(4);

}  // namespace

int main(int argc, char** argv) {
  if (!MakeLibrary(LibraryPath())) {
    std::fprintf(stderr, "bench_search: cannot make %s\n", LibraryPath().c_str());
    return 1;
  }
  const double size = static_cast<double>(FileSizeOf(LibraryPath()).value_or(1));
  std::printf("search_1gb: %zu records in %.0f MB\n", Index().Count(), size / (1 << 20));

  benchmark::Initialize(&argc, argv);
  pelorin_bench::TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const double pages = reporter.Seconds("BM_ReadFile/pages/iterations:4/real_time");
  const double odd = reporter.Seconds("BM_ReadFile/odd/iterations:4/real_time");
  const double read = pages > 0 && odd > 0 ? std::min(pages, odd) : std::max(pages, odd);
  std::printf("search_1gb: reading takes %.0f ms in pieces of 4 MB, %.0f ms in pieces of 4 MB - 1\n", pages * 1e3,
              odd * 1e3);
  const double search = reporter.Seconds("BM_Search/catalogue/iterations:4/real_time");
  const double digits = reporter.Seconds("BM_Search/digits/iterations:4/real_time");
  if (read > 0 && digits > 0)
    std::printf("search_1gb: a query of digits only (whole words) takes %.0f ms, %.2f x reading\n", digits * 1e3,
                digits / read);
  if (read > 0 && search > 0)
    pelorin_bench::PrintFigure("search_1gb", size / (1 << 20) / search, "MB/s", search / read);
  return 0;
}
