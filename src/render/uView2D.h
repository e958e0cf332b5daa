// Geometry of the 2D view: content bounds, the fit of a scene to a window, and the size and
// placement of rasterised texts. Free of OpenGL and Windows, so the renderers share it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "svg/uScene2D.h"

namespace pelorin {

// A 2D view: the part of a window's view values (TViewValues) that the 2D renderer and the
// view geometry read.
struct TView2D {
  float Zoom2D = 1;  // user zoom on top of the fit
  float PanX = 0;    // scene units; positive moves the drawing right
  float PanY = 0;    // scene units; positive moves the drawing down
  int32_t ViewWidth = 400;
  int32_t ViewHeight = 300;
  bool ShowHeadings = true;
};

struct TBounds2D {
  float MinX = 0;
  float MinY = 0;
  float MaxX = 0;
  float MaxY = 0;
};

// The box the scene's elements cover; the view box when they cover nothing. Heading texts
// count only when `showHeadings` is set; a single molecule's title counts by its band
// (LayOutCaption).
// How a text's anchor ("middle", "end") is recognised: the OpenGL view ignores letter
// case, the GDI rasteriser takes it exactly as written.
enum class TAnchorMatch { IgnoreCase, Exact };
TBounds2D ContentBounds(const TSVGScene& scene, bool showHeadings, TAnchorMatch anchors = TAnchorMatch::IgnoreCase);

// The title of a single molecule's drawing, which the converter writes at the top left of the
// picture over the drawing, laid out in a band of its own below the drawing instead: centred
// under it at 1.2 times the size of the atom labels (within 3 % to 15 % of the drawing's larger
// side), cut with an ellipsis when it is wider than 1.5 times that side. Only a scene whose one
// heading text is anchored at its start is such a drawing: a grid's titles stand centred under
// their molecules already and stay where they are, as does a scene without a title or without
// a drawing. The fit and every renderer take the title from here.
struct TCaptionLayout {
  int32_t Index = -1;   // the title's element in the scene; -1: the scene is drawn as it is
  TGeoElement Element;  // the title as it is drawn: anchored "middle" at its baseline in the band
  TBounds2D Drawing;    // what the scene covers without the title
  TBounds2D Box;        // the title's box, its width estimated as ContentBounds estimates texts
  TBounds2D Band;       // from the drawing's bottom down past the title, as wide as either
};
TCaptionLayout LayOutCaption(const TSVGScene& scene, TAnchorMatch anchors = TAnchorMatch::IgnoreCase) noexcept;

// `text` (8-bit, as scenes hold it) cut to at most `maxChars` characters, the last of them an
// ellipsis, when it has more.
std::string CutWithEllipsis(std::string_view text, size_t maxChars);

// On-screen pixels per scene unit, at least 0.01.
float PixelsPerUnit(const TSVGScene& scene, const TView2D& view);

// The orthographic box (glOrtho's left, right, bottom, top) that fits the scene with a 5 %
// margin into a width x height area, zoomed and panned by `view`. Bottom > Top: y points down.
struct TOrthoBox {
  double Left = 0;
  double Right = 0;
  double Bottom = 0;
  double Top = 0;
};
TOrthoBox OrthoBox2D(int32_t width, int32_t height, const TSVGScene& scene, const TView2D& view);

// Line width in pixels for a stroke width in scene units, limited to 0.5..16.
float ClampLineWidth(float strokeWidth, float pixelsPerUnit);

// Texts are rasterised at twice their on-screen size, within 72..1024 pixels.
int32_t TextRasterSize(float fontSize, float pixelsPerUnit);
int32_t ClampPixelSize(int32_t pixelSize);  // 72..1024

// Smallest power of two >= n; 1 for n <= 1.
int64_t NextPow2(int64_t n);

// The text cache's key: text, clamped pixel size and weight.
std::string MakeTextKey(std::string_view text, int32_t pixelSize, bool bold);

// Used part (the GDI extent plus a 4-pixel margin on every side) and texture size of a text.
struct TTextTextureSize {
  int64_t TextWidth = 0;
  int64_t TextHeight = 0;
  int64_t TexWidth = 0;
  int64_t TexHeight = 0;
};
TTextTextureSize TextTextureSize(int64_t extentX, int64_t extentY);

// Copies the top-left texWidth x texHeight pixels of a 32-bit top-down DIB (rows of
// bitmapWidth pixels) into alpha texels, one byte each: the mean of the pixel's channels.
void GlyphsToAlphaTexels(const uint32_t* dibPixels, int32_t bitmapWidth, int32_t texWidth, int32_t texHeight,
                         std::vector<uint8_t>& texels);

// Where a text's quad goes in scene units, and the used part of its texture (U1, V1).
struct TTextQuad {
  float X0 = 0;
  float Y0 = 0;
  float W = 0;
  float H = 0;
  double U1 = 0;
  double V1 = 0;
};
// How a text is drawn: `Size` scene units high with its baseline at the point it is drawn at,
// rasterised at `PixelSize` pixels (clamped as the text cache clamps it), anchored there by its
// start, "middle" or "end" (exact letter case), and moved by `Offset` in scene units.
struct TTextStyle {
  TRGBAColor Color{0, 0, 0, 1};
  float Size = 0;
  int32_t PixelSize = 0;
  std::string_view Anchor;  // names text that outlives the style, as a scene element's anchor
  bool Bold = false;
  TPoint2D Offset;
};
// The quad of a text drawn at `at` in `style`: it reaches 78 % of its height above the baseline.
TTextQuad PlaceTextQuad(TPoint2D at, const TTextStyle& style, const TTextTextureSize& tex);

// The four copies (left, right, up, down) that make a text's outline.
std::array<TPoint2D, 4> OutlineOffsets(float offset, float size);

// Point j of `segments` evenly spaced points on an ellipse outline, starting at angle 0.
TPoint2D EllipsePoint(float cx, float cy, float rx, float ry, int j, int segments);

}  // namespace pelorin
