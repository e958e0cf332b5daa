// SVG element and document readers: paint inheritance, shapes, text runs, headings, logging,
// and hostile documents.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "support/uDebugLog.h"
#include "support/uText.h"
#include "svg/uSVGDetail.h"
#include "test_temp_dir.h"

using namespace pelorin;

namespace {

// Reads `body` as the content of a 100 x 100 root.
TSVGScene Read(const std::string& body) {
  TSVGScene scene;
  (void)ParseSVG(R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 100 100">)svg" + body + "</svg>", scene);
  return scene;
}

const TGeoElement& Only(const TSVGScene& scene) {
  static const TGeoElement none;
  EXPECT_EQ(scene.Count, 1);
  return scene.Count >= 1 ? scene.Elements[0] : none;
}

bool SameColor(const TRGBAColor& c, float r, float g, float b, float a) {
  return std::fabs(c.R - r) < 1e-6 && std::fabs(c.G - g) < 1e-6 && std::fabs(c.B - b) < 1e-6 &&
         std::fabs(c.A - a) < 1e-6;
}

}  // namespace

TEST(SvgScene, CapacityGrowsInPagesOf64) {
  TSVGScene scene;
  TGeoElement line = MakeElement(gkLine, {0, 0, 0, 1}, {}, 2, true);
  EXPECT_TRUE(line.Points.empty());
  EXPECT_TRUE(line.Text.empty());
  AddElement(scene, line);
  EXPECT_EQ(scene.Elements.size(), 64u);
  for (int i = 1; i < 65; ++i) AddElement(scene, line);
  EXPECT_EQ(scene.Count, 65);
  EXPECT_EQ(scene.Elements.size(), 128u);
  EXPECT_TRUE(scene.Elements[64].Dashed);
  EXPECT_FALSE(scene.Elements[65].Dashed);  // past Count: an empty element
}

// The readers fill the scene's entries in place; nothing of an earlier or a dropped element may
// show through in the next one.
TEST(SvgScene, EntriesPastCountAreFilledAfresh) {
  TSVGScene scene;
  scene.Elements.resize(64);
  TGeoElement& stale = scene.Elements[0];
  stale.Kind = gkText;
  stale.Points.assign(3, TPoint2D{7, 7});
  stale.CX = stale.RX = 5;
  stale.Text = "stale";
  stale.FontSize = 9;
  stale.TextAnchor = stale.FontWeight = stale.FontFamily = stale.FontStyle = "x";
  stale.TextColor = stale.TextStroke = {1, 1, 1, 1};
  stale.TextStrokeWidth = 2;
  stale.IsHeading = true;
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(R"svg(<line x1="1" y1="2" x2="3" y2="4" stroke="red"/>)svg"));
  ReadElement(document.first_child(), scene, TShapePaint{{}, {}, 1, false}, TSVGTransform{});
  ASSERT_EQ(scene.Count, 1);
  const TGeoElement& line = scene.Elements[0];
  EXPECT_EQ(line.Kind, gkLine);
  ASSERT_EQ(line.Points.size(), 2u);
  EXPECT_FLOAT_EQ(line.Points[1].Y, 4);
  EXPECT_EQ(line.CX, 0);
  EXPECT_EQ(line.RX, 0);
  EXPECT_TRUE(line.Text.empty() && line.TextAnchor.empty() && line.FontWeight.empty() && line.FontFamily.empty() &&
              line.FontStyle.empty());
  EXPECT_EQ(line.FontSize, 0);
  EXPECT_EQ(line.TextColor.A, 0);
  EXPECT_EQ(line.TextStroke.A, 0);
  EXPECT_EQ(line.TextStrokeWidth, 0);
  EXPECT_FALSE(line.IsHeading);

  // A text run that overflows is dropped: its slot goes to the next element, and the entry past
  // the last one stays empty.
  ASSERT_TRUE(ParseSVG(R"svg(<svg><g transform="translate(3e38,0)"><text x="3e38" font-weight="bold">T</text></g>)svg"
                       R"svg(<line x2="1"/><g transform="translate(3e38,0)"><text x="3e38">U</text></g></svg>)svg",
                       scene));
  ASSERT_EQ(scene.Count, 1);
  EXPECT_EQ(scene.Elements[0].Kind, gkLine);
  EXPECT_TRUE(scene.Elements[0].Text.empty() && scene.Elements[0].FontWeight.empty());
  EXPECT_EQ(scene.Elements[0].FontSize, 0);
  EXPECT_TRUE(scene.Elements[1].Text.empty() && scene.Elements[1].Points.empty());
  EXPECT_EQ(scene.Elements[1].Kind, gkLine);
}

