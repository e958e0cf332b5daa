// The process runner: exit codes, captured output, time-out, concurrency, capture files.
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "converter_test_util.h"

using namespace pelorin;
using namespace pelorin::testpaths;
using pelorin_test::ConverterTest;
using pelorin_test::CountOf;

using RunProcessWaitTest = ConverterTest;

namespace {

// Milliseconds between the time stamps of the last log lines holding `first` and `second`.
int64_t LogMillisecondsBetween(const std::string& log, const std::string& first, const std::string& second) {
  auto stampOf = [&log](const std::string& text) -> int64_t {
    size_t at = log.rfind(text);
    if (at == std::string::npos) return -1;
    size_t line = log.rfind('\n', at) + 1;  // "HH:MM:SS.mmm  message"
    int h = 0, m = 0, s = 0, ms = 0;
    if (std::sscanf(log.c_str() + line, "%d:%d:%d.%d", &h, &m, &s, &ms) != 4) return -1;
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
  };
  int64_t a = stampOf(first), b = stampOf(second);
  return a < 0 || b < 0 ? -1 : (b - a + 86400000) % 86400000;
}

}  // namespace

TEST_F(RunProcessWaitTest, MissingOrRelativeProgramFailsWithoutLeavingACaptureFile) {
  int32_t code = 0;
  EXPECT_FALSE(RunProcessWait("C:\\no\\such\\obabel.exe", "C:\\no\\such\\obabel.exe in.mol", code));
  EXPECT_EQ(code, -1);
  std::string log = Log();
  EXPECT_NE(log.find("RunProcessWait: CMD=[C:\\no\\such\\obabel.exe in.mol]"), std::string::npos);
  EXPECT_NE(log.find("RunProcessWait: CreateProcess FAILED: "), std::string::npos) << log;

  // A name without a folder would be looked for in the current directory: never started.
  EXPECT_FALSE(RunProcessWait("obabel.exe", "obabel.exe in.mol", code));
  EXPECT_NE(Log().find("RunProcessWait: not a full path, not started: obabel.exe"), std::string::npos);
  EXPECT_EQ(CountOf(Log(), "RunProcessWait: CMD=["), 1u);
}

TEST_F(RunProcessWaitTest, NonZeroExitCodeIsAResultNotAFailure) {
  int32_t code = 0;
  EXPECT_TRUE(RunProcessWait(Exit2StandInExe(), "\"" + Exit2StandInExe() + "\" a b", code));
  EXPECT_EQ(code, 2);
  std::string log = Log();
  EXPECT_NE(log.find("RunProcessWait: ExitCode=2\r\n"), std::string::npos);
  EXPECT_EQ(CountOf(log, "  obabel> "), 2u) << log;
}

TEST_F(RunProcessWaitTest, StandardErrorReachesTheLog) {
  int32_t code = -5;
  EXPECT_TRUE(RunProcessWait(StderrStandInExe(), StderrStandInExe(), code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(CountOf(Log(), "  obabel> "), 2u) << Log();
}

TEST_F(RunProcessWaitTest, TimeOutKillsTheChildOnTimeAndKeepsWhatItPrinted) {
  // With a stop token that can stop (a load thread's) the wait runs in short slices so that the
  // stop is seen; each slice may last longer than asked, and the limit must still hold.
  SetRunLimits({1500, 5000});
  const TStopSource neverStopped;
  for (bool onLoadThread : {false, true}) {
    const TStopToken stop = onLoadThread ? neverStopped.Token() : TStopToken();
    int32_t code = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunProcessFor(SleepStandInExe(), SleepStandInExe(), 0, code, {}, stop), TRunEnd::TimedOut);
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(code, -1);
    EXPECT_LT(seconds, 20.0);
    std::string log = Log();
    // From just before the start to the kill: the limit, plus the process start.
    int64_t waited = LogMillisecondsBetween(log, "RunProcessWait: CMD=[", "RunProcessWait: TIMEOUT after 1500 ms");
    EXPECT_GE(waited, 1500 - 16) << "load thread: " << onLoadThread << log;  // one timer tick of rounding
    EXPECT_LT(waited, 1500 + 500) << "load thread: " << onLoadThread << log;
    EXPECT_NE(log.find("RunProcessWait: ExitCode=-1"), std::string::npos);
    EXPECT_NE(log.find("  obabel> stand-in: sleeping"), std::string::npos) << log;
  }
}

TEST_F(RunProcessWaitTest, ChildKilledWhileStillStartingLeavesNoCaptureBehind) {
  // A load closed at once kills its converter while it is still being set up; whatever the
  // child was given at that moment must not outlive the run. (A console host the child was
  // starting when it was killed is passed over by the job's end under Wine until its first thread
  // runs; it holds the child's output: the run waits until the job is empty.)
  for (uint32_t ms = 2; ms <= 80; ms += 6) {
    int32_t code = 0;
    EXPECT_EQ(RunProcessFor(SleepStandInExe(), SleepStandInExe(), ms, code), TRunEnd::TimedOut);
    EXPECT_TRUE(std::filesystem::is_empty(temp_.Path())) << "killed after " << ms << " ms";
  }
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
      results[i] = RunProcessWait(exe, "\"" + exe + "\"", codes[i]);
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
