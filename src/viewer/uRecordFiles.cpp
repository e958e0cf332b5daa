// Temporary record files and the 2D conversion of the current record for the exports.
#include "viewer/uRecordFiles.h"

#include "convert/uConverter.h"
#include "formats/uMolFormat.h"
#include "formats/uMolSurvey.h"
#include "support/uDebugLog.h"
#include "viewer/uViewerLogic.h"

namespace pelorin {
std::string MakeRecordTempName(const std::string& extension) {
  return MakeTempFileName("pelorin_mol", extension);
}

TRecordRead ReadRecordOf(const TRecordIndex* records, int32_t index, const TRecordReadLimits& limits, std::string& text,
                         bool& wholeFile, std::string& error) {
  text.clear();
  error.clear();
  wholeFile = !records;
  if (!records) return TRecordRead::kRead;
  // The state before the count: a pass seen ended has its final count.
  const TRecordIndexState pass = records->State();
  const size_t known = records->Count();
  const size_t at = index < 0 ? SIZE_MAX : static_cast<size_t>(index);
  switch (ChooseRecordSource(records->Rule(), at, known, pass)) {
    case TRecordSource::kWholeFile:
      wholeFile = true;
      return TRecordRead::kRead;
    case TRecordSource::kRecord:
      return records->ReadRecordWithin(at, limits, text, error);
    default:
      error = pass == TRecordIndexState::kFailed ? records->Error() : "Record index out of range";
      return TRecordRead::kFailed;
  }
}

bool MakeRecordInput(const std::string& fileName, const TRecordIndex* records, int32_t index, std::string& input,
                     TFileRemover& remover, std::string& error, const TStopToken& stop, std::string* recordText) {
  input = fileName;
  std::string local;
  std::string& text = recordText ? *recordText : local;
  // A record that is the whole file may be its own input (RecordIsWholeFileInput).
  if (records && index >= 0 && RecordIsWholeFileInput(*records, static_cast<size_t>(index))) {
    text.clear();
    error.clear();
    return true;
  }
  bool wholeFile = false;
  TRecordReadLimits limits;
  limits.Stop = stop;
  if (ReadRecordOf(records, index, limits, text, wholeFile, error) != TRecordRead::kRead) return false;
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
  if (state->Mode == TViewMode::k2D && state->Shown.Ready && !state->Loading && !state->Shown.SvgText.empty()) {
    svgText = state->Shown.SvgText;
    return true;
  }
  const TPelorinConfig config = ConfigSnapshot();
  const TConversionLimits limits = HostThreadLimits(config);
  const TStopToken outOfTime = TStopToken::At(limits.Deadline);
  std::string input;
  TFileRemover recordFile("");
  if (!MakeRecordInput(state->FileName, state->Records.get(), state->ShownRecord, input, recordFile, error, outOfTime))
    return false;
  // A drawing of many atoms takes the converter minutes, if it finishes at all: not on the host's thread.
  const std::optional<TRecordSurvey> survey = SurveyFileRecord(input, MolFormatFromFileName(input), 0, outOfTime);
  if (survey && survey->AtomCount > config.MaxThumbnail2DAtoms) {
    error = "SVG is not available for a record of " + std::to_string(survey->AtomCount) +
            " atoms (MaxThumbnail2DAtoms is " + std::to_string(config.MaxThumbnail2DAtoms) + ")";
    DebugLog("ConvertRecord2D: " + error);
    return false;
  }
  return RunOBabel(input, svgText, error, limits);
}

}  // namespace pelorin
