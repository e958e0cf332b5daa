// Placement of a 2D scene in a GDI bitmap, shared by the export bitmap and the thumbnails.
#include "render/uRasterPlacement.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

namespace {

constexpr float kThumbnailMargin = 0.05f;
// GDI keeps coordinates within 27 bits; anything farther out is off the bitmap anyway.
constexpr int32_t kMaxCoordinate = 1 << 26;
constexpr int32_t kTextHalfSpan = 3000;

float AtLeastOne(float extent) {
  return extent > 1 ? extent : 1.0f;
}

double RoundHalfEven(double v) {
  double whole = std::floor(v);
  const double fraction = v - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return whole;
}

}  // namespace

int32_t RoundClamped(double value, int32_t lo, int32_t hi) {
  if (!(value >= lo)) return lo;
  if (value >= hi) return hi;
  return static_cast<int32_t>(RoundHalfEven(value));
}

TBounds2D RasterContentBounds(const TSVGScene& scene, bool showHeadings) {
  return ContentBounds(scene, showHeadings, TAnchorMatch::Exact);
}

uint32_t ToColorRef(const TRGBAColor& color) {
  const auto channel = [](float c) { return static_cast<uint32_t>(RoundClamped(double{c} * 255.0, 0, 255)); };
  return channel(color.R) | (channel(color.G) << 8) | (channel(color.B) << 16);
}

float AverageBondLength(const TSVGScene& scene) {
  double sum = 0;
  int64_t counted = 0;
  for (const TGeoElement& e : ValidElements(scene)) {
    if (e.Kind != gkLine || e.Points.size() < 2) continue;
    const double length = std::hypot(double{e.Points[1].X} - e.Points[0].X, double{e.Points[1].Y} - e.Points[0].Y);
    if (length > 1) {
      sum += length;
      ++counted;
    }
  }
  if (counted == 0) return kDefaultBondLength;
  const float bond = static_cast<float>(sum / static_cast<double>(counted));
  return bond > 0.1f ? bond : kDefaultBondLength;
}

TRasterPlacement ExportPlacement(const TSVGScene& scene, bool showHeadings) {
  const TBounds2D b = RasterContentBounds(scene, showHeadings);
  const float extentX = AtLeastOne(b.MaxX - b.MinX);
  const float extentY = AtLeastOne(b.MaxY - b.MinY);
  TRasterPlacement p;
  p.Scale = kExportBondPixels / AverageBondLength(scene);
  p.OffsetX = p.OffsetY = kExportMargin;
  p.MinX = b.MinX;
  p.MinY = b.MinY;
  p.Width = RoundClamped(double{extentX} * p.Scale + 2 * kExportMargin, kMinExportSide, kMaxExportSide);
  p.Height = RoundClamped(double{extentY} * p.Scale + 2 * kExportMargin, kMinExportSide, kMaxExportSide);
  p.ShowHeadings = showHeadings;
  p.TextRule = trExport;
  return p;
}

TRasterPlacement ThumbnailPlacement(const TSVGScene& scene, int32_t width, int32_t height) {
  TBounds2D b = RasterContentBounds(scene, true);
  const float extentX = AtLeastOne(b.MaxX - b.MinX);
  const float extentY = AtLeastOne(b.MaxY - b.MinY);
  b.MinX -= kThumbnailMargin * extentX;
  b.MaxX += kThumbnailMargin * extentX;
  b.MinY -= kThumbnailMargin * extentY;
  b.MaxY += kThumbnailMargin * extentY;
  const float spanX = b.MaxX - b.MinX;
  const float spanY = b.MaxY - b.MinY;
  TRasterPlacement p;
  p.Scale = std::min(static_cast<float>(width) / spanX, static_cast<float>(height) / spanY);
  p.OffsetX = (static_cast<float>(width) - spanX * p.Scale) / 2;
  p.OffsetY = (static_cast<float>(height) - spanY * p.Scale) / 2;
  p.MinX = b.MinX;
  p.MinY = b.MinY;
  p.Width = width;
  p.Height = height;
  p.ShowHeadings = true;
  p.TextRule = trThumbnail;
  return p;
}

TPixel MapPoint(const TRasterPlacement& placement, float x, float y) {
  const double px = (double{x} - placement.MinX) * placement.Scale + placement.OffsetX;
  const double py = (double{y} - placement.MinY) * placement.Scale + placement.OffsetY;
  return {RoundClamped(px, -kMaxCoordinate, kMaxCoordinate), RoundClamped(py, -kMaxCoordinate, kMaxCoordinate)};
}

int32_t PenWidth(const TRasterPlacement& placement, float strokeWidth) {
  return RoundClamped(double{strokeWidth} * placement.Scale, 1, kMaxCoordinate);
}

int32_t FontPixelHeight(const TRasterPlacement& placement, float fontSize) {
  const double height = double{fontSize} * placement.Scale;
  if (placement.TextRule == trExport) return RoundClamped(height, 10, 220);
  return RoundClamped(height, 8, kMaxCoordinate);
}

int32_t ExportTextLeft(int32_t anchorX, int32_t textWidth, std::string_view anchor) {
  if (anchor == "middle") return anchorX - textWidth / 2;
  if (anchor == "end") return anchorX - textWidth;
  return anchorX;
}

int32_t FallbackTextTop(const TRasterPlacement& placement, int32_t anchorY, float fontSize) {
  return anchorY - RoundClamped(double{fontSize} * placement.Scale * 0.8, 1, 1000);
}

TTextBox ThumbnailTextBox(const TRasterPlacement& placement, const TGeoElement& text) {
  const TPoint2D& anchor = text.Points.front();
  const int32_t ax = MapPoint(placement, anchor.X, anchor.Y).X;
  const int32_t ay = MapPoint(placement, anchor.X, anchor.Y - 0.8f * text.FontSize).Y;
  const int32_t lineHeight = RoundClamped(double{text.FontSize} * placement.Scale, 0, kMaxCoordinate);
  TTextBox box;
  box.Top = ay - 2;
  box.Bottom = ay + std::max(lineHeight + 8, 12);
  if (text.TextAnchor == "middle") {
    box.Left = ax - kTextHalfSpan;
    box.Right = ax + kTextHalfSpan;
    box.Align = taCenter;
  } else if (text.TextAnchor == "end") {
    box.Left = ax - 2 * kTextHalfSpan;
    box.Right = ax;
    box.Align = taRight;
  } else {
    box.Left = ax;
    box.Right = ax + 2 * kTextHalfSpan;
    box.Align = taLeft;
  }
  return box;
}

}  // namespace pelorin
