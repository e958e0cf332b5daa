// PDB (Protein Data Bank) files: the atom reader, the record rule and the survey, on one rule of
// which lines hold the atoms read and where a record ends, so that the survey counts exactly the
// atoms the reader keeps and the records the record index finds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "formats/uAtomTable.h"
#include "formats/uSurveyMachine.h"
#include "support/uText.h"

namespace pelorin {

// Which lines of PDB text are atom records and where its records (models) end, as the converter
// (Open Babel 3.1.1) reads them: a record ends after an ENDMDL line once it holds an atom (an
// ENDMDL before any atom ends nothing); an END line ends the last record, and nothing after it is
// read; MODEL lines end nothing. An atom record is an ATOM or HETATM line; it holds an atom when
// it is long enough for the coordinates (columns 31-54). Lines are taken in file order.
class TPDBLines {
 public:
  enum class TKind : uint8_t {
    kOther,      // no atom record, no end
    kAtom,       // an ATOM record
    kHetatm,     // a HETATM record
    kRecordEnd,  // the record under way, which holds atoms, ends after this line
    kTextEnd,    // END (at this line or before): no line from here on counts
  };
  // Every line of a large file comes here: written in the header, so that it inlines.
  TKind Take(std::string_view line) {
    if (ended_) return TKind::kTextEnd;
    // Nearly every line of a large file is an atom record whose name fills columns 1-6.
    if (line.size() >= 6 && std::memcmp(line.data(), "ATOM  ", 6) == 0) return AtomRecord(line, TKind::kAtom);
    if (line.size() >= 6 && std::memcmp(line.data(), "HETATM", 6) == 0) return AtomRecord(line, TKind::kHetatm);
    const std::string_view type = RecordType(line);
    if (type == "ATOM" || type == "HETATM") return AtomRecord(line, type == "ATOM" ? TKind::kAtom : TKind::kHetatm);
    if (type == "END") {
      ended_ = true;
      return TKind::kTextEnd;
    }
    if (type == "ENDMDL" && atoms_) {
      atoms_ = false;
      return TKind::kRecordEnd;
    }
    return TKind::kOther;
  }
  // The record under way holds an atom.
  bool RecordHasAtoms() const { return atoms_; }

  static bool HoldsCoordinates(std::string_view line) { return line.size() >= kCoordinatesEnd; }

 private:
  static constexpr size_t kCoordinatesEnd = 54;  // the last column of z

  TKind AtomRecord(std::string_view line, TKind kind) {
    atoms_ = atoms_ || HoldsCoordinates(line);
    return kind;
  }

  // The record name: columns 1-6 without the blanks around them.
  static std::string_view RecordType(std::string_view line) {
    size_t end = std::min<size_t>(line.size(), 6), start = 0;
    while (start < end && IsBlankChar(line[start])) ++start;
    while (end > start && IsBlankChar(line[end - 1])) --end;
    return line.substr(start, end - start);
  }

  bool atoms_ = false;
  bool ended_ = false;
};

// Of an atom's alternate locations (atom records with the same name, residue name and number,
// chain and insertion code, column 17 naming the location) the first met in a record is kept:
// the picture shows each atom in one place. (The converter keeps every location as an atom of its
// own, so its atoms are these and the later locations beside them.) Atoms without a location
// letter are always kept. Memory grows with the atoms that have locations, one entry each.
class TPDBLocations {
 public:
  // Whether the atom record is kept; a record too short for its coordinates still names the
  // location it is of.
  bool Keeps(std::string_view line);

 private:
  std::unordered_map<std::string, char> first_;  // atom (columns 13-16, 18-27 without 17) -> location
};

// The atom records of a PDB record that the reader keeps: atoms (with coordinates) at their first
// location. Lines go to Take in order; Atom() says whether the line holds an atom kept.
class TPDBRecordAtoms {
 public:
  TPDBLines::TKind Take(std::string_view line) {
    const TPDBLines::TKind kind = lines_.Take(line);
    kept_ = (kind == TPDBLines::TKind::kAtom || kind == TPDBLines::TKind::kHetatm) && locations_.Keeps(line) &&
            TPDBLines::HoldsCoordinates(line);
    return kind;
  }
  bool Kept() const { return kept_; }
  bool RecordHasAtoms() const { return lines_.RecordHasAtoms(); }
  // The next record starts: its atoms' locations are its own.
  void NextRecord() { locations_ = TPDBLocations(); }

 private:
  TPDBLines lines_;
  TPDBLocations locations_;
  bool kept_ = false;
};

// The record rule of PDB text on TPDBLines: a record ends after its ENDMDL line, or after END;
// a record without atoms is none (its lines belong to the next record, or to no record at the end).
class TPDBRecordRule {
 public:
  static constexpr bool kEndsOfItsOwn = true;
  static constexpr bool kEndsAtBreak = false;
  TLineEnd Take(const TLine& line) {
    switch (lines_.Take(line.Head)) {
      case TPDBLines::TKind::kRecordEnd:
        return TLineEnd::kAfter;
      case TPDBLines::TKind::kTextEnd:
        return lines_.RecordHasAtoms() ? TLineEnd::kAfterAndStop : TLineEnd::kStop;
      default:
        return TLineEnd::kNone;
    }
  }
  bool OpenRecordCounts() const { return lines_.RecordHasAtoms(); }

 private:
  TPDBLines lines_;
};
std::unique_ptr<TFormatRecordScanner> MakePDBRecordScanner(size_t maxLine);

// The atoms of the first record (model) of PDB text, those TPDBRecordAtoms keeps: position from
// columns 31-54, element from columns 77-78, or, where those are blank, from the atom name
// (columns 13-16) as the format places it: a one-letter element in column 14, a two-letter one in
// 13-14. Lines end at LF, CR LF or CR. False with a reason when no atom was read.
[[nodiscard]] bool ReadPDBAtoms(std::string_view text, TAtomArray& atoms, std::string& error);
// The same on a file, read only up to the end of the first record. `stop` (optional) is asked
// between pieces of the file: once it says so, the read ends with false and a reason.
[[nodiscard]] bool ReadPDBFile(const std::string& fileName, TAtomArray& atoms, std::string& error,
                               const TStopToken& stop = {});

// The survey machine of PDB text: its records are the record rule's, and a record's atoms those
// the reader reads. Counts records when `target` is negative, surveys record `target` otherwise.
TSurveyMachinePtr MakePDBSurvey(int64_t target, size_t maxLine);

}  // namespace pelorin
