// Temporary record files and the 2D conversion of the current record for the exports.
#include "viewer/uRecordFiles.h"

#include "convert/uConverter.h"
#include "formats/uMolFormat.h"
#include "viewer/uViewerLogic.h"

namespace pelorin {
std::string MakeRecordTempName(const std::string& extension) {
  return MakeTempFileName("pelorin_mol", extension);
}

bool ReadRecordOf(const TRecordIndex* records, int32_t index, std::string& text, bool& wholeFile, std::string& error) {
  text.clear();
  error.clear();
  wholeFile = !records;
  if (!records) return true;
  // The state before the count: a pass seen ended has its final count.
  const TRecordIndexState pass = records->State();
  const size_t known = records->Count();
  const size_t at = index < 0 ? SIZE_MAX : static_cast<size_t>(index);
  switch (ChooseRecordSource(records->Rule(), at, known, pass)) {
    case TRecordSource::kWholeFile:
      wholeFile = true;
      return true;
    case TRecordSource::kRecord:
      return records->ReadRecord(at, text, error);
    default:
      error = pass == TRecordIndexState::kFailed ? records->Error() : "Record index out of range";
      return false;
  }
}

bool MakeRecordInput(const std::string& fileName, const TRecordIndex* records, int32_t index, std::string& input,
                     TFileRemover& remover, std::string& error, std::string* recordText) {
  input = fileName;
  std::string local;
  std::string& text = recordText ? *recordText : local;
  bool wholeFile = false;
  if (!ReadRecordOf(records, index, text, wholeFile, error)) return false;
  if (wholeFile) return true;
  std::string path = MakeRecordTempName(std::string(RecordInputExtension(records->Rule())));
  remover.Reset(path);  // removed on every path, an exception included
  if (!WriteRecordTemp(path, text, error)) return false;
  input = path;
  return true;
}

bool ConvertRecord2D(const TPelorinState* state, std::string& svgText, std::string& error) {
  svgText.clear();
  error.clear();
  if (!state) return false;
  std::string input;
  TFileRemover recordFile("");
  if (!MakeRecordInput(state->FileName, state->Records.get(), state->MolIndex, input, recordFile, error)) return false;
  return RunOBabel(input, svgText, error);
}

}  // namespace pelorin
