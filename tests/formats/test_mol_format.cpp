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
  using R = TRecordRule;
  const std::optional<TRecordRule> none;
  const struct {
    const char* name;
    TMolFormat format;
    std::optional<TRecordRule> rule;
    bool stepped, atomTable, ownTextOnly;
    const char* recordExtension;
  } cases[] = {
      {"C:\\m\\LIB.SDF", F::Sdf, R::kSDF, true, false, true, ".mol"},
      {"x.sdf", F::Sdf, R::kSDF, true, false, true, ".mol"},
      {"a.smi", F::Smiles, R::kLines, true, false, true, ".smi"},
      {"B.SMILES", F::Smiles, R::kLines, true, false, true, ".smi"},
      {"a.mol", F::Mol, none, false, false, true, nullptr},
      {"a.smi.mol", F::Mol, none, false, false, true, nullptr},
      {"x.MOL2", F::Mol2, R::kMOL2, false, false, false, ".mol2"},
      {"a.Pdb", F::Pdb, R::kPDB, false, true, false, ".pdb"},
      {"/data/b.xyz", F::Xyz, R::kXYZ, false, true, false, ".xyz"},
      {"w.cml", F::Cml, R::kCML, false, false, false, ".cml"},
      {"dir.sdf/file", F::Unknown, none, false, false, false, nullptr},
      {"C:\\a.sdf\\file", F::Unknown, none, false, false, false, nullptr},
      {"x.sdf.txt", F::Unknown, none, false, false, false, nullptr},
      {"x.sd", F::Unknown, none, false, false, false, nullptr},
      {"sdf", F::Unknown, none, false, false, false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MolFormatFromFileName(c.name), c.format);
    EXPECT_EQ(RecordRuleOf(c.format), c.rule);
    EXPECT_EQ(SteppedRecordRuleOf(c.format).has_value(), c.stepped);
    EXPECT_EQ(IsAtomTable(c.format), c.atomTable);
    EXPECT_EQ(HoldsMolfileOrSmilesText(c.format), c.ownTextOnly);
    if (c.rule) {
      EXPECT_EQ(RecordInputExtension(*c.rule), c.recordExtension);
    }
  }
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
