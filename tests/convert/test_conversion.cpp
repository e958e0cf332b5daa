// 2D and 3D conversions with the real converter (through the bridge) and the failure
// messages, with stand-ins for the faults the real converter does not show on demand.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "converter_test_util.h"
#include "model3d/uMeshModel.h"
#include "plugin/uThumbnail.h"
#include "support/uFileIO.h"
#include "support/uText.h"

using namespace pelorin;
using namespace pelorin::testpaths;
using pelorin_test::ConverterTest;
using pelorin_test::CountOf;

using ConversionTest = ConverterTest;

namespace {

const std::string kCaffeine = SamplePath("caffeine.mol");

// The folder this test program runs from.
std::filesystem::path ProgramFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

std::wstring PathVariable() {
  wchar_t value[32768] = {};
  return std::wstring(value, GetEnvironmentVariableW(L"PATH", value, 32768));
}

}  // namespace

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

TEST_F(ConversionTest, BareConverterNameRunsOnlyTheOneOnTheSearchPath) {
  // A file manager's current directory is the folder being browsed: an obabel.exe placed
  // there, or beside the host program, must never run, even with "." and an empty entry
  // on PATH. The converter found along PATH runs by its full path.
  std::filesystem::path browsed = logDir_.Path() / "browsed";
  std::filesystem::create_directories(browsed);
  std::filesystem::copy_file(MarkerStandInExe(), browsed / "obabel.exe");
  const std::filesystem::path besideHost = ProgramFolder() / "obabel.exe";
  std::filesystem::copy_file(MarkerStandInExe(), besideHost, std::filesystem::copy_options::overwrite_existing);
  TFileRemover removeBesideHost(besideHost.string());
  TFileRemover removeHostMarker((ProgramFolder() / kMarkerFileName).string());

  std::string bridgeDir = BridgeExe().substr(0, BridgeExe().rfind('\\'));
  std::string svg, error;
  bool ok = false;
  {
    pelorin_test::TScopedEnvironment path(L"PATH", L".;;" + AnsiToWide(bridgeDir) + L";" + PathVariable());
    const std::filesystem::path savedCurrent = std::filesystem::current_path();
    std::filesystem::current_path(browsed);
    UseConverter("obabel.exe");
    ok = RunOBabel(kCaffeine, svg, error);
    std::filesystem::current_path(savedCurrent);
  }
  EXPECT_TRUE(ok) << error << Log();
  EXPECT_FALSE(std::filesystem::exists(browsed / kMarkerFileName));
  EXPECT_FALSE(std::filesystem::exists(ProgramFolder() / kMarkerFileName));
  EXPECT_NE(Log().find("RunOBabelMode: OBabelPath=[obabel.exe]"), std::string::npos);
  EXPECT_NE(Log().find("RunOBabelMode: converter found at [" + BridgeExe() + "]"), std::string::npos) << Log();
  EXPECT_NE(Log().find("RunProcessWait: CMD=[" + BridgeExe() + " "), std::string::npos) << Log();

  UseConverter("obabel\\..\\obabel.exe");  // relative: would depend on the current directory too
  EXPECT_FALSE(RunOBabel(kCaffeine, svg, error));
  EXPECT_EQ(error, "obabel.exe not found: obabel\\..\\obabel.exe");
}

TEST_F(ConversionTest, TemporaryFolderOutsideTheCodePage) {
  // A Cyrillic user name on a Western code page: the temporary folder is used by its short
  // (8.3) name, so the capture and output files can be made there.
  ASSERT_NE(GetACP(), static_cast<UINT>(CP_UTF8));
  std::filesystem::path profileTemp = logDir_.Path() / L"\u041F\u0440\u0438\u0432\u0435\u0442" / L"Temp";
  std::filesystem::create_directories(profileTemp);
  std::string tempDir;
  {
    pelorin_test::TScopedEnvironment tmp(L"TMP", profileTemp.wstring());
    pelorin_test::TScopedEnvironment temp(L"TEMP", profileTemp.wstring());
    tempDir = SystemTempDir();
  }
  EXPECT_EQ(tempDir.find('?'), std::string::npos) << tempDir;
  ASSERT_EQ(tempDir.back(), '\\');
  UseTempDir(tempDir);
  std::string svg, error;
  EXPECT_TRUE(RunOBabel(kCaffeine, svg, error)) << error << Log();
  EXPECT_EQ(Log().find("FAILED"), std::string::npos) << Log();
  EXPECT_TRUE(std::filesystem::is_empty(profileTemp));
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

  // A time-out says what it is, and the same run is not started a second time.
  SetRunLimits({800, 5000});
  UseConverter(SleepStandInExe());
  EXPECT_FALSE(RunOBabel(kCaffeine, out, error));
  EXPECT_EQ(error, "Open Babel did not finish within 0.8 s: caffeine.mol");
  EXPECT_EQ(CountOf(Log(), "RunProcessWait: TIMEOUT after 800 ms"), 1u);
  EXPECT_EQ(CountOf(Log(), "RunOBabelMode ERROR: "), 9u) << Log();  // two per other failing conversion
  EXPECT_EQ(TimeoutMessage(30000, "C:\\data\\big protein.pdb"),
            "Open Babel did not finish within 30 s: big protein.pdb");
}

