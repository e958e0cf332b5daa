// Geometry of the 2D view and of rasterised texts, shared by the OpenGL and GDI renderers.
#include "uView2D.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <exception>

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

// The caption's size against the atom labels, its limits against the drawing's larger side, and
// how wide it may grow. A label is 0.4 of a bond in the converter's drawings.
constexpr float kCaptionPerLabel = 1.2f;
constexpr float kCaptionMinShare = 0.03f;
constexpr float kCaptionMaxShare = 0.15f;
constexpr float kCaptionWidthShare = 1.5f;
constexpr float kLabelPerBond = 0.4f;
constexpr float kCharWidth = 0.62f;    // of the font size, as texts are estimated
constexpr float kCaptionGap = 0.5f;    // of the caption's size, between the drawing and its top
constexpr float kCaptionFoot = 0.35f;  // of its size, below its baseline to the band's end

bool IsText(const TGeoElement& e) {
  return e.Kind == gkText && !e.Points.empty() && !e.Text.empty();
}

// The one heading of a single molecule's drawing, anchored at its start; -1 for none.
int32_t FindCaption(const TSVGScene& scene) {
  int32_t found = -1;
  int32_t index = 0;
  for (const TGeoElement& e : ValidElements(scene)) {
    if (e.IsHeading && IsText(e)) {
      if (found >= 0 || EqualsNoCase(e.TextAnchor, "middle")) return -1;
      found = index;
    }
    ++index;
  }
  return found;
}

// The size the atom labels are drawn at: the median size of the texts that are no heading (a
// radical's dot may be drawn larger), or from the bonds when there is no label.
float LabelSize(const TSVGScene& scene, const TGeoElement& title) {
  std::vector<float> sizes;
  double bonds = 0;
  int64_t bondCount = 0;
  for (const TGeoElement& e : ValidElements(scene)) {
    if (IsText(e) && !e.IsHeading && e.FontSize > 0) sizes.push_back(e.FontSize);
    if (e.Kind == gkLine && e.Points.size() >= 2) {
      const double length = std::hypot(double{e.Points[1].X} - e.Points[0].X, double{e.Points[1].Y} - e.Points[0].Y);
      if (length > 1) {
        bonds += length;
        ++bondCount;
      }
    }
  }
  if (!sizes.empty()) {
    std::nth_element(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() / 2), sizes.end());
    return sizes[sizes.size() / 2];
  }
  if (bondCount > 0) return kLabelPerBond * static_cast<float>(bonds / static_cast<double>(bondCount));
  return title.FontSize;
}

// Characters, not bytes: a title in UTF-8 (or a multi-byte code page) is not wider by its bytes.
size_t CharCount(std::string_view utf8) {
  return static_cast<size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

const std::string& Ellipsis() {
  static const std::string ellipsis = [] {
    const std::string ansi = Utf8ToAnsi("\xE2\x80\xA6");
    return AnsiToUtf8(ansi) == "\xE2\x80\xA6" ? ansi : std::string("...");  // a code page without one
  }();
  return ellipsis;
}

bool IsFinite(const TBounds2D& b) {
  return std::isfinite(b.MinX) && std::isfinite(b.MinY) && std::isfinite(b.MaxX) && std::isfinite(b.MaxY);
}

}  // namespace

std::string CutWithEllipsis(std::string_view text, size_t maxChars) {
  const std::string utf8 = AnsiToUtf8(text);
  if (CharCount(utf8) <= maxChars) return std::string(text);
  const size_t keep = maxChars > 1 ? maxChars - 1 : 0;
  size_t end = 0;
  for (size_t chars = 0; end < utf8.size(); ++end) {
    if ((static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) continue;
    if (chars++ == keep) break;
  }
  std::string_view kept = std::string_view(utf8).substr(0, end);
  while (!kept.empty() && IsBlankChar(kept.back())) kept.remove_suffix(1);
  return Utf8ToAnsi(kept) + Ellipsis();
}

namespace {

TCaptionLayout LayOutCaptionOf(const TSVGScene& scene, TAnchorMatch anchors) {
  TCaptionLayout layout;
  const int32_t index = FindCaption(scene);
  if (index < 0) return layout;
  TBounds2D d{kNoBound, kNoBound, -kNoBound, -kNoBound};
  int32_t at = 0;
  for (const TGeoElement& e : ValidElements(scene))
    if (at++ != index) WidenByElement(d, e, true, anchors);
  const float side = std::max(d.MaxX - d.MinX, d.MaxY - d.MinY);
  if (d.MinX > d.MaxX || d.MinX >= 1e17f || !IsFinite(d) || !(side > 0) || !std::isfinite(side)) return layout;

  const TGeoElement& title = scene.Elements[static_cast<size_t>(index)];
  float size = kCaptionPerLabel * LabelSize(scene, title);
  size = std::isfinite(size) ? std::clamp(size, kCaptionMinShare * side, kCaptionMaxShare * side)
                             : kCaptionMaxShare * side;
  const float charWidth = kCharWidth * size;
  const auto maxChars = static_cast<size_t>(std::max(1.0f, kCaptionWidthShare * side / charWidth));

  layout.Index = index;
  layout.Drawing = d;
  layout.Element = title;
  layout.Element.Text = CutWithEllipsis(title.Text, maxChars);
  layout.Element.FontSize = size;
  layout.Element.TextAnchor = "middle";
  const float centre = (d.MinX + d.MaxX) / 2;
  const float baseline = d.MaxY + (kCaptionGap + 0.8f) * size;
  layout.Element.Points = {TPoint2D{centre, baseline}};
  const float halfWidth = static_cast<float>(CharCount(AnsiToUtf8(layout.Element.Text))) * charWidth / 2;
  layout.Box = {centre - halfWidth, baseline - 0.8f * size, centre + halfWidth, baseline + 0.2f * size};
  layout.Band = {std::min(d.MinX, layout.Box.MinX), d.MaxY, std::max(d.MaxX, layout.Box.MaxX),
                 baseline + kCaptionFoot * size};
  return layout;
}

}  // namespace

TCaptionLayout LayOutCaption(const TSVGScene& scene, TAnchorMatch anchors) noexcept {
  try {
    return LayOutCaptionOf(scene, anchors);
  } catch (const std::exception&) {  // out of memory for the title's copy: it stays where it is
    return TCaptionLayout{};
  }
}

TPoint2D EllipsePoint(float cx, float cy, float rx, float ry, int j, int segments) {
  const float theta = static_cast<float>(j) * kTwoPi / static_cast<float>(segments);
  return {cx + std::cos(theta) * rx, cy + std::sin(theta) * ry};
}

TBounds2D ContentBounds(const TSVGScene& scene, bool showHeadings, TAnchorMatch anchors) {
  const TCaptionLayout caption = LayOutCaption(scene, anchors);
  if (caption.Index >= 0) {
    TBounds2D b = caption.Drawing;
    if (showHeadings) {
      Widen(b, caption.Band.MinX, caption.Band.MinY);
      Widen(b, caption.Band.MaxX, caption.Band.MaxY);
    }
    return b;
  }
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
