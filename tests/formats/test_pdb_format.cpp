// Tests of the PDB reader and survey: elements, the first model and alternate locations, files
// read as far as the first model, and the survey's atoms, which must be the reader's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "formats/atom_test_util.h"
#include "formats/uMolSurvey.h"
#include "formats/uPDBFormat.h"
#include "formats/uXYZFormat.h"
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
      {"alternate locations: each atom's first is kept",
       atom + PDBAtom("ATOM", " CB ", 1, " C", 'B') + PDBAtom("ATOM", " CB ", 2, " C", 'A') +
           PDBAtom("ATOM", " CG ", 3, " C", 'A') + PDBAtom("ATOM", " CG ", 4, " C", 'C') +
           PDBAtom("HETATM", "ZN  ", 5, "ZN", 'C') + hetatm,
       5},
      {"a record too short for its coordinates still names the kept location",
       "ATOM      2  CB AALA A   1       1.000\n" + PDBAtom("ATOM", " CB ", 1, " C", 'B') +
           PDBAtom("ATOM", " CB ", 2, " C", 'A') + PDBAtom("ATOM", " CG ", 3, " C", 'A'),
       2},
      {"several models: the first only",
       "MODEL        1\n" + atom + hetatm + "ENDMDL\nMODEL        2\n" + atom + atom + atom + "ENDMDL\nEND\n", 2},
      {"a MODEL line ends nothing, an ENDMDL before any atom neither",
       "ENDMDL\nMODEL 1\n" + atom + "MODEL 2\n" + atom + atom + "ENDMDL\n" + atom, 3},
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
    // A record without atoms is none.
    const std::optional<TRecordSurvey> expected =
        c.atoms ? std::optional<TRecordSurvey>(TRecordSurvey{static_cast<int64_t>(c.atoms), true, true}) : std::nullopt;
    auto atomsOf = [](const std::optional<TRecordSurvey>& s) { return s ? s->AtomCount : -1; };
    EXPECT_EQ(atomsOf(SurveyRecord(c.text, TMolFormat::Pdb, 0)), atomsOf(expected));
    TRecordSurveyor bytes(TMolFormat::Pdb, 0);
    for (char ch : c.text) bytes.Feed(std::string_view(&ch, 1));
    EXPECT_EQ(atomsOf(bytes.Finish()), atomsOf(expected));
    const std::string path = dir.File("case.pdb");
    WriteFileBytes(path, c.text);
    TAtomArray fromFile;
    EXPECT_EQ(ReadPDBFile(path, fromFile, error), c.atoms > 0) << error;
    EXPECT_TRUE(SameAtoms(fromFile, atoms));
    EXPECT_EQ(atomsOf(SurveyFileRecord(path, 0)), atomsOf(expected));
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

#ifndef _WIN32
// An atom record with every field the format has: name (13-16), location (17), residue name
// (18-20), chain (22), residue number (23-26), insertion code (27), coordinates, occupancy and the
// element (77-78, none when empty: the line then ends after column 66).
std::string Record(const char* type, const char* name, char location, const char* residue, int number, char insertion,
                   float x, float occupancy = 1, const char* element = "") {
  char line[100];
  std::snprintf(line, sizeof line, "%-6s%5d %-4s%c%3s A%4d%c   %8.3f%8.3f%8.3f%6.2f%6.2f", type, 1, name, location,
                residue, number, insertion, x, x / 2, -x, occupancy, 10.0);
  std::string text(line);
  if (*element) text += "          " + std::string(element[1] ? "" : " ") + element;
  return text + "\n";
}

// The first molecule of a file as the converter reads it (Open Babel's own XYZ of it).
TAtomArray ConverterAtoms(const std::string& path, const std::string& options, const TTempDir& dir) {
  const std::string xyz = dir.File("converted.xyz");
  const std::string command =
      "/usr/bin/obabel -ipdb \"" + path + "\" -oxyz -l 1 " + options + " -O \"" + xyz + "\" >/dev/null 2>&1";
  TAtomArray atoms;
  std::string error;
  if (std::system(command.c_str()) != 0 || !ReadXYZFile(xyz, 0, atoms, error))
    ADD_FAILURE() << command << ": " << error;
  return atoms;
}

// `part` is `whole` with atoms left out, in the same order; the number left out.
std::optional<size_t> LeftOutOf(const TAtomArray& whole, const TAtomArray& part) {
  size_t at = 0;
  for (const TAtom& atom : whole)
    if (at < part.size() && std::string(atom.Element) == part[at].Element && std::abs(atom.X - part[at].X) < 1e-3f &&
        std::abs(atom.Y - part[at].Y) < 1e-3f && std::abs(atom.Z - part[at].Z) < 1e-3f)
      ++at;
  if (at != part.size()) return std::nullopt;
  return whole.size() - part.size();
}

