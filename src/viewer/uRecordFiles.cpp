// Temporary record files and the 2D conversion of the current record for the exports.
#include "viewer/uRecordFiles.h"

#include "convert/uConverter.h"
#include "support/uFileIO.h"
#include "viewer/uSDFRecords.h"
#include "viewer/uWin32Window.h"

namespace pelorin {

std::string MakeRecordTempName(const std::string& extension) {
  return MakeTempFileName("pelorin_mol", extension);
}

bool ConvertRecord2D(const TPelorinState* state, std::string& svgText, std::string& error) {
  svgText.clear();
  error.clear();
  if (!state) return false;
  std::string input = state->FileName;
  std::string recordPath;
  TFileRemover recordFile("");
  if (!state->Records.empty()) {
    if (state->MolIndex < 0 || static_cast<size_t>(state->MolIndex) >= state->Records.size()) {
      error = "Record index out of range";
      return false;
    }
    recordPath = MakeRecordTempName(".mol");
    recordFile.Reset(recordPath);  // removed on every path, an exception included
    if (!WriteRecordTemp(recordPath, state->Records[state->MolIndex], error)) return false;
    input = recordPath;
  }
  return RunOBabel(input, svgText, error);
}

}  // namespace pelorin