TEST(SvgElements, PaintInheritanceAndOverrides) {
  TSVGScene s =
      Read(R"svg(<g fill="red"><line x1="1" y1="2" x2="3" y2="4"/><circle r="1"/><circle r="1" fill="none"/></g>)svg"
           R"svg(<line style="stroke:blue" stroke="red"/>)svg"
           R"svg(<g stroke="black"><rect width="5" height="5" style="fill:none;opacity:0.5"/></g>)svg"
           R"svg(<circle r="1" style="opacity:0.3;fill:green"/>)svg"
           R"svg(<line/>)svg");
  ASSERT_EQ(s.Count, 7);
  EXPECT_TRUE(SameColor(s.Elements[0].Fill, 1, 0, 0, 1));
  EXPECT_TRUE(SameColor(s.Elements[1].Fill, 1, 0, 0, 1));
  EXPECT_EQ(s.Elements[2].Fill.A, 0);
  EXPECT_TRUE(SameColor(s.Elements[3].Stroke, 1, 0, 0, 1));  // the attribute beats the style
  EXPECT_EQ(s.Elements[4].Fill.A, 0);                        // opacity cannot revive "none"
  EXPECT_FLOAT_EQ(s.Elements[4].Stroke.A, 0.5f);
  EXPECT_FLOAT_EQ(s.Elements[5].Fill.A, 1);                // a later colour resets the alpha
  EXPECT_TRUE(SameColor(s.Elements[6].Fill, 0, 0, 0, 1));  // siblings after the group are black again
  EXPECT_EQ(s.Elements[6].Stroke.A, 0);
}

TEST(SvgElements, TransformsAndStrokeScale) {
  TSVGScene s =
      Read(R"svg(<g transform="translate(10,5)"><line x1="1" y1="1" x2="2" y2="2" stroke-width="2px"/></g>)svg"
           R"svg(<g transform="scale(2)"><line x1="1" y1="1" x2="2" y2="2"/></g>)svg"
           R"svg(<svg x="10" y="20" width="200" height="100" viewBox="0 0 100 100">)svg"
           R"svg(<g transform="translate(1,1)"><line x1="0" y1="0" x2="100" y2="100" stroke-width="2px"/></g></svg>)svg"
           R"svg(<svg x="3" y="4" width="0" height="10" viewBox="0 0 1 1"><circle cx="1" cy="1" r="2"/></svg>)svg");
  ASSERT_EQ(s.Count, 4);
  EXPECT_FLOAT_EQ(s.Elements[0].Points[0].X, 11);
  EXPECT_FLOAT_EQ(s.Elements[0].Points[0].Y, 6);
  EXPECT_FLOAT_EQ(s.Elements[0].StrokeWidth, 2);
  EXPECT_FLOAT_EQ(s.Elements[1].Points[1].X, 2);  // only translations are understood
  // 100x100 view box into 200x100: k = 1, centred horizontally with 50 on each side.
  const TGeoElement& fitted = s.Elements[2];
  EXPECT_FLOAT_EQ(fitted.Points[0].X, 10 + 50 + 1);
  EXPECT_FLOAT_EQ(fitted.Points[0].Y, 20 + 1);
  EXPECT_FLOAT_EQ(fitted.Points[1].X, 10 + 50 + 101);
  EXPECT_FLOAT_EQ(fitted.StrokeWidth, 2);
  // A zero-sized viewport ignores its view box and only moves.
  EXPECT_FLOAT_EQ(s.Elements[3].CX, 4);
  EXPECT_FLOAT_EQ(s.Elements[3].RX, 2);

  TSVGScene doubled =
      Read(R"svg(<svg width="200" height="200" viewBox="0 0 100 100"><line stroke-width="2px"/></svg>)svg");
  EXPECT_FLOAT_EQ(Only(doubled).StrokeWidth, 4);

  pugi::xml_document doc;
  doc.load_string(R"svg(<circle cx="1" cy="1" r="3"/>)svg");
  TSVGScene anisotropic;
  ReadElement(doc.document_element(), anisotropic, TShapePaint{{}, {0, 0, 0, 1}, 1, false}, TSVGTransform{2, 1, 0, 0});
  EXPECT_FLOAT_EQ(Only(anisotropic).RX, 6);
  EXPECT_FLOAT_EQ(Only(anisotropic).RY, 3);
  EXPECT_FLOAT_EQ(Only(anisotropic).CX, 2);
}

