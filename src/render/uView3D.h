// Geometry of the 3D view, free of OpenGL: where a frame goes and the view it is drawn in, how a
// surface and an atom model are fitted into it, the depth range a turned model spans, the depth
// cue's fade over it and the shadow's projection. Both 3D renderers draw with it.
#pragma once

#include <vector>

#include "model3d/uMeshModel.h"
#include "render/uViewValues.h"

namespace pelorin {

// Where a 3D frame goes: a width x height drawing area whose bottom `CoveredBottom` pixels lie
// under the window's own controls (its navigation bar). An atom model is fitted into the rest;
// the surface keeps the whole area. The area's lower left corner lies at OriginX, OriginY of the
// drawing buffer: left of and below it when a picture larger than the buffer is drawn a tile
// at a time.
struct TDrawArea {
  int Width = 0, Height = 0, CoveredBottom = 0;
  int OriginX = 0, OriginY = 0;
};

// The view of one 3D frame as both renderers set it up: the drawing area (a viewport), the
// orthographic box around the pivot, which sits `Depth` in front of the eye, and the model's turn
// about the pivot.
struct TView3D {
  int X = 0, Y = 0, Width = 1, Height = 1;
  double HalfWidth = 1, HalfHeight = 1;  // of the box, in model units
  double Depth = 1;                      // the box reaches as far before and behind the pivot
  TVec3 Pivot;
  float RotX = 0, RotY = 0;
  double PixelsPerUnit() const { return Height / (2 * HalfHeight); }
};

// The surface's view reaches this many of its radii above and below its centre at zoom 1: the
// bounding sphere's diameter takes 1 / 1.35 = 0.74 of the area's height, its radius 0.37.
constexpr double kSurfaceViewRadii = 1.35;

// The surface as it has always been fitted: the whole area (its covered bottom too), its
// bounding sphere kSurfaceViewRadii in at zoom 1, turned about the centre of its bounds, which
// are computed first when they are not valid.
TView3D SurfaceView(TMeshModel& model, const TDrawArea& area, const TViewValues& view);
// An atom model fitted by its extent, seen as the view first shows it (kResetRotX, kResetRotY;
// worked out on first use and kept in the model, so that turning it does not change its size),
// into the area above its covered bottom, turned about the point that puts the extent in the
// middle (FitAtomExtent). The box reaches past every sphere however the model turns.
TView3D AtomView(TMeshModel& model, const TDrawArea& area, const TViewValues& view);
// The view the renderers draw `model` in: AtomView for an atom model, SurfaceView otherwise.
TView3D ModelView(TMeshModel& model, const TDrawArea& area, const TViewValues& view);

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

// The fade over the model's depth as `view` turns it: from its bounds' nearest corner to their
// farthest, as distances from the eye (the pivot lies `Depth` in front of it).
TDepthCueFade ModelDepthCue(const TMeshModel& model, const TView3D& view);

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
