// MOL and SDF files: the SDF record rule and the survey of their records.
#include "formats/uSDFFormat.h"

#include <algorithm>
#include <optional>

#include "support/uText.h"

namespace pelorin {
namespace {

// One MOL record's lines from its first (the title) to the end of its atom block.
class TMolRecordReader {
 public:
  // False once the atom block has been read, or cannot be.
  bool Line(std::string_view head) {
    int64_t number = lineNumber_++;
    if (number == 1) has3D_ = Columns(head, 21, 22) == "3D";  // the header's dimensional code
    if (number < 3) return true;
    if (number == 3) return CountsLine(head);
    return v3000_ ? V3000Line(head) : V2000AtomLine(head);
  }
  TRecordSurvey Result() const {
    return TRecordSurvey{atoms_, declared_ && static_cast<uint64_t>(atoms_) == *declared_, has3D_};
  }

 private:
  bool CountsLine(std::string_view head) {
    if (head.find("V3000") != std::string_view::npos) {
      v3000_ = true;
      return true;
    }
    declared_ = ParseCount(head.substr(0, 3));
    return declared_ && *declared_ > 0;
  }

  // An atom line holds x, y and z as numbers in columns 1-10, 11-20 and 21-30. The first line
  // that does not ends the atom block, whatever the counts line claims.
  bool V2000AtomLine(std::string_view head) {
    if (head.size() < 30) return false;
    std::optional<bool> z = ParseDecimalIsNonZero(head.substr(20, 10));
    if (!ParseDecimalIsNonZero(head.substr(0, 10)) || !ParseDecimalIsNonZero(head.substr(10, 10)) || !z) return false;
    ++atoms_;
    has3D_ = has3D_ || *z;
    return static_cast<uint64_t>(atoms_) < *declared_;
  }

  // "M  V30 COUNTS na ...", then "M  V30 BEGIN ATOM", one "M  V30 index type x y z ..." entry per
  // atom (a line ending in '-' goes on in the next), "M  V30 END ATOM".
  bool V3000Line(std::string_view head) {
    if (StartsWith(head, "M  END")) return false;
    if (!StartsWith(head, "M  V30")) return true;
    std::string_view body = head.substr(6);
    while (!body.empty() && IsBlankChar(body.back())) body.remove_suffix(1);
    bool entryGoesOn = continued_;
    continued_ = !body.empty() && body.back() == '-';
    if (continued_) body.remove_suffix(1);
    if (!entryGoesOn) {
      TWords keywords(body);
      std::string_view first, second;
      keywords.Next(first);
      keywords.Next(second);
      if (first == "COUNTS") {
        declared_ = ParseCount(second);
        return !declared_ || *declared_ > 0;
      }
      if ((first == "BEGIN" || first == "END") && second == "ATOM") {
        if (first == "END" && inAtoms_) return false;
        inAtoms_ = first == "BEGIN";
        return true;
      }
      if (!inAtoms_) return true;
      ++atoms_;
      field_ = 0;
    } else if (!inAtoms_) {
      return true;
    }
    TWords words(body);
    std::string_view word;
    while (field_ <= 4 && words.Next(word)) {
      if (field_ == 1 && word == "NOT") continue;  // an atom list: "NOT [N,O]" is one type
      if (field_ == 4) has3D_ = has3D_ || ParseDecimalIsNonZero(word).value_or(false);
      ++field_;
    }
    return continued_ || !declared_ || static_cast<uint64_t>(atoms_) < *declared_;
  }

  int64_t lineNumber_ = 0;
  bool has3D_ = false;
  bool v3000_ = false;
  std::optional<uint64_t> declared_;
  int64_t atoms_ = 0;
  bool inAtoms_ = false;
  bool continued_ = false;
  int field_ = 0;  // of the V3000 atom entry being read
};

// SDF records, and the first record of a MOL file. The record's end mark reaches the MOL reader
// too: a line of blanks and dollars is neither a header's "3D", a count nor an atom, so it only
// ends an atom block that the record left open.
class TSdfMachine : public TScannedRecordMachine<TSdfMachine> {
 public:
  TSdfMachine(int64_t target, size_t maxLine) : TScannedRecordMachine(target, maxLine, TRecordRule::kSDF) {}

  bool OnRecordLine(const TLine& line) {
    if (!readerDone_) readerDone_ = !reader_.Line(line.Head);
    if (!content_) content_ = !line.Blank();
    // A record of blank lines is one only when a mark ends it.
    return !(readerDone_ && content_);
  }
  TRecordSurvey RecordResult() const { return reader_.Result(); }

