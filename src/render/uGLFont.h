// OpenGL text: strings rasterised with GDI into alpha textures, cached per viewer window within
// a memory budget, and drawn as blended, textured quads.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <list>
#include <optional>
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

struct TFontCacheStats {
  int32_t Entries = 0;  // with the texts that cannot be drawn
  int32_t Textures = 0;
  int64_t TextureBytes = 0;  // as uploaded: one alpha byte per texel
  int64_t Made = 0;          // texts rasterised since the cache was made, failures included
};

// The textures of one viewer window's texts, at most `budgetBytes` of texels (one text larger
// than that is still kept, alone); the least recently used texts go first and are made again
// when needed. A text that cannot be drawn is remembered as such until it is evicted or the
// cache cleared. Textures belong to the OpenGL context current when they were made: when
// another context is current the cache forgets them (without deleting another context's
// names) and starts over in that one.
class TGLFontCache {
 public:
  static constexpr int64_t kDefaultBudgetBytes = int64_t{64} << 20;

  explicit TGLFontCache(int64_t budgetBytes = kDefaultBudgetBytes) : BudgetBytes(budgetBytes) {}
  TGLFontCache(const TGLFontCache&) = delete;
  TGLFontCache& operator=(const TGLFontCache&) = delete;
  ~TGLFontCache();

  // The texture of `text` at the clamped pixel size, made on the first request. Returns 0 (and
  // all sizes 0) for an empty text, without a current context, or for a text that could not be
  // rasterised, would not fit in a texture or was refused by the driver. Never throws.
  uint32_t GetTexture(std::string_view text, int32_t pixelSize, bool bold, int32_t& texWidth, int32_t& texHeight,
                      int32_t& textWidth, int32_t& textHeight) noexcept;
  // Deletes every texture (when their context is current) and forgets the entries.
  void Clear() noexcept;

  TFontCacheStats Stats() const;
  // Test hook: judge `version` instead of the context's GL_VERSION.
  void AssumeGLVersion(std::string_view version) { AssumedVersion = std::string(version); }

 private:
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

  void Forget() noexcept;
  bool UseClampToEdge();
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
  HGLRC Context = nullptr;  // where the textures live
  std::optional<std::string> AssumedVersion;
  std::optional<bool> ClampToEdge;  // of Context, asked once
  TMemoryDC MemDC;
  TGdiObject<HFONT> Font;
  int32_t FontSize = 0;
  bool FontBold = false;
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
