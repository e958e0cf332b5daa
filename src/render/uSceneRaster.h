// Draws a 2D scene into a GDI bitmap for a given placement: the export bitmap and thumbnails.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include "render/uRasterPlacement.h"
#include "svg/uScene2D.h"

namespace pelorin {

// Draws every element in scene order into `dc` (a white, transparent-mode surface), heading
// texts only when the placement shows them, a single molecule's title in its band
// (LayOutCaption). Each element's pens, brushes and fonts are released before the next element.
void DrawSceneElements(HDC dc, const TSVGScene& scene, const TRasterPlacement& placement);

enum TRasterBitmapKind : int32_t {
  rbCompatible = 0,  // compatible with the screen (export)
  rbTopDownDIB = 1,  // 32-bit top-down DIB section, opaque (thumbnails)
};

// A new bitmap of the placement's size with the scene drawn on white. The caller owns it;
// nullptr when it cannot be created. Never throws.
HBITMAP RasterizeScene(const TSVGScene& scene, const TRasterPlacement& placement, TRasterBitmapKind kind) noexcept;

}  // namespace pelorin

#endif  // _WIN32
