// Owning wrappers for GDI objects and device contexts, so every one is released on every path.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <utility>

namespace pelorin {

// Owns a GDI object (pen, brush, font, bitmap) and deletes it.
template <typename THandle>
class TGdiObject {
 public:
  TGdiObject() = default;
  explicit TGdiObject(THandle handle) : handle_(handle) {}
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  ~TGdiObject() { reset(); }
  THandle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Hands the object over to the caller, who deletes it from now on.
  THandle release() { return std::exchange(handle_, nullptr); }
  void reset(THandle handle = nullptr) {
    if (handle_) DeleteObject(handle_);
    handle_ = handle;
  }

 private:
  THandle handle_ = nullptr;
};

// A memory device context compatible with the screen.
class TMemoryDC {
 public:
  TMemoryDC() : dc_(CreateCompatibleDC(nullptr)) {}
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  ~TMemoryDC() {
    if (dc_) DeleteDC(dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// The screen's device context, borrowed for as long as this object lives.
class TScreenDC {
 public:
  TScreenDC() : dc_(GetDC(nullptr)) {}
  TScreenDC(const TScreenDC&) = delete;
  TScreenDC& operator=(const TScreenDC&) = delete;
  ~TScreenDC() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects a GDI object into a device context and puts the previous one back at the end.
// A null object selects nothing.
class TSelection {
 public:
  TSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;
  ~TSelection() {
    if (Ok()) SelectObject(dc_, previous_);
  }
  bool Ok() const { return previous_ && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A 32-bit top-down DIB section of width x height and its pixels; null (and no bits)
// when it cannot be made.
inline HBITMAP CreateTopDownDIB(HDC dc, int width, int height, void*& bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  bits = nullptr;
  TGdiObject<HBITMAP> bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bits) return nullptr;
  return bitmap.release();
}

}  // namespace pelorin

#endif  // _WIN32
