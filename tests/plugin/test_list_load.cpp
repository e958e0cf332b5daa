// Viewer windows made through the DLL's ListLoad and ListLoadW, as the file manager makes
// them: window size, start mode, and file names with blanks or non-ASCII characters; ListLoad
// returning while the first record is converted; the next file shown in the same window by
// ListLoadNext and ListLoadNextW.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "plugin/uWLXExports.h"
#include "test_drawing.h"
#include "test_helpers.h"
#include "test_paths.h"
#include "test_temp_dir.h"

using pelorin_test::CountOf;
using pelorin_test::ProcAs;
using pelorin_test::PumpUntil;
using pelorin_test::ReadFileBytes;
using pelorin_test::TImage;
using pelorin_test::TScopedEnvironment;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

namespace {

using TListLoad = decltype(&ListLoad);
using TListLoadW = decltype(&ListLoadW);
using TListLoadNext = decltype(&ListLoadNext);
using TListLoadNextW = decltype(&ListLoadNextW);
using TListCloseWindow = decltype(&ListCloseWindow);
using TListSendCommand = decltype(&ListSendCommand);
using TListSetDefaultParams = decltype(&ListSetDefaultParams);

double MillisecondsOf(const std::function<void()>& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool ProcessRuns(const std::wstring& exeName) {
  return !pelorin_test::ProcessesNamed(exeName).empty();
}

// The name as the system's 8-bit code page holds it.
std::string AnsiOf(const std::wstring& wide) {
  int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), n, nullptr, nullptr);
  return ansi;
}

class ListLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(PELORIN_PLUGIN_DLL, dir_.File("PELORINPLUGIN.dll"));
    host_ = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 500, nullptr, nullptr,
                            nullptr, nullptr);
    ASSERT_NE(host_, nullptr);
  }
  void TearDown() override {
    if (module_) {
      if (viewer_) close_(viewer_);
      PumpUntil([] { return false; }, 0.05);
      FreeLibrary(module_);
    }
    DestroyWindow(host_);
  }
  void WriteIni(const std::string& startMode, const std::string& converter, const std::string& more = "") {
    WriteFileBytes(dir_.File("pelorin.ini"),
                   "[Pelorin]\r\nOBabelPath=" + converter + "\r\nStartMode=" + startMode + "\r\n" + more);
  }
  void Load(const std::string& startMode, const std::string& converter = pelorin::testpaths::BridgeExe(),
            const std::string& more = "") {
    WriteIni(startMode, converter, more);
    module_ = LoadLibraryA(dir_.File("PELORINPLUGIN.dll").c_str());
    ASSERT_NE(module_, nullptr);
    load_ = ProcAs<TListLoad>(module_, "ListLoad");
    loadW_ = ProcAs<TListLoadW>(module_, "ListLoadW");
    loadNext_ = ProcAs<TListLoadNext>(module_, "ListLoadNext");
    loadNextW_ = ProcAs<TListLoadNextW>(module_, "ListLoadNextW");
    close_ = ProcAs<TListCloseWindow>(module_, "ListCloseWindow");
    send_ = ProcAs<TListSendCommand>(module_, "ListSendCommand");
    defaults_ = ProcAs<TListSetDefaultParams>(module_, "ListSetDefaultParams");
    ASSERT_TRUE(load_ && loadW_ && loadNext_ && loadNextW_ && close_ && send_ && defaults_);
  }
  // Pumps messages until the log shows a finished load.
  bool WaitForLoad() { return WaitForViews(1); }
  // ... until `count` views were shown: loads taken over, and views kept from before.
  bool WaitForViews(size_t count) {
    return PumpUntil([&] { return CountOf(Log(), "WM_PELORIN_LOADED: ") + CountOf(Log(), "View kept: ") >= count; },
                     60);
  }
  bool WaitForLog(const std::string& line, double seconds = 30) {
    return PumpUntil([&] { return Log().find(line) != std::string::npos; }, seconds);
  }
  std::string Log() const { return ReadFileBytes(dir_.File("pelorindebug.log")); }

  TTempDir dir_;
  HWND host_ = nullptr;
  HMODULE module_ = nullptr;
  HWND viewer_ = nullptr;
  TListLoad load_ = nullptr;
  TListLoadW loadW_ = nullptr;
  TListLoadNext loadNext_ = nullptr;
  TListLoadNextW loadNextW_ = nullptr;
  TListCloseWindow close_ = nullptr;
  TListSendCommand send_ = nullptr;
  TListSetDefaultParams defaults_ = nullptr;
};

}  // namespace

