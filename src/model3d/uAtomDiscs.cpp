// The atom picture of a thumbnail: depth-sorted, depth-shaded discs.
#include "model3d/uAtomDiscs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "formats/uElements.h"

namespace pelorin {
namespace {

struct TDisc {
  float X, Y, Depth, Radius;  // Depth grows towards the viewer
  TMeshColor Color;
};

float FiniteOrZero(float v) {
  return std::isfinite(v) ? v : 0.0f;
}

std::vector<TDisc> ProjectAtoms(const TAtomArray& atoms, float rotX, float rotY) {
  const TViewTurn turn(rotX, rotY);
  std::vector<TDisc> discs;
  discs.reserve(atoms.size());
  for (const TAtom& atom : atoms) {
    const TVec3 seen = turn.Apply({FiniteOrZero(atom.X), FiniteOrZero(atom.Y), FiniteOrZero(atom.Z)});
    const char* end = std::find(atom.Element, atom.Element + sizeof atom.Element, '\0');
    const TElementStyle style = ElementStyle(std::string_view(atom.Element, static_cast<size_t>(end - atom.Element)));
    discs.push_back({seen.X, -seen.Y, seen.Z, style.Radius, style.Color});
  }
  return discs;
}

TRGBAColor Shaded(const TMeshColor& c, float share) {
  return {c.R * share, c.G * share, c.B * share, 1};
}

}  // namespace

size_t KeepEvenSubsample(TAtomArray& atoms, size_t maxAtoms) {
  const size_t stride = maxAtoms == 0 ? 1 : std::max<size_t>(1, (atoms.size() + maxAtoms - 1) / maxAtoms);
  if (stride == 1) return 1;
  // One atom of every run, at a place that changes from run to run: the same place in each would
  // line up with a lattice written in file order (a box 100 atoms wide, one atom in 50, would
  // show as two sheets). Each atom kept lies at or after the place it is written to.
  size_t kept = 0;
  for (size_t first = 0; first < atoms.size(); first += stride, ++kept) {
    const uint64_t scattered = ((kept + 1) * 0x9E3779B97F4A7C15ull) >> 33;  // Fibonacci hashing
    atoms[kept] = atoms[first + scattered % std::min(stride, atoms.size() - first)];
  }
  atoms.resize(kept);
  atoms.shrink_to_fit();
  return stride;
}

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
