// What the sphere renderer works out on the processor before it draws: which atoms of a large
// model show in at least one pixel (in a dense model most lie behind others, and drawing only the
// rest gives the same picture for a fraction of the driver's work), and how many shadows darken
// each pixel of the ground. Free of OpenGL: it maps the model as the renderer's view does.
#pragma once

#include <cstdint>
#include <vector>

#include "model3d/uMeshModel.h"
#include "render/uView3D.h"

namespace pelorin {

// Models of fewer atoms are drawn whole: finding the hidden ones would cost more than it saves.
constexpr size_t kCullMinAtoms = 10000;

// Each shadow darkens what lies under it to 78 %: under this many, a pixel keeps 1.9 % of the
// background (less than a level of its 33, 36, 41), and more shadows change nothing.
constexpr int kShadowLayersSeen = 16;

// The renderer's view as the culling needs it: a Width x Height picture of the orthographic box
// of HalfWidth x HalfHeight model units around the pivot, the model turned by RotX, RotY.
struct TCullView {
  int Width = 1, Height = 1;
  double HalfWidth = 1, HalfHeight = 1;
  TVec3 Pivot;
  float RotX = 0, RotY = 0;
  bool operator==(const TCullView& o) const {
    return Width == o.Width && Height == o.Height && HalfWidth == o.HalfWidth && HalfHeight == o.HalfHeight &&
           Pivot.X == o.Pivot.X && Pivot.Y == o.Pivot.Y && Pivot.Z == o.Pivot.Z && RotX == o.RotX && RotY == o.RotY;
  }
};

// VisibleSpheres and ShadowLayers keep apart what they work with: one thread may run each at once.
class TAtomCuller {
 public:
  // The atoms whose sphere shows in at least one pixel, as indices in model order. An atom is
  // left out only when, in every pixel its outline may cover, a nearer sphere surely covers it:
  // a depth picture is made of each sphere's pixels (those surely inside its outline, at the
  // farthest its surface may lie there), and each atom is kept when, in any pixel its outline
  // may reach, the nearest its surface may lie is not behind that picture.
  const std::vector<uint32_t>& VisibleSpheres(const std::vector<TAtomSphere>& atoms, const TCullView& view);
  // What VisibleSpheres found last.
  const std::vector<uint32_t>& Spheres() const { return spheres_; }
  // The shadows over each pixel of the picture, up to kShadowLayersSeen, rows from the bottom:
  // each atom's shadow is an ellipse on the ground, where the mesh renderer's projection
  // flattens its sphere, and a pixel is under it when its centre is. Empty (all 0) when the
  // ground is seen edge-on.
  const std::vector<uint8_t>& ShadowLayers(const std::vector<TAtomSphere>& atoms, const TCullView& view,
                                           const TShadowProjection& shadow);

 private:
  std::vector<float> depth_;      // a pixel's nearest sphere, as far as it may lie
  std::vector<float> tileDepth_;  // the farthest of a tile's pixels
  std::vector<uint8_t> layers_;   // a pixel's shadows drawn so far, up to kShadowLayersSeen
  std::vector<int> tileFull_;     // a tile's pixels with kShadowLayersSeen
  std::vector<uint32_t> spheres_;
};

}  // namespace pelorin
