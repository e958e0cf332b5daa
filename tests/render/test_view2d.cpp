// The 2D view and text geometry: fitting, zoom and pan, bounds, raster sizes, line widths,
// text textures and quad placement, and a single molecule's title in its band below the drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/uRasterPlacement.h"
#include "render/uView2D.h"
#include "support/uText.h"
#include "test_drawing.h"

#ifndef _WIN32
#include "svg/converter_drawings.h"
#endif

using namespace pelorin;
using namespace pelorin_test;

namespace {

// A 100 x 50 drawing from (0, 0) on a 200 x 200 page.
TSVGScene Drawing100x50() {
  return SceneOf({Polygon({{0, 0}, {100, 0}, {100, 50}, {0, 50}}, kRed)}, 200);
}

void ExpectBounds(const TBounds2D& b, float minX, float minY, float maxX, float maxY) {
  const float tolerance = 1e-3f;
  EXPECT_TRUE(std::abs(b.MinX - minX) < tolerance && std::abs(b.MinY - minY) < tolerance &&
              std::abs(b.MaxX - maxX) < tolerance && std::abs(b.MaxY - maxY) < tolerance)
      << b.MinX << " " << b.MinY << " " << b.MaxX << " " << b.MaxY;
}

struct TBoxSize {
  double Width, Height, CentreX, CentreY;
};
TBoxSize SizeOf(const TOrthoBox& b) {
  return {b.Right - b.Left, b.Bottom - b.Top, (b.Left + b.Right) / 2, (b.Top + b.Bottom) / 2};
}

}  // namespace

TEST(Fit2D, DrawingFitsWithMarginCentredAndUndistorted) {
  TSVGScene scene = Drawing100x50();
  TView2D view;
  TOrthoBox box = OrthoBox2D(400, 300, scene, view);
  // Widened to 110 x 55: the width limits the fit, 400 / 110 = 3.64 pixels per unit.
  const double scale = 400.0 / 110.0;
  EXPECT_NEAR(SizeOf(box).Width * scale, 400, 1e-2);
  EXPECT_NEAR(SizeOf(box).Height * scale, 300, 1e-2);  // same scale both ways: no distortion
  EXPECT_NEAR(SizeOf(box).CentreX, 50, 1e-3);
  EXPECT_NEAR(SizeOf(box).CentreY, 25, 1e-3);
  EXPECT_GT(box.Bottom, box.Top) << "y must point down as in SVG";
  EXPECT_NEAR(PixelsPerUnit(scene, view), 3.64, 5e-3);

  // A tall window: the height limits the fit instead.
  EXPECT_NEAR(SizeOf(OrthoBox2D(100, 1000, scene, view)).Width, 110, 1e-2);

  // A minimised window must not turn the box into 0/0.
  for (auto [w, h] : {std::pair{0, 0}, std::pair{0, 300}, std::pair{400, 0}}) {
    TOrthoBox box = OrthoBox2D(w, h, scene, view);
    EXPECT_TRUE(std::isfinite(box.Left + box.Right + box.Top + box.Bottom) && SizeOf(box).Width > 0) << w << "x" << h;
  }
  view.ViewWidth = 0;
  EXPECT_FLOAT_EQ(PixelsPerUnit(scene, view), 0.01f) << "never below one hundredth";
}

