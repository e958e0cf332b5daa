// The 3D mesh renderer: a lit, orthographic view of a prepared model with a drop shadow
// and a wire overlay, drawn from buffer objects when the driver has them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "model3d/uMeshModel.h"
#include "render/uViewValues.h"

namespace pelorin {

// The buffer objects the mesh renderer keeps in one OpenGL context, and which model they hold:
// the renderer's bookkeeping, which a window keeps for its context and hands to every frame.
// Names belong to the context current when they were made; drawn while another context is
// current, they are dropped (deleting them there would free that context's buffers of the same
// names) and made again. Deleted with the object while their context is current; otherwise the
// deletion of the context frees them.
struct TMeshBuffers {
  TMeshBuffers() = default;
  TMeshBuffers(const TMeshBuffers&) = delete;
  TMeshBuffers& operator=(const TMeshBuffers&) = delete;
  ~TMeshBuffers();

  HGLRC Context = nullptr;
  uint32_t Names[3] = {0, 0, 0};  // packed vertices (TPackedVertex), shadow positions, facet corners
  // Facet corners in the index buffer when the vertices are shared (atom models); 0 when the
  // mesh and shadow buffers hold three vertices a facet and are drawn in order.
  int32_t IndexCount = 0;
  std::weak_ptr<const TMeshModel> Uploaded;
  std::weak_ptr<const TMeshModel> Refused;  // not tried again on every frame
  bool Filled = false;                      // the buffers hold a model's data
};

// The buffers of every model one window keeps ready to draw: the shown one and those it keeps
// for a step back, each in buffers of its own, so that showing a kept model again uploads
// nothing. Buffers whose model is gone are emptied by ReleaseStale and used again.
class TMeshBufferPool {
 public:
  TMeshBufferPool() = default;
  TMeshBufferPool(const TMeshBufferPool&) = delete;
  TMeshBufferPool& operator=(const TMeshBufferPool&) = delete;

  // The buffers that hold `model` (or refused it), else ones that hold no live model, else new ones.
  TMeshBuffers& For(const std::shared_ptr<const TMeshModel>& model);
  // The first buffers, for a caller that draws one model at a time.
  TMeshBuffers& First();
  // ReleaseStaleMeshBuffers for each; needs their context current.
  void ReleaseStale();
  size_t Size() const { return sets_.size(); }

 private:
  std::vector<std::unique_ptr<TMeshBuffers>> sets_;
};

// A still frame has the shadow, the wire overlay and multisampling; a frame drawn while the user
// drags the model goes without them, so that the model follows the mouse.
enum class TMeshFrame { Still, Dragged };

// Draws `model` into the current OpenGL context for a w x h area, turned by the view's RotX and
// RotY and scaled by its Zoom3D, from `buffers` (the current context's; filled on first use,
// after which the model's arrays are released). The model's bounds and shadow are made on first
// use.
void RenderMeshModel(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers, int w, int h,
                     const TViewValues& view, TMeshFrame frame);

// Empties the buffers when the model they hold is gone (the window went to 2D or loads another
// model), so that the driver does not keep its mesh meanwhile. Needs their context current.
void ReleaseStaleMeshBuffers(TMeshBuffers& buffers);

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