TEST(SvgElements, ShapeConditions) {
  struct {
    const char* body;
    int count;
    TGeoKind kind;
    size_t points;
  } cases[] = {
      {R"svg(<rect width="100" height="100" fill="white"/>)svg", 0, gkLine, 0},
      {R"svg(<rect width="100" height="100" fill="#F0F0F0" stroke="white"/>)svg", 0, gkLine, 0},
      {R"svg(<rect width="10" height="10" fill="white" stroke="black"/>)svg", 1, gkPolygon, 4},
      {R"svg(<rect width="10" height="10" fill="white" style="stroke:black"/>)svg", 1, gkPolygon, 4},
      {R"svg(<rect width="10" height="10"/>)svg", 1, gkPolygon, 4},
      {R"svg(<rect width="0" height="10"/>)svg", 0, gkLine, 0},
      {R"svg(<rect width="10" height="10" fill="none"/>)svg", 0, gkLine, 0},
      {R"svg(<polygon points="0,0 10,0 10,10"/>)svg", 1, gkPolygon, 3},
      {R"svg(<polygon points="0,0 10,0 10"/>)svg", 1, gkPolygon, 2},
      {R"svg(<polygon points="0,0"/>)svg", 0, gkLine, 0},
      {R"svg(<polygon points="0,0 10-5"/>)svg", 0, gkLine, 0},
      {R"svg(<polygon points="1e1,2E-1 +3 4"/>)svg", 1, gkPolygon, 2},
      {R"svg(<path d="M0 0 L10 0 L10 10 Z" fill="none"/>)svg", 1, gkPolyline, 4},
      {R"svg(<path d="M0 0 L10 0 L10 10 Z"/>)svg", 1, gkPolygon, 4},
      {R"svg(<path d="M0 0 L10 0"/>)svg", 1, gkPolyline, 2},
      {R"svg(<path d="M0 0 L10"/>)svg", 0, gkLine, 0},
      {R"svg(<polyline points="0,0 1,1"/><defs><line/></defs><title>x</title>)svg", 0, gkLine, 0},
      {R"svg(<ellipse cx="1" cy="2" rx="3" ry="4"/>)svg", 1, gkEllipse, 0},
  };
  for (const auto& c : cases) {
    TSVGScene s = Read(c.body);
    ASSERT_EQ(s.Count, c.count) << c.body;
    if (c.count == 0) continue;
    EXPECT_EQ(s.Elements[0].Kind, c.kind) << c.body;
    EXPECT_EQ(s.Elements[0].Points.size(), c.points) << c.body;
  }
  TSVGScene closed = Read(R"svg(<path d="M1 2 L10 0 L10 10 Z" fill="none"/>)svg");
  EXPECT_FLOAT_EQ(Only(closed).Points.back().X, 1);
  EXPECT_FLOAT_EQ(Only(closed).Points.back().Y, 2);
}

TEST(SvgElements, TextRunsAndTheirPaint) {
  TSVGScene water =
      Read(R"svg(<text x="10" y="20" font-size="16" font-weight="BOLD" style="font-family: Arial">H<tspan dy="3" )svg"
           R"svg(font-size="10" fill="blue">2</tspan> O <!-- c --><![CDATA[x]]></text>)svg");
  ASSERT_EQ(water.Count, 3);
  const TGeoElement &h = water.Elements[0], &two = water.Elements[1], &o = water.Elements[2];
  EXPECT_EQ(h.Text, "H");
  EXPECT_EQ(two.Text, "2");
  EXPECT_EQ(o.Text, "O");
  EXPECT_FLOAT_EQ(h.Points[0].Y, 20);
  EXPECT_FLOAT_EQ(two.Points[0].X, 10);
  EXPECT_FLOAT_EQ(two.Points[0].Y, 23);
  EXPECT_FLOAT_EQ(o.Points[0].X, 10);  // after a tspan, text starts again at the element's x, y
  EXPECT_FLOAT_EQ(o.Points[0].Y, 20);
  EXPECT_FLOAT_EQ(h.FontSize, 16);
  EXPECT_FLOAT_EQ(two.FontSize, 10);
  EXPECT_TRUE(SameColor(two.TextColor, 0, 0, 1, 1));
  EXPECT_TRUE(SameColor(o.TextColor, 0, 0, 0, 1));
  EXPECT_EQ(two.FontWeight, "bold");
  EXPECT_EQ(two.FontFamily, "Arial");
  EXPECT_EQ(h.TextAnchor, "start");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(water.Elements[i].Kind, gkText);
    EXPECT_EQ(water.Elements[i].Stroke.A, 0);
    EXPECT_EQ(water.Elements[i].Fill.A, 0);
  }

  TSVGScene s = Read(R"svg(<text>  </text>)svg"
                     R"svg(<g fill="blue" stroke="black"><text fill="none">A</text><text stroke="red">B</text></g>)svg"
                     R"svg(<text fill="none">C</text>)svg"
                     R"svg(<text font-size="0">D</text>)svg"
                     R"svg(<text style="font-size:0;text-anchor:end">E<tspan>F</tspan></text>)svg"
                     R"svg(<text style="text-anchor:end" text-anchor="middle">G  H</text>)svg");
  ASSERT_EQ(s.Count, 7);
  EXPECT_TRUE(SameColor(s.Elements[0].TextColor, 0, 0, 1, 1));
  EXPECT_EQ(s.Elements[0].TextStroke.A, 0);  // an inherited stroke never outlines glyphs
  EXPECT_TRUE(SameColor(s.Elements[1].TextStroke, 1, 0, 0, 1));
  EXPECT_TRUE(SameColor(s.Elements[2].TextColor, 0, 0, 0, 1));
  EXPECT_FLOAT_EQ(s.Elements[3].FontSize, 12);
  EXPECT_FLOAT_EQ(s.Elements[4].FontSize, 12);  // the template falls back to 12 ...
  EXPECT_FLOAT_EQ(s.Elements[5].FontSize, 0);   // ... a tspan without its own size does not
  EXPECT_EQ(s.Elements[4].TextAnchor, "end");
  EXPECT_EQ(s.Elements[6].TextAnchor, "middle");
  EXPECT_EQ(s.Elements[6].Text, "G  H");
}

