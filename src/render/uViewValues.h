// The view values of one viewer window: the record both renderers draw with.
#pragma once

#include "render/uView2D.h"

namespace pelorin {

inline constexpr float kResetRotX = 20.0f;
inline constexpr float kResetRotY = -30.0f;

// The 2D view, and how the 3D model is turned and zoomed. Each window keeps its own and hands
// it to the renderer that draws the window.
struct TViewValues : TView2D {
  float RotX = kResetRotX;  // degrees about x
  float RotY = kResetRotY;  // degrees about y
  float Zoom3D = 1.0f;
};

}  // namespace pelorin
