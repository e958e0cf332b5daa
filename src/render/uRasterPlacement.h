// Where a 2D scene lands in a GDI bitmap: content bounds, colours, the export and thumbnail
// placements, point mapping and text layout. Free of Windows, so it is tested everywhere.
#pragma once

#include <cstdint>
#include <string_view>

#include "render/uView2D.h"
#include "svg/uScene2D.h"

namespace pelorin {

// How texts are sized and positioned: the export draws them at the anchor with the font's
// ascent, the thumbnail lays them out in a rectangle.
enum TRasterTextRule : int32_t { trExport = 0, trThumbnail = 1 };

// A scene point (x, y) lands on pixel round((x - MinX) * Scale + OffsetX), likewise for y.
struct TRasterPlacement {
  float Scale = 1;
  float OffsetX = 0;
  float OffsetY = 0;
  float MinX = 0;
  float MinY = 0;
  int32_t Width = 0;  // bitmap size in pixels
  int32_t Height = 0;
  bool ShowHeadings = true;  // false: heading texts are neither counted nor drawn
  TRasterTextRule TextRule = trExport;
};

struct TPixel {
  int32_t X = 0;
  int32_t Y = 0;
};

// Export bitmaps are 64..10000 pixels on each side; a bond line is drawn 60 pixels long.
constexpr int32_t kMinExportSide = 64;
constexpr int32_t kMaxExportSide = 10000;
constexpr float kExportBondPixels = 60;
constexpr float kDefaultBondLength = 35;
constexpr float kExportMargin = 40;

// Nearest integer (ties to even) within lo..hi; NaN gives lo. Keeps every coordinate that
// reaches GDI a valid int, however large the input's numbers are.
int32_t RoundClamped(double value, int32_t lo, int32_t hi);

// The box the drawable elements cover, texts estimated from their byte length; the view box
// when nothing widens it. Heading texts count only when `showHeadings` is set.
TBounds2D RasterContentBounds(const TSVGScene& scene, bool showHeadings);

// 0x00BBGGRR, each channel round(c * 255) clamped to 0..255; alpha is ignored.
uint32_t ToColorRef(const TRGBAColor& color);

// Mean length of the lines longer than 1 unit; 35 when there are none.
float AverageBondLength(const TSVGScene& scene);

TRasterPlacement ExportPlacement(const TSVGScene& scene, bool showHeadings);
// The scene fitted into width x height with a 5 % margin and centred; both sizes positive.
TRasterPlacement ThumbnailPlacement(const TSVGScene& scene, int32_t width, int32_t height);

TPixel MapPoint(const TRasterPlacement& placement, float x, float y);

// Outline width in pixels: at least 1.
int32_t PenWidth(const TRasterPlacement& placement, float strokeWidth);

// Character height of a text's font in pixels (10..220 in exports, at least 8 in thumbnails).
int32_t FontPixelHeight(const TRasterPlacement& placement, float fontSize);

// Export texts: where the text starts for its anchor, given its measured width in pixels.
int32_t ExportTextLeft(int32_t anchorX, int32_t textWidth, std::string_view anchor);
// Export texts when the font's ascent cannot be read: the top of the text above the baseline.
int32_t FallbackTextTop(const TRasterPlacement& placement, int32_t anchorY, float fontSize);

// Thumbnail texts: the rectangle a text is drawn into, and how it is aligned in it.
enum TTextAlign : int32_t { taLeft = 0, taCenter = 1, taRight = 2 };
struct TTextBox {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  TTextAlign Align = taLeft;
};
TTextBox ThumbnailTextBox(const TRasterPlacement& placement, const TGeoElement& text);

}  // namespace pelorin
