// Placement of scenes in GDI bitmaps: bounds, bond-length scale, fit and centring, colours,
// point mapping and text layout.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/uRasterPlacement.h"
#include "test_drawing.h"

using namespace pelorin;
using namespace pelorin_test;

namespace {

// A square of side 100 drawn with four bonds of length 100.
TSVGScene Square() {
  return SceneOf(
      {Line({0, 0}, {100, 0}), Line({100, 0}, {100, 100}), Line({100, 100}, {0, 100}), Line({0, 100}, {0, 0})});
}

}  // namespace

// (The content bounds both placements start from are tested with the 2D view's.)
TEST(ExportPlacement, HeadingsCountOnlyWhenShown) {
  TSVGScene scene = SceneOf({Line({0, 0}, {50, 0}), Heading(Text("Title", {25, 100}, 10, "middle"))});
  EXPECT_NEAR(RasterContentBounds(scene, false).MaxY, 0, 1e-3f);
  EXPECT_GT(ExportPlacement(scene, true).Height, ExportPlacement(scene, false).Height);
  // Thumbnails always show the title.
  EXPECT_TRUE(ThumbnailPlacement(scene, 100, 100).ShowHeadings);
}

TEST(ExportPlacement, SizeFollowsTheAverageBondLength) {
  struct TCase {
    const char* name;
    TSVGScene scene;
    float bond;
    int32_t width;
    int32_t height;
  };
  TSVGScene huge = SceneOf({Line({0, 0}, {10, 0})});
  TGeoElement wide = MakeElement(gkPolyline, {0, 0, 0, 1}, {}, 1, false);
  wide.Points = {{0, 0}, {100000, 0}, {100000, 20}};
  AddElement(huge, wide);
  const TCase cases[] = {
      // Empty view box: both extents become 1, scale 60/35 -> round(1.714 + 80).
      {"empty scene", TSVGScene{}, 35, 82, 82},
      // Lines of at most 1 unit are no bonds: default 35.
      {"short lines", SceneOf({Line({0, 0}, {1, 0}), Line({0, 0}, {0, 0.5f}), Line({0, 0}, {0, 70})}), 70, 81, 140},
      {"only short lines", SceneOf({Line({0, 0}, {1, 0}), Line({5, 5}, {5.5f, 5})}), 35, 89, 89},
      // Bonds 10 and 30 average to 20: 3 pixels per unit.
      {"mean of bonds", SceneOf({Line({0, 0}, {10, 0}), Line({0, 0}, {0, 30})}), 20, 110, 170},
      {"square", Square(), 100, 140, 140},
      // 6 pixels per unit over 100000 units: the width is clamped, the scale is not reduced.
      {"clamped", huge, 10, 10000, 200},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(AverageBondLength(c.scene), c.bond, 1e-3f);
    const TRasterPlacement p = ExportPlacement(c.scene, true);
    EXPECT_NEAR(p.Scale, 60 / c.bond, 1e-4f);
    EXPECT_EQ(p.Width, c.width);
    EXPECT_EQ(p.Height, c.height);
    EXPECT_EQ(p.OffsetX, 40);
    EXPECT_EQ(p.OffsetY, 40);
    EXPECT_EQ(p.TextRule, trExport);
  }
}

TEST(ThumbnailPlacement, SquareDrawingIsCentredWithBands) {
  const TRasterPlacement p = ThumbnailPlacement(Square(), 200, 100);
  // Bounds 0..100 widened by 5 on each side: 110 units into 100 pixels.
  EXPECT_NEAR(p.Scale, 100.0f / 110, 1e-5f);
  EXPECT_NEAR(p.OffsetX, 50, 1e-3f);
  EXPECT_NEAR(p.OffsetY, 0, 1e-3f);
  EXPECT_EQ(p.Width, 200);
  EXPECT_EQ(p.Height, 100);
  const TPixel topLeft = MapPoint(p, 0, 0);
  const TPixel bottomRight = MapPoint(p, 100, 100);
  EXPECT_EQ(topLeft.X, 55);
  EXPECT_EQ(topLeft.Y, 5);
  EXPECT_EQ(bottomRight.X, 145);
  EXPECT_EQ(bottomRight.Y, 95);
  // The same drawing in a tall thumbnail has bands at the top and bottom instead.
  const TRasterPlacement tall = ThumbnailPlacement(Square(), 100, 200);
  EXPECT_NEAR(tall.OffsetX, 0, 1e-3f);
  EXPECT_NEAR(tall.OffsetY, 50, 1e-3f);
}

