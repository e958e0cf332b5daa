// Atom test data shared by the atom readers' and the atom model's tests: atoms, their
// comparison, and PDB atom records in the format's columns.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "formats/uAtomTable.h"

namespace pelorin_test {

inline pelorin::TAtom MakeAtom(const char* element, float x, float y, float z) {
  pelorin::TAtom atom{};
  std::snprintf(atom.Element, sizeof atom.Element, "%s", element);
  atom.X = x, atom.Y = y, atom.Z = z;
  return atom;
}

inline void ExpectAtom(const pelorin::TAtom& got, const char* element, float x, float y, float z) {
  EXPECT_STREQ(got.Element, element);
  EXPECT_FLOAT_EQ(got.X, x);
  EXPECT_FLOAT_EQ(got.Y, y);
  EXPECT_FLOAT_EQ(got.Z, z);
}

inline bool SameAtoms(const pelorin::TAtomArray& a, const pelorin::TAtomArray& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& p, const auto& q) {
           return std::string(p.Element) == q.Element && p.X == q.X && p.Y == q.Y && p.Z == q.Z;
         });
}

// An atom record in the format's columns: name in 13-16, alternate location in 17,
// coordinates in 31-54, element in 77-78; with its LF.
inline std::string PDBAtom(const char* type, const char* name, float x, const char* element = "  ",
                           char location = ' ') {
  char line[100];
  std::snprintf(line, sizeof line, "%-6s%5d %-4s%cALA A   1    %8.3f%8.3f%8.3f  1.00  0.00          %2s", type, 1, name,
                location, x, 2.0, -3.0, element);
  return std::string(line) + "\n";
}

}  // namespace pelorin_test
