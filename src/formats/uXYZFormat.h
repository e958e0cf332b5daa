// XYZ files: the atom reader and the survey, on one rule of how the text is laid out in
// records, so that the survey counts exactly the atoms the reader reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/uAtomTable.h"
#include "formats/uSurveyMachine.h"

namespace pelorin {

// The layout of XYZ text, one line at a time: blank lines between records; a record is a count
// line (the atom count as its first word, further words ignored), a comment line (its title)
// and as many more lines as the count says, its atom lines. Lines of records before the one
// read are passed over without looking at them.
class TXYZLayout {
 public:
  enum class TRole : uint8_t {
    kBetween,    // a blank line between records
    kCount,      // a record's count line
    kNotACount,  // where a count line should be: the text is no XYZ from here on (every later
                 // line is taken as kNotACount too)
    kComment,    // a record's comment line
    kAtom,       // one of a record's atom lines
  };
  TRole Take(const TLine& line);
  // The record of the line last taken, from 0; -1 before the first. kNotACount: the record that
  // it would have started.
  int64_t Record() const { return record_; }
  // The atom count of that record, and its atom lines taken so far.
  uint64_t Count() const { return count_; }
  uint64_t AtomLines() const { return atomLines_; }
  // True while the record's count line has been taken but not all of its lines.
  bool InRecord() const { return stage_ == TStage::kComment || stage_ == TStage::kAtoms; }
  // The atom lines of the record under way not yet taken; Pass(n) takes n of them unseen
  // (n at most that many), as Take would.
  uint64_t AtomLinesLeft() const { return stage_ == TStage::kAtoms ? count_ - atomLines_ : 0; }
  void PassAtomLines(uint64_t n);

 private:
  enum class TStage : uint8_t { kBetween, kComment, kAtoms, kNoXYZ };
  TStage stage_ = TStage::kBetween;
  int64_t record_ = -1;
  uint64_t count_ = 0;
  uint64_t atomLines_ = 0;
};

// An atom line is "element x y z": at least four blank-separated words, the element (a symbol in
// any case, or an atomic number) and the coordinates; further words are ignored. False when
// the line has fewer words. `words` receives the four.
bool SplitXYZAtomLine(std::string_view line, std::string_view (&words)[4]);

// The atoms of record `recordIndex` (counted from 0) of XYZ text, laid out as TXYZLayout says.
// Lines end at LF, CR LF or CR. Unreadable or non-finite coordinates are stored as 0.
//
// False with a reason in `error` when the record is missing, has no atoms, or its count line
// is not a count. A record that holds fewer atom lines than its count claims (the text ends
// early, or a line there is not an atom) is also false, but `atoms` then keeps the atoms read
// before the fault; every other failure leaves `atoms` empty. Storage grows with the atoms
// actually read, never with the claimed count. `title`, when given, receives the comment line.
// Error texts count records from 1.
[[nodiscard]] bool ReadXYZBlock(std::string_view text, int recordIndex, TAtomArray& atoms, std::string& error,
                                std::string* title = nullptr);
// The same on a file, read only as far as the record needs (a trajectory is not read whole for
// one frame); a file that cannot be opened gives "Cannot open file [name]: reason". `stop`
// (optional) is asked between pieces of the file: once it says so, the read ends with false.
[[nodiscard]] bool ReadXYZFile(const std::string& fileName, int recordIndex, TAtomArray& atoms, std::string& error,
                               std::string* title = nullptr, const TStopToken& stop = {});

// The record rule of XYZ text, on the layout: a record is its blank lines, its count line, its
// comment line and its atom lines, and ends after the last of them (after the comment when the
// count is 0). A count line that is no count ends the records: what follows is no XYZ. A record
// the file's end cuts still counts.
class TXYZRecordRule {
 public:
  static constexpr bool kEndsOfItsOwn = true;
  static constexpr bool kEndsAtBreak = false;
  TLineEnd Take(const TLine& line);
  bool OpenRecordCounts() const { return layout_.InRecord(); }
  // Atom lines say nothing of where records end but the last: the scanner passes over the others
  // by their breaks alone, which keeps indexing a long trajectory near the speed of reading it.
  uint64_t LinesToPass() const {
    const uint64_t left = layout_.AtomLinesLeft();
    return left > 1 ? left - 1 : 0;
  }
  void PassLines(uint64_t n) { layout_.PassAtomLines(n); }

 private:
  TXYZLayout layout_;
};
std::unique_ptr<TFormatRecordScanner> MakeXYZRecordScanner(size_t maxLine);

// The survey machine of XYZ text: its records (the record rule's) and, for one, the atoms the
// reader reads. Counts records when `target` is negative, surveys record `target` otherwise.
TSurveyMachinePtr MakeXYZSurvey(int64_t target, size_t maxLine);

}  // namespace pelorin
