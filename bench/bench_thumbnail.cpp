// Thumbnails through the DLL, loaded as the file manager loads it (ListGetPreviewBitmap 256 x
// 256). Their cost beyond the converter's own run, on caffeine, against running the converter
// alone with the same command line; and the longest thumbnail over files as users keep them
// (caffeine, SDF files of 12 and 20,000 records, 4,000 lines of SMILES, made at bench time, and
// a converter that never finishes) against the thumbnail's time limit. Windows only (runs under
// Wine with the bridge converter and the sleeping stand-in).
//   bench_thumbnail [--runs N] [--save file.bmp]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "convert/uConverter.h"
#include "support/uConfig.h"

namespace {

using pelorin_bench::Median;
using pelorin_bench::MillisecondsOf;

using TPreviewFn = HBITMAP(__stdcall*)(char*, int, int, char*, int);
using TDefaultParamsFn = void(__stdcall*)(void*);
constexpr int kSide = 256;

// A private copy of the plugin with an ini that points at the given converter.
struct TPluginCopy {
  std::filesystem::path Dir;
  HMODULE Module = nullptr;
  TPreviewFn Preview = nullptr;

  explicit TPluginCopy(const char* converter, const std::string& name = "bench") {
    Dir = std::filesystem::temp_directory_path() / ("pelorin_" + name + "_" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(Dir);
    std::filesystem::copy_file(PELORIN_PLUGIN_DLL, Dir / "PELORINPLUGIN.dll",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(Dir / "pelorin.ini", std::ios::binary) << "[Pelorin]\r\nOBabelPath=" << converter << "\r\n";
    Module = LoadLibraryW((Dir / "PELORINPLUGIN.dll").wstring().c_str());
    if (!Module) return;
    auto defaults =
        reinterpret_cast<TDefaultParamsFn>(reinterpret_cast<void*>(GetProcAddress(Module, "ListSetDefaultParams")));
    Preview = reinterpret_cast<TPreviewFn>(reinterpret_cast<void*>(GetProcAddress(Module, "ListGetPreviewBitmap")));
    if (defaults) defaults(nullptr);
  }
  ~TPluginCopy() {
    if (Module) FreeLibrary(Module);
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
  }
};

// The converter started the way the plugin starts it, without the plugin around it.
bool RunConverterAlone(const std::string& input, const std::string& tempDir) {
  pelorin::TPelorinConfig config;
  config.OBabelPath = PELORIN_BRIDGE_EXE;
  config.CmdLine2D = pelorin::kDefaultCmdLine2D;
  config.OBabelOpts = pelorin::kDefaultOBabelOpts;
  config.TempDir = tempDir;
  std::string output;
  std::string command = pelorin::BuildConverterCommand(config, input, pelorin::TViewMode::k2D, output);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process))
    return false;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const bool made = std::filesystem::exists(output);
  DeleteFileA(output.c_str());
  return made;
}

void SaveBitmap(HBITMAP bitmap, const char* path) {
  DIBSECTION dib{};
  if (GetObject(bitmap, sizeof dib, &dib) != static_cast<int>(sizeof dib) || !dib.dsBm.bmBits) return;
  const DWORD bytes = static_cast<DWORD>(dib.dsBm.bmWidthBytes) * dib.dsBm.bmHeight;
  BITMAPINFOHEADER header = dib.dsBmih;
  header.biHeight = -dib.dsBm.bmHeight;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + bytes;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(static_cast<const char*>(dib.dsBm.bmBits), bytes);
}

// The text of a file, to build larger inputs from the samples.
std::string SampleText(const char* name) {
  std::ifstream in(std::string(PELORIN_SAMPLES_DIR "\\") + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An SDF file of `records` copies of caffeine.mol.
std::string WriteSDF(const std::filesystem::path& dir, int records) {
  std::string record = SampleText("caffeine.mol");
  while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.pop_back();
  record += "\n$$$$\n";
  const std::filesystem::path path = dir / ("records_" + std::to_string(records) + ".sdf");
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < records; ++i) out << record;
  return path.string();
}

// A SMILES file of `lines` lines, the sample's molecules over and over.
std::string WriteSMILES(const std::filesystem::path& dir, int lines) {
  std::vector<std::string> molecules;
  std::string text = SampleText("molecules.smi"), line;
  for (char c : text) {
    if (c != '\n' && c != '\r') {
      line += c;
    } else if (!line.empty()) {
      molecules.push_back(line);
      line.clear();
    }
  }
  if (!line.empty()) molecules.push_back(line);
  const std::filesystem::path path = dir / ("lines_" + std::to_string(lines) + ".smi");
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < lines && !molecules.empty(); ++i) out << molecules[i % molecules.size()] << "\n";
  return path.string();
}

struct TThumbnailCase {
  std::string Name;
  TPreviewFn Preview;
  std::string Input;
  bool Drawn;  // a bitmap is expected
};

// The longest thumbnail of each case over `runs` runs, and the longest of all against the limit.
bool ReportWorstThumbnail(const TPluginCopy& bridge, int runs) {
  TPluginCopy sleeper(PELORIN_SLEEP_EXE, "bench_sleep");
  if (!sleeper.Preview) {
    std::fprintf(stderr, "cannot load the plugin copy for the sleeping converter\n");
    return false;
  }
  const std::vector<TThumbnailCase> cases = {
      {"caffeine.mol", bridge.Preview, PELORIN_SAMPLES_DIR "\\caffeine.mol", true},
      {"12-record SDF", bridge.Preview, WriteSDF(bridge.Dir, 12), true},
      {"20,000-record SDF", bridge.Preview, WriteSDF(bridge.Dir, 20000), true},
      {"4,000-line SMILES", bridge.Preview, WriteSMILES(bridge.Dir, 4000), true},
      {"converter that never finishes", sleeper.Preview, PELORIN_SAMPLES_DIR "\\caffeine.mol", false},
  };
  double worstMs = 0;
  bool ok = true;
  for (const TThumbnailCase& c : cases) {
    std::string input = c.Input;
    double longest = 0;
    for (int i = 0; i < runs; ++i) {
      HBITMAP bitmap = nullptr;
      longest = std::max(longest, MillisecondsOf([&] { bitmap = c.Preview(input.data(), kSide, kSide, nullptr, 0); }));
      if ((bitmap != nullptr) != c.Drawn) {
        std::fprintf(stderr, "%s: %s\n", c.Name.c_str(), bitmap ? "a bitmap, none expected" : "no bitmap");
        ok = false;
      }
      if (bitmap) DeleteObject(bitmap);
    }
    std::printf("thumbnail of %s: longest %.0f ms (%d runs)\n", c.Name.c_str(), longest, runs);
    worstMs = std::max(worstMs, longest);
  }
  const double limitMs = pelorin::kDefaultThumbnailTimeoutMs;
  std::printf("FIGURE thumbnail_worst: %.0f ms (%.2f x baseline)\n", worstMs, worstMs / limitMs);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 10;
  const char* savePath = nullptr;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--save") == 0)
      savePath = argv[++i];
  }
  TPluginCopy plugin(PELORIN_BRIDGE_EXE);
  if (!plugin.Preview) {
    std::fprintf(stderr, "cannot load the plugin from %s\n", PELORIN_PLUGIN_DLL);
    return 1;
  }
  std::string input = PELORIN_SAMPLES_DIR "\\caffeine.mol";
  const std::string tempDir = plugin.Dir.string() + "\\";

