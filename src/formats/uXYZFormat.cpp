// XYZ files: the atom reader and the survey, on one layout rule.
#include "formats/uXYZFormat.h"

#include <algorithm>
#include <new>

#include "formats/uTextScan.h"
#include "support/uFileIO.h"

namespace pelorin {
namespace {

// "C 0 0 0" and a line break: no atom line is shorter, so the bytes bound the atoms.
constexpr uint64_t kShortestAtomLine = 8;
constexpr size_t kQuotedLength = 40;  // of a line quoted in an error text

std::string Quoted(std::string_view line) {
  bool cut = line.size() > kQuotedLength;
  return "\"" + std::string(line.substr(0, kQuotedLength)) + (cut ? "...\"" : "\"");
}

std::string RecordName(int64_t index) {
  return "record " + std::to_string(index + 1);
}

std::string AtomsOf(uint64_t read, uint64_t count) {
  return std::to_string(read) + " of " + std::to_string(count) + " atoms";
}

// The reader, one line at a time: Line() is false once it is done (read or failed); Finish()
// says which, at the end of the text too.
class TXYZReader {
 public:
  TXYZReader(int64_t wanted, uint64_t textBytes, TAtomArray& atoms, std::string& error, std::string* title)
      : wanted_(wanted), textBytes_(textBytes), atoms_(atoms), error_(error), title_(title) {}

  bool Line(const TLine& line) {
    ++lineNumber_;
    const TXYZLayout::TRole role = layout_.Take(line);
    if (role == TXYZLayout::TRole::kNotACount) {
      return Fail(RecordName(layout_.Record()) + ": line " + std::to_string(lineNumber_) +
                  " should hold the atom count but is " + Quoted(line.Head));
    }
    if (layout_.Record() != wanted_) return true;
    switch (role) {
      case TXYZLayout::TRole::kComment:
        if (title_) *title_ = std::string(TrimView(line.Head));
        if (layout_.Count() == 0) return Fail(RecordName(wanted_) + " has no atoms");
        atoms_.reserve(static_cast<size_t>(std::min(layout_.Count(), textBytes_ / kShortestAtomLine + 1)));
        return true;
      case TXYZLayout::TRole::kAtom:
        return Atom(line.Head);
      default:
        return true;
    }
  }

  // The reader's answer once the text has ended or Line() said it is done.
  bool Finish() {
    if (done_) return ok_;
    const std::string wanted = RecordName(wanted_);
    if (layout_.Record() == wanted_) {
      if (layout_.Count() == 0) return Fail(wanted + " has no atoms");
      return Fail(wanted + " ends after " + AtomsOf(layout_.AtomLines(), layout_.Count()));
    }
    if (layout_.InRecord()) {
      return Fail(wanted + " not found: " + RecordName(layout_.Record()) + " ends before its " +
                  std::to_string(layout_.Count()) + " atoms");
    }
    const int64_t records = layout_.Record() + 1;
    return Fail(wanted + " not found: the text holds " + std::to_string(records) +
                (records == 1 ? " record" : " records"));
  }

 private:
  bool Atom(std::string_view line) {
    std::string_view words[4];
    if (!SplitXYZAtomLine(line, words)) {
      return Fail(RecordName(wanted_) + ": line " + std::to_string(lineNumber_) +
                  " is not an atom (element x y z) but " + Quoted(line) + ", after " +
                  AtomsOf(atoms_.size(), layout_.Count()));
    }
    TAtom atom;
    StoreElementSymbol(words[0], atom.Element);
    atom.X = ParseFloat(words[1]);
    atom.Y = ParseFloat(words[2]);
    atom.Z = ParseFloat(words[3]);
    atoms_.push_back(atom);
    if (atoms_.size() < layout_.Count()) return true;
    done_ = ok_ = true;
    return false;
  }

  bool Fail(std::string error) {
    error_ = std::move(error);
    done_ = true;
    ok_ = false;
    return false;
  }

  const int64_t wanted_;
  const uint64_t textBytes_;
  TAtomArray& atoms_;
  std::string& error_;
  std::string* title_;
  TXYZLayout layout_;
  uint64_t lineNumber_ = 0;
  bool done_ = false;
  bool ok_ = false;
};

// The survey of one record of XYZ text, found by the layout; it holds the atom lines the reader
// reads, up to the first that is none.
class TXyzMachine : public TLineMachine<TXyzMachine> {
 public:
  TXyzMachine(int64_t target, size_t maxLine) : TLineMachine(target, maxLine) {}

  bool OnLine(const TLine& line) {
    const TXYZLayout::TRole role = layout_.Take(line);
    switch (role) {
      case TXYZLayout::TRole::kNotACount:
        return false;  // the rest is no XYZ
      case TXYZLayout::TRole::kCount:
        return true;
      case TXYZLayout::TRole::kComment:
        return !IsTarget(layout_.Record()) || layout_.Count() > 0 || Done();
      case TXYZLayout::TRole::kAtom: {
        if (!IsTarget(layout_.Record())) return true;
        std::string_view words[4];
        if (!SplitXYZAtomLine(line.Head, words)) return Done();
        ++atoms_;
        return static_cast<uint64_t>(atoms_) < layout_.Count() || Done();
      }
      case TXYZLayout::TRole::kBetween:
        return true;
    }
    return true;
  }

