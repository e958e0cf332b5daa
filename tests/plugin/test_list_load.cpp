// Viewer windows made through the DLL's ListLoad and ListLoadW, as the file manager makes
// them: window size, start mode, and file names with blanks or non-ASCII characters.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "plugin/uWLXExports.h"
#include "test_helpers.h"
#include "test_paths.h"
#include "test_temp_dir.h"

using pelorin_test::CountOf;
using pelorin_test::ProcAs;
using pelorin_test::PumpUntil;
using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

namespace {

using TListLoad = decltype(&ListLoad);
using TListLoadW = decltype(&ListLoadW);
using TListCloseWindow = decltype(&ListCloseWindow);
using TListSendCommand = decltype(&ListSendCommand);

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
  void Load(const std::string& startMode) {
    WriteFileBytes(dir_.File("pelorin.ini"), "[Pelorin]\r\nOBabelPath=" + pelorin::testpaths::BridgeExe() +
                                                 "\r\nStartMode=" + startMode + "\r\n");
    module_ = LoadLibraryA(dir_.File("PELORINPLUGIN.dll").c_str());
    ASSERT_NE(module_, nullptr);
    load_ = ProcAs<TListLoad>(module_, "ListLoad");
    loadW_ = ProcAs<TListLoadW>(module_, "ListLoadW");
    close_ = ProcAs<TListCloseWindow>(module_, "ListCloseWindow");
    send_ = ProcAs<TListSendCommand>(module_, "ListSendCommand");
    ASSERT_TRUE(load_ && loadW_ && close_ && send_);
  }
  // Pumps messages until the log shows a finished load.
  bool WaitForLoad() {
    return PumpUntil([this] { return Log().find("WM_PELORIN_LOADED: ") != std::string::npos; }, 60);
  }
  std::string Log() const { return ReadFileBytes(dir_.File("pelorindebug.log")); }

  TTempDir dir_;
  HWND host_ = nullptr;
  HMODULE module_ = nullptr;
  HWND viewer_ = nullptr;
  TListLoad load_ = nullptr;
  TListLoadW loadW_ = nullptr;
  TListCloseWindow close_ = nullptr;
  TListSendCommand send_ = nullptr;
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
