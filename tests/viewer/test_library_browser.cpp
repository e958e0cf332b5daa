// The library browser in the window: the data fields panel and the title in the bar, the D key,
// the host's search and percent commands, and dark mode; with the real converter.
#include "viewer/uCommands.h"
#include "viewer/uSearch.h"
#include "viewer_test_util.h"

using namespace pelorin;
using namespace pelorin::testpaths;
using namespace pelorin_test;

namespace {

// An SDF library of `count` caffeine records, each titled "caffeine <n>" with a catalogue
// number, a name and a long description as data fields (items beyond those: `extraItems`).
std::string WriteLibrary(const TTempDir& dir, int count, int extraItems = 0, const std::string& name = "lib.sdf") {
  const std::string molfile = ReadFileBytes(SamplePath("caffeine.mol"));
  const std::string body = molfile.substr(molfile.find_first_of("\r\n"));
  std::string text;
  for (int i = 1; i <= count; ++i) {
    text += "caffeine " + std::to_string(i) + body;
    if (text.back() != '\n') text += "\n";
    text += "> <CATALOG>\nCAT-" + std::to_string(10000 + i) + "\n\n";
    text += "> <NAME>\nTrimethylxanthine " + std::to_string(i) + "\n\n";
    text += "> <DESCRIPTION>\n" + std::string(300, 'd') + "\n\n";
    for (int k = 0; k < extraItems; ++k) text += "> <EXTRA" + std::to_string(k) + ">\nvalue\n\n";
    text += "$$$$\n";
  }
  const std::string path = dir.File(name);
  WriteFileBytes(path, text);
  return path;
}

// The fixture keeps the settings file in a folder of the test's own (the D key writes it).
class LibraryTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    savedPluginDir_ = PluginDir;
    savedIniPath_ = IniPath;
    PluginDir = settings_.Dir();
    IniPath = PluginDir + "pelorin.ini";
  }
  void TearDown() override {
    PluginDir = savedPluginDir_;
    IniPath = savedIniPath_;
    ViewerTest::TearDown();
  }
  // A search of the host's in the window, as ListSearchText makes it, and the load of its hit.
  static bool Find(HWND wnd, const std::string& text, int flags) {
    const bool found = SearchInWindow(wnd, {text}, flags);
    WaitLoaded(wnd);
    return found;
  }
  static void Key(HWND wnd, WPARAM key) {
    SendMessageA(wnd, WM_KEYDOWN, key, 0);
    PumpMessages();
  }

  TTempDir settings_;
  std::string savedPluginDir_, savedIniPath_;
};

// Pixels of the panel's area (the right `width` columns above the bar) that are text, and that
// are its light background.
TArea PanelArea(const TImage& image, int width) {
  return {image.Width - width + 2, 0, image.Width, image.Height - kNavBarHeight};
}
size_t PanelInk(const TImage& image, int width) {
  return CountPixels(image, IsDark, PanelArea(image, width));
}
size_t PanelBackground(const TImage& image, int width) {
  return CountPixels(
      image, [](uint32_t c) { return c == 0xF8F8F8; }, PanelArea(image, width));
}

}  // namespace

TEST_F(LibraryTest, FieldsPanelBesideTheDrawingInBothModesAndTheDKey) {
  TTempDir dir;
  HWND wnd = Open(WriteLibrary(dir, 3, 40));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  EXPECT_EQ(state->Shown.Data.Title, "caffeine 1");
  ASSERT_EQ(state->Shown.Data.Items.size(), 43u);
  EXPECT_EQ(state->Shown.Data.Items[0].Value, "CAT-10001");

  const int panel = FieldsPanelWidth(640);
  EXPECT_EQ(Picture(wnd).Width, 640 - panel);  // the drawing beside the panel
  const TImage printed = PrintedImage(wnd);
  EXPECT_GT(PanelInk(printed, panel), 200u);
  EXPECT_GT(PanelBackground(printed, panel), 10000u);

  Key(wnd, VK_RIGHT);
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_EQ(state->Shown.Data.Title, "caffeine 2");
  EXPECT_EQ(state->Shown.Data.Items[1].Value, "Trimethylxanthine 2");

  Key(wnd, 'T');  // the 3D model keeps the panel beside it
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  EXPECT_EQ(Picture(wnd).Width, 640 - panel);
  EXPECT_EQ(state->Shown.Data.Title, "caffeine 2");

  Key(wnd, 'D');  // hidden, and the choice kept in the settings file
  EXPECT_FALSE(ConfigSnapshot().ShowFields);
  EXPECT_NE(ReadFileBytes(IniPath).find("ShowFields=0"), std::string::npos);
  EXPECT_EQ(Picture(wnd).Width, 640);
  EXPECT_EQ(PanelBackground(PrintedImage(wnd), panel), 0u);
  Key(wnd, 'D');
  EXPECT_TRUE(ConfigSnapshot().ShowFields);
  EXPECT_NE(ReadFileBytes(IniPath).find("ShowFields=1"), std::string::npos);
  EXPECT_EQ(Picture(wnd).Width, 640 - panel);
  DestroyWindow(wnd);
}

