// Tests of the atom lists (XYZ, PDB), the element tables and the atom model built from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "formats/uElements.h"
#include "formats/uXYZReader.h"
#include "model3d/uAtomDiscs.h"
#include "model3d/uAtomModel.h"
#include "model3d/uModelChoice.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

TAtom MakeAtom(const char* element, float x, float y, float z) {
  TAtom atom{};
  std::snprintf(atom.Element, sizeof atom.Element, "%s", element);
  atom.X = x, atom.Y = y, atom.Z = z;
  return atom;
}

void ExpectAtom(const TAtom& got, const char* element, float x, float y, float z) {
  EXPECT_STREQ(got.Element, element);
  EXPECT_FLOAT_EQ(got.X, x);
  EXPECT_FLOAT_EQ(got.Y, y);
  EXPECT_FLOAT_EQ(got.Z, z);
}

// ---- XYZ ----

const char* const kTwoRecords =
    "3\n"
    "water and a stray\n"
    "O   0.0  0.0  0.1\n"
    "H   0.8  0.0 -0.5\n"
    "H  -0.8  0.0 -0.5\n"
    "2\n"
    "  chloride  \n"
    "CL  1.5 -2 +3  extra columns 7 8\n"
    "na  0 0 0\n";

struct TXYZCase {
  const char* name;
  std::string text;
  int record;
  bool ok;
  size_t atoms;       // atoms handed back, also on failure
  const char* error;  // a part of the error text ("" when ok)
};

TEST(XYZReader, RecordsGoodAndHostile) {
  const std::string two = kTwoRecords;
  const TXYZCase cases[] = {
      {"first record", two, 0, true, 3, ""},
      {"second record, first skipped", two, 1, true, 2, ""},
      {"past the end", two, 2, false, 0, "record 3 not found: the text holds 2 records"},
      {"negative index", two, -1, false, 0, "record 0 does not exist"},
      {"CR LF, lone CR and blank lines between records", "1\r\na\r\nC 1 2 3\r\n\r\n\n1\rb\rN 4 5 6\r", 1, true, 1, ""},
      {"count larger than the lines left", "5\nt\nC 0 0 0\nC 1 1 1\n", 0, false, 2, "record 1 ends after 2 of 5 atoms"},
      {"absurd count", "4000000000000\nt\nC 0 0 0\n", 0, false, 1, "ends after 1 of 4000000000000 atoms"},
      {"count line only", "2", 0, false, 0, "record 1 ends after 0 of 2 atoms"},
      {"earlier record cut short", "9\nt\nC 0 0 0\n", 1, false, 0, "record 2 not found: record 1 ends before"},
      {"line that is not an atom", "2\nt\nC 0 0\nC 1 1 1\n", 0, false, 0, "line 3 is not an atom"},
      {"count not a number", "three\nt\n", 0, false, 0, "record 1: line 1 should hold the atom count"},
      {"negative count", "-1\nt\n", 0, false, 0, "should hold the atom count"},
      {"no atoms", "0\nempty\n1\nt\nC 0 0 0\n", 0, false, 0, "record 1 has no atoms"},
      {"empty text", "", 0, false, 0, "record 1 not found: the text holds 0 records"},
  };
  for (const TXYZCase& c : cases) {
    SCOPED_TRACE(c.name);
    TAtomArray atoms = {MakeAtom("U", 9, 9, 9)};
    std::string error = "stale";
    EXPECT_EQ(ReadXYZBlock(c.text, c.record, atoms, error), c.ok);
    EXPECT_EQ(atoms.size(), c.atoms);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    if (c.ok) {
      EXPECT_EQ(error, "");
    }
    // Storage follows the lines read, never the count claimed.
    EXPECT_LE(atoms.capacity(), c.text.size() / 8 + 1);
  }
}

