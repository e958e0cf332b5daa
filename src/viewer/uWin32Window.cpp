// The viewer window: class, creation, the window procedure and painting. Input is turned
// into state changes by the plain functions of uViewerLogic.
#include "viewer/uWin32Window.h"

#include <windowsx.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "convert/uConverter.h"
#include "formats/uMolFormat.h"
#include "formats/uRecordIndex.h"
#include "render/uGLContext.h"
#include "render/uGLFont.h"
#include "render/uMeshRender.h"
#include "render/uMessageView.h"
#include "render/uRender2D.h"
#include "support/uConfig.h"
#include "support/uDebugLog.h"
#include "support/uGdiObjects.h"
#include "support/uGuard.h"
#include "support/uWglObjects.h"
#include "svg/uScenePalette.h"
#include "viewer/uCommands.h"
#include "viewer/uFieldsPanel.h"
#include "viewer/uKeyboardHook.h"
#include "viewer/uLoadController.h"
#include "viewer/uNavBar.h"
#include "viewer/uRecordPass.h"
#include "viewer/uWindowChrome.h"

namespace pelorin {
namespace {

HINSTANCE gInstance = nullptr;
bool gClassRegistered = false;

void Invalidate(HWND wnd) {
  InvalidateRect(wnd, nullptr, FALSE);
}
void PrintClient(HWND wnd, TPelorinState* state, HDC dc);

struct TDrawSize {
  int w, h;
};

TDrawSize ClientDrawSize(HWND wnd) {
  RECT client;
  GetClientRect(wnd, &client);
  int h = client.bottom - client.top;
  return {client.right - client.left, h < kMinDrawHeight ? kMinDrawHeight : h};
}

// The 2D drawing as the window shows it: in dark mode with the dark palette, mapped once per
// scene (a switch of the host's mode redraws without a conversion).
const TSVGScene& ShownScene(TPelorinState& state) {
  TShownView& shown = state.Shown;
  if (!state.DarkMode) return shown.Scene;
  if (!shown.DarkScene) shown.DarkScene = DarkScene(shown.Scene);
  return *shown.DarkScene;
}

// Draws what the window shows into the back buffer of its context, which is current (no swap).
void DrawView(TPelorinState& state, TWindowGL& gl, int w, int h) {
  gl.Resources().ReleaseStale();
  if (state.Loading) {
    DrawCenteredMessage(gl.Text(), LoadingMessage(GetTickCount64() - state.LoadStartedMs, state.RecordCount > 1), w, h);
  } else if (state.Shown.Ready) {
    if (state.Mode == TViewMode::k3D) {
      RenderMeshModel(state.Shown.Model, gl.Resources().For(state.Shown.Model), {w, h, kNavBarHeight}, state.View,
                      state.Dragging ? TMeshFrame::Dragged : TMeshFrame::Still);
    } else {
      const TSVGScene& scene = ShownScene(state);
      SetupProjection2D(w, h, scene, state.View);
      RenderScene2D(scene, state.View, gl.Text(), state.DarkMode ? kDarkBackground : TRGBAColor{1, 1, 1, 1});
    }
  } else {
    DrawCenteredMessage(gl.Text(), state.Shown.ErrorMsg, w, h);
  }
}

void Paint(HWND wnd, TPelorinState* state) {
  TPaintScope paint(wnd);
  if (!state) return;
  TDrawSize size = ClientDrawSize(wnd);
  if (!state->GL) {
    // Until the OpenGL context is made, just after the window's creation, the wait is told with GDI.
    PaintMessage(wnd, paint.dc(), state->GLPending ? LoadingMessage(0, false) : state->Shown.ErrorMsg);
    if (state->GLPending) DrawNavBar(*state, paint.dc(), size.w, size.h);
    return;
  }
  bool drawn = false;
  const int drawWidth = size.w - FieldsPanelWidthOf(*state, size.w);
  {
    const TCurrentContext current = state->GL->MakeCurrent();
    state->View.ViewWidth = drawWidth;
    state->View.ViewHeight = size.h;
    if (current) {
      DrawView(*state, *state->GL, drawWidth, size.h);
      state->GL->Swap();
      drawn = true;
    }
  }
  DrawFieldsPanel(*state, paint.dc(), size.w, size.h);
  DrawNavBar(*state, paint.dc(), size.w, size.h);
  // The shown record is on screen: the next one may now be converted in the background.
  if (drawn && state->PrefetchDue && !state->Loading) {
    state->PrefetchDue = false;
    PostMessageA(wnd, WM_PELORIN_PREFETCH, 0, 0);
  }
}

void StartLoadAndRepaint(TPelorinState* state) {
  if (StartLoad(*state, state->ShownRecord)) Invalidate(state->Wnd);
}

void ToggleMode(TPelorinState* state, const char* logFormat) {
  state->Mode = ToggledMode(state->Mode);
  DebugLogFmt(logFormat, ViewModeText(state->Mode).c_str());
  StartLoadAndRepaint(state);
}

// D: the fields panel shown or hidden, in every window, and the choice kept in the ini file.
void ToggleFields(TPelorinState* state) {
  const bool show = !ConfigSnapshot().ShowFields;
  std::string error;
  if (!SaveShowFields(show, error)) DebugLog("SaveShowFields FAILED: " + error);
  DebugLogFmt("KeyDown D: ShowFields=%d", show ? 1 : 0);
  Invalidate(state->Wnd);
}

void GoToRecord(TPelorinState* state, int32_t index) {
  if (index == state->ShownRecord) return;
  state->StepDirection = index < state->ShownRecord ? -1 : 1;
  state->ShownRecord = index;
  StartLoadAndRepaint(state);
}

// Keys with Ctrl or Alt held belong to the host (Ctrl+C excepted): they reach this window
// when the keyboard hook lets them pass, and the host, which subclasses it, sees them first.
void OnKeyDown(TPelorinState* state, WPARAM key) {
  const bool ctrl = GetKeyState(VK_CONTROL) < 0, alt = GetKeyState(VK_MENU) < 0;
  if (!ViewerTakesKey(static_cast<int>(key), ctrl, alt)) return;
  if (state->SearchStop) {  // the key stops the search and does nothing else
    state->SearchStop->RequestStop();
    return;
  }
  if (!state->Notice.empty()) {
    state->Notice.clear();
    Invalidate(state->Wnd);
  }
  switch (key) {
    case VK_LEFT:
    case VK_UP:
      GoToRecord(state, PreviousRecord(state->ShownRecord, state->RecordCount));
      break;
    case VK_RIGHT:
    case VK_DOWN:
      GoToRecord(state, NextRecord(state->ShownRecord, state->RecordCount));
      break;
    case 'H':
      state->View.ShowHeadings = !state->View.ShowHeadings;
      Invalidate(state->Wnd);
      break;
    case 'R':
      ResetView(state->View);
      Invalidate(state->Wnd);
      break;
    case 'D':
      ToggleFields(state);
      break;
    case 'T':
      ToggleMode(state, "KeyDown T: Mode=%s");
      break;
    default:
      HandleCommandKey(state, key);
      break;
  }
}

void OnButtonDown(TPelorinState* state, LPARAM lParam) {
  int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  RECT client;
  GetClientRect(state->Wnd, &client);
  if (HitsToggleButton(x, y, client.bottom - client.top)) {
    ToggleMode(state, "NavBar Toggle: Mode=%s");
    return;
  }
  state->Dragging = true;
  state->LastMouseX = x;
  state->LastMouseY = y;
  SetCapture(state->Wnd);
}

void EndDrag(TPelorinState* state) {
  if (!state->Dragging) return;
  state->Dragging = false;
  Invalidate(state->Wnd);  // the shadow and wire lines come back
}

void OnMouseMove(TPelorinState* state, LPARAM lParam) {
  RECT client;
  GetClientRect(state->Wnd, &client);
  int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  int dx = x - state->LastMouseX, dy = y - state->LastMouseY;
  state->LastMouseX = x;
  state->LastMouseY = y;
  ApplyDrag(state->View, state->Mode, dx, dy, client.right - client.left, client.bottom - client.top - kNavBarHeight,
            state->Shown.Scene.Width, state->Shown.Scene.Height);
  Invalidate(state->Wnd);
}

void OnWheel(TPelorinState* state, WPARAM wParam) {
  int delta = GET_WHEEL_DELTA_WPARAM(wParam);
  if (state->Mode == TViewMode::k3D)
    state->View.Zoom3D = WheelZoom(state->View.Zoom3D, delta, kMaxZoom3D);
  else
    state->View.Zoom2D = WheelZoom(state->View.Zoom2D, delta, kMaxZoom2D);
  Invalidate(state->Wnd);
}

void OnSize(TPelorinState* state, LPARAM lParam) {
  if (!state->GL) return;
  int w = LOWORD(lParam), h = HIWORD(lParam);
  if (h < kMinDrawHeight) h = kMinDrawHeight;
  if (state->Shown.Ready && state->Mode == TViewMode::k2D) {
    const TCurrentContext current = state->GL->MakeCurrent();
    if (current) SetupProjection2D(w - FieldsPanelWidthOf(*state, w), h, state->Shown.Scene, state->View);
  }
  Invalidate(state->Wnd);
}

// Ends all the window runs and holds while it still exists; the state itself goes once no handler
// holds it.
void OnDestroy(HWND wnd, TPelorinState* state) {
  RemoveKbdHook(wnd);
  if (state->RecordPass) state->RecordPass->Stop();  // the pass stops while the loads are stopped
  EndLoads(*state);
  state->RecordPass.reset();
  state->GL.reset();  // its textures and buffers, then its OpenGL context, then its device context
  CloseViewerState(wnd);
}

// Only the navigation bar: repainting the picture for a new count would cost a 3D frame.
void RedrawNavBar(TPelorinState* state) {
  TWindowDC dc(state->Wnd);
  if (!dc) return;
  TDrawSize size = ClientDrawSize(state->Wnd);
  DrawNavBar(*state, dc.get(), size.w, size.h);
}

// WM_PELORIN_RECORDS: the pass found more records, or ended.
void OnRecordsCounted(TPelorinState* state) {
  if (!state->Records || state->RecordCountFinal) return;
  const TRecordIndexState pass = state->Records->State();  // before the count: an ended pass has its final count
  const size_t known = state->Records->Count();
  state->RecordCount = SteppedRecordCount(state->Records->Rule(), known);
  if (pass != TRecordIndexState::kBuilding) {
    state->RecordCountFinal = true;
    if (CountLineOf(state->Records->Rule()) == TCountLine::kSDFSplit)
      DebugLogFmt("SDF split: %d molecules", state->RecordCount);
    else if (CountLineOf(state->Records->Rule()) == TCountLine::kSMILESLines)
      DebugLogFmt("SMILES lines: %llu (%s)", static_cast<unsigned long long>(known),
                  state->RecordCount > 1 ? "stepped" : "drawn as one grid");
    else
      DebugLogFmt("Records: %d (%s)", state->RecordCount, RecordWordOf(state->Records->Rule()).c_str());
    if (pass == TRecordIndexState::kFailed) DebugLog("ERROR: " + state->Records->Error());
  }
  RedrawNavBar(state);
  StartPrefetch(*state);  // the record after the shown one may only now be known
}

LRESULT OnGoToRecord(TPelorinState* state, WPARAM target) {
  const bool last = target == static_cast<WPARAM>(-1);
  if (last && !state->RecordCountFinal) return -1;
  const WPARAM index = last ? static_cast<WPARAM>(state->RecordCount - 1) : target;
  if (index >= static_cast<WPARAM>(state->RecordCount)) return -1;
  if (static_cast<int32_t>(index) == state->ShownRecord) return 0;
  GoToRecord(state, static_cast<int32_t>(index));
  return 1;
}

// The window's pixel format, OpenGL context and text cache, made once ListLoad has returned
// while the first record is converted. Without a context nothing can be drawn: the load stops
// and the window says why.
void SetUpGL(TPelorinState* state) {
  if (!state->GLPending) return;
  state->GLPending = false;
  HWND wnd = state->Wnd;
  state->GL = TWindowGL::Create(wnd);
  if (state->GL) {
    const TCurrentContext current = state->GL->MakeCurrent();
    state->AtomDrawingKnown.set_value(state->GL->Resources().AtomDrawing());
  } else {
    state->AtomDrawingKnown.set_value(TAtomDrawing::Meshes);  // nothing is loaded: the loads stop
    CancelPrefetch(*state);
    if (!StopLoad(*state)) return;
    ShowError(*state, "Could not create OpenGL context.");
    DebugLog("ERROR: " + state->Shown.ErrorMsg);
  }
  Invalidate(wnd);
}

// Every message that needs the state; the state is known to be there.
bool HandleStateMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, TPelorinState* state, LRESULT& result) {
  result = 0;
  switch (msg) {
    case WM_DESTROY:
      OnDestroy(wnd, state);
      return true;
    case WM_SIZE:
      OnSize(state, lParam);
      return true;
    case WM_KEYDOWN:
      OnKeyDown(state, wParam);
      return true;
    case WM_MOUSEMOVE:
      if (state->Dragging) OnMouseMove(state, lParam);
      return true;
    case WM_LBUTTONDOWN:
      OnButtonDown(state, lParam);
      return true;
    case WM_LBUTTONUP:
      EndDrag(state);
      ReleaseCapture();
      return true;
    case WM_CAPTURECHANGED:  // Alt+Tab, a pop-up or another window took the mouse mid-drag
      EndDrag(state);
      return true;
    case WM_CANCELMODE:
      EndDrag(state);
      if (GetCapture() == wnd) ReleaseCapture();
      return true;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
      ResetView(state->View);
      Invalidate(wnd);
      return true;
    case WM_MOUSEWHEEL:
      OnWheel(state, wParam);
      return true;
    case WM_PELORIN_RELOAD:
      ForgetKeptViews(*state);
      StartLoadAndRepaint(state);
      return true;
    case WM_PELORIN_SETUP_GL:
      SetUpGL(state);
      return true;
    case WM_PELORIN_PREFETCH:
      StartPrefetch(*state);
      return true;
    case WM_PELORIN_LOADED:
      TakeOverLoad(*state, lParam);
      return true;
    case WM_PELORIN_RECORDS:
      OnRecordsCounted(state);
      return true;
    case WM_PELORIN_GOTO_RECORD:
      result = OnGoToRecord(state, wParam);
      return true;
    case WM_TIMER:
      if (wParam != kLoadClockTimer) return false;
      if (state->Loading)
        Invalidate(wnd);  // the seconds of the wait move on
      else
        KillTimer(wnd, kLoadClockTimer);
      return true;
    default:
      return HandleCommandMessage(state, msg, wParam, lParam, result);
  }
}

LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // Held while the message is handled: a wait inside may close the window, and the handler
  // still finds its state, closed.
  const THeldState held(StateOf(wnd));
  TPelorinState* state = held ? held.get() : nullptr;
  switch (msg) {
    case WM_PAINT:
      Paint(wnd, state);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PRINTCLIENT:
      PrintClient(wnd, state, reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
    default:
      break;
  }
  LRESULT result = 0;
  if (state && HandleStateMessage(wnd, msg, wParam, lParam, state, result)) return result;
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK ViewerWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RunGuarded("ViewerWindowProc", LRESULT{0}, [&] { return HandleMessage(wnd, msg, wParam, lParam); });
}

// Windows may be created on several threads at once: the host can show several lister windows.
std::mutex& ClassMutex() {
  static std::mutex* m = new std::mutex;  // outlives every thread, even during unload
  return *m;
}

void RegisterViewerClass() {
  std::lock_guard<std::mutex> lock(ClassMutex());
  if (gClassRegistered) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
  wc.lpfnWndProc = &ViewerWindowProc;
  wc.hInstance = gInstance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kViewerClassName;
  RegisterClassExA(&wc);
  gClassRegistered = true;
}

std::unique_ptr<TPelorinState> NewState(HWND wnd, const std::string& fileName, int width, int height) {
  auto state = std::make_unique<TPelorinState>();
  state->Wnd = wnd;
  state->FileName = fileName;
  state->View.ViewWidth = width;
  state->View.ViewHeight = height - kNavBarHeight;
  state->Mode = ConfigSnapshot().StartMode;
  return state;
}

// Files with records get an index, empty until the pass fills it: SDF records, SMILES lines,
// MOL2 molecules, XYZ frames, PDB models and CML molecules are all stepped through.
void MakeRecordIndex(TPelorinState& state) {
  const std::optional<TRecordRule> rule = RecordRuleOf(MolFormatFromFileName(state.FileName));
  if (!rule) return;
  state.Records = std::make_shared<TRecordIndex>(state.FileName, *rule);
  state.RecordCountFinal = false;
}

// The pass runs on a thread of its own: neither the window nor its first load waits for the end
// of a large file. Started last, so that the host's thread has done its part before the pass
// competes for the processor.
void StartRecordPass(TPelorinState& state) {
  if (!state.Records) return;
  state.RecordPass = std::make_unique<TRecordPass>(state.Wnd, state.Records);
  if (state.RecordPass->Start()) return;
  // No thread to spare: the pass runs here, as the window could not show the file otherwise.
  DebugLog("TRecordPass EXCEPTION: CreateThread: the record pass runs on the window's thread");
  state.RecordPass.reset();
  BuildRecordIndex(*state.Records);
  OnRecordsCounted(&state);
}

// Draws what the window shows (drawing, model or message) into the back buffer and reads
// the part above the navigation bar. Read before any swap: a swapped or on-screen OpenGL
// picture cannot be read back reliably.
HBITMAP ReadBackPicture(HWND wnd, TPelorinState* state) {
  if (!state || !state->GL) return nullptr;
  const TPictureSize shown = ShownPictureSize(wnd);  // the drawing beside the panel, above the bar
  if (shown.Width <= 0 || shown.Height <= 0) return nullptr;
  const TDrawSize size{shown.Width, shown.Height + kNavBarHeight};
  return state->GL
      ->DrawAndReadBack({0, kNavBarHeight, shown.Width, shown.Height},
                        [&] {
                          state->View.ViewWidth = size.w;
                          state->View.ViewHeight = size.h;
                          DrawView(*state, *state->GL, size.w, size.h);
                        })
      .release();
}

// WM_PRINTCLIENT: the window's picture and navigation bar drawn into another program's
// device context (a block copy of an OpenGL window would give black).
void PrintClient(HWND wnd, TPelorinState* state, HDC dc) {
  if (!state) return;
  if (!state->GL) {
    PaintMessage(wnd, dc, state->Shown.ErrorMsg);
    return;
  }
  TDrawSize size = ClientDrawSize(wnd);
  TGdiObject<HBITMAP> picture(ReadBackPicture(wnd, state));
  if (picture) {
    TMemoryDC mem;
    TSelection select(mem.get(), picture.get());
    BitBlt(dc, 0, 0, size.w - FieldsPanelWidthOf(*state, size.w), size.h - kNavBarHeight, mem.get(), 0, 0, SRCCOPY);
  }
  DrawFieldsPanel(*state, dc, size.w, size.h);
  DrawNavBar(*state, dc, size.w, size.h);
}

}  // namespace

