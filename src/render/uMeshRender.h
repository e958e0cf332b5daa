// The 3D renderer: a lit, orthographic view of a prepared model with a drop shadow, the
// converter's surface with a wire overlay, drawn from buffer objects when the driver has them;
// an atom model as exact spheres (uSphereRender) where the driver runs shaders, as a mesh of
// spheres otherwise.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model3d/uAtomModel.h"
#include "model3d/uMeshModel.h"
#include "render/uPictureTiles.h"
#include "render/uSphereRender.h"
#include "render/uViewValues.h"

namespace pelorin {

// The buffer objects the 3D renderer keeps in one OpenGL context, and which model they hold,
// and the sphere renderer's programs and buffer: the renderer's bookkeeping, which a window keeps
// for its context and hands to every frame.
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
  TSphereDrawing Spheres;

  // How this context draws atom models: as spheres from OpenGL 2.0 on, unless its shaders do not
  // build there, as meshes before. Asks the context the first time it is current here.
  TAtomDrawing AtomDrawing();
  // Takes `version` as the context's GL_VERSION from now on (tests: "1.1.0" draws atom models as
  // meshes on any driver).
  void AssumeGLVersion(std::string_view version) { AssumedVersion = std::string(version); }

 private:
  std::optional<std::string> AssumedVersion;
  HGLRC VersionAskedOf = nullptr;
  bool VersionRunsShaders = false;
};

// Where a 3D frame goes: a width x height drawing area whose bottom `CoveredBottom` pixels lie
// under the window's own controls (its navigation bar). An atom model is fitted into the rest;
// the surface keeps the whole area. The area's lower left corner lies at OriginX, OriginY of the
// drawing buffer: left of and below it when a picture larger than the buffer is drawn a tile
// at a time.
struct TDrawArea {
  int Width = 0, Height = 0, CoveredBottom = 0;
  int OriginX = 0, OriginY = 0;
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

  // How the pool's context draws atom models (TMeshBuffers::AtomDrawing).
  TAtomDrawing AtomDrawing() { return First().AtomDrawing(); }
  // TMeshBuffers::AssumeGLVersion for every buffers of the pool, those made later included.
  void AssumeGLVersion(std::string_view version);

 private:
  std::vector<std::unique_ptr<TMeshBuffers>> sets_;
  std::optional<std::string> assumedVersion_;
};

// A still frame has the shadow, the wire overlay and multisampling; a frame drawn while the user
// drags the model goes without them, so that the model follows the mouse.
enum class TMeshFrame { Still, Dragged };

// Draws `model` into the current OpenGL context for `area`, turned by the view's RotX and RotY
// and scaled by its Zoom3D, from `buffers` (the current context's; filled on first use, after
// which the model's mesh arrays are released). An atom model's extent, seen as the view first
// shows it, fills kAtomFillShare of the area's uncovered part; a surface model's radius 0.74 of
// the area's height. Large atom models fade with depth (TMeshModel::DepthCue). The model's
// bounds, fit and shadow are made on first use.
void RenderMeshModel(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers, const TDrawArea& area,
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
bool RenderMeshModelTiles(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers, TPictureSize picture,
                          int coveredBottom, TPictureSize tile, const TViewValues& view, const TTileSink& sink);

// Empties the buffers when the model they hold is gone (the window went to 2D or loads another
// model), so that the driver does not keep its mesh or spheres meanwhile. Needs their context
// current.
void ReleaseStaleMeshBuffers(TMeshBuffers& buffers);

// The shadow of every vertex of the mesh arrays: three floats per vertex, in mesh order.
std::vector<float> ComputeShadowVertices(const TMeshModel& model);

}  // namespace pelorin
