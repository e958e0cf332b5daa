// The viewer's commands that leave the view: exports, copy and the options dialog.
#pragma once

#include <windows.h>

#include "viewer/uWin32Window.h"

namespace pelorin {

// The context menu's items.
inline constexpr UINT kCmdExportPNG = 2001;
inline constexpr UINT kCmdExportSVG = 2002;
inline constexpr UINT kCmdOptions = 2003;

// Keys bound to commands (G: PNG export, S: SVG export, C with Ctrl: copy); the caller has
// checked the modifiers (ViewerTakesKey). Other keys do nothing.
void HandleCommandKey(TPelorinState* state, WPARAM key);
// The context menu, its commands and WM_PELORIN_OPTIONS; false for any other message.
bool HandleCommandMessage(TPelorinState* state, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

// The host's commands for the viewer window `wnd`; false when `wnd` is no viewer window.
// New display parameters: remembered, and the options dialog is posted unless only the
// dark-mode bits changed (NewParamsOpenOptions).
[[nodiscard]] bool TakeDisplayParameters(HWND wnd, int parameter);
// Copy: CopyView; false also when the copy failed.
[[nodiscard]] bool CopyViewOf(HWND wnd);
// The host's percent position: the record at that share of the records (RecordAtPercent).
[[nodiscard]] bool GoToPercentOf(HWND wnd, int percent);

}  // namespace pelorin