TEST_F(ListLoadTest, AnsiNameWithBlanksOpensInThreeDimensionsAsConfigured) {
  Load("3D");
  std::string file = pelorin::testpaths::SamplePath("paracetamol 3d.sdf");
  viewer_ = load_(host_, file.data(), 0x1234);
  ASSERT_NE(viewer_, nullptr);
  EXPECT_EQ(GetParent(viewer_), host_);
  ASSERT_TRUE(WaitForLoad()) << Log();
  std::string log = Log();
  EXPECT_NE(log.find("--- ListLoad (Ansi) ---"), std::string::npos);
  EXPECT_NE(log.find("File: " + file + "  ShowFlags: 4660"), std::string::npos);
  EXPECT_NE(log.find("CreatePelorinWindow: Mode=3D"), std::string::npos);
  EXPECT_NE(log.find("ListLoad result HWND: " +
                     std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(viewer_)))),
            std::string::npos);
  EXPECT_NE(log.find("WM_PELORIN_LOADED: SceneReady=True"), std::string::npos) << log;
  EXPECT_EQ(CountOf(log, "LoadConfig: PluginDir="), 1u);  // loaded once, on the first call
}

TEST_F(ListLoadTest, UnicodeNameOfTheCodePageOpensLikeTheAnsiOne) {
  Load("2D");
  std::wstring name = (dir_.Path() / L"caf\u00e9 mol.mol").wstring();
  std::filesystem::copy_file(pelorin::testpaths::SamplePath("caffeine.mol"), std::filesystem::path(name));
  std::wstring buffer = name;
  viewer_ = loadW_(host_, buffer.data(), 0);
  ASSERT_NE(viewer_, nullptr);
  ASSERT_TRUE(WaitForLoad()) << Log();
  std::string log = Log();
  EXPECT_NE(log.find("--- ListLoadW (Unicode) ---"), std::string::npos);
  EXPECT_NE(log.find(AnsiOf(name) + "  ShowFlags: 0"), std::string::npos) << log;
  EXPECT_NE(log.find("WM_PELORIN_LOADED: SceneReady=True"), std::string::npos) << log;
  RECT r;
  GetClientRect(viewer_, &r);
  RECT host;
  GetClientRect(host_, &host);
  EXPECT_EQ(r.right, host.right);
  EXPECT_EQ(r.bottom, host.bottom);
}

TEST_F(ListLoadTest, NameOutsideTheCodePageOpensThroughItsShortName) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "every name is representable in a UTF-8 code page";
  Load("2D");
  std::wstring name = (dir_.Path() / L"\u03b1\u03b2 alpha beta.mol").wstring();
  std::filesystem::copy_file(pelorin::testpaths::SamplePath("caffeine.mol"), std::filesystem::path(name));
  wchar_t shortName[MAX_PATH] = {};
  if (!GetShortPathNameW(name.c_str(), shortName, MAX_PATH) || std::wstring(shortName) == name)
    GTEST_SKIP() << "no short names on this volume";
  std::wstring buffer = name;
  viewer_ = loadW_(host_, buffer.data(), 0);
  ASSERT_TRUE(WaitForLoad()) << Log();
  EXPECT_NE(Log().find("File: " + AnsiOf(shortName) + "  ShowFlags: 0"), std::string::npos) << Log();
  EXPECT_NE(Log().find("WM_PELORIN_LOADED: SceneReady=True"), std::string::npos) << Log();
}

TEST_F(ListLoadTest, CloseWindowDestroysTheViewerAndIgnoresNull) {
  Load("2D");
  std::string file = pelorin::testpaths::SamplePath("caffeine.mol");
  viewer_ = load_(host_, file.data(), 0);
  ASSERT_TRUE(IsWindow(viewer_));
  close_(nullptr);
  close_(viewer_);  // while its load may still run: waits for it
  EXPECT_FALSE(IsWindow(viewer_));
  viewer_ = nullptr;
}

