// Attribute value parsers of the SVG reader: numbers, lengths, colours, translations, names.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "svg/uSVGDetail.h"
#include "svg/uSVGParser.h"

namespace pelorin {
namespace {

struct TNamedColor {
  const char* Keyword;
  uint8_t R, G, B;
};

// The colour keywords understood, searched first to last; other CSS names are not.
constexpr TNamedColor NamedColors[] = {
    {"black", 0, 0, 0},          {"white", 255, 255, 255},     {"red", 255, 0, 0},
    {"green", 0, 128, 0},        {"lime", 0, 255, 0},          {"blue", 0, 0, 255},
    {"yellow", 255, 255, 0},     {"cyan", 0, 255, 255},        {"aqua", 0, 255, 255},
    {"magenta", 255, 0, 255},    {"fuchsia", 255, 0, 255},     {"orange", 255, 165, 0},
    {"purple", 128, 0, 128},     {"brown", 165, 42, 42},       {"gray", 128, 128, 128},
    {"grey", 128, 128, 128},     {"silver", 192, 192, 192},    {"darkgray", 169, 169, 169},
    {"darkgrey", 169, 169, 169}, {"lightgray", 211, 211, 211}, {"lightgrey", 211, 211, 211},
    {"darkred", 139, 0, 0},      {"darkgreen", 0, 100, 0},     {"darkblue", 0, 0, 139},
    {"navy", 0, 0, 128},         {"teal", 0, 128, 128},        {"maroon", 128, 0, 0},
    {"olive", 128, 128, 0},
};

bool HasUpper(const char* s) {
  for (; *s; ++s)
    if (*s >= 'A' && *s <= 'Z') return true;
  return false;
}

// Parses exactly the whole text (no blanks, "." as decimal point) as a finite single.
bool ParseWholeNumber(std::string_view s, float& value) {
  // from_chars takes no leading plus sign; a plus before another sign stays an error.
  if (s.size() > 1 && s[0] == '+' && s[1] != '+' && s[1] != '-') s.remove_prefix(1);
  if (s.empty()) return false;
  double d = 0;
  if (!svg_detail::ParseShortDecimal(s, d)) {
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
  }
  float f = static_cast<float>(d);
  if (!std::isfinite(f)) return false;  // "nan", "inf" and values beyond the single range
  value = f;
  return true;
}

// A decimal integer with an optional sign; anything else (including "50%" or "1.5") gives 0.
int32_t ParseIntOrZero(std::string_view s) {
  if (s.size() > 1 && s[0] == '+' && s[1] != '+' && s[1] != '-') s.remove_prefix(1);
  int32_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return (ec == std::errc() && end == s.data() + s.size()) ? value : 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAsciiChar(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// An invalid pair gives 0 for its channel, as the reader has always done.
float HexChannel(char high, char low) {
  int h = HexDigit(high), l = HexDigit(low);
  if (h < 0 || l < 0) return 0.0f;
  return static_cast<float>(h * 16 + l) / 255.0f;
}

bool ParseHexColor(std::string_view s, TRGBAColor& color) {
  if (s.size() == 4) {
    color.R = HexChannel(s[1], s[1]);
    color.G = HexChannel(s[2], s[2]);
    color.B = HexChannel(s[3], s[3]);
    return true;
  }
  if (s.size() == 7) {
    color.R = HexChannel(s[1], s[2]);
    color.G = HexChannel(s[3], s[4]);
    color.B = HexChannel(s[5], s[6]);
    return true;
  }
  return false;
}

bool ParseNamedColor(std::string_view s, TRGBAColor& color) {
  for (const TNamedColor& entry : NamedColors) {
    if (EqualsNoCase(s, entry.Keyword)) {
      color.R = entry.R / 255.0f;
      color.G = entry.G / 255.0f;
      color.B = entry.B / 255.0f;
      return true;
    }
  }
  return false;
}

// "rgb(r,g,b)" with channels of one to three digits and nothing between them, as the converter
// writes its colours; false for every other form, which the general reader then takes. `atEnd(p)`
// tells where the text ends.
template <typename TAtEnd>
bool ParseCompactRgb(const char* p, TAtEnd atEnd, TRGBAColor& color) {
  for (char c : {'r', 'g', 'b', '('})
    if (atEnd(p) || *p++ != c) return false;
  float channels[3];
  for (int k = 0; k < 3; ++k) {
    int value = 0, digits = 0;
    for (; !atEnd(p) && *p >= '0' && *p <= '9' && digits <= 3; ++p, ++digits) value = value * 10 + (*p - '0');
    if (digits == 0 || digits > 3 || atEnd(p) || *p != (k < 2 ? ',' : ')')) return false;
    ++p;
    channels[k] = static_cast<float>(value) / 255.0f;
  }
  color.R = channels[0];
  color.G = channels[1];
  color.B = channels[2];
  return true;
}

bool ParseRgbFunction(std::string_view args, TRGBAColor& color) {
  size_t close = args.find(')');
  if (close != std::string_view::npos) args = args.substr(0, close);
  float channels[3] = {0, 0, 0};
  int fields = 0;
  svg_detail::ForEachField(args, [&](std::string_view field) {
    channels[fields++] = static_cast<float>(ParseIntOrZero(field)) / 255.0f;
    return fields < 3;
  });
  if (fields < 3) return false;
  color.R = channels[0];
  color.G = channels[1];
  color.B = channels[2];
  return true;
}

}  // namespace

namespace svg_detail {

std::string_view AttrView(const pugi::xml_node& element, const char* name) {
  const char* value = element.attribute(name).value();
  if (*value || !HasUpper(name)) return value;
  char lower[64];
  size_t n = std::strlen(name);
  if (n >= sizeof(lower)) return value;
  for (size_t i = 0; i <= n; ++i) lower[i] = LowerAsciiChar(name[i]);
  return element.attribute(lower).value();
}

TSvgTag TagOf(const pugi::xml_node& node) {
  // One pass finds both the length and the local name; the names are short.
  const char* const full = node.name();
  const char* local = full;
  const char* p = full;
  for (; *p; ++p)
    if (*p == ':' && local == full) local = p + 1;
  std::string_view name(full, static_cast<size_t>(p - full));
  if (local != p) name.remove_prefix(static_cast<size_t>(local - full));
  auto is = [name](std::string_view tagName) { return EqualsNoCase(name, tagName); };
  // By length first: every element of a drawing passes here.
  switch (name.size()) {
    case 1:
      return is("g") ? tagG : tagOther;
    case 3:
      return is("svg") ? tagSvg : tagOther;
    case 4:
      return is("line") ? tagLine : is("text") ? tagText : is("rect") ? tagRect : is("path") ? tagPath : tagOther;
    case 5:
      return is("tspan") ? tagTspan : tagOther;
    case 6:
      return is("circle") ? tagCircle : tagOther;
    case 7:
      return is("polygon") ? tagPolygon : is("ellipse") ? tagEllipse : tagOther;
    default:
      return tagOther;
  }
}

bool ParseColorValue(const char* value, TRGBAColor& color) {
  if (ParseCompactRgb(
          value, [](const char* p) { return *p == 0; }, color)) {
    color.A = 1;
    return true;
  }
  return ParseColor(value, color);
}

float ParseNumberWithoutUnits(std::string_view value, std::initializer_list<std::string_view> units,
                              float defaultValue) {
  double plain = 0;
  if (svg_detail::ParseShortDecimal(value, plain)) return static_cast<float>(plain);  // no unit to remove
  bool mayHaveUnit = false;
  for (char c : value) {
    if (c == '%' || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) {
      mayHaveUnit = true;
      break;
    }
  }
  if (!mayHaveUnit) return ParseNumber(value, defaultValue);
  std::string s(value);
  for (std::string_view unit : units) {
    size_t at = FindNoCase(s, unit);
    if (at != std::string_view::npos) s.erase(at, unit.size());
  }
  return ParseNumber(s, defaultValue);
}

}  // namespace svg_detail

float ParseNumber(std::string_view text, float defaultValue) {
  // Most numbers are plain decimals without blanks or a decimal comma: they need neither the
  // trim nor the comma search, and their value is always a finite single.
  double plain = 0;
  if (svg_detail::ParseShortDecimal(text, plain)) return static_cast<float>(plain);
  float value = defaultValue;
  if (text.find(',') == std::string_view::npos) {
    return ParseWholeNumber(TrimView(text), value) ? value : defaultValue;
  }
  std::string dotted = ReplaceAll(text, ',', '.');
  return ParseWholeNumber(TrimView(dotted), value) ? value : defaultValue;
}

bool ParseColor(std::string_view text, TRGBAColor& color) {
  color.A = 1;
  const char* const end = text.data() + text.size();
  if (ParseCompactRgb(
          text.data(), [end](const char* p) { return p == end; }, color))
    return true;
  std::string_view s = TrimView(text);
  if (s.empty() || EqualsNoCase(s, "none")) {
    color = TRGBAColor{0, 0, 0, 0};
    return true;
  }
  if (s[0] == '#') return ParseHexColor(s, color);
  // No keyword begins with "rgb(", so testing it first (the converter's own form) changes nothing.
  if (s.size() >= 4 && EqualsNoCase(s.substr(0, 4), "rgb(")) return ParseRgbFunction(s.substr(4), color);
  return ParseNamedColor(s, color);
}

std::string GetAttr(const pugi::xml_node& element, const char* name) {
  return std::string(svg_detail::AttrView(element, name));
}

float GetFloatAttr(const pugi::xml_node& element, const char* name, float defaultValue) {
  return ParseNumber(svg_detail::AttrView(element, name), defaultValue);
}

float GetLengthAttr(const pugi::xml_node& element, const char* name, float defaultValue) {
  return svg_detail::ParseNumberWithoutUnits(TrimView(svg_detail::AttrView(element, name)), {"px", "pt", "em", "%"},
                                             defaultValue);
}

std::string GetElementName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  std::string_view local = name;
  size_t colon = name.find(':');
  if (colon != std::string_view::npos) local = name.substr(colon + 1);
  return LowerAscii(local.empty() ? name : local);
}

void ParseTranslate(std::string_view text, float& tx, float& ty) {
  tx = ty = 0;
  std::string_view s = TrimView(text);
  constexpr std::string_view kTranslate = "translate(";
  if (s.size() < kTranslate.size() || !EqualsNoCase(s.substr(0, kTranslate.size()), kTranslate)) return;
  size_t open = s.find('(');
  size_t close = s.find(')');
  if (close == std::string_view::npos || close < open) return;
  int fields = 0;
  svg_detail::ForEachField(s.substr(open + 1, close - open - 1), [&](std::string_view field) {
    (fields++ == 0 ? tx : ty) = ParseNumber(field, 0);
    return fields < 2;
  });
}

}  // namespace pelorin
