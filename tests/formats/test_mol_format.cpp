// Tests of what kind of file a file is: its format from the name, what its row in the table of
// formats says, and the program-database test.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "formats/uMolFormat.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

TEST(MolFormat, KindFromTheNameAndWhatFollowsFromIt) {
  using F = TMolFormat;
  using R = TRecordRule;
  const std::optional<TRecordRule> none;
  const struct {
    const char* name;
    TMolFormat format;
    std::optional<TRecordRule> rule;
    bool atomTable, ownTextOnly;
    const char* recordExtension;
  } cases[] = {
      {"C:\\m\\LIB.SDF", F::Sdf, R::kSDF, false, true, ".mol"},
      {"x.sdf", F::Sdf, R::kSDF, false, true, ".mol"},
      {"a.smi", F::Smiles, R::kSMILES, false, true, ".smi"},
      {"B.SMILES", F::Smiles, R::kSMILES, false, true, ".smi"},
      {"a.mol", F::Mol, none, false, true, nullptr},
      {"a.smi.mol", F::Mol, none, false, true, nullptr},
      {"x.MOL2", F::Mol2, R::kMOL2, false, false, ".mol2"},
      {"a.Pdb", F::Pdb, R::kPDB, true, false, ".pdb"},
      {"/data/b.xyz", F::Xyz, R::kXYZ, true, false, ".xyz"},
      {"w.cml", F::Cml, R::kCML, false, false, ".cml"},
      {"dir.sdf/file", F::Unknown, none, false, false, nullptr},
      {"C:\\a.sdf\\file", F::Unknown, none, false, false, nullptr},
      {"x.sdf.txt", F::Unknown, none, false, false, nullptr},
      {"x.sd", F::Unknown, none, false, false, nullptr},
      {"sdf", F::Unknown, none, false, false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MolFormatFromFileName(c.name), c.format);
    EXPECT_EQ(RecordRuleOf(c.format), c.rule);
    EXPECT_EQ(IsAtomTable(c.format), c.atomTable);
    EXPECT_EQ(HoldsMolfileOrSmilesText(c.format), c.ownTextOnly);
    if (c.rule) {
      EXPECT_EQ(RecordInputExtension(*c.rule), c.recordExtension);
      EXPECT_EQ(RowOf(*c.rule).Format, c.format);
    }
  }
}

// What the rows tell the viewer, rule by rule: each rule has a scanner, and the answers callers
// ask instead of comparing rules.
TEST(MolFormat, RowsOfTheRecordRules) {
  using R = TRecordRule;
  const struct {
    TRecordRule rule;
    const char* word;
    bool dataItems;
    TSearchPlaces places;
    TCountLine countLine;
    size_t gridMax;
    bool endsAtBreaks;
  } cases[] = {
      {R::kSDF, "Molecule", true, TSearchPlaces::kMolfile, TCountLine::kSDFSplit, 0, true},
      {R::kSMILES, "Molecule", false, TSearchPlaces::kTextLine, TCountLine::kSMILESLines, kGridMaxLines, true},
      {R::kMOL2, "Molecule", false, TSearchPlaces::kLines, TCountLine::kRecords, 0, true},
      {R::kXYZ, "Frame", false, TSearchPlaces::kLines, TCountLine::kRecords, 0, true},
      {R::kPDB, "Model", false, TSearchPlaces::kLines, TCountLine::kRecords, 0, true},
      {R::kCML, "Molecule", false, TSearchPlaces::kLines, TCountLine::kRecords, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.rule));
    EXPECT_EQ(RecordWordOf(c.rule), c.word);
    EXPECT_EQ(RecordsHaveDataItems(c.rule), c.dataItems);
    EXPECT_EQ(SearchPlacesOf(c.rule), c.places);
    EXPECT_EQ(CountLineOf(c.rule), c.countLine);
    EXPECT_EQ(GridMaxRecords(c.rule), c.gridMax);
    EXPECT_EQ(RecordsEndAtLineBreaks(c.rule), c.endsAtBreaks);
    EXPECT_EQ(DrawnAsOneGrid(c.rule, 0), c.gridMax > 0);
    EXPECT_EQ(DrawnAsOneGrid(c.rule, kGridMaxLines), c.gridMax > 0);
    EXPECT_FALSE(DrawnAsOneGrid(c.rule, kGridMaxLines + 1));
    EXPECT_NE(RowOf(c.rule).MakeScanner, nullptr);
    EXPECT_NE(RowOf(c.rule).MakeSurvey, nullptr);
  }
  // A file without records is searched as a MOL file.
  EXPECT_EQ(SearchPlacesOf(TMolFormat::Mol), TSearchPlaces::kMolfile);
  EXPECT_EQ(SearchPlacesOf(TMolFormat::Unknown), TSearchPlaces::kMolfile);
}

TEST(MolFormat, ProgramDatabasesAreRecognisedByTheirFirstBytes) {
  TTempDir dir;
  using namespace std::string_literals;
  const std::pair<std::string, bool> cases[] = {
      {"Microsoft C/C++ MSF 7.00\r\n\x1a"
       "DS\0\0\0"s,
       true},
      {"Microsoft C/C++ program database 2.00\r\n\x1aJG\0\0"s, true},
      {"HEADER    PLANT PROTEIN                           30-APR-81   1CRN\n"s, false},
      {"Microsoft C/C+"s, false},
      {""s, false},
  };
  int n = 0;
  for (const auto& [bytes, debugSymbols] : cases) {
    std::string path = dir.File("case" + std::to_string(n++) + ".pdb");
    WriteFileBytes(path, bytes);
    EXPECT_EQ(IsProgramDatabaseFile(path), debugSymbols) << bytes;
  }
  EXPECT_FALSE(IsProgramDatabaseFile(dir.File("missing.pdb")));
}

}  // namespace
}  // namespace pelorin
