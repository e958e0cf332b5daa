// Tests of what kind of file a file is: its format from the name, what follows from the format,
// and the program-database test.
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
  const std::optional<TRecordRule> none, sdf = TRecordRule::kSDF, lines = TRecordRule::kLines;
  const struct {
    const char* name;
    TMolFormat format;
    std::optional<TRecordRule> rule;
    bool atomTable, molfileText;
  } cases[] = {
      {"C:\\m\\LIB.SDF", F::Sdf, sdf, false, true},
      {"x.sdf", F::Sdf, sdf, false, true},
      {"a.smi", F::Smiles, lines, false, false},
      {"B.SMILES", F::Smiles, lines, false, false},
      {"a.mol", F::Mol, none, false, true},
      {"a.smi.mol", F::Mol, none, false, true},
      {"x.MOL2", F::Mol2, none, false, false},
      {"a.Pdb", F::Pdb, none, true, false},
      {"/data/b.xyz", F::Xyz, none, true, false},
      {"w.cml", F::Cml, none, false, false},
      {"dir.sdf/file", F::Unknown, none, false, false},
      {"C:\\a.sdf\\file", F::Unknown, none, false, false},
      {"x.sdf.txt", F::Unknown, none, false, false},
      {"x.sd", F::Unknown, none, false, false},
      {"sdf", F::Unknown, none, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MolFormatFromFileName(c.name), c.format);
    EXPECT_EQ(RecordRuleOf(c.format), c.rule);
    EXPECT_EQ(IsAtomTable(c.format), c.atomTable);
    EXPECT_EQ(HoldsMolfileText(c.format), c.molfileText);
  }
  EXPECT_EQ(RecordInputExtension(TRecordRule::kSDF), ".mol");
  EXPECT_EQ(RecordInputExtension(TRecordRule::kLines), ".smi");
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
