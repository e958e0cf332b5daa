// The options dialog: converter path and options, start mode, 3D model and logging, edited without
// touching pelorin.ini by hand.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/uConfig.h"
#include "viewer/uWin32Window.h"

namespace pelorin {

// Control ids of the dialog.
inline constexpr int kIdOBabelPath = 101;
inline constexpr int kIdOBabelOpts = 102;
inline constexpr int kIdBrowse = 103;
inline constexpr int kIdStartMode = 104;
inline constexpr int kIdLogging = 105;
inline constexpr int kIdModel3D = 106;

// The settings carried into and out of one run of the dialog.
struct TOptionsValues {
  std::string Path;
  std::string Options;
  TViewMode Mode = TViewMode::k2D;
  TModel3D Model3D = TModel3D::Auto;
  bool Logging = false;
};

// Runs the dialog modally over `owner` (the viewer window). On OK the values go into Config,
// the window's mode, the debug log and pelorin.ini; on Cancel nothing changes. A failure to
// write pelorin.ini is logged and shown in a message box. Never throws.
void ShowOptionsDialog(HWND owner, TPelorinState* state);

// The dialog procedure; the dialog's creation parameter is the TOptionsValues it edits.
INT_PTR CALLBACK OptionsDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace pelorin
