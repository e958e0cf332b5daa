// Which atoms of a large model a frame needs: spheres that show, shadows that darken.
#include "render/uAtomCulling.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pelorin {
namespace {

// Blocks of pixels whose summary lets most hidden atoms go without a look at their pixels.
constexpr int kTileSide = 8;

// Where an atom (or its shadow) lands in the picture: its centre in pixels from the bottom left,
// its radius in pixels, its depth in model units (farther larger).
struct TOnScreen {
  float X, Y, Radius, Depth;
};

// The pixels of the picture within a square around a point: columns Left..Right, rows
// Bottom..Top, empty when the square misses the picture.
struct TPixelSpan {
  int Left, Right, Bottom, Top;
  bool Empty() const { return Left > Right || Bottom > Top; }
};

class TPicture {
 public:
  explicit TPicture(const TCullView& view)
      : width_(view.Width),
        height_(view.Height),
        tilesAcross_((view.Width + kTileSide - 1) / kTileSide),
        perUnit_(static_cast<float>(view.Height / (2 * view.HalfHeight))),
        pivot_(view.Pivot) {
    // The turn as a matrix of floats: a million atoms are turned every frame.
    const TViewTurn turn(view.RotX, view.RotY);
    const TVec3 x = turn.Apply({1, 0, 0}), y = turn.Apply({0, 1, 0}), z = turn.Apply({0, 0, 1});
    row_[0] = {x.X, y.X, z.X}, row_[1] = {x.Y, y.Y, z.Y}, row_[2] = {x.Z, y.Z, z.Z};
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  size_t Pixels() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_); }
  size_t Tiles() const { return static_cast<size_t>(tilesAcross_) * static_cast<size_t>(TileRow(height_ - 1) + 1); }
  float PerUnit() const { return perUnit_; }
  // The screen's x and y of a model direction.
  TVec3 Turned(const TVec3& v) const { return {Dot(row_[0], v), Dot(row_[1], v), Dot(row_[2], v)}; }

  TOnScreen Place(float x, float y, float z, float radius) const {
    const TVec3 seen = Turned({x - pivot_.X, y - pivot_.Y, z - pivot_.Z});
    return {width_ * 0.5f + seen.X * perUnit_, height_ * 0.5f + seen.Y * perUnit_, radius * perUnit_, -seen.Z};
  }
  TPixelSpan Near(float x, float y, float reach) const {
    return {std::max(0, static_cast<int>(std::floor(x - reach))),
            std::min(width_ - 1, static_cast<int>(std::floor(x + reach))),
            std::max(0, static_cast<int>(std::floor(y - reach))),
            std::min(height_ - 1, static_cast<int>(std::floor(y + reach)))};
  }
  size_t Index(int column, int row) const {
    return static_cast<size_t>(row) * static_cast<size_t>(width_) + static_cast<size_t>(column);
  }
  static int TileRow(int row) { return row / kTileSide; }
  size_t Tile(int column, int row) const {
    return static_cast<size_t>(TileRow(row)) * static_cast<size_t>(tilesAcross_) +
           static_cast<size_t>(column / kTileSide);
  }
  int TilePixels(size_t tile) const {
    const int column = static_cast<int>(tile % static_cast<size_t>(tilesAcross_)) * kTileSide;
    const int row = static_cast<int>(tile / static_cast<size_t>(tilesAcross_)) * kTileSide;
    return std::min(kTileSide, width_ - column) * std::min(kTileSide, height_ - row);
  }

  // Calls `pixel(index, dx, dy)` for the pixels of `span`, dx and dy from (x, y) to the pixel's
  // centre; stops when it is false. False when stopped.
  template <typename TPixel>
  bool ForPixels(const TPixelSpan& span, float x, float y, TPixel pixel) const {
    for (int row = span.Bottom; row <= span.Top; ++row) {
      const float dy = row + 0.5f - y;
      for (int column = span.Left; column <= span.Right; ++column)
        if (!pixel(Index(column, row), column + 0.5f - x, dy)) return false;
    }
    return true;
  }
  // The same for the tiles `span` touches: `tile(index)`.
  template <typename TTile>
  bool ForTiles(const TPixelSpan& span, TTile tile) const {
    for (int row = TileRow(span.Bottom); row <= TileRow(span.Top); ++row)
      for (int column = span.Left / kTileSide; column <= span.Right / kTileSide; ++column)
        if (!tile(static_cast<size_t>(row) * static_cast<size_t>(tilesAcross_) + static_cast<size_t>(column)))
          return false;
    return true;
  }

 private:
  static float Dot(const TVec3& a, const TVec3& b) { return a.X * b.X + a.Y * b.Y + a.Z * b.Z; }
  int width_, height_, tilesAcross_;
  float perUnit_;
  TVec3 pivot_;
  TVec3 row_[3];
};

}  // namespace

