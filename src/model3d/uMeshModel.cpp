// The 3D model the mesh renderer draws: mesh arrays prepared from STL facets or atom spheres.
#include "model3d/uMeshModel.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace pelorin {
namespace {

// Sizes a mesh array, keeping its storage unless that is more than twice what is needed.
void SizeMeshArray(TFloatArray& array, size_t size) {
  if (array.capacity() / 2 > size) TFloatArray().swap(array);
  array.resize(size);
}

}  // namespace

void StoreBox(const TVec3& min, const TVec3& max, TMeshModel& model) {
  // Halved before subtracting: coordinates near the float range would otherwise give an
  // infinite extent, and with it an empty (NaN) projection.
  model.ModelCenter = {min.X / 2 + max.X / 2, min.Y / 2 + max.Y / 2, min.Z / 2 + max.Z / 2};
  model.HalfExtent = {max.X / 2 - min.X / 2, max.Y / 2 - min.Y / 2, max.Z / 2 - min.Z / 2};
  const float radius = std::max({model.HalfExtent.X, model.HalfExtent.Y, model.HalfExtent.Z});
  model.ModelRadius = radius < 1e-6f ? 1.0f : radius;
  model.BoundsValid = true;
}

namespace {

// Bounding box of the corners of the facets added, stored as the model's centre and radius.
class TBoundsBuilder {
 public:
  void Add(const TFacet& facet) {
    for (const TVec3& v : facet.Vertices) AddPoint(v.X, v.Y, v.Z);
  }
  void AddPoint(float x, float y, float z) {
    min_.X = std::min(min_.X, x), max_.X = std::max(max_.X, x);
    min_.Y = std::min(min_.Y, y), max_.Y = std::max(max_.Y, y);
    min_.Z = std::min(min_.Z, z), max_.Z = std::max(max_.Z, z);
  }
  // An empty model keeps centre (0, 0, 0), radius 1 and bounds that are not valid.
  void StoreInto(TMeshModel& model, int32_t facetCount) const {
    model.ShadowVertices.clear();
    model.ModelCenter = {0, 0, 0};
    model.ModelRadius = 1;
    model.HalfExtent = {1, 1, 1};
    model.BoundsValid = facetCount > 0;
    if (!model.BoundsValid) return;
    StoreBox(min_, max_, model);
  }

 private:
  TVec3 min_{1e18f, 1e18f, 1e18f};
  TVec3 max_{-1e18f, -1e18f, -1e18f};
};

// Sizes the mesh arrays for `facetCount` facets, then takes the facets in order: three
// corners each, every corner with the facet's normal and colour (flat shading).
class TMeshWriter {
 public:
  TMeshWriter(TMeshModel& model, int32_t facetCount) : count_(facetCount) {
    model.BuffersUploaded = false;
    model.ShadowVertices.clear();
    model.MeshVertexCount = 3 * facetCount;
    size_t floats = size_t(model.MeshVertexCount) * 3;
    SizeMeshArray(model.MeshVertices, floats);
    SizeMeshArray(model.MeshNormals, floats);
    SizeMeshArray(model.MeshColors, floats);
    vertex_ = model.MeshVertices.data();
    normal_ = model.MeshNormals.data();
    color_ = model.MeshColors.data();
  }
  int32_t Count() const { return count_; }
  void Add(const TFacet& facet) {
    const TVec3& n = facet.Normal;
    TMeshColor c = FacetColor(n);
    for (const TVec3& v : facet.Vertices) {
      *vertex_++ = v.X, *vertex_++ = v.Y, *vertex_++ = v.Z;
      *normal_++ = n.X, *normal_++ = n.Y, *normal_++ = n.Z;
      *color_++ = c.R, *color_++ = c.G, *color_++ = c.B;
    }
  }

 private:
  int32_t count_;
  float* vertex_;
  float* normal_;
  float* color_;
};

}  // namespace

TMeshColor FacetColor(const TVec3& n) {
  if (n.Y > 0.5f) {
    double ny = n.Y;
    return {float(0.42 + 0.28 * ny), float(0.72 + 0.18 * ny), float(0.76 + 0.14 * ny)};
  }
  if (std::fabs(n.Z) < std::fabs(n.X)) return {0.35f, 0.55f, 0.82f};
  if (std::fabs(n.Z) > 0.4f) return {0.55f, 0.40f, 0.72f};
  return {0.28f, 0.42f, 0.48f};
}

