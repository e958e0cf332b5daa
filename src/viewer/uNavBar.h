// The navigation bar along the bottom of a viewer window.
#pragma once

#include <windows.h>

#include "viewer/uViewerState.h"

namespace pelorin {

// Draws the bar with GDI over the bottom 28 pixels of a w x h picture.
void DrawNavBar(const TPelorinState& state, HDC dc, int w, int h);

}  // namespace pelorin
