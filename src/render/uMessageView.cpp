// The centred message view of a viewer window.
#include "render/uMessageView.h"

#include <GL/gl.h>

#include <vector>

#include "render/uGLFont.h"
#include "support/uText.h"

namespace pelorin {

void DrawCenteredMessage(TGLFontCache& cache, const std::string& text, int w, int h) {
  glClearColor(0.96f, 0.96f, 0.96f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, h, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const std::vector<std::string> lines = SplitLines(text);
  TTextStyle style;
  style.Color = {0.5f, 0.1f, 0.1f, 1.0f};
  style.Size = 13;
  style.PixelSize = 96;
  style.Anchor = "middle";
  const float lineHeight = 18;
  float y0 = (h - static_cast<float>(lines.size()) * lineHeight) * 0.5f;
  for (size_t i = 0; i < lines.size(); ++i) DrawGLText(cache, lines[i], {w * 0.5f, y0 + i * lineHeight + 9}, style);
}

}  // namespace pelorin
