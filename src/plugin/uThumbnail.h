// Preview bitmaps for the file manager: a file's 2D drawing, or for a molecule of more than
// MaxThumbnail2DAtoms atoms its atoms as discs, fitted into the requested size.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "convert/uConverter.h"
#include "formats/uMolSurvey.h"
#include "svg/uScene2D.h"

namespace pelorin {

inline constexpr int32_t kThumbnailRecords = 12;

// The converter's limits for a thumbnail: at most the first 12 records ("-l 12"), one
// attempt, every wait within ThumbnailTimeout from now (HostThreadLimits). A run out of time
// gives no bitmap; the host shows its own icon.
TConversionLimits ThumbnailLimits(const TPelorinConfig& config);

// A 32-bit top-down DIB section of exactly width x height (both positive) with the scene
// fitted in, 5 % margin, centred, headings included; nullptr when it cannot be created.
HBITMAP RenderThumbnail(const TSVGScene& scene, int32_t width, int32_t height) noexcept;

// True when the survey of the file's first record says it has more than
// config.MaxThumbnail2DAtoms atoms: its thumbnail shows the atoms instead of the 2D drawing.
bool WantsAtomThumbnail(const TPelorinConfig& config, const std::optional<TRecordSurvey>& survey);

// Converts the file (its first records) to a 2D drawing, or over the atom limit its first
// record to atoms, and renders it as a thumbnail, every wait within ThumbnailTimeout: the survey
// decides first, and a record of more atoms than the atom picture draws is not read at all.
// nullptr for a size that is not positive (without running the converter) and on every failure;
// only a failed conversion is logged. The caller owns the bitmap. Never throws.
HBITMAP MakeThumbnail(const std::string& fileName, int32_t width, int32_t height) noexcept;

}  // namespace pelorin
