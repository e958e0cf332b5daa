// Steps that draw without the converter: the next record made ready in the background, the
// views shown last kept for a step back, a toggle back and a return to a file, and what makes
// them convert again. Converter runs are counted by the counting stand-in, which converts
// with the real converter.
#include "model3d/uSurfaceBudget.h"
#include "viewer_test_util.h"

using namespace pelorin;
using namespace pelorin::testpaths;
using namespace pelorin_test;

namespace {

// Three records of paracetamol with 3D coordinates (its models need none generated), titled
// apart so that their drawings differ.
std::string WriteThreeDLibrary(const TTempDir& dir) {
  const std::string record = ReadFileBytes(SamplePath("paracetamol 3d.sdf"));
  const std::string body = record.substr(record.find_first_of("\r\n"));
  std::string text;
  for (int i = 1; i <= 3; ++i) text += "paracetamol " + std::to_string(i) + body;
  const std::string path = dir.File("paracetamol.sdf");
  WriteFileBytes(path, text);
  return path;
}

// The priority classes of the running converters (the stand-in runs as obabel.exe).
std::vector<DWORD> ConverterPriorities() {
  std::vector<DWORD> classes;
  for (DWORD id : ProcessesNamed(L"obabel.exe")) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) continue;
    classes.push_back(GetPriorityClass(process));
    CloseHandle(process);
  }
  return classes;
}

// Sends `key` and tells whether the window shows its record at once, with nothing to wait for.
bool StepShowsAtOnce(HWND wnd, WPARAM key) {
  SendMessageA(wnd, WM_KEYDOWN, key, 0);
  const TPelorinState* state = StateOf(wnd);
  return state && !state->Loading && state->Shown.Ready;
}

}  // namespace

TEST_F(ViewerTest, StepsToThePreparedRecordBackAndToggledBackRunNoConverter) {
  UseCountingConverter(TViewMode::k2D);
  Configure([](TPelorinConfig& c) { c.Model3D = TModel3D::Atoms; });
  TTempDir dir;
  HWND wnd = Open(WriteThreeDLibrary(dir));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  // Once record 1 is drawn, record 2 is converted in the background.
  ASSERT_TRUE(WaitForLog("Prefetch: mode=2D mol=1 ready for the step to it")) << Log();
  EXPECT_EQ(ConverterRuns(), 2u);
  const TImage first = Picture(wnd);

  EXPECT_TRUE(StepShowsAtOnce(wnd, VK_RIGHT));
  EXPECT_EQ(state->ShownRecord, 1);
  EXPECT_EQ(ConverterRuns(), 2u);
  EXPECT_NE(Log().find("View kept: mode=2D mol=1 drawn without the converter"), std::string::npos);
  EXPECT_FALSE(Picture(wnd) == first);

  // Record 1 was kept when record 2 was shown (and record 3 is made ready meanwhile).
  ASSERT_TRUE(WaitForLog("Prefetch: mode=2D mol=2 ready for the step to it")) << Log();
  size_t runs = ConverterRuns();
  EXPECT_TRUE(StepShowsAtOnce(wnd, VK_LEFT));
  EXPECT_EQ(state->ShownRecord, 0);
  EXPECT_TRUE(Picture(wnd) == first);

  // T converts the 3D model; T back shows the drawing again, and T once more the model, drawn
  // from the buffers kept with it.
  SendMessageA(wnd, WM_KEYDOWN, 'T', 0);
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  const TImage model = Picture(wnd);
  EXPECT_EQ(ConverterRuns(), runs + 1);
  runs = ConverterRuns();
  EXPECT_TRUE(StepShowsAtOnce(wnd, 'T'));
  EXPECT_EQ(state->Mode, TViewMode::k2D);
  EXPECT_TRUE(Picture(wnd) == first);
  EXPECT_TRUE(StepShowsAtOnce(wnd, 'T'));
  EXPECT_TRUE(Picture(wnd) == model);
  PumpUntil([] { return false; }, 0.5);  // nothing further to make ready backwards from record 1
  EXPECT_EQ(ConverterRuns(), runs);
}

