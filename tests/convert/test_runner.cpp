// The process runner: start failures, time-out, concurrency, capture files (exit codes and
// captured output are shown with the stand-ins in tests/tools).
#include <chrono>
#include <thread>
#include <vector>

#include "converter_test_util.h"

using namespace pelorin;
using namespace pelorin::testpaths;
using pelorin_test::ConverterTest;
using pelorin_test::CountOf;

using RunProcessWaitTest = ConverterTest;

TEST_F(RunProcessWaitTest, MissingProgramFailsWithoutLeavingACaptureFile) {
  int32_t code = 0;
  EXPECT_FALSE(RunProcessWait("C:\\no\\such\\obabel.exe in.mol", code));
  EXPECT_EQ(code, -1);
  std::string log = Log();
  EXPECT_NE(log.find("RunProcessWait: CMD=[C:\\no\\such\\obabel.exe in.mol]"), std::string::npos);
  EXPECT_NE(log.find("RunProcessWait: CreateProcess FAILED: "), std::string::npos) << log;
}

TEST_F(RunProcessWaitTest, TimeOutKillsTheChildAndKeepsWhatItPrinted) {
  SetRunLimits({1500, 5000});
  int32_t code = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunProcessWait(SleepStandInExe(), code));
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(code, -1);
  EXPECT_LT(seconds, 20.0);
  std::string log = Log();
  EXPECT_NE(log.find("RunProcessWait: TIMEOUT after 1500 ms, terminating obabel process"), std::string::npos);
  EXPECT_NE(log.find("RunProcessWait: ExitCode=-1"), std::string::npos);
  EXPECT_NE(log.find("  obabel> stand-in: sleeping"), std::string::npos) << log;
}

TEST_F(RunProcessWaitTest, ConcurrentRunsKeepTheirCaptureFilesApart) {
  // A slow child started while another run creates its capture file must not inherit
  // that file's handle; otherwise the file could not be deleted and would be left behind.
  SetRunLimits({4000, 5000});
  std::vector<std::thread> runs;
  std::vector<int32_t> codes(4, 0);
  std::vector<char> results(4, 0);
  for (int i = 0; i < 4; ++i)
    runs.emplace_back([&, i] {
      std::string exe = i == 0 ? SleepStandInExe() : Exit2StandInExe();
      results[i] = RunProcessWait("\"" + exe + "\"", codes[i]);
    });
  for (auto& t : runs) t.join();
  EXPECT_FALSE(results[0]);
  for (int i = 1; i < 4; ++i) {
    EXPECT_TRUE(results[i]);
    EXPECT_EQ(codes[i], 2);
  }
  EXPECT_EQ(CountOf(Log(), "RunProcessWait: ExitCode=2"), 3u);
}

TEST(UniqueNames, TempFileNamesHaveTheirFormAndNeverRepeat) {
  std::string a = MakeTempFileName("C:\\T", "obabel_out", ".tmp");
  std::string b = MakeTempFileName("C:\\T\\", "obabel_out", ".tmp");
  ASSERT_EQ(a.size(), std::string("C:\\T\\obabel_out_").size() + 32 + 4);
  EXPECT_EQ(a.substr(0, 16), "C:\\T\\obabel_out_");
  EXPECT_EQ(a.substr(a.size() - 4), ".tmp");
  EXPECT_EQ(a.substr(16, 32).find_first_not_of("0123456789ABCDEF"), std::string::npos) << a;
  EXPECT_NE(a, b);
}
