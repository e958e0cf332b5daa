// The viewer window: its class, creation, the next file shown in it, and the private messages
// between the window, its loads and the host.
#pragma once

#include <windows.h>

#include <string>

#include "render/uMeshRender.h"
#include "render/uPictureTiles.h"
#include "viewer/uViewerLogic.h"
#include "viewer/uViewerState.h"

namespace pelorin {

inline constexpr UINT WM_PELORIN_RELOAD = WM_USER + 100;   // restart the load of the current record
inline constexpr UINT WM_PELORIN_LOADED = WM_USER + 101;   // lParam: sequence number of the finished load
inline constexpr UINT WM_PELORIN_OPTIONS = WM_USER + 102;  // open the options dialog, then reload
// (WM_USER + 103: the record pass, uRecordPass.h.)
// Goes to record wParam (0-based; (WPARAM)-1: the last record once the count is final), for a
// driver such as the lister host: a user steps with the arrows. Returns 1 when a load of that
// record started, 0 when the window shows it already, -1 when it is not known (yet).
inline constexpr UINT WM_PELORIN_GOTO_RECORD = WM_USER + 104;
// Makes the window's pixel format, OpenGL context and text cache: posted by the window's
// creation, so that ListLoad returns while the first record is converted.
inline constexpr UINT WM_PELORIN_SETUP_GL = WM_USER + 105;
// The shown view is drawn: the next record may be converted in the background.
inline constexpr UINT WM_PELORIN_PREFETCH = WM_USER + 106;

inline constexpr char kViewerClassName[] = "PelorinWLX64";
// Repaints a running load's message once a second, so the user sees the wait go on.
inline constexpr UINT_PTR kLoadClockTimer = 1;

// True for a window of this process whose class is the viewer's (whoever subclassed it).
bool IsViewerWindow(HWND wnd);
// StateOf for a window that may be any window: null unless IsViewerWindow.
TPelorinState* ViewerStateOf(HWND wnd);

// Creates the viewer window as a child of the host's pane and starts the first load; the
// window's OpenGL context follows once the caller is back (WM_PELORIN_SETUP_GL).
// `showFlags`: the host's display parameters (ListLoad's ShowFlags).
HWND CreatePelorinWindow(HWND parent, const std::string& fileName, int showFlags = 0);
// Shows another file in the viewer window `wnd` as a new window would start it (its mode from
// StartMode, record 1), keeping the window, its OpenGL context, text cache, keyboard hook and
// the views kept so far; the running load and record pass are stopped first. False when `wnd`
// is no viewer window (or was closed meanwhile).
[[nodiscard]] bool LoadNextFile(HWND wnd, const std::string& fileName, int showFlags);

// Draws the window's current view (2D or 3D, without the navigation bar) into the back
// buffer and reads it into a new 32-bit top-down DIB section of the drawing area's size.
// Null when the window has no OpenGL context or nothing to draw. The caller deletes it.
HBITMAP RenderViewToBitmap(HWND wnd);

// The size of the picture the window shows: its drawing area above the navigation bar and beside
// the fields panel; empty when it shows none.
TPictureSize ShownPictureSize(HWND wnd);
// The longest side of a picture the window's OpenGL driver draws in tiles (within its viewport,
// with the band under the picture, and its largest texture); 0 without a context.
int LargestTiledPictureSide(HWND wnd);
// Draws the 3D model the window shows, framed as shown, as a picture of `size` (any size up to
// LargestTiledPictureSide), a tile of the window's size at a time handed to `sink`
// (RenderMeshModelTiles); the window draws its own picture again afterwards. False when the
// window shows no 3D model, the size is refused or the sink stopped the drawing.
[[nodiscard]] bool RenderShown3DTiles(HWND wnd, TPictureSize size, const TTileSink& sink);

// Library start and unload of the viewer module.
void ViewerLibraryAttach(HINSTANCE instance);
void ViewerLibraryDetach();
HINSTANCE ViewerInstance();

}  // namespace pelorin
