// Atom lists (element and position per atom) read from XYZ text and from PDB atom records.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

struct TAtom {
  char Element[4];  // proper-case symbol, NUL-terminated ("C", "Cl"); "Xx" when the file gave none
  float X, Y, Z;    // Angstrom
};
using TAtomArray = std::vector<TAtom>;

// The atoms of record `recordIndex` (counted from 0) of XYZ text. A record is a count line,
// a comment line (its title) and one line per atom: element (symbol in any case, or atomic
// number), x, y, z; further columns are ignored. Lines end at LF, CR LF or CR; blank lines
// between records are passed over. Unreadable or non-finite coordinates are stored as 0.
// Records before the requested one are skipped without reading their atoms.
//
// False with a reason in `error` when the record is missing, has no atoms, or its count line
// is not a count. A record that holds fewer atom lines than its count claims (the text ends
// early, or a line there is not an atom) is also false, but `atoms` then keeps the atoms read
// before the fault; every other failure leaves `atoms` empty. Storage grows with the atoms
// actually read, never with the claimed count. `title`, when given, receives the comment line.
// Error texts count records from 1.
bool ReadXYZBlock(std::string_view text, int recordIndex, TAtomArray& atoms, std::string& error,
                  std::string* title = nullptr);
// The same on a file, read only as far as the record needs (a trajectory is not read whole for
// one frame); a file that cannot be opened gives "Cannot open file [name]: reason".
bool ReadXYZFile(const std::string& fileName, int recordIndex, TAtomArray& atoms, std::string& error,
                 std::string* title = nullptr);

// The ATOM and HETATM records of the first model of PDB text: position from columns 31-54,
// element from columns 77-78, or, where those are blank, from the atom name (columns 13-16)
// as the format places it: a one-letter element in column 14, a two-letter one in 13-14.
// Reading stops at the end of the first model (ENDMDL, or a second MODEL) or at END. Of
// atoms with alternate locations only the first location met is kept. Records too short to
// hold the coordinates are passed over. False with a reason when no atom was read.
bool ReadPDBAtoms(std::string_view text, TAtomArray& atoms, std::string& error);
// The same on a file, read only up to the end of the first model.
bool ReadPDBFile(const std::string& fileName, TAtomArray& atoms, std::string& error);

// True for a file whose format is a table of element and position per atom (PDB, XYZ), by
// its extension in any letter case.
bool IsAtomTableFile(const std::string& fileName);

// The atoms of the first record (the first model of a PDB) straight from a PDB or XYZ file;
// false with a reason for any other file or when it holds no readable atoms.
bool ReadAtomTableFile(const std::string& fileName, TAtomArray& atoms, std::string& error);

// Stores the element named by a file's word in `out`: the leading letters (at most three) in
// proper case, or the symbol of an atomic number; "Xx" when the word has neither.
void StoreElementSymbol(std::string_view word, char (&out)[4]);

}  // namespace pelorin
