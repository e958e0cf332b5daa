// Geometry of the 2D view and of rasterised texts, shared by the OpenGL and GDI renderers.
#include "uView2D.h"

#include <algorithm>
#include <cmath>

#include "support/uText.h"

namespace pelorin {

namespace {

constexpr float kNoBound = 1e18f;
constexpr float kTwoPi = 6.283185307179586f;
constexpr int kBoundsSegments = 24;
constexpr float kFitMargin = 0.05f;
constexpr int32_t kMinPixelSize = 72;
constexpr int32_t kMaxPixelSize = 1024;
constexpr int64_t kTextMargin = 4;

void Widen(TBounds2D& b, float x, float y) {
  b.MinX = std::min(b.MinX, x);
  b.MinY = std::min(b.MinY, y);
  b.MaxX = std::max(b.MaxX, x);
  b.MaxY = std::max(b.MaxY, y);
}

// Texts are not measured here: the width is estimated from the character count, which is
// close enough for fitting and needs no font.
void WidenByText(TBounds2D& b, const TGeoElement& e, TAnchorMatch anchors) {
  const float size = std::max(e.FontSize, 1.0f);
  const float width = static_cast<float>(e.Text.size()) * size * 0.62f;
  const TPoint2D& anchor = e.Points.front();
  auto is = [&](std::string_view name) {
    return anchors == TAnchorMatch::Exact ? e.TextAnchor == name : EqualsNoCase(e.TextAnchor, name);
  };
  float left = anchor.X;
  if (is("middle")) {
    left -= width / 2;
  } else if (is("end")) {
    left -= width;
  }
  const float top = anchor.Y - 0.8f * size;
  Widen(b, left, top);
  Widen(b, left + width, top + size);
}

void WidenByElement(TBounds2D& b, const TGeoElement& e, bool showHeadings, TAnchorMatch anchors) {
  switch (e.Kind) {
    case gkLine:
    case gkPolyline:
    case gkPolygon:
      for (const TPoint2D& p : e.Points) Widen(b, p.X, p.Y);
      break;
    case gkCircle:
    case gkEllipse:
      for (int j = 0; j < kBoundsSegments; ++j) {
        TPoint2D p = EllipsePoint(e.CX, e.CY, e.RX, e.RY, j, kBoundsSegments);
        Widen(b, p.X, p.Y);
      }
      break;
    case gkText:
      if (!e.Points.empty() && (showHeadings || !e.IsHeading)) WidenByText(b, e, anchors);
      break;
  }
}

// Round half to even without depending on the process's rounding mode.
double RoundHalfEven(double v) {
  double whole = std::floor(v);
  double fraction = v - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return whole;
}

}  // namespace

TPoint2D EllipsePoint(float cx, float cy, float rx, float ry, int j, int segments) {
  const float theta = static_cast<float>(j) * kTwoPi / static_cast<float>(segments);
  return {cx + std::cos(theta) * rx, cy + std::sin(theta) * ry};
}

TBounds2D ContentBounds(const TSVGScene& scene, bool showHeadings, TAnchorMatch anchors) {
  TBounds2D b{kNoBound, kNoBound, -kNoBound, -kNoBound};
  for (const TGeoElement& e : ValidElements(scene)) WidenByElement(b, e, showHeadings, anchors);
  if (b.MinX > b.MaxX || b.MinX >= 1e17f) {
    return {scene.ViewBoxX, scene.ViewBoxY, scene.ViewBoxX + scene.Width, scene.ViewBoxY + scene.Height};
  }
  return b;
}

float PixelsPerUnit(const TSVGScene& scene, const TView2D& view) {
  const TBounds2D b = ContentBounds(scene, view.ShowHeadings);
  const float ex = std::max((b.MaxX - b.MinX) * 1.1f, 1.0f);
  const float ey = std::max((b.MaxY - b.MinY) * 1.1f, 1.0f);
  const float fit = std::min(static_cast<float>(view.ViewHeight) / ey, static_cast<float>(view.ViewWidth) / ex);
  return std::max(fit * view.Zoom2D, 0.01f);
}

TOrthoBox OrthoBox2D(int32_t width, int32_t height, const TSVGScene& scene, const TView2D& view) {
  const TBounds2D b = ContentBounds(scene, view.ShowHeadings);
  const float ex = std::max(b.MaxX - b.MinX, 1.0f);
  const float ey = std::max(b.MaxY - b.MinY, 1.0f);
  const float left = b.MinX - kFitMargin * ex, right = b.MaxX + kFitMargin * ex;
  const float top = b.MinY - kFitMargin * ey, bottom = b.MaxY + kFitMargin * ey;
  // A minimised window has a 0 x 0 area; fitting into at least one pixel keeps the box finite
  // instead of 0/0.
  const float w = static_cast<float>(std::max(width, 1));
  const float h = static_cast<float>(std::max(height, 1));
  const float scale = std::min(w / (right - left), h / (bottom - top));
  const float cx = (left + right) / 2 - view.PanX;
  const float cy = (top + bottom) / 2 - view.PanY;
  const float hw = w / (scale * view.Zoom2D) / 2;
  const float hh = h / (scale * view.Zoom2D) / 2;
  return {static_cast<double>(cx - hw), static_cast<double>(cx + hw), static_cast<double>(cy + hh),
          static_cast<double>(cy - hh)};
}

float ClampLineWidth(float strokeWidth, float pixelsPerUnit) {
  const float w = strokeWidth * pixelsPerUnit;
  if (!(w > 0.5f)) return 0.5f;  // also NaN
  return std::min(w, 16.0f);
}

int32_t ClampPixelSize(int32_t pixelSize) {
  return std::clamp(pixelSize, kMinPixelSize, kMaxPixelSize);
}

int32_t TextRasterSize(float fontSize, float pixelsPerUnit) {
  const float size = fontSize >= 0.1f ? fontSize : 0.1f;
  const float wanted = size * pixelsPerUnit * 2;
  if (!(wanted >= kMinPixelSize)) return kMinPixelSize;
  if (wanted >= kMaxPixelSize) return kMaxPixelSize;
  return static_cast<int32_t>(RoundHalfEven(wanted));
}

int64_t NextPow2(int64_t n) {
  int64_t p = 1;
  while (p < n && p < (int64_t{1} << 62)) p <<= 1;
  return p;
}

std::string MakeTextKey(std::string_view text, int32_t pixelSize, bool bold) {
  std::string key(text);
  key += '|';
  key += std::to_string(ClampPixelSize(pixelSize));
  key += bold ? "|True" : "|False";
  return key;
}

TTextTextureSize TextTextureSize(int64_t extentX, int64_t extentY) {
  TTextTextureSize t;
  t.TextWidth = std::max<int64_t>(extentX, 0) + 2 * kTextMargin;
  t.TextHeight = std::max<int64_t>(extentY, 0) + 2 * kTextMargin;
  t.TexWidth = NextPow2(t.TextWidth);
  t.TexHeight = NextPow2(t.TextHeight);
  return t;
}

void GlyphsToAlphaTexels(const uint32_t* dibPixels, int32_t bitmapWidth, int32_t texWidth, int32_t texHeight,
                         std::vector<uint8_t>& texels) {
  texels.resize(static_cast<size_t>(texWidth) * static_cast<size_t>(texHeight));
  uint8_t* out = texels.data();
  for (int32_t row = 0; row < texHeight; ++row) {
    const uint32_t* in = dibPixels + static_cast<size_t>(row) * static_cast<size_t>(bitmapWidth);
    for (int32_t col = 0; col < texWidth; ++col) {
      const uint32_t pixel = in[col];
      *out++ = static_cast<uint8_t>(((pixel & 0xFF) + ((pixel >> 8) & 0xFF) + ((pixel >> 16) & 0xFF)) / 3);
    }
  }
}

TTextQuad PlaceTextQuad(TPoint2D at, const TTextStyle& style, const TTextTextureSize& tex) {
  const float k = style.Size / static_cast<float>(ClampPixelSize(style.PixelSize));
  TTextQuad q;
  q.W = static_cast<float>(tex.TextWidth) * k;
  q.H = static_cast<float>(tex.TextHeight) * k;
  q.X0 = at.X + style.Offset.X;
  if (style.Anchor == "middle") {
    q.X0 -= q.W * 0.5f;
  } else if (style.Anchor == "end") {
    q.X0 -= q.W;
  }
  q.Y0 = (at.Y + style.Offset.Y) - q.H * 0.78f;
  if (tex.TexWidth > 0) q.U1 = static_cast<double>(tex.TextWidth) / static_cast<double>(tex.TexWidth);
  if (tex.TexHeight > 0) q.V1 = static_cast<double>(tex.TextHeight) / static_cast<double>(tex.TexHeight);
  return q;
}

std::array<TPoint2D, 4> OutlineOffsets(float offset, float size) {
  const float o = std::max(offset, 0.04f * size);
  return {{{-o, 0}, {o, 0}, {0, -o}, {0, o}}};
}

}  // namespace pelorin
