// The SVG document reader: text clean-up, XML parse, view box, top-level walk, heading marks.
#include "svg/uSVGParser.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <utility>

#include "support/uDebugLog.h"
#include "svg/uSVGDetail.h"

namespace pelorin {
namespace {

constexpr float kDefaultPageSize = 200;
constexpr size_t kScenePageElements = 64;
constexpr size_t kLoggedHeadChars = 400;
constexpr size_t kLoggedSnippetChars = 200;

TGeoElement& NextFreeSlot(TSVGScene& scene) {
  if (static_cast<size_t>(scene.Count) >= scene.Elements.size())
    scene.Elements.resize(scene.Elements.size() + kScenePageElements);
  return scene.Elements[static_cast<size_t>(scene.Count)];
}

void ResetScene(TSVGScene& scene) noexcept {
  std::vector<TGeoElement>().swap(scene.Elements);
  scene.Count = 0;
  scene.ViewBoxX = scene.ViewBoxY = 0;
  scene.Width = scene.Height = kDefaultPageSize;
}

bool StartsWithLineMarker(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlankChar(line[i])) ++i;
  line.remove_prefix(i);
  return StartsWith(line, "<!DOCTYPE") || StartsWith(line, "<?xml-stylesheet");
}

// UTF-16 and UTF-32 texts (with or without a byte order mark) cannot be split into lines byte by
// byte without corrupting them; the XML parser skips DOCTYPE and processing instructions itself.
bool IsWideEncoded(std::string_view text) {
  if (text.size() < 2) return false;
  auto b0 = static_cast<unsigned char>(text[0]), b1 = static_cast<unsigned char>(text[1]);
  return (b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) || b0 == 0 || b1 == 0;
}

// Looks for `marker` by its second character: every tag starts with '<', while the '!' or '?'
// that follows it in a marker is rare in a drawing.
bool ContainsMarker(std::string_view text, std::string_view marker) {
  for (size_t at = text.find(marker[1], 1); at != std::string_view::npos; at = text.find(marker[1], at + 1))
    if (StartsWith(text.substr(at - 1), marker)) return true;
  return false;
}

// The clean-up drops lines that start with one of its markers and otherwise only rewrites line
// breaks, which the parser normalises anyway; without a marker in the text it can be skipped.
bool NeedsLineCleanup(std::string_view text) {
  if (IsWideEncoded(text)) return false;
  return ContainsMarker(text, "<!DOCTYPE") || ContainsMarker(text, "<?xml-stylesheet");
}

int ClampToInt(size_t n) {
  return static_cast<int>(std::min<size_t>(n, INT_MAX));
}

const char* LocalName(const pugi::xml_node& node) {
  const char* name = node.name();
  for (const char* p = name; *p; ++p)
    if (*p == ':') return p + 1;
  return name;
}

bool IsSvgElement(const pugi::xml_node& node) {
  return EqualsNoCase(LocalName(node), "svg") || EqualsNoCase(node.name(), "svg");
}

pugi::xml_node FindSvgRoot(const pugi::xml_node& documentElement) {
  if (IsSvgElement(documentElement)) return documentElement;
  DebugLog("ParseSVG: root is not <svg>, searching children...");
  for (pugi::xml_node child = documentElement.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && IsSvgElement(child)) return child;
  return documentElement;
}

void ReadViewBox(const pugi::xml_node& root, TSVGScene& scene) {
  std::string_view viewBox = svg_detail::AttrView(root, "viewBox");
  if (!viewBox.empty()) {
    std::string_view fields[4];
    int count = 0;
    svg_detail::ForEachField(viewBox, [&](std::string_view field) {
      fields[count++] = field;
      return count < 4;
    });
    if (count < 4) return;
    scene.ViewBoxX = ParseNumber(fields[0], 0);
    scene.ViewBoxY = ParseNumber(fields[1], 0);
    scene.Width = ParseNumber(fields[2], kDefaultPageSize);
    scene.Height = ParseNumber(fields[3], kDefaultPageSize);
    return;
  }
  // Without a view box only a "px" unit is understood; any other unit leaves the default.
  auto sizeAttr = [&](const char* name) {
    std::string value = GetAttr(root, name);
    size_t px = value.find("px");
    if (px != std::string::npos) value.erase(px, 2);
    return ParseNumber(value, kDefaultPageSize);
  };
  scene.Width = sizeAttr("width");
  scene.Height = sizeAttr("height");
}

// Top-level children in order; text that follows the first group or nested svg is a caption of
// the drawing above it and gets the heading mark.
void ReadTopLevel(const pugi::xml_node& root, TSVGScene& scene) {
  const TRGBAColor noStroke{0, 0, 0, 0};
  const TRGBAColor blackFill{0, 0, 0, 1};
  bool drawingSeen = false;
  svg_detail::ForEachChild(root, [&](const pugi::xml_node& child, pugi::xml_node_type type) {
    if (type != pugi::node_element) return;
    const svg_detail::TSvgTag tag = svg_detail::TagOf(child);
    const int32_t before = scene.Count;
    ReadElement(child, scene, noStroke, blackFill, 1, false, TSVGTransform{}, 0);
    if (tag == svg_detail::tagText && drawingSeen) {
      for (int32_t i = before; i < scene.Count; ++i)
        if (scene.Elements[i].Kind == gkText) scene.Elements[i].IsHeading = true;
    }
    if (tag == svg_detail::tagG || tag == svg_detail::tagSvg) drawingSeen = true;
  });
}

void LogXmlError(std::string_view text, const pugi::xml_parse_result& result) {
  DebugLog("ParseSVG XML error: " + std::string(result.description()) + " at offset " + std::to_string(result.offset));
  if (!DebugLogEnabled()) return;
  // The parser may have rewritten its buffer in place; the snippet comes from a fresh clean-up.
  std::string cleaned = IsWideEncoded(text) ? std::string(text) : RemovePIs(text);
  DebugLogFmt("ParseSVG: SVG snippet=[%.*s]", ClampToInt(std::min(cleaned.size(), kLoggedSnippetChars)),
              cleaned.c_str());
}

bool ParseSVGUnguarded(std::string_view text, TSVGScene& scene) {
  ResetScene(scene);
  DebugLogFmt("ParseSVG: input length=%d bytes", ClampToInt(text.size()));
  if (!text.empty())
    DebugLogFmt("ParseSVG: first 400 chars=[%.*s]", ClampToInt(std::min(text.size(), kLoggedHeadChars)), text.data());

  pugi::xml_document document;
  pugi::xml_parse_result result;
  std::string cleaned;
  if (NeedsLineCleanup(text)) {
    cleaned = RemovePIs(text);
    result = document.load_buffer_inplace(cleaned.data(), cleaned.size(), SvgParseOptions());
  } else {
    result = document.load_buffer(text.data(), text.size(), SvgParseOptions());
  }
  if (!result) {
    LogXmlError(text, result);
    return false;
  }
  pugi::xml_node root = document.document_element();
  if (!root) {
    DebugLog("ParseSVG: Root=nil");
    return false;
  }
  DebugLogFmt("ParseSVG: Root tag=[%s] local=[%s]", root.name(), LocalName(root));
  root = FindSvgRoot(root);

  ReadViewBox(root, scene);
  DebugLogFmt("ParseSVG: viewBox=%.1f,%.1f W=%.1f H=%.1f", scene.ViewBoxX, scene.ViewBoxY, scene.Width, scene.Height);

  // Converter drawings spend well over 64 bytes of text per element: reserving for that spares
  // regrowing a large array and stays in proportion to the input.
  scene.Elements.reserve(text.size() / 64 + kScenePageElements);
  ReadTopLevel(root, scene);
  DebugLogFmt("ParseSVG: elements=%d", scene.Count);
  if (scene.Count == 0) DebugLog("ParseSVG WARNING: scene has 0 elements - check SVG structure above");
  return scene.Count > 0;
}

}  // namespace

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

