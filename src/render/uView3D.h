// Geometry of the 3D view, free of OpenGL: how an atom model is fitted into a window, the depth
// range a turned model spans, and the depth cue's fade over it. The 3D renderer draws with it.
#pragma once

#include <vector>

#include "model3d/uMeshModel.h"

namespace pelorin {

// An atom model's view extent fills this share of the drawing area's height or width, whichever
// binds, centred: the same margin, in proportion, at every size.
constexpr float kAtomFillShare = 0.9f;

// The box around the outlines of `atoms` turned by rotX, rotY about `center` (the 3D view's
// turn), relative to `center`: x right, y up. An orthographic view shows a sphere as a disc of
// its own radius, so the box is exactly the picture's.
TViewExtent ProjectedAtomExtent(const std::vector<TAtomSphere>& atoms, const TVec3& center, float rotX, float rotY);

// How an atom model sits in a width x height area at zoom 1: the point it turns about, chosen
// so that the middle of its extent (seen at rotX, rotY) is the middle of the area, and the half
// height of the orthographic view, which makes the extent fill kAtomFillShare of the area.
struct TAtomFit {
  TVec3 Pivot;
  float HalfHeight = 1;
};
TAtomFit FitAtomExtent(const TViewExtent& extent, const TVec3& center, float rotX, float rotY, int width, int height);

// How far a box of `halfExtent` around `center` reaches towards and away from the viewer when
// turned by rotX, rotY about `pivot`: the view's z (towards the viewer) of its nearest and
// farthest corner.
struct TDepthSpan {
  float Nearest = 0, Farthest = 0;
};
TDepthSpan TurnedDepthSpan(const TVec3& center, const TVec3& halfExtent, const TVec3& pivot, float rotX, float rotY);

// The depth cue: the nearest point of a model keeps all of its colour, the farthest this share,
// the rest going to the background, linearly with the distance from the viewer.
constexpr float kFarthestDepthCueShare = 0.35f;
// The linear fade as the share of its own colour a point keeps at eye distance d:
// clamp(Constant + PerDistance * d, 0, 1). With no cue every point keeps all of it.
struct TDepthCueFade {
  float Constant = 1, PerDistance = 0;
  // The distances at which the share is 1 and 0 (OpenGL's linear fog start and end).
  float Start() const { return (Constant - 1) / -PerDistance; }
  float End() const { return Constant / -PerDistance; }
};
// The fade for a model whose nearest point lies `nearest` from the viewer and its farthest
// `farthest`; no fade for a model without depth.
TDepthCueFade DepthCueFade(float nearest, float farthest);

// The drop shadow of a model: every point flattened onto the ground plane below the model and
// shifted away from the light, the more the higher it lies. Depends only on the model's bounds.
class TShadowProjection {
 public:
  explicit TShadowProjection(const TMeshModel& model);
  // `count` points (x, y, z each) projected into `out` (as many floats).
  void Apply(const float* vertices, size_t count, float* out) const;
  float Ground() const { return ground_; }      // the plane's y
  float Height() const { return height_; }      // of the light above the plane
  float TowardsX() const { return towardsX_; }  // where the light leans points to

 private:
  float ground_, height_, towardsX_;
};

}  // namespace pelorin
