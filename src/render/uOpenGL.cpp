// OpenGL itself: its start, the table of looked-up entry points, the switches' scope, the
// error drain and the read-back.
#include "uOpenGL.h"

#include <float.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

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

template <typename T>
void LookUp(T& proc, const char* name, const char* fallback = nullptr) {
  proc = reinterpret_cast<T>(reinterpret_cast<void*>(GetGLProc(name, fallback)));
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

bool TGLFunctions::Buffers() const {
  return GenBuffers && BindBuffer && BufferData && BufferSubData && DeleteBuffers;
}

bool TGLFunctions::Shaders() const {
  return CreateShader && ShaderSource && CompileShader && GetShaderiv && GetShaderInfoLog && CreateProgram &&
         AttachShader && LinkProgram && GetProgramiv && GetProgramInfoLog && UseProgram && GetUniformLocation &&
         Uniform1f && Uniform2f && Uniform3f && Uniform4f && DeleteShader && DeleteProgram;
}

TGLFunctions LookUpGLFunctions() noexcept {
  TGLFunctions f;
  if (wglGetCurrentContext() == nullptr) return f;
  LookUp(f.GenBuffers, "glGenBuffers", "glGenBuffersARB");
  LookUp(f.BindBuffer, "glBindBuffer", "glBindBufferARB");
  LookUp(f.BufferData, "glBufferData", "glBufferDataARB");
  LookUp(f.BufferSubData, "glBufferSubData", "glBufferSubDataARB");
  LookUp(f.DeleteBuffers, "glDeleteBuffers", "glDeleteBuffersARB");
  LookUp(f.CreateShader, "glCreateShader");
  LookUp(f.ShaderSource, "glShaderSource");
  LookUp(f.CompileShader, "glCompileShader");
  LookUp(f.GetShaderiv, "glGetShaderiv");
  LookUp(f.GetShaderInfoLog, "glGetShaderInfoLog");
  LookUp(f.CreateProgram, "glCreateProgram");
  LookUp(f.AttachShader, "glAttachShader");
  LookUp(f.LinkProgram, "glLinkProgram");
  LookUp(f.GetProgramiv, "glGetProgramiv");
  LookUp(f.GetProgramInfoLog, "glGetProgramInfoLog");
  LookUp(f.UseProgram, "glUseProgram");
  LookUp(f.GetUniformLocation, "glGetUniformLocation");
  LookUp(f.Uniform1f, "glUniform1f");
  LookUp(f.Uniform2f, "glUniform2f");
  LookUp(f.Uniform3f, "glUniform3f");
  LookUp(f.Uniform4f, "glUniform4f");
  LookUp(f.DeleteShader, "glDeleteShader");
  LookUp(f.DeleteProgram, "glDeleteProgram");
  return f;
}

TGLStateScope::TGLStateScope(std::initializer_list<GLenum> on, std::initializer_list<GLenum> off) {
  for (GLenum capability : on) Enable(capability);
  for (GLenum capability : off) Disable(capability);
}

TGLStateScope::~TGLStateScope() {
  while (count_ > 0) {
    const TSwitch& s = switched_[--count_];
    Switch(s.Name, s.Array, s.WasOn);
  }
}

TGLStateScope& TGLStateScope::Set(GLenum capability, bool on) {
  Remember(capability, false);
  Switch(capability, false, on);
  return *this;
}

TGLStateScope& TGLStateScope::EnableArray(GLenum array) {
  Remember(array, true);
  Switch(array, true, true);
  return *this;
}

// What a capability or array was before the scope first switched it.
void TGLStateScope::Remember(GLenum name, bool array) {
  for (size_t i = 0; i < count_; ++i)
    if (switched_[i].Name == name) return;
  if (count_ < kMaxSwitches) switched_[count_++] = {name, array, glIsEnabled(name) == GL_TRUE};
}

// The only glEnable and glDisable calls of the render layer.
void TGLStateScope::Switch(GLenum name, bool array, bool on) {
  if (array)
    on ? glEnableClientState(name) : glDisableClientState(name);
  else
    on ? glEnable(name) : glDisable(name);
}

bool DrainGLErrors() noexcept {
  bool any = false;
  for (int i = 0; i < kMaxDrainedErrors && glGetError() != GL_NO_ERROR; ++i) any = true;
  return any;
}

bool DrawAndReadBack(const std::function<void()>& draw, TBufferRect rect, uint32_t* pixels, std::string& error) {
  draw();
  glFinish();
  const size_t width = static_cast<size_t>(std::max(rect.Width, 0)),
               height = static_cast<size_t>(std::max(rect.Height, 0));
  std::vector<uint32_t> rows(width * height);
  DrainGLErrors();  // the drawing's are not the read's
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadBuffer(GL_BACK);
  glReadPixels(rect.X, rect.Y, rect.Width, rect.Height, GL_BGRA_EXT, GL_UNSIGNED_BYTE, rows.data());
  const GLenum code = glGetError();
  if (code != GL_NO_ERROR) {
    DrainGLErrors();
    char text[48];
    std::snprintf(text, sizeof text, "glReadPixels: OpenGL error 0x%04X", static_cast<unsigned>(code));
    error = text;
    return false;
  }
  for (size_t y = 0; y < height; ++y)  // OpenGL rows run bottom-up
    std::copy_n(rows.data() + (height - 1 - y) * width, width, pixels + y * width);
  return true;
}

}  // namespace pelorin
