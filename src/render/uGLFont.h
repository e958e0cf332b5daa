// OpenGL text: strings rasterised with GDI into alpha textures, cached per viewer window within
// a memory budget, and drawn as blended, textured quads in a text style.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/uGdiObjects.h"
#include "uView2D.h"

namespace pelorin {

// Whether a context reporting `glVersion` (GL_VERSION: "major.minor" first) takes
// GL_CLAMP_TO_EDGE, which OpenGL 1.2 brought; false for 1.1 and for anything unreadable.
bool SupportsClampToEdge(std::string_view glVersion) noexcept;

// A cached text's texture: its name (0: nothing to draw, all sizes 0) and sizes.
struct TTextTexture {
  uint32_t Name = 0;
  TTextTextureSize Size;
};

struct TFontCacheStats {
  int32_t Entries = 0;  // with the texts that cannot be drawn
  int32_t Textures = 0;
  int64_t TextureBytes = 0;  // as uploaded: one alpha byte per texel
  int64_t Made = 0;          // texts rasterised since the cache was made, failures included
};

// The textures of one viewer window's texts, at most `budgetBytes` of texels (one text larger
// than that is still kept, alone); the least recently used texts go first and are made again
// when needed. A text that cannot be drawn is remembered as such until it is evicted or the
// cache cleared. The cache is part of its context's record (TGLResources), which makes it,
// tells it what the driver takes, has it forget its textures when another context is current
// and deletes them: reached through TGLResources::Text, its context is current.
class TGLFontCache {
 public:
  static constexpr int64_t kDefaultBudgetBytes = int64_t{64} << 20;

  TGLFontCache(const TGLFontCache&) = delete;
  TGLFontCache& operator=(const TGLFontCache&) = delete;
  ~TGLFontCache() = default;

  // The texture of `text` at the clamped pixel size, made on the first request. None for an
  // empty text, without a current context, or for a text that could not be rasterised, would
  // not fit in a texture or was refused by the driver. Never throws.
  TTextTexture GetTexture(std::string_view text, int32_t pixelSize, bool bold) noexcept;
  // Deletes every texture (their context is current) and forgets the entries.
  void Clear() noexcept;

  TFontCacheStats Stats() const;

 private:
  friend class TGLResources;
  explicit TGLFontCache(int64_t budgetBytes) : BudgetBytes(budgetBytes) {}
  // What the context takes: GL_CLAMP_TO_EDGE (OpenGL 1.2 on; Windows' own 1.1 renderer answers
  // it with GL_INVALID_ENUM) and textures of up to maxTextureSize texels a side.
  void TakeDriver(bool clampToEdge, int32_t maxTextureSize) noexcept {
    ClampToEdge = clampToEdge;
    MaxTextureSize = maxTextureSize;
  }

  struct TEntry {
    std::string Key;       // MakeTextKey: text|pixel size|True or False (bold)
    uint32_t TexID = 0;    // 0: cannot be drawn
    int32_t TexWidth = 0;  // powers of two
    int32_t TexHeight = 0;
    int32_t TextWidth = 0;  // used part: the GDI extent plus a 4-texel margin on each side
    int32_t TextHeight = 0;
    int64_t Cost = 0;  // texture bytes, plus the bookkeeping's share
  };
  using TEntryList = std::list<TEntry>;

  // Drops the entries without deleting their textures: they belong to a context that is not
  // current, where deleting would free another context's textures of the same names.
  void Forget() noexcept;
  bool FitsInTexture(const TTextTextureSize& size) const;
  const TEntry& Make(std::string_view text, int32_t pixelSize, bool bold, std::string&& key);
  bool Rasterise(std::string_view text, int32_t pixelSize, bool bold, TEntry& entry, std::vector<uint8_t>& texels);
  bool PrepareFont(int32_t pixelSize, bool bold);
  bool EnsureBitmap(int32_t width, int32_t height);
  TEntry& Insert(TEntry&& entry);
  void Adopt(TEntry& entry, uint32_t texture) noexcept;
  void EvictOverBudget() noexcept;

  int64_t BudgetBytes;
  TEntryList Recent;                                                 // most recently used first
  std::unordered_map<std::string_view, TEntryList::iterator> Index;  // keys point into Recent
  int64_t CostBytes = 0;
  int64_t TextureBytes = 0;
  int32_t Textures = 0;
  int64_t Made = 0;
  bool ClampToEdge = false;
  int32_t MaxTextureSize = 0;
  TMemoryDC MemDC;
  TGdiObject<HFONT> Font;
  int32_t FontSize = 0;
  bool FontBold = false;
  TGdiObject<HBITMAP> Bitmap;
  const uint32_t* Bits = nullptr;
  int32_t BitmapWidth = 0;
  int32_t BitmapHeight = 0;
};

// Draws `text` at `at` in `style` with a texture of `cache`, into the current context, which
// must be the one the cache's window draws in. Nothing is drawn for a size not above 0.
void DrawGLText(TGLFontCache& cache, std::string_view text, TPoint2D at, const TTextStyle& style) noexcept;
// Four copies of the text in `style` (its colour is the outline's) moved by `outlineOffset`
// (at least 4 % of the size) left, right, up and down. Nothing is drawn when the alpha is not
// above 0.
void DrawGLTextOutline(TGLFontCache& cache, std::string_view text, TPoint2D at, const TTextStyle& style,
                       float outlineOffset) noexcept;

}  // namespace pelorin

#endif  // _WIN32
