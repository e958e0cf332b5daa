// What a viewer window shows, as one value: the drawing or model a load made (or the window
// kept), the converter's SVG behind a drawing, the record's data, and whether it could be made.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "viewer/uViewCache.h"

namespace pelorin {

// A load's result and the window's view on show are the same value, so the window adopts a
// finished load, a kept view or an empty one through one assignment (uLoadController).
struct TShownView : TKeptView {
  std::string SvgText;   // 2D: the converter's SVG (what the SVG export saves); not kept
  bool Ready = false;    // the drawing or model is there to draw
  std::string ErrorMsg;  // why it is not, told in its place
  // The view this is, under which it is kept; none when the file could not be read.
  std::optional<TViewKey> Key;
  // The scene in the dark palette, made when first drawn dark; goes with the scene.
  std::optional<TSVGScene> DarkScene;

  TShownView() = default;
  TShownView(TKeptView kept, std::optional<TViewKey> key)
      : TKeptView(std::move(kept)), Ready(true), Key(std::move(key)) {}
  // The drawing, model and data, for the window's kept views (the SVG is converted again when needed).
  TKeptView TakeKept() { return static_cast<TKeptView&&>(*this); }
};

}  // namespace pelorin