TEST(Fit2D, ZoomAndPanMoveTheVisibleBox) {
  TSVGScene scene = Drawing100x50();
  TView2D plain;
  const TOrthoBox base = OrthoBox2D(400, 300, scene, plain);

  TView2D zoomed;
  zoomed.Zoom2D = 2;
  const TOrthoBox z = OrthoBox2D(400, 300, scene, zoomed);
  EXPECT_NEAR(SizeOf(z).Width, SizeOf(base).Width / 2, 1e-3);
  EXPECT_NEAR(SizeOf(z).Height, SizeOf(base).Height / 2, 1e-3);
  EXPECT_NEAR(SizeOf(z).CentreX, SizeOf(base).CentreX, 1e-3);
  EXPECT_NEAR(SizeOf(z).CentreY, SizeOf(base).CentreY, 1e-3);
  EXPECT_NEAR(PixelsPerUnit(scene, zoomed), 2 * PixelsPerUnit(scene, plain), 1e-3);

  // The drawing moves right and down on screen, so the box looks further left and up.
  TView2D panned;
  panned.PanX = 10;
  panned.PanY = 5;
  const TOrthoBox p = OrthoBox2D(400, 300, scene, panned);
  EXPECT_NEAR(p.Left, base.Left - 10, 1e-3);
  EXPECT_NEAR(p.Top, base.Top - 5, 1e-3);
  EXPECT_NEAR(SizeOf(p).Width, SizeOf(base).Width, 1e-3);
}

// One routine serves the OpenGL view (ContentBounds) and the GDI rasteriser (RasterContentBounds).
TEST(ContentBounds2D, ElementKindsWidenTheBounds) {
  // Circle: 24 outline points reach the full radius on both axes.
  ExpectBounds(ContentBounds(SceneOf({Circle({10, 20}, 4, 2)}), true), 6, 18, 14, 22);
  ExpectBounds(ContentBounds(SceneOf({Line({-5, 3}, {7, -1})}), true), -5, -1, 7, 3);

  // A text is estimated at 0.62 of its size per character, 0.8 of its size above the baseline.
  struct {
    const char* anchor;
    float left;
  } anchors[] = {{"start", 100}, {"", 100}, {"middle", 100 - 37.2f / 2}, {"MIDDLE", 100 - 37.2f / 2}, {"End", 62.8f}};
  for (const auto& a : anchors) {
    SCOPED_TRACE(a.anchor);
    ExpectBounds(ContentBounds(SceneOf({Text("abc", {100, 50}, 20, a.anchor)}), true), a.left, 34, a.left + 37.2f, 54);
  }
  // The rasteriser takes anchors as written: "MIDDLE" is no middle there.
  ExpectBounds(RasterContentBounds(SceneOf({Text("abc", {100, 50}, 20, "MIDDLE")}), true), 100, 34, 137.2f, 54);
  ExpectBounds(RasterContentBounds(SceneOf({Text("abc", {100, 50}, 20, "end")}), true), 62.8f, 34, 100, 54);
  // Tiny fonts count as 1 unit; a UTF-8 character counts by its bytes.
  ExpectBounds(ContentBounds(SceneOf({Text("a", {0, 0}, 0.2f, "start")}), true), 0, -0.8f, 0.62f, 0.2f);
  ExpectBounds(ContentBounds(SceneOf({Text("\xC3\xA9", {0, 10}, 0.5f)}), true), 0, 9.2f, 1.24f, 10.2f);
}

TEST(ContentBounds2D, EmptyScenesAndHiddenHeadingsFallBackOrShrink) {
  TSVGScene empty;
  empty.ViewBoxX = 5;
  empty.ViewBoxY = 6;
  empty.Width = 100;
  empty.Height = 80;
  ExpectBounds(ContentBounds(empty, true), 5, 6, 105, 86);
  // Elements with no geometry (an anchorless text) leave the view box too; entries past
  // Count are never read.
  TGeoElement anchorless = Text("x", {0, 0}, 10, "start");
  anchorless.Points.clear();
  TSVGScene onlyAnchorless = empty;
  AddElement(onlyAnchorless, anchorless);
  onlyAnchorless.Elements[1] = Line({1000, 1000}, {2000, 2000});
  ExpectBounds(ContentBounds(onlyAnchorless, true), 5, 6, 105, 86);
  ExpectBounds(RasterContentBounds(onlyAnchorless, true), 5, 6, 105, 86);

  TSVGScene titled = Drawing100x50();
  AddElement(titled, Heading(Text("Title", {50, 80}, 10, "middle")));
  ExpectBounds(ContentBounds(titled, false), 0, 0, 100, 50);
  EXPECT_GT(ContentBounds(titled, true).MaxY, 80);

  TView2D shown, hidden;
  hidden.ShowHeadings = false;
  EXPECT_NE(SizeOf(OrthoBox2D(400, 300, titled, shown)).Height, SizeOf(OrthoBox2D(400, 300, titled, hidden)).Height);
  EXPECT_GT(PixelsPerUnit(titled, hidden), PixelsPerUnit(titled, shown));

  // A heading alone with headings hidden: nothing is left, so the view box rules.
  TSVGScene headingOnly = empty;
  AddElement(headingOnly, Heading(Text("Title", {50, 80}, 10, "middle")));
  ExpectBounds(ContentBounds(headingOnly, false), 5, 6, 105, 86);
}

