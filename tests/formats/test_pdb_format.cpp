// Tests of the PDB reader and survey: elements, the first model and alternate locations, files
// read as far as the first model, and the survey's atoms, which must be the reader's.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "formats/atom_test_util.h"
#include "formats/uMolSurvey.h"
#include "formats/uPDBFormat.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::ExpectAtom;
using pelorin_test::PDBAtom;
using pelorin_test::SameAtoms;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

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

// The survey counts exactly the atoms the reader reads, from the text whole, in pieces of one byte
// and as a file; the cases are where the old survey's own rule counted otherwise.
// Files of more than 99,999 atoms: serial numbers that wrap to 0 or are written in hybrid-36
// ("A0000" after 99999), and residue numbers past 9999 likewise; none of it decides an atom.
TEST(PDBAtoms, SerialsPastFiveDigitsWrappedOrHybrid36) {
  const std::string text =
      "ATOM  99999  CA  ALA A9999      10.000   2.000  -3.000  1.00  0.00           C\n"
      "ATOM      0  N   ALA A   0      11.000   2.000  -3.000  1.00  0.00           N\n"
      "ATOM  A0000  O   ALA AA000      12.000   2.000  -3.000  1.00  0.00           O\n"
      "HETATMA0001 FE   HEM AA001      13.000   2.000  -3.000  1.00  0.00          FE\n"
      "ATOM  *****  S   CYS A****      14.000   2.000  -3.000  1.00  0.00           S\n";
  TAtomArray atoms;
  std::string error;
  ASSERT_TRUE(ReadPDBAtoms(text, atoms, error)) << error;
  ASSERT_EQ(atoms.size(), 5u);
  ExpectAtom(atoms[0], "C", 10, 2, -3);
  ExpectAtom(atoms[2], "O", 12, 2, -3);
  ExpectAtom(atoms[3], "Fe", 13, 2, -3);
  ExpectAtom(atoms[4], "S", 14, 2, -3);
  EXPECT_EQ(SurveyRecord(text, TMolFormat::Pdb, 0)->AtomCount, 5);
}

TEST(PDBFormat, SurveyCountsTheAtomsTheReaderReads) {
  const std::string atom = PDBAtom("ATOM", " CA ", 1, " C"), hetatm = PDBAtom("HETATM", "ZN  ", 2, "ZN");
  const struct {
    const char* name;
    std::string text;
    size_t atoms;
  } cases[] = {
      {"alternate locations: the first letter met is kept",
       atom + PDBAtom("ATOM", " CB ", 1, " C", 'B') + PDBAtom("ATOM", " CB ", 2, " C", 'A') +
           PDBAtom("ATOM", " CG ", 3, " C", 'B') + PDBAtom("ATOM", " CG ", 4, " C", 'C') + hetatm,
       4},
      {"a record too short for its coordinates still names the kept location",
       "ATOM      2  CB AALA A   1       1.000\n" + PDBAtom("ATOM", " CB ", 1, " C", 'B') +
           PDBAtom("ATOM", " CB ", 2, " C", 'A') + PDBAtom("ATOM", " CG ", 3, " C", 'A'),
       2},
      {"several models: the first only",
       "MODEL        1\n" + atom + hetatm + "ENDMDL\nMODEL        2\n" + atom + atom + atom + "ENDMDL\nEND\n", 2},
      {"a second MODEL without ENDMDL ends the first", "MODEL 1\n" + atom + "MODEL 2\n" + atom + atom, 1},
      {"END before more atoms, record names with blanks before them", atom + " END\n" + atom, 1},
      {"no element columns, CR LF and CR",
       atom.substr(0, 66) + "\r\n" + hetatm.substr(0, 54) + "\r" + atom.substr(0, 54), 3},
      {"records too short for their coordinates", "ATOM      1  N\r\nATOM      1  N", 0},
      {"no atom records", "REMARK nothing\n", 0},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TAtomArray atoms;
    std::string error;
    EXPECT_EQ(ReadPDBAtoms(c.text, atoms, error), c.atoms > 0) << error;
    EXPECT_EQ(atoms.size(), c.atoms);
    const std::optional<TRecordSurvey> survey = SurveyRecord(c.text, TMolFormat::Pdb, 0);
    ASSERT_TRUE(survey);
    EXPECT_EQ(survey->AtomCount, static_cast<int64_t>(c.atoms));
    TRecordSurveyor bytes(TMolFormat::Pdb, 0);
    for (char ch : c.text) bytes.Feed(std::string_view(&ch, 1));
    EXPECT_EQ(bytes.Finish()->AtomCount, static_cast<int64_t>(c.atoms));
    const std::string path = dir.File("case.pdb");
    WriteFileBytes(path, c.text);
    TAtomArray fromFile;
    EXPECT_EQ(ReadPDBFile(path, fromFile, error), c.atoms > 0) << error;
    EXPECT_TRUE(SameAtoms(fromFile, atoms));
    EXPECT_EQ(SurveyFileRecord(path, 0)->AtomCount, static_cast<int64_t>(c.atoms));
  }
}

// A file is read only as far as the first model, in pieces: what is read must still be the whole
// model wherever the pieces end (a model of more than one piece, lines of CR LF).
TEST(PDBFormat, FileReadsMatchTheWholeTextWhereverThePiecesEnd) {
  TTempDir dir;
  std::string pdb;
  for (int model = 0; model < 3; ++model) {
    pdb += "MODEL     " + std::to_string(model + 1) + "\r\n";
    for (int i = 0; i < 15000; ++i)
      pdb += PDBAtom("ATOM", " CA ", static_cast<float>(model * 100000 + i), " C") + "\r\n";
    pdb += "ENDMDL\r\n";
  }
  WriteFileBytes(dir.File("ensemble.pdb"), pdb);
  TAtomArray fromFile, fromText;
  std::string error;
  ASSERT_TRUE(ReadPDBFile(dir.File("ensemble.pdb"), fromFile, error)) << error;
  ASSERT_TRUE(ReadPDBAtoms(pdb, fromText, error));
  EXPECT_EQ(fromFile.size(), 15000u);
  EXPECT_TRUE(SameAtoms(fromFile, fromText));
  EXPECT_FALSE(ReadPDBFile(dir.File("missing.pdb"), fromFile, error));
  EXPECT_EQ(error.rfind("Cannot open file [" + dir.File("missing.pdb") + "]: ", 0), 0u) << error;
}

}  // namespace
}  // namespace pelorin