TEST(SvgDocument, RemovePIsDropsWholeLinesOnly) {
  EXPECT_EQ(RemovePIs("<?xml version=\"1.0\"?>\r\n  <!DOCTYPE svg>\n<?xml-stylesheet href=\"a\"?>\r<svg/>"),
            "<?xml version=\"1.0\"?>\r\n<svg/>\r\n");
  EXPECT_EQ(RemovePIs("a\n\nb\n"), "a\r\n\r\nb\r\n");
  EXPECT_EQ(RemovePIs("<svg/><!DOCTYPE x>"), "<svg/><!DOCTYPE x>\r\n");
  EXPECT_EQ(RemovePIs(""), "");
}

TEST(SvgDocument, ViewBoxAndRootSelection) {
  struct {
    const char* text;
    float x, y, w, h;
    int count;
  } cases[] = {
      {R"svg(<?xml version="1.0"?>
<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN"
  "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd">
<?xml-stylesheet href="x.css"?>
<svg viewBox="1,2 300 150" width="600"><line/></svg>)svg",
       1, 2, 300, 150, 1},
      {R"svg(<svg width="400px" height="50"><line/></svg>)svg", 0, 0, 400, 50, 1},
      {R"svg(<svg width="400pt"><line/></svg>)svg", 0, 0, 200, 200, 1},
      {R"svg(<svg viewBox="0 0 300" width="10"><line/></svg>)svg", 0, 0, 200, 200, 1},
      {R"svg(<svg viewBox="0 0 nan inf"><line/></svg>)svg", 0, 0, 200, 200, 1},
      {R"svg(<doc><x/><svg:svg xmlns:svg="urn:s" viewBox="0 0 5 6"><svg:line/></svg:svg></doc>)svg", 0, 0, 5, 6, 1},
      {R"svg(<doc width="9px"><line/></doc>)svg", 0, 0, 9, 200, 1},
      {R"svg(<svg fill="red" transform="translate(5,5)" viewBox="0 0 10 10"/>)svg", 0, 0, 10, 10, 0},
  };
  for (const auto& c : cases) {
    TSVGScene scene;
    EXPECT_EQ(ParseSVG(c.text, scene), c.count > 0) << c.text;
    EXPECT_EQ(scene.Count, c.count) << c.text;
    EXPECT_EQ(scene.ViewBoxX, c.x) << c.text;
    EXPECT_EQ(scene.ViewBoxY, c.y) << c.text;
    EXPECT_EQ(scene.Width, c.w) << c.text;
    EXPECT_EQ(scene.Height, c.h) << c.text;
  }
  // The root's own paint and transform do not reach its children.
  TSVGScene scene;
  ASSERT_TRUE(ParseSVG(R"svg(<svg fill="red" stroke="red" transform="translate(5,5)"><line x1="1"/></svg>)svg", scene));
  EXPECT_TRUE(SameColor(scene.Elements[0].Fill, 0, 0, 0, 1));
  EXPECT_EQ(scene.Elements[0].Stroke.A, 0);
  EXPECT_FLOAT_EQ(scene.Elements[0].Points[0].X, 1);
}

