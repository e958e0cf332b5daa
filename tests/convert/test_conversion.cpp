// 2D and 3D conversions with the real converter (through the bridge) and the failure
// messages, with stand-ins for the faults the real converter does not show on demand.
#include <windows.h>

#include <cstring>
#include <filesystem>

#include "converter_test_util.h"
#include "support/uFileIO.h"

using namespace pelorin;
using namespace pelorin::testpaths;
using pelorin_test::ConverterTest;
using pelorin_test::CountOf;

using ConversionTest = ConverterTest;

namespace {
const std::string kCaffeine = SamplePath("caffeine.mol");
}

TEST_F(ConversionTest, MolFileGivesSvgTextAndNoFileRemains) {
  std::string svg, error;
  ASSERT_TRUE(RunOBabel(kCaffeine, svg, error)) << error << Log();
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_EQ(svg.substr(svg.size() - 2), "\r\n");
  EXPECT_EQ(CountOf(svg, "\n"), CountOf(svg, "\r\n"));
  std::string log = Log();
  EXPECT_NE(log.find("RunOBabelMode: InputFile=[" + kCaffeine + "] Mode=2D"), std::string::npos);
  EXPECT_NE(log.find("RunOBabel: SVG " + std::to_string(svg.size()) + " chars"), std::string::npos);
  EXPECT_NE(log.find("RunOBabel: preview=[<?xml"), std::string::npos);
}

TEST_F(ConversionTest, ThreeDConversionLeavesABinaryStlForTheCaller) {
  std::string stl, error;
  ASSERT_TRUE(RunOBabelSTL(kCaffeine, stl, error)) << error << Log();
  auto size = FileSizeOf(stl);
  ASSERT_TRUE(size.has_value());
  std::string bytes = pelorin_test::ReadFileBytes(stl);
  ASSERT_GE(bytes.size(), 84u);
  uint32_t count;
  memcpy(&count, bytes.data() + 80, 4);
  EXPECT_GT(count, 0u);
  EXPECT_EQ(bytes.size(), 84u + 50u * count);
  EXPECT_NE(Log().find("RunOBabelSTL: STL ready [" + stl + "]"), std::string::npos);
  EXPECT_TRUE(DeleteFileIfExists(stl));
}

TEST_F(ConversionTest, ConverterPathWithBlanksIsQuoted) {
  std::filesystem::path dir = logDir_.Path() / "Open Babel 3";
  std::filesystem::create_directories(dir);
  std::string exe = (dir / "obabel.exe").string();
  std::filesystem::copy_file(BridgeExe(), exe);
  UseConverter(exe);
  std::string svg, error;
  ASSERT_TRUE(RunOBabel(kCaffeine, svg, error)) << error << Log();
  EXPECT_NE(Log().find("RunOBabelMode: CMD=[\"" + exe + "\" " + kCaffeine + " -O " + TempDir() + "pelorinout_"),
            std::string::npos)
      << Log();
}

TEST_F(ConversionTest, BareConverterNameIsFoundAlongTheSearchPath) {
  char saved[32768];
  DWORD n = GetEnvironmentVariableA("PATH", saved, sizeof saved);
  std::string bridgeDir = BridgeExe().substr(0, BridgeExe().rfind('\\'));
  SetEnvironmentVariableA("PATH", (bridgeDir + ";" + std::string(saved, n)).c_str());
  UseConverter("obabel.exe");
  std::string svg, error;
  bool ok = RunOBabel(kCaffeine, svg, error);
  SetEnvironmentVariableA("PATH", std::string(saved, n).c_str());
  EXPECT_TRUE(ok) << error;
}

