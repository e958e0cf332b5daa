// Fuzz target: the attribute value parsers on arbitrary text.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "svg/uSVGDetail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  pelorin::TPointArray points;
  int32_t n = pelorin::ParsePointList(text, points);
  if (n < 0 || static_cast<size_t>(n) != points.size()) std::abort();
  pelorin::TRGBAColor color;
  pelorin::ParseColor(text, color);
  float tx = 0, ty = 0;
  pelorin::ParseTranslate(text, tx, ty);
  float number = pelorin::ParseNumber(text, 0);
  if (!std::isfinite(tx) || !std::isfinite(ty) || !std::isfinite(number)) std::abort();
  for (const pelorin::TPoint2D& p : points)
    if (!std::isfinite(p.X) || !std::isfinite(p.Y)) std::abort();
  return 0;
}
