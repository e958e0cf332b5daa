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

TViewTurn::TViewTurn(float rotXDegrees, float rotYDegrees) {
  constexpr double kRadians = 3.14159265358979323846 / 180;
  cosX_ = std::cos(rotXDegrees * kRadians), sinX_ = std::sin(rotXDegrees * kRadians);
  cosY_ = std::cos(rotYDegrees * kRadians), sinY_ = std::sin(rotYDegrees * kRadians);
}

TVec3 TViewTurn::Apply(const TVec3& v) const {
  const double x1 = v.X * cosY_ + v.Z * sinY_, z1 = -v.X * sinY_ + v.Z * cosY_;
  const double y2 = v.Y * cosX_ - z1 * sinX_, z2 = v.Y * sinX_ + z1 * cosX_;
  return {static_cast<float>(x1), static_cast<float>(y2), static_cast<float>(z2)};
}

TVec3 TViewTurn::Undo(const TVec3& v) const {
  const double y1 = v.Y * cosX_ + v.Z * sinX_, z1 = -v.Y * sinX_ + v.Z * cosX_;
  const double x0 = v.X * cosY_ - z1 * sinY_, z0 = v.X * sinY_ + z1 * cosY_;
  return {static_cast<float>(x0), static_cast<float>(y1), static_cast<float>(z0)};
}

}  // namespace pelorin
