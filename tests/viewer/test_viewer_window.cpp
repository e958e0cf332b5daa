// The viewer window with the real converter: creation, loads, navigation, input, the
// read-back of its picture, and closing while a load runs.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "dialog_driver.h"
#include "lattice_pdb.h"
#include "model3d/uAtomModel.h"
#include "model3d/uSurfaceBudget.h"
#include "render/uGLContext.h"
#include "support/uWinHandle.h"
#include "test_drawing.h"
#include "viewer/uClipboard.h"
#include "viewer/uKeyboardHook.h"
#include "viewer/uRecordPass.h"
#include "viewer_test_util.h"

using namespace pelorin;
using namespace pelorin::testpaths;
using namespace pelorin_test;
using pelorin::dialogs::TDialogScript;

TEST_F(ViewerTest, ChildWindowTakesTheParentsSizeOrFallsBack) {
  HWND tiny = CreatePane(5, 5);
  HWND wnd = CreatePelorinWindow(tiny, SamplePath("caffeine.mol"));
  ASSERT_NE(wnd, nullptr);
  RECT r;
  GetClientRect(wnd, &r);
  EXPECT_EQ(r.right, 400);
  EXPECT_EQ(r.bottom, 300);
  EXPECT_EQ(GetParent(wnd), tiny);
  EXPECT_EQ(State(wnd)->View.ViewHeight, 300 - 28);
  EXPECT_TRUE(WaitLoaded(wnd));
  DestroyWindow(tiny);
  PumpMessages();

  HWND flat = CreatePane(800, 9);
  wnd = CreatePelorinWindow(flat, SamplePath("caffeine.mol"));
  GetClientRect(wnd, &r);
  EXPECT_EQ(r.right, 800);
  EXPECT_EQ(r.bottom, 300);
  DestroyWindow(flat);
  PumpMessages();
}

TEST_F(ViewerTest, TwoDimensionalDrawingIsReadBack) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  EXPECT_EQ(state->Mode, TViewMode::k2D);
  EXPECT_NE(Log().find("CreatePelorinWindow: Mode=2D"), std::string::npos);

  TImage p = Picture(wnd);
  ASSERT_EQ(p.Width, 640);
  ASSERT_EQ(p.Height, 480 - 28);  // the navigation bar is not part of the picture
  EXPECT_EQ(p.At(0, 0), 0xFFFFFFu);
  EXPECT_EQ(p.At(p.Width - 1, p.Height - 1), 0xFFFFFFu);
  const TBox ink = BoxOf(p, IsDark);
  EXPECT_GT(ink.Count, 500u);
  EXPECT_GT(CountPixels(p, IsReddish), 50u) << "the two oxygen labels are drawn in red";
  EXPECT_GT(ink.Width(), p.Width / 3);

  // Zooming out by half halves the drawing's extent.
  state->View.Zoom2D = 0.8f;
  TBox big = BoxOf(Picture(wnd), IsDark);
  state->View.Zoom2D = 0.4f;
  TBox small = BoxOf(Picture(wnd), IsDark);
  EXPECT_NEAR(static_cast<double>(big.Width()) / small.Width(), 2.0, 0.25);
  EXPECT_NEAR(static_cast<double>(big.Height()) / small.Height(), 2.0, 0.25);

  // The title stands in its band below the molecule; hiding it refits the molecule alone,
  // larger, into the room the band took.
  state->View.Zoom2D = 1;
  state->View.ShowHeadings = false;
  TBox noTitle = BoxOf(Picture(wnd), IsDark);
  EXPECT_GT(noTitle.Width(), ink.Width() * 21 / 20);
}

TEST_F(ViewerTest, PrintClientDrawsThePictureAndTheBarIntoAnotherDC) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  RECT r;
  GetClientRect(wnd, &r);
  TImage p = PrintedImage(wnd);
  ASSERT_EQ(p.Height, r.bottom);
  EXPECT_EQ(p.At(0, 0), 0xFFFFFFu);                       // the drawing's white background
  EXPECT_EQ(p.At(p.Width - 2, p.Height - 2), 0xEBEBEBu);  // the bar's grey (235, 235, 235)
  EXPECT_GT(CountPixels(p, IsDark), 500u);                // bonds, not the black of a block copy
}