TEST(XYZReader, AtomValuesTitlesAndElements) {
  TAtomArray atoms;
  std::string error, title;
  ASSERT_TRUE(ReadXYZBlock(kTwoRecords, 1, atoms, error, &title));
  EXPECT_EQ(title, "chloride");
  ExpectAtom(atoms[0], "Cl", 1.5f, -2, 3);
  ExpectAtom(atoms[1], "Na", 0, 0, 0);

  // Non-finite or unreadable numbers are stored as 0; the element word may be any case, a
  // label with digits, an atomic number, or nothing the table knows.
  const char* text =
      "6\n\n"
      "C nan inf -1e999\n"
      "c1 0x10 1,5 2.5\n"
      "17 1 2 3\n"
      "* 1 2 3\n"
      "0 1 2 3\n"
      "Uuo 1 2 3\n";
  ASSERT_TRUE(ReadXYZBlock(text, 0, atoms, error, &title));
  EXPECT_EQ(title, "");
  ExpectAtom(atoms[0], "C", 0, 0, 0);
  ExpectAtom(atoms[1], "C", 0, 0, 2.5f);
  ExpectAtom(atoms[2], "Cl", 1, 2, 3);
  ExpectAtom(atoms[3], "Xx", 1, 2, 3);
  ExpectAtom(atoms[4], "Xx", 1, 2, 3);
  ExpectAtom(atoms[5], "Uuo", 1, 2, 3);
}

TEST(XYZReader, FileReadsRecordsAndReportsOpenErrors) {
  TTempDir dir;
  std::string path = dir.File("two.xyz");
  WriteFileBytes(path, kTwoRecords);
  TAtomArray atoms;
  std::string error;
  EXPECT_TRUE(ReadXYZFile(path, 1, atoms, error));
  EXPECT_EQ(atoms.size(), 2u);
  std::string missing = dir.File("missing.xyz");
  EXPECT_FALSE(ReadXYZFile(missing, 0, atoms, error));
  EXPECT_EQ(error.rfind("Cannot open file [" + missing + "]: ", 0), 0u) << error;
  EXPECT_TRUE(atoms.empty());
}

// ---- PDB ----

// An atom record in the format's columns: name in 13-16, alternate location in 17,
// coordinates in 31-54, element in 77-78.
std::string PDBAtom(const char* type, const char* name, float x, const char* element = "  ", char location = ' ') {
  char line[100];
  std::snprintf(line, sizeof line, "%-6s%5d %-4s%cALA A   1    %8.3f%8.3f%8.3f  1.00  0.00          %2s", type, 1, name,
                location, x, 2.0, -3.0, element);
  return std::string(line) + "\n";
}

// A file is read only as far as the record needs, in pieces of growing size: what is read must
// still be the whole record wherever the pieces end (lines of CR LF, records of ~100 KB).
TEST(AtomFiles, FileReadsMatchTheWholeTextWhereverThePiecesEnd) {
  auto same = [](const TAtomArray& a, const TAtomArray& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const TAtom& p, const TAtom& q) {
             return std::string(p.Element) == q.Element && p.X == q.X && p.Y == q.Y && p.Z == q.Z;
           });
  };
  TTempDir dir;
  std::string xyz, pdb;
  for (int record = 0; record < 4; ++record) {
    xyz += "5000\r\nframe " + std::to_string(record) + "\r\n";
    pdb += "MODEL     " + std::to_string(record + 1) + "\r\n";
    for (int i = 0; i < 5000; ++i) {
      xyz += (i % 2 ? "O " : "C ") + std::to_string(record) + " " + std::to_string(i) + " 0.5\r\n";
      if (i < 1500) pdb += PDBAtom("ATOM", " CA ", static_cast<float>(record * 10000 + i), " C") + "\r\n";
    }
    pdb += "ENDMDL\r\n";
  }
  WriteFileBytes(dir.File("trajectory.xyz"), xyz);
  WriteFileBytes(dir.File("ensemble.pdb"), pdb);
  TAtomArray fromFile, fromText;
  std::string error;
  for (int record = 0; record < 4; ++record) {
    SCOPED_TRACE(record);
    ASSERT_TRUE(ReadXYZFile(dir.File("trajectory.xyz"), record, fromFile, error)) << error;
    ASSERT_TRUE(ReadXYZBlock(xyz, record, fromText, error)) << error;
    EXPECT_TRUE(same(fromFile, fromText));
  }
  EXPECT_FALSE(ReadXYZFile(dir.File("trajectory.xyz"), 4, fromFile, error));
  ASSERT_TRUE(ReadPDBFile(dir.File("ensemble.pdb"), fromFile, error)) << error;
  ASSERT_TRUE(ReadPDBAtoms(pdb, fromText, error));
  EXPECT_EQ(fromFile.size(), 1500u);
  EXPECT_TRUE(same(fromFile, fromText));
}

