// The entry points as the host sees them: the built DLL copied into a folder of its own,
// loaded with LoadLibrary, and called through the exported names.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "lattice_pdb.h"
#include "plugin/uWLXExports.h"
#include "test_drawing.h"
#include "test_helpers.h"
#include "test_paths.h"
#include "test_temp_dir.h"
#include "viewer/uWin32Window.h"

using namespace pelorin_test;

namespace {

using TDetectFn = decltype(&ListGetDetectString);
using TDefaultParamsFn = decltype(&ListSetDefaultParams);
using TSendCommandFn = decltype(&ListSendCommand);
using TPreviewFn = decltype(&ListGetPreviewBitmap);
using TPreviewWFn = decltype(&ListGetPreviewBitmapW);

constexpr UINT kOptionsMessage = pelorin::WM_PELORIN_OPTIONS;
const char* const kEntryPoints[] = {"ListLoad",
                                    "ListLoadW",
                                    "ListLoadNext",
                                    "ListLoadNextW",
                                    "ListCloseWindow",
                                    "ListGetDetectString",
                                    "ListSetDefaultParams",
                                    "ListSendCommand",
                                    "ListGetPreviewBitmap",
                                    "ListGetPreviewBitmapW",
                                    "ListSearchText",
                                    "ListSearchTextW",
                                    "ListSearchDialog",
                                    "ListPrint",
                                    "ListPrintW"};

// Exported functions are fetched as data pointers first: a direct cast between unrelated
// function types draws -Wcast-function-type.

const std::string kDetect =
    "EXT=\"MOL\" | EXT=\"SDF\" | EXT=\"MOL2\" | EXT=\"SMI\" | EXT=\"SMILES\" | EXT=\"PDB\" | EXT=\"XYZ\" | EXT=\"CML\"";

// A private copy of the plugin, so its ini file and log live in a folder of the test's own.
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override { PlacePlugin(dir_.Path()); }
  void TearDown() override { Unload(); }

  // Puts a copy of the plugin into `folder`, where its ini file and log then live.
  void PlacePlugin(const std::filesystem::path& folder) {
    home_ = folder;
    std::filesystem::create_directories(home_);
    std::filesystem::copy_file(PELORIN_PLUGIN_DLL, home_ / "PELORINPLUGIN.dll");
    // No converter anywhere: these tests must not depend on one being installed.
    WriteIni("[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\n");
  }
  void Load() {
    module_ = LoadLibraryW((home_ / "PELORINPLUGIN.dll").c_str());
    ASSERT_NE(module_, nullptr);
    detect_ = ProcAs<TDetectFn>(module_, "ListGetDetectString");
    defaults_ = ProcAs<TDefaultParamsFn>(module_, "ListSetDefaultParams");
    sendCommand_ = ProcAs<TSendCommandFn>(module_, "ListSendCommand");
    preview_ = ProcAs<TPreviewFn>(module_, "ListGetPreviewBitmap");
    previewW_ = ProcAs<TPreviewWFn>(module_, "ListGetPreviewBitmapW");
    ASSERT_NE(detect_, nullptr);
    ASSERT_NE(defaults_, nullptr);
    ASSERT_NE(sendCommand_, nullptr);
    ASSERT_NE(preview_, nullptr);
    ASSERT_NE(previewW_, nullptr);
  }
  void Unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  void WriteIni(const std::string& text) { std::ofstream(home_ / "pelorin.ini", std::ios::binary) << text; }
  std::string Log() const {
    std::ifstream in(home_ / "pelorindebug.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void SetDefaults(const char* hostIni) {
    ListDefaultParamStruct p{};
    p.size = sizeof p;
    p.PluginInterfaceVersionLow = 10;
    p.PluginInterfaceVersionHi = 2;
    std::strcpy(p.DefaultIniName, hostIni);
    defaults_(&p);
  }

  TTempDir dir_;
  std::filesystem::path home_;
  HMODULE module_ = nullptr;
  TDetectFn detect_ = nullptr;
  TDefaultParamsFn defaults_ = nullptr;
  TSendCommandFn sendCommand_ = nullptr;
  TPreviewFn preview_ = nullptr;
  TPreviewWFn previewW_ = nullptr;
};

// Thumbnails with the machine's real converter behind the bridge.
class PreviewTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteIni("[Pelorin]\r\nOBabelPath=" + pelorin::testpaths::BridgeExe() + "\r\nLogging=1\r\n");
    Load();
  }
  HBITMAP Preview(const std::string& file, int width, int height) {
    std::string name = file;
    return preview_(name.data(), width, height, nullptr, 0);
  }
};

