// The atom model: one sphere per atom at its van der Waals radius, in its element's colour,
// prepared as a mesh that the 3D renderer draws like the converter's surface model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/uAtomTable.h"
#include "model3d/uMeshModel.h"

namespace pelorin {

// Spheres are subdivided icosahedra: level 0 has 20 facets, each level four times more.
constexpr int kSphereLevels = 4;
constexpr int32_t kSphereFacets[kSphereLevels] = {20, 80, 320, 1280};

// Facets of a whole model stay within this budget (about 108 MB of mesh arrays: 108 bytes a
// facet), except that no sphere gets fewer than 20 facets; that makes the budget an upper
// bound on the atoms too.
constexpr int64_t kAtomModelFacetBudget = 1000000;
constexpr int32_t kMaxModelAtoms = static_cast<int32_t>(kAtomModelFacetBudget / 20);  // 50,000

// The finest level whose facets for all atoms stay within the budget; level 0 when none does.
int SphereLevelForAtomCount(int64_t atomCount);

// Facets and vertices of the unit sphere of a level (0..kSphereLevels-1), three corners a
// facet, counter-clockwise seen from outside; every corner is also its own unit normal.
const TFloatArray& UnitSphereCorners(int level);

// The unit sphere of a level with its corners shared between facets: each distinct corner
// once (in the order it first occurs), and for every corner of UnitSphereCorners which of
// them it is. A renderer that draws by index needs a fifth of the vertices at level 0.
struct TSharedSphereCorners {
  std::vector<uint32_t> FirstOccurrence;  // per distinct corner: its first index in UnitSphereCorners
  std::vector<uint32_t> DistinctIndex;    // per corner of UnitSphereCorners: its distinct corner
};
const TSharedSphereCorners& SharedSphereCorners(int level);

// Replaces `model` by the spheres of `atoms`: per-vertex positions, normals (the sphere's own,
// for smooth shading) and colours, facet and vertex counts, and bounds (centre and largest
// half extent of the box around every sphere), ready to draw, with Kind set to Atoms and
// SphereLevel to the level every sphere is made at.
// Coordinates that are not finite are taken as 0. False with a reason in `error`, and
// an empty model, when there are no atoms, more than kMaxModelAtoms, or not enough memory.
bool BuildAtomModel(const TAtomArray& atoms, TMeshModel& model, std::string& error);

}  // namespace pelorin
