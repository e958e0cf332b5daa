// The atom picture of a thumbnail: each atom a disc at its van der Waals radius in its
// element's colour, seen as the 3D view first shows a model, as a 2D scene for the GDI
// rasteriser.
#pragma once

#include <cstddef>

#include "formats/uAtomTable.h"
#include "svg/uScene2D.h"

namespace pelorin {

// Depth shading: the farthest atom keeps this share of its colour, the nearest all of it.
constexpr float kFarthestDiscShade = 0.45f;
// A disc's outline is its fill darkened to this share, so that touching discs stay apart.
constexpr float kDiscOutlineShade = 0.65f;

// A thumbnail of a large model draws an even subsample: GDI draws every disc on the host's own
// thread, and each is a scene element of a few hundred bytes.
constexpr size_t kMaxThumbnailAtoms = 20000;
// Keeps one atom of every run of n in file order, n the smallest that leaves at most `maxAtoms`,
// its place in the run scattered from run to run; returns n (1: all are kept).
size_t KeepEvenSubsample(TAtomArray& atoms, size_t maxAtoms);

// Replaces `scene` by one filled circle per atom, turned by rotX degrees about x and then rotY
// about y (the 3D view's order), its y axis pointing down as the scene's does, sorted back to
// front and shaded by depth. Coordinates that are not finite are taken as 0. No atoms give an
// empty scene.
void BuildAtomDiscScene(const TAtomArray& atoms, float rotX, float rotY, TSVGScene& scene);

}  // namespace pelorin
