// The memory budget of the 3D models: the decisions and their messages.
#include "model3d/uSurfaceBudget.h"

#include <algorithm>
#include <cstdio>

#include "formats/uSTLParser.h"

namespace pelorin {
namespace {

// One decimal of a large quantity in the unit that keeps it readable.
std::string Rounded(double value, double unit, const char* name) {
  char text[48];
  std::snprintf(text, sizeof text, "%.1f %s", value / unit, name);
  return text;
}

std::string BytesText(uint64_t bytes) {
  const double b = static_cast<double>(bytes);
  if (b >= 1e9) return Rounded(b, 1e9, "GB");
  if (b >= 1e6) return Rounded(b, 1e6, "MB");
  return Rounded(b, 1e3, "KB");
}

std::string FacetsText(int64_t facets) {
  if (facets >= 1000000) return Rounded(static_cast<double>(facets), 1e6, "million facets");
  return std::to_string(facets) + " facets";
}

}  // namespace

uint64_t SurfaceBudgetBytes(uint64_t availablePhysicalBytes) {
  return availablePhysicalBytes / kSurfaceBudgetShareDivisor;
}

int64_t EstimatedSurfaceFacets(int64_t atoms) {
  if (atoms <= 0) return 0;
  // Beyond this the product would overflow; no budget holds such a surface anyway.
  constexpr int64_t kMaxAtoms = INT64_MAX / kSurfaceFacetsPerAtom / kSurfaceBytesPerFacet;
  return (atoms < kMaxAtoms ? atoms : kMaxAtoms) * kSurfaceFacetsPerAtom;
}

int64_t SurfaceAtomsOfFacets(int64_t facets) {
  return facets <= 0 ? 0 : (facets - 1) / kSurfaceFacetsPerAtom + 1;
}

bool SurfaceFacetsOverBudget(int64_t facets, uint64_t budgetBytes) {
  if (facets <= 0) return false;
  // More than the reader takes is too many on any machine.
  if (facets > kMaxSTLFacets) return true;
  return static_cast<uint64_t>(facets) > budgetBytes / kSurfaceBytesPerFacet;
}

std::string SurfaceOverBudgetMessage(int64_t atoms, int64_t facets, uint64_t budgetBytes) {
  const uint64_t needed = static_cast<uint64_t>(facets > 0 ? facets : 0) * kSurfaceBytesPerFacet;
  return "The 3D surface of " + std::to_string(atoms) +
         " atoms is too large for the free memory: " + FacetsText(facets) + " need " + BytesText(needed) +
         ", the budget (half the free memory) is " + BytesText(budgetBytes) + ".";
}

uint64_t AtomModelBytesPerAtom(int64_t atoms, TAtomDrawing drawing) {
  uint64_t bytes = 3 * sizeof(TAtomSphere);  // the atoms read, the model's and the driver's
  if (drawing == TAtomDrawing::Meshes) {
    const uint64_t facets = kSphereFacets[SphereLevelForAtomCount(atoms)];
    bytes = 2 * sizeof(TAtomSphere) + facets * kMeshArrayBytesPerFacet + SphereMeshDriverBytes(facets);
  }
  return bytes + bytes / 4;
}

uint64_t SphereMeshDriverBytes(uint64_t facets) {
  return (facets / 2 + 2) * kSharedCornerDriverBytes + facets * 3 * sizeof(uint32_t);
}

uint64_t AtomModelHeldBytes(const TMeshModel& model) {
  const uint64_t atoms = model.Atoms.size();
  uint64_t bytes = model.Atoms.capacity() * sizeof(TAtomSphere);
  if (model.FacetCount <= 0) return bytes + atoms * sizeof(TAtomSphere);  // the driver's copy of the spheres
  if (MeshArraysHeld(model))
    return bytes + (model.MeshVertices.capacity() + model.MeshNormals.capacity() + model.MeshColors.capacity() +
                    model.ShadowVertices.capacity()) *
                       sizeof(float);
  return bytes + atoms * SphereMeshDriverBytes(static_cast<uint64_t>(model.FacetCount) / std::max<uint64_t>(atoms, 1));
}

bool AtomModelOverBudget(int64_t atoms, TAtomDrawing drawing, uint64_t budgetBytes) {
  if (atoms <= 0) return false;
  return static_cast<uint64_t>(atoms) > budgetBytes / AtomModelBytesPerAtom(atoms, drawing);
}

std::string AtomModelOverBudgetMessage(int64_t atoms, uint64_t neededBytes, uint64_t budgetBytes) {
  const std::string count = std::to_string(atoms);
  return "The 3D model of " + count + " atoms is too large for the free memory: " + count + " atoms need " +
         BytesText(neededBytes) + ", the budget (half the free memory) is " + BytesText(budgetBytes) + ".";
}

}  // namespace pelorin
