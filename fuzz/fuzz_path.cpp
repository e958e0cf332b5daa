// Fuzz target: path data; the parse must end, and the count must match the points handed back.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "svg/uSVGDetail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pelorin::TPointArray points;
  int32_t count = 0;
  bool closed = false;
  pelorin::ParsePathData(std::string_view(reinterpret_cast<const char*>(data), size), points, count, closed);
  if (count < 0 || static_cast<size_t>(count) != points.size()) std::abort();
  return 0;
}
