// A protein-sized PDB made at run time: atoms on a cubic lattice 3.5 Angstrom apart (no two
// spheres touch), elements cycling through C, C, N, O, H, H, S, C. Tests, benchmarks and the
// demo open it in the viewer.
#pragma once

#include <cstdio>
#include <string>

namespace pelorin {
namespace lattice {

inline constexpr int kLatticeSide = 28;
inline constexpr float kLatticeSpacing = 3.5f;

// ATOM records with the element in columns 77-78, then END.
inline std::string LatticePDBText(int atomCount) {
  static const char* const kElements[] = {"C", "C", "N", "O", "H", "H", "S", "C"};
  std::string text;
  text.reserve(static_cast<size_t>(atomCount) * 81 + 4);
  char line[96];
  for (int i = 0; i < atomCount; ++i) {
    const char* element = kElements[i % 8];
    const float x = kLatticeSpacing * (i % kLatticeSide);
    const float y = kLatticeSpacing * (i / kLatticeSide % kLatticeSide);
    const float z = kLatticeSpacing * (i / (kLatticeSide * kLatticeSide));
    std::snprintf(line, sizeof line, "ATOM  %5d %-4s LAT A   1    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n",
                  (i + 1) % 100000, element, x, y, z, element);
    text += line;
  }
  text += "END\n";
  return text;
}

}  // namespace lattice
}  // namespace pelorin