bool IsViewerWindow(HWND wnd) {
  DWORD process = 0;
  if (!wnd || !GetWindowThreadProcessId(wnd, &process) || process != GetCurrentProcessId()) return false;
  // The class's procedure, not the window's: the host subclasses the viewer window.
  return GetClassLongPtrA(wnd, GCLP_WNDPROC) == reinterpret_cast<ULONG_PTR>(&ViewerWindowProc);
}

TPelorinState* ViewerStateOf(HWND wnd) {
  return IsViewerWindow(wnd) ? StateOf(wnd) : nullptr;
}

// Everything after the window exists: state, hook, records, the first load. The first
// record's conversion starts at once; the OpenGL context is made while it runs, once the host
// is back from ListLoad (WM_PELORIN_SETUP_GL).
static void SetUpNewWindow(HWND wnd, const std::string& fileName, int showFlags, int width, int height) {
  std::unique_ptr<TPelorinState> made = NewState(wnd, fileName, width, height);
  made->ShowFlags = showFlags;
  made->DarkMode = (showFlags & kParamDarkMode) != 0;
  made->GLPending = true;
  DebugLogFmt("CreatePelorinWindow: Mode=%s", ViewModeText(made->Mode).c_str());
  const THeldState state(&AttachViewerState(wnd, std::move(made)));  // freed in WM_DESTROY
  InstallKbdHook(wnd);  // removed in WM_DESTROY, which runs only for a window with its state
  MakeRecordIndex(*state);
  state->ShownRecord = 0;
  if (!StartLoad(*state, 0)) return;
  StartRecordPass(*state);
  if (!PostMessageA(wnd, WM_PELORIN_SETUP_GL, 0, 0)) SetUpGL(state.get());
}

