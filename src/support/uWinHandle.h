// Owning wrappers for Win32 kernel handles, global memory and windows, so each is released on every path.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <utility>

namespace pelorin {

// Owns a kernel handle; treats both null and INVALID_HANDLE_VALUE as "no handle".
class TUniqueHandle {
 public:
  TUniqueHandle() = default;
  explicit TUniqueHandle(HANDLE h) : h_(h) {}
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  TUniqueHandle(TUniqueHandle&& other) noexcept : h_(other.release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~TUniqueHandle() { reset(); }

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(h_, nullptr); }
  void reset(HANDLE h = nullptr) {
    if (*this) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

// Owns a block of global memory (GlobalAlloc) until it is handed over, e.g. to the clipboard,
// which frees it from then on.
class TGlobalMemory {
 public:
  TGlobalMemory() = default;
  explicit TGlobalMemory(HGLOBAL h) : h_(h) {}
  TGlobalMemory(const TGlobalMemory&) = delete;
  TGlobalMemory& operator=(const TGlobalMemory&) = delete;
  TGlobalMemory(TGlobalMemory&& other) noexcept : h_(other.release()) {}
  TGlobalMemory& operator=(TGlobalMemory&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~TGlobalMemory() { reset(); }
  HGLOBAL get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  HGLOBAL release() { return std::exchange(h_, nullptr); }
  void reset(HGLOBAL h = nullptr) {
    if (h_) GlobalFree(h_);
    h_ = h;
  }

 private:
  HGLOBAL h_ = nullptr;
};

// Owns a window and destroys it; to be destroyed on the thread that created the window, the
// only one DestroyWindow works on.
class TOwnedWindow {
 public:
  TOwnedWindow() = default;
  explicit TOwnedWindow(HWND window) : window_(window) {}
  TOwnedWindow(const TOwnedWindow&) = delete;
  TOwnedWindow& operator=(const TOwnedWindow&) = delete;
  TOwnedWindow(TOwnedWindow&& other) noexcept : window_(std::exchange(other.window_, nullptr)) {}
  TOwnedWindow& operator=(TOwnedWindow&& other) noexcept {
    if (this != &other) {
      if (window_) DestroyWindow(window_);
      window_ = std::exchange(other.window_, nullptr);
    }
    return *this;
  }
  ~TOwnedWindow() {
    if (window_) DestroyWindow(window_);
  }
  HWND get() const { return window_; }
  explicit operator bool() const { return window_ != nullptr; }

 private:
  HWND window_ = nullptr;
};

}  // namespace pelorin

#endif  // _WIN32
