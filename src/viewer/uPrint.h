// The host's print command: the shown drawing on a printer, with a caption, inside the margins.
#pragma once

#include <windows.h>

#include <string>

namespace pelorin {

// Prints what the viewer window `wnd` shows through the plugin's own print dialog: the 2D
// drawing as vectors through the GDI rasteriser, a 3D view drawn again for the page at the
// printer's resolution (read back a tile at a time), with the file name, the record and its
// title as a caption, inside `margins` (1/10 mm; null or empty: 15 mm on every side). No printer
// installed: says so in a message box; so does a failure. False when nothing was printed
// (cancelled, no printer, a failure, or `wnd` is no viewer window).
[[nodiscard]] bool PrintView(HWND wnd, const std::string& fileName, const RECT* margins);

}  // namespace pelorin
