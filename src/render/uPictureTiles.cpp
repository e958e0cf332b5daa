// Tiles of a picture drawn piece by piece, and its size on a page.
#include "render/uPictureTiles.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

std::vector<TPictureTile> PictureTiles(TPictureSize picture, TPictureSize tile) {
  std::vector<TPictureTile> tiles;
  if (picture.Width <= 0 || picture.Height <= 0 || tile.Width <= 0 || tile.Height <= 0) return tiles;
  for (int y = 0; y < picture.Height; y += tile.Height)
    for (int x = 0; x < picture.Width; x += tile.Width)
      tiles.push_back({x, y, std::min(tile.Width, picture.Width - x), std::min(tile.Height, picture.Height - y)});
  return tiles;
}

TPictureSize FitPicture(TPictureSize shown, TPictureSize area) {
  if (shown.Width <= 0 || shown.Height <= 0 || area.Width <= 0 || area.Height <= 0) return {};
  const double scale =
      std::min(static_cast<double>(area.Width) / shown.Width, static_cast<double>(area.Height) / shown.Height);
  // Rounded, but never past the area: the binding side takes the area's whole side.
  const int w = std::clamp(static_cast<int>(std::lround(shown.Width * scale)), 1, area.Width);
  const int h = std::clamp(static_cast<int>(std::lround(shown.Height * scale)), 1, area.Height);
  return {w, h};
}

TPictureSize CapPicture(TPictureSize size, int maxSide, int64_t maxPixels) {
  if (size.Width <= 0 || size.Height <= 0) return {};
  double scale = 1;
  if (maxSide > 0) scale = std::min(scale, static_cast<double>(maxSide) / std::max(size.Width, size.Height));
  const double pixels = static_cast<double>(size.Width) * size.Height;
  if (maxPixels > 0 && pixels > static_cast<double>(maxPixels))
    scale = std::min(scale, std::sqrt(static_cast<double>(maxPixels) / pixels));
  if (scale >= 1) return size;
  // Rounded down, so that neither bound is passed by a rounding.
  return {std::max(1, static_cast<int>(size.Width * scale)), std::max(1, static_cast<int>(size.Height * scale))};
}

TPictureTile PlaceTile(const TPictureTile& tile, TPictureSize drawn, TPictureSize placed) {
  if (drawn.Width <= 0 || drawn.Height <= 0) return {};
  auto scaleX = [&](int x) { return static_cast<int>(static_cast<int64_t>(x) * placed.Width / drawn.Width); };
  auto scaleY = [&](int y) { return static_cast<int>(static_cast<int64_t>(y) * placed.Height / drawn.Height); };
  const int x0 = scaleX(tile.X), y0 = scaleY(tile.Y);
  return {x0, y0, scaleX(tile.X + tile.Width) - x0, scaleY(tile.Y + tile.Height) - y0};
}

}  // namespace pelorin
