// The colours of a 2D scene for a dark background.
#include "svg/uScenePalette.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace pelorin {

namespace {

constexpr TRGBAColor kLightGrey{0.9f, 0.9f, 0.9f, 1};
// Paper: every channel at least this light.
constexpr float kPaperChannel = 0.94f;

// A colour the converter writes, as its bytes, and what it becomes on dark.
struct TPaletteEntry {
  uint8_t R, G, B;
  TRGBAColor Dark;
};

// Black bonds and text, and the element colours of the converter's atom labels that a dark
// palette names (RDKit's: carbon and hydrogen light grey).
constexpr TPaletteEntry kPalette[] = {
    {0, 0, 0, kLightGrey},                    // bonds, plain text, wedges
    {102, 102, 102, kLightGrey},              // C
    {191, 191, 191, kLightGrey},              // H
    {12, 12, 255, {0.33f, 0.41f, 0.92f, 1}},  // N
    {255, 12, 12, {1.0f, 0.2f, 0.2f, 1}},     // O
    {127, 178, 255, {0.2f, 0.8f, 0.8f, 1}},   // F
    {255, 127, 0, {1.0f, 0.5f, 0.0f, 1}},     // P
    {178, 178, 0, {0.8f, 0.8f, 0.0f, 1}},     // S
    {30, 239, 30, {0.0f, 0.802f, 0.0f, 1}},   // Cl
    {165, 40, 40, {0.71f, 0.4f, 0.07f, 1}},   // Br
    {147, 0, 147, {0.89f, 0.004f, 1.0f, 1}},  // I
};

float Channel(float c) {
  return c >= 0 ? std::min(c, 1.0f) : 0.0f;  // NaN counts as 0
}

uint8_t Byte(float c) {
  return static_cast<uint8_t>(std::lround(Channel(c) * 255.0f));
}

float Linear(float c) {
  c = Channel(c);
  return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

TRGBAColor WithAlpha(TRGBAColor color, float alpha) {
  color.A = alpha;
  return color;
}

bool IsPaper(const TRGBAColor& c) {
  return Channel(c.R) >= kPaperChannel && Channel(c.G) >= kPaperChannel && Channel(c.B) >= kPaperChannel;
}

// The colour mixed with white as little as it takes to read on the background.
TRGBAColor Lightened(const TRGBAColor& color) {
  auto mix = [&](float t) {
    auto channel = [t](float c) { return Channel(c) + t * (1 - Channel(c)); };
    return TRGBAColor{channel(color.R), channel(color.G), channel(color.B), color.A};
  };
  if (ContrastRatio(mix(0), kDarkBackground) >= kDarkMinContrast) return mix(0);
  float low = 0, high = 1;
  for (int i = 0; i < 24; ++i) {
    const float t = (low + high) / 2;
    (ContrastRatio(mix(t), kDarkBackground) >= kDarkMinContrast ? high : low) = t;
  }
  return mix(high);
}

}  // namespace

float RelativeLuminance(const TRGBAColor& color) {
  return 0.2126f * Linear(color.R) + 0.7152f * Linear(color.G) + 0.0722f * Linear(color.B);
}

float ContrastRatio(const TRGBAColor& a, const TRGBAColor& b) {
  const float la = RelativeLuminance(a), lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05f) / (std::min(la, lb) + 0.05f);
}

TRGBAColor DarkColor(const TRGBAColor& color, TPaintUse use) {
  const uint8_t r = Byte(color.R), g = Byte(color.G), b = Byte(color.B);
  for (const TPaletteEntry& entry : kPalette)
    if (entry.R == r && entry.G == g && entry.B == b) return WithAlpha(entry.Dark, color.A);
  if (use == TPaintUse::kShape && IsPaper(color)) return WithAlpha(kDarkBackground, color.A);
  return Lightened(color);
}

TSVGScene DarkScene(const TSVGScene& scene) {
  TSVGScene dark = scene;
  const TElementRange elements = ValidElements(scene);
  for (size_t i = 0; i < static_cast<size_t>(elements.end() - elements.begin()); ++i) {
    TGeoElement& e = dark.Elements[i];
    e.Stroke = DarkColor(e.Stroke, TPaintUse::kShape);
    e.Fill = DarkColor(e.Fill, TPaintUse::kShape);
    if (e.Kind != gkText) continue;
    // The renderer draws a text without alpha in black, which the dark background would swallow.
    e.TextColor = e.TextColor.A == 0 ? kLightGrey : DarkColor(e.TextColor, TPaintUse::kText);
    e.TextStroke = DarkColor(e.TextStroke, TPaintUse::kText);
  }
  return dark;
}

}  // namespace pelorin
