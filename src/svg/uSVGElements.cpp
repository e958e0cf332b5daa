// Element readers of the SVG reader: paint inheritance, shapes, text runs, groups, nested svg.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "svg/uSVGDetail.h"

namespace pelorin {

using svg_detail::ForEachStyleDecl;
using svg_detail::ParseNumberWithoutUnits;

namespace {

constexpr float kDefaultFontSize = 12;

// The attributes the readers understand. Converter files have a few hundred elements with
// about six attributes each; one pass over the list beats a list walk per lookup.
enum TAttrId : int {
  atStyle,
  atStroke,
  atFill,
  atStrokeWidth,
  atStrokeDasharray,
  atFontSize,
  atFontWeight,
  atFontStyle,
  atFontFamily,
  atTextAnchor,
  atX,
  atY,
  atDY,
  atX1,
  atY1,
  atX2,
  atY2,
  atCX,
  atCY,
  atR,
  atRX,
  atRY,
  atWidth,
  atHeight,
  atPoints,
  atD,
  atTransform,
  atViewBoxMixed,
  atViewBoxLower,
  kAttrCount
};

// True when the NUL-terminated `name` equals `literal`. It stops at the first difference, so it
// never reads past the end of `name`, and with the length known at compile time it unrolls.
template <size_t N>
bool IsName(const char* name, const char (&literal)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (name[i] != literal[i]) return false;
  return true;
}

int FindAttrId(const char* n) {
  auto is = [n](const auto& literal) { return IsName(n, literal); };
  switch (n[0]) {
    case 'c':
      return is("cx") ? atCX : is("cy") ? atCY : -1;
    case 'd':
      return is("d") ? atD : is("dy") ? atDY : -1;
    case 'f':
      return is("fill")          ? atFill
             : is("font-size")   ? atFontSize
             : is("font-weight") ? atFontWeight
             : is("font-style")  ? atFontStyle
             : is("font-family") ? atFontFamily
                                 : -1;
    case 'h':
      return is("height") ? atHeight : -1;
    case 'p':
      return is("points") ? atPoints : -1;
    case 'r':
      return is("r") ? atR : is("rx") ? atRX : is("ry") ? atRY : -1;
    case 's':
      return is("stroke")             ? atStroke
             : is("stroke-width")     ? atStrokeWidth
             : is("style")            ? atStyle
             : is("stroke-dasharray") ? atStrokeDasharray
                                      : -1;
    case 't':
      return is("text-anchor") ? atTextAnchor : is("transform") ? atTransform : -1;
    case 'v':
      return is("viewBox") ? atViewBoxMixed : is("viewbox") ? atViewBoxLower : -1;
    case 'w':
      return is("width") ? atWidth : -1;
    case 'x':
      return is("x") ? atX : is("x1") ? atX1 : is("x2") ? atX2 : -1;
    case 'y':
      return is("y") ? atY : is("y1") ? atY1 : is("y2") ? atY2 : -1;
    default:
      return -1;
  }
}

// An element's attributes by id, looked up as GetAttr does: the first attribute of the exact
// name; empty when absent or empty.
class TAttrSet {
 public:
  explicit TAttrSet(const pugi::xml_node& element) {
    for (pugi::xml_attribute a = element.first_attribute();; a = a.next_attribute()) {
      // Each test of the handle is a call into the XML library; a parsed attribute always has a
      // name, so only an empty name needs it.
      const char* name = a.name();
      if (!*name && !a) break;
      int id = FindAttrId(name);
      if (id >= 0 && !Value(static_cast<TAttrId>(id))) {
        values_[id] = a.value();
        present_ |= uint32_t{1} << id;
      }
    }
  }
  const char* Value(TAttrId id) const { return (present_ >> id) & 1 ? values_[id] : nullptr; }
  std::string_view Get(TAttrId id) const {
    const char* value = Value(id);
    return value ? std::string_view(value) : std::string_view();
  }
  float Number(TAttrId id, float defaultValue) const {
    // A plain decimal is read straight from the value, without measuring it first.
    double plain = 0;
    const char* value = Value(id);
    if (value && svg_detail::ParseShortDecimal(value, plain)) return static_cast<float>(plain);
    return ParseNumber(Get(id), defaultValue);
  }
  // The value when present and not empty, else null.
  const char* NonEmpty(TAttrId id) const {
    const char* value = Value(id);
    return value && *value ? value : nullptr;
  }
  float NumberWithoutUnits(TAttrId id, std::initializer_list<std::string_view> units, float defaultValue) const {
    double plain = 0;
    const char* value = Value(id);
    if (value && svg_detail::ParseShortDecimal(value, plain)) return static_cast<float>(plain);
    return ParseNumberWithoutUnits(Get(id), units, defaultValue);
  }
  float Length(TAttrId id, float defaultValue) const {
    return ParseNumberWithoutUnits(TrimView(Get(id)), {"px", "pt", "em", "%"}, defaultValue);
  }
  std::string_view ViewBox() const {
    std::string_view v = Get(atViewBoxMixed);
    return v.empty() ? Get(atViewBoxLower) : v;
  }

