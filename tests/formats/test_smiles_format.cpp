// Tests of the SMILES module: one record per non-blank line, whatever the breaks and the chunks
// read, and the survey of a line's written atoms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/uSMILESFormat.h"
#include "record_test_util.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;
using namespace record_test;

// The lines of a SMILES file as records: one per non-blank line, whatever the breaks and chunks.
TEST(SMILESFormat, LinesAreRecords) {
  const struct {
    const char* name;
    std::string text;
    TRecords records;
  } cases[] = {
      {"LF, CR, CR LF, blank lines and blanks",
       "CCO ethanol\n\n  \nc1ccccc1\rC[NH3+] x\r\n\t\r\n\r\nO",
       {"CCO ethanol\r\n", "c1ccccc1\r\n", "C[NH3+] x\r\n", "O\r\n"}},
      {"a CR at the very end", "C\r", {"C\r\n"}},
      {"only blank lines", " \n\r\n\t", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir dir;
    std::string path = dir.File("in.smi");
    WriteFileBytes(path, c.text);
    for (size_t chunkSize : {1, 2, 3, 5, 64}) {
      SCOPED_TRACE("chunks of " + std::to_string(chunkSize));
      TRecordIndex index(path, TRecordRule::kSMILES);
      EXPECT_EQ(BuildRecordIndex(index, {}, {}, chunkSize), TRecordIndexState::kComplete);
      EXPECT_EQ(ReadIndexed(index), c.records);
    }
  }
  // A line that changed since the pass is an error, not another molecule.
  TTempDir dir;
  std::string path = dir.File("in.smi");
  WriteFileBytes(path, "CCO\nCCN\n");
  TRecordIndex index(path, TRecordRule::kSMILES);
  ASSERT_EQ(BuildRecordIndex(index), TRecordIndexState::kComplete);
  WriteFileBytes(path, "CCO\nCC\nN\n");
  std::string text, error;
  EXPECT_FALSE(index.ReadRecord(1, text, error));
  EXPECT_EQ(error, "Cannot read " + path + ": the file has changed since its records were counted");
}

TEST(SMILESFormat, RecordCountsAndSurveys) {
  ExpectCounts({
      {"SMILES, blank lines are no records", TMolFormat::Smiles, "C\n\n  \r\nCC\rN", 3, true},
  });
  ExpectSurveys({
      {"SMILES bracket atoms, Cl and Br, title", TMolFormat::Smiles,
       "\n  [NH4+].[Cl-]\tsalt\nC1CC[C@@H](Br)CC1Cl  ring\n", 1, Atoms(8, true, false)},
  });
}

}  // namespace
}  // namespace pelorin