HWND CreatePelorinWindow(HWND parent, const std::string& fileName, int showFlags) {
  RegisterViewerClass();
  RECT client{};
  GetClientRect(parent, &client);
  int width = client.right - client.left, height = client.bottom - client.top;
  if (width < 10) width = 400;
  if (height < 10) height = 300;
  HWND wnd = CreateWindowExA(0, kViewerClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0, width,
                             height, parent, nullptr, gInstance, nullptr);
  DebugLogFmt("CreateWindowEx \xE2\x86\x92 HWND=%llu",
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(wnd)));
  if (!wnd) {
    DebugLog("CreateWindowEx FAILED");
    return nullptr;
  }
  try {
    SetUpNewWindow(wnd, fileName, showFlags, width, height);
  } catch (...) {
    // The host never sees this window, so it could never close it: take it down here.
    // Its destroy handling frees whatever state was already attached.
    DestroyWindow(wnd);
    throw;
  }
  Invalidate(wnd);
  return wnd;
}

// The window's file, records, mode and view values as a new window's on `fileName`; what it
// shows and keeps is left to the load that follows.
static void TakeNextFile(TPelorinState& state, const std::string& fileName, int showFlags) {
  state.RecordPass.reset();
  state.Records.reset();
  state.FileName = fileName;
  state.ShowFlags = showFlags;
  state.DarkMode = (showFlags & kParamDarkMode) != 0;
  state.ShownRecord = 0;
  state.RecordCount = 1;
  state.RecordCountFinal = true;
  state.StepDirection = 1;
  state.Mode = ConfigSnapshot().StartMode;
  const TDrawSize size = ClientDrawSize(state.Wnd);
  state.View = TViewValues{};
  state.View.ViewWidth = size.w;
  state.View.ViewHeight = size.h - kNavBarHeight;
  MakeRecordIndex(state);
}

