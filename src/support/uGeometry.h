// Plain 3D vectors and RGB colours shared by the readers, the models and the renderers.
#pragma once

namespace pelorin {

struct TVec3 {
  float X = 0, Y = 0, Z = 0;
};

// Vectors shorter than this have no direction.
constexpr float kShortestDirection = 1e-9f;

TVec3 VecSub(const TVec3& a, const TVec3& b);
TVec3 VecCross(const TVec3& a, const TVec3& b);
float VecLength(const TVec3& v);
// v / |v|, or (0, 1, 0) for a vector too short to have a direction.
TVec3 VecNormalize(const TVec3& v);

// How the 3D view turns a model: rotX degrees about x after rotY degrees about y
// (glRotatef(rotX, 1, 0, 0) then glRotatef(rotY, 0, 1, 0) on the model-view matrix), the viewer
// looking along -z. Turns offsets from the point the model turns about.
class TViewTurn {
 public:
  TViewTurn(float rotXDegrees, float rotYDegrees);
  // A model offset as the view sees it: x right, y up, z towards the viewer.
  TVec3 Apply(const TVec3& v) const;
  // The model offset that the view sees as `v`.
  TVec3 Undo(const TVec3& v) const;

 private:
  double cosX_, sinX_, cosY_, sinY_;
};

// An opaque colour, each channel 0..1.
struct TMeshColor {
  float R = 0, G = 0, B = 0;
};

}  // namespace pelorin
