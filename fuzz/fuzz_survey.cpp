// Fuzz target: the molecule file survey on arbitrary bytes. The first four bytes choose the format,
// the record surveyed, the size of the pieces the rest is fed in and the line limit.
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/uMolSurvey.h"

namespace {

using namespace pelorin;

constexpr TMolFormat kFormats[] = {TMolFormat::Mol, TMolFormat::Sdf, TMolFormat::Mol2, TMolFormat::Smiles,
                                   TMolFormat::Pdb, TMolFormat::Xyz, TMolFormat::Cml};

bool Same(const std::optional<TRecordSurvey>& a, const std::optional<TRecordSurvey>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->AtomCount == b->AtomCount && a->AtomCountKnown == b->AtomCountKnown && a->Has3D == b->Has3D);
}

int64_t CountInPieces(std::string_view text, TMolFormat format, size_t pieceSize, size_t maxLine) {
  TRecordCounter counter(format, maxLine);
  for (size_t at = 0; at < text.size(); at += pieceSize)
    if (!counter.Feed(text.substr(at, pieceSize))) break;
  return counter.Finish().RecordCount;
}

std::optional<TRecordSurvey> SurveyInPieces(std::string_view text, TMolFormat format, int64_t index, size_t pieceSize,
                                            size_t maxLine) {
  TRecordSurveyor surveyor(format, index, maxLine);
  for (size_t at = 0; at < text.size(); at += pieceSize)
    if (!surveyor.Feed(text.substr(at, pieceSize))) break;
  return surveyor.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  TMolFormat format = kFormats[data[0] % 7];
  int64_t index = data[1] % 4;
  std::string_view text(reinterpret_cast<const char*>(data) + 4, size - 4);
  size_t pieceSize = data[2] ? data[2] : text.size() + 1;
  size_t maxLine = data[3] ? data[3] : kSurveyMaxLineBytes;

  TRecordCounter whole(format, maxLine);
  whole.Feed(text);
  TMolSurvey survey = whole.Finish();
  TRecordSurveyor surveyor(format, index, maxLine);
  surveyor.Feed(text);
  std::optional<TRecordSurvey> record = surveyor.Finish();

  // The pieces the bytes come in change nothing.
  if (CountInPieces(text, format, pieceSize, maxLine) != survey.RecordCount) __builtin_trap();
  if (!Same(SurveyInPieces(text, format, index, pieceSize, maxLine), record)) __builtin_trap();
  // A record is there exactly when the count says so, and never holds more atoms than bytes.
  if (survey.RecordCount < 0 || record.has_value() != (index < survey.RecordCount)) __builtin_trap();
  if (record && (record->AtomCount < 0 || record->AtomCount > static_cast<int64_t>(text.size()))) __builtin_trap();
  return 0;
}
