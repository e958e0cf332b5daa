// The colours of a 2D scene for a dark background: bonds and plain text light, the element
// colours of atom labels in a palette that reads on dark, the page dark. A map from scene to
// scene, so a switch between light and dark needs no new conversion.
#pragma once

#include "svg/uScene2D.h"

namespace pelorin {

// The background of a dark drawing: black, against which every colour the map gives has a
// contrast of at least kDarkMinContrast.
inline constexpr TRGBAColor kDarkBackground{0, 0, 0, 1};
inline constexpr float kDarkMinContrast = 4.5f;

// WCAG 2 relative luminance of a colour's red, green and blue (0 for black, 1 for white), and
// the contrast ratio of two colours, (L1 + 0.05) / (L2 + 0.05) with L1 the lighter: 1 to 21.
float RelativeLuminance(const TRGBAColor& color);
float ContrastRatio(const TRGBAColor& a, const TRGBAColor& b);

// How a colour is used: on the paper of a drawing (a shape's outline or fill), where white is the
// paper itself, or as the colour of text.
enum class TPaintUse : uint8_t { kShape, kText };

// The colour for a dark background. Black (bonds, plain text, wedges) and the converter's grey
// carbon and hydrogen become light grey; the converter's nitrogen, oxygen, fluorine, phosphorus,
// sulfur, chlorine, bromine and iodine get the colours of a dark palette (RDKit's); white paper
// becomes the background; any other colour keeps its hue and is lightened as far as it needs to
// read on the background. Alpha is kept.
TRGBAColor DarkColor(const TRGBAColor& color, TPaintUse use);

// The scene with every colour mapped by DarkColor. A text that would be drawn in the renderer's
// fallback black (no alpha) becomes light grey.
TSVGScene DarkScene(const TSVGScene& scene);

}  // namespace pelorin