TEST(TextRaster, RasterSizeIsTwiceTheScreenSizeWithinLimits) {
  struct {
    float fontSize, pixelsPerUnit;
    int32_t expected;
  } cases[] = {
      {12, 3, 72},        // exactly 72
      {12, 30, 720},      //
      {12, 100, 1024},    // clamped above
      {12, 1, 72},        // clamped below
      {0, 400, 80},       // font size raised to 0.1
      {36.25f, 2, 145},   // 145.0
      {36.125f, 2, 144},  // 144.5 rounds to even
      {36.375f, 2, 146},  // 145.5 rounds to even
      {std::numeric_limits<float>::quiet_NaN(), 3, 72},
      {std::numeric_limits<float>::infinity(), 3, 1024},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextRasterSize(c.fontSize, c.pixelsPerUnit), c.expected) << c.fontSize << " at " << c.pixelsPerUnit;
  }
}

TEST(TextRaster, LineWidthIsClampedToHalfAndSixteenPixels) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::pair<float, float> cases[] = {{0.01f, 0.5f}, {1, 3}, {1000, 16}, {0, 0.5f}, {nan, 0.5f}};
  for (auto [width, pixels] : cases) EXPECT_FLOAT_EQ(ClampLineWidth(width, 3), pixels) << width;
}

TEST(TextTexture, SizesKeysAndPowersOfTwo) {
  TTextTextureSize t = TextTextureSize(100, 20);
  EXPECT_EQ(t.TextWidth, 108);
  EXPECT_EQ(t.TextHeight, 28);
  EXPECT_EQ(t.TexWidth, 128);
  EXPECT_EQ(t.TexHeight, 32);

  const std::pair<int64_t, int64_t> pow2[] = {{-5, 1},   {0, 1},         {1, 1},
                                              {2, 2},    {3, 4},         {64, 64},
                                              {65, 128}, {16385, 32768}, {(int64_t{1} << 40) + 1, int64_t{1} << 41}};
  for (auto [n, expected] : pow2) EXPECT_EQ(NextPow2(n), expected) << n;

  EXPECT_EQ(MakeTextKey("CH3", 100, true), "CH3|100|True");
  EXPECT_EQ(MakeTextKey("CH3", 10, false), MakeTextKey("CH3", 72, false));
  EXPECT_EQ(MakeTextKey("CH3", 2000, false), "CH3|1024|False");
  EXPECT_NE(MakeTextKey("CH3", 100, true), MakeTextKey("CH3", 100, false));
}

