// Tests of the molecule file survey: record counts, atom counts and 3D, on the samples and on
// hostile bytes, whole, in pieces and through files.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "formats/uMolSurvey.h"
#include "test_temp_dir.h"

namespace pelorin {

bool operator==(const TRecordSurvey& a, const TRecordSurvey& b) {
  return a.AtomCount == b.AtomCount && a.AtomCountKnown == b.AtomCountKnown && a.Has3D == b.Has3D;
}
void PrintTo(const TRecordSurvey& s, std::ostream* os) {
  *os << "{" << s.AtomCount << (s.AtomCountKnown ? " known" : " unknown") << (s.Has3D ? " 3D}" : " 2D}");
}

namespace {

using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;
using TSurvey = std::optional<TRecordSurvey>;

constexpr TRecordSurvey Atoms(int64_t count, bool known, bool has3D) {
  return TRecordSurvey{count, known, has3D};
}

std::string SamplePath(const std::string& name) {
  return std::string(PELORIN_SAMPLES_DIR) + "/" + name;
}

// The record counted and surveyed from pieces of `pieceSize` bytes, as a file reader feeds them.
std::pair<int64_t, TSurvey> InPieces(const std::string& text, TMolFormat format, int64_t index, size_t pieceSize,
                                     size_t maxLine = kSurveyMaxLineBytes) {
  TRecordCounter counter(format, maxLine);
  TRecordSurveyor surveyor(format, index, maxLine);
  bool surveying = true;
  for (size_t at = 0; at < text.size(); at += pieceSize) {
    std::string_view piece = std::string_view(text).substr(at, pieceSize);
    counter.Feed(piece);
    if (surveying) surveying = surveyor.Feed(piece);
  }
  return {counter.Finish().RecordCount, surveyor.Finish()};
}

// Every sample through the file functions (format from the extension), and its text whole and
// cut into one-byte and seven-byte pieces: all must agree.
TEST(MolSurvey, Samples) {
  const struct {
    const char* file;
    int64_t records;
    int64_t index;
    TSurvey record;
  } cases[] = {
      {"caffeine.mol", 1, 0, Atoms(14, true, false)},  // header "2D", every z 0.0000
      {"caffeine.mol", 1, 1, std::nullopt},
      {"paracetamol 3d.sdf", 1, 0, Atoms(20, true, true)},
      {"three.sdf", 3, 0, Atoms(14, true, false)},
      {"three.sdf", 3, 1, Atoms(13, true, false)},
      {"three.sdf", 3, 2, Atoms(3, true, false)},
      {"three.sdf", 3, 3, std::nullopt},
      {"aspirin.mol2", 1, 0, Atoms(21, true, true)},
      {"ethanol.pdb", 1, 0, Atoms(9, true, true)},
      {"benzene.xyz", 1, 0, Atoms(12, true, true)},
      {"water.cml", 1, 0, Atoms(3, true, true)},
      {"molecules.smi", 5, 0, Atoms(14, true, false)},  // written atoms: no implicit hydrogens
      {"molecules.smi", 5, 4, Atoms(11, true, false)},
      {"molecules.smi", 5, 5, std::nullopt},
      {"benzene.smiles", 1, 0, Atoms(6, true, false)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " record " + std::to_string(c.index));
    std::string path = SamplePath(c.file);
    std::optional<TMolSurvey> records = SurveyFileRecords(path);
    ASSERT_TRUE(records);
    EXPECT_EQ(records->RecordCount, c.records);
    EXPECT_TRUE(records->RecordCountExact);
    EXPECT_EQ(SurveyFileRecord(path, c.index), c.record);
    std::string text = ReadFileBytes(path);
    TMolFormat format = MolFormatFromFileName(c.file);
    EXPECT_EQ(SurveyRecord(text, format, c.index), c.record);
    for (size_t pieceSize : {1, 7})
      EXPECT_EQ(InPieces(text, format, c.index, pieceSize), std::make_pair(c.records, c.record));
  }
}

// Files: the format from the name unless given; none for a file that cannot be read.
TEST(MolSurvey, Files) {
  TTempDir dir;
  WriteFileBytes(dir.File("a.txt"), "CCO\n");
  EXPECT_FALSE(SurveyFileRecords(dir.File("a.txt")));
  EXPECT_EQ(SurveyFileRecords(dir.File("a.txt"), TMolFormat::Smiles)->RecordCount, 1);
  EXPECT_FALSE(SurveyFileRecords(dir.File("missing.sdf")));
  EXPECT_FALSE(SurveyFileRecord(dir.File("missing.sdf"), 0));
  EXPECT_FALSE(SurveyFileRecord(SamplePath("three.sdf"), -1));
}

const std::string kCaffeine = ReadFileBytes(SamplePath("caffeine.mol"));

std::string WithBreaks(std::string text, const std::string& eol) {
  std::string out;
  for (char c : text) out += c == '\n' ? eol : std::string(1, c);
  return out;
}

const std::string kPdbAtom = "ATOM      1  N   GLY A   1       1.000   1.000   1.000  1.00  0.00           N\n";

// Record counts. SDF records are the record index's (a "$$$$" line ends one, a blank tail is none).
TEST(MolSurvey, RecordCounts) {
  const struct {
    const char* name;
    TMolFormat format;
    std::string text;
    int64_t records;
    bool exact;
  } cases[] = {
      {"SDF, CR only", TMolFormat::Sdf, WithBreaks(kCaffeine + "$$$$\n" + kCaffeine + "$$$$\n", "\r"), 2, true},
      {"SDF, CR LF", TMolFormat::Sdf, WithBreaks(kCaffeine + "$$$$\n" + kCaffeine, "\r\n"), 2, true},
      {"SDF marks with blanks, text after a mark, five dollars", TMolFormat::Sdf,
       "a\n \t$$$$ \nb\n$$$$ next\n$$$$$\n$$$$", 2, true},
      {"SDF, two marks in a row, blank tail", TMolFormat::Sdf, "a\n$$$$\n$$$$\n \n\t\n", 2, true},
      {"SDF, mark as the last bytes, NULs count as blanks", TMolFormat::Sdf, std::string("a\n\0$$$$\0", 8), 1, true},
      {"SDF blank", TMolFormat::Sdf, " \r\n\t\n", 0, true},
      {"MOL with marks is one record", TMolFormat::Mol, "a\n$$$$\nb\n$$$$\n", 1, true},
      {"MOL2", TMolFormat::Mol2, "@<TRIPOS>MOLECULE\na\n1\n@<TRIPOS>ATOM\n  @<TRIPOS>MOLECULE\nb\n", 2, true},
      {"XYZ blocks with blank lines between", TMolFormat::Xyz, "1\nt\nH 0 0 0\n\n0\nempty\n2\nt\nH 0 0 0\nH 1 0 0\n\n",
       3, true},
      {"XYZ with a short block: its count takes the next block's lines, as the reader's does", TMolFormat::Xyz,
       "3\nt\nH 0 0 0\n1\nt\nH 0 0 0\n", 1, false},
      {"XYZ with junk after a block", TMolFormat::Xyz, "1\nt\nH 0 0 0\nnot a count\n1\nt\nH 0 0 0\n", 1, false},
      {"CML, nested and commented molecules", TMolFormat::Cml,
       "<cml><!-- <molecule> --><molecule><molecule/></molecule><![CDATA[<molecule>]]><cml:molecule id='b'/></cml>", 2,
       true},
      {"CML without molecule elements", TMolFormat::Cml, "<atomArray><atom/></atomArray>", 1, true},
      {"SMILES, blank lines are no records", TMolFormat::Smiles, "C\n\n  \r\nCC\rN", 3, true},
      {"PDB models that hold atoms, up to END", TMolFormat::Pdb,
       "REMARK\nENDMDL\n" + kPdbAtom + "ENDMDL\nMODEL 2\n" + kPdbAtom + "ENDMDL\nCONECT\nEND\n" + kPdbAtom, 2, true},
      {"PDB without atoms", TMolFormat::Pdb, "REMARK\n", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMolSurvey survey = SurveyRecords(c.text, c.format);
    EXPECT_EQ(survey.RecordCount, c.records);
    EXPECT_EQ(survey.RecordCountExact, c.exact);
    EXPECT_EQ(InPieces(c.text, c.format, 0, 1).first, c.records);
  }
  for (TMolFormat format : {TMolFormat::Mol, TMolFormat::Sdf, TMolFormat::Mol2, TMolFormat::Smiles, TMolFormat::Pdb,
                            TMolFormat::Xyz, TMolFormat::Cml}) {
    EXPECT_EQ(SurveyRecords("", format).RecordCount, 0);
    EXPECT_FALSE(SurveyRecord("", format, 0));
  }
}

std::string V2000(const std::string& header, const std::string& counts, const std::vector<std::string>& atoms) {
  std::string text = "title\n" + header + "\n\n" + counts + "  0  0  0  0  0  0  0  0999 V2000\n";
  for (const std::string& atom : atoms) text += atom + " C   0  0  0  0  0  0  0  0  0  0  0  0\n";
  return text + "  1  2  1  0  0  0  0\nM  END\n";
}
const std::string kFlat = "    0.0000    1.5000    0.0000";
const std::string kLifted = "    0.0000    1.5000   -0.0100";

// Atom counts and 3D per format, and what is reported when the bytes hold less than claimed.
TEST(MolSurvey, RecordSurveys) {
  const std::string v3000Head = "t\n  Prog  0101010000\n\n  0  0  0     0  0            999 V3000\nM  V30 BEGIN CTAB\n";
  const struct {
    const char* name;
    TMolFormat format;
    std::string text;
    int64_t index;
    TSurvey record;
  } cases[] = {
      {"V2000 dimension code 3D, flat atoms", TMolFormat::Mol, V2000("  Prog    01010100003D", " 2  1", {kFlat, kFlat}),
       0, Atoms(2, true, true)},
      {"V2000 2D code, one lifted atom", TMolFormat::Mol, V2000("  Prog    01010100002D", "  2  1", {kFlat, kLifted}),
       0, Atoms(2, true, true)},
      {"V2000 claims 999 atoms, holds 2", TMolFormat::Mol, V2000("", "999  1", {kFlat, kFlat}), 0,
       Atoms(2, false, false)},
      {"V2000 claims more than the file's end allows", TMolFormat::Sdf, "t\n\n\n  5  0\n" + kFlat + "\n", 0,
       Atoms(1, false, false)},
      {"V2000 without a counts line", TMolFormat::Sdf, "t\nh\n$$$$\n", 0, Atoms(0, false, false)},
      {"V2000 counts line no number", TMolFormat::Sdf, "t\nh\n\n  x  1\n" + kFlat + "\n", 0, Atoms(0, false, false)},
      {"record of blank lines ended by a mark", TMolFormat::Sdf, "a\n$$$$\n\n\n\n\n$$$$\n", 1, Atoms(0, false, false)},
      {"blank tail after the last mark is no record", TMolFormat::Sdf, "a\n$$$$\n\n\n\n\n", 1, std::nullopt},
      {"V2000, CR only, second record", TMolFormat::Sdf, WithBreaks("x\n$$$$\n" + V2000("", "  1  0", {kLifted}), "\r"),
       1, Atoms(1, true, true)},
      {"V3000 with a continued atom entry", TMolFormat::Sdf,
       v3000Head + "M  V30 COUNTS 2 0 0 0 0\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 2 NOT [N,O] 1.0 2.0 -\n"
                   "M  V30 0.5 0\nM  V30 END ATOM\nM  END\n",
       0, Atoms(2, true, true)},
      {"V3000 claims 5 atoms, holds 1", TMolFormat::Mol,
       v3000Head + "M  V30 COUNTS 5 0 0 0 0\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 END ATOM\nM  END\n", 0,
       Atoms(1, false, false)},
      {"V3000 count past int64", TMolFormat::Mol,
       v3000Head + "M  V30 COUNTS 99999999999999999999999 0\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 1e-3 0\n", 0,
       Atoms(1, false, true)},
      {"MOL2 claims 99 atoms, holds 2 flat ones", TMolFormat::Mol2,
       "@<TRIPOS>MOLECULE\nm\n 99 0\n@<TRIPOS>ATOM\n 1 C 1.0 2.0 0.0 C.3\n# note\n 2 C 1.0 2.0 -0.000 C.3\n"
       "@<TRIPOS>BOND\n 1 1 2 1\n",
       0, Atoms(2, false, false)},
      {"MOL2 second molecule", TMolFormat::Mol2,
       "@<TRIPOS>MOLECULE\na\n1\n@<TRIPOS>ATOM\n1 C 0 0 1 C\n@<TRIPOS>MOLECULE\nb\n1 0\n@<TRIPOS>ATOM\n1 C 0 0 1 C\n",
       1, Atoms(1, true, true)},
      {"XYZ claims 10^12 atoms, holds 2", TMolFormat::Xyz, "1000000000000\nt\nH 0 0 0\nH 1 0 0\n", 0,
       Atoms(2, false, true)},
      {"XYZ count past 2^64 is no count, as to the reader", TMolFormat::Xyz, "100000000000000000000\nt\nH 0 0 0\n", 0,
       std::nullopt},
      {"XYZ second block", TMolFormat::Xyz, "1\nt\nH 0 0 0\n2\nt\nH 0 0 0\nH 1 0 0\n", 1, Atoms(2, true, true)},
      {"PDB second model, its own first locations", TMolFormat::Pdb,
       "MODEL 1\n" + kPdbAtom + "ENDMDL\nMODEL 2\n" + kPdbAtom + kPdbAtom.substr(0, 16) + "B" + kPdbAtom.substr(17) +
           kPdbAtom.substr(0, 16) + "A" + kPdbAtom.substr(17) + "ENDMDL\n",
       1, Atoms(2, true, true)},
      {"CML array form", TMolFormat::Cml,
       "<molecule><atomArray atomID=\" a1 a2\ta3 \" elementType=\"O H H\" x3=\"0 1 2\"/></molecule>", 0,
       Atoms(3, true, true)},
      {"CML second molecule, 2D, namespace prefixes", TMolFormat::Cml,
       "<?xml version='1.0'?><c:cml><c:molecule><c:atom x3='1'/></c:molecule>\n<c:molecule id='m>2'>"
       "<c:atomArray><c:atom x2=\"1\" y2=\"2\"/><c:atom/></c:atomArray></c:molecule></c:cml>",
       1, Atoms(2, true, false)},
      {"CML cut inside a molecule", TMolFormat::Cml, "<molecule><atom z3='0'/><atom id='a", 0, Atoms(1, false, true)},
      {"SMILES bracket atoms, Cl and Br, title", TMolFormat::Smiles,
       "\n  [NH4+].[Cl-]\tsalt\nC1CC[C@@H](Br)CC1Cl  ring\n", 1, Atoms(8, true, false)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SurveyRecord(c.text, c.format, c.index), c.record);
    EXPECT_EQ(InPieces(c.text, c.format, c.index, 1).second, c.record);
  }
}

// Lines longer than the survey's limit, and files longer than one read.
TEST(MolSurvey, LongLinesAndLargeFiles) {
  // Cut lines: a mark followed by many blanks still is one, followed by text it is not.
  std::string blanks(100, ' ');
  EXPECT_EQ(InPieces("a\n$$$$" + blanks + "\nb\n", TMolFormat::Sdf, 0, 3, 8).first, 2);
  EXPECT_EQ(InPieces("a\n$$$$" + blanks + "x\n", TMolFormat::Sdf, 0, 3, 8).first, 1);
  EXPECT_EQ(InPieces(blanks + "x\n", TMolFormat::Smiles, 0, 5, 8),
            std::make_pair(int64_t{1}, TSurvey(Atoms(0, false, false))));
  EXPECT_EQ(InPieces("CCCCCCCCCCCC\n", TMolFormat::Smiles, 0, 5, 8).second, TSurvey(Atoms(8, false, false)));
  EXPECT_EQ(InPieces("CCCCCCC N\n", TMolFormat::Smiles, 0, 5, 8).second, TSurvey(Atoms(7, true, false)));

  // 5000 records over several 1 MiB reads, breaks cut between them; the last is 3D.
  std::string record = WithBreaks(kCaffeine, "\r\n") + "$$$$\r\n";
  std::string text;
  for (int i = 0; i < 4999; ++i) text += record;
  text += V2000("", "  1  0", {kLifted});
  ASSERT_GT(text.size(), size_t{3} << 20);
  TTempDir dir;
  WriteFileBytes(dir.File("big.sdf"), text);
  EXPECT_EQ(SurveyFileRecords(dir.File("big.sdf"))->RecordCount, 5000);
  EXPECT_EQ(SurveyFileRecord(dir.File("big.sdf"), 4998), TSurvey(Atoms(14, true, false)));
  EXPECT_EQ(SurveyFileRecord(dir.File("big.sdf"), 4999), TSurvey(Atoms(1, true, true)));
  EXPECT_EQ(SurveyFileRecord(dir.File("big.sdf"), 5000), std::nullopt);
}

// Bytes of no format: every machine must end without a record that is not there.
TEST(MolSurvey, Junk) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) % 251);
  for (TMolFormat format : {TMolFormat::Mol, TMolFormat::Sdf, TMolFormat::Mol2, TMolFormat::Smiles, TMolFormat::Pdb,
                            TMolFormat::Xyz, TMolFormat::Cml}) {
    TMolSurvey survey = SurveyRecords(junk, format);
    EXPECT_GE(survey.RecordCount, 0);
    EXPECT_FALSE(SurveyRecord(junk, format, survey.RecordCount));
    EXPECT_EQ(InPieces(junk, format, 0, 13), std::make_pair(survey.RecordCount, SurveyRecord(junk, format, 0)));
  }
}

}  // namespace
}  // namespace pelorin
