// SVG attribute values and path data: numbers, colours, lengths, translations, flattening.
#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "svg/uSVGDetail.h"

using namespace pelorin;

namespace {

constexpr float kUnchanged = 0.25f;  // a channel value ParseColor must leave alone

void ExpectColor(const TRGBAColor& c, float r, float g, float b, float a, const std::string& context) {
  EXPECT_FLOAT_EQ(c.R, r) << context;
  EXPECT_FLOAT_EQ(c.G, g) << context;
  EXPECT_FLOAT_EQ(c.B, b) << context;
  EXPECT_FLOAT_EQ(c.A, a) << context;
}

std::vector<TPoint2D> PathPoints(const std::string& d, bool* closed = nullptr) {
  TPointArray points;
  int32_t count = -1;
  bool isClosed = true;
  EXPECT_TRUE(ParsePathData(d, points, count, isClosed));
  EXPECT_EQ(count, static_cast<int32_t>(points.size())) << d;
  if (closed) *closed = isClosed;
  return points;
}

std::string Format(const std::vector<TPoint2D>& points) {
  std::string s;
  for (const TPoint2D& p : points) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "(%g,%g)", p.X, p.Y);
    s += buf;
  }
  return s;
}

}  // namespace

TEST(SvgValues, ParseNumberIsLocaleFreeAndRejectsJunk) {
  struct {
    const char* text;
    float def;
    float expected;
  } cases[] = {
      {"  3,25 ", 0, 3.25f}, {"12px", 7, 7}, {"", 5, 5},      {"1e2", 0, 100},     {"+1.5", 0, 1.5f},
      {"-.5", 0, -0.5f},     {"5.", 0, 5},   {"1.5.5", 9, 9}, {"+-1", 9, 9},       {"-", 9, 9},
      {"0x10", 9, 9},        {"nan", 9, 9},  {"inf", 9, 9},   {"-infinity", 9, 9}, {"1e999", 9, 9},
      {"1e39", 9, 9},  // finite as a double, infinite as a single
      {"\t-2\r\n", 0, -2},
  };
  for (const auto& c : cases) EXPECT_FLOAT_EQ(ParseNumber(c.text, c.def), c.expected) << "'" << c.text << "'";
}

TEST(SvgValues, ShortDecimalsRoundLikeTheGeneralConversion) {
  // Short plain decimals take a faster road than the general conversion; both must agree to the bit.
  std::mt19937_64 random(42);
  for (int i = 0; i < 200000; ++i) {
    uint64_t digits = random() % 1000000000000000ull;  // up to 15 digits
    std::string text = std::to_string(digits);
    size_t dot = random() % (text.size() + 1);
    if (dot < text.size()) text.insert(dot, ".");
    if (random() % 2) text.insert(0, "-");
    double expected = 0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    ASSERT_EQ(ParseNumber(text, -1), static_cast<float>(expected)) << text;
  }
}

TEST(SvgValues, ParseColorForms) {
  struct {
    const char* text;
    bool ok;
    float r, g, b, a;
  } cases[] = {
      {"None", true, 0, 0, 0, 0},
      {"", true, 0, 0, 0, 0},
      {"#FFF", true, 1, 1, 1, 1},
      {"#f80", true, 1, 0x88 / 255.f, 0, 1},
      {"#0a0B0c", true, 10 / 255.f, 11 / 255.f, 12 / 255.f, 1},
      {"#12345", false, kUnchanged, kUnchanged, kUnchanged, 1},
      {"#gg0000", true, 0, 0, 0, 1},
      {" Grey ", true, 128 / 255.f, 128 / 255.f, 128 / 255.f, 1},
      {"olive", true, 128 / 255.f, 128 / 255.f, 0, 1},
      {"rgb(255, 0, 128)", true, 1, 0, 128 / 255.f, 1},
      {"RGB(1 2 3 4)", true, 1 / 255.f, 2 / 255.f, 3 / 255.f, 1},
      {"rgb(100%,0%,0%)", true, 0, 0, 0, 1},
      {"rgb(127.5, 300, -1)", true, 0, 300 / 255.f, -1 / 255.f, 1},
      {"rgb(1,2)", false, kUnchanged, kUnchanged, kUnchanged, 1},
      {"hsl(0,0%,0%)", false, kUnchanged, kUnchanged, kUnchanged, 1},
      {"rebeccapurple", false, kUnchanged, kUnchanged, kUnchanged, 1},
  };
  for (const auto& c : cases) {
    TRGBAColor color{kUnchanged, kUnchanged, kUnchanged, 0};
    EXPECT_EQ(ParseColor(c.text, color), c.ok) << c.text;
    ExpectColor(color, c.r, c.g, c.b, c.a, c.text);
  }
}

