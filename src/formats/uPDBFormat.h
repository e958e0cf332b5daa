// PDB (Protein Data Bank) files: the atom reader and the survey, on one rule of which lines hold
// the atoms read, so that the survey counts exactly the atoms the reader keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/uAtomTable.h"
#include "formats/uSurveyMachine.h"

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
  TKind Take(std::string_view line);

 private:
  // Of atoms with alternate locations only the first location letter met is kept.
  bool KeepsLocation(std::string_view line);

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
