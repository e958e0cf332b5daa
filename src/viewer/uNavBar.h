// The navigation bar along the bottom of a viewer window, and the two message views.
#pragma once

#include <windows.h>

#include <string>

#include "viewer/uWin32Window.h"

namespace pelorin {

class TGLFontCache;

// Draws the bar with GDI over the bottom 28 pixels of a w x h picture.
void DrawNavBar(const TPelorinState& state, HDC dc, int w, int h);
// The width of the data fields panel at the right of a window `w` pixels wide: 0 when it is not
// shown (no fields, hidden with D, a load under way, a window too narrow).
int FieldsPanelWidthOf(const TPelorinState& state, int w);
// Draws the data fields panel with GDI at the right of a w x h picture (h: with the bar), its
// rows cut to the panel's width, the search's marked item highlighted.
void DrawFieldsPanel(const TPelorinState& state, HDC dc, int w, int h);
// A message drawn with OpenGL into the current context, centred line by line, its texts through
// `cache`, the text cache of the window whose context is current.
void DrawCenteredMessage(TGLFontCache& cache, const std::string& text, int w, int h);
// The message view of a window that has no OpenGL context.
void PaintMessage(HWND wnd, HDC dc, const std::string& text);

}  // namespace pelorin
