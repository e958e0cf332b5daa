// Fuzz target: the STL format test, readers and facet count on arbitrary bytes, as a file and as text.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "formats/uSTLParser.h"
#include "model3d/uMeshModel.h"

namespace {

std::string TempPath() {
  return "/tmp/fuzz_stl_" + std::to_string(getpid()) + ".stl";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pelorin;
  static const std::string path = TempPath();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  TMeshModel model;
  std::string openError;
  // The memory budget judges a file by this count: it must be what the reader reads.
  const std::optional<int64_t> counted = CountSTLFacets(path);
  const bool loaded = LoadMeshModel(model, path, openError);
  if (!counted || *counted != (loaded ? model.FacetCount : 0)) __builtin_trap();
  if (loaded) {
    if (model.MeshVertexCount != 3 * model.FacetCount) __builtin_trap();
    TVec3 center;
    float radius;
    GetModelBounds(model, center, radius);
    if (!(radius > 0)) __builtin_trap();  // bounds must never see a NaN or infinity
  }
  TFacetArray facets;
  int32_t count = 0;
  bool ok = ReadASCIISTL(std::string_view(reinterpret_cast<const char*>(data), size), facets, count);
  if (ok != (count > 0) || facets.size() != static_cast<size_t>(count)) __builtin_trap();
  return 0;
}
