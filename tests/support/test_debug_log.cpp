// The debug log: exact header block, appending, closing lines, and logs that cannot be written.
#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "support/uDebugLog.h"
#include "test_temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace pelorin;
using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;

namespace {

const std::string kRule(64, '=');
const std::string kDash = "\xE2\x80\x93";

class DebugLogTest : public ::testing::Test {
 protected:
  void TearDown() override { DebugLogClose(); }
  std::string LogText() const { return ReadFileBytes(dir_.File("pelorindebug.log")); }
  TTempDir dir_;
};

// The header block with its stamps replaced by a pattern.
std::string HeaderPattern(const std::string& dir, const std::string& logFile) {
  auto quote = [](const std::string& s) {
    return std::regex_replace(s, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
  };
  const std::string stamp = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})";
  return "\r\n" + kRule + "\r\n" + stamp + quote("  Pelorin WLX Plugin " + kDash + " log opened") + "\r\n" + stamp +
         quote("  PluginDir: " + dir) + "\r\n" + stamp + quote("  LogFile:   " + logFile) + "\r\n" + kRule + "\r\n";
}

const std::string kLineStamp = R"(\d{2}:\d{2}:\d{2}\.\d{3})";

}  // namespace

TEST_F(DebugLogTest, HeaderBlockLinesAndClosingLineAreExact) {
  DebugLogSetup(dir_.Dir(), true);
  ASSERT_TRUE(DebugLogEnabled());
  DebugLogFmt("LoadConfig: PluginDir=[%s] n=%d f=%.1f", "C:\\x", 42, 2.75);
  DebugLogSection("ListLoad (Ansi)");
  DebugLogClose();
  DebugLogClose();  // a second close writes nothing more

  const std::string expected = HeaderPattern(dir_.Dir(), dir_.File("pelorindebug.log")) + kLineStamp +
                               R"(  LoadConfig: PluginDir=\[C:\\x\] n=42 f=2\.8\r\n)" + kLineStamp +
                               R"(  --- ListLoad \(Ansi\) ---\r\n)" + kLineStamp + R"(  Log closed\.\r\n)";
  std::string text = LogText();
  EXPECT_TRUE(std::regex_match(text, std::regex(expected))) << text;
}

TEST_F(DebugLogTest, DirectoryWithoutSeparatorAndReopeningAppend) {
  std::string bare = dir_.Dir().substr(0, dir_.Dir().size() - 1);
  DebugLogSetup(bare, true);
  DebugLog("first");
  DebugLogSetup(bare, true);  // reopening writes a fresh header, no closing line
  DebugLog("second");
  DebugLogSetup(bare, false);
  DebugLog("lost");

  const std::string header = HeaderPattern(bare, dir_.File("pelorindebug.log"));
  const std::string expected = header + kLineStamp + "  first\r\n" + header + kLineStamp + "  second\r\n" + kLineStamp +
                               "  Logging disabled " + kDash + " closing log\\.\r\n";
  std::string text = LogText();
  EXPECT_TRUE(std::regex_match(text, std::regex(expected))) << text;
  EXPECT_FALSE(DebugLogEnabled());
  EXPECT_EQ(DebugLogFileName(), "");
}

TEST_F(DebugLogTest, LoggingOffCreatesNoFile) {
  DebugLogSetup(dir_.Dir(), false);
  DebugLog("nothing");
  DebugLogFmt("%s", "nothing");
  DebugLogClose();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("pelorindebug.log")));
}

TEST_F(DebugLogTest, UnopenableLogLeavesLoggingOffSilently) {
  DebugLogSetup(dir_.Dir() + "no-such-folder", true);
  EXPECT_FALSE(DebugLogEnabled());
  DebugLog("goes nowhere");
  DebugLogClose();
}

#ifdef _WIN32
TEST_F(DebugLogTest, LogHeldOpenByAnotherWriterLeavesLoggingOff) {
  std::string path = dir_.File("pelorindebug.log");
  HANDLE other = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DebugLogSetup(dir_.Dir(), true);
  EXPECT_FALSE(DebugLogEnabled());
  DebugLog("goes nowhere");
  CloseHandle(other);
}
#endif

TEST_F(DebugLogTest, LinesFromManyThreadsNeverInterleave) {
  DebugLogSetup(dir_.Dir(), true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) DebugLogFmt("thread %d line %d %s", t, i, std::string(100, 'x').c_str());
    });
  // Reopening while others write must never send a line to a closed handle.
  for (int i = 0; i < 20; ++i) DebugLogSetup(dir_.Dir(), true);
  for (auto& th : threads) th.join();
  DebugLogClose();
  std::string text = LogText();
  std::regex line(kLineStamp + R"(  thread \d line \d+ x{100})");
  size_t count = 0, start = 0, end;
  while ((end = text.find("\r\n", start)) != std::string::npos) {
    std::string l = text.substr(start, end - start);
    if (l.find("thread") != std::string::npos) {
      EXPECT_TRUE(std::regex_match(l, line)) << l;
      ++count;
    }
    start = end + 2;
  }
  EXPECT_EQ(count, 800u);
}
