// Draws a 2D scene into a bitmap at export scale (60 pixels per average bond length).
#pragma once

#include <windows.h>

#include "svg/uScene2D.h"

namespace pelorin {

// A new device-compatible bitmap with the scene drawn on white; headings are neither drawn nor
// counted in the bounds when `showHeadings` is false. The caller owns the bitmap (DeleteObject).
// Returns nullptr when the bitmap cannot be created. Never throws.
HBITMAP RenderSceneBitmap(const TSVGScene& scene, bool showHeadings);

}  // namespace pelorin
