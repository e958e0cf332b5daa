// The atom model: one sphere per atom at its van der Waals radius, in its element's colour,
// drawn as exact spheres, or prepared as a mesh that the 3D renderer draws like the converter's
// surface model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/uAtomTable.h"
#include "model3d/uMeshModel.h"

namespace pelorin {

// How a window draws atom models: as exact spheres, each computed per pixel by shaders (OpenGL
// 2.0 and later), or as meshes of subdivided icosahedra (OpenGL 1.1 drivers).
enum class TAtomDrawing : uint8_t { Impostors, Meshes };

// Mesh spheres are subdivided icosahedra: level 0 has 20 facets, each level four times more.
constexpr int kSphereLevels = 4;
constexpr int32_t kSphereFacets[kSphereLevels] = {20, 80, 320, 1280};

// The facets of a mesh model stay within this budget (about 108 MB of mesh arrays: 108 bytes a
// facet) where 20 a sphere allow it; more atoms than 50,000 get 20 facets each all the same.
constexpr int64_t kAtomModelFacetBudget = 1000000;

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

// Atom models of more atoms than this fade towards the background with depth, as the peers'
// depth cueing does, while the settings leave it on: in a large model it tells near from far.
constexpr size_t kDepthCueMinAtoms = 1000;
bool WantsDepthCue(bool setting, size_t atoms);

// The sphere of an atom: its element's colour and van der Waals radius; coordinates that are
// not finite are taken as 0.
TAtomSphere MakeAtomSphere(const TAtom& atom);

// Replaces `model` by the atom model of `atoms`: Atoms, the bounds (centre and half extents of
// the box around every sphere) and Kind Atoms; for TAtomDrawing::Meshes also the spheres' mesh
// (BuildAtomSphereMesh). False with a reason in `error`, and an empty model, when there are no
// atoms or not enough memory.
[[nodiscard]] bool BuildAtomModel(const TAtomArray& atoms, TAtomDrawing drawing, TMeshModel& model, std::string& error);

// The mesh of an atom model's spheres, made from its Atoms: per-vertex positions, normals (the
// sphere's own, for smooth shading) and colours, facet and vertex counts, and SphereLevel, the
// level every sphere is made at. False with a reason in `error`, the mesh left empty and the
// atoms kept, when the mesh cannot be held (memory, or more facets than a mesh counts).
[[nodiscard]] bool BuildAtomSphereMesh(TMeshModel& model, std::string& error);

}  // namespace pelorin
