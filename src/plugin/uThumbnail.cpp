// Thumbnails: the converter's 2D drawing of a file, read and drawn with GDI into a DIB section.
#include "plugin/uThumbnail.h"

#include "convert/uConverter.h"
#include "render/uSceneRaster.h"
#include "support/uDebugLog.h"
#include "svg/uSVGParser.h"
#include "viewer/uViewerLogic.h"

namespace pelorin {

// A thumbnail is made on the host's own thread, for every file of a folder: the first dozen
// records at most, one attempt, and a time limit of its own.
TConversionLimits ThumbnailLimits(const TPelorinConfig& config) {
  TConversionLimits limits;
  limits.TimeoutMs = config.ThumbnailTimeoutMs;
  limits.Attempts = 1;
  limits.ExtraArgs = "-l " + std::to_string(kThumbnailRecords);
  return limits;
}

HBITMAP RenderThumbnail(const TSVGScene& scene, int32_t width, int32_t height) noexcept {
  if (width <= 0 || height <= 0) return nullptr;
  return RasterizeScene(scene, ThumbnailPlacement(scene, width, height), rbTopDownDIB);
}

HBITMAP MakeThumbnail(const std::string& fileName, int32_t width, int32_t height) noexcept {
  try {
    if (width <= 0 || height <= 0) return nullptr;
    if (IsProgramDatabaseFile(fileName)) {  // debug symbols, not a Protein Data Bank file
      DebugLog("ListGetPreviewBitmap: a program database (debug symbols), not a molecule: no thumbnail");
      return nullptr;
    }
    std::string svgText, error;
    if (!RunOBabel(fileName, svgText, error, ThumbnailLimits(ConfigSnapshot()))) {
      DebugLog("ListGetPreviewBitmap: 2D conversion failed: " + error);
      return nullptr;
    }
    TSVGScene scene;
    if (!ParseSVG(svgText, scene)) return nullptr;
    svgText = std::string();
    return RenderThumbnail(scene, width, height);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace pelorin
