// The viewer's commands that leave the view: exports, copy and the options dialog.
#include "viewer/uCommands.h"

#include <windowsx.h>

#include <memory>
#include <type_traits>

#include "support/uDebugLog.h"
#include "viewer/uClipboard.h"
#include "viewer/uExport.h"
#include "viewer/uLoadController.h"
#include "viewer/uOptionsDialog.h"

namespace pelorin {
namespace {

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
  AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu.get(), MF_STRING, kCmdOptions, "Options...");
  // The chosen item arrives later as a posted WM_COMMAND, after the menu is gone.
  TrackPopupMenu(menu.get(), 0, at.x, at.y, 0, wnd, nullptr);
}

// The dialog runs its own message loop, in which the window may be closed.
void RunOptionsCommand(TPelorinState* state) {
  ShowOptionsDialog(state->Wnd, state);
  if (!state->Open()) return;
  ForgetKeptViews(*state);  // made under the settings as they were
  if (StartLoad(*state, state->ShownRecord)) InvalidateRect(state->Wnd, nullptr, FALSE);
}

void RunMenuCommand(TPelorinState* state, UINT id) {
  if (id == kCmdExportPNG)
    ExportPNG(state);
  else if (id == kCmdExportSVG)
    ExportSVG(state);
  else if (id == kCmdOptions)
    RunOptionsCommand(state);
}

}  // namespace

void HandleCommandKey(TPelorinState* state, WPARAM key) {
  if (!state) return;
  if (key == 'G')
    ExportPNG(state);
  else if (key == 'S')
    ExportSVG(state);
  else if (key == 'C')
    (void)CopyView(state);  // a copy that fails has told the user why
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

bool TakeDisplayParameters(HWND wnd, int parameter) {
  const THeldState state(ViewerStateOf(wnd));
  if (!state) return false;
  const bool opens = NewParamsOpenOptions(state->ShowFlags, parameter);
  state->ShowFlags = parameter;
  const bool dark = (parameter & kParamDarkMode) != 0;
  if (dark != state->DarkMode) {  // redrawn from the scene on show: no conversion
    state->DarkMode = dark;
    DebugLogFmt("New display parameters: dark mode %s", dark ? "on" : "off");
    InvalidateRect(wnd, nullptr, FALSE);
  }
  if (opens)
    PostMessageA(wnd, WM_PELORIN_OPTIONS, 0, 0);
  else
    DebugLog("New display parameters: only the dark mode changed, no options dialog");
  return true;
}

bool CopyViewOf(HWND wnd) {
  const THeldState state(ViewerStateOf(wnd));
  return state && CopyView(state.get());
}

bool GoToPercentOf(HWND wnd, int percent) {
  const THeldState state(ViewerStateOf(wnd));
  if (!state) return false;
  const int32_t record = RecordAtPercent(percent, state->RecordCount);
  return SendMessageA(wnd, WM_PELORIN_GOTO_RECORD, static_cast<WPARAM>(record), 0) >= 0;
}

}  // namespace pelorin
