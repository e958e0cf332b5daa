// Helpers shared by the SVG reader's source files; not part of its public interface.
#pragma once

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

bool EqualsNoCase(std::string_view a, std::string_view b);

// The elements the readers dispatch on, named as GetElementName names them.
enum TSvgTag { tagOther, tagLine, tagText, tagPolygon, tagCircle, tagEllipse, tagRect, tagPath, tagG, tagSvg, tagTspan };
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
