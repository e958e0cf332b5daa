// The message a viewer window shows in place of its picture (a load under way, a failure), drawn
// with OpenGL into the current context.
#pragma once

#include <string>

namespace pelorin {

class TGLFontCache;

// Draws `text` centred line by line on a light background into a w x h picture, its texts
// through `cache`, the text cache of the window whose context is current.
void DrawCenteredMessage(TGLFontCache& cache, const std::string& text, int w, int h);

}  // namespace pelorin