TEST(TextTexture, QuadPlacementFollowsAnchorAndBaseline) {
  const TTextTextureSize tex = TextTextureSize(100, 20);  // 108 x 28 in 128 x 32
  // 144 texels of raster for a 12-unit text: 1/12 unit per texel.
  TTextStyle style;
  style.Size = 12;
  style.PixelSize = 144;
  struct {
    const char* anchor;
    float x0;
  } cases[] = {{"start", 50}, {"", 50}, {"middle", 50 - 4.5f}, {"end", 50 - 9}, {"Middle", 50}};
  for (const auto& c : cases) {
    style.Anchor = c.anchor;
    TTextQuad q = PlaceTextQuad({50, 40}, style, tex);
    EXPECT_NEAR(q.X0, c.x0, 1e-4) << c.anchor;
    EXPECT_NEAR(q.W, 9, 1e-4);
    EXPECT_NEAR(q.H, 28.0f / 12, 1e-4);
    EXPECT_NEAR(q.Y0, 40 - 0.78f * 28 / 12, 1e-4);
    EXPECT_DOUBLE_EQ(q.U1, 108.0 / 128);
    EXPECT_DOUBLE_EQ(q.V1, 28.0 / 32);
  }
  style.Anchor = "start";
  style.Offset = {1.5f, -2};
  TTextQuad moved = PlaceTextQuad({50, 40}, style, tex);
  EXPECT_NEAR(moved.X0, 51.5f, 1e-4);
  EXPECT_NEAR(moved.Y0, 38 - 0.78f * 28 / 12, 1e-4);
  // The pixel size is clamped like the cache's: 10 means 72.
  TTextStyle small;
  small.Size = 72;
  small.PixelSize = 10;
  EXPECT_NEAR(PlaceTextQuad({0, 0}, small, tex).W, 108, 1e-3);

  // Outline copies move by at least 4 % of the size: left, right, up, down.
  auto o = OutlineOffsets(0.1f, 20);
  EXPECT_FLOAT_EQ(o[0].X, -0.8f);
  EXPECT_FLOAT_EQ(o[3].Y, 0.8f);
  EXPECT_FLOAT_EQ(OutlineOffsets(2, 20)[1].X, 2);
}

namespace {

// A box in window pixels, through the projection the view would set up.
TBounds2D OnScreen(const TBounds2D& b, const TOrthoBox& box, int w, int h) {
  auto x = [&](float v) { return static_cast<float>((v - box.Left) / (box.Right - box.Left) * w); };
  auto y = [&](float v) { return static_cast<float>((v - box.Top) / (box.Bottom - box.Top) * h); };
  return {x(b.MinX), y(b.MinY), x(b.MaxX), y(b.MaxY)};
}

// The ellipsis as scene texts hold it: in the system's 8-bit code page.
std::string Ellipsis() {
  return Utf8ToAnsi("\xE2\x80\xA6");
}

bool Overlap(const TBounds2D& a, const TBounds2D& b) {
  return a.MinX < b.MaxX && b.MinX < a.MaxX && a.MinY < b.MaxY && b.MinY < a.MaxY;
}

}  // namespace

TEST(Caption2D, ATitleGoesToABandOfItsOwnBelowTheDrawing) {
  const std::string longTitle = "1,3,7-trimethyl-3,7-dihydro-1H-purine-2,6-dione (caffeine, anhydrous)";
  for (const std::string& title : {std::string("caffeine"), longTitle}) {
    SCOPED_TRACE(title);
    const TSVGScene scene = ConverterMolecule(title);
    const TCaptionLayout caption = LayOutCaption(scene);
    ASSERT_EQ(caption.Index, scene.Count - 1);
    ExpectBounds(caption.Drawing, 12, 6.8f, 90.286f, 85.06f);  // the labels' estimated boxes included
    EXPECT_NEAR(caption.Element.FontSize, 1.2f * 6.5f, 1e-4) << "1.2 times the labels' median size";
    EXPECT_EQ(caption.Element.TextAnchor, "middle");
    EXPECT_NEAR(caption.Element.Points[0].X, (12 + 90.286f) / 2, 1e-3) << "centred under the drawing";
    EXPECT_GT(caption.Box.MinY, caption.Drawing.MaxY) << "a band of its own";
    EXPECT_TRUE(caption.Element.IsHeading);
    // The fit takes the band, or, with the headings hidden, only the drawing.
    ExpectBounds(ContentBounds(scene, false), 12, 6.8f, 90.286f, 85.06f);
    const TBounds2D shown = ContentBounds(scene, true);
    EXPECT_FLOAT_EQ(shown.MaxY, caption.Band.MaxY);
    EXPECT_FLOAT_EQ(shown.MinY, caption.Drawing.MinY) << "nothing above the drawing any more";
    for (auto [w, h] : {std::pair{400, 300}, std::pair{1200, 250}, std::pair{180, 700}, std::pair{48, 48}}) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
      const TOrthoBox box = OrthoBox2D(w, h, scene, TView2D{});
      const TBounds2D text = OnScreen(caption.Box, box, w, h), drawing = OnScreen(caption.Drawing, box, w, h);
      EXPECT_FALSE(Overlap(text, drawing));
      EXPECT_GE(text.MinX, 0);
      EXPECT_LE(text.MaxX, w);
      EXPECT_LE(text.MaxY, h);
    }
  }
  // A long title is cut to 1.5 times the drawing's larger side, the cut marked.
  const TCaptionLayout cut = LayOutCaption(ConverterMolecule(longTitle));
  EXPECT_LE(cut.Box.MaxX - cut.Box.MinX, 1.5f * (90.286f - 12));
  EXPECT_NE(cut.Element.Text, longTitle);
  EXPECT_EQ(cut.Element.Text.substr(0, 10), longTitle.substr(0, 10));
  EXPECT_EQ(cut.Element.Text.substr(cut.Element.Text.size() - Ellipsis().size()), Ellipsis());
  EXPECT_EQ(LayOutCaption(ConverterMolecule("caffeine")).Element.Text, "caffeine");
  // No title (the converter writes an empty one, which the reader drops): no band.
  const TSVGScene untitled = ConverterMolecule("");
  EXPECT_EQ(LayOutCaption(untitled).Index, -1);
  ExpectBounds(ContentBounds(untitled, true), 12, 6.8f, 90.286f, 85.06f);
}