TEST_F(ViewerTest, ThreeDimensionalModelIsReadBack) {
  UseStartMode(TViewMode::k3D);
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  ASSERT_TRUE(state->Shown.Model);
  EXPECT_GT(state->Shown.Model->FacetCount, 100000);
  EXPECT_NE(Log().find("CreatePelorinWindow: Mode=3D"), std::string::npos);

  TImage p = Picture(wnd);
  const uint32_t background = (33u << 16) | (36u << 8) | 41u;  // (0.13, 0.14, 0.16)
  auto similar = [](uint32_t a, uint32_t b) {
    return std::abs(Red(a) - Red(b)) <= 2 && std::abs(Green(a) - Green(b)) <= 2 && std::abs(Blue(a) - Blue(b)) <= 2;
  };
  EXPECT_TRUE(similar(p.At(0, 0), background)) << std::hex << p.At(0, 0);
  EXPECT_TRUE(similar(p.At(p.Width - 1, 0), background));
  // The middle of the picture is the lit model: brighter than the background in most
  // places (the wire overlay darkens the dense mesh), with the blue and violet of its sides.
  int lit = 0, bluish = 0, total = 0;
  for (int y = p.Height * 2 / 5; y < p.Height * 3 / 5; ++y)
    for (int x = p.Width * 2 / 5; x < p.Width * 3 / 5; ++x, ++total) {
      uint32_t c = p.At(x, y);
      if (Red(c) + Green(c) + Blue(c) > 33 + 36 + 41 + 30) ++lit;
      if (Blue(c) > Red(c) + 20) ++bluish;
    }
  EXPECT_GT(lit, total / 4);
  EXPECT_GT(bluish, total / 4);
  // Drawn from the driver's buffers: the model keeps no copy of its mesh in memory.
  EXPECT_FALSE(MeshArraysHeld(*state->Shown.Model));
  EXPECT_EQ(state->Shown.Model->MeshVertexCount, 3 * state->Shown.Model->FacetCount);
  // No temporary STL survives the load.
  EXPECT_TRUE(std::filesystem::is_empty(temp_.Path()));
}

// A surface over the memory budget is refused before the conversion when the file's atoms
// already say so, and its STL deleted unread when the hydrogens the converter adds make it so;
// Auto draws such a molecule as atoms.
TEST_F(ViewerTest, SurfaceOverTheMemoryBudgetIsRefusedOrDrawnAsAtoms) {
  struct TBudgetReset {
    ~TBudgetReset() { SetSurfaceBudgetOverride(0); }
  } reset;
  const struct {
    const char* name;
    uint64_t budget;
    const char* message;
    size_t conversions;  // 3D converter runs so far
  } cases[] = {
      {"14 atoms in the file", 1, "The 3D surface of 14 atoms is too large", 0},
      {"24 atoms with hydrogens", 20 * kSurfaceFacetsPerAtom * kSurfaceBytesPerFacet,
       "The 3D surface of 24 atoms is too large", 1},
  };
  UseStartMode(TViewMode::k3D);
  Configure([](TPelorinConfig& c) { c.Model3D = TModel3D::Surface; });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetSurfaceBudgetOverride(c.budget);
    HWND wnd = Open(SamplePath("caffeine.mol"));
    ASSERT_TRUE(WaitLoaded(wnd));
    TPelorinState* state = State(wnd);
    EXPECT_FALSE(state->Shown.Ready);
    EXPECT_FALSE(state->Shown.Model);
    EXPECT_EQ(state->Shown.ErrorMsg.rfind(c.message, 0), 0u) << state->Shown.ErrorMsg;
    EXPECT_EQ(CountOf(Log(), "] Mode=3D"), c.conversions);
    EXPECT_TRUE(std::filesystem::is_empty(temp_.Path()));
    DestroyWindow(wnd);
    PumpMessages();
  }
  // Auto draws the atoms instead of refusing.
  Configure([](TPelorinConfig& c) { c.Model3D = TModel3D::Auto; });
  SetSurfaceBudgetOverride(1 << 20);
  const size_t conversionsBefore = CountOf(Log(), "] Mode=3D");
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
  EXPECT_EQ(State(wnd)->Shown.Model->Kind, TModelKind::Atoms);
  EXPECT_EQ(CountOf(Log(), "] Mode=3D"), conversionsBefore + 1) << "the atoms' conversion only";
  EXPECT_EQ(CountOf(Log(), "] Mode=3D atoms"), 1u);
  DestroyWindow(wnd);

  // Atoms the budget cannot hold either are refused with their count, before they are read.
  SetSurfaceBudgetOverride(1);
  wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_FALSE(State(wnd)->Shown.Ready);
  EXPECT_EQ(
      State(wnd)->Shown.ErrorMsg.rfind("The 3D model of 14 atoms is too large for the free memory: 14 atoms need ", 0),
      0u)
      << State(wnd)->Shown.ErrorMsg;
  EXPECT_EQ(CountOf(Log(), "] Mode=3D atoms"), 1u) << "no conversion";
}