TEST_F(ListLoadTest, DisplayParametersOpenTheOptionsUnlessOnlyTheDarkModeChanged) {
  constexpr int kWrap = 1, kAnsi = 4, kForceShow = 16, kDark = 128, kDarkNative = 256;
  constexpr UINT kOptionsMessage = WM_USER + 102;
  Load("2D");
  std::string file = pelorin::testpaths::SamplePath("caffeine.mol");
  viewer_ = load_(host_, file.data(), kAnsi | kForceShow);  // the user asked for this viewer
  ASSERT_NE(viewer_, nullptr);
  // Each parameter is compared with the one before it, ListLoad's ShowFlags at first.
  const struct {
    int Parameter;
    bool Opens;
  } steps[] = {
      {kAnsi | kDark, false},
      {kAnsi | kDark | kDarkNative, false},
      {kAnsi | kDark | kDarkNative, true},
      {kAnsi, false},
      {kAnsi | kWrap, true},
      {kDark, true},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(send_(viewer_, 2, step.Parameter), 0) << step.Parameter;
    MSG msg;
    EXPECT_EQ(PeekMessageA(&msg, viewer_, kOptionsMessage, kOptionsMessage, PM_REMOVE) != 0, step.Opens)
        << step.Parameter;
  }
  // Select-all and set-percent are not performed; copy is (the load has finished).
  EXPECT_EQ(send_(viewer_, 3, 0), 1);
  EXPECT_EQ(send_(viewer_, 4, 50), 1);
  ASSERT_TRUE(WaitForLoad()) << Log();
  EXPECT_EQ(send_(viewer_, 1, 0), 0) << Log();
  EXPECT_EQ(CountOf(Log(), "New display parameters: only the dark mode changed, no options dialog"), 3u);
}

TEST_F(ListLoadTest, ListLoadReturnsWhileTheFirstRecordIsConvertedAndTheWindowThenShowsTheWait) {
  Load("2D", pelorin::testpaths::SleepStandInExe());
  std::string file = pelorin::testpaths::SamplePath("caffeine.mol");
  EXPECT_LT(MillisecondsOf([&] { viewer_ = load_(host_, file.data(), 0); }), 2000.0);
  ASSERT_NE(viewer_, nullptr);
  EXPECT_EQ(Log().find("wglCreateContext"), std::string::npos) << "the context is made after ListLoad returned";
  ASSERT_TRUE(WaitForLog("wglCreateContext")) << Log();
  ASSERT_TRUE(WaitForLog("RunProcessWait: CMD=")) << Log();
  // The waiting message, in its dark red, as soon as the window can draw; the converter sleeps on.
  const TImage picture = pelorin_test::PrintedImage(viewer_);
  EXPECT_GT(
      pelorin_test::CountPixels(picture, [](uint32_t c) { return pelorin_test::Red(c) > pelorin_test::Green(c) + 40; }),
      30u);
  EXPECT_EQ(Log().find("WM_PELORIN_LOADED: "), std::string::npos);
  EXPECT_LT(MillisecondsOf([&] { close_(viewer_); }), 10000.0);
  viewer_ = nullptr;
  EXPECT_NE(Log().find("RunProcessWait: CANCELLED"), std::string::npos);
}

TEST_F(ListLoadTest, ListLoadNextKeepsTheWindowAndStartsTheNextFileAsANewWindowWould) {
  Load("2D", pelorin::testpaths::BridgeExe(), "Model3D=Atoms\r\n");
  std::string first = pelorin::testpaths::SamplePath("paracetamol 3d.sdf");
  std::string three = pelorin::testpaths::SamplePath("three.sdf");
  viewer_ = load_(host_, first.data(), 0);
  ASSERT_TRUE(WaitForViews(1)) << Log();
  SendMessageA(viewer_, WM_KEYDOWN, 'T', 0);  // the user turns to the model
  ASSERT_TRUE(WaitForViews(2)) << Log();

  EXPECT_EQ(loadNext_(host_, viewer_, three.data(), 0), 0);
  EXPECT_TRUE(IsWindow(viewer_));
  EXPECT_EQ(GetParent(viewer_), host_);
  ASSERT_TRUE(WaitForViews(3)) << Log();
  ASSERT_TRUE(WaitForLog("SDF split: 3 molecules")) << Log();
  std::string log = Log();
  EXPECT_NE(log.find("--- ListLoadNext (Ansi) ---"), std::string::npos);
  EXPECT_NE(log.find("File: " + three + "  ShowFlags: 0"), std::string::npos);
  EXPECT_NE(log.find("ListLoadNext result: 0"), std::string::npos);
  EXPECT_NE(log.find("TLoadThread.Execute: mode=2D mol=0 file=[" + three + "]"), std::string::npos) << log;
  // The same window, context, text cache and keyboard hook.
  EXPECT_EQ(CountOf(log, "wglCreateContext"), 1u);
  EXPECT_EQ(CountOf(log, "InstallKbdHook: HHOOK="), 1u);
  EXPECT_EQ(log.find("RemoveKbdHook"), std::string::npos);

  // Back to the first file: it starts in 2D again, and its drawing, kept when the user turned to
  // the model, is shown at once.
  std::wstring back(first.begin(), first.end());
  EXPECT_EQ(loadNextW_(host_, viewer_, back.data(), 0), 0);
  log = Log();
  EXPECT_NE(log.find("--- ListLoadNextW (Unicode) ---"), std::string::npos);
  EXPECT_NE(log.find("View kept: mode=2D mol=0 drawn without the converter"), std::string::npos) << log;
}

