// Pictures in tests: hand-made 2D scenes, and pixels read back from what was drawn, with
// one meaning of "white", "dark" and "reddish", counted and boxed.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "svg/uSVGParser.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace pelorin_test {

// --- Scenes ---

inline const pelorin::TRGBAColor kBlack{0, 0, 0, 1};
inline const pelorin::TRGBAColor kRed{1, 0, 0, 1};
inline const pelorin::TRGBAColor kNoPaint{};

// A black line (a bond when longer than one unit).
inline pelorin::TGeoElement Line(pelorin::TPoint2D a, pelorin::TPoint2D b, float width = 1, bool dashed = false) {
  pelorin::TGeoElement e = pelorin::MakeElement(pelorin::gkLine, kBlack, kNoPaint, width, dashed);
  e.Points = {a, b};
  return e;
}

// Black text of `size` units whose anchor point is `at`.
inline pelorin::TGeoElement Text(const std::string& text, pelorin::TPoint2D at, float size,
                                 const std::string& textAnchor = "start") {
  pelorin::TGeoElement e = pelorin::MakeElement(pelorin::gkText, kNoPaint, kNoPaint, 0, false);
  e.Points = {at};
  e.Text = text;
  e.FontSize = size;
  e.TextAnchor = textAnchor;
  e.TextColor = kBlack;
  return e;
}

// A record title: the text the viewer can hide.
inline pelorin::TGeoElement Heading(pelorin::TGeoElement text) {
  text.IsHeading = true;
  return text;
}

inline pelorin::TGeoElement Polygon(std::initializer_list<pelorin::TPoint2D> points, pelorin::TRGBAColor fill,
                                    pelorin::TRGBAColor stroke = kBlack, float width = 1) {
  pelorin::TGeoElement e = pelorin::MakeElement(pelorin::gkPolygon, stroke, fill, width, false);
  e.Points = points;
  return e;
}

inline pelorin::TGeoElement Circle(pelorin::TPoint2D centre, float rx, float ry, pelorin::TRGBAColor fill = kNoPaint,
                                   pelorin::TRGBAColor stroke = kBlack, float width = 1) {
  pelorin::TGeoElement e = pelorin::MakeElement(pelorin::gkCircle, stroke, fill, width, false);
  e.CX = centre.X;
  e.CY = centre.Y;
  e.RX = rx;
  e.RY = ry;
  return e;
}

// The elements on a page of `pageSize` x `pageSize` units (no page when 0).
inline pelorin::TSVGScene SceneOf(std::initializer_list<pelorin::TGeoElement> elements, float pageSize = 0) {
  pelorin::TSVGScene scene;
  scene.Width = scene.Height = pageSize;
  for (const pelorin::TGeoElement& e : elements) pelorin::AddElement(scene, e);
  return scene;
}

// A single molecule as the converter lays it out: bonds and labels of 6.5 units inside a
// 100-unit page, and its title (none when empty) at the top left at size 18, over the drawing.
inline pelorin::TSVGScene ConverterMolecule(const std::string& title, pelorin::TRGBAColor titleColor = kBlack) {
  pelorin::TSVGScene scene = SceneOf({Line({15, 10}, {85, 10}), Line({85, 10}, {85, 80}), Line({85, 80}, {15, 80}),
                                      Text("N", {12, 12}, 6.5f), Text("O", {82, 82}, 6.5f), Text("2", {87, 84}, 5.3f)},
                                     100);
  if (title.empty()) return scene;
  pelorin::TGeoElement heading = Heading(Text(title, {10, 20}, 18));
  heading.TextColor = titleColor;
  pelorin::AddElement(scene, heading);
  return scene;
}

// --- Pixels ---

inline int Red(uint32_t c) {
  return (c >> 16) & 0xFF;
}
inline int Green(uint32_t c) {
  return (c >> 8) & 0xFF;
}
inline int Blue(uint32_t c) {
  return c & 0xFF;
}

