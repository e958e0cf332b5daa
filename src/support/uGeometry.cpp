// Plain 3D vector arithmetic.
#include "support/uGeometry.h"

#include <cmath>

namespace pelorin {

TVec3 VecSub(const TVec3& a, const TVec3& b) {
  return {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
}

TVec3 VecCross(const TVec3& a, const TVec3& b) {
  return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}

float VecLength(const TVec3& v) {
  return std::sqrt(v.X * v.X + v.Y * v.Y + v.Z * v.Z);
}

TVec3 VecNormalize(const TVec3& v) {
  float length = VecLength(v);
  if (!(length >= kShortestDirection)) return {0, 1, 0};
  float inverse = 1.0f / length;  // one division per vector: models have a million of them
  return {v.X * inverse, v.Y * inverse, v.Z * inverse};
}

}  // namespace pelorin
