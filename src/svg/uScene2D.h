// The 2D scene model: the styled primitives of one drawing, as the SVG reader fills them and
// the renderers, the rasteriser and the exports read them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelorin {

struct TPoint2D {
  float X = 0;
  float Y = 0;
};

using TPointArray = std::vector<TPoint2D>;

// Channels in 0..1 (not clamped); an alpha of 0 means "no paint".
struct TRGBAColor {
  float R = 0;
  float G = 0;
  float B = 0;
  float A = 0;
};

enum TGeoKind : int32_t {
  gkLine = 0,
  gkPolyline = 1,
  gkPolygon = 2,
  gkCircle = 3,
  gkEllipse = 4,
  gkText = 5,
};

// One primitive, already styled and mapped to the root's user units. (The reader fills entries in
// place: svg_detail::ClearElement must reset every field added here.)
struct TGeoElement {
  TGeoKind Kind = gkLine;
  TPointArray Points;
  float CX = 0;
  float CY = 0;
  float RX = 0;
  float RY = 0;
  TRGBAColor Stroke;
  TRGBAColor Fill;
  float StrokeWidth = 0;
  bool Dashed = false;
  std::string Text;
  float FontSize = 0;
  std::string TextAnchor;
  TRGBAColor TextColor;
  TRGBAColor TextStroke;
  float TextStrokeWidth = 0;
  std::string FontWeight;
  std::string FontFamily;
  std::string FontStyle;
  bool IsHeading = false;
};

// A scene's capacity grows by this many entries at a time.
inline constexpr size_t kSceneElementPage = 64;

// Elements.size() is the capacity (a multiple of kSceneElementPage); only the first Count
// entries are valid.
struct TSVGScene {
  std::vector<TGeoElement> Elements;
  int32_t Count = 0;
  float ViewBoxX = 0;
  float ViewBoxY = 0;
  float Width = 0;
  float Height = 0;
};

TGeoElement MakeElement(TGeoKind kind, const TRGBAColor& stroke, const TRGBAColor& fill, float strokeWidth,
                        bool dashed);
void AddElement(TSVGScene& scene, const TGeoElement& element);
void AddElement(TSVGScene& scene, TGeoElement&& element);
// The entry after the valid ones, for the caller to fill; a full scene first grows by a page.
// Count is left as it is.
TGeoElement& NextFreeElement(TSVGScene& scene);

// The valid elements of a scene in order, for a range-based for.
class TElementRange {
 public:
  TElementRange(const TGeoElement* first, const TGeoElement* last) : first_(first), last_(last) {}
  const TGeoElement* begin() const { return first_; }
  const TGeoElement* end() const { return last_; }
  bool empty() const { return first_ == last_; }

 private:
  const TGeoElement* first_;
  const TGeoElement* last_;
};

// The first Count entries, never more than the array holds and none for a negative Count: a
// scene is plain data, and readers of a damaged one must not run past its array.
inline TElementRange ValidElements(const TSVGScene& scene) {
  const int64_t count = std::clamp<int64_t>(scene.Count, 0, static_cast<int64_t>(scene.Elements.size()));
  const TGeoElement* first = scene.Elements.data();
  return {first, first + count};
}

}  // namespace pelorin