TEST_F(ViewerTest, AtomModelsOfCaffeineAndOfAGeneratedProtein) {
  UseStartMode(TViewMode::k3D);
  Configure([](TPelorinConfig& c) { c.Model3D = TModel3D::Atoms; });
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
  ASSERT_TRUE(State(wnd)->Shown.Model);
  EXPECT_EQ(State(wnd)->Shown.Model->Kind, TModelKind::Atoms);
  EXPECT_EQ(State(wnd)->Shown.Model->Atoms.size(), 24u);
  EXPECT_FALSE(State(wnd)->Shown.Model->DepthCue) << "a small molecule keeps its colours";
  TImage p = Picture(wnd);
  EXPECT_GT(CountPixels(p, IsReddish), 200u) << "oxygen";
  EXPECT_GT(CountPixels(p, IsNitrogenBlue), 200u) << "nitrogen";
  EXPECT_NE(Log().find("RunOBabelXYZ: XYZ ready"), std::string::npos);
  DestroyWindow(wnd);

  // A collection is stepped: its first molecule is shown, and only that one is converted.
  TTempDir data;
  const std::string collection = data.File("two.mol2"), mol2 = ReadFileBytes(SamplePath("aspirin.mol2"));
  WriteFileBytes(collection, mol2 + mol2);
  wnd = Open(collection);
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
  EXPECT_EQ(State(wnd)->Shown.Model->Atoms.size(), 21u) << "the first molecule's atoms only";
  EXPECT_EQ(State(wnd)->RecordCount, 2);
  EXPECT_NE(Log().find(".mol2 -O "), std::string::npos);
  EXPECT_NE(Log().find(".xyz -l 1 "), std::string::npos) << Log();
  DestroyWindow(wnd);

  // Auto: far more atoms than a surface may have; the PDB's own atoms, no converter run.
  Configure([](TPelorinConfig& c) { c.Model3D = TModel3D::Auto; });
  const std::string protein = data.File("lattice.pdb");
  WriteFileBytes(protein, lattice::LatticePDBText(20000));
  wnd = Open(protein);
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
  EXPECT_EQ(State(wnd)->Shown.Model->Kind, TModelKind::Atoms);
  EXPECT_EQ(State(wnd)->Shown.Model->Atoms.size(), 20000u);
  EXPECT_TRUE(State(wnd)->Shown.Model->DepthCue);
  p = Picture(wnd);
  EXPECT_GT(CountPixels(p, IsNitrogenBlue), 1000u);
  EXPECT_NE(Log().find("LoadFileAtoms: 20000 atoms read from the file itself"), std::string::npos);
  DestroyWindow(wnd);

  // The settings turn the depth cue off.
  Configure([](TPelorinConfig& c) { c.DepthCue = false; });
  wnd = Open(protein);
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
  EXPECT_FALSE(State(wnd)->Shown.Model->DepthCue);
}

// No atom limit but memory: a simulation box of a million atoms (XYZ) and a 200,000-atom PDB
// whose serial numbers wrap past 99,999 load from the files themselves and fill the picture:
// their extent, as the view first shows it, 85 % or more of its height or width.
TEST_F(ViewerTest, MillionAtomXYZAndWrappedPDBLoadAndFillThePicture) {
  UseStartMode(TViewMode::k3D);
  TTempDir data;
  const std::string box = data.File("box.xyz"), pdb = data.File("wrapped.pdb");
  ASSERT_TRUE(lattice::WriteLatticeXYZ(box, 1000000));
  WriteFileBytes(pdb, lattice::LatticePDBText(200000));
  for (const auto& [file, atoms] : {std::pair{box, 1000000u}, {pdb, 200000u}}) {
    SCOPED_TRACE(file);
    HWND wnd = Open(file);
    ASSERT_TRUE(WaitLoaded(wnd));
    ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
    EXPECT_EQ(State(wnd)->Shown.Model->Atoms.size(), atoms);
    EXPECT_NE(Log().find("LoadFileAtoms: " + std::to_string(atoms) + " atoms read from the file itself"),
              std::string::npos);
    const TImage p = Picture(wnd);
    const TBox model = BoxOf(p, [](uint32_t c) { return Red(c) > 60 || Green(c) > 60 || Blue(c) > 70; });
    EXPECT_GE(std::max(double(model.Width() + 1) / p.Width, double(model.Height() + 1) / p.Height), 0.85);
    EXPECT_GT(CountPixels(p, IsNitrogenBlue), 100u);
    DestroyWindow(wnd);
  }
}