TEST(PDBAtoms, ElementFromColumnsOrAtomName) {
  struct TCase {
    const char* type;
    const char* name;
    const char* element;  // columns 77-78
    const char* want;
  };
  const TCase cases[] = {
      {"ATOM", " CA ", "  ", "C"},    {"HETATM", "CA  ", "  ", "Ca"}, {"ATOM", " CA ", "CA", "Ca"},
      {"ATOM", "HD21", "  ", "H"},    {"ATOM", "1HB2", "  ", "H"},    {"HETATM", "FE  ", "  ", "Fe"},
      {"HETATM", "HG  ", "  ", "Hg"}, {"HETATM", "HO5'", "  ", "H"},  {"HETATM", "OP1 ", "  ", "O"},
      {"HETATM", "CL1 ", "  ", "Cl"}, {"HETATM", "C1  ", "  ", "C"},  {"HETATM", "SE  ", " 1", "Se"},
      {"HETATM", " N  ", " n", "N"},  {"HETATM", "    ", "  ", "Xx"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " [" + c.name + "] [" + c.element + "]");
    TAtomArray atoms;
    std::string error;
    ASSERT_TRUE(ReadPDBAtoms(PDBAtom(c.type, c.name, 1.5f, c.element), atoms, error));
    ASSERT_EQ(atoms.size(), 1u);
    ExpectAtom(atoms[0], c.want, 1.5f, 2, -3);
  }
}

TEST(PDBAtoms, FirstModelFirstLocationOnly) {
  std::string text = "HEADER    TEST\r\nMODEL        1\r\n" + PDBAtom("ATOM", " N  ", 1, " N") +
                     PDBAtom("ATOM", " CB ", 2, " C", 'A') + PDBAtom("ATOM", " CB ", 3, " C", 'B') +
                     "ATOM      4  O   ALA A   1       1.000\r\n"  // too short for the coordinates
                     + PDBAtom("HETATM", "ZN  ", 4, "ZN") + "ENDMDL\r\nMODEL        2\r\n" +
                     PDBAtom("ATOM", " N  ", 5, " N") + "ENDMDL\r\nEND\r\n";
  TAtomArray atoms;
  std::string error;
  ASSERT_TRUE(ReadPDBAtoms(text, atoms, error));
  ASSERT_EQ(atoms.size(), 3u);
  EXPECT_EQ(atoms[0].X, 1);
  EXPECT_EQ(atoms[1].X, 2);
  ExpectAtom(atoms[2], "Zn", 4, 2, -3);

  // Without MODEL records every atom up to END counts.
  std::string plain =
      PDBAtom("HETATM", " C  ", 1) + PDBAtom("HETATM", " O  ", 2) + "END\n" + PDBAtom("ATOM", " N  ", 3);
  ASSERT_TRUE(ReadPDBAtoms(plain, atoms, error));
  EXPECT_EQ(atoms.size(), 2u);

  EXPECT_FALSE(ReadPDBAtoms("HEADER    NOTHING\nEND\n", atoms, error));
  EXPECT_EQ(error, "No ATOM or HETATM records");
  EXPECT_TRUE(atoms.empty());
}

// ---- Elements ----

TEST(Elements, LookupCaseAndUnknownSymbols) {
  struct TCase {
    const char* symbol;
    int number;
    float radius;
  };
  const TCase cases[] = {{"H", 1, 1.10f},   {"C", 6, 1.70f},   {"cl", 17, 1.75f}, {"CL", 17, 1.75f}, {"Br", 35, 1.85f},
                         {"Fe", 26, 2.44f}, {"Kr", 36, 2.02f}, {"Ag", 47, 1.72f}, {"I", 53, 1.98f},  {"Au", 79, 1.66f},
                         {"Hg", 80, 1.55f}, {"Pb", 82, 2.02f}, {"Pm", 61, 2.0f},  {"Xx", 0, 2.0f},   {"", 0, 2.0f},
                         {"Q", 0, 2.0f},    {"Cl-", 0, 2.0f},  {"C1", 0, 2.0f}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.symbol);
    EXPECT_EQ(ElementNumber(c.symbol), c.number);
    EXPECT_FLOAT_EQ(ElementStyle(c.symbol).Radius, c.radius);
  }
  TMeshColor unknown = ElementStyle("Q").Color, oxygen = ElementStyle("o").Color;
  EXPECT_FLOAT_EQ(unknown.R, 1.0f);
  EXPECT_FLOAT_EQ(unknown.G, 20 / 255.0f);
  EXPECT_FLOAT_EQ(unknown.B, 147 / 255.0f);
  EXPECT_FLOAT_EQ(oxygen.R, 1.0f);
  EXPECT_FLOAT_EQ(oxygen.G, 13 / 255.0f);
}

