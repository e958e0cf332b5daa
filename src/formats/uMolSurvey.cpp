// Record counts, atom counts and 3D coordinates of molecule files, told from their bytes alone.
//
// Every format's module has a small state machine that takes the bytes in pieces cut anywhere, on
// the rules of its reader or of the viewer's record index; here the survey takes the machine its
// format's row names and feeds it: a file in pieces and only as far as the answer needs, a text as
// one piece.
#include "formats/uMolSurvey.h"

#include <exception>

#include "formats/uSurveyMachine.h"
#include "formats/uTextScan.h"

namespace pelorin {
namespace {

// The machine of the format's row (its module's), or one that knows nothing.
TSurveyMachinePtr MakeMachine(TMolFormat format, int64_t target, size_t maxLine) {
  const auto make = RowOf(format).MakeSurvey;
  return make ? make(target, maxLine) : std::make_unique<TNoAnswer>();
}

// Feeds the file to `machine`; false when the file cannot be opened or read, or `stop` ended the read.
template <class TMachine>
[[nodiscard]] bool FeedFileTo(const std::string& fileName, TMachine& machine, const TStopToken& stop = {}) {
  return FeedFile(
             fileName, [&machine](std::string_view piece) { return machine.Feed(piece); }, kReadChunkSize, stop) ==
         TFeedResult::kRead;
}

}  // namespace

TRecordCounter::TRecordCounter(TMolFormat format, size_t maxLineBytes)
    : machine_(MakeMachine(format, -1, maxLineBytes)) {}
TRecordCounter::~TRecordCounter() = default;

bool TRecordCounter::Feed(std::string_view bytes) {
  return machine_->Feed(bytes);
}

TMolSurvey TRecordCounter::Finish() {
  machine_->Finish();
  return machine_->Records();
}

TRecordSurveyor::TRecordSurveyor(TMolFormat format, int64_t index, size_t maxLineBytes)
    : machine_(index < 0 ? std::make_unique<TNoAnswer>() : MakeMachine(format, index, maxLineBytes)) {}
TRecordSurveyor::~TRecordSurveyor() = default;

bool TRecordSurveyor::Feed(std::string_view bytes) {
  return machine_->Feed(bytes);
}

std::optional<TRecordSurvey> TRecordSurveyor::Finish() {
  machine_->Finish();
  return machine_->Record();
}

TMolSurvey SurveyRecords(std::string_view text, TMolFormat format) {
  TRecordCounter counter(format);
  counter.Feed(text);
  return counter.Finish();
}

std::optional<TRecordSurvey> SurveyRecord(std::string_view text, TMolFormat format, int64_t index) {
  TRecordSurveyor surveyor(format, index);
  surveyor.Feed(text);
  return surveyor.Finish();
}

std::optional<TMolSurvey> SurveyFileRecords(const std::string& fileName) {
  return SurveyFileRecords(fileName, MolFormatFromFileName(fileName));
}

std::optional<TMolSurvey> SurveyFileRecords(const std::string& fileName, TMolFormat format) {
  if (format == TMolFormat::Unknown) return std::nullopt;
  try {
    TRecordCounter counter(format);
    if (!FeedFileTo(fileName, counter)) return std::nullopt;
    return counter.Finish();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<TRecordSurvey> SurveyFileRecord(const std::string& fileName, int64_t index) {
  return SurveyFileRecord(fileName, MolFormatFromFileName(fileName), index);
}

std::optional<TRecordSurvey> SurveyFileRecord(const std::string& fileName, TMolFormat format, int64_t index,
                                              const TStopToken& stop) {
  if (format == TMolFormat::Unknown) return std::nullopt;
  try {
    TRecordSurveyor surveyor(format, index);
    if (!FeedFileTo(fileName, surveyor, stop)) return std::nullopt;
    return surveyor.Finish();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace pelorin
