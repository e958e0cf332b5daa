// The 2D scene model and the reader that fills it from the converter's SVG drawings.
#pragma once

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// ---------------------------------------------------------------------------
// Scene model
// ---------------------------------------------------------------------------

struct TPoint2D {
  float X = 0;
  float Y = 0;
};

using TPointArray = std::vector<TPoint2D>;

// Channels in 0..1 (not clamped); an alpha of 0 means "no paint".
struct TRGBAColor {
  float R = 0;
  float G = 0;
  float B = 0;
  float A = 0;
};

enum TGeoKind : int32_t {
  gkLine = 0,
  gkPolyline = 1,
  gkPolygon = 2,
  gkCircle = 3,
  gkEllipse = 4,
  gkText = 5,
};

// One primitive, already styled and mapped to the root's user units. (The reader fills entries in
// place: svg_detail::ClearElement must reset every field added here.)
struct TGeoElement {
  TGeoKind Kind = gkLine;
  TPointArray Points;
  float CX = 0;
  float CY = 0;
  float RX = 0;
  float RY = 0;
  TRGBAColor Stroke;
  TRGBAColor Fill;
  float StrokeWidth = 0;
  bool Dashed = false;
  std::string Text;
  float FontSize = 0;
  std::string TextAnchor;
  TRGBAColor TextColor;
  TRGBAColor TextStroke;
  float TextStrokeWidth = 0;
  std::string FontWeight;
  std::string FontFamily;
  std::string FontStyle;
  bool IsHeading = false;
};

// Elements.size() is the capacity (a multiple of 64); only the first Count entries are valid.
struct TSVGScene {
  std::vector<TGeoElement> Elements;
  int32_t Count = 0;
  float ViewBoxX = 0;
  float ViewBoxY = 0;
  float Width = 0;
  float Height = 0;
};

TGeoElement MakeElement(TGeoKind kind, const TRGBAColor& stroke, const TRGBAColor& fill, float strokeWidth,
                        bool dashed);
void AddElement(TSVGScene& scene, const TGeoElement& element);
void AddElement(TSVGScene& scene, TGeoElement&& element);

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

struct TFontAttrs {
  std::string Weight;
  std::string Style;
  std::string Family;
};

// Groups and nested svg elements deeper than this are skipped with their content.
constexpr int kMaxSvgNesting = 256;

// Returns the number of points; fewer than two pairs of numbers give none.
int32_t ParsePointList(std::string_view text, TPointArray& points);
void ParseStyleDecls(std::string_view style, TRGBAColor& stroke, TRGBAColor& fill, float& strokeWidth, bool& dashed,
                     float& fontSize);
void ReadPaintAttrs(const pugi::xml_node& element, TRGBAColor& stroke, TRGBAColor& fill, float& strokeWidth,
                    bool& dashed, float& fontSize);
TFontAttrs ReadFontAttrs(const pugi::xml_node& element, std::string_view style);

// Appends the primitives of `element` and its content to `scene` in document order. `depth` is
// the number of enclosing g/svg elements.
void ReadElement(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill, float strokeWidth,
                 bool dashed, const TSVGTransform& transform, int depth = 0);
void ReadLine(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill, float strokeWidth,
              bool dashed, const TSVGTransform& transform);
void ReadCircle(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill, float strokeWidth,
                bool dashed, const TSVGTransform& transform);
void ReadEllipse(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill, float strokeWidth,
                 bool dashed, const TSVGTransform& transform);
void ReadRect(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill, float strokeWidth,
              bool dashed, const TSVGTransform& transform);
void ReadPolygon(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill, float strokeWidth,
                 bool dashed, const TSVGTransform& transform);
void ReadPath(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill, float strokeWidth,
              bool dashed, const TSVGTransform& transform);
void ReadText(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill, float strokeWidth,
              bool dashed, const TSVGTransform& transform);
void ReadGroup(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill, float strokeWidth,
               bool dashed, const TSVGTransform& transform, int depth = 0);
void ReadNestedSvg(const pugi::xml_node& element, TSVGScene& scene, TRGBAColor stroke, TRGBAColor fill,
                   float strokeWidth, bool dashed, const TSVGTransform& transform, int depth = 0);

// ---------------------------------------------------------------------------
// Document reader
// ---------------------------------------------------------------------------

// Drops the lines that begin with "<!DOCTYPE" or "<?xml-stylesheet"; the kept lines end in CR LF.
std::string RemovePIs(std::string_view text);
// Resets `scene` and fills it from the SVG text; true when at least one element was read.
// Never throws.
bool ParseSVG(std::string_view text, TSVGScene& scene);

// The pugixml options the reader parses with (for comparisons of its cost).
unsigned SvgParseOptions();

}  // namespace pelorin
