// The SVG reader's inside: value parsers, path data, element readers and the helpers its source
// files share. Not part of its public interface; its tests, fuzzers and benchmarks reach in here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "support/uText.h"
#include "svg/uSVGParser.h"

namespace pelorin {

// ---------------------------------------------------------------------------
// Attribute values
// ---------------------------------------------------------------------------

// A number in the text (a comma counts as decimal point), or `defaultValue` when the text is
// not exactly one finite number.
float ParseNumber(std::string_view text, float defaultValue);
// Fills `color` from "none", "#rgb", "#rrggbb", a colour keyword or "rgb(r,g,b)". Sets the alpha
// to 1 first; on false R, G, B are left as they were.
bool ParseColor(std::string_view text, TRGBAColor& color);
// The attribute under `name`, else under its lower-cased form; empty when absent.
std::string GetAttr(const pugi::xml_node& element, const char* name);
float GetFloatAttr(const pugi::xml_node& element, const char* name, float defaultValue);
// Like GetFloatAttr after removing a px, pt, em or % unit (no conversion).
float GetLengthAttr(const pugi::xml_node& element, const char* name, float defaultValue);
// The lower-cased local name (namespace prefix removed) used for dispatching.
std::string GetElementName(const pugi::xml_node& node);
// Only a leading "translate(" is understood; anything else gives (0, 0).
void ParseTranslate(std::string_view text, float& tx, float& ty);

// ---------------------------------------------------------------------------
// Path data
// ---------------------------------------------------------------------------

struct TPathToken {
  int32_t Kind = 0;  // 0: command letter, 1: number
  char Letter = 0;
  float Value = 0;
};
enum : int32_t { kPathTokenCommand = 0, kPathTokenNumber = 1 };

std::vector<TPathToken> TokenizePath(std::string_view text);
// Flattens one path into a single point list; curves become line segments, arcs straight lines.
// `points` is replaced only when at least one point results. Always returns true.
bool ParsePathData(std::string_view text, TPointArray& points, int32_t& count, bool& closed);
void FlattenQuadratic(TPointArray& buffer, TPoint2D p0, TPoint2D p1, TPoint2D p2, int depth);
void FlattenCubic(TPointArray& buffer, TPoint2D p0, TPoint2D p1, TPoint2D p2, TPoint2D p3, int depth);

// ---------------------------------------------------------------------------
// Element readers
// ---------------------------------------------------------------------------

// Maps (x, y) to (x*SX + TX, y*SY + TY); no rotation or skew.
struct TSVGTransform {
  float SX = 1;
  float SY = 1;
  float TX = 0;
  float TY = 0;
};

// The factor applied to stroke widths and font sizes under `t`.
float StrokeScale(const TSVGTransform& t);

// The paint an element inherits from its container, and a shape's paint after its own
// attributes are applied over it.
struct TShapePaint {
  TRGBAColor Stroke;
  TRGBAColor Fill;
  float StrokeWidth = 0;
  bool Dashed = false;
};

struct TFontAttrs {
  std::string Weight;
  std::string Style;
  std::string Family;
};

// Groups and nested svg elements deeper than this are skipped with their content.
constexpr int kMaxSvgNesting = 256;

// Returns the number of points; fewer than two pairs of numbers give none.
int32_t ParsePointList(std::string_view text, TPointArray& points);
void ParseStyleDecls(std::string_view style, TShapePaint& paint, float& fontSize);
void ReadPaintAttrs(const pugi::xml_node& element, TShapePaint& paint, float& fontSize);
TFontAttrs ReadFontAttrs(const pugi::xml_node& element, std::string_view style);

// Appends the primitives of `element` and its content to `scene` in document order, with the
// paint the element inherits. `depth` is the number of enclosing g/svg elements.
void ReadElement(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                 const TSVGTransform& transform, int depth = 0);
void ReadLine(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
              const TSVGTransform& transform);
void ReadCircle(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                const TSVGTransform& transform);
void ReadEllipse(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                 const TSVGTransform& transform);
void ReadRect(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
              const TSVGTransform& transform);
void ReadPolygon(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                 const TSVGTransform& transform);
void ReadPath(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
              const TSVGTransform& transform);
void ReadText(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
              const TSVGTransform& transform);
void ReadGroup(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
               const TSVGTransform& transform, int depth = 0);
void ReadNestedSvg(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                   const TSVGTransform& transform, int depth = 0);

// ---------------------------------------------------------------------------
// Document reader
// ---------------------------------------------------------------------------

// Drops the lines that begin with "<!DOCTYPE" or "<?xml-stylesheet"; the kept lines end in CR LF.
std::string RemovePIs(std::string_view text);

// The pugixml options the reader parses with (for comparisons of its cost).
unsigned SvgParseOptions();

namespace svg_detail {

// The attribute's text as stored in the document (UTF-8), looked up under `name` and, when that
// gives nothing, under its lower-cased form. Valid as long as the document lives.
std::string_view AttrView(const pugi::xml_node& element, const char* name);

// Plain decimals ("109.3", "-2") are by far the most common numbers in a drawing. With at most
// 15 digits the digits form an exact double, and one division by an exact power of ten rounds
// correctly: the result equals the general conversion's, at a fraction of its cost. `atEnd(p)`
// tells where the text ends, so views and NUL-terminated attribute values share the code.
template <typename TAtEnd>
bool ParseShortDecimal(const char* p, TAtEnd atEnd, double& value) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  auto isDigit = [](char c) { return static_cast<unsigned>(c - '0') < 10; };
  const bool negative = !atEnd(p) && *p == '-';
  if (negative) ++p;
  // Unsigned, so that overlong digit runs wrap harmlessly before the count rejects them.
  uint64_t mantissa = 0;
  const char* const integerStart = p;
  for (; !atEnd(p) && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  const ptrdiff_t integerDigits = p - integerStart;
  ptrdiff_t fractionDigits = 0;
  if (!atEnd(p) && *p == '.') {
    const char* const fractionStart = ++p;
    for (; !atEnd(p) && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    fractionDigits = p - fractionStart;
  }
  const ptrdiff_t digits = integerDigits + fractionDigits;
  if (!atEnd(p) || digits == 0 || digits > 15) return false;
  // Below 10^15 the mantissa fits a signed integer, whose conversion is a single instruction.
  value = static_cast<double>(static_cast<int64_t>(mantissa)) / kPowersOfTen[fractionDigits];
  if (negative) value = -value;
  return true;
}

inline bool ParseShortDecimal(std::string_view text, double& value) {
  const char* const end = text.data() + text.size();
  return ParseShortDecimal(
      text.data(), [end](const char* p) { return p == end; }, value);
}

inline bool ParseShortDecimal(const char* text, double& value) {
  return ParseShortDecimal(
      text, [](const char* p) { return *p == 0; }, value);
}

// ParseColor for an attribute value: the converter's "rgb(r,g,b)" is read without measuring the
// value first.
bool ParseColorValue(const char* value, TRGBAColor& color);

// The elements the readers dispatch on, named as GetElementName names them.
enum TSvgTag {
  tagOther,
  tagLine,
  tagText,
  tagPolygon,
  tagCircle,
  tagEllipse,
  tagRect,
  tagPath,
  tagG,
  tagSvg,
  tagTspan
};
TSvgTag TagOf(const pugi::xml_node& node);

// The scene's next free entry, cleared to the state of a new element: the readers fill it in
// place instead of moving a 300-byte temporary into it. EndElement counts it in when `keep`,
// else clears it again.
TGeoElement& BeginElement(TSVGScene& scene);
void EndElement(TSVGScene& scene, bool keep);
void ClearElement(TGeoElement& element);

// Removes the first occurrence of each unit (any case, in the order given), trims, and parses
// the rest with ParseNumber.
float ParseNumberWithoutUnits(std::string_view value, std::initializer_list<std::string_view> units,
                              float defaultValue);

// Calls visit(child, type) for every child of `parent`. Every test of a handle is a call into the
// XML library; a null node's type is node_null, so one call per child both tests and classifies.
template <typename TVisit>
void ForEachChild(const pugi::xml_node& parent, TVisit&& visit) {
  for (pugi::xml_node child = parent.first_child();; child = child.next_sibling()) {
    const pugi::xml_node_type type = child.type();
    if (type == pugi::node_null) return;
    visit(child, type);
  }
}

// Calls visit(field) for every field of `text` separated by commas and white space (codes <= 32),
// until visit returns false.
template <typename TVisit>
void ForEachField(std::string_view text, TVisit&& visit) {
  auto isSeparator = [](char c) { return c == ',' || IsBlankChar(c); };
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isSeparator(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !isSeparator(text[i])) ++i;
    if (i > start && !visit(text.substr(start, i - start))) return;
  }
}

// Splits a style attribute into declarations and calls visit(name, value) for each one that has
// a name: name trimmed and lower-cased, value trimmed.
template <typename TVisit>
void ForEachStyleDecl(std::string_view style, TVisit&& visit) {
  size_t start = 0;
  while (start <= style.size()) {
    size_t end = style.find(';', start);
    if (end == std::string_view::npos) end = style.size();
    std::string_view decl = style.substr(start, end - start);
    size_t colon = decl.find(':');
    if (colon != std::string_view::npos && colon > 0) {
      visit(LowerAscii(TrimView(decl.substr(0, colon))), TrimView(decl.substr(colon + 1)));
    }
    start = end + 1;
  }
}

}  // namespace svg_detail
}  // namespace pelorin
