// The text side of the exports: record titles removed from SVG, proposed file names.
#include "viewer/uExportText.h"

#include <pugixml.hpp>
#include <string_view>

#include "support/uText.h"

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

std::string DefaultExportNameFor(const std::string& fileName, size_t recordCount, int molIndex) {
  std::string name;
  std::string_view trimmed = TrimView(fileName);
  if (!trimmed.empty()) {
    name = std::string(WithoutExtension(WithoutDirectory(trimmed)));
    if (recordCount > 1) name += "_" + std::to_string(static_cast<long long>(molIndex) + 1);
  }
  return name.empty() ? "pelorin_export" : name;
}

}  // namespace pelorin
