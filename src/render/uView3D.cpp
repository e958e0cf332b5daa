// Geometry of the 3D view: the fits of a surface and of an atom model, the depth cue, the shadow.
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

TView3D SurfaceView(TMeshModel& model, const TDrawArea& area, const TViewValues& view) {
  TVec3 c;
  float r;
  GetModelBounds(model, c, r);
  TView3D v;
  v.X = area.OriginX, v.Y = area.OriginY;
  v.Width = std::max(area.Width, 1), v.Height = std::max(area.Height, 1);
  double aspect = area.Height > 0 ? static_cast<double>(area.Width) / area.Height : 1.0;
  if (aspect < 0.01) aspect = 1.0;
  v.HalfHeight = kSurfaceViewRadii * r / view.Zoom3D;
  v.HalfWidth = v.HalfHeight * aspect;
  v.Depth = 4.0 * r;
  v.Pivot = c;
  v.RotX = view.RotX, v.RotY = view.RotY;
  return v;
}

TView3D AtomView(TMeshModel& model, const TDrawArea& area, const TViewValues& view) {
  if (!model.DefaultExtent)
    model.DefaultExtent = ProjectedAtomExtent(model.Atoms, model.ModelCenter, kResetRotX, kResetRotY);
  TView3D v;
  const int covered = std::clamp(area.CoveredBottom, 0, std::max(area.Height - 1, 0));
  v.X = area.OriginX, v.Y = area.OriginY + covered;
  v.Width = std::max(area.Width, 1), v.Height = std::max(area.Height - covered, 1);
  const TAtomFit fit =
      FitAtomExtent(*model.DefaultExtent, model.ModelCenter, kResetRotX, kResetRotY, v.Width, v.Height);
  v.HalfHeight = fit.HalfHeight / view.Zoom3D;
  v.HalfWidth = v.HalfHeight * v.Width / v.Height;
  v.Pivot = fit.Pivot;
  v.Depth = 4.0 * model.ModelRadius + VecLength(VecSub(fit.Pivot, model.ModelCenter));
  v.RotX = view.RotX, v.RotY = view.RotY;
  return v;
}

TView3D ModelView(TMeshModel& model, const TDrawArea& area, const TViewValues& view) {
  const bool atoms = model.Kind == TModelKind::Atoms && !model.Atoms.empty();
  return atoms ? AtomView(model, area, view) : SurfaceView(model, area, view);
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

TDepthCueFade ModelDepthCue(const TMeshModel& model, const TView3D& view) {
  const TDepthSpan span = TurnedDepthSpan(model.ModelCenter, model.HalfExtent, view.Pivot, view.RotX, view.RotY);
  return DepthCueFade(static_cast<float>(view.Depth - span.Nearest), static_cast<float>(view.Depth - span.Farthest));
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
