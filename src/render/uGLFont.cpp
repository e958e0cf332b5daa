// OpenGL text through GDI-rasterised alpha textures.
#include "uGLFont.h"

#include <climits>
#include <utility>

#include "uOpenGL.h"

namespace pelorin {
namespace {

constexpr int kTextMargin = 4;
// 32 Mi texels (32 MiB of alpha, four times as much of DIB): room for the widest text a
// 16384-texel texture holds at the largest raster size, and a bound for drivers that allow larger ones.
constexpr int64_t kMaxTexels = int64_t{1} << 25;
// What an entry costs beside its texels and key: the list node and the index slot, roughly.
constexpr int64_t kEntryOverheadBytes = 128;

// A texture name that is deleted again unless it was handed over.
class TTextureName {
 public:
  TTextureName() { glGenTextures(1, &name_); }
  TTextureName(const TTextureName&) = delete;
  TTextureName& operator=(const TTextureName&) = delete;
  ~TTextureName() {
    if (name_) glDeleteTextures(1, &name_);
  }
  GLuint get() const { return name_; }
  GLuint release() {
    GLuint name = name_;
    name_ = 0;
    return name;
  }

 private:
  GLuint name_ = 0;
};

// Uploads one alpha byte a texel; false (and the name is freed by its owner) when the driver
// refused them, so an incomplete texture is never drawn as a solid block. Only the upload
// decides: a filter or wrap mode the driver does not take leaves its default, which draws too.
bool UploadAlphaTexture(GLuint name, int32_t width, int32_t height, const std::vector<uint8_t>& texels,
                        bool clampToEdge) {
  DrainGLErrors();  // earlier drawing's errors are not the upload's
  glBindTexture(GL_TEXTURE_2D, name);
  const GLint wrap = clampToEdge ? GL_CLAMP_TO_EDGE : GL_CLAMP;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  DrainGLErrors();
  // Rows are powers of two of at least 8 bytes, so the default unpack alignment of 4 fits.
  glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, width, height, 0, GL_ALPHA, GL_UNSIGNED_BYTE, texels.data());
  bool ok = glGetError() == GL_NO_ERROR;
  GLint madeWidth = 0;
  if (ok) glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &madeWidth);
  ok = ok && madeWidth == width;
  glBindTexture(GL_TEXTURE_2D, 0);
  return ok;
}

}  // namespace

bool SupportsClampToEdge(std::string_view glVersion) noexcept {
  return GLVersionAtLeast(glVersion, 1, 2);
}

void TGLFontCache::Clear() noexcept {
  for (const TEntry& entry : Recent) {
    if (entry.TexID != 0) {
      GLuint name = entry.TexID;
      glDeleteTextures(1, &name);
    }
  }
  Forget();
}

void TGLFontCache::Forget() noexcept {
  Index.clear();
  Recent.clear();
  CostBytes = TextureBytes = 0;
  Textures = 0;
}

bool TGLFontCache::FitsInTexture(const TTextTextureSize& size) const {
  return MaxTextureSize > 0 && size.TexWidth <= MaxTextureSize && size.TexHeight <= MaxTextureSize &&
         size.TexWidth * size.TexHeight <= kMaxTexels;
}

TFontCacheStats TGLFontCache::Stats() const {
  TFontCacheStats stats;
  stats.Entries = static_cast<int32_t>(Recent.size());
  stats.Textures = Textures;
  stats.TextureBytes = TextureBytes;
  stats.Made = Made;
  return stats;
}

