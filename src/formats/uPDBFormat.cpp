// PDB files: the atom reader, the record rule and the survey, on one line rule.
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

// An atom record that TPDBRecordAtoms kept.
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

// The reader, one line at a time: false once the first record has ended.
class TPDBReader {
 public:
  explicit TPDBReader(TAtomArray& atoms) : atoms_(atoms) {}
  bool Line(std::string_view line) {
    const TPDBLines::TKind kind = record_.Take(line);
    if (record_.Kept()) atoms_.push_back(ReadAtomRecord(line, kind == TPDBLines::TKind::kHetatm));
    return kind != TPDBLines::TKind::kRecordEnd && kind != TPDBLines::TKind::kTextEnd;
  }

 private:
  TAtomArray& atoms_;
  TPDBRecordAtoms record_;
};

bool NoAtomsIsError(const TAtomArray& atoms, std::string& error) {
  if (atoms.empty()) error = "No ATOM or HETATM records";
  return !atoms.empty();
}

// The atoms of one record, found on the record rule's lines.
class TPdbMachine : public TLineMachine<TPdbMachine> {
 public:
  TPdbMachine(int64_t target, size_t maxLine) : TLineMachine(target, maxLine) {}

  bool OnLine(const TLine& line) {
    const TPDBLines::TKind kind = record_.Take(line.Head);
    if (kind == TPDBLines::TKind::kTextEnd) {
      OnEnd();
      return false;
    }
    if (kind == TPDBLines::TKind::kRecordEnd) {
      if (IsTarget(records_)) {
        Found(Result());
        return false;
      }
      ++records_;
      record_.NextRecord();
    }
    if (record_.Kept() && IsTarget(records_)) ++atoms_;
    return true;
  }

  void OnEnd() {
    if (IsTarget(records_) && record_.RecordHasAtoms()) Found(Result());
  }

 private:
  TRecordSurvey Result() const { return TRecordSurvey{atoms_, true, true}; }

  TPDBRecordAtoms record_;
  int64_t atoms_ = 0;  // kept in the record surveyed
};

}  // namespace

bool TPDBLocations::Keeps(std::string_view line) {
  const char location = line.size() > 16 ? line[16] : ' ';  // column 17
  if (location == ' ') return true;
  // Name (13-16), residue name (18-20), chain (22), residue number (23-26), insertion code (27).
  std::string atom(Columns(line, 13, 16));
  atom.resize(4, ' ');
  atom += Columns(line, 18, 27);
  atom.resize(14, ' ');
  const auto found = first_.try_emplace(std::move(atom), location).first;
  return found->second == location;
}

std::unique_ptr<TFormatRecordScanner> MakePDBRecordScanner(size_t maxLine) {
  return std::make_unique<TLineRuleScanner<TPDBRecordRule>>(maxLine);
}

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

bool ReadPDBFile(const std::string& fileName, TAtomArray& atoms, std::string& error, const TStopToken& stop) {
  atoms.clear();
  error.clear();
  try {
    TPDBReader reader(atoms);
    if (!ReadFileLines(
            fileName, [&reader](const TLine& line) { return reader.Line(line.Head); }, error, stop)) {
      TAtomArray().swap(atoms);
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
  if (target < 0) return std::make_unique<TScannedRecordCounter>(TRecordRule::kPDB, maxLine);
  return std::make_unique<TPdbMachine>(target, maxLine);
}

}  // namespace pelorin