 private:
  static_assert(kAttrCount <= 32, "one bit per attribute");
  // An entry of values_ is set only where its bit is: clearing the mask per element is cheaper
  // than clearing the whole array.
  uint32_t present_ = 0;
  const char* values_[kAttrCount];
};

// What a group or nested svg hands to its children.
struct TContainerState {
  TShapePaint Paint;
  TSVGTransform Transform;
};

TPoint2D Map(const TSVGTransform& t, float x, float y) {
  return {x * t.SX + t.TX, y * t.SY + t.TY};
}

// A translation given in the parent's coordinates; the scale stays the parent's.
TSVGTransform Translated(const TSVGTransform& t, float tx, float ty) {
  return {t.SX, t.SY, tx * t.SX + t.TX, ty * t.SY + t.TY};
}

// Finite inputs can still overflow (a huge translation, a tiny view box), and values near the
// float range overflow later, when consumers take extents and scales of them. Consumers must
// never see such values, so an element that holds one is dropped. No drawing comes near 1e30.
bool Usable(float v) {
  return std::isfinite(v) && std::fabs(v) <= 1e30f;
}

bool HasFiniteGeometry(const TGeoElement& e) {
  for (const TPoint2D& p : e.Points)
    if (!Usable(p.X) || !Usable(p.Y)) return false;
  for (float v : {e.CX, e.CY, e.RX, e.RY, e.StrokeWidth, e.FontSize, e.TextStrokeWidth})
    if (!Usable(v)) return false;
  return true;
}

void EndShape(TSVGScene& scene, const TGeoElement& element) {
  svg_detail::EndElement(scene, HasFiniteGeometry(element));
}

void ApplyPaintAttrs(const TAttrSet& attrs, TShapePaint& paint, float& fontSize) {
  std::string_view v = attrs.Get(atStyle);
  if (!v.empty()) ParseStyleDecls(v, paint, fontSize);
  if (const char* value = attrs.NonEmpty(atStroke)) svg_detail::ParseColorValue(value, paint.Stroke);
  if (const char* value = attrs.NonEmpty(atFill)) svg_detail::ParseColorValue(value, paint.Fill);
  if (attrs.NonEmpty(atStrokeWidth))
    paint.StrokeWidth = attrs.NumberWithoutUnits(atStrokeWidth, {"px", "pt", "em"}, paint.StrokeWidth);
  if (!(v = attrs.Get(atStrokeDasharray)).empty()) paint.Dashed = v != "none";
  if (attrs.NonEmpty(atFontSize)) {
    float size = attrs.NumberWithoutUnits(atFontSize, {"px", "pt"}, 0);
    if (size > 0) fontSize = size;
  }
}

TFontAttrs FontAttrsOf(const TAttrSet& attrs, std::string_view style) {
  TFontAttrs fonts;
  ForEachStyleDecl(style, [&](const std::string& name, std::string_view value) {
    if (name == "font-weight") {
      fonts.Weight = LowerAscii(value);
    } else if (name == "font-style") {
      fonts.Style = LowerAscii(value);
    } else if (name == "font-family") {
      fonts.Family = Utf8ToAnsi(value);
    }
  });
  std::string_view v;
  if (!(v = attrs.Get(atFontWeight)).empty()) fonts.Weight = LowerAscii(v);
  if (!(v = attrs.Get(atFontStyle)).empty()) fonts.Style = LowerAscii(v);
  if (!(v = attrs.Get(atFontFamily)).empty()) fonts.Family = Utf8ToAnsi(v);
  return fonts;
}

TShapePaint ReadShapePaint(const TAttrSet& attrs, const TShapePaint& inherited) {
  TShapePaint paint = inherited;
  float fontSize = kDefaultFontSize;  // read and discarded: shapes have no font
  ApplyPaintAttrs(attrs, paint, fontSize);
  return paint;
}

// The shape is filled in the scene's next slot; EndShape keeps it or drops it.
TGeoElement& BeginShape(TSVGScene& scene, TGeoKind kind, const TShapePaint& paint, const TSVGTransform& t) {
  TGeoElement& shape = svg_detail::BeginElement(scene);
  shape.Kind = kind;
  shape.Stroke = paint.Stroke;
  shape.Fill = paint.Fill;
  shape.StrokeWidth = StrokeScale(t) * paint.StrokeWidth;
  shape.Dashed = paint.Dashed;
  return shape;
}

bool IsNearWhite(const TRGBAColor& c) {
  return static_cast<double>(c.R) > 0.9 && static_cast<double>(c.G) > 0.9 && static_cast<double>(c.B) > 0.9;
}

// Whether the element names a stroke itself, as an attribute or anywhere in its style.
bool NamesStroke(const TAttrSet& attrs) {
  return !attrs.Get(atStroke).empty() || FindNoCase(attrs.Get(atStyle), "stroke") != std::string_view::npos;
}

void ReadChildren(const pugi::xml_node& parent, TSVGScene& scene, const TContainerState& state, int depth) {
  svg_detail::ForEachChild(parent, [&](const pugi::xml_node& child, pugi::xml_node_type type) {
    if (type == pugi::node_element) ReadElement(child, scene, state.Paint, state.Transform, depth);
  });
}

// What the runs of one text element share; a tspan adjusts a copy for its own run.
struct TTextRunStyle {
  TPoint2D Position;
  float StrokeWidth = 0;  // the element's own, scaled
  bool Dashed = false;
  float FontSize = 0;
  std::string_view Anchor;  // a view into the document or a literal
  TRGBAColor TextColor;
  TRGBAColor TextStroke;
  float TextStrokeWidth = 0;
  TFontAttrs Fonts;
};

void EmitTextRun(TSVGScene& scene, const TTextRunStyle& style, std::string_view utf8) {
  TGeoElement& run = svg_detail::BeginElement(scene);
  run.Kind = gkText;
  run.Points.assign(1, style.Position);
  run.StrokeWidth = style.StrokeWidth;
  run.Dashed = style.Dashed;
  run.Text = Utf8ToAnsi(TrimView(utf8));
  run.FontSize = style.FontSize;
  run.TextAnchor.assign(style.Anchor.data(), style.Anchor.size());
  run.TextColor = style.TextColor;
  run.TextStroke = style.TextStroke;
  run.TextStrokeWidth = style.TextStrokeWidth;
  run.FontWeight = style.Fonts.Weight;
  run.FontFamily = style.Fonts.Family;
  run.FontStyle = style.Fonts.Style;
  EndShape(scene, run);
}

void AppendOwnText(const pugi::xml_node& element, std::string& pending) {
  svg_detail::ForEachChild(element, [&](const pugi::xml_node& child, pugi::xml_node_type type) {
    if (type == pugi::node_pcdata) pending += child.value();
  });
}

// The run of one tspan: its own paint and position over the style of its text element.
void EmitTspanRun(const pugi::xml_node& tspan, TSVGScene& scene, float x, float y, float fontSize,
                  const TTextRunStyle& templ, const TSVGTransform& t, std::string& pending) {
  const TAttrSet attrs(tspan);
  const float s = StrokeScale(t);
  TShapePaint glyphs{templ.TextStroke, templ.TextColor, templ.TextStrokeWidth / s, templ.Dashed};
  std::string_view anchor = templ.Anchor;
  float tx = x, ty = y, dy = 0;

  std::string_view style = attrs.Get(atStyle);
  if (!style.empty()) ParseStyleDecls(style, glyphs, fontSize);
  std::string_view v;
  if (!(v = attrs.Get(atFill)).empty()) ParseColor(v, glyphs.Fill);
  if (!(v = attrs.Get(atStroke)).empty()) ParseColor(v, glyphs.Stroke);
  if (!(v = attrs.Get(atStrokeWidth)).empty())
    glyphs.StrokeWidth = ParseNumberWithoutUnits(v, {"px", "pt"}, glyphs.StrokeWidth);
  if (!(v = attrs.Get(atFontSize)).empty()) {
    float size = ParseNumberWithoutUnits(v, {"px", "pt"}, 0);
    if (size > 0) fontSize = size;
  }
  if (!(v = attrs.Get(atX)).empty()) tx = ParseNumber(v, x);
  if (!(v = attrs.Get(atY)).empty()) ty = ParseNumber(v, y);
  if (!(v = attrs.Get(atDY)).empty()) dy = ParseNumber(v, 0);
  if (!(v = attrs.Get(atTextAnchor)).empty()) anchor = v;
  TFontAttrs fonts = FontAttrsOf(attrs, style);

  AppendOwnText(tspan, pending);
  if (!TrimView(pending).empty()) {
    // Only the glyph fields follow the tspan; the run's own stroke width and dash stay the text's.
    TTextRunStyle run = templ;
    run.Position = Map(t, tx, ty + dy);
    run.Anchor = anchor;
    run.FontSize = s * fontSize;
    run.TextColor = glyphs.Fill;
    run.TextStroke = glyphs.Stroke;
    run.TextStrokeWidth = s * glyphs.StrokeWidth;
    if (!fonts.Weight.empty()) run.Fonts.Weight = std::move(fonts.Weight);
    if (!fonts.Style.empty()) run.Fonts.Style = std::move(fonts.Style);
    if (!fonts.Family.empty()) run.Fonts.Family = std::move(fonts.Family);
    EmitTextRun(scene, run, pending);
  }
  pending.clear();
}

void EmitTemplateRun(TSVGScene& scene, const TTextRunStyle& templ, std::string& pending) {
  if (!TrimView(pending).empty()) EmitTextRun(scene, templ, pending);
  pending.clear();
}

// One run per tspan plus one for each stretch of text around them; every run is placed on its
// own (there is no running text position).
void EmitTextRuns(const pugi::xml_node& element, TSVGScene& scene, float x, float y, float fontSize,
                  const TTextRunStyle& templ, const TSVGTransform& t) {
  std::string pending;
  svg_detail::ForEachChild(element, [&](const pugi::xml_node& child, pugi::xml_node_type type) {
    if (type == pugi::node_pcdata) {
      pending += child.value();
    } else if (type == pugi::node_element && svg_detail::TagOf(child) == svg_detail::tagTspan) {
      EmitTemplateRun(scene, templ, pending);
      EmitTspanRun(child, scene, x, y, fontSize, templ, t, pending);
    }
  });
  EmitTemplateRun(scene, templ, pending);
}

std::string_view LastStyleTextAnchor(std::string_view style) {
  std::string_view anchor;
  ForEachStyleDecl(style, [&](const std::string& name, std::string_view value) {
    if (name == "text-anchor") anchor = value;
  });
  return anchor;
}

// The viewport mapping of a nested svg: its view box fitted into (x, y, width, height), centred,
// aspect ratio kept. Returns false when the view box cannot be used.
bool FitViewBox(std::string_view viewBox, const TSVGTransform& t, float x, float y, float width, float height,
                TSVGTransform& fitted) {
  std::string_view fields[4];
  int count = 0;
  svg_detail::ForEachField(viewBox, [&](std::string_view field) {
    fields[count++] = field;
    return count < 4;
  });
  if (count < 4) return false;
  float vw = ParseNumber(fields[2], 0), vh = ParseNumber(fields[3], 0);
  if (vw <= 0 || vh <= 0) return false;
  float vx = ParseNumber(fields[0], 0), vy = ParseNumber(fields[1], 0);
  TPoint2D origin = Map(t, x, y);
  float w = std::fabs(t.SX) * width, h = std::fabs(t.SY) * height;
  float k = std::min(w / vw, h / vh);
  float ox = (w - vw * k) * 0.5f, oy = (h - vh * k) * 0.5f;
  fitted = {k, k, origin.X + ox - vx * k, origin.Y + oy - vy * k};
  return true;
}

// Kept apart from the recursion so the attribute set is off the stack while children are read.
TContainerState GroupState(const pugi::xml_node& element, const TShapePaint& inherited, const TSVGTransform& t) {
  const TAttrSet attrs(element);
  TContainerState state{ReadShapePaint(attrs, inherited), t};
  float tx = 0, ty = 0;
  ParseTranslate(attrs.Get(atTransform), tx, ty);
  state.Transform = Translated(t, tx, ty);
  return state;
}

TContainerState NestedSvgState(const pugi::xml_node& element, const TShapePaint& inherited, const TSVGTransform& t) {
  const TAttrSet attrs(element);
  TContainerState state{ReadShapePaint(attrs, inherited), t};
  float x = attrs.Length(atX, 0), y = attrs.Length(atY, 0);
  float width = attrs.Length(atWidth, 0), height = attrs.Length(atHeight, 0);
  std::string_view viewBox = attrs.ViewBox();
  TSVGTransform inner = Translated(t, x, y);
  if (!viewBox.empty() && width > 0 && height > 0) FitViewBox(viewBox, t, x, y, width, height, inner);
  float tx = 0, ty = 0;
  ParseTranslate(attrs.Get(atTransform), tx, ty);
  state.Transform = Translated(inner, tx, ty);
  return state;
}

}  // namespace

float StrokeScale(const TSVGTransform& t) {
  float m = std::min(std::fabs(t.SX), std::fabs(t.SY));
  if (static_cast<double>(m) < 0.0001) m = std::max(std::fabs(t.SX), std::fabs(t.SY));
  if (static_cast<double>(m) < 0.0001) m = 1;
  return m;
}

int32_t ParsePointList(std::string_view text, TPointArray& points) {
  points.clear();
  std::string_view s = TrimView(text);
  if (s.empty()) return 0;
  std::vector<float> numbers;
  size_t start = std::string_view::npos;
  auto flush = [&](size_t end) {
    if (start == std::string_view::npos) return;
    numbers.push_back(ParseNumber(s.substr(start, end - start), 0));
    start = std::string_view::npos;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    bool numberChar = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (numberChar) {
      if (start == std::string_view::npos) start = i;
    } else if (!((c == 'e' || c == 'E') && start != std::string_view::npos)) {
      flush(i);
    }
  }
  flush(s.size());
  if (numbers.size() < 4) return 0;
  size_t n = numbers.size() / 2;
  points.resize(n);
  for (size_t i = 0; i < n; ++i) points[i] = {numbers[2 * i], numbers[2 * i + 1]};
  return static_cast<int32_t>(n);
}

void ParseStyleDecls(std::string_view style, TShapePaint& paint, float& fontSize) {
  TRGBAColor& stroke = paint.Stroke;
  TRGBAColor& fill = paint.Fill;
  ForEachStyleDecl(style, [&](const std::string& name, std::string_view value) {
    if (name == "stroke") {
      ParseColor(value, stroke);
    } else if (name == "fill") {
      ParseColor(value, fill);
    } else if (name == "stroke-width") {
      paint.StrokeWidth = ParseNumberWithoutUnits(value, {"px", "pt", "em"}, paint.StrokeWidth);
    } else if (name == "stroke-dasharray") {
      paint.Dashed = !(value.empty() || value == "none");
    } else if (name == "font-size") {
      fontSize = ParseNumberWithoutUnits(value, {"px", "pt"}, fontSize);
    } else if (name == "opacity") {
      // Replaces the alpha, and only where there is paint to fade.
      if (stroke.A > 0) stroke.A = ParseNumber(value, 1);
      if (fill.A > 0) fill.A = ParseNumber(value, 1);
    } else if (name == "fill-opacity") {
      if (fill.A > 0) fill.A = ParseNumber(value, 1);
    } else if (name == "stroke-opacity") {
      if (stroke.A > 0) stroke.A = ParseNumber(value, 1);
    }
  });
}

void ReadPaintAttrs(const pugi::xml_node& element, TShapePaint& paint, float& fontSize) {
  ApplyPaintAttrs(TAttrSet(element), paint, fontSize);
}

TFontAttrs ReadFontAttrs(const pugi::xml_node& element, std::string_view style) {
  return FontAttrsOf(TAttrSet(element), style);
}

void ReadElement(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                 const TSVGTransform& transform, int depth) {
  switch (svg_detail::TagOf(element)) {
    case svg_detail::tagLine:
      return ReadLine(element, scene, inherited, transform);
    case svg_detail::tagText:
      return ReadText(element, scene, inherited, transform);
    case svg_detail::tagPolygon:
      return ReadPolygon(element, scene, inherited, transform);
    case svg_detail::tagCircle:
      return ReadCircle(element, scene, inherited, transform);
    case svg_detail::tagEllipse:
      return ReadEllipse(element, scene, inherited, transform);
    case svg_detail::tagRect:
      return ReadRect(element, scene, inherited, transform);
    case svg_detail::tagPath:
      return ReadPath(element, scene, inherited, transform);
    case svg_detail::tagG:
      return ReadGroup(element, scene, inherited, transform, depth);
    case svg_detail::tagSvg:
      return ReadNestedSvg(element, scene, inherited, transform, depth);
    default:
      return;  // unknown elements and their content are ignored
  }
}

void ReadLine(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
              const TSVGTransform& transform) {
  const TAttrSet attrs(element);
  const TShapePaint paint = ReadShapePaint(attrs, inherited);
  const TPoint2D ends[2] = {Map(transform, attrs.Number(atX1, 0), attrs.Number(atY1, 0)),
                            Map(transform, attrs.Number(atX2, 0), attrs.Number(atY2, 0))};
  TGeoElement& line = BeginShape(scene, gkLine, paint, transform);
  line.Points.assign(ends, ends + 2);
  EndShape(scene, line);
}

// A circle or an ellipse: the centre mapped, each radius scaled by its own axis.
static void AddRound(const TAttrSet& attrs, TSVGScene& scene, TGeoKind kind, const TShapePaint& paint,
                     const TSVGTransform& transform, float rx, float ry) {
  TPoint2D centre = Map(transform, attrs.Number(atCX, 0), attrs.Number(atCY, 0));
  TGeoElement& round = BeginShape(scene, kind, paint, transform);
  round.CX = centre.X;
  round.CY = centre.Y;
  round.RX = rx * std::fabs(transform.SX);
  round.RY = ry * std::fabs(transform.SY);
  EndShape(scene, round);
}

void ReadCircle(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                const TSVGTransform& transform) {
  const TAttrSet attrs(element);
  const TShapePaint paint = ReadShapePaint(attrs, inherited);
  float r = attrs.Number(atR, 0);
  AddRound(attrs, scene, gkCircle, paint, transform, r, r);
}

void ReadEllipse(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                 const TSVGTransform& transform) {
  const TAttrSet attrs(element);
  const TShapePaint paint = ReadShapePaint(attrs, inherited);
  AddRound(attrs, scene, gkEllipse, paint, transform, attrs.Number(atRX, 0), attrs.Number(atRY, 0));
}

void ReadRect(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
              const TSVGTransform& transform) {
  const TAttrSet attrs(element);
  TShapePaint paint = ReadShapePaint(attrs, inherited);
  float x = attrs.Number(atX, 0), y = attrs.Number(atY, 0);
  float width = attrs.Number(atWidth, 0), height = attrs.Number(atHeight, 0);
  if (!(width > 0 && height > 0)) return;
  if (paint.Fill.A == 0 && paint.Stroke.A == 0) return;
  // A visible near-white fill is the page background unless a visible, darker outline was asked for.
  if (IsNearWhite(paint.Fill) && paint.Fill.A > 0) {
    bool outlined = NamesStroke(attrs) && paint.Stroke.A != 0 && !IsNearWhite(paint.Stroke);
    if (!outlined) return;
  }
  TGeoElement& rect = BeginShape(scene, gkPolygon, paint, transform);
  rect.Points = {Map(transform, x, y), Map(transform, x + width, y), Map(transform, x + width, y + height),
                 Map(transform, x, y + height)};
  EndShape(scene, rect);
}

void ReadPolygon(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                 const TSVGTransform& transform) {
  const TAttrSet attrs(element);
  TPointArray points;
  if (ParsePointList(attrs.Get(atPoints), points) < 2) return;
  for (TPoint2D& p : points) p = Map(transform, p.X, p.Y);
  const TShapePaint paint = ReadShapePaint(attrs, inherited);
  TGeoElement& polygon = BeginShape(scene, gkPolygon, paint, transform);
  polygon.Points = std::move(points);
  EndShape(scene, polygon);
}

void ReadPath(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
              const TSVGTransform& transform) {
  const TAttrSet attrs(element);
  std::string_view d = attrs.Get(atD);
  if (d.empty()) return;
  TShapePaint paint = ReadShapePaint(attrs, inherited);
  TPointArray points;
  int32_t count = 0;
  bool closed = false;
  if (!ParsePathData(d, points, count, closed) || count < 2) return;
  for (TPoint2D& p : points) p = Map(transform, p.X, p.Y);
  TGeoElement& path = BeginShape(scene, closed && paint.Fill.A > 0 ? gkPolygon : gkPolyline, paint, transform);
  path.Points = std::move(points);
  EndShape(scene, path);
}

void ReadText(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
              const TSVGTransform& transform) {
  const TAttrSet attrs(element);
  TShapePaint paint = inherited;
  float fontSize = kDefaultFontSize;
  std::string_view style = attrs.Get(atStyle);
  if (!style.empty()) ParseStyleDecls(style, paint, fontSize);

  if (const char* value = attrs.NonEmpty(atFill)) svg_detail::ParseColorValue(value, paint.Fill);
  const char* const strokeAttr = attrs.NonEmpty(atStroke);
  if (strokeAttr) svg_detail::ParseColorValue(strokeAttr, paint.Stroke);
  if (attrs.NonEmpty(atStrokeWidth)) {
    paint.StrokeWidth = attrs.NumberWithoutUnits(atStrokeWidth, {"px", "pt"}, paint.StrokeWidth);
    if (paint.StrokeWidth <= 0 && !strokeAttr) paint.Stroke.A = 0;
  }
  if (attrs.NonEmpty(atFontSize)) {
    float size = attrs.NumberWithoutUnits(atFontSize, {"px", "pt"}, 0);
    if (size > 0) fontSize = size;
  }
  TFontAttrs fonts = FontAttrsOf(attrs, style);
  float x = attrs.Number(atX, 0), y = attrs.Number(atY, 0);

  std::string_view anchor = attrs.Get(atTextAnchor);
  if (anchor.empty()) anchor = LastStyleTextAnchor(style);
  if (anchor.empty()) anchor = "start";

  const float s = StrokeScale(transform);
  TTextRunStyle templ;
  templ.Position = Map(transform, x, y);
  templ.StrokeWidth = s * paint.StrokeWidth;
  templ.Dashed = paint.Dashed;
  templ.TextStrokeWidth = s * paint.StrokeWidth;
  templ.FontSize = s * fontSize > 0 ? s * fontSize : kDefaultFontSize;
  templ.Anchor = anchor;
  templ.Fonts = std::move(fonts);
  if (paint.Fill.A > 0) {
    templ.TextColor = paint.Fill;
  } else if (inherited.Fill.A > 0) {
    templ.TextColor = inherited.Fill;
  } else {
    templ.TextColor = TRGBAColor{0, 0, 0, 1};
  }
  // An inherited stroke never outlines glyphs; only one the text names itself does.
  if (!NamesStroke(attrs)) paint.Stroke.A = 0;
  templ.TextStroke = paint.Stroke;

  EmitTextRuns(element, scene, x, y, fontSize, templ, transform);
}

void ReadGroup(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
               const TSVGTransform& transform, int depth) {
  // Walking the tree recurses; a hostile file must not exhaust a small thread stack.
  if (depth >= kMaxSvgNesting) return;
  ReadChildren(element, scene, GroupState(element, inherited, transform), depth + 1);
}

void ReadNestedSvg(const pugi::xml_node& element, TSVGScene& scene, const TShapePaint& inherited,
                   const TSVGTransform& transform, int depth) {
  if (depth >= kMaxSvgNesting) return;
  ReadChildren(element, scene, NestedSvgState(element, inherited, transform), depth + 1);
}

}  // namespace pelorin
