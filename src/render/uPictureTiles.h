// How a picture larger than the drawing buffer is made a tile at a time, and how large a picture
// is made for a page: plain geometry, free of OpenGL.
#pragma once

#include <cstdint>
#include <vector>

namespace pelorin {

struct TPictureSize {
  int Width = 0, Height = 0;
  bool operator==(const TPictureSize& o) const { return Width == o.Width && Height == o.Height; }
};

// One tile of a picture: its place in the picture, rows counted from the top.
struct TPictureTile {
  int X = 0, Y = 0, Width = 0, Height = 0;
};

// A rectangle of a drawing buffer, counted from its lower left corner as OpenGL counts.
struct TBufferRect {
  int X = 0, Y = 0, Width = 0, Height = 0;
};

// Tiles of at most tileWidth x tileHeight that cover a width x height picture once, row by row
// from the top; none for an empty picture or tile.
std::vector<TPictureTile> PictureTiles(TPictureSize picture, TPictureSize tile);

// The largest picture of `shown`'s proportions that fits in `area`; empty when either is empty.
TPictureSize FitPicture(TPictureSize shown, TPictureSize area);

// `size` scaled down, proportions kept, until no side exceeds maxSide and its pixels do not exceed
// maxPixels (a shaded picture gains nothing from pixels finer than a printer's dots, and each
// costs memory while it is drawn); unchanged when it already keeps to both.
TPictureSize CapPicture(TPictureSize size, int maxSide, int64_t maxPixels);

// Where a tile of a picture drawn at `drawn` lands on a page where the picture takes `placed`
// (the same proportions, scaled): adjacent tiles meet without a gap or an overlap.
TPictureTile PlaceTile(const TPictureTile& tile, TPictureSize drawn, TPictureSize placed);

}  // namespace pelorin