// The bitmap's pixels, and whether it is a 32-bit DIB section of that size.
struct TDib {
  bool IsDibSection = false;
  int32_t BitCount = 0;
  TImage Image;
};

TDib DibOf(HBITMAP bitmap) {
  TDib dib;
  DIBSECTION section{};
  dib.IsDibSection =
      GetObject(bitmap, sizeof section, &section) == static_cast<int>(sizeof section) && section.dsBm.bmBits != nullptr;
  dib.BitCount = section.dsBm.bmBitsPixel;
  dib.Image = TakeImage(bitmap);
  return dib;
}

// Columns x0..x1 of the whole height.
TArea Columns(int x0, int x1) {
  return {x0, 0, x1 + 1};
}

}  // namespace

TEST_F(PluginTest, DetectStringIsCutToTheHostsBuffer) {
  Load();
  ASSERT_EQ(kDetect.size(), 97u);
  char buffer[2048];
  detect_(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), kDetect);

  char small[16];
  std::memset(small, '#', sizeof small);
  detect_(small, 10);
  EXPECT_EQ(std::string(small), "EXT=\"MOL\"");
  EXPECT_EQ(std::string(small + 10, 6), "######");  // nothing written past maxlen

  std::memset(small, '#', sizeof small);
  detect_(small, 1);
  EXPECT_EQ(small[0], '\0');
  EXPECT_EQ(small[1], '#');
  std::memset(small, '#', sizeof small);
  detect_(small, 0);
  EXPECT_EQ(small[0], '#');
}

TEST_F(PluginTest, DefaultParamsLoadTheConfigurationEveryTime) {
  WriteIni("[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\nStartMode=2D\r\n");
  Load();
  SetDefaults("C:\\host\\wincmd.ini");
  WriteIni("[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\nStartMode=3D\r\n");
  defaults_(nullptr);
  char buffer[128];
  detect_(buffer, sizeof buffer);  // the log is open now, so this call is logged

  std::string log = Log();
  std::string pluginDir = dir_.Dir();
  EXPECT_EQ(CountOf(log, "LoadConfig: PluginDir=[" + pluginDir + "]"), 2u) << log;
  EXPECT_NE(log.find("LoadConfig: IniPath=[" + pluginDir + "pelorin.ini]"), std::string::npos);
  size_t first = log.find("LoadConfig: StartMode=2D");
  size_t second = log.find("LoadConfig: StartMode=3D");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_NE(log.find("ListSetDefaultParams: TC-IniPath=C:\\host\\wincmd.ini PluginDir=" + pluginDir + "\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("ListSetDefaultParams: dps=nil PluginDir=" + pluginDir + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("ListGetDetectString \xE2\x86\x92 " + kDetect + "\r\n"), std::string::npos);
}

TEST_F(PluginTest, LogAppendsAcrossLibraryLoadsAndClosesOncePerUnload) {
  for (int i = 0; i < 2; ++i) {
    Load();
    defaults_(nullptr);
    Unload();
  }
  std::string log = Log();
  EXPECT_EQ(log.rfind("\r\n" + std::string(64, '=') + "\r\n", 0), 0u);
  EXPECT_EQ(CountOf(log, "  Pelorin WLX Plugin \xE2\x80\x93 log opened\r\n"), 2u) << log;
  EXPECT_EQ(CountOf(log, "  Log closed.\r\n"), 2u) << log;
  EXPECT_EQ(log.substr(log.size() - 15), "  Log closed.\r\n");
}

TEST_F(PluginTest, LoggingOffWritesNoFile) {
  WriteIni("[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\nLogging=0\r\n");
  Load();
  SetDefaults("C:\\host\\wincmd.ini");
  Unload();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("pelorindebug.log")));
}

