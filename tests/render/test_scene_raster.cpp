// The GDI rasteriser with hand-made scenes: export bitmap size, headings, fills and outlines,
// text anchors, and the thumbnail's DIB section.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "plugin/uThumbnail.h"
#include "render/uRasterPlacement.h"
#include "support/uGdiObjects.h"
#include "viewer/uExportBitmap.h"

using namespace pelorin;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

// A bitmap's pixels as 0x00RRGGBB, rows top to bottom.
struct TPixels {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Data;
  uint32_t At(int32_t x, int32_t y) const { return Data[static_cast<size_t>(y) * Width + x] & 0xFFFFFF; }
  // Bounding columns of the pixels that differ from white in rows y0..y1; -1 when none.
  void InkColumns(int32_t y0, int32_t y1, int32_t& first, int32_t& last) const {
    first = last = -1;
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = 0; x < Width; ++x)
        if (At(x, y) != kWhite) {
          if (first < 0 || x < first) first = x;
          last = std::max(last, x);
        }
  }
  int64_t InkCount() const {
    int64_t n = 0;
    for (int32_t y = 0; y < Height; ++y)
      for (int32_t x = 0; x < Width; ++x) n += At(x, y) != kWhite;
    return n;
  }
};

TPixels ReadPixels(HBITMAP bitmap) {
  BITMAP info{};
  GetObject(bitmap, sizeof info, &info);
  TPixels pixels;
  pixels.Width = info.bmWidth;
  pixels.Height = info.bmHeight;
  pixels.Data.resize(static_cast<size_t>(info.bmWidth) * info.bmHeight);
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = info.bmWidth;
  request.bmiHeader.biHeight = -info.bmHeight;
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  TMemoryDC dc;
  GetDIBits(dc.get(), bitmap, 0, info.bmHeight, pixels.Data.data(), &request, DIB_RGB_COLORS);
  return pixels;
}

TGeoElement Line(float x1, float y1, float x2, float y2) {
  TGeoElement e = MakeElement(gkLine, {0, 0, 0, 1}, {}, 1, false);
  e.Points = {{x1, y1}, {x2, y2}};
  return e;
}

TGeoElement Text(float x, float y, const std::string& text, const std::string& anchor, bool heading = false) {
  TGeoElement e = MakeElement(gkText, {}, {}, 0, false);
  e.Points = {{x, y}};
  e.Text = text;
  e.FontSize = 16;
  e.TextAnchor = anchor;
  e.TextColor = {0, 0, 0, 1};
  e.IsHeading = heading;
  return e;
}

// A 100 x 100 square whose interior is filled (or not) and whose outline may have no alpha.
TGeoElement Square(TRGBAColor fill, TRGBAColor stroke) {
  TGeoElement e = MakeElement(gkPolygon, stroke, fill, 0, false);
  e.Points = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
  return e;
}

TGeoElement Disc(TRGBAColor fill, TRGBAColor stroke) {
  TGeoElement e = MakeElement(gkCircle, stroke, fill, 0, false);
  e.CX = e.CY = 50;
  e.RX = e.RY = 50;
  return e;
}

TSVGScene SceneOf(std::initializer_list<TGeoElement> elements) {
  TSVGScene scene;
  for (const TGeoElement& e : elements) AddElement(scene, e);
  return scene;
}

// The export bitmap, released when the test ends.
TPixels Export(const TSVGScene& scene, bool showHeadings) {
  TGdiObject<HBITMAP> bitmap(RenderSceneBitmap(scene, showHeadings));
  EXPECT_NE(bitmap.get(), nullptr);
  return bitmap ? ReadPixels(bitmap.get()) : TPixels{};
}

}  // namespace

TEST(SceneRaster, ExportSizeFollowsTheAverageBondLength) {
  // Bonds 10 and 30: 3 pixels per unit, 40 pixels of margin on each side.
  const TPixels bonds = Export(SceneOf({Line(0, 0, 10, 0), Line(0, 0, 0, 30)}), true);
  EXPECT_EQ(bonds.Width, 110);
  EXPECT_EQ(bonds.Height, 170);
  EXPECT_EQ(bonds.At(0, 0), kWhite);
  EXPECT_NE(bonds.At(40, 100), kWhite);  // the vertical bond on the left margin

  const TPixels empty = Export(TSVGScene{}, true);
  EXPECT_EQ(empty.Width, 82);
  EXPECT_EQ(empty.Height, 82);
  EXPECT_EQ(empty.InkCount(), 0);
}

TEST(SceneRaster, HiddenHeadingsAreNeitherDrawnNorCounted) {
  const TSVGScene scene = SceneOf({Line(0, 0, 35, 0), Text(17, 60, "Caffeine", "middle", true)});
  const TPixels shown = Export(scene, true);
  const TPixels hidden = Export(scene, false);
  EXPECT_GT(shown.Height, hidden.Height);
  int32_t first = -1, last = -1;
  shown.InkColumns(60, shown.Height - 1, first, last);
  EXPECT_GE(first, 0) << "the title is drawn below the bond";
  // Without the title only the bond's row carries ink.
  hidden.InkColumns(45, hidden.Height - 1, first, last);
  EXPECT_EQ(first, -1);
  EXPECT_GT(hidden.InkCount(), 0);
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
    TSVGScene scene = SceneOf({c.shape, Line(0, 200, 60, 200)});
    const TPixels pixels = Export(scene, true);
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
    const TSVGScene scene = SceneOf({Line(0, 0, 60, 0), Line(0, 100, 60, 100), Text(100, 60, "MMMM", c.anchor)});

    const TRasterPlacement exportPlacement = ExportPlacement(scene, true);
    const TPixel exportAnchor = MapPoint(exportPlacement, 100, 60);
    const TPixels exported = Export(scene, true);

    TGdiObject<HBITMAP> thumbnail(RenderThumbnail(scene, 300, 300));
    ASSERT_TRUE(thumbnail);
    const TPixels thumb = ReadPixels(thumbnail.get());
    const TPixel thumbAnchor = MapPoint(ThumbnailPlacement(scene, 300, 300), 100, 60);

    for (const auto& [pixels, anchor] : {std::pair{&exported, exportAnchor}, std::pair{&thumb, thumbAnchor}}) {
      int32_t first = -1, last = -1;
      pixels->InkColumns(anchor.Y - 8, anchor.Y - 2, first, last);
      ASSERT_GE(first, 0);
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
  const TSVGScene scene = SceneOf({Line(0, 0, 100, 0), Line(0, 0, 0, 100), Line(100, 0, 100, 100)});
  TGdiObject<HBITMAP> bitmap(RenderThumbnail(scene, 200, 100));
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

  EXPECT_EQ(RenderThumbnail(scene, 0, 100), nullptr);
  EXPECT_EQ(RenderThumbnail(scene, 100, -1), nullptr);
}

TEST(SceneRaster, ElementsWithTooLittleGeometryAreSkipped) {
  TGeoElement lonely = Line(0, 0, 0, 0);
  lonely.Points.resize(1);
  TGeoElement emptyText = Text(10, 10, "", "start");
  TGeoElement noAnchor = Text(10, 10, "N", "start");
  noAnchor.Points.clear();
  TSVGScene scene = SceneOf({lonely, emptyText, noAnchor});
  scene.Width = scene.Height = 100;
  EXPECT_EQ(Export(scene, true).InkCount(), 0);
}