TEST(Elements, EverySymbolFindsItsOwnEntry) {
  for (int number = 1; number <= kLastElementNumber; ++number) {
    std::string symbol(ElementSymbol(number));
    SCOPED_TRACE(symbol);
    ASSERT_FALSE(symbol.empty());
    EXPECT_EQ(ElementNumber(symbol), number);
    for (char& ch : symbol) ch = static_cast<char>(ch ^ 0x20);  // every letter's case flipped
    EXPECT_EQ(ElementNumber(symbol), number);
    float r = ElementStyle(number).Radius;
    EXPECT_TRUE(r >= 1.0f && r <= 3.5f) << r;
  }
  EXPECT_EQ(ElementSymbol(0), "");
  EXPECT_EQ(ElementSymbol(kLastElementNumber + 1), "");
}

// ---- Atom model ----

// Atoms on a cubic lattice 4 Angstrom apart, cycling through a few elements.
TAtomArray Lattice(int count) {
  const char* elements[] = {"C", "N", "O", "H", "S", "Cl", "Fe", "Qq"};
  TAtomArray atoms;
  for (int i = 0; i < count; ++i)
    atoms.push_back(MakeAtom(elements[i % 8], 4.0f * (i % 30), 4.0f * (i / 30 % 30), 4.0f * (i / 900) - 50));
  return atoms;
}

TEST(AtomModel, LevelOfDetailKeepsTheFacetBudget) {
  const std::pair<int64_t, int32_t> cases[] = {{1, 1280},   {24, 1280},  {781, 1280},   {782, 320},
                                               {3125, 320}, {3126, 80},  {12500, 80},   {12501, 20},
                                               {20000, 20}, {50000, 20}, {10000000, 20}};
  for (auto [atoms, facets] : cases) {
    SCOPED_TRACE(atoms);
    EXPECT_EQ(kSphereFacets[SphereLevelForAtomCount(atoms)], facets);
  }
  for (int level = 0; level < kSphereLevels; ++level) {
    SCOPED_TRACE(level);
    const TFloatArray& corners = UnitSphereCorners(level);
    ASSERT_EQ(corners.size(), size_t(kSphereFacets[level]) * 9);
    for (size_t i = 0; i < corners.size(); i += 9) {
      TVec3 a{corners[i], corners[i + 1], corners[i + 2]}, b{corners[i + 3], corners[i + 4], corners[i + 5]},
          c{corners[i + 6], corners[i + 7], corners[i + 8]};
      EXPECT_NEAR(VecLength(a), 1.0f, 1e-6f);
      // Counter-clockwise from outside, or the renderer culls the sphere's front.
      TVec3 n = VecCross(VecSub(b, a), VecSub(c, a));
      ASSERT_GT(n.X * (a.X + b.X + c.X) + n.Y * (a.Y + b.Y + c.Y) + n.Z * (a.Z + b.Z + c.Z), 0) << i / 9;
    }
    // Shared corners: a closed sphere of F facets has F / 2 + 2 of them, each the very corner
    // that every facet corner mapped to it is.
    const TSharedSphereCorners& shared = SharedSphereCorners(level);
    ASSERT_EQ(shared.FirstOccurrence.size(), size_t(kSphereFacets[level] / 2 + 2));
    ASSERT_EQ(shared.DistinctIndex.size(), corners.size() / 3);
    for (size_t corner = 0; corner < shared.DistinctIndex.size(); ++corner) {
      const size_t first = shared.FirstOccurrence.at(shared.DistinctIndex[corner]);
      ASSERT_TRUE(std::equal(&corners[3 * first], &corners[3 * first + 3], &corners[3 * corner])) << corner;
    }
  }
}

