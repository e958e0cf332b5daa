// Demo: converts each file named on the command line through the plugin's own converter
// front end (2D drawing and 3D model), saves the drawings and prints what came out.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "convert/uConverter.h"
#include "support/uConfig.h"
#include "support/uDebugLog.h"
#include "support/uFileIO.h"

using namespace pelorin;

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string BaseName(const std::string& path) {
  return path.substr(path.find_last_of("\\/") + 1);
}

// Converts one file both ways; false when either conversion failed.
bool ShowFile(const std::string& input, const std::string& outDir) {
  std::printf("%s\n", BaseName(input).c_str());
  bool ok = true;
  auto start = std::chrono::steady_clock::now();
  std::string svg, error;
  if (RunOBabel(input, svg, error)) {
    std::string saved = outDir + BaseName(input) + ".svg";
    std::string writeError;
    if (!WriteWholeFile(saved, svg, writeError)) {
      std::printf("  2D: cannot save %s: %s\n", saved.c_str(), writeError.c_str());
      ok = false;
    } else {
      std::printf("  2D: %zu bytes of SVG in %.2f s -> %s\n", svg.size(), SecondsSince(start), saved.c_str());
    }
  } else {
    std::printf("  2D: FAILED: %s\n", error.c_str());
    ok = false;
  }
  start = std::chrono::steady_clock::now();
  std::string stl;
  if (RunOBabelSTL(input, stl, error)) {
    uint64_t size = FileSizeOf(stl).value_or(0);
    std::printf("  3D: STL of %.1f MB (%llu triangles) in %.2f s\n", size / 1e6,
                static_cast<unsigned long long>(size >= 84 ? (size - 84) / 50 : 0), SecondsSince(start));
    DeleteFileIfExists(stl);
  } else {
    std::printf("  3D: FAILED: %s\n", error.c_str());
    ok = false;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: convert_samples <obabel.exe> <output folder> <molecule files...>\n");
    return 2;
  }
  TPelorinConfig config;
  config.OBabelPath = argv[1];
  config.CmdLine2D = kDefaultCmdLine2D;
  config.CmdLine3D = kDefaultCmdLine3D;
  config.OBabelOpts = kDefaultOBabelOpts;
  config.TempDir = SystemTempDir();
  StoreConfig(config);
  std::string outDir = argv[2];
  if (!outDir.empty() && outDir.back() != '\\') outDir += '\\';
  DebugLogSetup(outDir, true);

  int failures = 0;
  for (int i = 3; i < argc; ++i) failures += ShowFile(argv[i], outDir) ? 0 : 1;
  DebugLogClose();
  std::printf("%d files converted, %d failed; converter log in %spelorindebug.log\n", argc - 3 - failures, failures,
              outDir.c_str());
  return failures ? 1 : 0;
}
