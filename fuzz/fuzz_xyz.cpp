// Fuzz target: the XYZ and PDB atom readers on arbitrary text, and the atom model built from
// what they read. The first byte picks the XYZ record.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/uXYZReader.h"
#include "model3d/uAtomModel.h"

namespace {

// Small models only: a large one costs megabytes a run and finds nothing a small one does not.
constexpr size_t kMostAtomsToBuild = 2;

void CheckAtoms(const pelorin::TAtomArray& atoms) {
  for (const pelorin::TAtom& atom : atoms) {
    if (!std::isfinite(atom.X) || !std::isfinite(atom.Y) || !std::isfinite(atom.Z)) __builtin_trap();
    if (atom.Element[3] != '\0') __builtin_trap();
  }
}

void CheckModel(const pelorin::TAtomArray& atoms) {
  if (atoms.empty() || atoms.size() > kMostAtomsToBuild) return;
  pelorin::TMeshModel model;
  std::string error;
  if (!pelorin::BuildAtomModel(atoms, model, error)) __builtin_trap();
  if (model.MeshVertexCount != 3 * model.FacetCount) __builtin_trap();
  if (model.MeshVertices.size() != size_t(model.MeshVertexCount) * 3) __builtin_trap();
  if (!(model.ModelRadius > 0) || !std::isfinite(model.ModelRadius)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  int record = data[0] % 4;
  pelorin::TAtomArray atoms;
  std::string error, title;
  bool ok = pelorin::ReadXYZBlock(text, record, atoms, error, &title);
  if (ok == !error.empty() || (ok && atoms.empty())) __builtin_trap();
  CheckAtoms(atoms);
  if (ok) CheckModel(atoms);
  ok = pelorin::ReadPDBAtoms(text, atoms, error);
  if (ok == atoms.empty()) __builtin_trap();
  CheckAtoms(atoms);
  if (ok) CheckModel(atoms);
  return 0;
}
