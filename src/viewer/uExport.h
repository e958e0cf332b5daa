// The viewer's export commands: the current view as a PNG tagged with 300 DPI, and the 2D
// drawing of the current record as an SVG file.
#pragma once

#include <windows.h>

#include <string>

#include "viewer/uExportText.h"
#include "viewer/uWin32Window.h"

namespace pelorin {

// Ask for a file name, build the output, write it; every failure is shown in a message box.
// Both do nothing without a state, and stop quietly when the window is closed while their
// save dialog is open.
void ExportPNG(TPelorinState* state);
void ExportSVG(TPelorinState* state);

// Encodes the bitmap as PNG with a resolution of 300 x 300 DPI; false on any failure.
[[nodiscard]] bool SavePNG(const std::string& fileName, HBITMAP bitmap);
// Writes the bytes unchanged (the converter's SVG is already UTF-8); false on any failure.
[[nodiscard]] bool SaveTextFile(const std::string& fileName, const std::string& text);
// The file name proposed in the save dialogs, without extension.
std::string DefaultExportName(const TPelorinState* state);

}  // namespace pelorin