TEST(SvgValues, ParseTranslateOnlyLeadingTranslation) {
  struct {
    const char* text;
    float tx, ty;
  } cases[] = {
      {"translate(10,20)", 10, 20},      {"translate(5)", 5, 0},
      {"TRANSLATE( 1 2 )", 1, 2},        {"scale(2) translate(3,4)", 0, 0},
      {"translate (3,4)", 0, 0},         {"translate(3,4", 0, 0},
      {"translate(-1.5e1,nan)", -15, 0}, {"", 0, 0},
  };
  for (const auto& c : cases) {
    float tx = 99, ty = 99;
    ParseTranslate(c.text, tx, ty);
    EXPECT_FLOAT_EQ(tx, c.tx) << c.text;
    EXPECT_FLOAT_EQ(ty, c.ty) << c.text;
  }
}

TEST(SvgValues, AttributesLengthsAndNames) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(
      R"(<svg:svg xmlns:svg="http://www.w3.org/2000/svg" a="300pt" b="100%" c="1.5EM" d="auto" e=" 12px "
          viewbox="0 0 1 1" VIEWBOX="9" Stroke=""><svg:TEXT/></svg:svg>)"));
  pugi::xml_node root = doc.document_element();
  EXPECT_FLOAT_EQ(GetLengthAttr(root, "a", 0), 300);
  EXPECT_FLOAT_EQ(GetLengthAttr(root, "b", 0), 100);
  EXPECT_FLOAT_EQ(GetLengthAttr(root, "c", 0), 1.5f);
  EXPECT_FLOAT_EQ(GetLengthAttr(root, "d", 7), 7);
  EXPECT_FLOAT_EQ(GetLengthAttr(root, "e", 0), 12);
  EXPECT_FLOAT_EQ(GetFloatAttr(root, "e", 3), 3);  // a unit makes a plain number unreadable
  // Mixed case finds the lower-case spelling; the upper-case one is never looked at.
  EXPECT_EQ(GetAttr(root, "viewBox"), "0 0 1 1");
  EXPECT_EQ(GetAttr(root, "missing"), "");
  EXPECT_EQ(GetElementName(root), "svg");
  EXPECT_EQ(GetElementName(root.first_child()), "text");
}

TEST(SvgPathData, CommandsAndImplicitRepetition) {
  struct {
    const char* d;
    const char* expected;
    bool closed;
  } cases[] = {
      {"M10 10 20 20 30 10", "(10,10)(20,20)(30,10)", false},
      {"m10 10 20 20", "(10,10)(30,30)", false},
      {"10 10 L 20 20", "(10,10)(20,20)", false},
      {"M0 0 L10 0 L10 10 Z", "(0,0)(10,0)(10,10)(0,0)", true},
      {"M0 0 L10 0 M20 0 L30 0", "(0,0)(10,0)(20,0)(30,0)", false},
      {"M0 0 H10 V10 h-5 v-5", "(0,0)(10,0)(10,10)(5,10)(5,5)", false},
      {"M0 0 A5 5 0 0 1 10 0 a1 1 0 0 0 5 5", "(0,0)(10,0)(15,5)", false},
      {"M0 0 Q5 0 10 0", "(0,0)(10,0)", false},
      {"M0 0 C3 0 6 0 9 0", "(0,0)(9,0)", false},
      {"M0 0 L10", "(0,0)", false},
      {"M0,0L10-5", "(0,0)(10,-5)", false},
      {"M1 1 z m1 1 l1 0", "(1,1)(1,1)(2,2)(3,2)", true},
      // Numbers nobody takes (after Z, after a non-command letter) are skipped, not looped on.
      {"M0 0 L1 1 Z 5 5 5", "(0,0)(1,1)(0,0)", true},
      {"M0 0 X 4 4 L2 2", "(0,0)(2,2)", false},
      {"M1e-3 5", "", false},  // the exponent letter ends the moveto, which then lacks its y
  };
  for (const auto& c : cases) {
    bool closed = !c.closed;
    std::vector<TPoint2D> points = PathPoints(c.d, &closed);
    EXPECT_EQ(Format(points), c.expected) << c.d;
    EXPECT_EQ(closed, c.closed) << c.d;
  }
}

