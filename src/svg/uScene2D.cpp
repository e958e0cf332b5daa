// The 2D scene model: making elements and appending them to a scene.
#include "svg/uScene2D.h"

#include <utility>

namespace pelorin {

TGeoElement MakeElement(TGeoKind kind, const TRGBAColor& stroke, const TRGBAColor& fill, float strokeWidth,
                        bool dashed) {
  TGeoElement element;
  element.Kind = kind;
  element.Stroke = stroke;
  element.Fill = fill;
  element.StrokeWidth = strokeWidth;
  element.Dashed = dashed;
  return element;
}

TGeoElement& NextFreeElement(TSVGScene& scene) {
  if (static_cast<size_t>(scene.Count) >= scene.Elements.size())
    scene.Elements.resize(scene.Elements.size() + kSceneElementPage);
  return scene.Elements[static_cast<size_t>(scene.Count)];
}

void AddElement(TSVGScene& scene, const TGeoElement& element) {
  NextFreeElement(scene) = element;
  ++scene.Count;
}

void AddElement(TSVGScene& scene, TGeoElement&& element) {
  NextFreeElement(scene) = std::move(element);
  ++scene.Count;
}

}  // namespace pelorin