// Grows the drawing surface to at least width x height. On failure no stale size is kept, so
// a later, smaller text cannot mistake a missing bitmap for a large enough one.
bool TGLFontCache::EnsureBitmap(int32_t width, int32_t height) {
  if (Bitmap.get() && BitmapWidth >= width && BitmapHeight >= height) return true;
  Bitmap.reset();
  Bits = nullptr;
  BitmapWidth = BitmapHeight = 0;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down: row 0 first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(MemDC.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return false;
  if (!bits) {
    DeleteObject(bitmap);
    return false;
  }
  Bitmap.reset(bitmap);
  Bits = static_cast<const uint32_t*>(bits);
  BitmapWidth = width;
  BitmapHeight = height;
  return true;
}

// Texts come in runs of one size and weight, so the font is made again only when they change.
bool TGLFontCache::PrepareFont(int32_t pixelSize, bool bold) {
  if (Font.get() && FontSize == pixelSize && FontBold == bold) return true;
  Font.reset(CreateFontA(-pixelSize, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                         "Arial"));
  FontSize = pixelSize;
  FontBold = bold;
  return Font.get() != nullptr;
}

bool TGLFontCache::Rasterise(std::string_view text, int32_t pixelSize, bool bold, TEntry& entry,
                             std::vector<uint8_t>& texels) {
  ++Made;
  if (!MemDC.get() || text.size() > static_cast<size_t>(INT_MAX) || !PrepareFont(pixelSize, bold)) return false;
  TSelection fontSelection(MemDC.get(), Font.get());
  if (!fontSelection.Ok()) return false;
  const int length = static_cast<int>(text.size());
  SIZE extent{};
  if (!GetTextExtentPoint32A(MemDC.get(), text.data(), length, &extent)) return false;

  const TTextTextureSize size = TextTextureSize(extent.cx, extent.cy);
  if (!FitsInTexture(size)) return false;
  const auto texWidth = static_cast<int32_t>(size.TexWidth);
  const auto texHeight = static_cast<int32_t>(size.TexHeight);
  if (!EnsureBitmap(texWidth, texHeight)) return false;

  TSelection bitmapSelection(MemDC.get(), Bitmap.get());
  if (!bitmapSelection.Ok()) return false;
  PatBlt(MemDC.get(), 0, 0, texWidth, texHeight, BLACKNESS);  // only this part is read
  SetBkMode(MemDC.get(), TRANSPARENT);
  SetTextColor(MemDC.get(), RGB(255, 255, 255));
  TextOutA(MemDC.get(), kTextMargin, kTextMargin, text.data(), length);
  GdiFlush();

  // Alpha alone takes a quarter of the memory of RGBA, so four times as many texts share the
  // budget; the colour comes from glColor either way.
  GlyphsToAlphaTexels(Bits, BitmapWidth, texWidth, texHeight, texels);
  entry.TexWidth = texWidth;
  entry.TexHeight = texHeight;
  entry.TextWidth = static_cast<int32_t>(size.TextWidth);
  entry.TextHeight = static_cast<int32_t>(size.TextHeight);
  return true;
}

// Makes and caches the entry of a text not in the cache; one that cannot be drawn is cached
// too (no texture, all sizes 0), so it is not rasterised again on every paint.
const TGLFontCache::TEntry& TGLFontCache::Make(std::string_view text, int32_t pixelSize, bool bold, std::string&& key) {
  TEntry entry;
  entry.Key = std::move(key);
  std::vector<uint8_t> texels;
  if (!Rasterise(text, pixelSize, bold, entry, texels)) return Insert(TEntry{std::move(entry.Key)});
  TTextureName texture;
  if (texture.get() == 0 || !UploadAlphaTexture(texture.get(), entry.TexWidth, entry.TexHeight, texels, ClampToEdge))
    return Insert(TEntry{std::move(entry.Key)});
  TEntry& inserted = Insert(std::move(entry));  // may throw: the texture is still owned here and freed
  Adopt(inserted, texture.release());
  return inserted;
}

// Puts a texture-less entry first in the recency order.
TGLFontCache::TEntry& TGLFontCache::Insert(TEntry&& entry) {
  entry.TexID = 0;
  entry.Cost = kEntryOverheadBytes + static_cast<int64_t>(entry.Key.size());
  Recent.push_front(std::move(entry));
  try {
    Index.emplace(std::string_view(Recent.front().Key), Recent.begin());
  } catch (...) {
    Recent.pop_front();
    throw;
  }
  CostBytes += Recent.front().Cost;
  EvictOverBudget();
  return Recent.front();
}

void TGLFontCache::Adopt(TEntry& entry, uint32_t texture) noexcept {
  const int64_t bytes = int64_t{entry.TexWidth} * entry.TexHeight;
  entry.TexID = texture;
  entry.Cost += bytes;
  CostBytes += bytes;
  TextureBytes += bytes;
  ++Textures;
  EvictOverBudget();
}

// Deletes the least recently used entries until the rest fit, never the newest one. Runs only
// within GetTexture, with the cache's context current.
void TGLFontCache::EvictOverBudget() noexcept {
  while (CostBytes > BudgetBytes && Recent.size() > 1) {
    TEntry& victim = Recent.back();
    if (victim.TexID != 0) {
      GLuint name = victim.TexID;
      glDeleteTextures(1, &name);
      TextureBytes -= int64_t{victim.TexWidth} * victim.TexHeight;
      --Textures;
    }
    CostBytes -= victim.Cost;
    Index.erase(std::string_view(victim.Key));
    Recent.pop_back();
  }
}

TTextTexture TGLFontCache::GetTexture(std::string_view text, int32_t pixelSize, bool bold) noexcept {
  if (text.empty()) return {};
  try {
    if (wglGetCurrentContext() == nullptr) return {};
    const int32_t size = ClampPixelSize(pixelSize);
    std::string key = MakeTextKey(text, size, bold);
    const TEntry* found = nullptr;
    const auto it = Index.find(key);
    if (it != Index.end()) {
      Recent.splice(Recent.begin(), Recent, it->second);  // moves no node: keys and iterators stay valid
      found = &Recent.front();
    } else {
      found = &Make(text, size, bold, std::move(key));
    }
    TTextTexture texture;
    texture.Name = found->TexID;
    texture.Size.TexWidth = found->TexWidth;
    texture.Size.TexHeight = found->TexHeight;
    texture.Size.TextWidth = found->TextWidth;
    texture.Size.TextHeight = found->TextHeight;
    return texture;
  } catch (...) {
    return {};
  }
}

void DrawGLText(TGLFontCache& cache, std::string_view text, TPoint2D at, const TTextStyle& style) noexcept {
  if (!(style.Size > 0)) return;
  const TTextTexture texture = cache.GetTexture(text, style.PixelSize, style.Bold);
  if (texture.Name == 0) return;
  const TTextQuad q = PlaceTextQuad(at, style, texture.Size);

  const TGLStateScope state({GL_TEXTURE_2D, GL_BLEND});
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBindTexture(GL_TEXTURE_2D, texture.Name);
  glColor4f(style.Color.R, style.Color.G, style.Color.B, style.Color.A);
  glBegin(GL_QUADS);
  glTexCoord2d(0, 0);
  glVertex2f(q.X0, q.Y0);
  glTexCoord2d(q.U1, 0);
  glVertex2f(q.X0 + q.W, q.Y0);
  glTexCoord2d(q.U1, q.V1);
  glVertex2f(q.X0 + q.W, q.Y0 + q.H);
  glTexCoord2d(0, q.V1);
  glVertex2f(q.X0, q.Y0 + q.H);
  glEnd();
  glBindTexture(GL_TEXTURE_2D, 0);
}

void DrawGLTextOutline(TGLFontCache& cache, std::string_view text, TPoint2D at, const TTextStyle& style,
                       float outlineOffset) noexcept {
  if (!(style.Color.A > 0)) return;
  TTextStyle moved = style;
  for (const TPoint2D& d : OutlineOffsets(outlineOffset, style.Size)) {
    moved.Offset = {style.Offset.X + d.X, style.Offset.Y + d.Y};
    DrawGLText(cache, text, at, moved);
  }
}

}  // namespace pelorin