TEST_F(ConversionTest, ThumbnailRunsAreBoundedInRecordsAttemptsAndTime) {
  // At most the first 12 records of a library are drawn.
  std::string sdf = TempDir() + "twenty.sdf";
  std::string record = pelorin_test::ReadFileBytes(kCaffeine) + "$$$$\n", library;
  for (int i = 0; i < 20; ++i) library += record;
  pelorin_test::WriteFileBytes(sdf, library);
  TFileRemover sdfFile(sdf);
  std::string svg, error;
  TPelorinConfig config = ConfigSnapshot();
  ASSERT_TRUE(RunOBabel(sdf, svg, error, ThumbnailLimits(config))) << error << Log();
  EXPECT_EQ(CountOf(svg, "<svg"), 13u);  // the grid's root and one drawing per record
  EXPECT_NE(Log().find(" -l 12 "), std::string::npos);

  // A converter that hangs costs the host one limit, every wait included (the survey, the kill,
  // the capture's removal), and leaves nothing behind.
  config.ThumbnailTimeoutMs = 600;
  config.OBabelPath = SleepStandInExe();
  StoreConfig(config);
  auto start = GetTickCount64();
  EXPECT_EQ(MakeThumbnail(kCaffeine, 64, 64), nullptr);
  EXPECT_LT(GetTickCount64() - start, 600u + 500u);
  EXPECT_EQ(CountOf(Log(), "RunProcessWait: TIMEOUT after "), 1u);
  EXPECT_NE(Log().find("ListGetPreviewBitmap: 2D conversion failed: Open Babel did not finish within 0.6 s"),
            std::string::npos);
  EXPECT_EQ(ParseThumbnailTimeout("100"), kMinThumbnailTimeoutMs);
  EXPECT_EQ(ParseThumbnailTimeout(" 99999999999 "), kMaxThumbnailTimeoutMs);
  EXPECT_EQ(ParseThumbnailTimeout("2500"), 2500u);
  EXPECT_EQ(ParseThumbnailTimeout("fast"), kDefaultThumbnailTimeoutMs);
}

TEST_F(ConversionTest, ThreeDRecordKeepsItsOwnCoordinates) {
  const std::string input = SamplePath("paracetamol 3d.sdf");
  std::string stl, error;
  ASSERT_TRUE(RunOBabelSTL(input, stl, error)) << error << Log();
  TFileRemover stlFile(stl);
  std::string log = Log();
  EXPECT_NE(log.find("they are kept (no --gen3d)"), std::string::npos);
  size_t command = log.find("RunProcessWait: CMD=[");
  ASSERT_NE(command, std::string::npos);
  EXPECT_EQ(log.find("--gen3d", command), std::string::npos) << log;
  // The surface spheres sit on the file's atoms: the model's box is the atoms' box plus at
  // most one sphere radius, which a generated conformer (placed anew) would not match.
  float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
  std::string text = pelorin_test::ReadFileBytes(input);
  size_t pos = 0;
  for (int line = 0; line < 24; ++line) {
    size_t end = text.find('\n', pos);
    float xyz[3];
    if (line >= 4 && std::sscanf(text.c_str() + pos, "%f %f %f", &xyz[0], &xyz[1], &xyz[2]) == 3)
      for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], xyz[k]), hi[k] = std::max(hi[k], xyz[k]);
    pos = end + 1;
  }
  TFacetArray facets;
  int32_t count = 0;
  ASSERT_TRUE(ReadBinarySTL(stl, facets, count));
  float mlo[3] = {1e9f, 1e9f, 1e9f}, mhi[3] = {-1e9f, -1e9f, -1e9f};
  for (const TFacet& f : facets)
    for (const TVec3& v : f.Vertices) {
      const float c[3] = {v.X, v.Y, v.Z};
      for (int k = 0; k < 3; ++k) mlo[k] = std::min(mlo[k], c[k]), mhi[k] = std::max(mhi[k], c[k]);
    }
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(mlo[k], lo[k] - 1.5f, 1.0f) << k;
    EXPECT_NEAR(mhi[k], hi[k] + 1.5f, 1.0f) << k;
  }
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
