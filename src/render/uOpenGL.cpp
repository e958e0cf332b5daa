// Process-wide start of OpenGL, the look-up of extension entry points and the error drain.
#include "uOpenGL.h"

#include <GL/gl.h>
#include <float.h>
#include <xmmintrin.h>

#include <cstdint>

namespace pelorin {
namespace {

const char kOpenGLLibrary[] = "opengl32.dll";
constexpr unsigned kSseExceptionMasks = 0x1F80;
// More than the distinct error flags any context keeps.
constexpr int kMaxDrainedErrors = 16;
constexpr size_t kMaxVersionDigits = 9;  // no overflow of an int

// Only the host's window thread loads and unloads the library, so this needs no lock.
HMODULE gOpenGLModule = nullptr;

// Drivers may trap on denormals or invalid operations otherwise, and a trap inside the
// host process would take the file manager down with it.
void MaskFloatingPointExceptions() {
  _controlfp(_MCW_EM, _MCW_EM);
  _mm_setcsr(_mm_getcsr() | kSseExceptionMasks);
}

PROC LookUp(const char* name) {
  if (name == nullptr || *name == '\0') return nullptr;
  PROC address = wglGetProcAddress(name);
  if (IsRealProcAddress(address)) return address;
  // wglGetProcAddress knows only extensions; the OpenGL 1.1 functions come from the library.
  HMODULE library = gOpenGLModule ? gOpenGLModule : GetModuleHandleA(kOpenGLLibrary);
  if (library == nullptr) return nullptr;
  address = GetProcAddress(library, name);
  return IsRealProcAddress(address) ? address : nullptr;
}

bool ReadNumber(std::string_view s, size_t& pos, int& value) {
  const size_t start = pos;
  value = 0;
  while (pos < s.size() && pos - start < kMaxVersionDigits && s[pos] >= '0' && s[pos] <= '9')
    value = value * 10 + (s[pos++] - '0');
  return pos > start;
}

}  // namespace

bool LoadOpenGL(std::string& error) noexcept {
  MaskFloatingPointExceptions();
  if (gOpenGLModule != nullptr) return true;
  gOpenGLModule = LoadLibraryA(kOpenGLLibrary);
  if (gOpenGLModule == nullptr) {
    try {
      error = std::string("Could not load OpenGL from ") + kOpenGLLibrary;
    } catch (...) {
    }
    return false;
  }
  return true;
}

void UnloadOpenGL() noexcept {
  if (gOpenGLModule == nullptr) return;
  FreeLibrary(gOpenGLModule);
  gOpenGLModule = nullptr;
}

bool OpenGLLoaded() noexcept {
  return gOpenGLModule != nullptr;
}

bool IsRealProcAddress(PROC address) noexcept {
  const auto value = reinterpret_cast<intptr_t>(address);
  return !(value >= 0 && value <= 3) && value != -1;
}

PROC GetGLProc(const char* name, const char* fallback) noexcept {
  if (PROC address = LookUp(name)) return address;
  return LookUp(fallback);
}

bool GLVersionAtLeast(std::string_view glVersion, int major, int minor) noexcept {
  size_t pos = 0;
  int readMajor = 0, readMinor = 0;
  if (!ReadNumber(glVersion, pos, readMajor) || pos >= glVersion.size() || glVersion[pos] != '.') return false;
  ++pos;
  if (!ReadNumber(glVersion, pos, readMinor)) return false;
  return readMajor > major || (readMajor == major && readMinor >= minor);
}

bool DrainGLErrors() noexcept {
  bool any = false;
  for (int i = 0; i < kMaxDrainedErrors && glGetError() != GL_NO_ERROR; ++i) any = true;
  return any;
}

}  // namespace pelorin
