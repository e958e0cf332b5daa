// The data fields panel at the right of a viewer window: an SDF record's data items, drawn with GDI.
#pragma once

#include <windows.h>

#include "viewer/uViewerState.h"

namespace pelorin {

// The width of the data fields panel at the right of a window `w` pixels wide: 0 when it is not
// shown (no fields, hidden with D, a load under way, a window too narrow).
int FieldsPanelWidthOf(const TPelorinState& state, int w);
// Draws the data fields panel with GDI at the right of a w x h picture (h: with the bar), its
// rows cut to the panel's width, the search's marked item highlighted.
void DrawFieldsPanel(const TPelorinState& state, HDC dc, int w, int h);

}  // namespace pelorin
