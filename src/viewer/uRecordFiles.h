// Temporary record files and the 2D conversion of the current record for the exports.
#pragma once

#include <string>

#include "formats/uRecordIndex.h"
#include "support/uFileIO.h"
#include "viewer/uWin32Window.h"

namespace pelorin {

// A unique path in TempDir for one record's converter input: "pelorin_mol_" + unique part.
std::string MakeRecordTempName(const std::string& extension);

// Record `index` of a file with records (`records` null: a file without): its text, read from
// the file, with `wholeFile` false; or `wholeFile` true when the file itself stands for it (no
// records, a SMILES grid). False with `error` set when the record is not known (yet) or cannot
// be read.
[[nodiscard]] bool ReadRecordOf(const TRecordIndex* records, int32_t index, std::string& text, bool& wholeFile,
                                std::string& error);
// The converter's input for record `index`: `fileName` itself, or a new temporary file holding
// the record (named by RecordInputExtension of the index's rule), which `remover` deletes.
// `recordText` (optional) receives the record's text (empty when the file itself is the input).
[[nodiscard]] bool MakeRecordInput(const std::string& fileName, const TRecordIndex* records, int32_t index,
                                   std::string& input, TFileRemover& remover, std::string& error,
                                   std::string* recordText = nullptr);

// The SVG drawing of the current record (or of the whole file when it has no records).
[[nodiscard]] bool ConvertRecord2D(const TPelorinState* state, std::string& svgText, std::string& error);

}  // namespace pelorin
