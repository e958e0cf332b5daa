// Pixel format and OpenGL context of a viewer window, and its drawing state.
#include "uGLContext.h"

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "support/uDebugLog.h"
#include "support/uWinHandle.h"
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
  TOwnedWindow window(
      CreateWindowExA(0, kDummyClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 8, 8, nullptr, nullptr, instance, nullptr));
  if (!window) return nullptr;
  TWindowDC dc(window.get());
  if (!dc) return nullptr;
  PIXELFORMATDESCRIPTOR pfd = BasicPixelFormatDescriptor();
  const int format = ChoosePixelFormat(dc.get(), &pfd);
  if (format == 0 || !SetPixelFormat(dc.get(), format, &pfd)) return nullptr;
  // Current only for the look-up: whatever the calling thread had current is current again
  // before the probe's context is deleted.
  TGLContext context(wglCreateContext(dc.get()));
  TCurrentContext current(dc.get(), context.get());
  if (!current) return nullptr;
  PROC address = wglGetProcAddress("wglChoosePixelFormatARB");
  if (!IsRealProcAddress(address)) return nullptr;
  return reinterpret_cast<TChoosePixelFormatARB>(reinterpret_cast<void*>(address));
}

// Windows may be created on several threads at once (the host can show several lister
// windows): the function-local static makes one of them probe and the others wait for it.
TChoosePixelFormatARB ChoosePixelFormatARB() {
  static const TChoosePixelFormatARB found = FindChoosePixelFormatARB();
  return found;
}

struct TIdleContext {
  HGLRC Context;
  int PixelFormat;
};
constexpr size_t kMaxIdleContexts = 2;

std::mutex& IdleLock() {
  static std::mutex* lock = new std::mutex;  // outlives every thread, even during unload
  return *lock;
}

std::vector<TIdleContext>& IdleContexts() {
  static std::vector<TIdleContext>* contexts = new std::vector<TIdleContext>;
  return *contexts;
}

unsigned long long Number(const void* handle) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace

TGLContext TakeIdleContext(int pixelFormat) {
  std::lock_guard<std::mutex> guard(IdleLock());
  std::vector<TIdleContext>& idle = IdleContexts();
  for (auto it = idle.begin(); it != idle.end(); ++it) {
    if (it->PixelFormat != pixelFormat) continue;
    TGLContext context(it->Context);
    idle.erase(it);
    return context;
  }
  return TGLContext();
}

void GiveBackContext(TGLContext context, int pixelFormat) {
  if (!context) return;
  if (wglGetCurrentContext() == context.get()) wglMakeCurrent(nullptr, nullptr);
  std::lock_guard<std::mutex> guard(IdleLock());
  std::vector<TIdleContext>& idle = IdleContexts();
  if (idle.size() >= kMaxIdleContexts) return;  // deleted by `context`
  idle.push_back({context.release(), pixelFormat});
}

void DeleteIdleContexts() noexcept {
  std::lock_guard<std::mutex> guard(IdleLock());
  for (const TIdleContext& idle : IdleContexts()) wglDeleteContext(idle.Context);
  IdleContexts().clear();
}

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
  return ChoosePixelFormatARB() != nullptr;
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
  if (!ChoosePixelFormatARB()(dc, attributes, nullptr, 1, &format, &found) || found == 0 || format == 0) return false;
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

TGLContext CreateGLContext(HDC dc) noexcept {
  if (!SetupPixelFormat(dc)) {
    LogQuietly("SetupPixelFormat FAILED");
    return TGLContext();
  }
  TGLContext context(wglCreateContext(dc));
  LogQuietly("wglCreateContext \xE2\x86\x92 HGLRC=%llu", Number(context.get()));
  return context;
}

std::unique_ptr<TWindowGL> TWindowGL::Create(HWND window) {
  if (!window) return nullptr;  // GetDC would give the screen's
  TWindowDC dc(window);
  if (!dc) return nullptr;
  if (!SetupPixelFormat(dc.get())) {
    LogQuietly("SetupPixelFormat FAILED");
    return nullptr;
  }
  const int format = GetPixelFormat(dc.get());
  TGLContext context = TakeIdleContext(format);
  if (context) {
    LogQuietly("TWindowGL: the context HGLRC=%llu of a closed window is used again", Number(context.get()));
  } else {
    context.reset(wglCreateContext(dc.get()));
    LogQuietly("wglCreateContext \xE2\x86\x92 HGLRC=%llu", Number(context.get()));
  }
  if (!context) return nullptr;
  return std::make_unique<TWindowGL>(std::move(dc), std::move(context), format);
}

TWindowGL::TWindowGL(TWindowDC dc, TGLContext context, int pixelFormat)
    : dc_(std::move(dc)), context_(std::move(context)), pixelFormat_(pixelFormat) {
  resources_.emplace();
}

TWindowGL::~TWindowGL() {
  bool emptied = false;
  {
    // Names are only forgotten when the context cannot be made current; deleting the context
    // frees them then.
    const TCurrentContext current = MakeCurrent();
    resources_.reset();
    emptied = static_cast<bool>(current);
  }
  // Only a context whose textures and buffers are gone goes to the next window.
  if (emptied) GiveBackContext(std::move(context_), pixelFormat_);
}

TGdiObject<HBITMAP> TWindowGL::DrawAndReadBack(TBufferRect rect, const std::function<void()>& draw) {
  const TCurrentContext current = MakeCurrent();
  if (!current || rect.Width <= 0 || rect.Height <= 0) return {};
  void* bits = nullptr;
  TGdiObject<HBITMAP> bitmap(CreateTopDownDIB(nullptr, rect.Width, rect.Height, bits));
  if (!bitmap) return {};
  std::string error;
  if (!pelorin::DrawAndReadBack(draw, rect, static_cast<uint32_t*>(bits), error)) {
    LogQuietly(("TWindowGL: the picture could not be read back (" + error + ")").c_str());
    return {};
  }
  return bitmap;
}

}  // namespace pelorin