TEST_F(PluginTest, PluginAndTemporaryFoldersOutsideTheCodePage) {
  // A Cyrillic user name on a Western code page: the plugin's folder (ini file, log) and the
  // temporary folder are used by their short (8.3) names, and conversions work.
  const std::filesystem::path profile = dir_.Path() / L"\u041F\u0440\u0438\u0432\u0435\u0442";
  const std::filesystem::path temp = profile / L"Temp";
  std::filesystem::create_directories(temp);
  PlacePlugin(profile / L"\u041F\u043B\u0430\u0433\u0438\u043D");
  WriteIni("[Pelorin]\r\nOBabelPath=" + pelorin::testpaths::BridgeExe() + "\r\nStartMode=2D\r\n");
  {
    pelorin_test::TScopedEnvironment tmp(L"TMP", temp.wstring());
    pelorin_test::TScopedEnvironment tempVariable(L"TEMP", temp.wstring());
    Load();
    std::string caffeine = pelorin::testpaths::SamplePath("caffeine.mol");
    HBITMAP bitmap = preview_(caffeine.data(), 64, 64, nullptr, 0);
    EXPECT_NE(bitmap, nullptr) << Log();
    DeleteObject(bitmap);
    Unload();
  }
  std::string log = Log();
  EXPECT_NE(log.find("LoadConfig: StartMode=2D"), std::string::npos) << log;
  for (const char* line : {"LoadConfig: PluginDir=[", "LoadConfig: TempDir=["}) {
    size_t at = log.find(line);
    ASSERT_NE(at, std::string::npos) << line;
    std::string value = log.substr(at, log.find("]\r\n", at) - at);
    EXPECT_EQ(value.find('?'), std::string::npos) << value;
  }
  EXPECT_EQ(log.find("FAILED"), std::string::npos) << log;
  EXPECT_TRUE(std::filesystem::is_empty(temp));
}

TEST_F(PluginTest, ExportsEveryEntryPoint) {
  Load();
  for (const char* name : kEntryPoints) EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
}

TEST_F(PluginTest, CommandsForAWindowThatIsNoViewerFailAndPostNothing) {
  Load();
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  for (int command : {1, 2, 3, 4}) EXPECT_EQ(sendCommand_(window, command, 7), 1) << command;
  EXPECT_EQ(sendCommand_(nullptr, pelorin::kCommandNewParams, 0), 1);
  // The search: no viewer, no hit; the dialog is always the host's own.
  auto search = ProcAs<decltype(&ListSearchText)>(module_, "ListSearchText");
  auto searchW = ProcAs<decltype(&ListSearchTextW)>(module_, "ListSearchTextW");
  auto dialog = ProcAs<decltype(&ListSearchDialog)>(module_, "ListSearchDialog");
  char text[] = "caffeine";
  wchar_t wide[] = L"caffeine";
  EXPECT_EQ(search(window, text, 1), 1);
  EXPECT_EQ(searchW(window, wide, 1), 1);
  EXPECT_EQ(search(window, nullptr, 1), 1);
  EXPECT_EQ(dialog(window, 0), 1);
  EXPECT_EQ(dialog(nullptr, 1), 1);
  auto print = ProcAs<decltype(&ListPrint)>(module_, "ListPrint");
  EXPECT_EQ(print(window, text, nullptr, 0, nullptr), 1);
  EXPECT_EQ(print(nullptr, nullptr, nullptr, 0, nullptr), 1);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  // A null window posts nothing to the thread either.
  EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), kOptionsMessage, kOptionsMessage, PM_REMOVE));
  DestroyWindow(window);
}