TEST_F(LibraryTest, RecordsWithoutFieldsAndNarrowWindowsShowNoPanel) {
  HWND wnd = Open(SamplePath("three.sdf"));
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_TRUE(State(wnd)->Shown.Data.Items.empty());
  EXPECT_EQ(Picture(wnd).Width, 640);
  DestroyWindow(wnd);

  TTempDir dir;
  HWND pane = CreatePane(kFieldsPanelMinWindow - 20, 300);
  HWND narrow = CreatePelorinWindow(pane, WriteLibrary(dir, 1));
  ASSERT_TRUE(WaitLoaded(narrow));
  EXPECT_EQ(State(narrow)->Shown.Data.Items.size(), 3u);
  EXPECT_EQ(Picture(narrow).Width, kFieldsPanelMinWindow - 20);
  DestroyWindow(narrow);
  DestroyWindow(pane);
}

namespace {

bool MarkIs(const TPelorinState* state, TSearchPlace place, size_t item = 0) {
  return state->Mark && state->Mark->Place == place && (place == TSearchPlace::kTitle || state->Mark->Item == item);
}

}  // namespace

TEST_F(LibraryTest, SearchFindsForwardBackwardByCaseAndWholeWordsAndSaysWhenNot) {
  TTempDir dir;
  HWND wnd = Open(WriteLibrary(dir, 30));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);

  EXPECT_TRUE(Find(wnd, "cat-10017", kSearchFindFirst));  // from the first record, any case
  EXPECT_EQ(state->ShownRecord, 16);
  EXPECT_TRUE(MarkIs(state, TSearchPlace::kItemValue, 0));
  EXPECT_EQ(state->Shown.Data.Title, "caffeine 17");
  EXPECT_TRUE(Find(wnd, "CAT-100", 0));  // the next: from the record after the shown one
  EXPECT_EQ(state->ShownRecord, 17);
  EXPECT_TRUE(Find(wnd, "caffeine 3", kSearchBackwards));  // a title, backwards
  EXPECT_EQ(state->ShownRecord, 2);
  EXPECT_TRUE(MarkIs(state, TSearchPlace::kTitle));
  EXPECT_TRUE(Find(wnd, "NAME", kSearchFindFirst | kSearchMatchCase));  // a field's name
  EXPECT_EQ(state->ShownRecord, 0);
  EXPECT_TRUE(MarkIs(state, TSearchPlace::kItemName, 1));

  EXPECT_FALSE(Find(wnd, "trimethylxanthine 5", kSearchFindFirst | kSearchMatchCase));
  EXPECT_EQ(state->Notice, "Not found");
  EXPECT_EQ(state->ShownRecord, 0);
  SendMessageA(wnd, WM_KEYDOWN, 'H', 0);  // the next key ends the notice
  EXPECT_TRUE(state->Notice.empty());
  EXPECT_TRUE(Find(wnd, "trimethylxanthine 5", kSearchFindFirst));
  EXPECT_EQ(state->ShownRecord, 4);

  // Whole words: "Trimethylxanthine 1" is no word of "Trimethylxanthine 10".
  EXPECT_TRUE(Find(wnd, "Trimethylxanthine 1", kSearchWholeWords | kSearchBackwards));
  EXPECT_EQ(state->ShownRecord, 0);
  EXPECT_FALSE(Find(wnd, "Trimethylxanthine 1", kSearchWholeWords));
  EXPECT_EQ(state->ShownRecord, 0);
  EXPECT_TRUE(Find(wnd, "Trimethylxanthine 1", 0));
  EXPECT_EQ(state->ShownRecord, 9);
  EXPECT_TRUE(Find(wnd, "caffeine 30", kSearchFindFirst | kSearchBackwards));  // from the last
  EXPECT_EQ(state->ShownRecord, 29);
  EXPECT_FALSE(Find(wnd, "caffeine", 0));  // nothing after the last
  EXPECT_FALSE(Find(wnd, "", kSearchFindFirst));
  DestroyWindow(wnd);

  // A file of one record: searched whole, once.
  HWND single = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(single));
  EXPECT_TRUE(Find(single, "CAFFEINE", kSearchFindFirst));
  EXPECT_TRUE(MarkIs(State(single), TSearchPlace::kTitle));
  EXPECT_FALSE(Find(single, "caffeine", 0));
  DestroyWindow(single);
}

