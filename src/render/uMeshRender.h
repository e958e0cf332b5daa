// The 3D renderer: a lit, orthographic view of a prepared model with a drop shadow, the
// converter's surface with a wire overlay, drawn from buffer objects when the driver has them;
// an atom model as exact spheres (uSphereRender) where the driver runs shaders, as a mesh of
// spheres otherwise.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "model3d/uMeshModel.h"
#include "render/uGLResources.h"
#include "render/uPictureTiles.h"
#include "render/uView3D.h"
#include "render/uViewValues.h"

namespace pelorin {

// A still frame has the shadow, the wire overlay and multisampling; a frame drawn while the user
// drags the model goes without them, so that the model follows the mouse.
enum class TMeshFrame { Still, Dragged };

// Draws `model` into the current OpenGL context for `area`, turned by the view's RotX and RotY
// and scaled by its Zoom3D, from `objects` (the model's in a context's record, which is made the
// current context's; filled on first use, after which the model's mesh arrays are released).
// The model is fitted as ModelView fits it: an atom model's extent fills kAtomFillShare of the
// area's uncovered part, a surface's bounding sphere's diameter 0.74 of the area's height. Large
// atom models fade with depth (TMeshModel::DepthCue). The model's bounds, fit and shadow are
// made on first use.
void RenderMeshModel(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects, const TDrawArea& area,
                     const TViewValues& view, TMeshFrame frame);

// A tile's pixels: 32-bit BGRX, rows from the top, Width to a row. False stops the drawing.
using TTileSink = std::function<bool(const TPictureTile& tile, const uint32_t* pixels)>;

// Draws `model` as RenderMeshModel does a still frame, as a picture of `picture`'s size that may
// exceed the drawing buffer: a tile of `tile`'s size (at most the buffer's) at a time into the
// back buffer, each read back and handed to `sink` in PictureTiles' order. The picture is the
// part of a drawing area above a band of `coveredBottom` pixels, framed as a window whose
// controls cover that band frames it. Nothing is shown (no swap). False when there is no model
// to draw, the area is larger than the driver's viewport, a tile could not be read back, or
// `sink` stopped the drawing.
[[nodiscard]] bool RenderMeshModelTiles(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects,
                                        TPictureSize picture, int coveredBottom, TPictureSize tile,
                                        const TViewValues& view, const TTileSink& sink);

// The longest side of a drawing area RenderMeshModelTiles draws in the current context (taken by
// `resources`): within the driver's viewport, which takes the picture and its covered band, and
// its largest texture, as the spheres' shadow is one texture of the picture. 0 without a
// current context.
int LargestTiledAreaSide(TGLResources& resources);

// The shadow of every vertex of the mesh arrays: three floats per vertex, in mesh order.
std::vector<float> ComputeShadowVertices(const TMeshModel& model);

}  // namespace pelorin
