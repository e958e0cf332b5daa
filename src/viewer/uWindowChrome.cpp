// The viewer window's GDI chrome: colours, fonts, cut texts and the plain message view.
#include "viewer/uWindowChrome.h"

#include <climits>
#include <vector>

#include "support/uText.h"
#include "viewer/uViewerLogic.h"

namespace pelorin {

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  TGdiObject<HBRUSH> brush(CreateSolidBrush(color));
  FillRect(dc, &rect, brush.get());
}

TChrome ChromeOf(const TPelorinState& state) {
  if (state.DarkMode)
    return {RGB(40, 40, 40), RGB(90, 90, 90),    RGB(60, 80, 110),   RGB(230, 230, 230), RGB(220, 220, 220),
            RGB(30, 30, 30), RGB(235, 235, 235), RGB(190, 190, 190), RGB(150, 150, 150), RGB(110, 90, 20)};
  return {RGB(235, 235, 235), RGB(0, 0, 0),    RGB(210, 230, 255), RGB(0, 0, 0),       RGB(60, 60, 60),
          RGB(248, 248, 248), RGB(30, 30, 30), RGB(80, 80, 80),    RGB(120, 120, 120), RGB(255, 236, 140)};
}

TGdiObject<HFONT> UIFont(int height, int weight, bool italic) {
  return TGdiObject<HFONT>(CreateFontA(height, 0, 0, 0, weight, italic, FALSE, FALSE, DEFAULT_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                       "Segoe UI"));
}

void DrawCutText(HDC dc, const std::string& text, int x, int y, int width) {
  std::wstring wide = AnsiToWide(text);
  std::vector<int> ends(wide.size());
  SIZE extent{};
  int fit = 0;
  if (!wide.empty() &&
      GetTextExtentExPointW(dc, wide.c_str(), static_cast<int>(wide.size()), INT_MAX, &fit, ends.data(), &extent)) {
    SIZE dots{};
    GetTextExtentPoint32W(dc, L"\u2026", 1, &dots);
    const size_t keep = CharsBeforeEllipsis(ends, dots.cx, width);
    if (keep != SIZE_MAX) wide = wide.substr(0, keep) + L"\u2026";
  }
  TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
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