TEST_F(ListLoadTest, ListLoadNextLeavesProgramDatabasesAndOtherWindowsToTheHost) {
  Load("2D");
  std::string caffeine = pelorin::testpaths::SamplePath("caffeine.mol");
  viewer_ = load_(host_, caffeine.data(), 0);
  ASSERT_TRUE(WaitForLoad()) << Log();
  using namespace std::string_literals;
  std::string symbols = dir_.File("viewer.pdb");
  WriteFileBytes(symbols,
                 "Microsoft C/C++ MSF 7.00\r\n\x1a"
                 "DS\0\0\0\0\x10\0\0"s);
  EXPECT_EQ(loadNext_(host_, viewer_, symbols.data(), 0), 1);
  EXPECT_EQ(loadNext_(host_, host_, caffeine.data(), 0), 1);  // not the plugin's window
  EXPECT_EQ(loadNext_(host_, nullptr, caffeine.data(), 0), 1);
  PumpUntil([] { return false; }, 0.3);
  const std::string log = Log();
  EXPECT_EQ(CountOf(log, "ListLoadNext result: 1"), 3u);
  EXPECT_EQ(CountOf(log, "TLoadThread.Execute:"), 1u) << "the viewer still shows caffeine";
  EXPECT_EQ(log.find("RunProcessWait: CMD=[\"" + symbols), std::string::npos);
}

TEST_F(ListLoadTest, ListLoadNextStopsARunningLoadWithoutLeavingAProcessOrFile) {
  TTempDir temp;
  TScopedEnvironment tmp(L"TMP", temp.Path().wstring());  // the plugin's temporary folder
  Load("2D", pelorin::testpaths::SleepStandInExe());
  std::string three = pelorin::testpaths::SamplePath("three.sdf");
  std::string caffeine = pelorin::testpaths::SamplePath("caffeine.mol");
  viewer_ = load_(host_, three.data(), 0);
  ASSERT_TRUE(WaitForLog("RunProcessWait: CMD=")) << Log();
  ASSERT_TRUE(PumpUntil([] { return ProcessRuns(L"obabel-sleep.exe"); }, 10));
  WriteIni("2D", pelorin::testpaths::BridgeExe());
  defaults_(nullptr);  // the host's settings again: the real converter from here on
  EXPECT_LT(MillisecondsOf([&] { EXPECT_EQ(loadNext_(host_, viewer_, caffeine.data(), 0), 0); }), 10000.0);
  EXPECT_NE(Log().find("RunProcessWait: CANCELLED, terminating obabel process"), std::string::npos);
  // Ended with its job; the system lists a killed process a moment longer.
  EXPECT_TRUE(PumpUntil([] { return !ProcessRuns(L"obabel-sleep.exe"); }, 5));
  ASSERT_TRUE(WaitForLoad()) << Log();
  EXPECT_NE(Log().find("WM_PELORIN_LOADED: SceneReady=True"), std::string::npos) << Log();
  close_(viewer_);
  viewer_ = nullptr;
  PumpUntil([&] { return std::filesystem::is_empty(temp.Path()); }, 10);
  for (const auto& entry : std::filesystem::directory_iterator(temp.Path()))
    ADD_FAILURE() << "left behind: " << entry.path().string();
}