TEST(SvgDocument, HeadingsAreCaptionsAfterTheDrawing) {
  TSVGScene s =
      Read(R"svg(<text>before</text><rect width="100" height="100" fill="white"/>)svg"
           R"svg(<g><text>inside</text></g><text>title<tspan>sub</tspan></text><line/><svg/><text>second</text>)svg");
  ASSERT_EQ(s.Count, 6);
  const bool expected[] = {false, false, true, true, false, true};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s.Elements[i].IsHeading, expected[i]) << s.Elements[i].Text;
}

TEST(SvgDocument, FailuresResetTheSceneAndAreLogged) {
  pelorin_test::TTempDir dir;
  DebugLogSetup(dir.Dir(), true);
  TSVGScene scene;
  ASSERT_TRUE(ParseSVG("<svg><line/></svg>", scene));
  EXPECT_FALSE(ParseSVG("<svg><line></svg>", scene));
  EXPECT_EQ(scene.Count, 0);
  EXPECT_TRUE(scene.Elements.empty());
  EXPECT_EQ(scene.Width, 200);
  EXPECT_EQ(scene.Height, 200);
  EXPECT_FALSE(ParseSVG("", scene));
  EXPECT_FALSE(ParseSVG("<svg viewBox='0 0 5 5'><title>t</title></svg>", scene));
  EXPECT_EQ(scene.Width, 5);
  DebugLogClose();

  std::string log = pelorin_test::ReadFileBytes(dir.File("pelorindebug.log"));
  const char* expectedInOrder[] = {
      "ParseSVG: input length=18 bytes\r\n",
      "ParseSVG: first 400 chars=[<svg><line/></svg>]\r\n",
      "ParseSVG: Root tag=[svg] local=[svg]\r\n",
      "ParseSVG: viewBox=0.0,0.0 W=200.0 H=200.0\r\n",
      "ParseSVG: elements=1\r\n",
      "ParseSVG: input length=17 bytes\r\n",
      "ParseSVG XML error: ",
      "ParseSVG: SVG snippet=[<svg><line></svg>\r\n]\r\n",
      "ParseSVG: input length=0 bytes\r\n",
      "ParseSVG XML error: ",
      "ParseSVG: SVG snippet=[]\r\n",
      "ParseSVG: elements=0\r\n",
      "ParseSVG WARNING: scene has 0 elements - check SVG structure above\r\n",
  };
  size_t at = 0;
  for (const char* line : expectedInOrder) {
    size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
    at = found + 1;
  }
  EXPECT_EQ(log.find("first 400 chars=[]"), std::string::npos);  // not logged for empty input
}