TEST_F(PluginTest, PelorinIniInTheHostsSettingsFolderWins) {
  TTempDir host;
  std::ofstream(host.Path() / "pelorin.ini", std::ios::binary)
      << "[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\nStartMode=2D\r\n";
  WriteIni("[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\nStartMode=3D\r\n");
  Load();
  SetDefaults(host.File("lsplugin.ini").c_str());
  Unload();
  std::ifstream in(host.Path() / "pelorindebug.log", std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(log.find("LoadConfig: IniPath=[" + host.File("pelorin.ini") + "]"), std::string::npos) << log;
  EXPECT_NE(log.find("LoadConfig: StartMode=2D"), std::string::npos);
}

TEST_F(PreviewTest, ProgramDatabaseGetsNoWindowNoThumbnailAndNoConverterRun) {
  using TListLoadFn = HWND(__stdcall*)(HWND, char*, int);
  auto listLoad = ProcAs<TListLoadFn>(module_, "ListLoad");
  ASSERT_NE(listLoad, nullptr);
  const std::string symbols = dir_.File("viewer.pdb");
  using namespace std::string_literals;
  std::ofstream(symbols, std::ios::binary) << "Microsoft C/C++ MSF 7.00\r\n\x1a"
                                              "DS\0\0\0\0\x10\0\0"s;
  HWND host =
      CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  std::string name = symbols;
  EXPECT_EQ(listLoad(host, name.data(), 0), nullptr);
  EXPECT_EQ(GetWindow(host, GW_CHILD), nullptr);
  DestroyWindow(host);
  EXPECT_EQ(Preview(symbols, 64, 64), nullptr);
  std::wstring wide(symbols.begin(), symbols.end());
  EXPECT_EQ(previewW_(wide.data(), 64, 64, nullptr, 0), nullptr);
  Unload();
  const std::string log = Log();
  EXPECT_EQ(log.find("RunProcessWait"), std::string::npos) << log;
  EXPECT_EQ(CountOf(log, "not a molecule: no thumbnail"), 2u) << log;
  EXPECT_EQ(CountOf(log, "not a molecule: no window"), 1u) << log;
}

TEST_F(PreviewTest, NoSizeNoConversion) {
  const std::string caffeine = pelorin::testpaths::SamplePath("caffeine.mol");
  EXPECT_EQ(Preview(caffeine, 0, 100), nullptr);
  EXPECT_EQ(Preview(caffeine, 100, -5), nullptr);
  EXPECT_EQ(preview_(nullptr, 100, 100, nullptr, 0), nullptr);
  Unload();
  const std::string log = Log();
  EXPECT_NE(log.find("LoadConfig:"), std::string::npos) << "the preview loads the configuration";
  EXPECT_EQ(log.find("RunProcessWait"), std::string::npos) << log;
}

TEST_F(PreviewTest, ThumbnailIsTheFittedDrawingInATopDownDib) {
  HBITMAP bitmap = Preview(pelorin::testpaths::SamplePath("caffeine.mol"), 200, 100);
  ASSERT_NE(bitmap, nullptr) << Log();
  const TDib dib = DibOf(bitmap);
  EXPECT_TRUE(dib.IsDibSection);
  EXPECT_EQ(dib.BitCount, 32);
  ASSERT_EQ(dib.Image.Width, 200);
  ASSERT_EQ(dib.Image.Height, 100);
  // The drawing is about as tall as wide: it fills the height and leaves bands at the sides.
  EXPECT_EQ(CountPixels(dib.Image, IsInk, Columns(0, 19)), 0u);
  EXPECT_EQ(CountPixels(dib.Image, IsInk, Columns(180, 199)), 0u);
  EXPECT_GT(CountPixels(dib.Image, IsDark, Columns(60, 140)), 50u);
}

TEST_F(PreviewTest, OverTheAtomLimitTheThumbnailIsAnAtomPictureAndLeavesNoFile) {
  TTempDir temp;
  TScopedEnvironment tmp(L"TMP", temp.Path().wstring()), tempVar(L"TEMP", temp.Path().wstring());
  WriteIni("[Pelorin]\r\nOBabelPath=" + pelorin::testpaths::BridgeExe() +
           "\r\nMaxThumbnail2DAtoms=10\r\n"  // caffeine.mol: 14 atoms
           "ThumbnailTimeout=30000\r\n");    // the picture counts here, not the converter's time on a busy machine
  HBITMAP bitmap = Preview(pelorin::testpaths::SamplePath("caffeine.mol"), 128, 128);
  ASSERT_NE(bitmap, nullptr) << Log();
  const TDib dib = DibOf(bitmap);
  EXPECT_TRUE(dib.IsDibSection);
  EXPECT_GT(CountPixels(dib.Image, IsReddish), 20u) << "oxygen";
  EXPECT_GT(CountPixels(dib.Image, IsNitrogenBlue), 20u) << "nitrogen";
  EXPECT_GT(CountPixels(dib.Image, IsInk), 128u * 128 / 4) << "discs, not thin bonds";
  EXPECT_NE(Log().find("RunOBabelXYZ: XYZ ready"), std::string::npos) << Log();
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));

  // More atoms than the atom picture draws: an even subsample of them, read from the file.
  const std::string protein = dir_.File("protein.pdb");
  std::ofstream(protein, std::ios::binary) << pelorin::lattice::LatticePDBText(60000);
  bitmap = Preview(protein, 128, 128);
  ASSERT_NE(bitmap, nullptr) << Log();
  EXPECT_GT(CountPixels(DibOf(bitmap).Image, IsInk), 128u * 128 / 4);
  const std::string log = Log();
  EXPECT_NE(log.find("ListGetPreviewBitmap: 60000 atoms: one in 3 drawn (20000)"), std::string::npos) << log;
  EXPECT_NE(log.find("LoadFileAtoms: 60000 atoms read from the file itself"), std::string::npos) << log;
}

