// The atom model: one sphere per atom at its van der Waals radius, in its element's colour.
#include "model3d/uAtomModel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <new>
#include <vector>

#include "formats/uElements.h"
#include "formats/uSTLParser.h"

namespace pelorin {
namespace {

struct TPoint {
  double X, Y, Z;
};

TPoint OnUnitSphere(const TPoint& p) {
  double length = std::sqrt(p.X * p.X + p.Y * p.Y + p.Z * p.Z);
  return {p.X / length, p.Y / length, p.Z / length};
}

TPoint Midpoint(const TPoint& a, const TPoint& b) {
  return OnUnitSphere({a.X + b.X, a.Y + b.Y, a.Z + b.Z});
}

// The icosahedron's twelve corners and twenty faces, counter-clockwise seen from outside.
std::vector<TPoint> Icosahedron() {
  const double t = (1 + std::sqrt(5.0)) / 2;
  const TPoint v[12] = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                        {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
  const int faces[20][3] = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
                            {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
                            {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
  std::vector<TPoint> corners;
  for (const auto& face : faces)
    for (int corner : face) corners.push_back(OnUnitSphere(v[corner]));
  return corners;
}

// Each facet into four, the new corners pushed out onto the sphere; the winding stays.
std::vector<TPoint> Subdivide(const std::vector<TPoint>& corners) {
  std::vector<TPoint> out;
  out.reserve(corners.size() * 4);
  for (size_t i = 0; i + 2 < corners.size(); i += 3) {
    const TPoint &a = corners[i], &b = corners[i + 1], &c = corners[i + 2];
    TPoint ab = Midpoint(a, b), bc = Midpoint(b, c), ca = Midpoint(c, a);
    for (const TPoint& p : {a, ab, ca, ab, b, bc, ca, bc, c, ab, bc, ca}) out.push_back(p);
  }
  return out;
}

std::array<TFloatArray, kSphereLevels> BuildUnitSpheres() {
  std::array<TFloatArray, kSphereLevels> spheres;
  std::vector<TPoint> corners = Icosahedron();
  for (int level = 0; level < kSphereLevels; ++level) {
    if (level > 0) corners = Subdivide(corners);
    for (const TPoint& p : corners) {
      spheres[level].push_back(static_cast<float>(p.X));
      spheres[level].push_back(static_cast<float>(p.Y));
      spheres[level].push_back(static_cast<float>(p.Z));
    }
  }
  return spheres;
}

// Corners are shared where their coordinates are equal: the subdivision computes a
// corner the same way for every facet that has it.
TSharedSphereCorners ShareCorners(const TFloatArray& corners) {
  TSharedSphereCorners shared;
  std::map<std::array<float, 3>, uint32_t> distinct;
  for (size_t i = 0; i + 2 < corners.size(); i += 3) {
    const std::array<float, 3> corner = {corners[i], corners[i + 1], corners[i + 2]};
    auto [place, added] = distinct.emplace(corner, static_cast<uint32_t>(shared.FirstOccurrence.size()));
    if (added) shared.FirstOccurrence.push_back(static_cast<uint32_t>(i / 3));
    shared.DistinctIndex.push_back(place->second);
  }
  return shared;
}

float FiniteOrZero(float v) {
  return std::isfinite(v) ? v : 0.0f;
}

uint8_t ColourByte(float channel) {
  return static_cast<uint8_t>(std::lround(std::clamp(channel, 0.0f, 1.0f) * 255.0f));
}

// The surface model's reset (its shadow included, which an atom model must not inherit),
// then the atom model's own start values.
void ResetAtomModel(TMeshModel& model) {
  ResetMeshModel(model);
  model.ModelCenter = {0, 0, 0};
  model.ModelRadius = 1;
  model.Kind = TModelKind::Atoms;
}

// Sizes a mesh array, keeping its storage unless that is more than twice what is needed.
void SizeMeshArray(TFloatArray& array, size_t size) {
  if (array.capacity() / 2 > size) TFloatArray().swap(array);
  array.resize(size);
}

void FreeMeshArrays(TMeshModel& model) {
  TFloatArray().swap(model.MeshVertices), TFloatArray().swap(model.MeshNormals), TFloatArray().swap(model.MeshColors);
  model.FacetCount = model.MeshVertexCount = 0;
  model.SphereLevel = -1;
}

// Box around every sphere, kept as the model's centre and half extents, the way the surface
// model's bounds are kept.
void StoreSphereBounds(const std::vector<TAtomSphere>& atoms, TMeshModel& model) {
  TVec3 min{HUGE_VALF, HUGE_VALF, HUGE_VALF}, max{-HUGE_VALF, -HUGE_VALF, -HUGE_VALF};
  uint8_t largest = 0;
  for (const TAtomSphere& atom : atoms) {
    largest = std::max(largest, atom.Radius);
    const float r = SphereRadius(atom);
    min.X = std::min(min.X, atom.X - r), max.X = std::max(max.X, atom.X + r);
    min.Y = std::min(min.Y, atom.Y - r), max.Y = std::max(max.Y, atom.Y + r);
    min.Z = std::min(min.Z, atom.Z - r), max.Z = std::max(max.Z, atom.Z + r);
  }
  StoreBox(min, max, model);
  model.LargestAtomRadius = largest * kSphereRadiusStep;
}

// Writes one sphere per atom into the sized mesh arrays.
void WriteSpheres(const std::vector<TAtomSphere>& atoms, const TFloatArray& unit, TMeshModel& model) {
  float* vertex = model.MeshVertices.data();
  float* normal = model.MeshNormals.data();
  float* color = model.MeshColors.data();
  const size_t floats = unit.size();
  for (const TAtomSphere& atom : atoms) {
    const float x = atom.X, y = atom.Y, z = atom.Z, r = SphereRadius(atom);
    const float red = atom.R / 255.0f, green = atom.G / 255.0f, blue = atom.B / 255.0f;
    const float* u = unit.data();
    for (size_t i = 0; i < floats; i += 3) {
      vertex[i] = x + r * u[i], vertex[i + 1] = y + r * u[i + 1], vertex[i + 2] = z + r * u[i + 2];
      color[i] = red, color[i + 1] = green, color[i + 2] = blue;
    }
    std::copy(u, u + floats, normal);
    vertex += floats, normal += floats, color += floats;
  }
}

}  // namespace

int SphereLevelForAtomCount(int64_t atomCount) {
  int level = 0;
  while (level + 1 < kSphereLevels && atomCount * kSphereFacets[level + 1] <= kAtomModelFacetBudget) ++level;
  return level;
}

const TFloatArray& UnitSphereCorners(int level) {
  static const std::array<TFloatArray, kSphereLevels> spheres = BuildUnitSpheres();
  return spheres[std::clamp(level, 0, kSphereLevels - 1)];
}

const TSharedSphereCorners& SharedSphereCorners(int level) {
  static const std::array<TSharedSphereCorners, kSphereLevels> shared = [] {
    std::array<TSharedSphereCorners, kSphereLevels> all;
    for (int l = 0; l < kSphereLevels; ++l) all[l] = ShareCorners(UnitSphereCorners(l));
    return all;
  }();
  return shared[std::clamp(level, 0, kSphereLevels - 1)];
}

bool WantsDepthCue(bool setting, size_t atoms) {
  return setting && atoms > kDepthCueMinAtoms;
}

TAtomSphere MakeAtomSphere(const TAtom& atom) {
  // Each element's colour and radius as the sphere holds them, made once: a million atoms
  // look theirs up.
  static const std::array<TAtomSphere, kLastElementNumber + 1> styles = [] {
    std::array<TAtomSphere, kLastElementNumber + 1> all{};
    for (int number = 0; number <= kLastElementNumber; ++number) {
      const TElementStyle style = ElementStyle(number);
      const long steps = std::lround(style.Radius / kSphereRadiusStep);
      all[number] = {0,
                     0,
                     0,
                     ColourByte(style.Color.R),
                     ColourByte(style.Color.G),
                     ColourByte(style.Color.B),
                     static_cast<uint8_t>(std::clamp(steps, 1L, 255L))};
    }
    return all;
  }();
  const char* end = std::find(atom.Element, atom.Element + sizeof atom.Element, '\0');
  TAtomSphere sphere = styles[ElementNumber(std::string_view(atom.Element, static_cast<size_t>(end - atom.Element)))];
  sphere.X = FiniteOrZero(atom.X), sphere.Y = FiniteOrZero(atom.Y), sphere.Z = FiniteOrZero(atom.Z);
  return sphere;
}

bool BuildAtomModel(const TAtomArray& atoms, TAtomDrawing drawing, TMeshModel& model, std::string& error) {
  ResetAtomModel(model);
  error.clear();
  if (atoms.empty()) {
    error = "No atoms to draw";
    return false;
  }
  try {
    model.Atoms.resize(atoms.size());
    std::transform(atoms.begin(), atoms.end(), model.Atoms.begin(), MakeAtomSphere);
  } catch (const std::bad_alloc&) {
    ResetAtomModel(model);
    std::vector<TAtomSphere>().swap(model.Atoms);
    error = "Not enough memory for the spheres of " + std::to_string(atoms.size()) + " atoms";
    return false;
  }
  StoreSphereBounds(model.Atoms, model);
  if (drawing == TAtomDrawing::Meshes && !BuildAtomSphereMesh(model, error)) {
    ResetAtomModel(model);
    std::vector<TAtomSphere>().swap(model.Atoms);
    return false;
  }
  return true;
}

bool BuildAtomSphereMesh(TMeshModel& model, std::string& error) {
  const size_t atoms = model.Atoms.size();
  const int level = SphereLevelForAtomCount(static_cast<int64_t>(atoms));
  // The counts are 32-bit: a mesh of more facets than that could not be drawn, nor held.
  if (atoms == 0 || atoms > size_t(kMaxSTLFacets / kSphereFacets[level])) {
    FreeMeshArrays(model);
    error = "Not enough memory for the spheres of " + std::to_string(atoms) + " atoms";
    return false;
  }
  const int32_t facets = static_cast<int32_t>(atoms) * kSphereFacets[level];
  try {
    const TFloatArray& unit = UnitSphereCorners(level);
    const size_t floats = size_t(facets) * 9;
    SizeMeshArray(model.MeshVertices, floats);
    SizeMeshArray(model.MeshNormals, floats);
    SizeMeshArray(model.MeshColors, floats);
    WriteSpheres(model.Atoms, unit, model);
  } catch (const std::bad_alloc&) {
    FreeMeshArrays(model);
    error = "Not enough memory for the spheres of " + std::to_string(atoms) + " atoms";
    return false;
  }
  model.ShadowVertices.clear();
  model.BuffersUploaded = false;
  model.FacetCount = facets;
  model.MeshVertexCount = 3 * facets;
  model.SphereLevel = level;
  return true;
}

}  // namespace pelorin
