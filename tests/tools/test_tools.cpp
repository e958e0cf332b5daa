// Tests of the Wine bridge obabel.exe and the stand-in converters, started the way the
// plugin starts its converter: windowless, no input, output streams sent to files.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "test_paths.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using testpaths::BridgeExe;
using testpaths::StandInExe;

std::string Quote(const std::string& s) {
  return "\"" + s + "\"";
}

std::string ReadFileText(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

bool WriteFileText(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
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

enum class TCapture { kMerged, kSeparate };

struct TRun {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
  std::string out;  // everything when merged
  std::string err;
  double ms = 0;
  DWORD startError = 0;  // why it did not start
};

HANDLE CreateInheritableCapture(const std::string& path) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts the command as the plugin does: CreateProcessA, CREATE_NO_WINDOW, no input and
// the output streams in capture files; kills it after timeoutMs.
TRun RunCaptured(const std::string& dir, std::string command, TCapture capture, DWORD timeoutMs = 60000) {
  TRun run;
  // A fresh name each time, as the plugin does: under Wine the child's inherited handle stays
  // open for up to ~150 ms after the wait returns, so a name used again can be still in use.
  static int runCount = 0;
  const std::string stem = dir + "\\capture " + std::to_string(++runCount);
  const std::string outPath = stem + ".out";
  const std::string errPath = stem + ".err";
  HANDLE out = CreateInheritableCapture(outPath);
  HANDLE err = capture == TCapture::kSeparate ? CreateInheritableCapture(errPath) : out;
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
    run.startError = GetLastError();
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return run;
  }

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = INVALID_HANDLE_VALUE;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  auto start = std::chrono::steady_clock::now();
  run.started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  if (!run.started) run.startError = GetLastError();
  CloseHandle(out);
  if (err != out) CloseHandle(err);
  if (!run.started) return run;

  if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_TIMEOUT) {
    run.timedOut = true;
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
  }
  run.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  GetExitCodeProcess(pi.hProcess, &run.exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  run.out = ReadFileText(outPath);
  run.err = capture == TCapture::kSeparate ? ReadFileText(errPath) : std::string();
  DeleteFileA(outPath.c_str());
  DeleteFileA(errPath.c_str());
  return run;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Each test works in its own folder with blanks in its name and points TMP/TEMP of the
// started programs at an empty subfolder, to see what they leave behind.
class ToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    dir_ = std::string(temp) + "pelorin tools " + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(GetTickCount64());
    for (const char* sub : {"", "\\in dir", "\\out dir", "\\tmp"})
      ASSERT_TRUE(CreateDirectoryA((dir_ + sub).c_str(), nullptr));
    tmp_ = std::make_unique<TScopedEnv>("TMP", dir_ + "\\tmp");
    temp_ = std::make_unique<TScopedEnv>("TEMP", dir_ + "\\tmp");
  }
  void TearDown() override {
    tmp_.reset();
    temp_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string In(const std::string& name) const { return dir_ + "\\in dir\\" + name; }
  std::string Out(const std::string& name) const { return dir_ + "\\out dir\\" + name; }
  bool TmpIsEmpty() const {
    std::string left;
    for (const auto& entry : fs::directory_iterator(dir_ + "\\tmp")) left += entry.path().filename().string() + " ";
    if (!left.empty()) std::printf("left in TMP: %s\n", left.c_str());
    return left.empty();
  }

  std::string WriteSmiles(const std::string& name, const std::string& smiles) {
    std::string path = In(name);
    EXPECT_TRUE(WriteFileText(path, smiles + "\n"));
    return path;
  }

  std::string dir_;

 private:
  std::unique_ptr<TScopedEnv> tmp_, temp_;
};

TEST_F(ToolsTest, BridgeConvertsPathsWithBlanksThroughMolToSvg) {
  std::string smi = WriteSmiles("caf feine.smi", "CN1C=NC2=C1C(=O)N(C(=O)N2C)C caffeine");
  std::string mol = Out("caf feine.mol");
  std::string svg = Out("x.svg");

  TRun toMol =
      RunCaptured(dir_, Quote(BridgeExe()) + " " + Quote(smi) + " -O " + Quote(mol) + " --gen2d", TCapture::kMerged);
  ASSERT_TRUE(toMol.started) << toMol.startError;
  EXPECT_EQ(toMol.exitCode, 0u) << toMol.out;
  std::string molText = ReadFileText(mol);
  EXPECT_TRUE(Contains(molText, "V2000")) << molText;
  EXPECT_EQ(molText.rfind("caffeine", 0), 0u) << "title line";

  TRun toSvg = RunCaptured(dir_, Quote(BridgeExe()) + " " + Quote(mol) + " -O " + Quote(svg) + " --gen2d -xC",
                           TCapture::kMerged);
  ASSERT_TRUE(toSvg.started) << toSvg.startError;
  EXPECT_EQ(toSvg.exitCode, 0u) << toSvg.out;
  EXPECT_TRUE(Contains(toSvg.out, "1 molecule converted")) << toSvg.out;
  std::string svgText = ReadFileText(svg);
  EXPECT_TRUE(Contains(svgText, "<svg")) << svgText.substr(0, 200);
  EXPECT_TRUE(Contains(svgText, "caffeine"));
  EXPECT_TRUE(TmpIsEmpty()) << "the bridge left capture files behind";
  std::printf("bridge call times: SMI->MOL %.0f ms, MOL->SVG %.0f ms\n", toMol.ms, toSvg.ms);
}

TEST_F(ToolsTest, ExitStatusAndStreamsPassThrough) {
  std::string okSmiles = Quote(BridgeExe()) + " -:CCO -osmi";
  std::string badFormat = Quote(BridgeExe()) + " -:CCO -O " + Quote(Out("x.qqq"));
  struct TCase {
    const char* what;
    std::string command;
    TCapture capture;
    DWORD exitCode;
    std::vector<std::string> outHas;  // everything when merged
    std::vector<std::string> errHas;
    std::vector<std::string> outLacks;
  };
  const TCase cases[] = {
      {"streams apart", okSmiles, TCapture::kSeparate, 0, {"CCO\t"}, {"1 molecule converted"}, {"converted"}},
      {"streams in one file", okSmiles, TCapture::kMerged, 0, {"CCO\t", "1 molecule converted"}, {}, {}},
      {"unknown output format",
       badFormat,
       TCapture::kSeparate,
       1,
       {"Usage:"},
       {"Missing or unknown output"},
       {"Missing"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TRun run = RunCaptured(dir_, c.command, c.capture);
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.exitCode, c.exitCode);
    for (const std::string& part : c.outHas) EXPECT_TRUE(Contains(run.out, part)) << run.out;
    for (const std::string& part : c.errHas) EXPECT_TRUE(Contains(run.err, part)) << run.err;
    for (const std::string& part : c.outLacks) EXPECT_FALSE(Contains(run.out, part)) << run.out;
  }
  EXPECT_TRUE(TmpIsEmpty());
}

// In one capture file the streams keep the order in which the converter wrote them: its
// error line comes at once, its usage text (buffered standard output) only at exit.
TEST_F(ToolsTest, MergedStreamsKeepTheConvertersOrder) {
  TRun run = RunCaptured(dir_, Quote(BridgeExe()) + " -:CCO -O " + Quote(Out("x.qqq")), TCapture::kMerged);
  ASSERT_TRUE(run.started) << run.startError;
  EXPECT_EQ(run.exitCode, 1u);
  size_t error = run.out.find("Missing or unknown output");
  size_t usage = run.out.find("Usage:");
  ASSERT_NE(error, std::string::npos) << run.out;
  ASSERT_NE(usage, std::string::npos) << run.out;
  EXPECT_LT(error, usage) << run.out;
}

TEST_F(ToolsTest, ConverterThatCannotStartIsAFailure) {
  TScopedEnv missing("PELORIN_UNIX_OBABEL", "/nonexistent/obabel");
  TRun run = RunCaptured(dir_, Quote(BridgeExe()) + " -:CCO -osmi", TCapture::kSeparate);
  ASSERT_TRUE(run.started) << run.startError;
  EXPECT_EQ(run.exitCode, 127u);
  EXPECT_TRUE(Contains(run.err, "/nonexistent/obabel")) << run.err;
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
  TRun control = RunCaptured(dir_, command(finished), TCapture::kMerged);
  EXPECT_FALSE(control.timedOut);
  EXPECT_EQ(control.exitCode, 0u) << control.out;
  EXPECT_EQ(ReadFileText(finished), "late\n");

  std::string killed = Out("killed marker");
  TRun run = RunCaptured(dir_, command(killed), TCapture::kMerged, 500);
  EXPECT_TRUE(run.timedOut);
  Sleep(3500);
  EXPECT_FALSE(fs::exists(killed)) << "the converter outlived the killed bridge";
  EXPECT_TRUE(TmpIsEmpty());
}

enum class TOutputFile { kNone, kEmpty, kNonEmpty };

TEST_F(ToolsTest, StandInsBehaveAsAdvertised) {
  std::string input = WriteSmiles("ethanol.smi", "CCO ethanol");
  struct TCase {
    const char* kind;
    const char* extra;
    DWORD exitCode;
    const char* out;
    const char* err;
    TOutputFile file;
  };
  const TCase cases[] = {
      {"exit1", " --gen2d", 1, "stand-in", "stand-in: error", TOutputFile::kNone},
      {"exit2", " --gen2d", 2, "stand-in", "stand-in: error", TOutputFile::kNone},
      {"empty", " --gen2d", 0, "", "", TOutputFile::kEmpty},
      {"stderr", " --gen2d", 0, "", "stand-in: first line on stderr\r\nstand-in: second line on stderr\r\n",
       TOutputFile::kNone},
      {"nogen3d", " --GEN3D", 1, "", "--gen3d", TOutputFile::kNone},
      {"nogen3d", " --gen2d -xC", 0, "", "1 molecule converted", TOutputFile::kNonEmpty},
  };
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + c.extra);
    std::string output = Out("result " + std::to_string(n++) + ".svg");
    TRun run = RunCaptured(dir_, Quote(StandInExe(c.kind)) + " " + Quote(input) + " -O " + Quote(output) + c.extra,
                           TCapture::kSeparate);
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_TRUE(Contains(run.out, c.out)) << run.out;
    EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
    if (!*c.out) {
      EXPECT_EQ(run.out, "");
    }
    bool exists = fs::exists(output);
    EXPECT_EQ(exists, c.file != TOutputFile::kNone);
    if (exists) {
      EXPECT_EQ(fs::file_size(output) == 0, c.file == TOutputFile::kEmpty);
    }
  }
}

TEST_F(ToolsTest, SleepingStandInHasPrintedBeforeItIsKilled) {
  TRun run = RunCaptured(dir_, Quote(testpaths::SleepStandInExe()) + " x.mol -O y.svg", TCapture::kMerged, 1500);
  ASSERT_TRUE(run.started) << run.startError;
  EXPECT_TRUE(run.timedOut);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.out, "stand-in: sleeping\r\n");
}

}  // namespace
}  // namespace pelorin
