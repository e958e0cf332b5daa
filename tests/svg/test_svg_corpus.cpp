// The reader against drawings the real converter makes at test time (native only).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "svg/converter_drawings.h"
#include "svg/uSVGParser.h"

using namespace pelorin;
using pelorin_test::DrawWithConverter;
using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;

namespace {

struct TMolecule {
  const char* Smiles;
  const char* Title;  // empty: untitled, the converter writes an empty caption
};

const TMolecule kMolecules[] = {
    {"Cn1cnc2c1c(=O)n(C)c(=O)n2C", "caffeine"},
    {"CC(=O)Oc1ccccc1C(=O)O", "aspirin"},
    {"CCO", "ethanol"},
    {"c1ccccc1", "benzene"},
    {"C[NH3+]", "methylammonium"},
    {"CC(=O)[O-]", "acetate"},
    {"C[C@@H](N)C(=O)O", "L-alanine"},
    {"[NH3+]CC(=O)[O-]", "glycine zwitterion"},
    {"c1ccncc1", "pyridine"},
    {"c1ccc2ccccc2c1", "naphthalene"},
    {"CCCCCCCCCCCCCCCCCCCCCCCCCCCCCC", "triacontane"},
    {"C[C@H](CCCC(C)C)[C@H]1CC[C@@H]2[C@@]1(CC[C@H]3[C@H]2CC=C4[C@@]3(CC[C@@H](C4)O)C)C", "cholesterol"},
    {"CC(C)Cc1ccc(cc1)[C@@H](C)C(=O)O", "ibuprofen"},
    {"c1ccc(cc1)[N+](=O)[O-]", "nitrobenzene"},
    {"[NH4+]", "ammonium"},
    {"O", "water"},
    {"C", ""},
    {"C1CCCCC1", "cyclohexane"},
    {"OC[C@H]1OC(O)[C@H](O)[C@@H](O)[C@@H]1O", "glucose"},
    {"Nc1ncnc2[nH]cnc12", "adenine"},
    {"c1ccc2[nH]ccc2c1", "indole"},
    {"ClC(Cl)Cl", "chloroform"},
    {"FC(F)F", "fluoroform"},
    {"OP(=O)(O)O", "phosphoric acid"},
    {"CS(=O)C", "DMSO"},
    {"C/C=C\\C", "cis-2-butene"},
    {"C/C=C/C", "trans-2-butene"},
    {"C#CC#N", "cyanoacetylene"},
    {"N[C@@H](Cc1c[nH]c2ccccc12)C(=O)O", "tryptophan"},
    {"CC1([C@@H](N2[C@H](S1)[C@@H](C2=O)NC(=O)Cc3ccccc3)C(=O)O)C", "penicillin G"},
    {"[13CH4]", "labelled methane"},
    {"CCN(CC)CC", ""},
    {"O=C([O-])c1ccccc1", "benzoate"},
};

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

void CheckDrawing(const std::string& svg, const std::vector<std::string>& titles, const std::string& context) {
  TSVGScene scene;
  ASSERT_TRUE(ParseSVG(svg, scene)) << context;
  int lines = 0;
  std::vector<std::string> headings;
  const float mx = scene.Width * 0.05f, my = scene.Height * 0.05f;
  auto inside = [&](float x, float y) {
    return x >= scene.ViewBoxX - mx && x <= scene.ViewBoxX + scene.Width + mx && y >= scene.ViewBoxY - my &&
           y <= scene.ViewBoxY + scene.Height + my;
  };
  for (int i = 0; i < scene.Count; ++i) {
    const TGeoElement& e = scene.Elements[i];
    if (e.Kind == gkLine) ++lines;
    if (e.IsHeading) headings.push_back(e.Text);
    for (const TPoint2D& p : e.Points) {
      EXPECT_TRUE(inside(p.X, p.Y)) << context << " point " << p.X << "," << p.Y;
    }
    if (e.Kind == gkCircle || e.Kind == gkEllipse) {
      EXPECT_TRUE(inside(e.CX, e.CY)) << context;
    }
    if (e.Kind == gkText) {
      EXPECT_GT(e.FontSize, 0) << context;
    }
  }
  EXPECT_EQ(lines, CountOf(svg, "<line")) << context;
  std::vector<std::string> expected;
  for (const std::string& t : titles)
    if (!t.empty()) expected.push_back(t);
  EXPECT_EQ(headings, expected) << context;
}

}  // namespace

TEST(SvgConverterCorpus, EveryMoleculeDrawsCompletely) {
  TTempDir dir;
  std::string smiles;
  for (const TMolecule& m : kMolecules) smiles += std::string(m.Smiles) + " " + m.Title + "\n";
  ASSERT_TRUE(DrawWithConverter(dir, smiles, "mol.svg", true));
  int index = 1;
  for (const TMolecule& m : kMolecules) {
    std::string svg = ReadFileBytes(dir.File("mol" + std::to_string(index++) + ".svg"));
    ASSERT_FALSE(svg.empty()) << m.Smiles;
    CheckDrawing(svg, {m.Title}, m.Smiles);
  }
}

TEST(SvgConverterCorpus, GridCaptionsAreHeadings) {
  TTempDir dir;
  std::string smiles;
  std::vector<std::string> titles;
  for (int i = 0; i < 12; ++i) {
    smiles += std::string(kMolecules[i].Smiles) + " " + kMolecules[i].Title + "\n";
    titles.push_back(kMolecules[i].Title);
  }
  ASSERT_TRUE(DrawWithConverter(dir, smiles, "grid.svg", false));
  std::string svg = ReadFileBytes(dir.File("grid.svg"));
  ASSERT_NE(svg.find("<script"), std::string::npos);
  CheckDrawing(svg, titles, "grid");
}
