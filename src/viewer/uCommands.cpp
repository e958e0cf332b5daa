// The viewer's commands that leave the view: exports and the options dialog.
#include "viewer/uCommands.h"

#include <windowsx.h>

#include <memory>
#include <type_traits>

#include "viewer/uExport.h"
#include "viewer/uLoadThread.h"
#include "viewer/uOptionsDialog.h"

namespace pelorin {
namespace {

constexpr UINT kCmdExportPNG = 2001;
constexpr UINT kCmdExportSVG = 2002;

struct TMenuDestroyer {
  void operator()(HMENU menu) const noexcept { DestroyMenu(menu); }
};
using TMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, TMenuDestroyer>;

void ShowContextMenu(HWND wnd, LPARAM lParam) {
  POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  if (at.x == -1 && at.y == -1) GetCursorPos(&at);  // asked for from the keyboard
  TMenu menu(CreatePopupMenu());
  if (!menu) return;
  AppendMenuA(menu.get(), MF_STRING, kCmdExportPNG, "Export view as PNG (300 DPI)...");
  AppendMenuA(menu.get(), MF_STRING, kCmdExportSVG, "Export source as SVG...");
  // The chosen item arrives later as a posted WM_COMMAND, after the menu is gone.
  TrackPopupMenu(menu.get(), 0, at.x, at.y, 0, wnd, nullptr);
}

void RunMenuCommand(TPelorinState* state, UINT id) {
  if (id == kCmdExportPNG)
    ExportPNG(state);
  else if (id == kCmdExportSVG)
    ExportSVG(state);
}

// The dialog runs its own message loop, in which the window may be destroyed: the state is
// looked up again before the reload.
void RunOptionsCommand(TPelorinState* state) {
  HWND wnd = state->Wnd;
  ShowOptionsDialog(wnd, state);
  state = StateOf(wnd);
  if (!state) return;
  if (StartLoad(state, state->MolIndex)) InvalidateRect(wnd, nullptr, FALSE);
}

}  // namespace

void HandleCommandKey(TPelorinState* state, WPARAM key) {
  if (!state) return;
  if (key == 'G')
    ExportPNG(state);
  else if (key == 'S')
    ExportSVG(state);
}

bool HandleCommandMessage(TPelorinState* state, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (!state) return false;
  result = 0;
  switch (msg) {
    case WM_CONTEXTMENU:
      ShowContextMenu(state->Wnd, lParam);
      return true;
    case WM_COMMAND:
      RunMenuCommand(state, LOWORD(wParam));
      return true;
    case WM_PELORIN_OPTIONS:
      RunOptionsCommand(state);
      return true;
    default:
      return false;
  }
}

}  // namespace pelorin
