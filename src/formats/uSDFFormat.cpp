// MOL and SDF files: the survey of their records.
#include "formats/uSDFFormat.h"

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

TSurveyMachinePtr MakeSDFSurvey(int64_t target, size_t maxLine, bool singleRecord) {
  if (singleRecord && target < 0) return std::make_unique<TMolRecordCounter>();
  if (singleRecord && target > 0) return std::make_unique<TNoAnswer>();
  return std::make_unique<TSdfMachine>(target, maxLine);
}

}  // namespace pelorin
