// Tests of atom tables: the element table, element symbols from files' words, and the atoms of
// a file read straight from it by its format.
#include <gtest/gtest.h>

#include <string>

#include "formats/atom_test_util.h"
#include "formats/uAtomTable.h"
#include "formats/uElements.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::ExpectAtom;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

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

// The file's format (by its name) picks the reader; the first record (or model) is read.
TEST(AtomFiles, TablesAreReadStraightFromPDBAndXYZOnly) {
  const std::string twoFrames = "2\nfirst\nO 0 0 0.1\nH 0.8 0 -0.5\n1\nsecond\nNa 0 0 0\n";
  TTempDir dir;
  WriteFileBytes(dir.File("w.XYZ"), twoFrames);
  WriteFileBytes(dir.File("e.pdb"), "HETATM    1  C1  ETH     1       0.941   0.075   0.020  1.00  0.00           C\n");
  WriteFileBytes(dir.File("e.mol"), twoFrames);
  TAtomArray atoms;
  std::string error;
  ASSERT_TRUE(ReadAtomTableFile(dir.File("w.XYZ"), atoms, error)) << error;
  EXPECT_EQ(atoms.size(), 2u);
  ASSERT_TRUE(ReadAtomTableFile(dir.File("e.pdb"), atoms, error)) << error;
  ExpectAtom(atoms.at(0), "C", 0.941f, 0.075f, 0.020f);
  EXPECT_FALSE(ReadAtomTableFile(dir.File("e.mol"), atoms, error));
  EXPECT_EQ(error, "Not a PDB or XYZ file: " + dir.File("e.mol"));
  EXPECT_TRUE(atoms.empty());
  EXPECT_FALSE(ReadAtomTableFile(dir.File("missing.pdb"), atoms, error));
}

}  // namespace
}  // namespace pelorin
