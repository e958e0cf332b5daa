// The OpenGL 2D renderer: immediate-mode lines, fans and textured texts.
#include "uRender2D.h"

#include "uGLFont.h"
#include "uOpenGL.h"

namespace pelorin {
namespace {

constexpr int kCircleSegments = 48;
constexpr GLushort kDashPattern = 0x00FF;  // 8 pixels on, 8 off

void SetColor(const TRGBAColor& c) {
  glColor4f(c.R, c.G, c.B, c.A);
}

void DrawPoints(GLenum mode, const TPointArray& points, size_t count, bool dashed) {
  TGLStateScope state;
  if (dashed) {
    state.Enable(GL_LINE_STIPPLE);
    glLineStipple(1, kDashPattern);
  }
  glBegin(mode);
  for (size_t i = 0; i < count; ++i) glVertex2f(points[i].X, points[i].Y);
  glEnd();
}

void DrawPolygon(const TGeoElement& e) {
  if (e.Fill.A > 0) {
    SetColor(e.Fill);
    DrawPoints(GL_TRIANGLE_FAN, e.Points, e.Points.size(), false);
  }
  if (e.Stroke.A > 0) {
    SetColor(e.Stroke);
    DrawPoints(GL_LINE_LOOP, e.Points, e.Points.size(), e.Dashed);
  }
}

void DrawEllipse(const TGeoElement& e) {
  if (e.Fill.A > 0) {
    SetColor(e.Fill);
    glBegin(GL_TRIANGLE_FAN);
    glVertex2f(e.CX, e.CY);
    for (int j = 0; j <= kCircleSegments; ++j) {
      const TPoint2D p = EllipsePoint(e.CX, e.CY, e.RX, e.RY, j, kCircleSegments);
      glVertex2f(p.X, p.Y);
    }
    glEnd();
  }
  if (e.Stroke.A > 0) {
    SetColor(e.Stroke);
    glBegin(GL_LINE_LOOP);
    for (int j = 0; j < kCircleSegments; ++j) {
      const TPoint2D p = EllipsePoint(e.CX, e.CY, e.RX, e.RY, j, kCircleSegments);
      glVertex2f(p.X, p.Y);
    }
    glEnd();
  }
}

void DrawTextElement(TGLFontCache& cache, const TGeoElement& e, float pixelsPerUnit) {
  if (e.Text.empty() || e.Points.empty()) return;
  TTextStyle style;
  style.Size = e.FontSize >= 0.1f ? e.FontSize : 0.1f;
  style.PixelSize = TextRasterSize(style.Size, pixelsPerUnit);
  style.Color = e.TextColor.A == 0 ? TRGBAColor{0, 0, 0, 1} : e.TextColor;
  style.Anchor = e.TextAnchor;
  style.Bold = e.FontWeight == "bold" || e.FontWeight == "700";
  const TPoint2D anchor = e.Points.front();
  DrawGLText(cache, e.Text, anchor, style);
  if (e.TextStroke.A > 0 && e.TextStrokeWidth > 0) {
    style.Color = e.TextStroke;
    DrawGLTextOutline(cache, e.Text, anchor, style, e.TextStrokeWidth);
  }
}

void DrawElement(TGLFontCache& cache, const TGeoElement& e, float pixelsPerUnit) {
  switch (e.Kind) {
    case gkLine:
      if (e.Points.size() >= 2) {
        SetColor(e.Stroke);
        DrawPoints(GL_LINES, e.Points, 2, e.Dashed);
      }
      break;
    case gkPolyline:
      if (e.Points.size() >= 2) {
        SetColor(e.Stroke);
        DrawPoints(GL_LINE_STRIP, e.Points, e.Points.size(), e.Dashed);
      }
      break;
    case gkPolygon:
      if (e.Points.size() >= 2) DrawPolygon(e);
      break;
    case gkCircle:
    case gkEllipse:
      DrawEllipse(e);
      break;
    case gkText:
      DrawTextElement(cache, e, pixelsPerUnit);
      break;
  }
}

}  // namespace

void SetupProjection2D(int32_t width, int32_t height, const TSVGScene& scene, TView2D& view) noexcept {
  view.ViewWidth = width;
  view.ViewHeight = height;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const TOrthoBox box = OrthoBox2D(width, height, scene, view);
  glOrtho(box.Left, box.Right, box.Bottom, box.Top, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void RenderScene2D(const TSVGScene& scene, const TView2D& view, TGLFontCache& text,
                   const TRGBAColor& background) noexcept {
  glClearColor(background.R, background.G, background.B, background.A);
  glClear(GL_COLOR_BUFFER_BIT);
  const TElementRange elements = ValidElements(scene);
  if (elements.empty()) return;
  // Every element blends: fills and texts with their alpha, lines over their smoothed edges.
  const TGLStateScope state({GL_BLEND, GL_LINE_SMOOTH}, {GL_DEPTH_TEST});
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);

  const float pixelsPerUnit = PixelsPerUnit(scene, view);
  const TCaptionLayout caption = LayOutCaption(scene);
  const TGeoElement* title = caption.Index >= 0 ? elements.begin() + caption.Index : nullptr;
  for (const TGeoElement& e : elements) {
    if (e.Kind == gkText && e.IsHeading && !view.ShowHeadings) continue;
    const TGeoElement& drawn = &e == title ? caption.Element : e;
    glLineWidth(ClampLineWidth(drawn.StrokeWidth, pixelsPerUnit));
    DrawElement(text, drawn, pixelsPerUnit);
  }
}

}  // namespace pelorin