namespace svg_detail {

void ClearElement(TGeoElement& e) {
  // Field by field: the strings and the point array keep their buffers.
  e.Kind = gkLine;
  e.Points.clear();
  e.CX = e.CY = e.RX = e.RY = 0;
  e.Stroke = e.Fill = TRGBAColor{};
  e.StrokeWidth = 0;
  e.Dashed = false;
  e.Text.clear();
  e.FontSize = 0;
  e.TextAnchor.clear();
  e.TextColor = e.TextStroke = TRGBAColor{};
  e.TextStrokeWidth = 0;
  e.FontWeight.clear();
  e.FontFamily.clear();
  e.FontStyle.clear();
  e.IsHeading = false;
}

TGeoElement& BeginElement(TSVGScene& scene) {
  TGeoElement& slot = NextFreeSlot(scene);
  ClearElement(slot);
  return slot;
}

void EndElement(TSVGScene& scene, bool keep) {
  if (keep) {
    ++scene.Count;
  } else {
    ClearElement(scene.Elements[static_cast<size_t>(scene.Count)]);
  }
}

}  // namespace svg_detail

void AddElement(TSVGScene& scene, const TGeoElement& element) {
  NextFreeSlot(scene) = element;
  ++scene.Count;
}

void AddElement(TSVGScene& scene, TGeoElement&& element) {
  NextFreeSlot(scene) = std::move(element);
  ++scene.Count;
}

unsigned SvgParseOptions() {
  // No CDATA, comments, PIs or DOCTYPE in the tree: the reader ignores them. Blank-only text
  // nodes are left out too; text runs are trimmed, so they would only join two stretches of text
  // around a comment or an ignored element.
  return pugi::parse_escapes | pugi::parse_wconv_attribute | pugi::parse_eol;
}

std::string RemovePIs(std::string_view text) {
  std::string cleaned;
  cleaned.reserve(text.size() + text.size() / 16 + 2);
  size_t i = 0;
  while (i < text.size()) {
    size_t end = i;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    std::string_view line = text.substr(i, end - i);
    if (!StartsWithLineMarker(line)) {
      cleaned.append(line);
      cleaned.append("\r\n");
    }
    // CR LF, LF and a lone CR each end a line; a final break adds no empty line.
    i = end;
    if (i < text.size()) i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
  }
  return cleaned;
}

bool ParseSVG(std::string_view text, TSVGScene& scene) {
  try {
    return ParseSVGUnguarded(text, scene);
  } catch (const std::exception& error) {
    ResetScene(scene);
    try {
      DebugLog(std::string("ParseSVG ERROR: ") + error.what());
    } catch (...) {
    }
    return false;
  } catch (...) {
    ResetScene(scene);
    return false;
  }
}

}  // namespace pelorin
