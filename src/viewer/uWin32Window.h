// The viewer window: per-window state, creation, the current view swap, and the
// private messages between the window, its load thread and the host.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "stl/uSTLParser.h"
#include "svg/uSVGParser.h"
#include "viewer/uViewerLogic.h"

namespace pelorin {

class TGLFontCache;
class TLoadThread;

inline constexpr UINT WM_PELORIN_RELOAD = WM_USER + 100;   // restart the load of the current record
inline constexpr UINT WM_PELORIN_LOADED = WM_USER + 101;   // lParam: sequence number of the finished load
inline constexpr UINT WM_PELORIN_OPTIONS = WM_USER + 102;  // open the options dialog, then reload

inline constexpr char kViewerClassName[] = "PelorinWLX64";

// Everything one viewer window owns, reached through its user-data slot.
struct TPelorinState {
  TPelorinState();
  ~TPelorinState();
  TPelorinState(const TPelorinState&) = delete;
  TPelorinState& operator=(const TPelorinState&) = delete;

  HWND Wnd = nullptr;
  HDC DC = nullptr;
  HGLRC RC = nullptr;
  std::string FileName;
  std::vector<std::string> Records;  // record texts of an SDF file; empty for other files
  int32_t MolIndex = 0;
  int32_t MolCount = 1;
  TSVGScene Scene;
  bool SceneReady = false;
  std::string ErrorMsg;
  std::unique_ptr<TGLFontCache> FontCache;
  bool Dragging = false;
  int32_t LastMouseX = 0;
  int32_t LastMouseY = 0;
  int32_t Mode = 0;  // 0 = 2D drawing, 1 = 3D model
  bool Loading = false;
  std::unique_ptr<TLoadThread> LoadThread;
  TViewValues View;
  // The 3D model of the last 3D load. Each window keeps its own, so two windows in 3D
  // never draw each other's mesh.
  std::shared_ptr<TMeshModel> Model;
};

// Guards the 3D model while a load thread builds one and while a window draws one.
std::mutex& ModelLock();

// The state of a viewer window, or null before creation stored it / after destruction.
TPelorinState* StateOf(HWND wnd);

// Creates the viewer window as a child of the host's pane and starts the first load.
HWND CreatePelorinWindow(HWND parent, const std::string& fileName);

// The current view: the values the renderers use while a window draws.
void ActivateView(TPelorinState* state);
void StoreView(TPelorinState* state);
TViewValues CurrentView();

// Draws the window's current view (2D or 3D, without the navigation bar) into the back
// buffer and reads it into a new 32-bit top-down DIB section of the drawing area's size.
// Null when the window has no OpenGL context or nothing to draw. The caller deletes it.
HBITMAP RenderViewToBitmap(HWND wnd);

// Library start and unload of the viewer module.
void ViewerLibraryAttach(HINSTANCE instance);
void ViewerLibraryDetach();
HINSTANCE ViewerInstance();

}  // namespace pelorin