TEST_F(ViewerTest, RecordsAreSteppedWithoutWrapAround) {
  HWND wnd = Open(SamplePath("three.sdf"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  EXPECT_EQ(state->RecordCount, 3);
  EXPECT_NE(Log().find("SDF split: 3 molecules"), std::string::npos);
  SendMessageA(wnd, WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_EQ(state->ShownRecord, 0);
  EXPECT_FALSE(state->Loading);  // nothing to go back to: no new load

  for (int i = 0; i < 3; ++i) {
    SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
    ASSERT_TRUE(WaitLoaded(wnd));
  }
  EXPECT_EQ(state->ShownRecord, 2);
  EXPECT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  // Each record shown once: loaded, or made ready in the background and shown as kept.
  EXPECT_EQ(CountOf(Log(), "WM_PELORIN_LOADED: SceneReady=True") + CountOf(Log(), "View kept: mode=2D"), 3u);
  EXPECT_NE(Log().find("TLoadThread.Execute: mode=2D mol=2 file=["), std::string::npos);
}

TEST_F(ViewerTest, QuickStepsShowOnlyTheLastLoad) {
  HWND wnd = Open(SamplePath("three.sdf"));
  TPelorinState* state = State(wnd);
  // The count, without taking any finished load: the steps below stop a running one.
  ASSERT_TRUE(state->Records->WaitForCount(3, std::chrono::seconds(10)));
  while (state->Records->State() == TRecordIndexState::kBuilding) Sleep(1);
  SendMessageA(wnd, WM_PELORIN_RECORDS, 0, 0);
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);  // stops the first load, starts the second
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  ASSERT_TRUE(WaitLoaded(wnd));
  PumpUntil([] { return false; }, 0.5);  // let any outdated message arrive
  EXPECT_EQ(state->ShownRecord, 2);
  EXPECT_TRUE(state->Shown.Ready);
  EXPECT_EQ(CountOf(Log(), "WM_PELORIN_LOADED: "), 1u);
}

// Converter input files named in the log: "RunOBabelMode: InputFile=[<path>]".
std::vector<std::string> ConverterInputs(const std::string& log) {
  std::vector<std::string> inputs;
  const std::string key = "RunOBabelMode: InputFile=[";
  for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
    size_t start = at + key.size();
    inputs.push_back(log.substr(start, log.find(']', start) - start));
  }
  return inputs;
}

// A library of a few MB made here: the window is open before its records are counted, steps
// nowhere until it knows more than one, and reaches its last record, read from the file.
TEST_F(ViewerTest, LargeLibraryOpensBeforeItsRecordsAreCountedAndReachesItsLast) {
  TTempDir dir;  // the test's temporary folder must stay empty
  const std::vector<std::string> records = RecordsOf(SamplePath("three.sdf"));
  ASSERT_EQ(records.size(), 3u);
  std::string text;
  int32_t count = 1;
  for (; text.size() < (4u << 20); count += 3) text += records[0] + records[1] + records[2];
  const std::string last = "last of the library" + records[2].substr(records[2].find("\r\n"));
  text += last;
  const std::string path = dir.File("library.sdf");
  WriteFileBytes(path, text);

  HWND wnd = Open(path);
  TPelorinState* state = State(wnd);
  EXPECT_FALSE(state->RecordCountFinal) << "the records are counted after the window is made";
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(state->ShownRecord, 0) << "no step before a second record is known";
  EXPECT_EQ(SendMessageA(wnd, WM_PELORIN_GOTO_RECORD, static_cast<WPARAM>(-1), 0), -1);
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_EQ(state->RecordCount, count);
  EXPECT_NE(Log().find("SDF split: " + std::to_string(count) + " molecules"), std::string::npos);

  EXPECT_EQ(SendMessageA(wnd, WM_PELORIN_GOTO_RECORD, static_cast<WPARAM>(-1), 0), 1);
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_EQ(state->ShownRecord, count - 1);
  EXPECT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  std::string copied, message;
  ASSERT_TRUE(RecordTextForCopy(*state, copied, message)) << message;
  EXPECT_EQ(copied, last);
  EXPECT_EQ(SendMessageA(wnd, WM_PELORIN_GOTO_RECORD, static_cast<WPARAM>(count), 0), -1);
  EXPECT_EQ(SendMessageA(wnd, WM_PELORIN_GOTO_RECORD, static_cast<WPARAM>(count - 1), 0), 0);
  DestroyWindow(wnd);
  // TearDown checks that no record file is left behind.
}

// A SMILES file of more than 12 lines is stepped line by line; one of 12 is drawn as one grid.
TEST_F(ViewerTest, SmilesFilesOfMoreThanTwelveLinesAreStepped) {
  TTempDir dir;
  std::string lines;
  for (int i = 1; i <= 13; ++i) lines += std::string(i, 'C') + " chain" + std::to_string(i) + (i == 6 ? "\n\n" : "\n");
  const std::string twelve = dir.File("twelve.smi"), thirteen = dir.File("thirteen.smiles");
  WriteFileBytes(twelve, lines.substr(0, lines.find("CCCCCCCCCCCCC ")));
  WriteFileBytes(thirteen, lines);

  HWND wnd = Open(twelve);
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  EXPECT_EQ(state->RecordCount, 1);
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  EXPECT_EQ(ConverterInputs(Log()), std::vector<std::string>{twelve});
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_FALSE(state->Loading);
  DestroyWindow(wnd);

  wnd = Open(thirteen);
  ASSERT_TRUE(WaitLoaded(wnd));
  state = State(wnd);
  EXPECT_EQ(state->RecordCount, 13);
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;
  std::vector<std::string> inputs = ConverterInputs(Log());
  ASSERT_GE(inputs.size(), 3u);  // and the next line's, when it was converted in the background
  for (size_t i = 1; i < inputs.size(); ++i) {
    EXPECT_EQ(inputs[i].rfind(temp_.Dir() + "pelorin_mol_", 0), 0u) << inputs[i];
    EXPECT_EQ(inputs[i].substr(inputs[i].size() - 4), ".smi") << inputs[i];
  }
  std::string copied, message;
  ASSERT_TRUE(RecordTextForCopy(*state, copied, message)) << message;
  EXPECT_EQ(copied, "CC chain2\r\n");
  DestroyWindow(wnd);
  // TearDown checks that no record file is left behind.
}

TEST_F(ViewerTest, ModeToggleViewKeysWheelAndDrag) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);

  SendMessageA(wnd, WM_KEYDOWN, 'H', 0);
  EXPECT_FALSE(state->View.ShowHeadings);
  for (int i = 0; i < 10; ++i) SendMessageA(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_NEAR(state->View.Zoom2D, 4.0456, 1e-3);
  SendMessageA(wnd, WM_KEYDOWN, 'R', 0);
  EXPECT_FLOAT_EQ(state->View.Zoom2D, 1);

  SendMessageA(wnd, WM_KEYDOWN, 'T', 0);
  EXPECT_EQ(state->Mode, TViewMode::k3D);
  EXPECT_TRUE(state->Loading);
  EXPECT_NE(Log().find("KeyDown T: Mode=3D"), std::string::npos);
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(state->Shown.Ready) << state->Shown.ErrorMsg;

  // A drag 100 px right and 40 px down turns the model by 50 and 20 degrees.
  float rotX = state->View.RotX, rotY = state->View.RotY;
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 100));
  EXPECT_TRUE(state->Dragging);
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, 140));
  SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(300, 140));
  EXPECT_FALSE(state->Dragging);
  EXPECT_FLOAT_EQ(state->View.RotY, rotY + 50);
  EXPECT_FLOAT_EQ(state->View.RotX, rotX + 20);

  // Losing the mouse mid-drag (Alt+Tab, a pop-up, another window's capture) ends the drag:
  // later plain moves turn nothing.
  for (UINT loss : {WM_CANCELMODE, WM_CAPTURECHANGED}) {
    SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 100));
    if (loss == WM_CAPTURECHANGED)
      SetCapture(parent_);
    else
      SendMessageA(wnd, loss, 0, 0);
    EXPECT_FALSE(state->Dragging) << loss;
    SendMessageA(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(260, 100));
    EXPECT_FLOAT_EQ(state->View.RotY, rotY + 50) << loss;
    ReleaseCapture();
  }

  // The navigation bar's button toggles back and keeps the orientation for the next model.
  RECT r;
  GetClientRect(wnd, &r);
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, r.bottom - 10));
  EXPECT_EQ(state->Mode, TViewMode::k2D);
  EXPECT_NE(Log().find("NavBar Toggle: Mode=2D"), std::string::npos);
  ASSERT_TRUE(WaitLoaded(wnd));
  EXPECT_FLOAT_EQ(state->View.RotY, rotY + 50);
  SendMessageA(wnd, WM_LBUTTONDBLCLK, 0, MAKELPARAM(300, 100));
  EXPECT_FLOAT_EQ(state->View.RotY, -30);
  EXPECT_EQ(SendMessageA(wnd, WM_GETDLGCODE, 0, 0), 0x85);
}

