// PDB (Protein Data Bank) files: the atom reader and the survey, on one rule of which lines hold
// the atoms read, so that the survey counts exactly the atoms the reader keeps.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "formats/uAtomTable.h"
#include "formats/uSurveyMachine.h"
#include "support/uText.h"

namespace pelorin {

// Which lines of a PDB text hold the atoms read: the ATOM and HETATM records of the first model
// (up to ENDMDL, END or a second MODEL), long enough to hold the coordinates (columns 31-54), and
// of atoms with alternate locations only those that KeepsLocation keeps. Lines are taken in
// file order.
class TPDBAtomLines {
 public:
  enum class TKind : uint8_t {
    kOther,   // no atom read
    kAtom,    // an ATOM record read
    kHetatm,  // a HETATM record read
    kEnd,     // the first model has ended (at this line or before)
  };
  // Every line of a large file comes here: written in the header, so that it inlines.
  TKind Take(std::string_view line) {
    if (ended_) return TKind::kEnd;
    // Nearly every line of a large file is an atom record whose name fills columns 1-6.
    if (line.size() >= 6 && std::memcmp(line.data(), "ATOM  ", 6) == 0) return AtomRecord(line, false);
    if (line.size() >= 6 && std::memcmp(line.data(), "HETATM", 6) == 0) return AtomRecord(line, true);
    const std::string_view type = RecordType(line);
    if (type == "ATOM" || type == "HETATM") return AtomRecord(line, type == "HETATM");
    const bool model = type == "MODEL";
    if (type == "ENDMDL" || type == "END" || (model && modelSeen_)) {
      ended_ = true;
      return TKind::kEnd;
    }
    modelSeen_ |= model;
    return TKind::kOther;
  }

 private:
  static constexpr size_t kCoordinatesEnd = 54;  // the last column of z

  TKind AtomRecord(std::string_view line, bool hetatm) {
    // A record too short for the coordinates is passed over, after its location has been seen.
    if (!KeepsLocation(line) || line.size() < kCoordinatesEnd) return TKind::kOther;
    return hetatm ? TKind::kHetatm : TKind::kAtom;
  }

  // The record name: columns 1-6 without the blanks around them.
  static std::string_view RecordType(std::string_view line) {
    size_t end = std::min<size_t>(line.size(), 6), start = 0;
    while (start < end && IsBlankChar(line[start])) ++start;
    while (end > start && IsBlankChar(line[end - 1])) --end;
    return line.substr(start, end - start);
  }

  // Of atoms with alternate locations only the first location letter met is kept.
  bool KeepsLocation(std::string_view line) {
    const char location = line.size() > 16 ? line[16] : ' ';  // column 17
    if (location == ' ') return true;
    if (!keptLocation_) keptLocation_ = location;
    return location == keptLocation_;
  }

  bool modelSeen_ = false;
  bool ended_ = false;
  char keptLocation_ = 0;
};

// The atoms of the first model of PDB text: position from columns 31-54, element from columns
// 77-78, or, where those are blank, from the atom name (columns 13-16) as the format places it:
// a one-letter element in column 14, a two-letter one in 13-14. The lines read are those
// TPDBAtomLines gives; lines end at LF, CR LF or CR. False with a reason when no atom was read.
bool ReadPDBAtoms(std::string_view text, TAtomArray& atoms, std::string& error);
// The same on a file, read only up to the end of the first model.
bool ReadPDBFile(const std::string& fileName, TAtomArray& atoms, std::string& error);

// The survey machine of PDB text: one record, whose atoms are those the reader reads. Counts
// records when `target` is negative, surveys record `target` otherwise.
TSurveyMachinePtr MakePDBSurvey(int64_t target, size_t maxLine);

}  // namespace pelorin