bool LoadNextFile(HWND wnd, const std::string& fileName, int showFlags) {
  const THeldState state(ViewerStateOf(wnd));
  if (!state) return false;
  CancelPrefetch(*state);
  if (state->RecordPass) state->RecordPass->Stop();
  if (!StopLoad(*state)) return false;
  TakeNextFile(*state, fileName, showFlags);
  DebugLogFmt("LoadNextFile: Mode=%s", ViewModeText(state->Mode).c_str());
  if (!StartLoad(*state, 0)) return false;  // keeps the view shown before for a return to it
  StartRecordPass(*state);
  Invalidate(wnd);
  return true;
}

HBITMAP RenderViewToBitmap(HWND wnd) {
  TPelorinState* state = StateOf(wnd);
  if (!state || !state->Shown.Ready || state->Loading) return nullptr;
  return ReadBackPicture(wnd, state);
}

TPictureSize ShownPictureSize(HWND wnd) {
  const TPelorinState* state = StateOf(wnd);
  if (!state) return {};
  const TDrawSize size = ClientDrawSize(wnd);
  const int width = size.w - FieldsPanelWidthOf(*state, size.w), height = size.h - kNavBarHeight;
  return width > 0 && height > 0 ? TPictureSize{width, height} : TPictureSize{};
}

