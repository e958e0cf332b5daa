// Geometry of the 3D view: the fit of an atom model and the depth cue.
#include "render/uView3D.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

TViewExtent ProjectedAtomExtent(const std::vector<TAtomSphere>& atoms, const TVec3& center, float rotX, float rotY) {
  const TViewTurn turn(rotX, rotY);
  float left = HUGE_VALF, right = -HUGE_VALF, bottom = HUGE_VALF, top = -HUGE_VALF;
  for (const TAtomSphere& atom : atoms) {
    const TVec3 seen = turn.Apply(VecSub({atom.X, atom.Y, atom.Z}, center));
    const float r = SphereRadius(atom);
    left = std::min(left, seen.X - r), right = std::max(right, seen.X + r);
    bottom = std::min(bottom, seen.Y - r), top = std::max(top, seen.Y + r);
  }
  if (atoms.empty()) return {};
  return {left, right, bottom, top};
}

TAtomFit FitAtomExtent(const TViewExtent& extent, const TVec3& center, float rotX, float rotY, int width, int height) {
  const double w = std::max(width, 1), h = std::max(height, 1);
  // Halved before subtracting, as the bounds are, so that no extent overflows.
  const double halfWidth = extent.Right / 2.0 - extent.Left / 2.0, halfHeight = extent.Top / 2.0 - extent.Bottom / 2.0;
  double half = std::max(halfHeight, halfWidth * h / w) / kAtomFillShare;
  if (!(half > 1e-6)) half = 1;  // a model without extent is shown as one of unit size
  const TVec3 middle{extent.Left / 2 + extent.Right / 2, extent.Bottom / 2 + extent.Top / 2, 0};
  const TVec3 offset = TViewTurn(rotX, rotY).Undo(middle);
  return {{center.X + offset.X, center.Y + offset.Y, center.Z + offset.Z}, static_cast<float>(half)};
}

TDepthSpan TurnedDepthSpan(const TVec3& center, const TVec3& halfExtent, const TVec3& pivot, float rotX, float rotY) {
  const TViewTurn turn(rotX, rotY);
  TDepthSpan span{-HUGE_VALF, HUGE_VALF};
  for (int corner = 0; corner < 8; ++corner) {
    const TVec3 at{center.X - pivot.X + (corner & 1 ? halfExtent.X : -halfExtent.X),
                   center.Y - pivot.Y + (corner & 2 ? halfExtent.Y : -halfExtent.Y),
                   center.Z - pivot.Z + (corner & 4 ? halfExtent.Z : -halfExtent.Z)};
    const float z = turn.Apply(at).Z;
    span.Nearest = std::max(span.Nearest, z);
    span.Farthest = std::min(span.Farthest, z);
  }
  return span;
}

TDepthCueFade DepthCueFade(float nearest, float farthest) {
  const float depth = farthest - nearest;
  if (!(depth > 1e-6f)) return {};
  // share(d) = 1 - (1 - kFarthest) (d - nearest) / depth
  const float perDistance = -(1 - kFarthestDepthCueShare) / depth;
  return {1 - perDistance * nearest, perDistance};
}

TShadowProjection::TShadowProjection(const TMeshModel& model) {
  const TVec3 c = model.ModelCenter;
  const float r = model.ModelRadius;
  ground_ = c.Y - 1.05f * r;
  const float lightHeight = c.Y + 2.5f * r;
  height_ = lightHeight - ground_;
  if (!(height_ > 0.001f)) height_ = 0.001f;
  towardsX_ = c.X + 1.2f * r;
}

void TShadowProjection::Apply(const float* vertices, size_t count, float* out) const {
  for (size_t i = 0; i < 3 * count; i += 3) {
    float x = vertices[i], y = vertices[i + 1], z = vertices[i + 2];
    if (y > ground_) x += (towardsX_ - x) * ((y - ground_) / height_);
    out[i] = x;
    out[i + 1] = ground_;
    out[i + 2] = z;
  }
}

}  // namespace pelorin
