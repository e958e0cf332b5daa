// GDI drawing of a 2D scene: one routine for every element kind, shared by the export bitmap
// and the thumbnails, which differ only in their placement.
#include "render/uSceneRaster.h"

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

#include "support/uGdiObjects.h"

namespace pelorin {

namespace {

constexpr char kFontFace[] = "Segoe UI";

int TextLength(const std::string& text) {
  return static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
}

std::vector<POINT> MapPoints(const TRasterPlacement& placement, const TPointArray& points) {
  std::vector<POINT> mapped;
  mapped.reserve(std::min<size_t>(points.size(), INT_MAX));
  for (const TPoint2D& p : points) {
    if (mapped.size() == INT_MAX) break;
    const TPixel px = MapPoint(placement, p.X, p.Y);
    mapped.push_back({px.X, px.Y});
  }
  return mapped;
}

// The fill of a closed shape: a solid brush of the fill colour, or the hollow stock brush when
// the fill is fully transparent (the stock brush is not ours to delete).
class TFillBrush {
 public:
  explicit TFillBrush(const TRGBAColor& fill) {
    if (fill.A > 0) own_.reset(CreateSolidBrush(ToColorRef(fill)));
  }
  HGDIOBJ get() const { return own_ ? static_cast<HGDIOBJ>(own_.get()) : GetStockObject(NULL_BRUSH); }

 private:
  TGdiObject<HBRUSH> own_;
};

void DrawShape(HDC dc, const TGeoElement& e, const TRasterPlacement& placement) {
  TGdiObject<HPEN> pen(CreatePen(PS_SOLID, PenWidth(placement, e.StrokeWidth), ToColorRef(e.Stroke)));
  TSelection selectPen(dc, pen.get());
  switch (e.Kind) {
    case gkLine: {
      if (e.Points.size() < 2) return;
      const TPixel a = MapPoint(placement, e.Points[0].X, e.Points[0].Y);
      const TPixel b = MapPoint(placement, e.Points[1].X, e.Points[1].Y);
      MoveToEx(dc, a.X, a.Y, nullptr);
      LineTo(dc, b.X, b.Y);
      return;
    }
    case gkPolyline: {
      if (e.Points.size() < 2) return;
      const std::vector<POINT> mapped = MapPoints(placement, e.Points);
      Polyline(dc, mapped.data(), static_cast<int>(mapped.size()));
      return;
    }
    case gkPolygon: {
      if (e.Points.size() < 2) return;
      const std::vector<POINT> mapped = MapPoints(placement, e.Points);
      TFillBrush brush(e.Fill);
      TSelection selectBrush(dc, brush.get());
      Polygon(dc, mapped.data(), static_cast<int>(mapped.size()));
      return;
    }
    case gkCircle:
    case gkEllipse: {
      const TPixel topLeft = MapPoint(placement, e.CX - e.RX, e.CY - e.RY);
      const TPixel bottomRight = MapPoint(placement, e.CX + e.RX, e.CY + e.RY);
      TFillBrush brush(e.Fill);
      TSelection selectBrush(dc, brush.get());
      Ellipse(dc, topLeft.X, topLeft.Y, bottomRight.X, bottomRight.Y);
      return;
    }
    default:
      return;
  }
}

TGdiObject<HFONT> MakeTextFont(int32_t pixelHeight) {
  return TGdiObject<HFONT>(CreateFontA(-pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                       kFontFace));
}

// At the anchor: measured, moved left for "middle" and "end", top at the font's ascent.
void DrawExportText(HDC dc, const TGeoElement& e, const TRasterPlacement& placement) {
  const TPixel anchor = MapPoint(placement, e.Points[0].X, e.Points[0].Y);
  const int length = TextLength(e.Text);
  TEXTMETRICA metrics{};
  const int32_t top =
      GetTextMetricsA(dc, &metrics) ? anchor.Y - metrics.tmAscent : FallbackTextTop(placement, anchor.Y, e.FontSize);
  SIZE extent{};
  if (!GetTextExtentPoint32A(dc, e.Text.data(), length, &extent)) extent.cx = 0;
  TextOutA(dc, ExportTextLeft(anchor.X, extent.cx, e.TextAnchor), top, e.Text.data(), length);
}

void DrawThumbnailText(HDC dc, const TGeoElement& e, const TRasterPlacement& placement) {
  const TTextBox box = ThumbnailTextBox(placement, e);
  RECT rect{box.Left, box.Top, box.Right, box.Bottom};
  UINT format = DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP;  // '&' in a title is a character, not a mnemonic
  if (box.Align == taCenter) format |= DT_CENTER;
  if (box.Align == taRight) format |= DT_RIGHT;
  DrawTextA(dc, e.Text.data(), TextLength(e.Text), &rect, format);
}

void DrawTextRun(HDC dc, const TGeoElement& e, const TRasterPlacement& placement) {
  if (e.Text.empty() || e.Points.empty()) return;
  if (e.IsHeading && !placement.ShowHeadings) return;
  TGdiObject<HFONT> font = MakeTextFont(FontPixelHeight(placement, e.FontSize));
  TSelection selectFont(dc, font.get());
  SetTextColor(dc, ToColorRef(e.TextColor));
  if (placement.TextRule == trExport) {
    DrawExportText(dc, e, placement);
  } else {
    DrawThumbnailText(dc, e, placement);
  }
}

// GDI leaves the alpha byte of what it draws at 0; a 32-bit thumbnail is meant to be opaque.
void MakeOpaque(void* bits, int32_t width, int32_t height) {
  GdiFlush();
  auto* pixel = static_cast<uint32_t*>(bits);
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < count; ++i) pixel[i] |= 0xFF000000u;
}

HBITMAP CreateBitmapOfKind(HDC memoryDC, const TRasterPlacement& placement, TRasterBitmapKind kind, void*& bits) {
  bits = nullptr;
  if (placement.Width <= 0 || placement.Height <= 0) return nullptr;
  if (kind == rbTopDownDIB) return CreateTopDownDIB(memoryDC, placement.Width, placement.Height, bits);
  // A memory DC alone would give a monochrome bitmap: the screen's DC sets the format.
  TScreenDC screen;
  return screen.get() ? CreateCompatibleBitmap(screen.get(), placement.Width, placement.Height) : nullptr;
}

}  // namespace

