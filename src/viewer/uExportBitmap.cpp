// The export bitmap of a 2D scene: 60 pixels per average bond, a 40-pixel margin.
#include "viewer/uExportBitmap.h"

#include "render/uSceneRaster.h"

namespace pelorin {

HBITMAP RenderSceneBitmap(const TSVGScene& scene, bool showHeadings) {
  return RasterizeScene(scene, ExportPlacement(scene, showHeadings), rbCompatible);
}

}  // namespace pelorin
