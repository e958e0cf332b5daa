// Tests of the file helpers: the temporary record file a conversion reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/uFileIO.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

TEST(WriteRecordTemp, WritesExactBytesAndReplacesOldFile) {
  TTempDir dir;
  std::string path = dir.File("pelorin_mol_x.mol");
  std::string error = "stale";
  WriteFileBytes(path, std::string(5000, 'o'));
  const std::string record = std::string("t\r\n  \x01\xff bytes\r\n$$$$\r\n") + '\0' + "tail";
  ASSERT_TRUE(WriteRecordTemp(path, record, error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFileBytes(path), record);
  ASSERT_TRUE(WriteRecordTemp(path, "", error));
  EXPECT_EQ(ReadFileBytes(path), "");
}

TEST(WriteRecordTemp, FailureGivesMessageAndLeavesNoFile) {
  TTempDir dir;
  std::string path = dir.File("no_such_folder/rec.mol");
  std::string error;
  EXPECT_FALSE(WriteRecordTemp(path, "x\r\n", error));
  const std::string prefix = "Temp file write error: ";
  ASSERT_GT(error.size(), prefix.size());
  EXPECT_EQ(error.substr(0, prefix.size()), prefix);
  EXPECT_FALSE(std::filesystem::exists(path));
}

#ifndef _WIN32
// A write that the disk refuses must not pass for a written record.
TEST(WriteRecordTemp, FullDiskIsAFailure) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::string error;
  EXPECT_FALSE(WriteRecordTemp("/dev/full", std::string(1 << 16, 'x'), error));
  EXPECT_EQ(error.rfind("Temp file write error: ", 0), 0u) << error;
}
#endif

}  // namespace
}  // namespace pelorin