// Built files against the converter's own reading, with and without its bond perception: the
// reader's atoms are the converter's first molecule, element and place, in its order, less the
// later locations of atoms with alternates (the converter keeps every location as an atom).
TEST(PDBFormat, AtomsAreTheConvertersLessTheLaterLocations) {
  const struct {
    const char* name;
    std::string text;
    size_t laterLocations;
  } cases[] = {
      {"A and B alternates (B of higher occupancy) beside a ligand present only as B",
       Record("ATOM", " N  ", 'A', "SER", 1, ' ', 1, 0.4f, "N") +
           Record("ATOM", " N  ", 'B', "SER", 1, ' ', 1.2f, 0.6f, "N") +
           Record("ATOM", " CA ", 'A', "SER", 1, ' ', 2, 0.4f, "C") +
           Record("ATOM", " CA ", 'B', "SER", 1, ' ', 2.2f, 0.6f, "C") +
           Record("ATOM", " C  ", ' ', "SER", 1, ' ', 3, 1, "C") +
           Record("HETATM", " C1 ", 'B', "LIG", 201, ' ', 5, 0.5f, "C") +
           Record("HETATM", " O1 ", 'B', "LIG", 201, ' ', 6, 0.5f, "O") + "END\n",
       2},
      {"NMR models: the first",
       "MODEL        1\n" + Record("ATOM", " N  ", ' ', "GLY", 1, ' ', 1, 1, "N") +
           Record("ATOM", " CA ", ' ', "GLY", 1, ' ', 2, 1, "C") + "ENDMDL\nMODEL        2\n" +
           Record("ATOM", " N  ", ' ', "GLY", 1, ' ', 1.5f, 1, "N") + "ENDMDL\nEND\n",
       0},
      {"no element columns: the element from the atom name",
       Record("ATOM", " N  ", ' ', "SER", 1, ' ', 1) + Record("ATOM", " CA ", ' ', "SER", 1, ' ', 2) +
           Record("ATOM", " OG ", ' ', "SER", 1, ' ', 3) + Record("ATOM", " OXT", ' ', "SER", 1, ' ', 4) +
           Record("ATOM", " HA ", ' ', "SER", 1, ' ', 5) + Record("ATOM", "1HB ", ' ', "SER", 1, ' ', 6) +
           Record("ATOM", "HD21", ' ', "ASN", 2, ' ', 7) + Record("ATOM", " SD ", ' ', "MET", 3, ' ', 8) +
           Record("HETATM", " O  ", ' ', "HOH", 301, ' ', 9) + Record("HETATM", "CL1 ", ' ', "LIG", 302, ' ', 10) +
           Record("HETATM", " N1 ", ' ', "LIG", 302, ' ', 11),
       0},
      {"insertion codes: 52 and 52A are residues of their own",
       Record("ATOM", " CA ", ' ', "ALA", 52, ' ', 1, 1, "C") + Record("ATOM", " CA ", ' ', "ALA", 52, 'A', 2, 1, "C") +
           Record("ATOM", " CB ", 'A', "ALA", 52, 'A', 3, 0.5f, "C") +
           Record("ATOM", " CB ", 'B', "ALA", 52, 'A', 3.5f, 0.5f, "C") +
           Record("ATOM", " CB ", 'B', "ALA", 52, ' ', 4, 0.5f, "C"),
       1},
      {"water HETATM lines, some at two places",
       Record("HETATM", " O  ", ' ', "HOH", 401, ' ', 1, 1, "O") +
           Record("HETATM", " O  ", 'A', "HOH", 402, ' ', 2, 0.5f, "O") +
           Record("HETATM", " O  ", 'B', "HOH", 402, ' ', 2.5f, 0.5f, "O") +
           Record("HETATM", " O  ", 'B', "HOH", 403, ' ', 3, 0.5f, "O") + "END\n",
       1},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("case.pdb");
    WriteFileBytes(path, c.text);
    TAtomArray ours;
    std::string error;
    ASSERT_TRUE(ReadPDBFile(path, ours, error)) << error;
    EXPECT_EQ(SurveyFileRecord(path, 0)->AtomCount, static_cast<int64_t>(ours.size()));
    for (const char* options : {"", "-ab"}) {
      SCOPED_TRACE(std::string("converter options: ") + options);
      EXPECT_EQ(LeftOutOf(ConverterAtoms(path, options, dir), ours), c.laterLocations);
    }
  }
}
#endif

}  // namespace
}  // namespace pelorin
