// Owning wrappers for OpenGL rendering contexts and the scope in which one is current, so each
// context is deleted and each thread's current context put back on every path. Whoever
// includes this links opengl32.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <utility>

namespace pelorin {

// Owns a rendering context and deletes it. A context current on the deleting thread is made
// not current first (by the system); one current on another thread must not be deleted.
class TGLContext {
 public:
  TGLContext() = default;
  explicit TGLContext(HGLRC context) : context_(context) {}
  TGLContext(const TGLContext&) = delete;
  TGLContext& operator=(const TGLContext&) = delete;
  TGLContext(TGLContext&& other) noexcept : context_(other.release()) {}
  TGLContext& operator=(TGLContext&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~TGLContext() { reset(); }
  HGLRC get() const { return context_; }
  explicit operator bool() const { return context_ != nullptr; }
  HGLRC release() { return std::exchange(context_, nullptr); }
  void reset(HGLRC context = nullptr) {
    if (context_) wglDeleteContext(context_);
    context_ = context;
  }

 private:
  HGLRC context_ = nullptr;
};

// Makes a rendering context current on this thread for the lifetime of the object. Whatever
// was current before (nothing, usually) is current again afterwards, so a nested scope or a
// probe leaves the caller's drawing state as it found it. Does nothing for a null DC or context.
class TCurrentContext {
 public:
  TCurrentContext(HDC dc, HGLRC context)
      : previousDC_(wglGetCurrentDC()),
        previousContext_(wglGetCurrentContext()),
        current_(dc && context && wglMakeCurrent(dc, context)) {}
  TCurrentContext(const TCurrentContext&) = delete;
  TCurrentContext& operator=(const TCurrentContext&) = delete;
  ~TCurrentContext() {
    if (!current_) return;
    if (previousContext_)
      wglMakeCurrent(previousDC_, previousContext_);
    else
      wglMakeCurrent(nullptr, nullptr);
  }
  explicit operator bool() const { return current_; }

 private:
  HDC previousDC_;
  HGLRC previousContext_;
  bool current_;
};

}  // namespace pelorin

#endif  // _WIN32
