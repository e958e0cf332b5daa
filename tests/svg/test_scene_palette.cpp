// The dark palette: contrast by the WCAG formula, the reference colours, paper and text, and
// (natively) every colour the real converter writes reading on the dark background.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "svg/uSVGParser.h"
#include "svg/uScenePalette.h"
#include "test_drawing.h"

#ifndef _WIN32
#include "svg/converter_drawings.h"
#endif

using namespace pelorin;
using namespace pelorin_test;

namespace {

TRGBAColor Rgb(int r, int g, int b, float a = 1) {
  return {r / 255.0f, g / 255.0f, b / 255.0f, a};
}

void ExpectColor(const TRGBAColor& got, const TRGBAColor& expected) {
  EXPECT_NEAR(got.R, expected.R, 1e-4f);
  EXPECT_NEAR(got.G, expected.G, 1e-4f);
  EXPECT_NEAR(got.B, expected.B, 1e-4f);
  EXPECT_FLOAT_EQ(got.A, expected.A);
}

// Every paint of a dark scene that shows is the background itself (the page) or reads on it.
void ExpectReadableOnDark(const TSVGScene& dark, const std::string& context) {
  for (const TGeoElement& e : ValidElements(dark)) {
    const bool text = e.Kind == gkText;
    for (const TRGBAColor* paint : {&e.Stroke, &e.Fill, &e.TextColor}) {
      if (paint->A == 0 || (paint == &e.TextColor && !text)) continue;
      const float contrast = ContrastRatio(*paint, kDarkBackground);
      if (!text && paint == &e.Fill && contrast == 1) continue;  // the page, now dark
      EXPECT_GE(contrast, kDarkMinContrast)
          << context << " " << e.Text << " " << paint->R << "," << paint->G << "," << paint->B;
    }
  }
}

}  // namespace

TEST(DarkPalette, ContrastFollowsTheWcagFormula) {
  EXPECT_FLOAT_EQ(RelativeLuminance({0, 0, 0, 1}), 0);
  EXPECT_FLOAT_EQ(RelativeLuminance({1, 1, 1, 1}), 1);
  EXPECT_NEAR(ContrastRatio({1, 1, 1, 1}, {0, 0, 0, 1}), 21, 1e-4);
  EXPECT_NEAR(ContrastRatio({0, 0, 0, 1}, {1, 1, 1, 1}), 21, 1e-4) << "the lighter colour goes on top";
  EXPECT_NEAR(ContrastRatio(Rgb(119, 119, 119), {1, 1, 1, 1}), 4.48, 0.01);  // the grey just below AA on white
  EXPECT_NEAR(RelativeLuminance({1, 0, 0, 1}), 0.2126, 1e-4);
  EXPECT_NEAR(ContrastRatio({NAN, 2, -1, 1}, {0, 1, 0, 1}), 1, 1e-4) << "channels outside 0..1 are clamped";
}

