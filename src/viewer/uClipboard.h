// Copying the viewer's current view to the clipboard: its picture and the record as text.
#pragma once

#include <windows.h>

#include <string>

#include "viewer/uWin32Window.h"

namespace pelorin {

// Puts the view on the clipboard as a picture (CF_DIB: the 2D drawing at export scale, or the
// 3D picture without the navigation bar) and the shown record as text (CF_TEXT and
// CF_UNICODETEXT), as RecordTextForCopy gives it. A failure is logged and shown in a message
// box; false then.
[[nodiscard]] bool CopyView(TPelorinState* state);

// The text copied for the shown record: its own text from the file (a MOL file, an SDF record, a
// SMILES line or a grid's lines, the first model, molecule or frame of a PDB, MOL2, CML or XYZ
// file), lines ending in CR LF; empty (the picture alone is copied) for a record of more than
// 8 MB. A MOL2, PDB, CML or XYZ record of at most MaxThumbnail2DAtoms atoms is followed by the
// converter's SMILES when it comes within the host's limits (HostThreadLimits). False with the
// message to show when the record cannot be read.
[[nodiscard]] bool RecordTextForCopy(const TPelorinState& state, std::string& text, std::string& message);

}  // namespace pelorin
