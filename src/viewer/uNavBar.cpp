// The navigation bar along the bottom of a viewer window.
#include "viewer/uNavBar.h"

#include <string>

#include "support/uConfig.h"
#include "support/uGdiObjects.h"
#include "viewer/uViewerLogic.h"
#include "viewer/uWindowChrome.h"

namespace pelorin {

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
  shown.ShownRecord = state.ShownRecord;
  shown.RecordCount = state.RecordCount;
  shown.CountFinal = state.RecordCountFinal;
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

}  // namespace pelorin
