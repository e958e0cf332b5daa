// Tests of the molecule file survey: record counts, atom counts and 3D, on the samples and on
// hostile bytes, whole, in pieces and through files.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "formats/uMolSurvey.h"
#include "record_test_util.h"
#include "test_temp_dir.h"

namespace pelorin {

namespace {

using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;
using namespace record_test;

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

const std::string kPdbAtom = "ATOM      1  N   GLY A   1       1.000   1.000   1.000  1.00  0.00           N\n";

// Record counts of XYZ and PDB files, and of empty text in every format (each of the other formats'
// counts is tested in its module's test file).
TEST(MolSurvey, RecordCounts) {
  ExpectCounts({
      {"XYZ blocks with blank lines between", TMolFormat::Xyz, "1\nt\nH 0 0 0\n\n0\nempty\n2\nt\nH 0 0 0\nH 1 0 0\n\n",
       3, true},
      {"XYZ with a short block: its count takes the next block's lines, as the reader's does", TMolFormat::Xyz,
       "3\nt\nH 0 0 0\n1\nt\nH 0 0 0\n", 1, false},
      {"XYZ with junk after a block", TMolFormat::Xyz, "1\nt\nH 0 0 0\nnot a count\n1\nt\nH 0 0 0\n", 1, false},
      {"PDB models that hold atoms, up to END", TMolFormat::Pdb,
       "REMARK\nENDMDL\n" + kPdbAtom + "ENDMDL\nMODEL 2\n" + kPdbAtom + "ENDMDL\nCONECT\nEND\n" + kPdbAtom, 2, true},
      {"PDB without atoms", TMolFormat::Pdb, "REMARK\n", 0, true},
  });
  for (TMolFormat format : {TMolFormat::Mol, TMolFormat::Sdf, TMolFormat::Mol2, TMolFormat::Smiles, TMolFormat::Pdb,
                            TMolFormat::Xyz, TMolFormat::Cml}) {
    EXPECT_EQ(SurveyRecords("", format).RecordCount, 0);
    EXPECT_FALSE(SurveyRecord("", format, 0));
  }
}

// Atom counts and 3D of XYZ and PDB records, and what is reported when the bytes hold less than
// claimed (the other formats' surveys are tested in their modules' test files).
TEST(MolSurvey, RecordSurveys) {
  ExpectSurveys({
      {"XYZ claims 10^12 atoms, holds 2", TMolFormat::Xyz, "1000000000000\nt\nH 0 0 0\nH 1 0 0\n", 0,
       Atoms(2, false, true)},
      {"XYZ count past 2^64 is no count, as to the reader", TMolFormat::Xyz, "100000000000000000000\nt\nH 0 0 0\n", 0,
       std::nullopt},
      {"XYZ second block", TMolFormat::Xyz, "1\nt\nH 0 0 0\n2\nt\nH 0 0 0\nH 1 0 0\n", 1, Atoms(2, true, true)},
      {"PDB second model, its own first locations", TMolFormat::Pdb,
       "MODEL 1\n" + kPdbAtom + "ENDMDL\nMODEL 2\n" + kPdbAtom + kPdbAtom.substr(0, 16) + "B" + kPdbAtom.substr(17) +
           kPdbAtom.substr(0, 16) + "A" + kPdbAtom.substr(17) + "ENDMDL\n",
       1, Atoms(2, true, true)},
  });
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