TEST(Caption2D, SizeLimitsAndScenesThatKeepTheirTitles) {
  // The labels' median: a radical's large dot does not blow the title up; with no labels the
  // bonds give the size, with huge labels the drawing's side limits it.
  TSVGScene dotted = ConverterMolecule("t");
  AddElement(dotted, Text(".", {50, 50}, 32));
  EXPECT_NEAR(LayOutCaption(dotted).Element.FontSize, 1.2f * 6.5f, 1e-4);
  const TSVGScene bare = SceneOf({Line({0, 0}, {40, 0}), Line({40, 0}, {80, 0}), Line({80, 0}, {120, 0}),
                                  Line({120, 0}, {160, 0}), Heading(Text("t", {0, 5}, 18))});
  EXPECT_NEAR(LayOutCaption(bare).Element.FontSize, 1.2f * 0.4f * 40, 1e-3);
  const TSVGScene shouting = SceneOf({Line({0, 0}, {40, 0}), Text("X", {0, 0}, 40), Heading(Text("t", {0, 5}, 18))});
  const TCaptionLayout limited = LayOutCaption(shouting);
  EXPECT_NEAR(limited.Element.FontSize, 0.15f * (limited.Drawing.MaxX - limited.Drawing.MinX), 1e-3);

  // A grid's titles stand centred under their molecules; a title alone has no drawing to go under.
  TSVGScene grid = ConverterMolecule("");
  AddElement(grid, Heading(Text("one", {25, 48}, 3, "middle")));
  AddElement(grid, Heading(Text("two", {75, 48}, 3, "middle")));
  EXPECT_EQ(LayOutCaption(grid).Index, -1);
  TSVGScene gridOfOneName = ConverterMolecule("");
  AddElement(gridOfOneName, Heading(Text("one", {25, 48}, 3, "middle")));
  EXPECT_EQ(LayOutCaption(gridOfOneName).Index, -1);
  EXPECT_EQ(LayOutCaption(SceneOf({Heading(Text("alone", {10, 20}, 18))}, 100)).Index, -1);
  TSVGScene twoTitles = ConverterMolecule("a");
  AddElement(twoTitles, Heading(Text("b", {10, 40}, 18)));
  EXPECT_EQ(LayOutCaption(twoTitles).Index, -1);
  // A drawing beyond any float range keeps its title where it is.
  TSVGScene wild = ConverterMolecule("t");
  wild.Elements[0].Points[1].X = std::numeric_limits<float>::infinity();
  EXPECT_EQ(LayOutCaption(wild).Index, -1);
}

