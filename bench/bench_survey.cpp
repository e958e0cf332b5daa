// Benchmark of the molecule file survey: counting the records of a 1 GB SDF and the atoms of a
// 100 MB PDB, each against reading the same file and finding its "$$$$" lines with memchr.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "formats/uMolSurvey.h"
#include "formats/uTextScan.h"
#include "support/uFileIO.h"

namespace {

using namespace pelorin;

constexpr uint64_t kSdfSize = 1ull << 30;
constexpr int kLatticeSide = 110;  // 110^3 atoms: about 100 MB of PDB
constexpr int64_t kLatticeAtoms = int64_t{kLatticeSide} * kLatticeSide * kLatticeSide;

std::string DataDir() {
  const char* dir = std::getenv("PELORIN_BENCH_DATA");
  return dir && *dir ? std::string(dir) : std::string("/tmp");
}
std::string SdfPath() {
  return DataDir() + "/survey_1gb.sdf";
}
std::string PdbPath() {
  return DataDir() + "/survey_lattice.pdb";
}

std::string SdfRecord() {
  return ReadWholeFile(PELORIN_SAMPLES_DIR "/caffeine.mol").value_or("") + "$$$$\n";
}

// The caffeine sample as an SDF record, repeated to 1 GB.
bool MakeSdf() {
  if (FileSizeOf(SdfPath()).value_or(0) >= kSdfSize) return true;
  std::string record = SdfRecord();
  if (record.size() < 10) return false;
  std::string block;
  while (block.size() < (8u << 20)) block += record;
  std::ofstream out(SdfPath(), std::ios::binary);
  for (uint64_t written = 0; written < kSdfSize; written += block.size()) out.write(block.data(), block.size());
  return static_cast<bool>(out);
}

// One model of atoms on a cubic lattice, HETATM lines as the converter writes them.
bool MakePdb() {
  if (FileSizeOf(PdbPath()).value_or(0) > 0) return true;
  std::ofstream out(PdbPath(), std::ios::binary);
  out << "COMPND    lattice\nAUTHOR    GENERATED FOR BENCHMARKING\n";
  char line[96];
  int64_t serial = 0;
  for (int i = 0; i < kLatticeSide; ++i)
    for (int j = 0; j < kLatticeSide; ++j)
      for (int k = 0; k < kLatticeSide; ++k) {
        ++serial;
        std::snprintf(line, sizeof line, "HETATM%5d  C   UNL     1    %8.3f%8.3f%8.3f  1.00  0.00           C  \n",
                      static_cast<int>(serial % 100000), 1.5 * i, 1.5 * j, 1.5 * k);
        out << line;
      }
  out << "END\n";
  return static_cast<bool>(out);
}

// The baseline: read the file in 1 MiB pieces and count its "$$$$" lines with memchr. Its buffer
// is made per pass, as the survey's is: on the test machine, reads into a buffer reused from an
// earlier pass spent two to three times as long in the kernel's copy.
size_t CountMarks(const std::string& path) {
  std::vector<char> chunk(kReadChunkSize);
  TFile f = OpenReadDenyWrite(path);
  size_t marks = 0, got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), f.get())) > 0) {
    const char* p = chunk.data();
    const char* end = p + got;
    // A line cut by a piece's end is not looked at: a baseline may miss one mark in 10^5.
    while (const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) {
      if (nl - p == 4 && std::memcmp(p, "$$$$", 4) == 0) ++marks;
      p = nl + 1;
    }
  }
  return marks;
}

int64_t ExpectedSdfRecords() {
  static const int64_t count = [] {
    uint64_t record = SdfRecord().size(), block = 0;
    while (block < (8u << 20)) block += record;
    uint64_t blocks = (kSdfSize + block - 1) / block;
    return static_cast<int64_t>(blocks * (block / record));
  }();
  return count;
}

void BM_SurveySdfRecords(benchmark::State& state) {
  for (auto _ : state) {
    std::optional<TMolSurvey> survey = SurveyFileRecords(SdfPath(), TMolFormat::Sdf);
    if (!survey || survey->RecordCount != ExpectedSdfRecords()) state.SkipWithError("wrong record count");
  }
}

void BM_SdfBaseline(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CountMarks(SdfPath()));
}

void BM_SurveyPdbAtoms(benchmark::State& state) {
  for (auto _ : state) {
    std::optional<TRecordSurvey> survey = SurveyFileRecord(PdbPath(), TMolFormat::Pdb, 0);
    if (!survey || survey->AtomCount != kLatticeAtoms) state.SkipWithError("wrong atom count");
  }
}

void BM_PdbBaseline(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CountMarks(PdbPath()));
}

BENCHMARK(BM_SurveySdfRecords)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_SdfBaseline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_SurveyPdbAtoms)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_PdbBaseline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void PrintThroughput(const pelorin_bench::TCollectingReporter& reporter, const char* figure, const char* run,
                     const char* baseline, const std::string& path) {
  double seconds = reporter.Seconds(run), base = reporter.Seconds(baseline);
  double megabytes = static_cast<double>(FileSizeOf(path).value_or(0)) / (1 << 20);
  if (seconds > 0 && base > 0) pelorin_bench::PrintFigure(figure, megabytes / seconds, "MB/s", seconds / base);
}

}  // namespace

int main(int argc, char** argv) {
  if (!MakeSdf() || !MakePdb()) {
    std::fprintf(stderr, "bench_survey: cannot make the data files in %s\n", DataDir().c_str());
    return 1;
  }
  // Both files come from the page cache in every run, the first included.
  CountMarks(SdfPath());
  CountMarks(PdbPath());

  benchmark::Initialize(&argc, argv);
  pelorin_bench::TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("survey: %lld records in %.0f MB of SDF; %lld atoms in %.0f MB of PDB\n",
              static_cast<long long>(ExpectedSdfRecords()),
              static_cast<double>(FileSizeOf(SdfPath()).value_or(0)) / (1 << 20), static_cast<long long>(kLatticeAtoms),
              static_cast<double>(FileSizeOf(PdbPath()).value_or(0)) / (1 << 20));
  PrintThroughput(reporter, "survey_sdf_records", "BM_SurveySdfRecords/iterations:4/real_time",
                  "BM_SdfBaseline/iterations:4/real_time", SdfPath());
  PrintThroughput(reporter, "survey_pdb_atoms", "BM_SurveyPdbAtoms/iterations:10/real_time",
                  "BM_PdbBaseline/iterations:10/real_time", PdbPath());
  return 0;
}