TEST_F(LibraryTest, SearchReachesTheLastRecordOfALargeLibraryAndAKeyStopsIt) {
  TTempDir dir;
  HWND wnd = Open(WriteLibrary(dir, 20000));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  ASSERT_EQ(state->RecordCount, 20000);
  EXPECT_TRUE(Find(wnd, "CAT-30000", kSearchFindFirst));
  EXPECT_EQ(state->ShownRecord, 19999);
  EXPECT_TRUE(MarkIs(state, TSearchPlace::kItemValue, 0));

  // A key waiting when the search begins stops it before it has read the file.
  PostMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_FALSE(Find(wnd, "no such text", kSearchFindFirst));
  EXPECT_EQ(state->Notice, "Search stopped");
  EXPECT_EQ(state->ShownRecord, 19999);  // the key did nothing else
  EXPECT_NE(Log().find("Search: stopped"), std::string::npos);
  DestroyWindow(wnd);
}

TEST_F(LibraryTest, PercentGoesToTheRecordAtThatShareOfTheCount) {
  TTempDir dir;
  HWND wnd = Open(WriteLibrary(dir, 11));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  for (const auto& [percent, record] : {std::pair{50, 5}, {100, 10}, {0, 0}, {250, 10}, {-5, 0}, {33, 3}}) {
    EXPECT_TRUE(GoToPercentOf(wnd, percent));
    ASSERT_TRUE(WaitLoaded(wnd));
    EXPECT_EQ(state->ShownRecord, record) << percent;
    EXPECT_TRUE(state->Shown.Ready) << percent;
  }
  DestroyWindow(wnd);
  HWND single = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(single));
  EXPECT_TRUE(GoToPercentOf(single, 70));
  EXPECT_EQ(State(single)->ShownRecord, 0);
  DestroyWindow(single);
}

// Dark mode from the host: the 2D drawing on the dark background with light bonds, the panel
// dark too; a switch redraws without a conversion and opens no dialog; 3D keeps its background.
TEST_F(LibraryTest, DarkModeSwitchesWithoutAConversionOrADialogAnd3DKeepsItsBackground) {
  TTempDir dir;
  HWND wnd = CreatePelorinWindow(parent_, WriteLibrary(dir, 2), kParamDarkMode);
  ASSERT_TRUE(WaitLoaded(wnd));
  auto isBlack = [](uint32_t c) { return c == 0; };
  const size_t conversions = CountOf(Log(), "TLoadThread.Execute");
  TImage dark = Picture(wnd);
  EXPECT_GT(CountPixels(dark, isBlack), dark.Pixels.size() * 8 / 10);
  EXPECT_GT(CountPixels(dark, [](uint32_t c) { return Red(c) > 150 && Green(c) > 150 && Blue(c) > 150; }), 50u);
  EXPECT_EQ(PanelBackground(PrintedImage(wnd), FieldsPanelWidth(640)), 0u);  // the panel is dark

  const auto switchTo = [&](int parameter) {
    EXPECT_TRUE(TakeDisplayParameters(wnd, parameter));
    PumpMessages();
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, wnd, WM_PELORIN_OPTIONS, WM_PELORIN_OPTIONS, PM_REMOVE)) << parameter;
    return Picture(wnd);
  };
  const TImage light = switchTo(0);
  EXPECT_LT(CountPixels(light, isBlack) * 10, light.Pixels.size());  // bonds and labels only
  EXPECT_GT(CountPixels(light, IsWhite), light.Pixels.size() * 8 / 10);
  EXPECT_EQ(switchTo(kParamDarkMode | kParamDarkModeNative), dark);
  EXPECT_EQ(State(wnd)->Shown.Scene.Count, State(wnd)->Shown.DarkScene->Count);
  EXPECT_EQ(CountOf(Log(), "TLoadThread.Execute"), conversions);
  EXPECT_EQ(CountOf(Log(), "New display parameters: only the dark mode changed, no options dialog"), 2u);

  // A step keeps the mode; 3D keeps its own background.
  Key(wnd, VK_RIGHT);
  ASSERT_TRUE(WaitLoaded(wnd));
  const TImage second = Picture(wnd);
  EXPECT_GT(CountPixels(second, isBlack), second.Pixels.size() * 8 / 10);
  Key(wnd, 'T');
  ASSERT_TRUE(WaitLoaded(wnd));
  const TImage model = Picture(wnd);
  switchTo(0);
  EXPECT_EQ(Picture(wnd), model);
  DestroyWindow(wnd);
}

