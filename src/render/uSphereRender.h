// The sphere renderer: an atom model drawn as exact spheres, one point sprite per atom (a
// screen-aligned quad where a sphere is larger than the driver's points) whose depth, normal and
// light are computed per pixel by a shader, over the spheres' drop shadow, which is worked out on
// the processor and drawn as one texture. OpenGL 2.0 and later; the mesh renderer draws atom
// models where the driver offers less. Also the view set-up both 3D renderers share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "model3d/uMeshModel.h"
#include "render/uAtomCulling.h"
#include "render/uView3D.h"

namespace pelorin {

// Whether a context reporting `glVersion` runs the sphere renderer's shaders: OpenGL 2.0 on.
bool SupportsSphereShaders(std::string_view glVersion) noexcept;

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
// Sets the viewport, the projection and the model-view matrix for `view`, its area widened by
// `guardPixels` on every side (the picture in the area stays the same).
void ApplyView3D(const TView3D& view, int guardPixels);

// What the sphere renderer keeps in one OpenGL context: its program, the buffer holding the
// spheres of the model it drew last and the shadow's texture. Names belong to the context they were made in; the mesh
// renderer's record (TMeshBuffers) holds this one and hands it over with its context.
struct TSphereDrawing {
  TSphereDrawing() = default;
  TSphereDrawing(const TSphereDrawing&) = delete;
  TSphereDrawing& operator=(const TSphereDrawing&) = delete;
  ~TSphereDrawing();  // deletes the program, the buffer and the texture while their context is current

  enum class TPrograms : uint8_t { Untried, Ready, Failed };
  HGLRC Context = nullptr;
  TPrograms Programs = TPrograms::Untried;
  uint32_t Shaders[2] = {0, 0};  // vertex, fragment
  uint32_t SphereProgram = 0;
  uint32_t Buffer = 0;
  uint32_t ShadowTexture = 0;
  std::vector<uint8_t> ShadowAlpha;  // the texture's texels as last uploaded
  std::weak_ptr<const TMeshModel> Uploaded;
  std::weak_ptr<const TMeshModel> Refused;  // not tried again on every frame
  bool Filled = false;                      // the buffer holds a model's spheres
  float MaxPointSize = 1;                   // the driver's largest point, in pixels
  int MaxViewport = 0;                      // the driver's largest viewport side
  // A model of kCullMinAtoms or more is drawn without the atoms that do not show (false: whole,
  // as tests compare).
  bool Cull = true;
  TAtomCuller Culler;
  // What the culler and the shadow's texture hold: worked out for this model and view, with or
  // without culling and shadow. A frame of the very same (a repaint, the next tile of a picture
  // larger than the window) draws from them without working them out again.
  struct TWorkedOut {
    std::weak_ptr<const TMeshModel> Model;
    TCullView View;
    bool Culled = false, Shadowed = false;
    bool ShadowTextureReady = false;
  };
  std::optional<TWorkedOut> WorkedOut;

  // Forgets what was made in another context, without deleting it there, and takes the current.
  void TakeCurrentContext();
  // Empties the buffer when the model it holds is gone. Needs the context current.
  void ReleaseStale();
  // Frees the culler's and the shadow's memory, which grows with the picture's pixels (after a
  // picture far larger than the window); the next frame works them out again.
  void ReleaseWorkingMemory();
};

// One frame of an atom model's spheres: `view` as set up for it, the depth cue's fade (none:
// every point keeps its colour) and whether the drop shadow is drawn beneath. The projection,
// the lights and the depth test are its own; the caller has cleared the frame. False, having
// drawn nothing, when the driver cannot run the program (logged once): the caller then draws
// the model as meshes.
bool DrawSphereFrame(const std::shared_ptr<TMeshModel>& model, TSphereDrawing& drawing, const TView3D& view,
                     const TDepthCueFade& fade, bool withShadow);

}  // namespace pelorin
