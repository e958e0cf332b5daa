// OpenGL text: strings rasterised once with GDI into alpha textures, cached per viewer window,
// and drawn as blended, textured quads.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/uGdiObjects.h"
#include "uView2D.h"

namespace pelorin {

struct TCacheEntry {
  std::string Key;  // text|pixel size|True or False (bold)
  uint32_t TexID = 0;
  int32_t TexWidth = 0;  // powers of two
  int32_t TexHeight = 0;
  int32_t TextWidth = 0;  // used part: the GDI extent plus a 4-texel margin on each side
  int32_t TextHeight = 0;
};

// The textures of one viewer window's texts. Textures belong to the OpenGL context that was
// current when they were made; that context must be current for GetTexture and Clear.
class TGLFontCache {
 public:
  TGLFontCache() = default;
  TGLFontCache(const TGLFontCache&) = delete;
  TGLFontCache& operator=(const TGLFontCache&) = delete;
  ~TGLFontCache();

  // The texture of `text` at the clamped pixel size, made on the first request. Returns 0 (and
  // all sizes 0) for an empty text, or one that could not be rasterised or would not fit in a
  // texture. Never throws.
  uint32_t GetTexture(std::string_view text, int32_t pixelSize, bool bold, int32_t& texWidth, int32_t& texHeight,
                      int32_t& textWidth, int32_t& textHeight) noexcept;
  // Deletes every texture and forgets the entries.
  void Clear() noexcept;

  int32_t Count() const { return static_cast<int32_t>(Entries.size()); }
  const std::vector<TCacheEntry>& CacheEntries() const { return Entries; }

 private:
  bool Rasterise(std::string_view text, int32_t pixelSize, bool bold, TCacheEntry& entry);
  bool EnsureBitmap(int32_t width, int32_t height);

  std::vector<TCacheEntry> Entries;
  TMemoryDC MemDC;
  TGdiObject<HFONT> Font;
  TGdiObject<HBITMAP> Bitmap;
  const uint32_t* Bits = nullptr;
  int32_t BitmapWidth = 0;
  int32_t BitmapHeight = 0;
};

// The cache the drawing routines use; each viewer window points it at its own before drawing.
extern TGLFontCache* FontCache;

// Draws `text` with its baseline at y, `size` scene units high, rasterised at `pixelSize`
// pixels, anchored "start", "middle" or "end" at x, moved by (dx, dy). Nothing is drawn without
// a FontCache or with a size not above 0.
void DrawGLTextOffset(std::string_view text, float x, float y, float size, int32_t pixelSize, float r, float g, float b,
                      float a, std::string_view anchor, bool bold, float dx, float dy) noexcept;
void DrawGLText(std::string_view text, float x, float y, float size, int32_t pixelSize, float r, float g, float b,
                float a, std::string_view anchor, bool bold) noexcept;
// Four copies of the text moved by the offset (at least 4 % of the size) left, right, up and
// down, in the outline colour. Nothing is drawn when the alpha is not above 0.
void DrawGLTextOutline(std::string_view text, float x, float y, float size, int32_t pixelSize, float r, float g,
                       float b, float a, std::string_view anchor, float offset, bool bold) noexcept;

}  // namespace pelorin

#endif  // _WIN32