namespace {

// Presses `key` with the `modifiers` held, as the keyboard would.
void PressKey(std::initializer_list<WORD> modifiers, WORD key) {
  std::vector<INPUT> keys;
  auto add = [&](WORD vk, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = flags;
    keys.push_back(input);
  };
  for (WORD m : modifiers) add(m, 0);
  add(key, 0);
  add(key, KEYEVENTF_KEYUP);
  for (WORD m : modifiers) add(m, KEYEVENTF_KEYUP);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

void FocusViewer(HWND parent, HWND viewer) {
  SetForegroundWindow(parent);
  SetFocus(viewer);
  PumpMessages();
}

}  // namespace

TEST_F(ViewerTest, KeysReachTheFocusedViewerThroughTheHookAlsoAfterAnotherViewerClosed) {
  HWND first = Open(SamplePath("caffeine.mol"));
  HWND second = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(first));
  ASSERT_TRUE(WaitLoaded(second));
  FocusViewer(parent_, first);
  ASSERT_EQ(GetFocus(), first);
  PressKey({}, 'H');
  EXPECT_TRUE(PumpUntil([&] { return !State(first)->View.ShowHeadings; }, 5));
  EXPECT_TRUE(State(second)->View.ShowHeadings);

  DestroyWindow(first);
  ASSERT_TRUE(KbdHookInstalled()) << "the other viewer still uses the hook";
  FocusViewer(parent_, second);
  PressKey({}, 'H');
  EXPECT_TRUE(PumpUntil([&] { return !State(second)->View.ShowHeadings; }, 5));
  DestroyWindow(second);
  EXPECT_FALSE(KbdHookInstalled());
  // The hook's two log lines as they always read; what else is known stands on lines of its own.
  const std::string log = Log();
  const std::string secondWindow = std::to_string(reinterpret_cast<uintptr_t>(second));
  const std::string installed = "InstallKbdHook: HHOOK=";
  bool found = false;
  for (size_t at = log.find(installed); at != std::string::npos && !found; at = log.find(installed, at + 1)) {
    const std::string line = log.substr(at, log.find("\r\n", at) - at);
    const size_t window = line.find(" HWND=");
    found = line.substr(window) == " HWND=" + secondWindow &&
            line.find_first_not_of("0123456789", installed.size()) == window;
  }
  EXPECT_TRUE(found) << log;
  EXPECT_NE(log.find("InstallKbdHook: viewer windows on this thread: 2\r\n"), std::string::npos);
  EXPECT_EQ(CountOf(log, "RemoveKbdHook: unhooked\r\n"), 1u);
  EXPECT_NE(log.find("RemoveKbdHook: HWND=" + secondWindow + " was the thread's last viewer window\r\n"),
            std::string::npos);
}

