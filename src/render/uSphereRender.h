// The sphere renderer: an atom model drawn as exact spheres, one point sprite per atom (a
// screen-aligned quad where a sphere is larger than the driver's points) whose depth, normal and
// light are computed per pixel by a shader, over the spheres' drop shadow, which is worked out on
// the processor and drawn as one texture. OpenGL 2.0 and later; the mesh renderer draws atom
// models where the driver offers less. Also the view set-up both 3D renderers share.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>

#include "model3d/uMeshModel.h"
#include "render/uGLResources.h"
#include "render/uView3D.h"

namespace pelorin {

// Whether a context reporting `glVersion` runs the sphere renderer's shaders: OpenGL 2.0 on.
bool SupportsSphereShaders(std::string_view glVersion) noexcept;

// Sets the viewport, the projection and the model-view matrix for `view`, its area widened by
// `guardPixels` on every side (the picture in the area stays the same).
void ApplyView3D(const TView3D& view, int guardPixels);

// One frame of an atom model's spheres from `objects` (the model's in the current context's
// record, taken by the caller): `view` as set up for it, the depth cue's fade (none: every point
// keeps its colour) and whether the drop shadow is drawn beneath. The projection, the lights and
// the depth test are its own; the caller has cleared the frame. False, having drawn nothing,
// when the driver cannot run the program (logged once): the caller then draws the model as
// meshes.
[[nodiscard]] bool DrawSphereFrame(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects,
                                   const TView3D& view, const TDepthCueFade& fade, bool withShadow);

}  // namespace pelorin