void ComputeModelBounds(TMeshModel& model) {
  TBoundsBuilder bounds;
  const size_t vertices = MeshArraysHeld(model) ? size_t(model.MeshVertexCount) : 0;
  const float* v = model.MeshVertices.data();
  for (size_t i = 0; i < vertices; ++i, v += 3) bounds.AddPoint(v[0], v[1], v[2]);
  bounds.StoreInto(model, static_cast<int32_t>(vertices / 3));
}

void PrepareMeshBuffers(TMeshModel& model, const TFacetArray& facets) {
  TMeshWriter writer(model, static_cast<int32_t>(std::min<size_t>(facets.size(), size_t(kMaxSTLFacets))));
  for (int32_t i = 0; i < writer.Count(); ++i) writer.Add(facets[i]);
  model.FacetCount = writer.Count();
  model.BoundsValid = false;
}

void GetModelBounds(TMeshModel& model, TVec3& center, float& radius) {
  if (!model.BoundsValid) ComputeModelBounds(model);
  center = model.ModelCenter;
  radius = model.ModelRadius;
}

void ResetMeshModel(TMeshModel& model) {
  model.FacetCount = 0;
  model.MeshVertexCount = 0;
  model.MeshVertices.clear();
  model.MeshNormals.clear();
  model.MeshColors.clear();
  model.BoundsValid = false;
  model.BuffersUploaded = false;
  std::vector<float>().swap(model.ShadowVertices);
  model.Kind = TModelKind::Surface;
  model.SphereLevel = -1;
  model.Atoms.clear();
  model.LargestAtomRadius = 0;
  model.DepthCue = false;
  model.DefaultExtent.reset();
}

bool MeshArraysHeld(const TMeshModel& model) {
  const size_t floats = size_t(std::max(model.MeshVertexCount, 0)) * 3;
  return model.MeshVertices.size() >= floats && model.MeshNormals.size() >= floats && model.MeshColors.size() >= floats;
}

void ReleaseMeshArrays(TMeshModel& model) {
  TFloatArray().swap(model.MeshVertices);
  TFloatArray().swap(model.MeshNormals);
  TFloatArray().swap(model.MeshColors);
  std::vector<float>().swap(model.ShadowVertices);
}

void PackMeshVertices(const TMeshModel& model, size_t first, size_t count, TPackedVertex* out) {
  auto fraction = [](float value) {  // a unit normal's component, -1..1, in 1/32767
    return static_cast<int16_t>(std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f));
  };
  auto byte = [](float value) { return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f)); };
  const float* v = model.MeshVertices.data() + 3 * first;
  const float* n = model.MeshNormals.data() + 3 * first;
  const float* c = model.MeshColors.data() + 3 * first;
  for (size_t i = 0; i < count; ++i, v += 3, n += 3, c += 3) {
    out[i] = {v[0],       v[1],       v[2], fraction(n[0]), fraction(n[1]), fraction(n[2]), 0, byte(c[0]),
              byte(c[1]), byte(c[2]), 255};
  }
}

bool LoadMeshModel(TMeshModel& model, const std::string& fileName, std::string& openError) {
  openError.clear();
  ResetMeshModel(model);
  try {
    TFacetArray facets;
    int32_t count = 0;
    if (!ReadSTLFile(fileName, facets, count, openError)) return false;
    RepairFacetNormals(facets);
    model.FacetCount = count;
    // Bounds and mesh arrays in one pass over the facets, which a large model reads from
    // main memory, not from the cache. The facets go when this returns: the mesh holds them.
    TBoundsBuilder bounds;
    TMeshWriter writer(model, count);
    for (const TFacet& facet : facets) {
      bounds.Add(facet);
      writer.Add(facet);
    }
    bounds.StoreInto(model, count);
    return true;
  } catch (const std::exception&) {
    ResetMeshModel(model);  // out of memory half way: an empty model, never a partial one
    return false;
  }
}

}  // namespace pelorin