namespace {

// The host subclasses the viewer window to see its keys first, as the file manager's lister does.
std::vector<std::pair<UINT, WPARAM>> gHostKeys;
WNDPROC gViewerProc = nullptr;
LRESULT CALLBACK HostSubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) gHostKeys.emplace_back(msg, wParam);
  return CallWindowProcA(gViewerProc, wnd, msg, wParam, lParam);
}

}  // namespace

TEST_F(ViewerTest, KeysWithCtrlOrAltAndPlusOrMinusGoToTheHost) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  gHostKeys.clear();
  gViewerProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HostSubclassProc)));
  FocusViewer(parent_, wnd);
  size_t loadsBefore = CountOf(Log(), "TLoadThread.Execute:");
  TDialogScript noDialog(parent_, [](TDialogScript&) {});  // closes a save dialog Alt+S would open
  PressKey({VK_MENU}, 'S');
  PressKey({VK_CONTROL}, 'T');
  PressKey({}, VK_ADD);
  PressKey({}, 'H');  // the viewer's own key marks the end
  EXPECT_TRUE(PumpUntil([&] { return !State(wnd)->View.ShowHeadings; }, 10));
  noDialog.Finish();
  EXPECT_TRUE(noDialog.Unexpected.empty()) << noDialog.Unexpected.front();
  auto seen = [](UINT msg, WPARAM key) {
    return std::find(gHostKeys.begin(), gHostKeys.end(), std::pair<UINT, WPARAM>(msg, key)) != gHostKeys.end();
  };
  EXPECT_TRUE(seen(WM_SYSKEYDOWN, 'S'));
  EXPECT_FALSE(seen(WM_KEYDOWN, 'S')) << "Alt+S was taken as S";
  EXPECT_TRUE(seen(WM_KEYDOWN, 'T'));
  EXPECT_TRUE(seen(WM_KEYDOWN, VK_ADD));
  EXPECT_EQ(State(wnd)->Mode, TViewMode::k2D) << "Ctrl+T toggled the view";
  EXPECT_EQ(CountOf(Log(), "TLoadThread.Execute:"), loadsBefore);
  EXPECT_EQ(Log().find("ExportSVG"), std::string::npos);
  SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gViewerProc));
}

TEST_F(ViewerTest, TwoWindowsKeepTheirOwnZoom) {
  HWND a = Open(SamplePath("caffeine.mol"));
  HWND b = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(a));
  ASSERT_TRUE(WaitLoaded(b));
  SendMessageA(a, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  InvalidateRect(a, nullptr, FALSE);
  InvalidateRect(b, nullptr, FALSE);
  UpdateWindow(a);
  UpdateWindow(b);
  EXPECT_FLOAT_EQ(State(a)->View.Zoom2D, 1.15f);
  EXPECT_FLOAT_EQ(State(b)->View.Zoom2D, 1.0f);
  DestroyWindow(a);
  DestroyWindow(b);
}

namespace {

// What one viewer window drew on a thread of its own: its model's and its texts' pictures drawn
// before the other window started, and how many frames drawn beside the other's differed.
struct TThreadFrames {
  std::string Failure;
  TImage Model, Texts;
  int Frames = 0, Differing = 0;
};

}  // namespace

