// The 3D mesh renderer: a lit, orthographic view of a prepared model with a drop shadow
// and a wire overlay, drawn from buffer objects when the driver has them.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "model3d/uMeshModel.h"
#include "render/uViewValues.h"

namespace pelorin {

// Draws `model` into the current OpenGL context for a w x h area, turned by the view's RotX and
// RotY and scaled by its Zoom3D. While dragging, the shadow and the wire overlay are left out.
// The model's bounds and shadow are made on first use.
void RenderMeshModel(const std::shared_ptr<TMeshModel>& model, int w, int h, bool dragging, const TViewValues& view);

// Empties the current context's buffer objects when the model they hold is gone (the window
// went to 2D or loads another model), so that the driver does not keep its mesh meanwhile.
void ReleaseStaleMeshBuffers();

// Forgets the buffer objects of a context that is about to be deleted.
void ForgetContextBuffers(HGLRC context);

// The shadow of a model: every vertex flattened onto the ground plane below it and shifted
// away from the light. Depends only on the model's bounds.
class TShadowProjection {
 public:
  explicit TShadowProjection(const TMeshModel& model);
  // `count` vertices (x, y, z each) projected into `out` (as many floats).
  void Apply(const float* vertices, size_t count, float* out) const;

 private:
  float ground_, height_, towardsX_;
};
// The shadow of every vertex of the mesh arrays: three floats per vertex, in mesh order.
std::vector<float> ComputeShadowVertices(const TMeshModel& model);

}  // namespace pelorin
