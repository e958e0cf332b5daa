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

// An opaque colour, each channel 0..1.
struct TMeshColor {
  float R = 0, G = 0, B = 0;
};

}  // namespace pelorin
