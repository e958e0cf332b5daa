// The GDI rasteriser with hand-made scenes: export bitmap size, headings, fills and outlines,
// text anchors, the thumbnail's DIB section, and a single molecule's title below its drawing.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "render/uRasterPlacement.h"
#include "render/uSceneRaster.h"
#include "support/uGdiObjects.h"
#include "test_drawing.h"

using namespace pelorin;
using namespace pelorin_test;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

// A 100 x 100 square or disc whose interior is filled (or not) and whose outline may have no alpha.
TGeoElement Square(TRGBAColor fill, TRGBAColor stroke) {
  return Polygon({{0, 0}, {100, 0}, {100, 100}, {0, 100}}, fill, stroke, 0);
}
TGeoElement Disc(TRGBAColor fill, TRGBAColor stroke) {
  return Circle({50, 50}, 50, 50, fill, stroke, 0);
}

// Rows y0..y1 of the whole width.
TArea Rows(int y0, int y1) {
  return {0, y0, INT_MAX, y1 + 1};
}

// The export bitmap, released when the test ends.
TImage Export(const TSVGScene& scene, bool showHeadings) {
  HBITMAP bitmap = RasterizeScene(scene, ExportPlacement(scene, showHeadings), rbCompatible);
  EXPECT_NE(bitmap, nullptr);
  return TakeImage(bitmap);
}

// A thumbnail's bitmap of width x height; the caller owns it.
HBITMAP Thumbnail(const TSVGScene& scene, int32_t width, int32_t height) {
  return RasterizeScene(scene, ThumbnailPlacement(scene, width, height), rbTopDownDIB);
}

}  // namespace

TEST(SceneRaster, ExportSizeFollowsTheAverageBondLength) {
  // Bonds 10 and 30: 3 pixels per unit, 40 pixels of margin on each side.
  const TImage bonds = Export(SceneOf({Line({0, 0}, {10, 0}), Line({0, 0}, {0, 30})}), true);
  EXPECT_EQ(bonds.Width, 110);
  EXPECT_EQ(bonds.Height, 170);
  EXPECT_EQ(bonds.At(0, 0), kWhite);
  EXPECT_NE(bonds.At(40, 100), kWhite);  // the vertical bond on the left margin

  const TImage empty = Export(TSVGScene{}, true);
  EXPECT_EQ(empty.Width, 82);
  EXPECT_EQ(empty.Height, 82);
  EXPECT_EQ(CountPixels(empty, IsInk), 0u);
}

TEST(SceneRaster, HiddenHeadingsAreNeitherDrawnNorCounted) {
  const TSVGScene scene = SceneOf({Line({0, 0}, {35, 0}), Heading(Text("Caffeine", {17, 60}, 16, "middle"))});
  const TImage shown = Export(scene, true);
  const TImage hidden = Export(scene, false);
  EXPECT_GT(shown.Height, hidden.Height);
  EXPECT_GT(CountPixels(shown, IsInk, Rows(60, shown.Height - 1)), 0u) << "the title is drawn below the bond";
  // Without the title only the bond's row carries ink.
  EXPECT_EQ(CountPixels(hidden, IsInk, Rows(45, hidden.Height - 1)), 0u);
  EXPECT_GT(CountPixels(hidden, IsInk), 0u);
}

TEST(SceneRaster, FillsAndOutlines) {
  const TRGBAColor red{1, 0, 0, 1};
  const TRGBAColor noFill{1, 0, 0, 0};
  const TRGBAColor blueWithoutAlpha{0, 0, 1, 0};
  struct TCase {
    const char* name;
    TGeoElement shape;
    uint32_t centre;  // 0x00RRGGBB
  };
  const TCase cases[] = {
      {"filled polygon", Square(red, blueWithoutAlpha), 0xFF0000},
      {"hollow polygon", Square(noFill, blueWithoutAlpha), kWhite},
      {"filled circle", Disc(red, blueWithoutAlpha), 0xFF0000},
      {"hollow circle", Disc(noFill, blueWithoutAlpha), kWhite},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    // One bond of 60 units sets the scale to 1 pixel per unit.
    TSVGScene scene = SceneOf({c.shape, Line({0, 200}, {60, 200})});
    const TImage pixels = Export(scene, true);
    EXPECT_EQ(pixels.At(90, 90), c.centre);
    // An outline without alpha is still drawn, one pixel wide, in the stroke's colour.
    EXPECT_EQ(pixels.At(90, 40), 0x0000FFu);
    EXPECT_EQ(pixels.At(90, 42), c.centre);
  }
}

