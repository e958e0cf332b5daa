// Tests of the atom lists read from files (XYZ, PDB, the atom-table files) and the element table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/uElements.h"
#include "formats/uXYZReader.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

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
    TAtomArray atoms(1);  // a stale atom, not kept
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

// ---- Atom-table files ----

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