TEST(AtomModel, SpheresColoursAndBoundsOfABuiltModel) {
  TAtomArray atoms = Lattice(24);
  atoms.push_back(MakeAtom("Au", std::numeric_limits<float>::quiet_NaN(), 2, 3));  // NaN taken as 0
  TMeshModel model;
  std::string error;
  ASSERT_TRUE(BuildAtomModel(atoms, model, error)) << error;
  const int32_t perSphere = 1280;
  ASSERT_EQ(model.FacetCount, 25 * perSphere);
  ASSERT_EQ(model.MeshVertexCount, 3 * model.FacetCount);
  ASSERT_EQ(model.MeshVertices.size(), size_t(model.MeshVertexCount) * 3);
  ASSERT_EQ(model.MeshNormals.size(), model.MeshVertices.size());
  ASSERT_EQ(model.MeshColors.size(), model.MeshVertices.size());
  EXPECT_EQ(model.Kind, TModelKind::Atoms);
  ASSERT_TRUE(model.BoundsValid);
  EXPECT_TRUE(std::isfinite(model.ModelRadius));

  const TVec3 c = model.ModelCenter;
  for (size_t a = 0; a < atoms.size(); ++a) {
    SCOPED_TRACE(atoms[a].Element);
    TElementStyle style = ElementStyle(atoms[a].Element);
    TVec3 centre{std::isfinite(atoms[a].X) ? atoms[a].X : 0, atoms[a].Y, atoms[a].Z};
    // The bounds hold the whole sphere, the way the renderer reads them (largest half extent).
    float slack = model.ModelRadius * 1e-6f;
    EXPECT_LE(std::fabs(centre.X - c.X) + style.Radius, model.ModelRadius + slack);
    EXPECT_LE(std::fabs(centre.Y - c.Y) + style.Radius, model.ModelRadius + slack);
    EXPECT_LE(std::fabs(centre.Z - c.Z) + style.Radius, model.ModelRadius + slack);
    for (size_t v = a * perSphere * 3; v < (a + 1) * perSphere * 3; ++v) {
      const float* p = &model.MeshVertices[3 * v];
      const float* n = &model.MeshNormals[3 * v];
      const float* rgb = &model.MeshColors[3 * v];
      TVec3 offset = VecSub({p[0], p[1], p[2]}, centre);
      ASSERT_NEAR(VecLength(offset), style.Radius, 1e-4f);
      ASSERT_NEAR(offset.X / style.Radius, n[0], 1e-4f);
      ASSERT_NEAR(offset.Y / style.Radius, n[1], 1e-4f);
      ASSERT_NEAR(offset.Z / style.Radius, n[2], 1e-4f);
      ASSERT_EQ(rgb[0], style.Color.R);
      ASSERT_EQ(rgb[2], style.Color.B);
    }
  }
  // Coordinates at the edge of the float range still give finite bounds.
  ASSERT_TRUE(BuildAtomModel({MakeAtom("C", 3e38f, -3e38f, 0)}, model, error));
  EXPECT_TRUE(std::isfinite(model.ModelRadius) && std::isfinite(model.ModelCenter.X));
}

TEST(AtomModel, AtomLimitsAndReuseOfAModel) {
  TMeshModel model;
  std::string error;
  ASSERT_TRUE(BuildAtomModel(Lattice(20000), model, error)) << error;
  EXPECT_EQ(model.FacetCount, 20000 * 20);
  // A smaller model in the same arrays: no leftovers of the large one.
  ASSERT_TRUE(BuildAtomModel(Lattice(2), model, error));
  EXPECT_EQ(model.FacetCount, 2 * 1280);
  EXPECT_EQ(model.MeshVertices.size(), size_t(2 * 1280 * 9));

  EXPECT_FALSE(BuildAtomModel(Lattice(kMaxModelAtoms + 1), model, error));
  EXPECT_EQ(error, "50001 atoms: the atom model draws at most 50000");
  EXPECT_EQ(model.FacetCount, 0);
  EXPECT_EQ(model.MeshVertexCount, 0);
  EXPECT_FALSE(model.BoundsValid);
  EXPECT_FALSE(BuildAtomModel({}, model, error));
  EXPECT_EQ(error, "No atoms to draw");

  // Loading a surface into a model that held atoms makes it a surface model again.
  TTempDir dir;
  std::string stl = dir.File("one.stl");
  WriteFileBytes(stl,
                 "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 "
                 "0\nendloop\nendfacet\nendsolid t\n");
  ASSERT_TRUE(BuildAtomModel(Lattice(1), model, error));
  std::string openError;
  ASSERT_TRUE(LoadMeshModel(model, stl, openError));
  EXPECT_EQ(model.Kind, TModelKind::Surface);
}

}  // namespace
}  // namespace pelorin

