// The options dialog opened by WM_PELORIN_OPTIONS and driven by a second thread: its
// controls, what OK and Cancel change, the Browse dialog, and a viewer closed meanwhile.
#include <cctype>

#include "dialog_driver.h"
#include "viewer/uCommands.h"
#include "viewer/uOptionsDialog.h"
#include "viewer_test_util.h"

using namespace pelorin;
using namespace pelorin::dialogs;
using namespace pelorin::testpaths;
using namespace pelorin_test;

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct TControlSeen {
  std::string Class, Text;
  int Id = 0;
  DWORD Style = 0, ExStyle = 0;
  RECT Rect{};  // in dialog client coordinates
};

std::vector<TControlSeen> ControlsOf(HWND dialog) {
  std::vector<TControlSeen> controls;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    TControlSeen c;
    c.Class = Lower(ClassOf(child));
    c.Text = TextOf(child);
    c.Id = GetDlgCtrlID(child);
    c.Style = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
    c.ExStyle = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_EXSTYLE));
    GetWindowRect(child, &c.Rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.Rect), 2);
    controls.push_back(c);
  }
  return controls;
}

// Chooses 3D as the start mode, presses OK and waits for the dialog to go.
void ChooseThreeDAndPressOk(HWND dialog) {
  SendDlgItemMessageA(dialog, kIdStartMode, CB_SETCURSEL, 1, 0);
  Press(dialog, IDOK);
  WaitGone(dialog);
}

class OptionsDialogTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    savedPluginDir_ = PluginDir;
    savedIniPath_ = IniPath;
    PluginDir = logDir_.Dir();  // the dialog reopens the log in the plugin folder
    IniPath = PluginDir + "pelorin.ini";
  }
  void TearDown() override {
    PluginDir = savedPluginDir_;
    IniPath = savedIniPath_;
    HostIniDir.clear();
    ViewerTest::TearDown();
  }

  // Sends WM_PELORIN_OPTIONS while `steps` drive the dialog; returns once both are done.
  static void RunOptions(HWND wnd, TDialogScript& script) {
    SendMessageA(wnd, WM_PELORIN_OPTIONS, 0, 0);
    PumpUntil([&] { return script.StepsDone(); }, 60);
    script.Finish();
    EXPECT_TRUE(script.Notes.empty()) << script.Notes.front();
  }

  static int LoadsStarted(const std::string& log) { return static_cast<int>(CountOf(log, "TLoadThread.Execute:")); }

  std::string Ini() const { return ReadFileBytes(IniPath); }

  std::string savedPluginDir_, savedIniPath_;
};

