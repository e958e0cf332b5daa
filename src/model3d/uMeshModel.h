// The 3D model the mesh renderer draws: mesh arrays of positions, normals and colours, prepared
// from STL facets (the converter's surface) or from atom spheres.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "formats/uSTLParser.h"
#include "support/uGeometry.h"

namespace pelorin {

// Allocator whose elements start uninitialised: the mesh arrays are written in full right
// after they are sized, so zero-filling tens of megabytes first would be wasted work.
template <class T>
struct TDefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = TDefaultInitAllocator<U>;
  };
  TDefaultInitAllocator() = default;
  template <class U>
  TDefaultInitAllocator(const TDefaultInitAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using TFloatArray = std::vector<float, TDefaultInitAllocator<float>>;

// What a model's mesh shows: the converter's surface, or one sphere per atom (which the
// renderer draws without the wire overlay).
enum class TModelKind : uint8_t { Surface, Atoms };

// One atom as an atom model keeps it and the sphere renderer's buffer holds it: its centre, its
// element's colour and its van der Waals radius in steps of kSphereRadiusStep (16 bytes).
struct TAtomSphere {
  float X, Y, Z;
  uint8_t R, G, B, Radius;
};
static_assert(sizeof(TAtomSphere) == 16, "an atom sphere is 16 bytes");
// 1/64 Angstrom: radii up to 3.98 Angstrom, each within 0.008 of the element table's.
constexpr float kSphereRadiusStep = 1.0f / 64;
inline float SphereRadius(const TAtomSphere& atom) {
  return atom.Radius * kSphereRadiusStep;
}

// Where a model lies in the view plane when turned as the view first shows it: the box around
// its outline, relative to ModelCenter, x right and y up.
struct TViewExtent {
  float Left = 0, Right = 0, Bottom = 0, Top = 0;
};

// The model the 3D renderer draws. A load thread builds it as its own; the window that takes
// the load over owns it from then on, until it loads again or closes. The facets read from the
// file are not kept: the mesh arrays hold all that drawing needs.
struct TMeshModel {
  int32_t FacetCount = 0;
  // The mesh arrays keep their storage from one load to the next, so that reloading a model
  // of similar size does not fault in fresh memory again. Once the renderer holds them in
  // buffer objects it releases them (ReleaseMeshArrays); the counts and bounds stay.
  TFloatArray MeshVertices;  // x, y, z per vertex, three vertices per facet
  TFloatArray MeshNormals;   // the facet normal, once per vertex
  TFloatArray MeshColors;    // r, g, b per vertex
  int32_t MeshVertexCount = 0;
  TVec3 ModelCenter;
  float ModelRadius = 1;      // the largest of HalfExtent's three
  TVec3 HalfExtent{1, 1, 1};  // half the bounding box's size along x, y and z
  bool BoundsValid = false;
  bool BuffersUploaded = false;
  // The renderer's drop shadow of the mesh (three floats per vertex), made when the model is
  // first drawn with it; emptied whenever the mesh arrays or the bounds are rebuilt.
  std::vector<float> ShadowVertices;
  TModelKind Kind = TModelKind::Surface;
  // An atom model's spheres, all made at this level in atom order (uAtomModel.h), so that
  // the renderer may share their corners; -1 for any other mesh.
  int32_t SphereLevel = -1;
  // An atom model's atoms in file order (none for a surface). The renderer draws them as exact
  // spheres where the driver runs shaders, and the mesh arrays hold their spheres otherwise.
  std::vector<TAtomSphere> Atoms;
  float LargestAtomRadius = 0;  // of Atoms
  // Whether the model fades towards the background with depth (large atom models).
  bool DepthCue = false;
  // The renderer's fit of an atom model: its view extent, made when it is first drawn.
  std::optional<TViewExtent> DefaultExtent;
};

// Colour of a facet from its (unit) normal: lit tops, blue x-sides, violet fronts, slate rest.
TMeshColor FacetColor(const TVec3& normal);

// Stores the box min..max as the model's bounds (centre, half extents, radius), valid.
void StoreBox(const TVec3& min, const TVec3& max, TMeshModel& model);
// The bounds of the mesh arrays' vertices.
void ComputeModelBounds(TMeshModel& model);
// Fills the mesh arrays and the counts from `facets`; the bounds are then to be computed.
void PrepareMeshBuffers(TMeshModel& model, const TFacetArray& facets);
// The model's centre and radius, computed first when they are not valid.
void GetModelBounds(TMeshModel& model, TVec3& center, float& radius);

// Empties `model` (mesh arrays, shadow, atoms, bounds) and marks it a surface model; the mesh
// arrays' storage is kept for the next load.
void ResetMeshModel(TMeshModel& model);

// True while the mesh arrays hold every vertex of the model (they are not released).
bool MeshArraysHeld(const TMeshModel& model);
// Frees the mesh arrays and the shadow, keeping counts, bounds and kind: for a model whose
// mesh the renderer holds in buffer objects, which are then all it draws from.
void ReleaseMeshArrays(TMeshModel& model);

// One vertex as the renderer's buffer object holds it: the position as read, the facet's
// normal in 16-bit fractions and its colour in bytes (the picture's own precision): 24 bytes
// against the mesh arrays' 36.
struct TPackedVertex {
  float X, Y, Z;
  int16_t NX, NY, NZ, Unused;
  uint8_t R, G, B, A;
};
static_assert(sizeof(TPackedVertex) == 24, "a packed vertex is 24 bytes");
// Packs vertices first..first+count-1 of the mesh arrays (which must hold them) into `out`.
void PackMeshVertices(const TMeshModel& model, size_t first, size_t count, TPackedVertex* out);

// Reads the STL file into `model` and prepares it for drawing. False leaves an empty model;
// `openError` then tells whether the file could not be opened at all (non-empty) or did not
// hold a model (empty).
[[nodiscard]] bool LoadMeshModel(TMeshModel& model, const std::string& fileName, std::string& openError);

}  // namespace pelorin
