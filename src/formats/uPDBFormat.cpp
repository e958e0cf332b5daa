// PDB files: the atom reader and the survey, on one line rule.
#include "formats/uPDBFormat.h"

#include <algorithm>
#include <new>

#include "formats/uElements.h"
#include "formats/uTextScan.h"

namespace pelorin {
namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The element that an atom name (columns 13-16) stands for. The format right-aligns the
// element symbol in columns 13-14: a one-letter element starts in column 14, so a letter in
// column 13 means a two-letter element, except in four-letter hydrogen names ("HD21"), which
// also start in column 13; standard residues (ATOM records) hold no two-letter elements.
void ElementFromAtomName(std::string_view name, bool hetatm, char (&out)[4]) {
  char n[4] = {' ', ' ', ' ', ' '};
  std::copy_n(name.data(), std::min<size_t>(name.size(), 4), n);
  if (!IsLetter(n[0])) {
    const char* letter = std::find_if(n, n + 4, IsLetter);
    StoreElementSymbol(letter == n + 4 ? std::string_view() : std::string_view(letter, 1), out);
    return;
  }
  bool oneLetter = !IsLetter(n[1]) || !hetatm || ((n[0] == 'H' || n[0] == 'h') && n[2] != ' ') ||
                   ElementNumber(std::string_view(n, 2)) == 0;
  StoreElementSymbol(std::string_view(n, oneLetter ? 1 : 2), out);
}

// An atom record that TPDBAtomLines gave.
TAtom ReadAtomRecord(std::string_view line, bool hetatm) {
  TAtom atom;
  std::string_view element = TrimView(Columns(line, 77, 78));
  if (!element.empty() && IsLetter(element[0])) {
    StoreElementSymbol(element, atom.Element);
  } else {
    ElementFromAtomName(Columns(line, 13, 16), hetatm, atom.Element);
  }
  atom.X = ParseFloat(Columns(line, 31, 38));
  atom.Y = ParseFloat(Columns(line, 39, 46));
  atom.Z = ParseFloat(Columns(line, 47, 54));
  return atom;
}

// The reader, one line at a time: false once the first model has ended.
class TPDBReader {
 public:
  explicit TPDBReader(TAtomArray& atoms) : atoms_(atoms) {}
  bool Line(std::string_view line) {
    switch (lines_.Take(line)) {
      case TPDBAtomLines::TKind::kEnd:
        return false;
      case TPDBAtomLines::TKind::kAtom:
        atoms_.push_back(ReadAtomRecord(line, false));
        return true;
      case TPDBAtomLines::TKind::kHetatm:
        atoms_.push_back(ReadAtomRecord(line, true));
        return true;
      case TPDBAtomLines::TKind::kOther:
        return true;
    }
    return true;
  }

 private:
  TAtomArray& atoms_;
  TPDBAtomLines lines_;
};

bool NoAtomsIsError(const TAtomArray& atoms, std::string& error) {
  if (atoms.empty()) error = "No ATOM or HETATM records";
  return !atoms.empty();
}

// PDB: one record (a file of blanks has none); its atoms are those the reader reads.
class TPdbMachine : public TLineMachine<TPdbMachine> {
 public:
  TPdbMachine(int64_t target, size_t maxLine) : TLineMachine(target, maxLine) { done_ = target > 0; }

  bool OnLine(const TLine& line) {
    if (!content_) content_ = !line.Blank();
    if (Counting()) {
      records_ = content_ ? 1 : 0;
      return !content_;
    }
    switch (lines_.Take(line.Head)) {
      case TPDBAtomLines::TKind::kEnd:
        Found(Result());
        return false;
      case TPDBAtomLines::TKind::kAtom:
      case TPDBAtomLines::TKind::kHetatm:
        ++atoms_;
        return true;
      case TPDBAtomLines::TKind::kOther:
        return true;
    }
    return true;
  }

  void OnEnd() {
    if (IsTarget(0) && content_) Found(Result());
  }

 private:
  TRecordSurvey Result() const { return TRecordSurvey{atoms_, true, true}; }

  TPDBAtomLines lines_;
  bool content_ = false;
  int64_t atoms_ = 0;
};

}  // namespace

bool ReadPDBAtoms(std::string_view text, TAtomArray& atoms, std::string& error) {
  atoms.clear();
  error.clear();
  try {
    TPDBReader reader(atoms);
    ForEachLine(text, [&reader](const TLine& line) { return reader.Line(line.Head); });
  } catch (const std::bad_alloc&) {
    TAtomArray().swap(atoms);
    error = "Not enough memory for the atoms";
    return false;
  }
  return NoAtomsIsError(atoms, error);
}

bool ReadPDBFile(const std::string& fileName, TAtomArray& atoms, std::string& error) {
  atoms.clear();
  error.clear();
  try {
    TPDBReader reader(atoms);
    if (!ReadFileLines(
            fileName, [&reader](const TLine& line) { return reader.Line(line.Head); }, error)) {
      atoms.clear();
      return false;
    }
  } catch (const std::bad_alloc&) {
    TAtomArray().swap(atoms);
    error = "Not enough memory to read file [" + fileName + "]";
    return false;
  }
  return NoAtomsIsError(atoms, error);
}

TSurveyMachinePtr MakePDBSurvey(int64_t target, size_t maxLine) {
  return std::make_unique<TPdbMachine>(target, maxLine);
}

}  // namespace pelorin
