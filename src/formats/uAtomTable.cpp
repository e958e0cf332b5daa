// Atom tables: element symbols, and the atoms of a PDB or XYZ file by its format.
#include "formats/uAtomTable.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "formats/uElements.h"
#include "formats/uMolFormat.h"
#include "formats/uPDBFormat.h"
#include "formats/uXYZFormat.h"

namespace pelorin {
namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

void StoreElementSymbol(std::string_view word, char (&out)[4]) {
  std::memset(out, 0, sizeof out);
  if (!word.empty() && word.size() <= 3 && std::all_of(word.begin(), word.end(), IsDigit)) {
    int number = 0;
    std::from_chars(word.data(), word.data() + word.size(), number);
    word = ElementSymbol(number);
  }
  size_t letters = 0;
  while (letters < 3 && letters < word.size() && IsLetter(word[letters])) ++letters;
  if (letters == 0) {
    std::memcpy(out, "Xx", 2);
    return;
  }
  out[0] = static_cast<char>(word[0] & ~0x20);  // ASCII letters: bit 5 is the case
  for (size_t i = 1; i < letters; ++i) out[i] = static_cast<char>(word[i] | 0x20);
}

bool ReadAtomTableFile(const std::string& fileName, TAtomArray& atoms, std::string& error, const TStopToken& stop) {
  switch (MolFormatFromFileName(fileName)) {
    case TMolFormat::Pdb:
      return ReadPDBFile(fileName, atoms, error, stop);
    case TMolFormat::Xyz:
      return ReadXYZFile(fileName, 0, atoms, error, nullptr, stop);
    default:
      atoms.clear();
      error = "Not a PDB or XYZ file: " + fileName;
      return false;
  }
}

}  // namespace pelorin
