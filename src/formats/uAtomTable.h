// Atom tables: element and position per atom, as the PDB and XYZ readers give them and the atom
// model draws them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/uStopToken.h"

namespace pelorin {

struct TAtom {
  char Element[4];  // proper-case symbol, NUL-terminated ("C", "Cl"); "Xx" when the file gave none
  float X, Y, Z;    // Angstrom
};
using TAtomArray = std::vector<TAtom>;

// Stores the element named by a file's word in `out`: the leading letters (at most three) in
// proper case, or the symbol of an atomic number; "Xx" when the word has neither.
void StoreElementSymbol(std::string_view word, char (&out)[4]);

// The atoms of the first record (the first model of a PDB) straight from a file whose format is
// an atom table (IsAtomTable: PDB, XYZ, by its name); false with a reason for any other file,
// when it holds no readable atoms, or when `stop` (looked at between pieces) ended the read.
[[nodiscard]] bool ReadAtomTableFile(const std::string& fileName, TAtomArray& atoms, std::string& error,
                                     const TStopToken& stop = {});

}  // namespace pelorin
