// Fuzz target: whole SVG documents through the reader; the scene must stay consistent.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "svg/uSVGParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pelorin::TSVGScene scene;
  bool ok = pelorin::ParseSVG(std::string_view(reinterpret_cast<const char*>(data), size), scene);
  if (ok != (scene.Count > 0) || static_cast<size_t>(scene.Count) > scene.Elements.size() ||
      scene.Elements.size() % 64 != 0)
    std::abort();
  for (int32_t i = 0; i < scene.Count; ++i) {
    const pelorin::TGeoElement& e = scene.Elements[i];
    for (const pelorin::TPoint2D& p : e.Points)
      if (!std::isfinite(p.X) || !std::isfinite(p.Y)) std::abort();
    if (e.Kind == pelorin::gkText && (e.Points.size() != 1 || e.Text.empty())) std::abort();
  }
  return 0;
}
