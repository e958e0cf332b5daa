// What the viewer window draws with GDI around its picture: the colours and fonts of the
// navigation bar and the fields panel (light or dark), a text cut to a width, and the message
// view of a window that has no OpenGL context.
#pragma once

#include <windows.h>

#include <string>

#include "support/uGdiObjects.h"
#include "viewer/uViewerState.h"

namespace pelorin {

void FillSolid(HDC dc, const RECT& rect, COLORREF color);

// The colours of the bar and the panel, light or (the host in dark mode) dark.
struct TChrome {
  COLORREF Bar, Line, Button, ButtonText, Status, Panel, Name, Value, More, Mark;
};
TChrome ChromeOf(const TPelorinState& state);

TGdiObject<HFONT> UIFont(int height, int weight, bool italic);

// `text` (8-bit) drawn on one line from (x, y), cut before an ellipsis where it is wider than `width`.
void DrawCutText(HDC dc, const std::string& text, int x, int y, int width);

// The message view of a window that has no OpenGL context.
void PaintMessage(HWND wnd, HDC dc, const std::string& text);

}  // namespace pelorin
