// The viewer's commands that leave the view: exports and the options dialog.
#pragma once

#include <windows.h>

#include "viewer/uWin32Window.h"

namespace pelorin {

// Keys bound to commands (G: PNG export, S: SVG export); other keys do nothing.
void HandleCommandKey(TPelorinState* state, WPARAM key);
// The context menu, its commands and WM_PELORIN_OPTIONS; false for any other message.
bool HandleCommandMessage(TPelorinState* state, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

}  // namespace pelorin