// The band under the picture that the navigation bar covers, at the scale of a picture `height`
// pixels high: the 3D view is framed over the picture and the band.
static int CoveredBandFor(int height, const TPictureSize& shown) {
  return shown.Height > 0 ? static_cast<int>(static_cast<int64_t>(kNavBarHeight) * height / shown.Height) : 0;
}

int LargestTiledPictureSide(HWND wnd) {
  TPelorinState* state = StateOf(wnd);
  const TPictureSize shown = ShownPictureSize(wnd);
  if (!state || !state->GL || shown.Height <= 0) return 0;
  const TCurrentContext current = state->GL->MakeCurrent();
  if (!current) return 0;
  // The area takes the picture and its covered band.
  const int64_t side = LargestTiledAreaSide(state->GL->Resources());
  return static_cast<int>(side * shown.Height / (shown.Height + kNavBarHeight));
}

bool RenderShown3DTiles(HWND wnd, TPictureSize size, const TTileSink& sink) {
  TPelorinState* state = StateOf(wnd);
  if (!state || !state->GL || !state->Shown.Ready || state->Loading || state->Mode != TViewMode::k3D) return false;
  RECT client{};
  GetClientRect(wnd, &client);
  // The tiles go through the window's back buffer, which is as large as its client area.
  const TPictureSize tile{client.right - client.left, client.bottom - client.top};
  const TCurrentContext current = state->GL->MakeCurrent();
  if (!current || tile.Width <= 0 || tile.Height <= 0) return false;
  const bool drawn = RenderMeshModelTiles(state->Shown.Model, state->GL->Resources().For(state->Shown.Model), size,
                                          CoveredBandFor(size.Height, ShownPictureSize(wnd)), tile, state->View, sink);
  Invalidate(wnd);  // the back buffer now holds the last tile
  return drawn;
}

void ViewerLibraryAttach(HINSTANCE instance) {
  gInstance = instance;
}

void ViewerLibraryDetach() {
  DeleteIdleContexts();
  if (gClassRegistered) UnregisterClassA(kViewerClassName, gInstance);
  gClassRegistered = false;
}

HINSTANCE ViewerInstance() {
  return gInstance;
}

}  // namespace pelorin