  void OnEnd() {
    if (IsTarget(layout_.Record())) Found(Result());
  }

 private:
  bool Done() {
    Found(Result());
    return false;
  }
  TRecordSurvey Result() const { return TRecordSurvey{atoms_, static_cast<uint64_t>(atoms_) == layout_.Count(), true}; }

  TXYZLayout layout_;
  int64_t atoms_ = 0;  // of the record surveyed
};

}  // namespace

TXYZLayout::TRole TXYZLayout::Take(const TLine& line) {
  switch (stage_) {
    case TStage::kBetween: {
      if (line.Blank()) return TRole::kBetween;
      const std::optional<uint64_t> count = ParseCount(WordAt(line.Head, 0));
      ++record_;
      if (!count) {
        stage_ = TStage::kNoXYZ;
        return TRole::kNotACount;
      }
      count_ = *count;
      atomLines_ = 0;
      stage_ = TStage::kComment;
      return TRole::kCount;
    }
    case TStage::kComment:
      stage_ = count_ > 0 ? TStage::kAtoms : TStage::kBetween;
      return TRole::kComment;
    case TStage::kAtoms:
      if (++atomLines_ == count_) stage_ = TStage::kBetween;
      return TRole::kAtom;
    case TStage::kNoXYZ:
      return TRole::kNotACount;
  }
  return TRole::kBetween;
}

void TXYZLayout::PassAtomLines(uint64_t n) {
  atomLines_ += std::min(n, AtomLinesLeft());
  if (stage_ == TStage::kAtoms && atomLines_ == count_) stage_ = TStage::kBetween;
}

bool SplitXYZAtomLine(std::string_view line, std::string_view (&words)[4]) {
  TWords split(line);
  for (std::string_view& word : words)
    if (!split.Next(word)) return false;
  return true;
}

bool ReadXYZBlock(std::string_view text, int recordIndex, TAtomArray& atoms, std::string& error, std::string* title) {
  atoms.clear();
  error.clear();
  if (title) title->clear();
  if (recordIndex < 0) {
    error = RecordName(recordIndex) + " does not exist";
    return false;
  }
  try {
    TXYZReader reader(recordIndex, text.size(), atoms, error, title);
    ForEachLine(text, [&reader](const TLine& line) { return reader.Line(line); });
    return reader.Finish();
  } catch (const std::bad_alloc&) {
    TAtomArray().swap(atoms);
    error = "Not enough memory for the atoms of " + RecordName(recordIndex);
    return false;
  }
}

bool ReadXYZFile(const std::string& fileName, int recordIndex, TAtomArray& atoms, std::string& error,
                 std::string* title, const TStopToken& stop) {
  atoms.clear();
  error.clear();
  if (title) title->clear();
  try {
    TXYZReader reader(std::max(recordIndex, 0), FileSizeOf(fileName).value_or(0), atoms, error, title);
    auto onLine = [&reader, recordIndex](const TLine& line) { return recordIndex >= 0 && reader.Line(line); };
    if (!ReadFileLines(fileName, onLine, error, stop)) {
      atoms.clear();
      return false;
    }
    if (recordIndex < 0) {
      error = RecordName(recordIndex) + " does not exist";
      return false;
    }
    return reader.Finish();
  } catch (const std::bad_alloc&) {
    TAtomArray().swap(atoms);
    error = "Not enough memory to read file [" + fileName + "]";
    return false;
  }
}

TLineEnd TXYZRecordRule::Take(const TLine& line) {
  switch (layout_.Take(line)) {
    case TXYZLayout::TRole::kNotACount:
      return TLineEnd::kNotFormat;
    case TXYZLayout::TRole::kComment:
      return layout_.Count() == 0 ? TLineEnd::kAfter : TLineEnd::kNone;
    case TXYZLayout::TRole::kAtom:
      return layout_.AtomLines() == layout_.Count() ? TLineEnd::kAfter : TLineEnd::kNone;
    case TXYZLayout::TRole::kBetween:
    case TXYZLayout::TRole::kCount:
      break;
  }
  return TLineEnd::kNone;
}

std::unique_ptr<TFormatRecordScanner> MakeXYZRecordScanner(size_t maxLine) {
  return std::make_unique<TLineRuleScanner<TXYZRecordRule>>(maxLine);
}

TSurveyMachinePtr MakeXYZSurvey(int64_t target, size_t maxLine) {
  if (target < 0) return std::make_unique<TScannedRecordCounter>(TRecordRule::kXYZ, maxLine);
  return std::make_unique<TXyzMachine>(target, maxLine);
}

}  // namespace pelorin
