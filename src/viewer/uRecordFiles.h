// Temporary record files and the 2D conversion of the current record for the exports.
#pragma once

#include <string>

namespace pelorin {

struct TPelorinState;

// A unique path in TempDir for one record's converter input: "pelorin_mol_" + unique part.
std::string MakeRecordTempName(const std::string& extension);
// The SVG drawing of the current record (or of the whole file when it has no records).
bool ConvertRecord2D(const TPelorinState* state, std::string& svgText, std::string& error);

}  // namespace pelorin
