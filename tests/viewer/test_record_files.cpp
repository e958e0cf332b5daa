// Converting one record of a multi-record file through a temporary record file.
#include "convert/converter_test_util.h"
#include "formats/uRecordIndex.h"
#include "test_helpers.h"
#include "viewer/uRecordFiles.h"
#include "viewer/uWin32Window.h"

using pelorin_test::CountOf;
using namespace pelorin;
using pelorin_test::ConverterTest;

using RecordFileTest = ConverterTest;

namespace {

// A window's state for `file` with its record pass complete.
void OpenRecords(TPelorinState& state, const std::string& file, TRecordRule rule = TRecordRule::kSDF) {
  state.FileName = file;
  state.Records = std::make_shared<TRecordIndex>(file, rule);
  ASSERT_EQ(BuildRecordIndex(*state.Records), TRecordIndexState::kComplete);
  state.MolCount = SteppedRecordCount(rule, state.Records->Count());
}

}  // namespace

TEST_F(RecordFileTest, SecondOfThreeRecordsIsConvertedAloneAndItsFileRemoved) {
  TPelorinState state;
  OpenRecords(state, testpaths::SamplePath("three.sdf"));
  ASSERT_EQ(state.MolCount, 3);
  state.MolIndex = 1;
  std::string svg, error;
  ASSERT_TRUE(ConvertRecord2D(&state, svg, error)) << error;
  EXPECT_NE(svg.find(">aspirin</text>"), std::string::npos);
  EXPECT_EQ(svg.find(">caffeine</text>"), std::string::npos);
  EXPECT_EQ(svg.find(">ethanol</text>"), std::string::npos);
  EXPECT_EQ(CountOf(svg, "<g "), 1u);  // one molecule, not a grid
  std::string log = Log();
  EXPECT_NE(log.find("RunOBabelMode: InputFile=[" + temp_.Dir() + "pelorin_mol_"), std::string::npos) << log;
  // TearDown checks that no ".mol" (or any other) file is left in the temporary folder.
}

TEST_F(RecordFileTest, FileWithoutRecordsIsConvertedDirectly) {
  TPelorinState state;
  state.FileName = testpaths::SamplePath("caffeine.mol");
  std::string svg, error;
  ASSERT_TRUE(ConvertRecord2D(&state, svg, error)) << error;
  EXPECT_NE(Log().find("RunOBabelMode: InputFile=[" + state.FileName + "]"), std::string::npos);
  EXPECT_FALSE(ConvertRecord2D(nullptr, svg, error));
}

TEST_F(RecordFileTest, UnwritableRecordFileStopsBeforeTheConverter) {
  Configure([this](TPelorinConfig& c) { c.TempDir = temp_.Dir() + "missing\\"; });
  TPelorinState state;
  OpenRecords(state, testpaths::SamplePath("three.sdf"));
  std::string svg, error;
  EXPECT_FALSE(ConvertRecord2D(&state, svg, error));
  EXPECT_EQ(error.rfind("Temp file write error: ", 0), 0u) << error;
  EXPECT_EQ(Log().find("RunProcessWait"), std::string::npos);
}