TEST_F(OptionsDialogTest, ShowsItsControlsAndCancelChangesNothingButReloads) {
  UseStartMode(TViewMode::k3D);
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinConfig before = ConfigSnapshot();
  before.StartMode = TViewMode::k2D;  // the window's mode is offered, not the configured one
  StoreConfig(before);
  int loads = LoadsStarted(Log());

  std::string title;
  LOGFONTA font{};
  std::vector<TControlSeen> controls;
  constexpr int kControlCount = 12;
  RECT expectedRects[kControlCount];
  std::vector<std::string> modes, models;
  int selectedModel = -1;
  int selected = -1;
  bool logging = false;
  struct TLayout {
    int X, Y, W, H;
  };
  const TLayout layout[kControlCount] = {{5, 7, 70, 8},    {5, 18, 195, 13}, {202, 18, 50, 13},  {5, 37, 80, 8},
                                         {5, 48, 195, 13}, {5, 67, 60, 8},   {70, 65, 60, 60},   {5, 82, 60, 8},
                                         {70, 80, 60, 60}, {5, 95, 100, 13}, {120, 119, 60, 13}, {190, 119, 60, 13}};
  TDialogScript script(parent_, [&](TDialogScript& s) {
    HWND dialog = WaitForDialog(s.Owner());
    if (!dialog) return s.Notes.push_back("no options dialog");
    title = TextOf(dialog);
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    controls = ControlsOf(dialog);
    for (int i = 0; i < kControlCount; ++i) {
      // Position and size are converted separately, as the dialog manager does.
      RECT r{layout[i].X, layout[i].Y, layout[i].W, layout[i].H};
      MapDialogRect(dialog, &r);
      expectedRects[i] = {r.left, r.top, r.left + r.right, r.top + r.bottom};
    }
    HWND combo = GetDlgItem(dialog, kIdStartMode);
    for (int i = 0; i < SendMessageA(combo, CB_GETCOUNT, 0, 0); ++i) {
      char text[16] = {};
      SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      modes.push_back(text);
    }
    selected = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
    HWND modelCombo = GetDlgItem(dialog, kIdModel3D);
    for (int i = 0; i < SendMessageA(modelCombo, CB_GETCOUNT, 0, 0); ++i) {
      char text[16] = {};
      SendMessageA(modelCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      models.push_back(text);
    }
    selectedModel = static_cast<int>(SendMessageA(modelCombo, CB_GETCURSEL, 0, 0));
    logging = SendMessageA(GetDlgItem(dialog, kIdLogging), BM_GETCHECK, 0, 0) == BST_CHECKED;
    SetDlgItemTextA(dialog, kIdOBabelPath, "C:\\elsewhere\\obabel.exe");  // discarded by Cancel
    Press(dialog, IDCANCEL);
    WaitGone(dialog);
  });
  RunOptions(wnd, script);

  EXPECT_EQ(title, "Pelorin Options");
  EXPECT_STREQ(font.lfFaceName, "MS Shell Dlg");
  struct TExpected {
    const char* Class;
    int Id;
    const char* Text;
    DWORD Style;
  };
  // The first ten in their old order, the 3D model's choice placed below the start mode's.
  const TExpected expected[kControlCount] = {
      {"static", 0, "obabel.exe path:", 0},
      {"edit", kIdOBabelPath, before.OBabelPath.c_str(), WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
      {"button", kIdBrowse, "Browse...", WS_TABSTOP},
      {"static", 0, "obabel options:", 0},
      {"edit", kIdOBabelOpts, "-xC", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
      {"static", 0, "Start mode:", 0},
      {"combobox", kIdStartMode, "3D", WS_TABSTOP | CBS_DROPDOWNLIST},
      {"static", 0, "3D model:", 0},
      {"combobox", kIdModel3D, "Auto", WS_TABSTOP | CBS_DROPDOWNLIST},
      {"button", kIdLogging, "Enable logging", WS_TABSTOP | BS_AUTOCHECKBOX},
      {"button", IDOK, "OK", WS_TABSTOP | BS_DEFPUSHBUTTON},
      {"button", IDCANCEL, "Cancel", WS_TABSTOP},
  };
  ASSERT_EQ(controls.size(), size_t(kControlCount));
  for (size_t i = 0; i < kControlCount; ++i) {
    SCOPED_TRACE(expected[i].Class + std::string(" ") + expected[i].Text);
    const TControlSeen& c = controls[i];
    EXPECT_EQ(c.Class, expected[i].Class);
    EXPECT_EQ(c.Id == 0xFFFF ? 0 : c.Id, expected[i].Id);  // id 0 may read back as 0xFFFF
    EXPECT_EQ(c.Text, expected[i].Text);
    EXPECT_EQ(c.Style & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    DWORD style = c.Style;
    if (c.ExStyle & WS_EX_CLIENTEDGE) style |= WS_BORDER;  // the dialog manager's 3D look for a bordered edit
    EXPECT_EQ(style & expected[i].Style, expected[i].Style);
    EXPECT_EQ(c.Style & 0xF, expected[i].Style & 0xF) << "button or combo type";
    EXPECT_EQ(c.Rect.left, expectedRects[i].left);
    EXPECT_EQ(c.Rect.top, expectedRects[i].top);
    EXPECT_EQ(c.Rect.right, expectedRects[i].right);
    if (c.Class != "combobox") {  // a closed combo box is shorter than its template height
      EXPECT_EQ(c.Rect.bottom, expectedRects[i].bottom);
    }
  }
  EXPECT_EQ(modes, (std::vector<std::string>{"2D", "3D"}));
  EXPECT_EQ(selected, 1) << "the window shows 3D";
  EXPECT_EQ(models, (std::vector<std::string>{"Auto", "Surface", "Atoms"}));
  EXPECT_EQ(selectedModel, 0);
  EXPECT_TRUE(logging);

  TPelorinConfig after = ConfigSnapshot();
  EXPECT_EQ(after.OBabelPath, before.OBabelPath);
  EXPECT_EQ(after.StartMode, TViewMode::k2D);
  EXPECT_EQ(State(wnd)->Mode, TViewMode::k3D);
  EXPECT_FALSE(std::filesystem::exists(IniPath));
  EXPECT_TRUE(State(wnd)->Loading) << "the record is reloaded after Cancel too";
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_EQ(LoadsStarted(Log()), loads + 1);
}

TEST_F(OptionsDialogTest, OkAppliesSavesSwitchesTheLogAndReloads) {
  UseStartMode(TViewMode::k3D);
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  const std::string typedPath = ToolsDir() + "\\bridge\\..\\bridge\\obabel.exe";  // same program, new text
  TDialogScript script(parent_, [&](TDialogScript& s) {
    HWND dialog = WaitForDialog(s.Owner());
    if (!dialog) return s.Notes.push_back("no options dialog");
    SetDlgItemTextA(dialog, kIdOBabelPath, typedPath.c_str());
    SetDlgItemTextA(dialog, kIdOBabelOpts, "-xC  -h");
    SendDlgItemMessageA(dialog, kIdStartMode, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageA(dialog, kIdModel3D, CB_SETCURSEL, 2, 0);
    SendDlgItemMessageA(dialog, kIdLogging, BM_SETCHECK, BST_UNCHECKED, 0);
    Press(dialog, IDOK);
    WaitGone(dialog);
  });
  RunOptions(wnd, script);
  EXPECT_TRUE(script.Unexpected.empty()) << script.Unexpected.front();

  TPelorinConfig config = ConfigSnapshot();
  EXPECT_EQ(config.OBabelPath, typedPath);
  EXPECT_EQ(config.OBabelOpts, "-xC  -h");  // taken as typed
  EXPECT_EQ(config.StartMode, TViewMode::k2D);
  EXPECT_EQ(config.Model3D, TModel3D::Atoms);
  EXPECT_FALSE(config.Logging);
  EXPECT_EQ(State(wnd)->Mode, TViewMode::k2D);
  EXPECT_TRUE(State(wnd)->Loading);
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;

  std::string ini = Ini();
  EXPECT_NE(ini.find("OBabelPath=" + typedPath), std::string::npos) << ini;
  EXPECT_NE(ini.find("StartMode=2D"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Logging=0"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Model3D=Atoms"), std::string::npos) << ini;
  std::string log = Log();
  const std::string closing = "  Logging disabled \xE2\x80\x93 closing log.\r\n";
  ASSERT_GE(log.size(), closing.size());
  EXPECT_EQ(log.substr(log.size() - closing.size()), closing) << "the closing line is the last one";
}

TEST_F(OptionsDialogTest, BrowseStartsFromTheOpeningPathAndCancelKeepsTheText) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  const std::string opening = ConfigSnapshot().OBabelPath;
  std::string startName, afterCancel, afterPick;
  TDialogScript script(parent_, [&](TDialogScript& s) {
    HWND dialog = WaitForDialog(s.Owner());
    if (!dialog) return s.Notes.push_back("no options dialog");
    SetDlgItemTextA(dialog, kIdOBabelPath, "typed by hand");
    Press(dialog, kIdBrowse);
    HWND browse = WaitForDialog(dialog);
    if (!browse) return s.Notes.push_back("no file dialog");
    startName = FileNameOf(browse);
    Press(browse, IDCANCEL);
    WaitGone(browse);
    afterCancel = TextOf(GetDlgItem(dialog, kIdOBabelPath));

    Press(dialog, kIdBrowse);
    browse = WaitForDialog(dialog);
    if (!browse) return s.Notes.push_back("no second file dialog");
    ChooseFile(browse, BridgeExe());
    WaitGone(browse);
    afterPick = TextOf(GetDlgItem(dialog, kIdOBabelPath));
    Press(dialog, IDCANCEL);
    WaitGone(dialog);
  });
  RunOptions(wnd, script);
  EXPECT_TRUE(script.Unexpected.empty()) << script.Unexpected.front();
  EXPECT_NE(Lower(opening).find(Lower(startName)), std::string::npos)
      << "[" << startName << "] is not from [" << opening << "]";
  EXPECT_FALSE(startName.empty());
  EXPECT_EQ(afterCancel, "typed by hand");
  EXPECT_EQ(Lower(afterPick), Lower(BridgeExe()));
  EXPECT_EQ(ConfigSnapshot().OBabelPath, opening);
  ASSERT_TRUE(WaitLoaded(wnd));
}

TEST_F(OptionsDialogTest, UnwritableIniIsReportedOnceAndTheSettingsStillApply) {
  IniPath = logDir_.Dir() + "missing\\pelorin.ini";
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TDialogScript script(parent_, [&](TDialogScript& s) {
    HWND dialog = WaitForDialog(s.Owner());
    if (!dialog) return s.Notes.push_back("no options dialog");
    ChooseThreeDAndPressOk(dialog);
    s.TakeMessageBox();
  });
  RunOptions(wnd, script);
  EXPECT_TRUE(script.Unexpected.empty()) << "shown once: " << script.Unexpected.front();
  ASSERT_EQ(script.Boxes.size(), 1u);
  EXPECT_EQ(script.Boxes[0].Caption, "Pelorin");
  EXPECT_TRUE(script.Boxes[0].ErrorIcon);
  EXPECT_EQ(script.Boxes[0].Text.rfind("Could not save settings: ", 0), 0u) << script.Boxes[0].Text;
  EXPECT_EQ(ConfigSnapshot().StartMode, TViewMode::k3D);
  EXPECT_EQ(State(wnd)->Mode, TViewMode::k3D);
  EXPECT_NE(Log().find("SaveConfig ERROR: "), std::string::npos);
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_TRUE(State(wnd)->Shown.Ready) << "reloaded in 3D: " << State(wnd)->Shown.ErrorMsg;
}

TEST_F(OptionsDialogTest, ContextMenuItemOpensItAndAnUnwritablePluginFolderSavesInTheHostsFolder) {
  // Wine run as root ignores the read-only attribute: a folder below a file cannot be written.
  WriteFileBytes(logDir_.File("file"), "x");
  PluginDir = logDir_.File("file") + "\\";
  IniPath = PluginDir + "pelorin.ini";
  TTempDir host;
  SetHostIniName(host.File("wincmd.ini"));
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TDialogScript script(parent_, [&](TDialogScript& s) {
    HWND dialog = WaitForDialog(s.Owner());
    if (!dialog) return s.Notes.push_back("no options dialog");
    ChooseThreeDAndPressOk(dialog);
  });
  SendMessageA(wnd, WM_COMMAND, kCmdOptions, 0);  // the context menu's "Options..."
  PumpUntil([&] { return script.StepsDone(); }, 60);
  script.Finish();
  EXPECT_TRUE(script.Notes.empty()) << script.Notes.front();
  EXPECT_TRUE(script.Unexpected.empty()) << "no error: " << script.Unexpected.front();
  EXPECT_EQ(IniPath, host.File("pelorin.ini"));
  EXPECT_NE(ReadFileBytes(host.File("pelorin.ini")).find("StartMode=3D"), std::string::npos);
  EXPECT_NE(ReadFileBytes(host.File("pelorindebug.log")).find("log opened"), std::string::npos) << "the log moved";
  ASSERT_TRUE(WaitLoaded(wnd));
}

TEST_F(OptionsDialogTest, ViewerClosedWhileTheDialogIsOpen) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TDialogScript script(parent_, [&](TDialogScript& s) {
    HWND dialog = WaitForDialog(s.Owner());
    if (!dialog) return s.Notes.push_back("no options dialog");
    if (!DestroyFromAnotherThread(wnd)) s.Notes.push_back("viewer not destroyed");
    ChooseThreeDAndPressOk(dialog);
  });
  RunOptions(wnd, script);
  EXPECT_TRUE(script.Unexpected.empty()) << script.Unexpected.front();
  EXPECT_FALSE(IsWindow(wnd));
  // The settings are the plugin's, not the window's: they are applied and saved.
  EXPECT_EQ(ConfigSnapshot().StartMode, TViewMode::k3D);
  EXPECT_NE(Ini().find("StartMode=3D"), std::string::npos);
}

}  // namespace
