// The SVG reader: fills the 2D scene model from the converter's SVG drawings.
#pragma once

#include <string_view>

#include "svg/uScene2D.h"

namespace pelorin {

// Resets `scene` and fills it from the SVG text; true when at least one element was read.
// Never throws.
[[nodiscard]] bool ParseSVG(std::string_view text, TSVGScene& scene);

}  // namespace pelorin
