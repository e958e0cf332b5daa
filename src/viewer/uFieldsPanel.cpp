// The data fields panel beside the drawing.
#include "viewer/uFieldsPanel.h"

#include <cstdint>

#include "support/uConfig.h"
#include "support/uGdiObjects.h"
#include "viewer/uViewerLogic.h"
#include "viewer/uWindowChrome.h"

namespace pelorin {

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

}  // namespace pelorin
