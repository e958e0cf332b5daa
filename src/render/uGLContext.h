// Pixel format and OpenGL context of a viewer window (multisampled when the driver offers it),
// the contexts closed windows leave for the next, and the window's drawing state in its context
// with the read-back of its pictures.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>

#include "render/uGLFont.h"
#include "render/uGLResources.h"
#include "render/uPictureTiles.h"
#include "support/uGdiObjects.h"
#include "support/uWglObjects.h"

namespace pelorin {

// Sets the pixel format of `dc` and creates a rendering context on it; empty on failure. The
// caller makes it current when it draws.
TGLContext CreateGLContext(HDC dc) noexcept;

// 4 samples, else 2 samples, else the basic double-buffered format. True when a format was set.
bool SetupPixelFormat(HDC dc) noexcept;

// Whether wglChoosePixelFormatARB exists. The first call finds out with a hidden dummy window
// and context, also when several threads ask at once; later calls reuse the answer, even a
// negative one.
bool ProbeMultisampleSupport() noexcept;

bool ChooseMultisampleFormat(HDC dc, int samples, int& formatIndex) noexcept;
bool SetBasicPixelFormat(HDC dc, int& formatIndex) noexcept;

// The descriptor used to choose and to set every format: RGBA, 32 colour bits, 16 depth bits,
// double-buffered, drawing to a window.
PIXELFORMATDESCRIPTOR BasicPixelFormatDescriptor() noexcept;

// The contexts of closed viewer windows, kept (at most two, none current anywhere) for the next
// window of the same pixel format: making a context and making it current the first time is
// most of a new window's start in a software driver. Whoever takes one owns it; its textures and
// buffers were deleted before it was given back.
TGLContext TakeIdleContext(int pixelFormat);
void GiveBackContext(TGLContext context, int pixelFormat);
// Deletes the kept contexts (the library is unloaded).
void DeleteIdleContexts() noexcept;

// What one window draws with: its device context, the rendering context made on it, and the
// record of what the renderers keep in that context (TGLResources). The window owns it and hands
// its parts to the renderers, so windows share none of it, whichever threads they run on. It is
// destroyed on the window's thread: the record's objects are deleted while their context is
// current, then the context, and then the device context is released.
class TWindowGL {
 public:
  // The window's device context with its pixel format set and a context for it (one a closed
  // window gave back, or a new one); null when either cannot be had (the log says why).
  static std::unique_ptr<TWindowGL> Create(HWND window);
  TWindowGL(TWindowDC dc, TGLContext context, int pixelFormat);
  ~TWindowGL();
  TWindowGL(const TWindowGL&) = delete;
  TWindowGL& operator=(const TWindowGL&) = delete;

  // The context current on this thread while the returned scope lives.
  TCurrentContext MakeCurrent() const { return TCurrentContext(dc_.get(), context_.get()); }
  // Shows the back buffer.
  void Swap() const { SwapBuffers(dc_.get()); }
  HDC DC() const { return dc_.get(); }
  HGLRC Context() const { return context_.get(); }
  // What the renderers keep in the window's context.
  TGLResources& Resources() { return *resources_; }
  TGLFontCache& Text() { return resources_->Text(); }

  // With the context current, has `draw` draw into the back buffer and reads `rect` of it
  // (DrawAndReadBack) into a new top-down 32-bit DIB section of the rectangle's size; empty
  // when the context cannot be made current, the rectangle is empty or the read fails.
  [[nodiscard]] TGdiObject<HBITMAP> DrawAndReadBack(TBufferRect rect, const std::function<void()>& draw);

 private:
  TWindowDC dc_;
  TGLContext context_;
  int pixelFormat_;
  std::optional<TGLResources> resources_;  // emptied first, with the context current
};

}  // namespace pelorin

#endif  // _WIN32