void DrawSceneElements(HDC dc, const TSVGScene& scene, const TRasterPlacement& placement) {
  const TElementRange elements = ValidElements(scene);
  const TCaptionLayout caption = LayOutCaption(scene, TAnchorMatch::Exact);
  const TGeoElement* title = caption.Index >= 0 ? elements.begin() + caption.Index : nullptr;
  for (const TGeoElement& e : elements) {
    if (e.Kind == gkText) {
      DrawTextRun(dc, &e == title ? caption.Element : e, placement);
    } else {
      DrawShape(dc, e, placement);
    }
  }
}

HBITMAP RasterizeScene(const TSVGScene& scene, const TRasterPlacement& placement, TRasterBitmapKind kind) noexcept {
  try {
    TMemoryDC dc;
    if (!dc.get()) return nullptr;
    void* bits = nullptr;
    TGdiObject<HBITMAP> bitmap(CreateBitmapOfKind(dc.get(), placement, kind, bits));
    if (!bitmap) return nullptr;
    {
      TSelection selectBitmap(dc.get(), bitmap.get());
      if (!selectBitmap.Ok()) return nullptr;
      RECT all{0, 0, placement.Width, placement.Height};
      FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      SetBkMode(dc.get(), TRANSPARENT);
      DrawSceneElements(dc.get(), scene, placement);
    }
    if (bits) MakeOpaque(bits, placement.Width, placement.Height);
    return bitmap.release();
  } catch (...) {
    return nullptr;  // out of memory for a point list: the partly drawn bitmap is dropped
  }
}

}  // namespace pelorin
