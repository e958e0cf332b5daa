// Large molecule files made at run time: atoms on a cubic lattice 3.5 Angstrom apart (no two
// spheres touch), elements cycling through C, C, N, O, H, H, S, C. A protein-sized PDB, and a
// simulation box of millions of atoms as XYZ. Tests, benchmarks and the demo open them in the
// viewer.
#pragma once

#include <cmath>
#include <cstdio>
#include <memory>
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

// An XYZ file of `atomCount` atoms on a cube of the lattice (its side the cube root of the count,
// rounded up), written in pieces; false when it cannot be written.
inline bool WriteLatticeXYZ(const std::string& path, int atomCount) {
  static const char* const kElements[] = {"C", "C", "N", "O", "H", "H", "S", "C"};
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) return false;
  const int side = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(atomCount)) - 1e-9));
  std::string piece = std::to_string(atomCount) + "\na box of " + std::to_string(atomCount) + " atoms\n";
  char line[64];
  for (int i = 0; i < atomCount; ++i) {
    const int n =
        std::snprintf(line, sizeof line, "%s %.3f %.3f %.3f\n", kElements[i % 8], kLatticeSpacing * (i % side),
                      kLatticeSpacing * (i / side % side), kLatticeSpacing * (i / side / side));
    piece.append(line, static_cast<size_t>(n));
    if (piece.size() < (1u << 20)) continue;
    if (std::fwrite(piece.data(), 1, piece.size(), file.get()) != piece.size()) return false;
    piece.clear();
  }
  return std::fwrite(piece.data(), 1, piece.size(), file.get()) == piece.size() && std::fflush(file.get()) == 0;
}

}  // namespace lattice
}  // namespace pelorin
