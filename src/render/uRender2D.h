// Draws a 2D scene with OpenGL, fitted to the viewer window and zoomed and panned by its view.
#pragma once

#ifdef _WIN32
#include <cstdint>

#include "svg/uScene2D.h"
#include "uView2D.h"

namespace pelorin {

class TGLFontCache;

// Stores the area's size in `view`, sets the viewport and an orthographic projection that fits
// the scene (y down, undistorted), and leaves the model-view matrix as identity.
void SetupProjection2D(int32_t width, int32_t height, const TSVGScene& scene, TView2D& view) noexcept;

// Clears to `background` and draws the scene's elements in order with the current projection,
// the texts through `text`, the cache of the window whose context is current; a single
// molecule's title in its band (LayOutCaption).
void RenderScene2D(const TSVGScene& scene, const TView2D& view, TGLFontCache& text,
                   const TRGBAColor& background = TRGBAColor{1, 1, 1, 1}) noexcept;

}  // namespace pelorin

#endif  // _WIN32
