// The text side of the exports: record titles removed from SVG, proposed file names.
#include "viewer/uExportText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <pugixml.hpp>
#include <string_view>

#include "render/uView2D.h"
#include "support/uText.h"
#include "svg/uSVGParser.h"

namespace pelorin {
namespace {

// Keeps everything the converter wrote (declaration, doctype, comments, processing
// instructions, whitespace and its CR LF line breaks), so that only the removed titles differ.
constexpr unsigned kStripParseOptions =
    (pugi::parse_full | pugi::parse_ws_pcdata) & ~static_cast<unsigned>(pugi::parse_eol);
// No added declaration (the parsed one is written back) and no reindentation.
constexpr unsigned kStripFormat = pugi::format_raw | pugi::format_no_declaration;

// The element's name without a namespace prefix.
std::string_view LocalName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  size_t colon = name.find(':');
  return colon == std::string_view::npos || colon + 1 == name.size() ? name : name.substr(colon + 1);
}

class TStringWriter : public pugi::xml_writer {
 public:
  explicit TStringWriter(std::string& out) : out_(out) {}
  void write(const void* data, size_t size) override { out_.append(static_cast<const char*>(data), size); }

 private:
  std::string& out_;
};

void RemoveTitlesAfterFirstGroup(pugi::xml_node root) {
  bool afterGroup = false;
  for (pugi::xml_node node = root.first_child(); node;) {
    pugi::xml_node next = node.next_sibling();  // taken first: `node` may be removed
    if (node.type() == pugi::node_element) {
      std::string_view name = LocalName(node);
      if (name == "text" && afterGroup)
        root.remove_child(node);
      else if (name == "g" || name == "svg")
        afterGroup = true;
    }
    node = next;
  }
}

std::string StripHeadingsOrThrow(const std::string& svgText) {
  pugi::xml_document doc;
  if (!doc.load_buffer(svgText.data(), svgText.size(), kStripParseOptions, pugi::encoding_utf8)) return svgText;
  pugi::xml_node root = doc.document_element();
  if (!root) return svgText;
  RemoveTitlesAfterFirstGroup(root);
  std::string out;
  out.reserve(svgText.size());
  TStringWriter writer(out);
  doc.save(writer, "", kStripFormat, pugi::encoding_utf8);
  return out;
}

// The first top-level "text" after the drawing's group: where the converter writes a title.
pugi::xml_node TitleAfterFirstGroup(pugi::xml_node root) {
  bool afterGroup = false;
  for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
    if (node.type() != pugi::node_element) continue;
    std::string_view name = LocalName(node);
    if (name == "text" && afterGroup) return node;
    if (name == "g" || name == "svg") afterGroup = true;
  }
  return {};
}

std::string Number(float value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", static_cast<double>(value));
  return buffer;
}

// "200px" scaled by `factor`, its unit kept; unchanged when it does not begin with a number.
std::string ScaledLength(const char* length, float factor) {
  char* end = nullptr;
  const float value = std::strtof(length, &end);
  if (end == length || !std::isfinite(value)) return length;
  return Number(value * factor) + end;
}

// The view box grown to hold the band below the drawing; the page's white rectangle (a top-level
// rect covering the old box) and the picture's size grow with it.
void GrowViewBox(pugi::xml_node root, const TBounds2D& band) {
  float x = 0, y = 0, w = 0, h = 0;
  if (std::sscanf(root.attribute("viewBox").as_string(), "%f %f %f %f", &x, &y, &w, &h) != 4 || !(w > 0) || !(h > 0))
    return;
  const float minX = std::min(x, band.MinX), maxX = std::max(x + w, band.MaxX), maxY = std::max(y + h, band.MaxY);
  const float newW = maxX - minX, newH = maxY - y;
  if (newW <= w && newH <= h) return;
  root.attribute("viewBox").set_value(
      (Number(minX) + " " + Number(y) + " " + Number(newW) + " " + Number(newH)).c_str());
  if (pugi::xml_attribute width = root.attribute("width"))
    width.set_value(ScaledLength(width.value(), newW / w).c_str());
  if (pugi::xml_attribute height = root.attribute("height"))
    height.set_value(ScaledLength(height.value(), newH / h).c_str());
  for (pugi::xml_node rect = root.child("rect"); rect; rect = rect.next_sibling("rect")) {
    if (rect.attribute("x").as_float() != x || rect.attribute("y").as_float() != y ||
        rect.attribute("width").as_float() != w || rect.attribute("height").as_float() != h)
      continue;
    rect.attribute("x").set_value(Number(minX).c_str());
    rect.attribute("width").set_value(Number(newW).c_str());
    rect.attribute("height").set_value(Number(newH).c_str());
  }
}

