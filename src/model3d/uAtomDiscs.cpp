// The atom picture of a thumbnail: depth-sorted, depth-shaded discs.
#include "model3d/uAtomDiscs.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "formats/uElements.h"

namespace pelorin {
namespace {

constexpr double kDegrees = 3.14159265358979323846 / 180;

struct TDisc {
  float X, Y, Depth, Radius;  // Depth grows towards the viewer
  TMeshColor Color;
};

float FiniteOrZero(float v) {
  return std::isfinite(v) ? v : 0.0f;
}

// The 3D view turns the model about x after turning it about y (glRotatef(x) then glRotatef(y)
// on the model-view matrix); the viewer looks along -z.
std::vector<TDisc> ProjectAtoms(const TAtomArray& atoms, float rotX, float rotY) {
  const double cx = std::cos(rotX * kDegrees), sx = std::sin(rotX * kDegrees);
  const double cy = std::cos(rotY * kDegrees), sy = std::sin(rotY * kDegrees);
  std::vector<TDisc> discs;
  discs.reserve(atoms.size());
  for (const TAtom& atom : atoms) {
    const double x = FiniteOrZero(atom.X), y = FiniteOrZero(atom.Y), z = FiniteOrZero(atom.Z);
    const double x1 = x * cy + z * sy, z1 = -x * sy + z * cy;
    const double y2 = y * cx - z1 * sx, z2 = y * sx + z1 * cx;
    const char* end = std::find(atom.Element, atom.Element + sizeof atom.Element, '\0');
    const TElementStyle style = ElementStyle(std::string_view(atom.Element, static_cast<size_t>(end - atom.Element)));
    discs.push_back(
        {static_cast<float>(x1), static_cast<float>(-y2), static_cast<float>(z2), style.Radius, style.Color});
  }
  return discs;
}

TRGBAColor Shaded(const TMeshColor& c, float share) {
  return {c.R * share, c.G * share, c.B * share, 1};
}

}  // namespace

void BuildAtomDiscScene(const TAtomArray& atoms, float rotX, float rotY, TSVGScene& scene) {
  scene = TSVGScene{};
  std::vector<TDisc> discs = ProjectAtoms(atoms, rotX, rotY);
  if (discs.empty()) return;
  std::stable_sort(discs.begin(), discs.end(), [](const TDisc& a, const TDisc& b) { return a.Depth < b.Depth; });
  const float nearest = discs.back().Depth, farthest = discs.front().Depth;
  const float range = nearest - farthest;
  scene.Elements.reserve((discs.size() / kSceneElementPage + 1) * kSceneElementPage);
  for (const TDisc& d : discs) {
    const float t = range > 1e-6f ? (d.Depth - farthest) / range : 1.0f;
    const float share = kFarthestDiscShade + (1 - kFarthestDiscShade) * t;
    const TRGBAColor fill = Shaded(d.Color, share);
    TGeoElement& e = NextFreeElement(scene);
    e = MakeElement(gkCircle, Shaded(d.Color, share * kDiscOutlineShade), fill, 0.05f, false);
    e.CX = d.X, e.CY = d.Y, e.RX = e.RY = d.Radius;
    ++scene.Count;
  }
}

}  // namespace pelorin
