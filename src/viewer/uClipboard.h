// Copying the viewer's current view to the clipboard: its picture and the record as text.
#pragma once

#include <windows.h>

#include <string>

#include "viewer/uWin32Window.h"

namespace pelorin {

// Puts the view on the clipboard as a picture (CF_DIB: the 2D drawing at export scale, or the
// 3D picture without the navigation bar) and the current record as text (CF_TEXT and
// CF_UNICODETEXT): the molfile text of an SDF record or of a .mol file, the converter's SMILES
// for other files. A failure is logged and shown in a message box; false then.
bool CopyView(TPelorinState* state);

// The text copied for the current record, read from the file (an SDF record, a stepped SMILES
// file's line); false with the message to show. Runs the converter for other files than MOL and
// SDF.
[[nodiscard]] bool RecordTextForCopy(const TPelorinState& state, std::string& text, std::string& message);

}  // namespace pelorin
