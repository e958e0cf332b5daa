// Helpers shared by the SVG reader's source files; not part of its public interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <pugixml.hpp>
#include <string_view>

#include "support/uText.h"
#include "svg/uSVGParser.h"

namespace pelorin {
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