const std::vector<uint32_t>& TAtomCuller::VisibleSpheres(const std::vector<TAtomSphere>& atoms, const TCullView& view) {
  const TPicture picture(view);
  const float perUnit = picture.PerUnit();
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  depth_.assign(picture.Pixels(), kInfinity);
  auto place = [&](const TAtomSphere& a) { return picture.Place(a.X, a.Y, a.Z, SphereRadius(a)); };
  // Half a pixel of doubt either way, since the driver decides a pixel on its own arithmetic.
  // Filled with a sphere half a pixel smaller, whose surface lies behind the atom's in every
  // pixel the smaller one covers.
  for (const TAtomSphere& atom : atoms) {
    const TOnScreen s = place(atom);
    const float sure = s.Radius - 0.5f;
    if (sure <= 0) continue;
    picture.ForPixels(picture.Near(s.X, s.Y, sure), s.X, s.Y, [&](size_t at, float dx, float dy) {
      const float height = sure * sure - dx * dx - dy * dy;
      if (height >= 0) depth_[at] = std::min(depth_[at], s.Depth - std::sqrt(height) / perUnit);
      return true;
    });
  }
  // The farthest of each tile's pixels: an atom nearer nowhere than that is hidden in all of them.
  tileDepth_.assign(picture.Tiles(), -kInfinity);
  for (int row = 0; row < picture.Height(); ++row)
    for (int column = 0; column < picture.Width(); ++column) {
      float& farthest = tileDepth_[picture.Tile(column, row)];
      farthest = std::max(farthest, depth_[picture.Index(column, row)]);
    }
  // Tested with a sphere half a pixel larger, whose surface lies before the atom's in every
  // pixel the atom may cover.
  // Some drivers keep 16 bits of depth: a sphere within a few steps of them of the nearest may
  // win a pixel by its place in the drawing order.
  const float tolerance = 1e-3f * static_cast<float>(view.HalfHeight) + 1e-6f;
  spheres_.clear();
  for (size_t i = 0; i < atoms.size(); ++i) {
    const TOnScreen s = place(atoms[i]);
    const float reach = s.Radius + 0.5f;
    const TPixelSpan span = picture.Near(s.X, s.Y, reach);
    if (span.Empty()) continue;
    const float nearest = s.Depth - reach / perUnit - tolerance;
    if (picture.ForTiles(span, [&](size_t tile) { return nearest > tileDepth_[tile]; })) continue;
    const bool hidden = picture.ForPixels(span, s.X, s.Y, [&](size_t at, float dx, float dy) {
      const float height = reach * reach - dx * dx - dy * dy;             // squared, in pixels
      const float behind = (s.Depth - depth_[at] - tolerance) * perUnit;  // behind the picture, in pixels
      return height < 0 || (behind > 0 && behind * behind > height);
    });
    if (!hidden) spheres_.push_back(static_cast<uint32_t>(i));
  }
  return spheres_;
}

const std::vector<uint8_t>& TAtomCuller::ShadowLayers(const std::vector<TAtomSphere>& atoms, const TCullView& view,
                                                      const TShadowProjection& shadow) {
  const TPicture picture(view);
  // The ground's x and z axes on the screen, and back: a pixel taken back onto the ground.
  const TVec3 x = picture.Turned({1, 0, 0}), z = picture.Turned({0, 0, 1});
  const float det = x.X * z.Y - z.X * x.Y;
  layers_.assign(picture.Pixels(), 0);
  tileFull_.assign(picture.Tiles(), 0);
  if (std::fabs(det) < 1e-3f) return layers_;
  const float g[4] = {z.Y / det, -z.X / det, -x.Y / det, x.X / det};
  const float ground = shadow.Ground(), height = shadow.Height(), towards = shadow.TowardsX();
  for (const TAtomSphere& atom : atoms) {
    // The projection moves a point at height y towards `towards` by (y - ground) / height: a
    // sphere's shadow is an ellipse on the ground, its half axis along x `stretch` radii.
    const float rise = atom.Y > ground ? (atom.Y - ground) / height : 0;
    const float lean = atom.Y > ground ? (towards - atom.X) / height : 0;
    const float stretch = std::sqrt((1 - rise) * (1 - rise) + lean * lean);
    const TOnScreen s = picture.Place(atom.X + (towards - atom.X) * rise, ground, atom.Z, SphereRadius(atom));
    if (s.Radius <= 0) continue;
    const TPixelSpan span = picture.Near(s.X, s.Y, s.Radius * std::max(stretch, 1.0f));
    if (span.Empty()) continue;
    if (picture.ForTiles(span, [&](size_t tile) { return tileFull_[tile] == picture.TilePixels(tile); })) continue;
    const float inverse = 1 / s.Radius;
    for (int row = span.Bottom; row <= span.Top; ++row) {
      const float py = (row + 0.5f - s.Y) * inverse;
      for (int column = span.Left; column <= span.Right; ++column) {
        uint8_t& layers = layers_[picture.Index(column, row)];
        if (layers >= kShadowLayersSeen) continue;
        const float px = (column + 0.5f - s.X) * inverse;
        const float u = (g[0] * px + g[1] * py) / stretch, w = g[2] * px + g[3] * py;
        if (u * u + w * w > 1) continue;
        if (++layers == kShadowLayersSeen) ++tileFull_[picture.Tile(column, row)];
      }
    }
  }
  return layers_;
}

}  // namespace pelorin