TEST_F(ViewerTest, BackgroundConversionGivesWayToTheUserAndEndsWhenTheUserGoesElsewhere) {
  UseCountingConverter(TViewMode::k2D);
  HWND wnd = Open(SamplePath("three.sdf"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  ASSERT_TRUE(WaitForLog("Prefetch: mode=2D mol=1 ready for the step to it")) << Log();
  HoldConversions(true);  // every conversion from here on takes until it is stopped

  ASSERT_TRUE(StepShowsAtOnce(wnd, VK_RIGHT));
  ASSERT_TRUE(PumpUntil([&] { return ConverterRuns() == 3; }, 30)) << "record 3 is being converted";
  EXPECT_EQ(ConverterPriorities(), std::vector<DWORD>{BELOW_NORMAL_PRIORITY_CLASS});
  // Back to record 1: record 3 is no longer wanted, and its converter is ended at once.
  ASSERT_TRUE(StepShowsAtOnce(wnd, VK_LEFT));
  EXPECT_EQ(CountOf(Log(), "Prefetch: mode=2D mol=2 cancelled"), 1u);
  EXPECT_TRUE(WaitForLog("RunProcessWait: CANCELLED", 10));

  // A load the user waits for runs alone: T stops the background conversion, and none starts
  // while the model is converted.
  ASSERT_TRUE(StepShowsAtOnce(wnd, VK_RIGHT));
  ASSERT_TRUE(PumpUntil([&] { return ConverterRuns() == 4; }, 30));
  SendMessageA(wnd, WM_KEYDOWN, 'T', 0);
  EXPECT_TRUE(state->Loading);
  EXPECT_EQ(CountOf(Log(), "Prefetch: mode=2D mol=2 cancelled"), 2u);
  PumpUntil([] { return false; }, 1.0);
  EXPECT_EQ(ConverterRuns(), 5u);
  EXPECT_EQ(Log().find("Prefetch: mode=3D"), std::string::npos);

  // Back to the kept drawing, whose next record is converted in the background again; a step
  // to it takes that conversion over instead of starting another.
  ASSERT_TRUE(StepShowsAtOnce(wnd, 'T'));
  ASSERT_TRUE(PumpUntil([&] { return ConverterRuns() == 6; }, 30));
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_TRUE(state->Loading);
  EXPECT_NE(Log().find("Prefetch: mode=2D mol=2 is shown when ready"), std::string::npos);
  EXPECT_TRUE(PumpUntil([] { return ConverterPriorities() == std::vector<DWORD>{NORMAL_PRIORITY_CLASS}; }, 5))
      << "the user waits for it now";
  EXPECT_EQ(ConverterRuns(), 6u);
  DestroyWindow(wnd);  // TearDown checks that no temporary file is left behind
}

TEST_F(ViewerTest, AFileThatChangedIsConvertedAgainOneThatDidNotIsShownAsKept) {
  UseCountingConverter(TViewMode::k2D);
  TTempDir dir;
  const std::string file = dir.File("molecule.mol"), other = SamplePath("benzene.xyz");
  WriteFileBytes(file, ReadFileBytes(SamplePath("caffeine.mol")));
  HWND wnd = Open(file);
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  const int32_t caffeine = state->Shown.Scene.Count;
  ASSERT_TRUE(LoadNextFile(wnd, other, 0));
  ASSERT_TRUE(WaitLoaded(wnd));
  const int32_t benzene = state->Shown.Scene.Count;
  ASSERT_NE(benzene, caffeine);
  EXPECT_EQ(ConverterRuns(), 2u);

  for (const auto& [path, elements] : {std::pair(file, caffeine), std::pair(other, benzene)}) {
    ASSERT_TRUE(LoadNextFile(wnd, path, 0));
    EXPECT_FALSE(state->Loading) << path;
    EXPECT_EQ(state->Shown.Scene.Count, elements) << path;
  }
  EXPECT_EQ(ConverterRuns(), 2u);

  // Saved again under another title: the file is converted again and shows its new title.
  const std::string text = ReadFileBytes(file);
  WriteFileBytes(file, "caffeine, as saved again" + text.substr(text.find_first_of("\r\n")));
  ASSERT_TRUE(LoadNextFile(wnd, file, 0));
  EXPECT_TRUE(state->Loading);
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  bool newTitle = false;
  for (const TGeoElement& e : ValidElements(state->Shown.Scene))
    newTitle = newTitle || e.Text == "caffeine, as saved again";
  EXPECT_TRUE(newTitle);
  EXPECT_EQ(ConverterRuns(), 3u);
}

TEST_F(ViewerTest, ModelsAreMadeAheadAndKeptOnlyWithinTheSurfaceBudget) {
  struct TBudgetReset {
    ~TBudgetReset() { SetSurfaceBudgetOverride(0); }
  } reset;
  UseCountingConverter(TViewMode::k3D);
  Configure([](TPelorinConfig& c) { c.Model3D = TModel3D::Atoms; });
  // Room for the atom model of one record (paracetamol with its hydrogens) and no more.
  constexpr int64_t kAtoms = 20;
  SetSurfaceBudgetOverride(kAtoms * AtomModelBytesPerAtom(kAtoms, TAtomDrawing::Impostors));
  TTempDir dir;
  HWND wnd = Open(WriteThreeDLibrary(dir));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  PumpUntil([] { return false; }, 1.0);
  EXPECT_EQ(Log().find("Prefetch:"), std::string::npos) << "no room for a model made ahead";
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_FALSE(StepShowsAtOnce(wnd, VK_LEFT)) << "no room to keep the model of record 1 either";
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_EQ(ConverterRuns(), 3u);

  SetSurfaceBudgetOverride(0);
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(WaitForLog("Prefetch: mode=3D mol=2 ready for the step to it")) << Log();
  EXPECT_TRUE(StepShowsAtOnce(wnd, VK_RIGHT));
  EXPECT_TRUE(StepShowsAtOnce(wnd, VK_LEFT));
  EXPECT_EQ(ConverterRuns(), 5u);
  const TImage p = Picture(wnd);
  const uint32_t background = (33u << 16) | (36u << 8) | 41u;
  size_t drawn = 0;
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) drawn += p.At(x, y) != background;
  EXPECT_GT(drawn, 5000u) << "the kept model is drawn";
}