TEST_F(ConversionTest, ThreeDFallsBackToARunWithoutGen3d) {
  UseConverter(NoGen3DStandInExe());
  UseCmdLine3D("-O tempfile.stl --GEN3D");
  std::string stl, error;
  ASSERT_TRUE(RunOBabelSTL(kCaffeine, stl, error)) << error << Log();
  std::string log = Log();
  EXPECT_EQ(CountOf(log, "RunProcessWait: CMD=["), 3u);  // two attempts, then the fall-back
  EXPECT_NE(log.find("RunOBabelSTL: fallback without --gen3d succeeded."), std::string::npos);
  EXPECT_GT(FileSizeOf(stl).value_or(0), 84u);
  EXPECT_TRUE(DeleteFileIfExists(stl));
}

TEST_F(ConversionTest, FailureMessages) {
  std::string out, error;
  UseConverter("   ");
  EXPECT_FALSE(RunOBabel(kCaffeine, out, error));
  EXPECT_EQ(error,
            "OBabelPath leer \xE2\x80\x93 pelorin.ini pr\xC3\xBC"
            "fen.");

  UseConverter("C:\\nowhere\\obabel.exe");
  EXPECT_FALSE(RunOBabel(kCaffeine, out, error));
  EXPECT_EQ(error, "obabel.exe not found: C:\\nowhere\\obabel.exe");
  EXPECT_EQ(CountOf(Log(), "RunProcessWait: CMD="), 0u);  // no process for a missing converter

  UseConverter(Exit1StandInExe());
  EXPECT_FALSE(RunOBabel(kCaffeine, out, error));
  EXPECT_EQ(error.rfind("obabel exit code=1 CMD=" + Exit1StandInExe() + " " + kCaffeine + " -O ", 0), 0u) << error;
  EXPECT_EQ(CountOf(Log(), "RunProcessWait: CMD="), 2u);  // a failure is retried once

  UseConverter(StderrStandInExe());
  EXPECT_FALSE(RunOBabel(kCaffeine, out, error));
  EXPECT_EQ(error.rfind("Output file not created: " + TempDir() + "pelorinout_", 0), 0u) << error;

  UseConverter(EmptyStandInExe());
  EXPECT_FALSE(RunOBabel(kCaffeine, out, error));
  EXPECT_EQ(error.rfind("Output file is empty: " + TempDir() + "pelorinout_", 0), 0u) << error;
  EXPECT_NE(Log().find("RunOBabelMode: OutputFile size=0 bytes"), std::string::npos);

  SetRunLimits({800, 5000});
  UseConverter(SleepStandInExe());
  EXPECT_FALSE(RunOBabel(kCaffeine, out, error));
  EXPECT_EQ(error.rfind("CreateProcess failed: " + SleepStandInExe() + " ", 0), 0u) << error;
  EXPECT_EQ(CountOf(Log(), "RunOBabelMode ERROR: "), 10u) << Log();  // two per failing conversion but the first two
}

TEST_F(ConversionTest, ThreeDFailureMessagesWithAndWithoutFallBack) {
  std::string stl, error;
  UseConverter(Exit1StandInExe());
  EXPECT_FALSE(RunOBabelSTL(kCaffeine, stl, error));
  EXPECT_NE(error.find(" | fallback exit code=1"), std::string::npos) << error;
  EXPECT_EQ(CountOf(Log(), "RunProcessWait: CMD=["), 3u);
  EXPECT_NE(Log().find("RunOBabelSTL FAILED: obabel exit code=1 CMD="), std::string::npos);

  UseCmdLine3D("-O tempfile.stl");  // nothing to remove: no fall-back
  EXPECT_FALSE(RunOBabelSTL(kCaffeine, stl, error));
  EXPECT_EQ(error.find("fallback"), std::string::npos) << error;
  EXPECT_EQ(CountOf(Log(), "RunProcessWait: CMD=["), 5u);

  UseCmdLine3D(kDefaultCmdLine3D);
  UseConverter(EmptyStandInExe());  // converter ran fine but wrote nothing useful: no fall-back
  EXPECT_FALSE(RunOBabelSTL(kCaffeine, stl, error));
  EXPECT_EQ(error.rfind("Output file is empty: ", 0), 0u) << error;
  EXPECT_TRUE(stl.empty());
}
