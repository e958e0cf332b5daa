// Pixel format and OpenGL context of a viewer window: multisampled when the driver offers it.
#pragma once

#ifdef _WIN32
#include <windows.h>

namespace pelorin {

// Sets the pixel format of `dc` and creates a rendering context on it; null on failure. The
// caller owns the context (wglDeleteContext) and makes it current when it draws.
HGLRC CreateGLContext(HDC dc) noexcept;

// 4 samples, else 2 samples, else the basic double-buffered format. True when a format was set.
bool SetupPixelFormat(HDC dc) noexcept;

// Whether wglChoosePixelFormatARB exists. The first call finds out with a hidden dummy window
// and context; later calls reuse the answer, even a negative one.
bool ProbeMultisampleSupport() noexcept;

bool ChooseMultisampleFormat(HDC dc, int samples, int& formatIndex) noexcept;
bool SetBasicPixelFormat(HDC dc, int& formatIndex) noexcept;

// The descriptor used to choose and to set every format: RGBA, 32 colour bits, 16 depth bits,
// double-buffered, drawing to a window.
PIXELFORMATDESCRIPTOR BasicPixelFormatDescriptor() noexcept;

}  // namespace pelorin

#endif  // _WIN32