  // One of each first, so neither side pays for cold caches; then the two alternate.
  HBITMAP first = plugin.Preview(input.data(), kSide, kSide, nullptr, 0);
  if (!first || !RunConverterAlone(input, tempDir)) {
    std::fprintf(stderr, "the thumbnail or the converter run failed\n");
    if (first) DeleteObject(first);
    return 1;
  }
  if (savePath) SaveBitmap(first, savePath);
  DeleteObject(first);

  std::vector<double> thumbnail, converter;
  for (int i = 0; i < runs; ++i) {
    thumbnail.push_back(MillisecondsOf([&] { DeleteObject(plugin.Preview(input.data(), kSide, kSide, nullptr, 0)); }));
    converter.push_back(MillisecondsOf([&] { RunConverterAlone(input, tempDir); }));
  }
  const double thumbMs = Median(thumbnail), convertMs = Median(converter);
  std::printf("thumbnail %dx%d: median %.1f ms; converter alone: median %.1f ms (%d runs each)\n", kSide, kSide,
              thumbMs, convertMs, runs);
  // Same line format as the native benchmarks' PrintFigure (Google Benchmark is not built for Windows).
  std::printf("FIGURE thumbnail_overhead: %.3g ms (%.2f x baseline)\n", thumbMs - convertMs, thumbMs / convertMs);
  std::fflush(stdout);
  return ReportWorstThumbnail(plugin, std::min(runs, 3)) ? 0 : 1;
}
