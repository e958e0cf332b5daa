// The navigation bar along the bottom of a viewer window, and the two message views.
#include "viewer/uNavBar.h"

#include <GL/gl.h>

#include <climits>
#include <vector>

#include "render/uGLFont.h"
#include "support/uConfig.h"
#include "support/uGdiObjects.h"
#include "support/uText.h"

namespace pelorin {
namespace {

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  TGdiObject<HBRUSH> brush(CreateSolidBrush(color));
  FillRect(dc, &rect, brush.get());
}

// The colours of the bar and the panel, light or (the host in dark mode) dark.
struct TChrome {
  COLORREF Bar, Line, Button, ButtonText, Status, Panel, Name, Value, More, Mark;
};
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

// `text` (8-bit) drawn on one line from (x, y), cut before an ellipsis where it is wider than `width`.
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
  const TChrome chrome = ChromeOf(state);
  RECT bar{0, h - kNavBarHeight, w, h};
  FillSolid(dc, bar, chrome.Bar);
  TGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, chrome.Line));
  {
    TSelection selectPen(dc, pen.get());
    MoveToEx(dc, 0, h - kNavBarHeight, nullptr);
    LineTo(dc, w, h - kNavBarHeight);
  }

  TGdiObject<HFONT> font = UIFont(-12, FW_NORMAL, false);
  TSelection selectFont(dc, font.get());
  SetBkMode(dc, TRANSPARENT);

  RECT button{8, h - 24, 68, h - 4};
  DrawEdge(dc, &button, EDGE_RAISED, BF_RECT | BF_SOFT);
  FillSolid(dc, button, chrome.Button);
  SetTextColor(dc, chrome.ButtonText);
  std::string caption = ToggleButtonText(state.Mode);
  DrawTextA(dc, caption.c_str(), -1, &button, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

  SetTextColor(dc, chrome.Status);
  TNavBarStatus shown;
  shown.Mode = state.Mode;
  shown.Loading = state.Loading;
  shown.MolIndex = state.MolIndex;
  shown.MolCount = state.MolCount;
  shown.CountFinal = state.MolCountFinal;
  shown.ShowHeadings = state.View.ShowHeadings;
  shown.Title = state.Shown.Data.Title;
  shown.Notice = state.Notice;
  shown.HasFields = !state.Shown.Data.Items.empty();
  shown.ShowFields = ConfigSnapshot().ShowFields;
  if (state.Records) shown.RecordWord = RecordWordOf(state.Records->Rule());
  std::string status = NavBarStatusText(shown);
  RECT statusRect{76, h - kNavBarHeight, w - 8, h};
  // A search's match in the title: the title is marked where the bar shows it.
  if (!state.Loading && state.Mark && state.Mark->Place == TSearchPlace::kTitle && shown.Notice.empty() &&
      !shown.Title.empty()) {
    const std::string title = "  |  " + CutWithEllipsis(shown.Title, kStatusTitleChars);
    const size_t at = status.find(title);
    if (at != std::string::npos) {
      SIZE before{}, span{};
      GetTextExtentPoint32A(dc, status.c_str(), static_cast<int>(at + 5), &before);
      GetTextExtentPoint32A(dc, title.c_str() + 5, static_cast<int>(title.size() - 5), &span);
      RECT mark{statusRect.left + before.cx - 2, h - 22, statusRect.left + before.cx + span.cx + 2, h - 6};
      if (mark.right > statusRect.right) mark.right = statusRect.right;
      FillSolid(dc, mark, chrome.Mark);
    }
  }
  DrawTextA(dc, status.c_str(), -1, &statusRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

int FieldsPanelWidthOf(const TPelorinState& state, int w) {
  if (state.Loading || !state.Shown.Ready || state.Shown.Data.Items.empty() || !ConfigSnapshot().ShowFields) return 0;
  return FieldsPanelWidth(w);
}

void DrawFieldsPanel(const TPelorinState& state, HDC dc, int w, int h) {
  const int width = FieldsPanelWidthOf(state, w);
  if (width <= 0) return;
  const TChrome chrome = ChromeOf(state);
  const int left = w - width, bottom = h - kNavBarHeight;
  RECT panel{left, 0, w, bottom};
  FillSolid(dc, panel, chrome.Panel);
  TGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, chrome.Line));
  {
    TSelection selectPen(dc, pen.get());
    MoveToEx(dc, left, 0, nullptr);
    LineTo(dc, left, bottom);
  }
  constexpr int kRowHeight = 16, kPad = 6;
  const size_t maxRows = bottom > 2 * kPad ? static_cast<size_t>((bottom - 2 * kPad) / kRowHeight) : 0;
  const size_t marked =
      state.Mark && (state.Mark->Place == TSearchPlace::kItemName || state.Mark->Place == TSearchPlace::kItemValue)
          ? state.Mark->Item
          : SIZE_MAX;
  TGdiObject<HFONT> nameFont = UIFont(-12, FW_BOLD, false), valueFont = UIFont(-12, FW_NORMAL, false),
                    moreFont = UIFont(-12, FW_NORMAL, true);
  SetBkMode(dc, TRANSPARENT);
  int y = kPad;
  for (const TPanelRow& row : FieldsPanelRows(state.Shown.Data.Items, maxRows, marked)) {
    if (row.Kind != TPanelRow::TKind::kMore && row.Item == marked) {
      RECT mark{left + 2, y, w - 2, y + kRowHeight};
      FillSolid(dc, mark, chrome.Mark);
    }
    HFONT font = row.Kind == TPanelRow::TKind::kName    ? nameFont.get()
                 : row.Kind == TPanelRow::TKind::kValue ? valueFont.get()
                                                        : moreFont.get();
    TSelection selectFont(dc, font);
    SetTextColor(dc, row.Kind == TPanelRow::TKind::kName    ? chrome.Name
                     : row.Kind == TPanelRow::TKind::kValue ? chrome.Value
                                                            : chrome.More);
    const int indent = row.Kind == TPanelRow::TKind::kValue ? 2 * kPad : kPad;
    DrawCutText(dc, row.Text, left + indent, y + 1, width - indent - kPad);
    y += kRowHeight;
  }
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