// A simulation box of a million atoms: its thumbnail draws an even subsample, says which, and
// comes within the thumbnail's time limit.
TEST_F(PreviewTest, MillionAtomThumbnailDrawsASubsampleWithinItsTimeLimit) {
  const std::string box = dir_.File("box.xyz");
  ASSERT_TRUE(pelorin::lattice::WriteLatticeXYZ(box, 1000000));
  const auto start = std::chrono::steady_clock::now();
  HBITMAP bitmap = Preview(box, 256, 256);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  ASSERT_NE(bitmap, nullptr) << Log();
  EXPECT_LT(ms, pelorin::kDefaultThumbnailTimeoutMs);
  const TImage image = TakeImage(bitmap);
  EXPECT_GT(CountPixels(image, IsInk), 256u * 256 / 4) << "the box's discs";
  EXPECT_GT(CountPixels(image, IsNitrogenBlue), 100u);
  Unload();
  EXPECT_NE(Log().find("ListGetPreviewBitmap: 1000000 atoms: one in 50 drawn (20000)"), std::string::npos) << Log();
}

TEST_F(PreviewTest, UnreadableFileGivesNoBitmapAndOneLogLine) {
  EXPECT_EQ(Preview(dir_.File("missing.mol"), 64, 64), nullptr);
  Unload();
  EXPECT_EQ(CountOf(Log(), "ListGetPreviewBitmap: 2D conversion failed: "), 1u) << Log();
}

TEST_F(PreviewTest, WideNameWithACodePageCharacter) {
  const std::filesystem::path file = dir_.Path() / L"caf\u00E9ine \u00E4.mol";
  std::filesystem::copy_file(pelorin::testpaths::SamplePath("caffeine.mol"), file);
  std::wstring name = file.wstring();
  HBITMAP bitmap = previewW_(name.data(), 120, 90, nullptr, 0);
  ASSERT_NE(bitmap, nullptr) << Log();
  const TImage image = TakeImage(bitmap);
  EXPECT_EQ(image.Width, 120);
  EXPECT_EQ(image.Height, 90);
  EXPECT_GT(CountPixels(image, IsDark), 50u);
}
