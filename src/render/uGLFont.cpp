// OpenGL text through GDI-rasterised alpha textures.
#include "uGLFont.h"

#include <GL/gl.h>

#include <climits>

namespace pelorin {

TGLFontCache* FontCache = nullptr;

namespace {

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

constexpr int kTextMargin = 4;
constexpr size_t kEntriesStep = 32;
// 128 MiB of texels (and as much again for the DIB): room for the widest text a 16384-texel
// texture holds at the largest raster size, and a bound for drivers that allow larger ones.
constexpr int64_t kMaxTexels = int64_t{1} << 25;

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

void DiscardGLErrors() {
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

bool FitsInTexture(const TTextTextureSize& size) {
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  return maxSize > 0 && size.TexWidth <= maxSize && size.TexHeight <= maxSize &&
         size.TexWidth * size.TexHeight <= kMaxTexels;
}

// Uploads the texels; false (and the name is freed by its owner) when the driver refused them,
// so an incomplete texture is never drawn as a solid block.
bool UploadAlphaTexture(GLuint name, int32_t width, int32_t height, const std::vector<uint8_t>& texels) {
  DiscardGLErrors();
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  const bool ok = glGetError() == GL_NO_ERROR;
  glBindTexture(GL_TEXTURE_2D, 0);
  return ok;
}

}  // namespace

TGLFontCache::~TGLFontCache() {
  Clear();
}

void TGLFontCache::Clear() noexcept {
  for (const TCacheEntry& entry : Entries) {
    if (entry.TexID != 0) {
      GLuint name = entry.TexID;
      glDeleteTextures(1, &name);
    }
  }
  Entries.clear();
  Entries.shrink_to_fit();
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

bool TGLFontCache::Rasterise(std::string_view text, int32_t pixelSize, bool bold, TCacheEntry& entry) {
  if (!MemDC.get() || text.size() > static_cast<size_t>(INT_MAX)) return false;
  Font.reset(CreateFontA(-pixelSize, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                         "Arial"));
  if (!Font.get()) return false;
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
  PatBlt(MemDC.get(), 0, 0, BitmapWidth, BitmapHeight, BLACKNESS);
  SetBkMode(MemDC.get(), TRANSPARENT);
  SetTextColor(MemDC.get(), RGB(255, 255, 255));
  TextOutA(MemDC.get(), kTextMargin, kTextMargin, text.data(), length);
  GdiFlush();

  std::vector<uint8_t> texels;
  GlyphsToAlphaTexels(Bits, BitmapWidth, texWidth, texHeight, texels);
  TTextureName texture;
  if (texture.get() == 0 || !UploadAlphaTexture(texture.get(), texWidth, texHeight, texels)) return false;

  entry.TexWidth = texWidth;
  entry.TexHeight = texHeight;
  entry.TextWidth = static_cast<int32_t>(size.TextWidth);
  entry.TextHeight = static_cast<int32_t>(size.TextHeight);
  if (Entries.size() == Entries.capacity()) Entries.reserve(Entries.size() + kEntriesStep);
  Entries.push_back(entry);  // may throw: the texture is still owned here and freed
  Entries.back().TexID = texture.release();
  entry.TexID = Entries.back().TexID;
  return true;
}

uint32_t TGLFontCache::GetTexture(std::string_view text, int32_t pixelSize, bool bold, int32_t& texWidth,
                                  int32_t& texHeight, int32_t& textWidth, int32_t& textHeight) noexcept {
  texWidth = texHeight = textWidth = textHeight = 0;
  if (text.empty()) return 0;
  try {
    const int32_t size = ClampPixelSize(pixelSize);
    TCacheEntry entry;
    entry.Key = MakeTextKey(text, size, bold);
    const TCacheEntry* found = nullptr;
    for (const TCacheEntry& e : Entries) {
      if (e.Key == entry.Key) {
        found = &e;
        break;
      }
    }
    if (!found) {
      if (!Rasterise(text, size, bold, entry)) return 0;
      found = &entry;
    }
    texWidth = found->TexWidth;
    texHeight = found->TexHeight;
    textWidth = found->TextWidth;
    textHeight = found->TextHeight;
    return found->TexID;
  } catch (...) {
    return 0;
  }
}

void DrawGLTextOffset(std::string_view text, float x, float y, float size, int32_t pixelSize, float r, float g, float b,
                      float a, std::string_view anchor, bool bold, float dx, float dy) noexcept {
  if (FontCache == nullptr || !(size > 0)) return;
  const int32_t p = ClampPixelSize(pixelSize);
  TTextTextureSize tex;
  int32_t texWidth = 0, texHeight = 0, textWidth = 0, textHeight = 0;
  const uint32_t texture = FontCache->GetTexture(text, p, bold, texWidth, texHeight, textWidth, textHeight);
  if (texture == 0) return;
  tex.TexWidth = texWidth;
  tex.TexHeight = texHeight;
  tex.TextWidth = textWidth;
  tex.TextHeight = textHeight;
  const TTextQuad q = PlaceTextQuad(x, y, size, p, tex, anchor, dx, dy);

  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4f(r, g, b, a);
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
  glDisable(GL_TEXTURE_2D);
}

void DrawGLText(std::string_view text, float x, float y, float size, int32_t pixelSize, float r, float g, float b,
                float a, std::string_view anchor, bool bold) noexcept {
  DrawGLTextOffset(text, x, y, size, pixelSize, r, g, b, a, anchor, bold, 0, 0);
}

void DrawGLTextOutline(std::string_view text, float x, float y, float size, int32_t pixelSize, float r, float g,
                       float b, float a, std::string_view anchor, float offset, bool bold) noexcept {
  if (!(a > 0)) return;
  for (const TPoint2D& d : OutlineOffsets(offset, size)) {
    DrawGLTextOffset(text, x, y, size, pixelSize, r, g, b, a, anchor, bold, d.X, d.Y);
  }
}

}  // namespace pelorin