TEST(SvgPathData, SmoothCurvesReflectTheStoredControlPoint) {
  // S after C: first control point mirrors (5,10) about (10,0), i.e. (15,-10); the curve is
  // then symmetric to the first one and must end where it says with the same point count.
  std::vector<TPoint2D> c = PathPoints("M0 0 C0 10 5 10 10 0");
  std::vector<TPoint2D> cs = PathPoints("M0 0 C0 10 5 10 10 0 S20 -10 20 0");
  ASSERT_GE(c.size(), 3u);
  ASSERT_EQ(cs.size(), 2 * c.size() - 1);
  for (size_t i = 1; i < c.size(); ++i) {
    // Point symmetry about (10,0).
    EXPECT_NEAR(cs[c.size() - 1 + i].X, 20 - c[c.size() - 1 - i].X, 1e-4);
    EXPECT_NEAR(cs[c.size() - 1 + i].Y, -c[c.size() - 1 - i].Y, 1e-4);
  }
  // T after Q likewise; relative T resolves its end point against the current point.
  std::vector<TPoint2D> qt = PathPoints("M0 0 Q5 10 10 0 t10 0");
  EXPECT_FLOAT_EQ(qt.back().X, 20);
  EXPECT_FLOAT_EQ(qt.back().Y, 0);
  bool below = false;
  for (const TPoint2D& p : qt)
    if (p.X > 10.5f && p.Y < -0.5f) below = true;
  EXPECT_TRUE(below) << Format(qt);
}

TEST(SvgPathData, CurvesAreBoundedAndEmptyInputLeavesArray) {
  std::vector<TPoint2D> bent = PathPoints("M0 0 C1000 -1000 -1000 1000 0 0");
  EXPECT_LE(bent.size(), 129u);
  EXPECT_GT(bent.size(), 20u);
  EXPECT_LE(PathPoints("M0 0 Q1e6 1e6 0 1").size(), 129u);

  TPointArray points(3, TPoint2D{7, 7});
  int32_t count = -1;
  bool closed = true;
  ParsePathData("", points, count, closed);
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(closed);
  EXPECT_EQ(points.size(), 3u);
}

TEST(SvgPathData, PathologicalInputEndsQuickly) {
  std::string manyNumbers = "Z";
  for (int i = 0; i < 200000; ++i) manyNumbers += " 1";
  std::string manyCurves = "M0 0 c";
  for (int i = 0; i < 20000; ++i) manyCurves += "99-99-99 99 0 1";
  std::string signsOnly(300000, '-');
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(PathPoints(manyNumbers).size(), 1u);           // the one Z; its stray numbers add nothing
  EXPECT_EQ(PathPoints("M" + signsOnly).size(), 150000u);  // "-" alone reads as 0
  std::vector<TPoint2D> curves = PathPoints(manyCurves);
  EXPECT_GT(curves.size(), 20000u);
  for (const TPoint2D& p : curves) ASSERT_TRUE(std::isfinite(p.X) && std::isfinite(p.Y));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}
