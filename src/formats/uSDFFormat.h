// MOL and SDF files: the record rule of SDF (records end at "$$$$" lines), its end mark, and the
// survey of their records (atoms and 3D) on that rule, so that the survey's records are the ones
// the viewer steps through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "formats/uRecordScan.h"
#include "formats/uSurveyMachine.h"

namespace pelorin {

// An SDF record's end mark: a line of "$$$$", blanks around the four dollars allowed, none between
// them. How far a line matches it, byte by byte: the one definition of the mark, for the record
// scanner (a line may be cut between chunks) and the reader of a record's data (IsSDFEndMark).
struct TSDFEndMark {
  // Only blanks so far, 1 to 3 dollars (the values between), four dollars and maybe blanks after
  // them, or no longer a mark.
  enum TState : uint8_t { kBlankSoFar = 0, kMarkSoFar = 4, kNotMark = 5 };
  // The state after byte `c` of the line (not a line break).
  static TState Step(TState state, char c);
};

// True when the line (without its break) is an end mark.
bool IsSDFEndMark(std::string_view line);

// Finds where SDF records end in a file's bytes, fed in chunks of any size: a record is the lines
// up to and including an end mark; a line ends at LF, CR or CR LF. A last record without an end
// mark counts unless it is blank.
//
// Only the lines that hold a '$' are looked at, so the pass costs little more than reading.
class TSDFRecordScanner final : public TFormatRecordScanner {
 public:
  void Feed(const char* begin, const char* end, std::vector<uint64_t>& ends) override;
  // Returns true when the last record has no end mark.
  bool Finish(std::vector<uint64_t>& ends) override;
  // Bytes fed so far: the file offset of the next chunk.
  uint64_t Offset() const { return offset_; }

 private:
  using TLineState = TSDFEndMark::TState;

  static const char* MatchMark(TLineState& state, const char* p, const char* end);
  const char* EndMarkLine(const char* lineBreak, const char* begin, const char* end, std::vector<uint64_t>& ends);
  void AddEnd(uint64_t offset, std::vector<uint64_t>& ends);

  uint64_t offset_ = 0;
  TLineState line_ = TSDFEndMark::kBlankSoFar;  // the line that the previous chunk's end cut
  TPieceBreak markBreak_;                       // the previous chunk ended in the CR after an end mark
  bool openHasText_ = false;                    // the record still open holds a byte other than a blank
};
std::unique_ptr<TFormatRecordScanner> MakeSDFRecordScanner(size_t maxLine);

// The survey machine of SDF files, and of a MOL file (the file is one record, its first). Counts
// records when `target` is negative, surveys record `target` otherwise.
TSurveyMachinePtr MakeSDFSurvey(int64_t target, size_t maxLine);
TSurveyMachinePtr MakeMOLSurvey(int64_t target, size_t maxLine);

}  // namespace pelorin
