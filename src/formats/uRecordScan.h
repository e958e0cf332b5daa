// The rules of records in one place (SDF records, and the lines of a SMILES file): where a
// record ends, and how its text is delivered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/uMolFormat.h"

namespace pelorin {

// Finds where records end in a file's bytes, fed in chunks of any size. A record is the lines
// up to and including a "$$$$" line (blanks around the four dollars allowed); a line ends at
// LF, CR or CR LF, and the two bytes of a CR LF may lie in different chunks. A last record
// without an end mark counts unless it is blank.
//
// Only the lines that hold a '$' are looked at, so the pass costs little more than reading.
class TSDFRecordScanner {
 public:
  // Appends to `ends` the file offset just past each record that ends in [begin, end). An end
  // mark whose CR is the chunk's last byte is reported with the next chunk (or by Finish),
  // which shows whether an LF belongs to it.
  void Feed(const char* begin, const char* end, std::vector<uint64_t>& ends);
  // After the last chunk: appends the end of the record still open, if it counts. Returns
  // true when that record has no end mark.
  bool Finish(std::vector<uint64_t>& ends);
  // Bytes fed so far: the file offset of the next chunk.
  uint64_t Offset() const { return offset_; }

 private:
  // How far the line in progress matches an end mark: only blanks so far, 1 to 3 dollars,
  // four dollars and maybe blanks after them, or no longer a mark.
  enum TLineState : uint8_t { kBlankSoFar = 0, kMarkSoFar = 4, kNotMark = 5 };

  static TLineState Step(TLineState state, char c);
  static const char* MatchMark(TLineState& state, const char* p, const char* end);
  const char* EndMarkLine(const char* lineBreak, const char* begin, const char* end, std::vector<uint64_t>& ends);
  void AddEnd(uint64_t offset, std::vector<uint64_t>& ends);

  uint64_t offset_ = 0;
  TLineState line_ = kBlankSoFar;  // the line that the previous chunk's end cut
  bool markCR_ = false;            // the previous chunk ended in the CR after an end mark
  bool openHasText_ = false;       // the record still open holds a byte other than a blank
};

// Finds where the records of a SMILES file end: a record is one line holding anything but
// blanks, with the blank lines before it; it ends after its line break (LF, CR or CR LF, the
// two bytes of a CR LF possibly in different chunks). Same use as TSDFRecordScanner.
class TLineRecordScanner {
 public:
  void Feed(const char* begin, const char* end, std::vector<uint64_t>& ends);
  // Returns true when the last record's line has no break.
  bool Finish(std::vector<uint64_t>& ends);

 private:
  uint64_t offset_ = 0;
  bool lineHasText_ = false;  // the line the previous chunk's end cut holds a non-blank
  bool pendingCR_ = false;    // the previous chunk ended in the CR after a record's line
};

// The scanner of either rule behind one face.
class TRecordScanner {
 public:
  explicit TRecordScanner(TRecordRule rule) : rule_(rule) {}
  void Feed(const char* begin, const char* end, std::vector<uint64_t>& ends) {
    if (rule_ == TRecordRule::kSDF)
      sdf_.Feed(begin, end, ends);
    else
      lines_.Feed(begin, end, ends);
  }
  bool Finish(std::vector<uint64_t>& ends) {
    return rule_ == TRecordRule::kSDF ? sdf_.Finish(ends) : lines_.Finish(ends);
  }

 private:
  TRecordRule rule_;
  TSDFRecordScanner sdf_;
  TLineRecordScanner lines_;
};

// The text of one record's bytes as it is delivered: each line followed by CR LF whatever
// break the file used, a last line without a break included. `lineBreaks` is scratch space.
void RecordText(const char* begin, const char* end, std::string& text, std::vector<const char*>& lineBreaks);
// The text of a record of either rule: an SDF record as RecordText gives it; a SMILES record is
// its one non-blank line followed by CR LF, without the blank lines before it.
void DeliverRecordText(TRecordRule rule, const char* begin, const char* end, std::string& text,
                       std::vector<const char*>& lineBreaks);

}  // namespace pelorin