namespace pelorin {
namespace {

TEST(ModelChoice, SettingSurveyAndBudget) {
  TRecordSurvey small, large;
  small.AtomCount = 40, large.AtomCount = 41;
  const std::optional<TRecordSurvey> none;
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 40, small, true), TModelKind::Surface);
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 40, large, true), TModelKind::Atoms);
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 40, none, true), TModelKind::Surface);  // the survey cannot tell
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 40, small, false), TModelKind::Atoms);  // atoms, not a refusal
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 0, small, true), TModelKind::Atoms);
  EXPECT_EQ(ChooseModelKind(TModel3D::Surface, 40, large, false), TModelKind::Surface);
  EXPECT_EQ(ChooseModelKind(TModel3D::Atoms, 40, small, true), TModelKind::Atoms);
}

TEST(AtomDiscs, SortedBackToFrontShadedByDepthAndTurnedAsTheView) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const TAtomArray atoms = {MakeAtom("O", 1, 2, 5), MakeAtom("C", 0, 0, -5), MakeAtom("Xx", nan, 0, 0)};
  TSVGScene scene;
  BuildAtomDiscScene(atoms, 0, 0, scene);
  ASSERT_EQ(scene.Count, 3);
  const TGeoElement &far = scene.Elements[0], &middle = scene.Elements[1], &near = scene.Elements[2];
  EXPECT_EQ(far.Kind, gkCircle);
  EXPECT_FLOAT_EQ(far.RX, ElementStyle("C").Radius);
  EXPECT_FLOAT_EQ(near.CX, 1);
  EXPECT_FLOAT_EQ(near.CY, -2) << "the scene's y points down";
  EXPECT_FLOAT_EQ(middle.CX, 0) << "not finite is 0";
  EXPECT_FLOAT_EQ(near.Fill.R, ElementStyle("O").Color.R) << "the nearest keeps its colour";
  EXPECT_FLOAT_EQ(far.Fill.G, ElementStyle("C").Color.G * kFarthestDiscShade);
  EXPECT_FLOAT_EQ(middle.Fill.B, ElementStyle("Xx").Color.B * (1 + kFarthestDiscShade) / 2);
  EXPECT_LT(near.Stroke.R, near.Fill.R);
  EXPECT_FLOAT_EQ(near.Fill.A, 1);

  // Turned a quarter about y, +x goes away from the viewer; about x, +z goes down the screen.
  BuildAtomDiscScene({MakeAtom("N", 1, 0, 0), MakeAtom("S", -1, 0, 0)}, 0, 90, scene);
  EXPECT_FLOAT_EQ(scene.Elements[0].RX, ElementStyle("N").Radius);
  BuildAtomDiscScene({MakeAtom("N", 0, 0, 1)}, 90, 0, scene);
  EXPECT_NEAR(scene.Elements[0].CY, 1, 1e-6);
  BuildAtomDiscScene({}, 0, 0, scene);
  EXPECT_EQ(scene.Count, 0);
}

TEST(AtomFiles, TablesAreReadStraightFromPDBAndXYZOnly) {
  TTempDir dir;
  WriteFileBytes(dir.File("w.XYZ"), kTwoRecords);
  WriteFileBytes(dir.File("e.pdb"), "HETATM    1  C1  ETH     1       0.941   0.075   0.020  1.00  0.00           C\n");
  WriteFileBytes(dir.File("e.mol"), kTwoRecords);
  TAtomArray atoms;
  std::string error;
  EXPECT_TRUE(IsAtomTableFile("a.Pdb") && IsAtomTableFile("b.xyz") && !IsAtomTableFile("c.sdf"));
  ASSERT_TRUE(ReadAtomTableFile(dir.File("w.XYZ"), atoms, error)) << error;
  EXPECT_EQ(atoms.size(), 3u);  // the first record only
  ASSERT_TRUE(ReadAtomTableFile(dir.File("e.pdb"), atoms, error)) << error;
  ExpectAtom(atoms.at(0), "C", 0.941f, 0.075f, 0.020f);
  EXPECT_FALSE(ReadAtomTableFile(dir.File("e.mol"), atoms, error));
  EXPECT_TRUE(atoms.empty());
  EXPECT_FALSE(ReadAtomTableFile(dir.File("missing.pdb"), atoms, error));
}

}  // namespace
}  // namespace pelorin