// The host shows lister windows on several threads. Two windows draw at once, each on its own
// thread, each its 3D model 300 times with a frame of 2D texts after each, which keeps its text
// cache busy: each keeps drawing exactly its own picture, and nothing faults.
TEST_F(ViewerTest, WindowsOnTwoThreadsDrawAtOnceEachItsOwnPicture) {
  UseStartMode(TViewMode::k3D);
  Configure([](TPelorinConfig& c) { c.Model3D = TModel3D::Atoms; });  // the files' own atoms, no converter
  constexpr int kFrames = 300;
  std::atomic<int> ready{0};
  auto draw = [&ready](const std::string& file, const std::string& label, TThreadFrames& out) {
    HWND parent = CreateParent(320, 240);
    HWND wnd = parent ? CreatePelorinWindow(parent, file) : nullptr;
    const bool loaded = wnd && WaitLoaded(wnd) && State(wnd)->Shown.Ready;
    ++ready;
    if (loaded) {
      TPelorinState* state = State(wnd);
      state->Shown.Scene = SceneOf({Text(label, {10, 60}, 30)}, 100);  // drawn through the window's text cache
      auto frame = [&](TViewMode mode) {
        state->Mode = mode;
        return Picture(wnd);
      };
      out.Model = frame(TViewMode::k3D);
      out.Texts = frame(TViewMode::k2D);
      PumpUntil([&] { return ready == 2; }, 60);
      for (int i = 0; i < kFrames; ++i, ++out.Frames) {
        if (!(frame(TViewMode::k3D) == out.Model)) ++out.Differing;
        if (!(frame(TViewMode::k2D) == out.Texts)) ++out.Differing;
      }
    } else {
      out.Failure = "no model of " + file;
    }
    if (parent) DestroyWindow(parent);  // the viewer, its OpenGL context and all, go with it
    PumpMessages();
  };
  TThreadFrames benzene, ethanol;
  std::thread first(draw, SamplePath("benzene.xyz"), "C6H6", std::ref(benzene));
  std::thread second(draw, SamplePath("ethanol.pdb"), "OH", std::ref(ethanol));
  first.join();
  second.join();
  for (const TThreadFrames* window : {&benzene, &ethanol}) {
    ASSERT_EQ(window->Failure, "");
    EXPECT_EQ(window->Frames, kFrames);
    EXPECT_EQ(window->Differing, 0) << "frames drawn beside the other window differ from the window's own picture";
    EXPECT_GT(CountPixels(window->Texts, IsDark), 100u);
  }
  EXPECT_GT(CountPixels(ethanol.Model, IsReddish), 50u) << "ethanol's oxygen";
  EXPECT_EQ(CountPixels(benzene.Model, IsReddish), 0u) << "benzene has none";
  EXPECT_FALSE(benzene.Texts == ethanol.Texts);
}

TEST_F(ViewerTest, ClosingDuringALoadEndsTheConverterAndLeavesNoTemporaryFile) {
  UseStartMode(TViewMode::k2D, SleepStandInExe());  // the product's 30 s time-out stays in force
  HWND wnd = Open(SamplePath("three.sdf"));
  ASSERT_TRUE(PumpUntil([this] { return Log().find("RunProcessWait: CMD=") != std::string::npos; }, 10));
  auto start = std::chrono::steady_clock::now();
  DestroyWindow(wnd);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(StateOf(wnd), nullptr);
  // The converter is ended at once instead of running into its time-out (twice).
  EXPECT_LT(seconds, 10.0);
  EXPECT_NE(Log().find("RunProcessWait: CANCELLED, terminating obabel process"), std::string::npos) << Log();
  EXPECT_EQ(Log().find("RunProcessWait: TIMEOUT"), std::string::npos);
  PumpMessages();
  // TearDown checks that the temporary folder is empty.
}