// Paper, and what smoothing leaves next to it.
inline bool IsWhite(uint32_t c) {
  return Red(c) > 240 && Green(c) > 240 && Blue(c) > 240;
}
inline bool IsInk(uint32_t c) {
  return !IsWhite(c);
}
// Bonds and black text, their smoothed edges included.
inline bool IsDark(uint32_t c) {
  return Red(c) < 96 && Green(c) < 96 && Blue(c) < 96;
}
// The converter draws oxygen in red.
inline bool IsReddish(uint32_t c) {
  return Red(c) > 180 && Green(c) < 100 && Blue(c) < 100;
}

// The atom model's nitrogen (CPK blue, 3050F8), lit or shaded.
inline bool IsNitrogenBlue(uint32_t c) {
  return Blue(c) > 120 && Blue(c) > Red(c) + 70 && Blue(c) > Green(c) + 50;
}

// A picture as 0x00RRGGBB values, rows from the top.
struct TImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;
  uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x] & 0xFFFFFF; }
};

// The same picture: size and every pixel's colour.
inline bool operator==(const TImage& a, const TImage& b) {
  if (a.Width != b.Width || a.Height != b.Height) return false;
  for (int y = 0; y < a.Height; ++y)
    for (int x = 0; x < a.Width; ++x)
      if (a.At(x, y) != b.At(x, y)) return false;
  return true;
}

// Columns Left..Right-1 of rows Top..Bottom-1.
struct TArea {
  int Left = 0;
  int Top = 0;
  int Right = INT_MAX;
  int Bottom = INT_MAX;
};

// Where the matching pixels lie (inclusive bounds) and how many there are.
struct TBox {
  int Left = INT_MAX;
  int Top = INT_MAX;
  int Right = -1;
  int Bottom = -1;
  size_t Count = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
};

template <typename TMatch>
TBox BoxOf(const TImage& image, TMatch match, TArea area = {}) {
  TBox box;
  for (int y = std::max(area.Top, 0); y < std::min(area.Bottom, image.Height); ++y)
    for (int x = std::max(area.Left, 0); x < std::min(area.Right, image.Width); ++x)
      if (match(image.At(x, y))) {
        ++box.Count;
        box.Left = std::min(box.Left, x);
        box.Right = std::max(box.Right, x);
        box.Top = std::min(box.Top, y);
        box.Bottom = std::max(box.Bottom, y);
      }
  return box;
}

template <typename TMatch>
size_t CountPixels(const TImage& image, TMatch match, TArea area = {}) {
  return BoxOf(image, match, area).Count;
}

#ifdef _WIN32
// Any bitmap's pixels; empty for no bitmap. The bitmap must not be selected into a DC.
inline TImage ImageOf(HBITMAP bitmap) {
  TImage image;
  BITMAP info{};
  if (!bitmap || !GetObject(bitmap, sizeof info, &info)) return image;
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = info.bmWidth;
  request.bmiHeader.biHeight = -info.bmHeight;  // top-down
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  image.Pixels.resize(static_cast<size_t>(info.bmWidth) * info.bmHeight);
  HDC dc = CreateCompatibleDC(nullptr);
  const int rows = GetDIBits(dc, bitmap, 0, info.bmHeight, image.Pixels.data(), &request, DIB_RGB_COLORS);
  DeleteDC(dc);
  if (rows != info.bmHeight) return {};
  image.Width = info.bmWidth;
  image.Height = info.bmHeight;
  return image;
}

// The pixels of a bitmap the caller owned; the bitmap is deleted.
inline TImage TakeImage(HBITMAP bitmap) {
  TImage image = ImageOf(bitmap);
  if (bitmap) DeleteObject(bitmap);
  return image;
}

// What a window draws into another program's bitmap when asked to (WM_PRINTCLIENT), as a host
// that shows it elsewhere reads it.
inline TImage PrintedImage(HWND wnd) {
  RECT r;
  GetClientRect(wnd, &r);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  void* bits = nullptr;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), r.right, -r.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HBITMAP target = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(mem, target);
  SendMessageA(wnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
  GdiFlush();
  SelectObject(mem, old);
  DeleteDC(mem);
  return TakeImage(target);
}
#endif

}  // namespace pelorin_test