TEST(Caption2D, CutsAtCharactersAndMarksTheCut) {
  EXPECT_EQ(CutWithEllipsis("caffeine", 8), "caffeine");
  EXPECT_EQ(CutWithEllipsis("caffeine", 5), "caff" + Ellipsis());
  EXPECT_EQ(CutWithEllipsis("ab  cdef", 4), "ab" + Ellipsis()) << "no blank before the mark";
  EXPECT_EQ(CutWithEllipsis("", 3), "");
#ifndef _WIN32  // scene texts are UTF-8 here: a character of several bytes stays whole
  EXPECT_EQ(CutWithEllipsis("\xC3\xA9t\xC3\xA9 \xCE\xB1\xCE\xB2\xCE\xB3", 4), "\xC3\xA9t\xC3\xA9\xE2\x80\xA6");
  EXPECT_EQ(CutWithEllipsis("\xCE\xB1\xCE\xB2\xCE\xB3", 3), "\xCE\xB1\xCE\xB2\xCE\xB3");
#endif
}

TEST(Caption2D, ThumbnailsAndExportsLayTheBandOutAlike) {
  const TSVGScene scene = ConverterMolecule("caffeine");
  const TCaptionLayout caption = LayOutCaption(scene, TAnchorMatch::Exact);
  for (int side : {256, 96, 32}) {
    SCOPED_TRACE(side);
    const TRasterPlacement p = ThumbnailPlacement(scene, side, side);
    const TPixel drawingBottom = MapPoint(p, caption.Drawing.MaxX, caption.Drawing.MaxY);
    const TTextBox text = ThumbnailTextBox(p, caption.Element);
    EXPECT_EQ(text.Align, taCenter);
    EXPECT_GE(text.Top + 2, drawingBottom.Y) << "the text's rectangle starts below the drawing";
    EXPECT_LE(MapPoint(p, 0, caption.Band.MaxY).Y, side);
  }
  EXPECT_GT(ExportPlacement(scene, true).Height, ExportPlacement(scene, false).Height);
  EXPECT_NEAR(RasterContentBounds(scene, true).MaxY, caption.Band.MaxY, 1e-4);
}

#ifndef _WIN32
// The converter's own drawings: its title covers part of the molecule; the band never does.
TEST(Caption2D, TheConvertersTitlesLeaveItsDrawings) {
  TTempDir dir;
  ASSERT_TRUE(
      DrawWithConverter(dir,
                        "Cn1cnc2c1c(=O)n(C)c(=O)n2C caffeine\n"
                        "Cn1cnc2c1c(=O)n(C)c(=O)n2C 1,3,7-trimethyl-3,7-dihydro-1H-purine-2,6-dione, anhydrous\n"
                        "CCO ethanol\nCCO\n",
                        "m.svg", true));
  for (int i = 1; i <= 4; ++i) {
    SCOPED_TRACE(i);
    TSVGScene scene;
    ASSERT_TRUE(ParseSVG(ReadFileBytes(dir.File("m" + std::to_string(i) + ".svg")), scene));
    const TCaptionLayout caption = LayOutCaption(scene);
    if (i == 4) {
      EXPECT_EQ(caption.Index, -1) << "an untitled molecule has no band";
      continue;
    }
    ASSERT_GE(caption.Index, 0);
    // Where the converter put it, caffeine's title lies partly on the drawing.
    const TSVGScene titleAlone = SceneOf({scene.Elements[static_cast<size_t>(caption.Index)]});
    EXPECT_EQ(Overlap(ContentBounds(titleAlone, true), caption.Drawing), i <= 2);
    EXPECT_FALSE(Overlap(caption.Box, caption.Drawing));
    EXPECT_GT(caption.Box.MinY, caption.Drawing.MaxY);
    EXPECT_LT(caption.Element.FontSize, 18) << "smaller than the converter's title, near the labels";
  }
}
#endif