// A library whose read never answers (a pipe whose other end writes nothing): the window opens at
// once, and closing it is not held by the read.
TEST_F(ViewerTest, ClosingDuringAReadThatNeverAnswers) {
  const std::string pipe = "\\\\.\\pipe\\pelorin_library_" + std::to_string(GetCurrentProcessId()) + ".sdf";
  TUniqueHandle server(
      CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
  ASSERT_TRUE(server);
  HWND wnd = Open(pipe);
  ASSERT_NE(wnd, nullptr);
  const BOOL connected = ConnectNamedPipe(server.get(), nullptr);  // the record pass opens the library
  EXPECT_TRUE(connected || GetLastError() == ERROR_PIPE_CONNECTED);
  PumpUntil([] { return false; }, 0.3);
  EXPECT_EQ(State(wnd)->Records->State(), TRecordIndexState::kBuilding);
  const auto start = std::chrono::steady_clock::now();
  DestroyWindow(wnd);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
  EXPECT_EQ(StateOf(wnd), nullptr);
  PumpMessages();
}

TEST_F(ViewerTest, WindowClosedFromAnotherThreadWhileItsLoadIsStopped) {
  UseStartMode(TViewMode::k2D, SleepStandInExe());
  HWND wnd = Open(SamplePath("three.sdf"));
  ASSERT_TRUE(PumpUntil([this] { return Log().find("RunProcessWait: CMD=") != std::string::npos; }, 10));
  // Another thread's message that closes the viewer is already waiting when Right makes the
  // viewer stop its load; the wait handles sent messages, so the close runs inside it.
  HANDLE aboutToSend = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> sent{false};
  std::thread closer([this, wnd, aboutToSend, &sent] {
    SetEvent(aboutToSend);
    SendMessageA(parent_, WM_APP, reinterpret_cast<WPARAM>(wnd), 0);
    sent = true;
  });
  WaitForSingleObject(aboutToSend, INFINITE);
  Sleep(50);  // the message is in the queue before the viewer starts waiting
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_FALSE(IsWindow(wnd)) << "the close should have run inside the wait";
  PumpUntil([&] { return sent.load(); }, 30);
  closer.join();
  CloseHandle(aboutToSend);
  EXPECT_EQ(StateOf(wnd), nullptr);
  PumpMessages();
  // TearDown checks that no temporary file was left behind.
}

// A handler that waited may find its window destroyed: the state it holds is still there, closed,
// with everything it ran and drew ended, and goes when the last hold ends.
TEST_F(ViewerTest, AStateHeldAcrossTheWindowsDestructionOutlivesItClosed) {
  UseStartMode(TViewMode::k2D);
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  const THeldState held(StateOf(wnd));
  ASSERT_TRUE(held);
  {
    const THeldState nested(held.get());
    DestroyWindow(wnd);
    EXPECT_FALSE(nested) << "a hold tells that the window closed";
  }
  EXPECT_EQ(StateOf(wnd), nullptr) << "the window no longer hands its state out";
  ASSERT_NE(held.get(), nullptr);
  EXPECT_FALSE(held->Open());
  EXPECT_FALSE(held->GL) << "its drawing state went with the window";
  EXPECT_FALSE(held->LoadThread);
  EXPECT_FALSE(held->RecordPass);
  EXPECT_EQ(held->FileName, SamplePath("caffeine.mol")) << "the rest stays for the handler that holds it";
}

TEST_F(ViewerTest, FailedConversionShowsTheConvertersMessage) {
  UseStartMode(TViewMode::k2D, Exit1StandInExe());
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  EXPECT_FALSE(state->Shown.Ready);
  EXPECT_EQ(state->Shown.ErrorMsg.rfind("obabel exit code=1 CMD=", 0), 0u) << state->Shown.ErrorMsg;
  EXPECT_EQ(RenderViewToBitmap(wnd), nullptr);  // nothing to export
  EXPECT_NE(Log().find("WM_PELORIN_LOADED: SceneReady=False elements=0"), std::string::npos);
}

// The context is made once the window exists and its first record is being converted: when it
// cannot be made, that load stops and the window says why, as it always did.
TEST_F(ViewerTest, AContextThatCannotBeMadeStopsTheFirstLoadAndIsShownAsTheReason) {
  UseStartMode(TViewMode::k2D, SleepStandInExe());
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(State(wnd)->GLPending);
  // A window's pixel format is set once: one without a back buffer, which the viewer never asks
  // for, leaves it none of its own.
  HDC dc = GetDC(wnd);
  PIXELFORMATDESCRIPTOR pfd{};
  int single = 0;
  for (int format = 1; !single && DescribePixelFormat(dc, format, sizeof pfd, &pfd); ++format)
    if ((pfd.dwFlags & PFD_SUPPORT_OPENGL) && (pfd.dwFlags & PFD_DRAW_TO_WINDOW) && !(pfd.dwFlags & PFD_DOUBLEBUFFER))
      single = format;
  if (!single || !SetPixelFormat(dc, single, &pfd)) GTEST_SKIP() << "no single-buffered window format to set";
  ReleaseDC(wnd, dc);
  ASSERT_TRUE(PumpUntil([&] { return !State(wnd)->GLPending; }, 30));
  TPelorinState* state = State(wnd);
  EXPECT_EQ(state->GL, nullptr);
  EXPECT_FALSE(state->Loading);
  EXPECT_EQ(state->Shown.ErrorMsg, "Could not create OpenGL context.");
  EXPECT_NE(Log().find("ERROR: Could not create OpenGL context."), std::string::npos);
  EXPECT_TRUE(WaitForLog("RunProcessWait: CANCELLED", 10)) << "the first record's converter is ended";
  PumpUntil([] { return false; }, 0.3);
  EXPECT_EQ(Log().find("WM_PELORIN_LOADED"), std::string::npos);
  DestroyWindow(wnd);  // TearDown checks that no temporary file is left behind
}

TEST_F(ViewerTest, WindowWithoutAContextKeepsItsMessageAndStartsNoLoad) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  TPelorinState* state = State(wnd);
  // As a window whose context could not be made: every way to a new load leaves it alone.
  std::unique_ptr<TWindowGL> gl = std::move(state->GL);
  state->Shown.ErrorMsg = "Could not create OpenGL context.";
  size_t loadsBefore = CountOf(Log(), "TLoadThread.Execute:");
  SendMessageA(wnd, WM_KEYDOWN, 'T', 0);
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 0);
  SendMessageA(wnd, WM_PELORIN_RELOAD, 0, 0);
  EXPECT_FALSE(state->Loading);
  EXPECT_EQ(state->Shown.ErrorMsg, "Could not create OpenGL context.");
  EXPECT_EQ(CountOf(Log(), "TLoadThread.Execute:"), loadsBefore);
  state->GL = std::move(gl);
}