 private:
  TMolRecordReader reader_;
  bool readerDone_ = false;
  bool content_ = false;  // a non-blank line in the record
};

// The records of a MOL file: one as soon as it holds anything but blanks (a record of the SDF
// rule it then has).
class TMolRecordCounter : public TSurveyMachine {
 public:
  TMolRecordCounter() : TSurveyMachine(-1) {}
  bool Feed(std::string_view bytes) override {
    if (records_ == 0 && HasNonBlank(bytes)) records_ = 1;
    return records_ == 0;
  }
  void Finish() override {}
};

}  // namespace

namespace {

// The last line break in [p, end), or null. It is asked about what follows the chunk's last '$',
// usually a part of one record.
const char* LastLineBreak(const char* p, const char* end) {
  const char* last = nullptr;
  TBreakFinder breaks(p, end);
  while (p < end) {
    const char* lineBreak = breaks.Next(p);
    if (lineBreak == end) break;
    last = lineBreak;
    p = lineBreak + 1;
  }
  return last;
}

}  // namespace

TSDFEndMark::TState TSDFEndMark::Step(TState state, char c) {
  if (c == '$') return state < kMarkSoFar ? static_cast<TState>(state + 1) : kNotMark;
  if (!IsBlankChar(c)) return kNotMark;
  return state == kBlankSoFar || state == kMarkSoFar ? state : kNotMark;  // "$$ $$" is no mark
}

bool IsSDFEndMark(std::string_view line) {
  TSDFEndMark::TState state = TSDFEndMark::kBlankSoFar;
  for (char c : line) {
    state = TSDFEndMark::Step(state, c);
    if (state == TSDFEndMark::kNotMark) return false;
  }
  return state == TSDFEndMark::kMarkSoFar;
}

// Runs the line through the end-mark rule from p; stops at a line break, at the byte that
// rules the line out (state kNotMark), or at end.
const char* TSDFRecordScanner::MatchMark(TLineState& state, const char* p, const char* end) {
  for (; p < end; ++p) {
    if (IsLineBreak(*p)) return p;
    state = TSDFEndMark::Step(state, *p);
    if (state == TSDFEndMark::kNotMark) return p;
  }
  return end;
}

void TSDFRecordScanner::AddEnd(uint64_t offset, std::vector<uint64_t>& ends) {
  ends.push_back(offset);
  openHasText_ = false;
}

// Ends the record at the break of its end mark; returns where the next record starts, or end
// when the break is a CR that ends the chunk.
const char* TSDFRecordScanner::EndMarkLine(const char* lineBreak, const char* begin, const char* end,
                                           std::vector<uint64_t>& ends) {
  const char* next = markBreak_.After(lineBreak, end);
  if (!next) return end;
  AddEnd(offset_ + static_cast<uint64_t>(next - begin), ends);
  return next;
}

void TSDFRecordScanner::Feed(const char* begin, const char* end, std::vector<uint64_t>& ends) {
  if (begin == end) return;
  const char* p = begin;
  if (markBreak_.Resume(p, end)) AddEnd(offset_ + static_cast<uint64_t>(p - begin), ends);
  const char* openStart = p;  // where the bytes of the record still open begin
  const TLineState lineAtStart = line_;
  bool lineKnown = false;  // line_ already describes the line this chunk's end cuts
  // The line that the previous chunk cut, then each line that holds a '$' where a mark may start.
  const char* candidate = lineAtStart != TSDFEndMark::kNotMark ? p : nullptr;
  TLineState state = lineAtStart;
  while (p < end) {
    if (!candidate) {
      candidate = FindByte(p, end, '$');
      if (candidate == end) break;
      const char* lineStart = candidate;
      while (lineStart > begin && IsBlankInLine(lineStart[-1])) --lineStart;
      bool startsLine = lineStart > begin ? IsLineBreak(lineStart[-1]) : lineAtStart == TSDFEndMark::kBlankSoFar;
      if (!startsLine) {
        p = candidate + 1;
        candidate = nullptr;
        continue;
      }
      state = TSDFEndMark::kBlankSoFar;
    }
    const char* stop = MatchMark(state, candidate, end);
    candidate = nullptr;
    if (stop == end) {
      line_ = state;
      lineKnown = true;
      p = end;
    } else if (state == TSDFEndMark::kMarkSoFar) {  // stopped at the mark's line break
      p = openStart = EndMarkLine(stop, begin, end, ends);
    } else {
      p = stop;  // a break after fewer dollars, or the byte that ruled the line out
    }
  }
  if (markBreak_.Pending()) {
    line_ = TSDFEndMark::kBlankSoFar;
  } else if (!lineKnown) {
    // No '$' at or after p: the cut line may still become a mark only if it began at or after
    // p - 1 (the break that p follows) and holds nothing but blanks.
    const char* lineBreak = LastLineBreak(p > begin ? p - 1 : p, end);
    line_ =
        lineBreak && std::all_of(lineBreak + 1, end, IsBlankInLine) ? TSDFEndMark::kBlankSoFar : TSDFEndMark::kNotMark;
  }
  if (!openHasText_) openHasText_ = HasNonBlank(openStart, end);
  offset_ += static_cast<uint64_t>(end - begin);
}

bool TSDFRecordScanner::Finish(std::vector<uint64_t>& ends) {
  const bool marked = markBreak_.Finish() || line_ == TSDFEndMark::kMarkSoFar;  // the file ends in an end mark
  const bool counts = marked || openHasText_;
  line_ = TSDFEndMark::kBlankSoFar;
  if (counts) AddEnd(offset_, ends);
  return counts && !marked;
}

std::unique_ptr<TFormatRecordScanner> MakeSDFRecordScanner(size_t /*maxLine*/) {
  return std::make_unique<TSDFRecordScanner>();
}

TSurveyMachinePtr MakeSDFSurvey(int64_t target, size_t maxLine) {
  return std::make_unique<TSdfMachine>(target, maxLine);
}

TSurveyMachinePtr MakeMOLSurvey(int64_t target, size_t maxLine) {
  if (target < 0) return std::make_unique<TMolRecordCounter>();
  if (target > 0) return std::make_unique<TNoAnswer>();
  return std::make_unique<TSdfMachine>(target, maxLine);
}

}  // namespace pelorin
