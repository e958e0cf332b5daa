// Owning wrappers for GDI objects, device contexts and paints, so every one is released on every path.
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
  TGdiObject(TGdiObject&& other) noexcept : handle_(other.release()) {}
  TGdiObject& operator=(TGdiObject&& other) noexcept {
    reset(other.release());
    return *this;
  }
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

// A device context this program made (CreateDC, CreateCompatibleDC, the print dialog's), deleted
// with the object.
class TOwnedDC {
 public:
  explicit TOwnedDC(HDC dc = nullptr) : dc_(dc) {}
  TOwnedDC(const TOwnedDC&) = delete;
  TOwnedDC& operator=(const TOwnedDC&) = delete;
  ~TOwnedDC() {
    if (dc_) DeleteDC(dc_);
  }
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HDC dc_;
};

// A memory device context compatible with the screen.
class TMemoryDC : public TOwnedDC {
 public:
  TMemoryDC() : TOwnedDC(CreateCompatibleDC(nullptr)) {}
};

// A window's device context (GetDC; the screen's for no window), released with the object.
class TWindowDC {
 public:
  TWindowDC() = default;
  explicit TWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  TWindowDC(TWindowDC&& other) noexcept
      : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
  TWindowDC& operator=(TWindowDC&& other) noexcept {
    if (this != &other) {
      Release();
      window_ = std::exchange(other.window_, nullptr);
      dc_ = std::exchange(other.dc_, nullptr);
    }
    return *this;
  }
  ~TWindowDC() { Release(); }
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  void Release() {
    if (dc_) ReleaseDC(window_, dc_);
    dc_ = nullptr;
  }
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
};

// The screen's device context, borrowed for as long as this object lives.
class TScreenDC : public TWindowDC {
 public:
  TScreenDC() : TWindowDC(nullptr) {}
};

// A paint of a window's invalid part (BeginPaint) that ends with the object (EndPaint).
class TPaintScope {
 public:
  explicit TPaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  TPaintScope(const TPaintScope&) = delete;
  TPaintScope& operator=(const TPaintScope&) = delete;
  ~TPaintScope() { EndPaint(window_, &paint_); }
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
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