TEST(SvgDocument, EncodingsReachTheScene) {
  TSVGScene scene;
  // Latin-1 bytes are decoded by the declaration; UTF-16 must not be split into lines byte-wise.
  ASSERT_TRUE(ParseSVG("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<svg><text>\xC5</text></svg>", scene));
  EXPECT_EQ(scene.Elements[0].Text, Utf8ToAnsi("\xC3\x85"));
  std::string utf8 = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg>\n<svg>\n<text>A\xC3\xA9</text>\n</svg>\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : utf8) {
    if (static_cast<unsigned char>(c) == 0xC3) continue;
    // The two-byte sequence above is U+00E9, 0xE9 in UTF-16 LE.
    utf16 += (static_cast<unsigned char>(c) == 0xA9) ? '\xE9' : c;
    utf16 += '\0';
  }
  ASSERT_TRUE(ParseSVG(utf16, scene));
  ASSERT_EQ(scene.Count, 1);
  EXPECT_EQ(scene.Elements[0].Text, Utf8ToAnsi("A\xC3\xA9"));
}

TEST(SvgHardening, HostileDocumentsDoNotCrashOrHang) {
  auto start = std::chrono::steady_clock::now();
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<g>";
  deep += "<line/>";
  for (int i = 0; i < 100000; ++i) deep += "</g>";
  TSVGScene scene;
  EXPECT_FALSE(ParseSVG("<svg>" + deep + "</svg>", scene));

  // Content within the nesting limit is read, beyond it skipped.
  auto nested = [](int levels) {
    std::string s = "<svg>";
    for (int i = 0; i < levels; ++i) s += i % 2 ? "<g>" : "<svg>";
    s += "<line/>";
    for (int i = levels - 1; i >= 0; --i) s += i % 2 ? "</g>" : "</svg>";
    return s + "</svg>";
  };
  EXPECT_TRUE(ParseSVG(nested(kMaxSvgNesting), scene));
  EXPECT_FALSE(ParseSVG(nested(kMaxSvgNesting + 1), scene));

  // Non-finite numbers fall back to defaults; overflow in arithmetic drops the element.
  ASSERT_TRUE(ParseSVG(R"svg(<svg><line x1="nan" y1="inf" x2="1e999" y2="-infinity"/>)svg"
                       R"svg(<g transform="translate(3e38,0)"><g transform="translate(3e38,0)"><line/></g></g>)svg"
                       R"svg(<svg width="1" height="1" viewBox="0 0 1e-45 1e-45"><line x1="1"/></svg>)svg"
                       R"svg(<path d="m3e38 0 3e38 0 1 1"/><circle r="nan" cx="1e20" style="stroke-width:inf"/>)svg"
                       // Finite, but extents and scales taken of it would overflow.
                       R"svg(<line x1="-3e38" y1="-3e38" x2="3e38" y2="3e38"/></svg>)svg",
                       scene));
  ASSERT_EQ(scene.Count, 2);
  for (float v : {scene.Elements[0].Points[0].X, scene.Elements[0].Points[1].Y}) EXPECT_EQ(v, 0);
  EXPECT_EQ(scene.Elements[1].RX, 0);
  EXPECT_EQ(scene.Elements[1].StrokeWidth, 1);

  std::string manyTspans = "<svg><text>";
  for (int i = 0; i < 20000; ++i) manyTspans += "<tspan>x</tspan>";
  EXPECT_TRUE(ParseSVG(manyTspans + "</text></svg>", scene));
  EXPECT_EQ(scene.Count, 20000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}
