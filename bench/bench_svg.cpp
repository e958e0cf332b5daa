// Benchmark of the SVG reader: the converter's grid drawings, against a bare XML parse of the same text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_util.h"
#include "support/uFileIO.h"
#include "svg/uSVGDetail.h"

namespace {

using namespace pelorin;

const char* const kSmiles[] = {
    "Cn1cnc2c1c(=O)n(C)c(=O)n2C",
    "CC(=O)Oc1ccccc1C(=O)O",
    "C[C@@H](N)C(=O)O",
    "c1ccc2ccccc2c1",
    "CC(C)Cc1ccc(cc1)C(C)C(=O)O",
    "c1ccc(cc1)[N+](=O)[O-]",
    "OC[C@H]1OC(O)[C@H](O)[C@@H](O)[C@@H]1O",
    "N[C@@H](Cc1c[nH]c2ccccc12)C(=O)O",
    "C[NH3+]",
    "CCCCCCCCCCCCCCCC",
    "Nc1ncnc2[nH]cnc12",
    "ClC(Cl)Cl",
};

std::string DataDir() {
  const char* dir = std::getenv("PELORIN_BENCH_DATA");
  return dir && *dir ? std::string(dir) : std::string("/tmp");
}

std::string GridPath(int molecules) {
  return DataDir() + "/svg_grid" + std::to_string(molecules) + ".svg";
}

// A grid drawing of `molecules` titled records, made by the real converter.
bool MakeGrid(int molecules) {
  if (FileExists(GridPath(molecules))) return true;
  std::string smiles;
  const int kinds = static_cast<int>(sizeof kSmiles / sizeof kSmiles[0]);
  for (int i = 0; i < molecules; ++i)
    smiles += std::string(kSmiles[i % kinds]) + " molecule " + std::to_string(i) + "\n";
  std::string input = DataDir() + "/svg_grid" + std::to_string(molecules) + ".smi";
  std::string error;
  if (!WriteWholeFile(input, smiles, error)) return false;
  std::string command =
      "/usr/bin/obabel \"" + input + "\" -O \"" + GridPath(molecules) + "\" --gen2d -xC >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && FileExists(GridPath(molecules));
}

void BM_ParseSVG(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    TSVGScene scene;
    if (!ParseSVG(*text, scene)) state.SkipWithError("ParseSVG failed");
    benchmark::DoNotOptimize(scene.Elements.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text->size()));
}

// Baseline: the XML parse alone, with the options the reader uses; it is compiled from the same
// header-only pugixml as the reader, so both sides get the same inlining.
void BM_PugixmlParse(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    pugi::xml_document document;
    if (!document.load_buffer(text->data(), text->size(), SvgParseOptions())) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(document.document_element().name());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text->size()));
}

constexpr int kRepetitions = 10;
constexpr double kSecondsPerRepetition = 0.05;

double FastestRun(const std::vector<double>& values) {
  return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

}  // namespace

int main(int argc, char** argv) {
  const int sizes[] = {3, 100};
  std::string texts[2];
  for (int i = 0; i < 2; ++i) {
    if (!MakeGrid(sizes[i])) {
      std::fprintf(stderr, "bench_svg: cannot make the SVG data in %s\n", DataDir().c_str());
      return 1;
    }
    texts[i] = ReadWholeFile(GridPath(sizes[i])).value_or("");
    const std::string suffix = "/grid" + std::to_string(sizes[i]);
    for (auto* run : {benchmark::RegisterBenchmark(("BM_ParseSVG" + suffix).c_str(), BM_ParseSVG, &texts[i]),
                      benchmark::RegisterBenchmark(("BM_PugixmlParse" + suffix).c_str(), BM_PugixmlParse, &texts[i])}) {
      // The machine is shared: the fastest of several short runs is the figure least disturbed
      // by other work, for the reader and its baseline alike.
      run->UseRealTime()
          ->Repetitions(kRepetitions)
          ->MinTime(kSecondsPerRepetition)
          ->ComputeStatistics("min", FastestRun)
          ->ReportAggregatesOnly(true);
    }
  }
  benchmark::Initialize(&argc, argv);
  pelorin_bench::TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  for (int i = 0; i < 2; ++i) {
    // The aggregate's name, as Google Benchmark composes it from the run's settings.
    char settings[80];
    std::snprintf(settings, sizeof settings, "/min_time:%0.3f/repeats:%d/real_time_min", kSecondsPerRepetition,
                  kRepetitions);
    const std::string suffix = "/grid" + std::to_string(sizes[i]) + settings;
    double reader = reporter.Seconds("BM_ParseSVG" + suffix);
    double xml = reporter.Seconds("BM_PugixmlParse" + suffix);
    if (reader <= 0 || xml <= 0) continue;
    double mbPerSecond = static_cast<double>(texts[i].size()) / reader / 1e6;
    pelorin_bench::PrintFigure("parse_svg_grid" + std::to_string(sizes[i]), mbPerSecond, "MB/s", reader / xml);
  }
  return 0;
}
