// Temporary record files and the 2D conversion of the current record for the exports.
#pragma once

#include <string>

#include "formats/uRecordIndex.h"
#include "support/uFileIO.h"
#include "support/uStopToken.h"
#include "viewer/uWin32Window.h"

namespace pelorin {

// A unique path in TempDir for one record's converter input: "pelorin_mol_" + unique part.
std::string MakeRecordTempName(const std::string& extension);

// Record `index` of a file with records (`records` null: a file without): its text, read from
// the file within `limits`, with `wholeFile` false; or `wholeFile` true when the file itself
// stands for it (no records, a SMILES grid). Otherwise how the read ended, with `error` set (a
// record not known (yet) or unreadable: kFailed).
[[nodiscard]] TRecordRead ReadRecordOf(const TRecordIndex* records, int32_t index, const TRecordReadLimits& limits,
                                       std::string& text, bool& wholeFile, std::string& error);
// The converter's input for record `index`: `fileName` itself (no records, a SMILES grid, or a
// record that is the whole file), or a new temporary file holding the record (named by RecordInputExtension of the
// index's rule), which `remover` deletes. The record is read in pieces; `stop` ends the read between
// them. `recordText` (optional) receives the record's text (empty when the file itself is the input).
[[nodiscard]] bool MakeRecordInput(const std::string& fileName, const TRecordIndex* records, int32_t index,
                                   std::string& input, TFileRemover& remover, std::string& error,
                                   const TStopToken& stop = {}, std::string* recordText = nullptr);

// The SVG drawing of the current record (or of the whole file when it has no records) for the
// exports, on the host's thread: the converter's drawing that the window shows, when it shows one
// in 2D; otherwise a conversion within the host's limits (HostThreadLimits), and none at all for a
// record of more atoms than MaxThumbnail2DAtoms ("SVG is not available ...").
[[nodiscard]] bool ConvertRecord2D(const TPelorinState* state, std::string& svgText, std::string& error);

}  // namespace pelorin