TEST(ThumbnailPlacement, DegenerateDrawingsStayFinite) {
  // A single point: extents raised to 1, so the span is 0.1 and the scale finite.
  const TRasterPlacement dot = ThumbnailPlacement(SceneOf({Line({7, 7}, {7, 7})}), 64, 64);
  EXPECT_TRUE(std::isfinite(dot.Scale));
  const TPixel centre = MapPoint(dot, 7, 7);
  EXPECT_EQ(centre.X, 32);
  EXPECT_EQ(centre.Y, 32);
  // Coordinates beyond any float range give a zero scale, not a crash or NaN pixels.
  const float inf = std::numeric_limits<float>::infinity();
  const TRasterPlacement wild = ThumbnailPlacement(SceneOf({Line({-inf, 0}, {inf, 1})}), 64, 64);
  const TPixel p = MapPoint(wild, 0, 0);
  EXPECT_GE(p.X, -(1 << 26));
  EXPECT_LE(p.X, 1 << 26);
}

TEST(RasterValues, ColoursRoundAndClampEachChannel) {
  struct TCase {
    TRGBAColor color;
    uint32_t expected;
  };
  const TCase cases[] = {
      {{1, 0, 0, 1}, 0x0000FFu},       {{0, 1, 0, 0}, 0x00FF00u},  // alpha plays no part
      {{0, 0, 1, 1}, 0xFF0000u},       {{0.5f, 0.2f, 0.1f, 1}, 0x1A3380u},
      {{2, -1, 1.001f, 1}, 0xFF00FFu}, {{NAN, 0, 0, 1}, 0x000000u},
  };
  for (const TCase& c : cases) EXPECT_EQ(ToColorRef(c.color), c.expected) << std::hex << c.expected;
}

TEST(RasterValues, RoundingAndClamping) {
  EXPECT_EQ(RoundClamped(2.5, -10, 10), 2);
  EXPECT_EQ(RoundClamped(3.5, -10, 10), 4);
  EXPECT_EQ(RoundClamped(-2.6, -10, 10), -3);
  EXPECT_EQ(RoundClamped(1e30, -10, 10), 10);
  EXPECT_EQ(RoundClamped(-1e30, -10, 10), -10);
  EXPECT_EQ(RoundClamped(NAN, -10, 10), -10);

  TRasterPlacement p;
  p.Scale = 3;
  EXPECT_EQ(PenWidth(p, 0), 1);  // no stroke width still gets a one-pixel outline
  EXPECT_EQ(PenWidth(p, 2), 6);
  EXPECT_EQ(PenWidth(p, 1e30f), 1 << 26);
  p.TextRule = trExport;
  EXPECT_EQ(FontPixelHeight(p, 1), 10);
  EXPECT_EQ(FontPixelHeight(p, 100), 220);
  p.TextRule = trThumbnail;
  EXPECT_EQ(FontPixelHeight(p, 1), 8);
  EXPECT_EQ(FontPixelHeight(p, 100), 300);
}

TEST(RasterText, AnchorsPlaceTheTextInBothPlacements) {
  EXPECT_EQ(ExportTextLeft(100, 41, "start"), 100);
  EXPECT_EQ(ExportTextLeft(100, 41, "middle"), 80);
  EXPECT_EQ(ExportTextLeft(100, 41, "end"), 59);
  EXPECT_EQ(ExportTextLeft(100, 41, "Middle"), 100);  // anchors are matched as written

  TRasterPlacement p;
  p.Scale = 2;
  p.TextRule = trThumbnail;
  const TTextBox start = ThumbnailTextBox(p, Text("N", {10, 20}, 10));
  EXPECT_EQ(start.Left, 20);
  EXPECT_EQ(start.Align, taLeft);
  EXPECT_EQ(start.Top, 24 - 2);          // mapped y of 20 - 0.8 * 10
  EXPECT_EQ(start.Bottom, 24 + 20 + 8);  // round(10 * 2) + 8
  const TTextBox end = ThumbnailTextBox(p, Text("N", {10, 20}, 10, "end"));
  EXPECT_EQ(end.Right, 20);
  EXPECT_EQ(end.Align, taRight);
  const TTextBox middle = ThumbnailTextBox(p, Text("N", {10, 20}, 10, "middle"));
  EXPECT_EQ(middle.Left + middle.Right, 40);
  EXPECT_EQ(middle.Align, taCenter);
  const TTextBox tiny = ThumbnailTextBox(p, Text("N", {10, 20}, 1));
  EXPECT_EQ(tiny.Bottom - (tiny.Top + 2), 12);
}