TEST(SceneRaster, TextAnchorsInBothPlacements) {
  struct TCase {
    const char* anchor;
    int32_t expectFirst;  // -1: left of the anchor, 0: around it, 1: right of it
  };
  const TCase cases[] = {{"start", 1}, {"middle", 0}, {"end", -1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.anchor);
    const TSVGScene scene =
        SceneOf({Line({0, 0}, {60, 0}), Line({0, 100}, {60, 100}), Text("MMMM", {100, 60}, 16, c.anchor)});

    const TRasterPlacement exportPlacement = ExportPlacement(scene, true);
    const TPixel exportAnchor = MapPoint(exportPlacement, 100, 60);
    const TImage exported = Export(scene, true);

    const TImage thumb = TakeImage(Thumbnail(scene, 300, 300));
    ASSERT_EQ(thumb.Width, 300);
    const TPixel thumbAnchor = MapPoint(ThumbnailPlacement(scene, 300, 300), 100, 60);

    for (const auto& [pixels, anchor] : {std::pair{&exported, exportAnchor}, std::pair{&thumb, thumbAnchor}}) {
      const TBox ink = BoxOf(*pixels, IsInk, Rows(anchor.Y - 8, anchor.Y - 2));
      ASSERT_GT(ink.Count, 0u);
      const int32_t first = ink.Left, last = ink.Right;
      const int32_t slack = 3;
      if (c.expectFirst > 0) {
        EXPECT_GE(first, anchor.X - slack);
        EXPECT_LE(first, anchor.X + slack + 2);
      } else if (c.expectFirst < 0) {
        EXPECT_LE(last, anchor.X + slack);
        EXPECT_GE(last, anchor.X - slack - 2);
      } else {
        EXPECT_NEAR((first + last) / 2.0, anchor.X, slack + 1);
      }
    }
  }
}

TEST(SceneRaster, ThumbnailIsAnOpaqueTopDownDibOfTheRequestedSize) {
  const TSVGScene scene = SceneOf({Line({0, 0}, {100, 0}), Line({0, 0}, {0, 100}), Line({100, 0}, {100, 100})});
  TGdiObject<HBITMAP> bitmap(Thumbnail(scene, 200, 100));
  ASSERT_TRUE(bitmap);
  DIBSECTION dib{};
  ASSERT_EQ(GetObject(bitmap.get(), sizeof dib, &dib), static_cast<int>(sizeof dib));
  EXPECT_EQ(dib.dsBmih.biWidth, 200);
  EXPECT_EQ(std::abs(dib.dsBmih.biHeight), 100);  // GetObject reports the height unsigned
  EXPECT_EQ(dib.dsBmih.biBitCount, 32);
  ASSERT_NE(dib.dsBm.bmBits, nullptr);
  const auto* bits = static_cast<const uint32_t*>(dib.dsBm.bmBits);
  EXPECT_EQ(bits[0], 0xFFFFFFFFu);  // white and opaque
  // The square drawing is centred: white bands left and right, the left bond at x = 55.
  EXPECT_EQ(bits[50 * 200 + 20] & 0xFFFFFF, kWhite);
  EXPECT_EQ(bits[50 * 200 + 180] & 0xFFFFFF, kWhite);
  EXPECT_EQ(bits[50 * 200 + 55] & 0xFFFFFF, 0u);
  // Top-down: the first rows in memory hold the top bond, the last ones the open bottom.
  EXPECT_EQ(bits[5 * 200 + 100] & 0xFFFFFF, 0u);
  EXPECT_EQ(bits[94 * 200 + 100] & 0xFFFFFF, kWhite);

  EXPECT_EQ(Thumbnail(scene, 0, 100), nullptr);
  EXPECT_EQ(Thumbnail(scene, 100, -1), nullptr);
}

TEST(SceneRaster, ElementsWithTooLittleGeometryAreSkipped) {
  TGeoElement lonely = Line({0, 0}, {0, 0});
  lonely.Points.resize(1);
  TGeoElement noAnchor = Text("N", {10, 10}, 16);
  noAnchor.Points.clear();
  EXPECT_EQ(CountPixels(Export(SceneOf({lonely, Text("", {10, 10}, 16), noAnchor}, 100), true), IsInk), 0u);
}

TEST(SceneRaster, ATitleStandsBelowItsDrawingInThumbnailsAndExports) {
  // The title in red, the drawing in black: each can be told by its ink.
  const TSVGScene scene = ConverterMolecule("caffeine", kRed);
  const TSVGScene untitled = ConverterMolecule("");
  for (int side : {256, 128}) {
    SCOPED_TRACE(side);
    const TImage thumb = TakeImage(Thumbnail(scene, side, side));
    const TBox drawing = BoxOf(thumb, IsDark), title = BoxOf(thumb, IsReddish);
    ASSERT_GT(title.Count, 10u);
    EXPECT_GT(title.Top, drawing.Bottom) << "the title's ink lies below the drawing's";
    EXPECT_NEAR((title.Left + title.Right) / 2.0, (drawing.Left + drawing.Right) / 2.0, side / 20.0) << "centred";
    EXPECT_LT(title.Bottom, side);
  }
  const TImage shown = Export(scene, true), hidden = Export(scene, false);
  const TBox drawing = BoxOf(shown, IsDark), title = BoxOf(shown, IsReddish);
  ASSERT_GT(title.Count, 10u);
  EXPECT_GT(title.Top, drawing.Bottom);
  EXPECT_EQ(CountPixels(hidden, IsReddish), 0u);
  EXPECT_TRUE(hidden == Export(untitled, true)) << "hidden, the title takes no room either";
}