namespace {

// `count` copies of a sample's one record in one file, made by `wrap` (which gets the copies).
std::string Repeated(const TTempDir& dir, const char* sample, int count, const std::string& name,
                     std::string (*wrap)(const std::string& records) = nullptr) {
  std::string record = ReadFileBytes(SamplePath(sample)), all;
  if (!record.empty() && record.back() != '\n') record += "\n";
  for (int i = 0; i < count; ++i) all += record;
  const std::string path = dir.File(name);
  WriteFileBytes(path, wrap ? wrap(all) : all);
  return path;
}

std::string PdbModels(const std::string& /*unused*/) {
  std::string atoms, text;
  const std::string pdb = ReadFileBytes(SamplePath("ethanol.pdb"));
  for (size_t at = 0; at < pdb.size();) {
    size_t end = pdb.find('\n', at);
    if (end == std::string::npos) end = pdb.size();
    const std::string line = pdb.substr(at, end - at);
    if (line.rfind("ATOM", 0) == 0 || line.rfind("HETATM", 0) == 0) atoms += line + "\n";
    at = end + 1;
  }
  for (int model = 1; model <= 3; ++model) text += "MODEL        " + std::to_string(model) + "\n" + atoms + "ENDMDL\n";
  return text + "END\n";
}

std::string CmlMolecules(const std::string& /*unused*/) {
  std::string molecule = ReadFileBytes(SamplePath("water.cml"));
  const size_t start = molecule.find("<molecule"), end = molecule.rfind("</molecule>");
  molecule = molecule.substr(start, end + 11 - start);
  return "<?xml version=\"1.0\"?>\n<cml xmlns=\"http://www.xml-cml.org/schema\">\n" + molecule + "\n" + molecule +
         "\n" + molecule + "\n</cml>\n";
}

}  // namespace

// MOL2 molecules, XYZ frames, PDB models and CML molecules are stepped like SDF records: one
// record at a time to the converter (or the atom reader), "Molecule", "Frame" or "Model" n/N.
TEST_F(LibraryTest, EveryMultiRecordFormatIsSteppedRecordByRecord) {
  TTempDir dir;
  const struct {
    std::string Path;
    TViewMode Mode;
    const char* Word;
  } files[] = {
      {Repeated(dir, "aspirin.mol2", 3, "three.mol2"), TViewMode::k2D, "Molecule"},
      {Repeated(dir, "benzene.xyz", 3, "three.xyz"), TViewMode::k2D, "Frame"},
      {Repeated(dir, "ethanol.pdb", 1, "models.pdb", &PdbModels), TViewMode::k3D, "Model"},
      {Repeated(dir, "water.cml", 1, "three.cml", &CmlMolecules), TViewMode::k2D, "Molecule"},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.Path);
    UseStartMode(file.Mode);
    HWND wnd = Open(file.Path);
    ASSERT_TRUE(WaitLoaded(wnd));
    TPelorinState* state = State(wnd);
    EXPECT_EQ(state->RecordCount, 3);
    ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
    EXPECT_EQ(RecordWordOf(state->Records->Rule()), file.Word);
    for (int32_t step = 1; step < 3; ++step) {
      Key(wnd, VK_RIGHT);
      ASSERT_TRUE(WaitLoaded(wnd));
      EXPECT_EQ(state->ShownRecord, step);
      EXPECT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
    }
    DestroyWindow(wnd);
  }
}

TEST_F(LibraryTest, ATrajectoryOfTenThousandFramesReachesItsLastFrameInBothModes) {
  TTempDir dir;
  UseStartMode(TViewMode::k3D);
  HWND wnd = Open(Repeated(dir, "benzene.xyz", 10000, "trajectory.xyz"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  ASSERT_EQ(state->RecordCount, 10000);
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  EXPECT_NE(Log().find("Records: 10000 (Frame)"), std::string::npos);
  EXPECT_TRUE(GoToPercentOf(wnd, 100));
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_EQ(state->ShownRecord, 9999);
  EXPECT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  ASSERT_TRUE(state->Shown.Model);
  Key(wnd, 'T');
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  EXPECT_EQ(state->ShownRecord, 9999);
  DestroyWindow(wnd);
}