TEST(DarkPalette, ReferenceColoursPaperAndTheRest) {
  const TRGBAColor lightGrey{0.9f, 0.9f, 0.9f, 1};
  const struct {
    const char* name;
    TRGBAColor light;
    TPaintUse use;
    TRGBAColor dark;
  } cases[] = {
      {"black bond", Rgb(0, 0, 0), TPaintUse::kShape, lightGrey},
      {"black text", Rgb(0, 0, 0, 0.5f), TPaintUse::kText, {0.9f, 0.9f, 0.9f, 0.5f}},
      {"carbon", Rgb(102, 102, 102), TPaintUse::kText, lightGrey},
      {"hydrogen", Rgb(191, 191, 191), TPaintUse::kText, lightGrey},
      {"nitrogen", Rgb(12, 12, 255), TPaintUse::kText, {0.33f, 0.41f, 0.92f, 1}},
      {"oxygen", Rgb(255, 12, 12), TPaintUse::kText, {1, 0.2f, 0.2f, 1}},
      {"paper", Rgb(255, 255, 255), TPaintUse::kShape, kDarkBackground},
      {"white text stays", Rgb(255, 255, 255), TPaintUse::kText, {1, 1, 1, 1}},
      {"light enough already", Rgb(255, 255, 0), TPaintUse::kText, Rgb(255, 255, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectColor(DarkColor(c.light, c.use), c.dark);
  }
  // A dark colour of no palette keeps its hue and is lightened just enough.
  const TRGBAColor navy = DarkColor(Rgb(0, 0, 128), TPaintUse::kText);
  EXPECT_NEAR(ContrastRatio(navy, kDarkBackground), kDarkMinContrast, 0.01);
  EXPECT_FLOAT_EQ(navy.R, navy.G);
  EXPECT_GT(navy.B, navy.R + 0.2f);

  // The scene map: shapes, texts and their fallback black all move; nothing else changes.
  TGeoElement untinted = Text("CH3", {5, 5}, 10);
  untinted.TextColor = {0, 0, 0, 0};
  const TSVGScene light = SceneOf({Polygon({{0, 0}, {100, 0}, {100, 100}}, {1, 1, 1, 1}, {0, 0, 0, 0}),
                                   Line({0, 0}, {10, 10}), untinted, Heading(Text("caffeine", {10, 20}, 18))},
                                  100);
  const TSVGScene dark = DarkScene(light);
  ASSERT_EQ(dark.Count, light.Count);
  ExpectColor(dark.Elements[0].Fill, kDarkBackground);
  ExpectColor(dark.Elements[1].Stroke, lightGrey);
  ExpectColor(dark.Elements[2].TextColor, lightGrey);
  ExpectColor(dark.Elements[3].TextColor, lightGrey);
  EXPECT_EQ(dark.Elements[3].Text, "caffeine");
  EXPECT_TRUE(dark.Elements[3].IsHeading);
  ExpectReadableOnDark(dark, "hand-made");
}

#ifndef _WIN32
// Every colour the converter writes: each element's label (the converter's whole colour table),
// the samples' molecules with their wedges and charges, and a grid.
TEST(DarkPalette, EveryColourTheConverterWritesReadsOnDark) {
  static const char* const kElements[] = {
      "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",  "S",  "Cl",
      "Ar", "K",  "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn", "Ga", "Ge", "As", "Se",
      "Br", "Kr", "Rb", "Sr", "Y",  "Zr", "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd", "In", "Sn", "Sb",
      "Te", "I",  "Xe", "Cs", "Ba", "La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er",
      "Tm", "Yb", "Lu", "Hf", "Ta", "W",  "Re", "Os", "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po", "At",
      "Rn", "Fr", "Ra", "Ac", "Th", "Pa", "U",  "Np", "Pu", "Am", "Cm", "Bk", "Cf", "Es", "Fm", "Md", "No",
      "Lr", "Rf", "Db", "Sg", "Bh", "Hs", "Mt", "Ds", "Rg", "Cn", "Nh", "Fl", "Mc", "Lv", "Ts", "Og"};
  std::string smiles;
  for (const char* symbol : kElements) smiles += std::string("C[") + symbol + "] " + symbol + "\n";
  smiles +=
      "[*]C dummy\n[2H]C deuterio\nCn1cnc2c1c(=O)n(C)c(=O)n2C caffeine\nCC(=O)Oc1ccccc1C(=O)O aspirin\n"
      "C[C@@H](N)C(=O)O alanine\n[NH3+]CC(=O)[O-] glycine\nClC(Cl)(F)Br halothane\nOP(=O)(O)S thiophosphoric\n";
  TTempDir dir;
  ASSERT_TRUE(DrawWithConverter(dir, smiles, "d.svg", true));
  ASSERT_TRUE(DrawWithConverter(dir, "CCO ethanol\nc1ccncc1 pyridine\nC[NH3+] methylammonium\n", "grid.svg", false));
  int drawings = 0;
  for (int i = 1;; ++i) {
    const std::string svg = ReadFileBytes(dir.File("d" + std::to_string(i) + ".svg"));
    if (svg.empty()) break;
    TSVGScene scene;
    ASSERT_TRUE(ParseSVG(svg, scene)) << i;
    ExpectReadableOnDark(DarkScene(scene), "drawing " + std::to_string(i));
    ++drawings;
  }
  EXPECT_EQ(drawings, 126);
  TSVGScene grid;
  ASSERT_TRUE(ParseSVG(ReadFileBytes(dir.File("grid.svg")), grid));
  ExpectReadableOnDark(DarkScene(grid), "grid");
}
#endif
