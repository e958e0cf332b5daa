// Tests of the Wine bridge obabel.exe and the stand-in converters, started by the plugin's
// own process runner: windowless, no input, both output streams captured into the log.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "convert/converter_test_util.h"

using namespace pelorin;
using namespace pelorin::testpaths;
using pelorin_test::ReadFileBytes;
using pelorin_test::WriteFileBytes;

namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
  return "\"" + s + "\"";
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::string& value) : name_(name) {
    char old[2048];
    DWORD n = GetEnvironmentVariableA(name, old, sizeof old);
    had_ = n > 0 && n < sizeof old;
    if (had_) old_.assign(old, n);
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~TScopedEnv() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

struct TRun {
  bool Finished = false;  // ended within the time-out, exit code read
  int32_t ExitCode = -1;
  std::string Output;  // what the runner logged, one "\n" per line
  double Ms = 0;
};

// The lines the runner copied from the child's output into the log.
std::string CapturedOutput(const std::string& log) {
  static const std::string kPrefix = "  obabel> ";
  std::string output;
  for (size_t at = log.find(kPrefix); at != std::string::npos; at = log.find(kPrefix, at)) {
    at += kPrefix.size();
    const size_t end = log.find("\r\n", at);
    output += log.substr(at, end - at) + "\n";
  }
  return output;
}

// Each test works in folders with blanks in their names and points TMP/TEMP of the started
// programs at an empty folder, to see what they leave behind.
class ToolsTest : public pelorin_test::ConverterTest {
 protected:
  void SetUp() override {
    ConverterTest::SetUp();
    for (const char* sub : {"in dir", "out dir", "tmp"}) fs::create_directories(work_.Path() / sub);
    tmp_ = std::make_unique<TScopedEnv>("TMP", work_.File("tmp"));
    temp_ = std::make_unique<TScopedEnv>("TEMP", work_.File("tmp"));
  }
  void TearDown() override {
    tmp_.reset();
    temp_.reset();
    ConverterTest::TearDown();
  }

  // The runner starts a program by its full path only: the command line's first word.
  static std::string ProgramOf(const std::string& command) {
    if (command.rfind("cmd ", 0) == 0) return "C:\\windows\\system32\\cmd.exe";
    if (!command.empty() && command[0] == '"') return command.substr(1, command.find('"', 1) - 1);
    return command.substr(0, command.find(' '));
  }

  TRun Run(const std::string& command) {
    const size_t logged = Log().size();
    TRun run;
    auto start = std::chrono::steady_clock::now();
    run.Finished = RunProcessWait(ProgramOf(command), command, run.ExitCode);
    run.Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.Output = CapturedOutput(Log().substr(logged));
    return run;
  }
  // Standard error goes into a file of its own through the command interpreter, so that
  // the log holds standard output alone.
  TRun RunApart(const std::string& command, std::string& errorOutput) {
    const std::string errorFile = Out("stderr.txt");
    TRun run = Run("cmd /s /c \"" + command + " 2>" + Quote(errorFile) + "\"");
    errorOutput = ReadFileBytes(errorFile);
    return run;
  }

  std::string In(const std::string& name) const { return work_.File("in dir") + "\\" + name; }
  std::string Out(const std::string& name) const { return work_.File("out dir") + "\\" + name; }
  bool TmpIsEmpty() const {
    std::string left;
    for (const auto& entry : fs::directory_iterator(work_.Path() / "tmp"))
      left += entry.path().filename().string() + " ";
    if (!left.empty()) std::printf("left in TMP: %s\n", left.c_str());
    return left.empty();
  }
  std::string WriteSmiles(const std::string& name, const std::string& smiles) {
    WriteFileBytes(In(name), smiles + "\n");
    return In(name);
  }

  pelorin_test::TTempDir work_;

 private:
  std::unique_ptr<TScopedEnv> tmp_, temp_;
};

TEST_F(ToolsTest, BridgeConvertsPathsWithBlanksThroughMolToSvg) {
  std::string smi = WriteSmiles("caf feine.smi", "CN1C=NC2=C1C(=O)N(C(=O)N2C)C caffeine");
  std::string mol = Out("caf feine.mol");
  std::string svg = Out("x.svg");

  TRun toMol = Run(Quote(BridgeExe()) + " " + Quote(smi) + " -O " + Quote(mol) + " --gen2d");
  ASSERT_TRUE(toMol.Finished) << Log();
  EXPECT_EQ(toMol.ExitCode, 0) << toMol.Output;
  std::string molText = ReadFileBytes(mol);
  EXPECT_TRUE(Contains(molText, "V2000")) << molText;
  EXPECT_EQ(molText.rfind("caffeine", 0), 0u) << "title line";

  TRun toSvg = Run(Quote(BridgeExe()) + " " + Quote(mol) + " -O " + Quote(svg) + " --gen2d -xC");
  ASSERT_TRUE(toSvg.Finished) << Log();
  EXPECT_EQ(toSvg.ExitCode, 0) << toSvg.Output;
  EXPECT_TRUE(Contains(toSvg.Output, "1 molecule converted")) << toSvg.Output;
  std::string svgText = ReadFileBytes(svg);
  EXPECT_TRUE(Contains(svgText, "<svg")) << svgText.substr(0, 200);
  EXPECT_TRUE(Contains(svgText, "caffeine"));
  EXPECT_TRUE(TmpIsEmpty()) << "the bridge left capture files behind";
  std::printf("bridge call times: SMI->MOL %.0f ms, MOL->SVG %.0f ms\n", toMol.Ms, toSvg.Ms);
}

TEST_F(ToolsTest, ExitStatusAndStreamsPassThrough) {
  const std::string okSmiles = Quote(BridgeExe()) + " -:CCO -osmi";
  const std::string badFormat = Quote(BridgeExe()) + " -:CCO -O " + Quote(Out("x.qqq"));
  std::string err;
  TRun apart = RunApart(okSmiles, err);
  ASSERT_TRUE(apart.Finished) << Log();
  EXPECT_EQ(apart.ExitCode, 0);
  EXPECT_TRUE(Contains(apart.Output, "CCO\t")) << apart.Output;
  EXPECT_FALSE(Contains(apart.Output, "converted")) << apart.Output;
  EXPECT_TRUE(Contains(err, "1 molecule converted")) << err;

  TRun merged = Run(okSmiles);
  EXPECT_EQ(merged.ExitCode, 0);
  EXPECT_TRUE(Contains(merged.Output, "CCO\t") && Contains(merged.Output, "1 molecule converted")) << merged.Output;

  TRun unknownFormat = RunApart(badFormat, err);
  EXPECT_EQ(unknownFormat.ExitCode, 1);
  EXPECT_TRUE(Contains(unknownFormat.Output, "Usage:")) << unknownFormat.Output;
  EXPECT_FALSE(Contains(unknownFormat.Output, "Missing")) << unknownFormat.Output;
  EXPECT_TRUE(Contains(err, "Missing or unknown output")) << err;
  EXPECT_TRUE(TmpIsEmpty());
}

// In one capture file the streams keep the order in which the converter wrote them: its
// error line comes at once, its usage text (buffered standard output) only at exit.
TEST_F(ToolsTest, MergedStreamsKeepTheConvertersOrder) {
  TRun run = Run(Quote(BridgeExe()) + " -:CCO -O " + Quote(Out("x.qqq")));
  ASSERT_TRUE(run.Finished) << Log();
  EXPECT_EQ(run.ExitCode, 1);
  size_t error = run.Output.find("Missing or unknown output");
  size_t usage = run.Output.find("Usage:");
  ASSERT_NE(error, std::string::npos) << run.Output;
  ASSERT_NE(usage, std::string::npos) << run.Output;
  EXPECT_LT(error, usage) << run.Output;
}

TEST_F(ToolsTest, ConverterThatCannotStartIsAFailure) {
  TScopedEnv missing("PELORIN_UNIX_OBABEL", "/nonexistent/obabel");
  TRun run = Run(Quote(BridgeExe()) + " -:CCO -osmi");
  ASSERT_TRUE(run.Finished) << Log();
  EXPECT_EQ(run.ExitCode, 127);
  EXPECT_TRUE(Contains(run.Output, "/nonexistent/obabel")) << run.Output;
  EXPECT_TRUE(TmpIsEmpty());
}

// A caller's time-out kills the bridge; the Linux program it started must not live on
// (nor its capture files remain). /bin/sh stands in for the converter here so that the
// late effect is visible as a file. Also shows that quoted arguments arrive whole.
TEST_F(ToolsTest, KilledBridgeTakesTheConverterWithIt) {
  TScopedEnv shell("PELORIN_UNIX_OBABEL", "/bin/sh");
  auto command = [&](const std::string& marker) {
    return Quote(BridgeExe()) + " -c \"sleep 2; echo late > \\\"$0\\\"\" " + Quote(marker);
  };

  std::string finished = Out("finished marker");
  TRun control = Run(command(finished));
  EXPECT_TRUE(control.Finished);
  EXPECT_EQ(control.ExitCode, 0) << control.Output;
  EXPECT_EQ(ReadFileBytes(finished), "late\n");

  std::string killed = Out("killed marker");
  SetRunLimits({500, 5000});
  TRun run = Run(command(killed));
  EXPECT_FALSE(run.Finished);
  EXPECT_TRUE(Contains(Log(), "RunProcessWait: TIMEOUT after 500 ms"));
  Sleep(3500);
  EXPECT_FALSE(fs::exists(killed)) << "the converter outlived the killed bridge";
  EXPECT_TRUE(TmpIsEmpty());
}

// The bridge killed at any moment of a real conversion (a caller's time-out: while Wine starts it,
// while the converter runs, while its output is moved into place) leaves nothing behind: once the
// caller has removed what stood there when the run ended, no output appears later, and no private
// output file or capture file remains once the watchdog has seen the bridge gone.
TEST_F(ToolsTest, BridgeKilledAtAnyMomentLeavesNothingBehind) {
  const std::string input = In("caffeine.mol"), output = Out("drawing.svg");
  fs::copy_file(SamplePath("caffeine.mol"), input);
  const std::string command = Quote(BridgeExe()) + " " + Quote(input) + " -O " + Quote(output) + " --gen2d";
  auto isEmpty = [this](const char* folder) { return fs::is_empty(work_.Path() / folder); };
  // Runs with a time-out of `ms` and checks what it leaves.
  auto runWithin = [&](uint32_t ms) {
    SCOPED_TRACE("time-out " + std::to_string(ms) + " ms");
    SetRunLimits({ms, 5000});
    const TRun run = Run(command);
    if (run.Finished) {
      EXPECT_EQ(run.ExitCode, 0) << run.Output;
      EXPECT_GT(fs::file_size(output), 1000u);
    }                    // a bridge killed right after it moved the output into place leaves it there
    fs::remove(output);  // as the caller does with the output of a run that failed
    // Pending deletes get the fixture's grace; a late converter would publish within it.
    for (int wait = 0; wait < 100 && !(isEmpty("out dir") && isEmpty("tmp")); ++wait) Sleep(100);
    Sleep(300);
    for (const auto& entry : fs::directory_iterator(work_.Path() / "out dir"))
      ADD_FAILURE() << "left in the output folder: " << entry.path().filename().string();
    EXPECT_TRUE(TmpIsEmpty());
    return run;
  };
  // The kills are spread over the run's own length, the shorter of two whole runs, so that a
  // faster or a slower machine is killed at as many moments of it.
  double length = 1e9;
  for (int i = 0; i < 2; ++i) {
    const TRun whole = runWithin(10000);
    ASSERT_TRUE(whole.Finished) << whole.Output;
    length = std::min(length, whole.Ms);
  }
  int killed = 0;
  for (int tenth = 0; tenth < 8; ++tenth)
    killed += runWithin(static_cast<uint32_t>(std::max(1.0, length * tenth / 10))).Finished ? 0 : 1;
  EXPECT_GE(killed, 5) << "kills at several moments of a run of " << length << " ms";
}

// Each stand-in's exit code, output and output file; also shows that a non-zero exit code is
// a result of the runner, not a failure, and that standard error reaches the log.
TEST_F(ToolsTest, StandInsBehaveAsAdvertised) {
  std::string input = WriteSmiles("ethanol.smi", "CCO ethanol");
  enum class TOutputFile { kNone, kEmpty, kNonEmpty };
  struct TCase {
    const char* kind;
    const char* extra;
    int32_t exitCode;
    const char* output;  // the whole output when it ends in a line break, else a part of it
    TOutputFile file;
  };
  const TCase cases[] = {
      {"exit1", " --gen2d", 1, "stand-in: failing with exit code 1\nstand-in: error: conversion failed\n",
       TOutputFile::kNone},
      {"exit2", " --gen2d", 2, "stand-in: failing with exit code 2\nstand-in: error: conversion failed\n",
       TOutputFile::kNone},
      {"empty", " --gen2d", 0, "", TOutputFile::kEmpty},
      {"stderr", " --gen2d", 0, "stand-in: first line on stderr\nstand-in: second line on stderr\n",
       TOutputFile::kNone},
      {"nogen3d", " --GEN3D", 1, "stand-in: --gen3d is not supported here\n", TOutputFile::kNone},
      {"nogen3d", " --gen2d -xC", 0, "1 molecule converted", TOutputFile::kNonEmpty},
  };
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + c.extra);
    std::string output = Out("result " + std::to_string(n++) + ".svg");
    TRun run = Run(Quote(StandInExe(c.kind)) + " " + Quote(input) + " -O " + Quote(output) + c.extra);
    ASSERT_TRUE(run.Finished) << Log();
    EXPECT_EQ(run.ExitCode, c.exitCode);
    const std::string expected = c.output;
    if (expected.empty() || expected.back() == '\n')
      EXPECT_EQ(run.Output, expected);
    else
      EXPECT_TRUE(Contains(run.Output, expected)) << run.Output;
    bool exists = fs::exists(output);
    EXPECT_EQ(exists, c.file != TOutputFile::kNone);
    if (exists) {
      EXPECT_EQ(fs::file_size(output) == 0, c.file == TOutputFile::kEmpty);
    }
  }
}

}  // namespace
