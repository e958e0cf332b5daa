// The navigation bar along the bottom of a viewer window, and the two message views.
#include "viewer/uNavBar.h"

#include <GL/gl.h>

#include <vector>

#include "render/uGLFont.h"
#include "support/uGdiObjects.h"

namespace pelorin {
namespace {

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  TGdiObject<HBRUSH> brush(CreateSolidBrush(color));
  FillRect(dc, &rect, brush.get());
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

}  // namespace

void DrawNavBar(const TPelorinState& state, HDC dc, int w, int h) {
  RECT bar{0, h - kNavBarHeight, w, h};
  FillSolid(dc, bar, RGB(235, 235, 235));
  MoveToEx(dc, 0, h - kNavBarHeight, nullptr);
  LineTo(dc, w, h - kNavBarHeight);

  TGdiObject<HFONT> font(CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Segoe UI"));
  TSelection selectFont(dc, font.get());
  SetBkMode(dc, TRANSPARENT);

  RECT button{8, h - 24, 68, h - 4};
  DrawEdge(dc, &button, EDGE_RAISED, BF_RECT | BF_SOFT);
  FillSolid(dc, button, RGB(210, 230, 255));
  std::string caption = ToggleButtonText(state.Mode);
  DrawTextA(dc, caption.c_str(), -1, &button, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

  SetTextColor(dc, RGB(60, 60, 60));
  TNavBarStatus shown;
  shown.Mode = state.Mode;
  shown.Loading = state.Loading;
  shown.MolIndex = state.MolIndex;
  shown.MolCount = state.MolCount;
  shown.CountFinal = state.MolCountFinal;
  shown.ShowHeadings = state.View.ShowHeadings;
  std::string status = NavBarStatusText(shown);
  RECT statusRect{76, h - kNavBarHeight, w - 8, h};
  DrawTextA(dc, status.c_str(), -1, &statusRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

void DrawCenteredMessage(TGLFontCache& cache, const std::string& text, int w, int h) {
  glClearColor(0.96f, 0.96f, 0.96f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, h, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  std::vector<std::string> lines = SplitLines(text);
  TTextStyle style;
  style.Color = {0.5f, 0.1f, 0.1f, 1.0f};
  style.Size = 13;
  style.PixelSize = 96;
  style.Anchor = "middle";
  const float lineHeight = 18;
  float y0 = (h - static_cast<float>(lines.size()) * lineHeight) * 0.5f;
  for (size_t i = 0; i < lines.size(); ++i) DrawGLText(cache, lines[i], {w * 0.5f, y0 + i * lineHeight + 9}, style);
}

void PaintMessage(HWND wnd, HDC dc, const std::string& text) {
  RECT client;
  GetClientRect(wnd, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (text.empty()) return;
  SetTextColor(dc, RGB(180, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, text.c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
}

}  // namespace pelorin