std::string PlaceTitleInBandOrThrow(const std::string& svgText) {
  TSVGScene scene;
  if (!ParseSVG(svgText, scene)) return svgText;
  const TCaptionLayout layout = LayOutCaption(scene, TAnchorMatch::Exact);
  if (layout.Index < 0 || layout.Element.Points.empty()) return svgText;
  const TGeoElement& title = scene.Elements[static_cast<size_t>(layout.Index)];
  pugi::xml_document doc;
  if (!doc.load_buffer(svgText.data(), svgText.size(), kStripParseOptions, pugi::encoding_utf8)) return svgText;
  pugi::xml_node root = doc.document_element();
  pugi::xml_node text = root ? TitleAfterFirstGroup(root) : pugi::xml_node{};
  // Only the title the scene holds, where the scene has it (in the root's own units).
  if (!text || title.Points.empty() || std::fabs(text.attribute("x").as_float() - title.Points[0].X) > 0.01f ||
      std::fabs(text.attribute("y").as_float() - title.Points[0].Y) > 0.01f)
    return svgText;
  const TPoint2D at = layout.Element.Points[0];
  text.attribute("x").set_value(Number(at.X).c_str());
  text.attribute("y").set_value(Number(at.Y).c_str());
  (text.attribute("font-size") ? text.attribute("font-size") : text.append_attribute("font-size"))
      .set_value(Number(layout.Element.FontSize).c_str());
  (text.attribute("text-anchor") ? text.attribute("text-anchor") : text.append_attribute("text-anchor"))
      .set_value("middle");
  if (layout.Element.Text != title.Text) text.text().set(AnsiToUtf8(layout.Element.Text).c_str());
  GrowViewBox(root, layout.Band);
  std::string out;
  out.reserve(svgText.size() + 64);
  TStringWriter writer(out);
  doc.save(writer, "", kStripFormat, pugi::encoding_utf8);
  return out;
}

// Everything after the last directory separator or drive colon.
std::string_view WithoutDirectory(std::string_view path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string_view WithoutExtension(std::string_view name) {
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

}  // namespace

std::string StripHeadings(const std::string& svgText, bool showHeadings) {
  if (showHeadings) return svgText;
  try {
    return StripHeadingsOrThrow(svgText);
  } catch (...) {  // out of memory while copying or writing: export what the converter wrote
    return svgText;
  }
}

std::string ExportSVGText(const std::string& svgText, bool showHeadings) {
  if (!showHeadings) return StripHeadings(svgText, false);
  try {
    return PlaceTitleInBandOrThrow(svgText);
  } catch (...) {  // out of memory while reading or writing: export what the converter wrote
    return svgText;
  }
}

std::string DefaultExportNameFor(const std::string& fileName, size_t recordCount, int shownRecord) {
  std::string name;
  std::string_view trimmed = TrimView(fileName);
  if (!trimmed.empty()) {
    name = std::string(WithoutExtension(WithoutDirectory(trimmed)));
    if (recordCount > 1) name += "_" + std::to_string(static_cast<long long>(shownRecord) + 1);
  }
  return name.empty() ? "pelorin_export" : name;
}

}  // namespace pelorin
