// Pixel format and OpenGL context of a viewer window.
#include "uGLContext.h"

#include <cstdint>
#include <utility>

#include "support/uDebugLog.h"
#include "uOpenGL.h"

namespace pelorin {
namespace {

using TChoosePixelFormatARB = BOOL(WINAPI*)(HDC, const int*, const FLOAT*, UINT, int*, UINT*);

constexpr int kWglDrawToWindowARB = 0x2001;
constexpr int kWglSupportOpenGLARB = 0x2010;
constexpr int kWglDoubleBufferARB = 0x2011;
constexpr int kWglPixelTypeARB = 0x2013;
constexpr int kWglColorBitsARB = 0x2014;
constexpr int kWglDepthBitsARB = 0x2022;
constexpr int kWglSampleBuffersARB = 0x2041;
constexpr int kWglSamplesARB = 0x2042;
constexpr int kWglTypeRgbaARB = 0x202B;

const char kDummyClassName[] = "PelorinWGLDummy";

// Viewer windows are created one at a time on the host's window thread, so the probe state
// needs no lock.
bool gProbeAttempted = false;
TChoosePixelFormatARB gChoosePixelFormatARB = nullptr;

// Logging allocates; a failure to log must not end the host process from a noexcept function.
template <typename... TArgs>
void LogQuietly(const char* format, TArgs... args) noexcept {
  try {
    DebugLogFmt(format, args...);
  } catch (...) {
  }
}

void LogQuietly(const char* line) noexcept {
  try {
    DebugLog(line);
  } catch (...) {
  }
}

// The module that contains this code: the plugin DLL, or the test program it is linked into.
HINSTANCE CodeModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&CodeModule), &module);
  return module;
}

class TDummyWindow {
 public:
  explicit TDummyWindow(HWND window) : window_(window) {}
  TDummyWindow(const TDummyWindow&) = delete;
  TDummyWindow& operator=(const TDummyWindow&) = delete;
  ~TDummyWindow() {
    if (window_) DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

class TWindowDC {
 public:
  explicit TWindowDC(HWND window) : window_(window), dc_(window ? GetDC(window) : nullptr) {}
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  ~TWindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A context that is current only while this object lives. The context and device context that
// were current before are current again afterwards, so probing leaves the caller's drawing
// state as it found it.
class TTemporaryContext {
 public:
  explicit TTemporaryContext(HDC dc)
      : previousDC_(wglGetCurrentDC()), previousContext_(wglGetCurrentContext()), context_(wglCreateContext(dc)) {
    current_ = context_ && wglMakeCurrent(dc, context_);
  }
  TTemporaryContext(const TTemporaryContext&) = delete;
  TTemporaryContext& operator=(const TTemporaryContext&) = delete;
  ~TTemporaryContext() {
    if (!context_) return;
    if (previousContext_) {
      wglMakeCurrent(previousDC_, previousContext_);
    } else {
      wglMakeCurrent(nullptr, nullptr);
    }
    wglDeleteContext(context_);
  }
  bool Current() const { return current_; }

 private:
  HDC previousDC_;
  HGLRC previousContext_;
  HGLRC context_;
  bool current_ = false;
};

void RegisterDummyClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = kDummyClassName;
  RegisterClassExA(&wc);  // fails harmlessly when the class is already registered
}

TChoosePixelFormatARB FindChoosePixelFormatARB() {
  const HINSTANCE instance = CodeModule();
  RegisterDummyClass(instance);
  TDummyWindow window(
      CreateWindowExA(0, kDummyClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 8, 8, nullptr, nullptr, instance, nullptr));
  if (!window.get()) return nullptr;
  TWindowDC dc(window.get());
  if (!dc.get()) return nullptr;
  PIXELFORMATDESCRIPTOR pfd = BasicPixelFormatDescriptor();
  const int format = ChoosePixelFormat(dc.get(), &pfd);
  if (format == 0 || !SetPixelFormat(dc.get(), format, &pfd)) return nullptr;
  TTemporaryContext context(dc.get());
  if (!context.Current()) return nullptr;
  PROC address = wglGetProcAddress("wglChoosePixelFormatARB");
  if (!IsRealProcAddress(address)) return nullptr;
  return reinterpret_cast<TChoosePixelFormatARB>(reinterpret_cast<void*>(address));
}

}  // namespace

PIXELFORMATDESCRIPTOR BasicPixelFormatDescriptor() noexcept {
  PIXELFORMATDESCRIPTOR pfd{};
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 32;
  pfd.cDepthBits = 16;
  pfd.iLayerType = PFD_MAIN_PLANE;
  return pfd;
}

bool ProbeMultisampleSupport() noexcept {
  if (gProbeAttempted) return gChoosePixelFormatARB != nullptr;
  gProbeAttempted = true;
  gChoosePixelFormatARB = FindChoosePixelFormatARB();
  return gChoosePixelFormatARB != nullptr;
}

bool ChooseMultisampleFormat(HDC dc, int samples, int& formatIndex) noexcept {
  formatIndex = 0;
  if (samples <= 1 || !ProbeMultisampleSupport()) return false;
  const int attributes[] = {kWglDrawToWindowARB,
                            1,
                            kWglSupportOpenGLARB,
                            1,
                            kWglDoubleBufferARB,
                            1,
                            kWglPixelTypeARB,
                            kWglTypeRgbaARB,
                            kWglColorBitsARB,
                            32,
                            kWglDepthBitsARB,
                            16,
                            kWglSampleBuffersARB,
                            1,
                            kWglSamplesARB,
                            samples,
                            0};
  int format = 0;
  UINT found = 0;
  if (!gChoosePixelFormatARB(dc, attributes, nullptr, 1, &format, &found) || found == 0 || format == 0) return false;
  formatIndex = format;
  PIXELFORMATDESCRIPTOR pfd = BasicPixelFormatDescriptor();
  return SetPixelFormat(dc, format, &pfd) != FALSE;
}

bool SetBasicPixelFormat(HDC dc, int& formatIndex) noexcept {
  PIXELFORMATDESCRIPTOR pfd = BasicPixelFormatDescriptor();
  formatIndex = ChoosePixelFormat(dc, &pfd);
  if (formatIndex == 0) return false;
  return SetPixelFormat(dc, formatIndex, &pfd) != FALSE;
}

bool SetupPixelFormat(HDC dc) noexcept {
  int format = 0;
  for (int samples : {4, 2}) {
    if (ChooseMultisampleFormat(dc, samples, format)) {
      LogQuietly("SetupPixelFormat: PF=%d MSAA=%dx", format, samples);
      return true;
    }
  }
  const bool ok = SetBasicPixelFormat(dc, format);
  LogQuietly("SetupPixelFormat: PF=%d (no MSAA) OK=%s", format, ok ? "True" : "False");
  return ok;
}

HGLRC CreateGLContext(HDC dc) noexcept {
  if (!SetupPixelFormat(dc)) {
    LogQuietly("SetupPixelFormat FAILED");
    return nullptr;
  }
  HGLRC context = wglCreateContext(dc);
  LogQuietly("wglCreateContext \xE2\x86\x92 HGLRC=%llu",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(context)));
  return context;
}

}  // namespace pelorin
