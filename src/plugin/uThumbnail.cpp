// Thumbnails: the converter's 2D drawing of a file, or for a large molecule its atoms as
// discs, drawn with GDI into a DIB section.
#include "plugin/uThumbnail.h"

#include "convert/uConverter.h"
#include "formats/uMolSurvey.h"
#include "model3d/uAtomDiscs.h"
#include "model3d/uModelChoice.h"
#include "render/uSceneRaster.h"
#include "render/uViewValues.h"
#include "support/uDebugLog.h"
#include "svg/uSVGParser.h"
#include "viewer/uViewerLogic.h"

namespace pelorin {

// A thumbnail is made on the host's own thread, for every file of a folder: the first dozen
// records at most, one attempt, and every wait within a time limit of its own.
TConversionLimits ThumbnailLimits(const TPelorinConfig& config) {
  TConversionLimits limits = HostThreadLimits(config);
  limits.ExtraArgs = "-l " + std::to_string(kThumbnailRecords);
  return limits;
}

HBITMAP RenderThumbnail(const TSVGScene& scene, int32_t width, int32_t height) noexcept {
  if (width <= 0 || height <= 0) return nullptr;
  return RasterizeScene(scene, ThumbnailPlacement(scene, width, height), rbTopDownDIB);
}

bool WantsAtomThumbnail(const TPelorinConfig& config, const std::optional<TRecordSurvey>& survey) {
  return survey && survey->AtomCount > config.MaxThumbnail2DAtoms;
}

namespace {

// The first record's atoms as discs, seen as the 3D view first shows them. The atoms of a
// PDB or XYZ file are read from the file; other formats take one XYZ run of the converter
// within the thumbnail's time limit. A record of more atoms than the picture draws is drawn by
// an even subsample.
HBITMAP MakeAtomThumbnail(TConversionLimits limits, const std::string& fileName, int32_t width, int32_t height) {
  limits.ExtraArgs = "-l 1";
  TAtomArray atoms;
  std::string error;
  if (!LoadFileAtoms(fileName, atoms, error, limits)) {
    DebugLog("ListGetPreviewBitmap: atom conversion failed: " + error);
    return nullptr;
  }
  const size_t count = atoms.size();
  const size_t stride = KeepEvenSubsample(atoms, kMaxThumbnailAtoms);
  if (stride > 1)
    DebugLogFmt("ListGetPreviewBitmap: %llu atoms: one in %llu drawn (%llu)", static_cast<unsigned long long>(count),
                static_cast<unsigned long long>(stride), static_cast<unsigned long long>(atoms.size()));
  TSVGScene scene;
  BuildAtomDiscScene(atoms, kResetRotX, kResetRotY, scene);
  return RenderThumbnail(scene, width, height);
}

}  // namespace

HBITMAP MakeThumbnail(const std::string& fileName, int32_t width, int32_t height) noexcept {
  try {
    if (width <= 0 || height <= 0) return nullptr;
    if (IsProgramDatabaseFile(fileName)) {  // debug symbols, not a Protein Data Bank file
      DebugLog("ListGetPreviewBitmap: a program database (debug symbols), not a molecule: no thumbnail");
      return nullptr;
    }
    const TPelorinConfig config = ConfigSnapshot();
    const TConversionLimits limits = ThumbnailLimits(config);  // the time limit runs from here
    const std::optional<TRecordSurvey> survey =
        SurveyFileRecord(fileName, MolFormatFromFileName(fileName), 0, TStopToken::At(limits.Deadline));
    if (limits.Deadline.Passed()) {
      DebugLog("ListGetPreviewBitmap: the file was not surveyed within the thumbnail's time limit");
      return nullptr;
    }
    if (WantsAtomThumbnail(config, survey)) return MakeAtomThumbnail(limits, fileName, width, height);
    std::string svgText, error;
    if (!RunOBabel(fileName, svgText, error, limits)) {
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
