// OpenGL itself, for the whole render layer: the process-wide start (masked floating-point
// exceptions, a reference to opengl32.dll), the one table of entry points looked up by name, the
// scope every switch of a capability goes through, the error drain and the read-back.
#pragma once

#ifdef _WIN32
// GL/gl.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <GL/gl.h>
#include <GL/glext.h>
// clang-format on

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "render/uPictureTiles.h"

namespace pelorin {

// Masks every floating-point exception (x87 and SSE) for the process, then loads opengl32.dll.
// On failure returns false with "Could not load OpenGL from opengl32.dll" in `error`. Loading
// again while loaded takes no second reference. Never throws.
[[nodiscard]] bool LoadOpenGL(std::string& error) noexcept;
// Drops the reference LoadOpenGL took; nothing happens when none is held.
void UnloadOpenGL() noexcept;
bool OpenGLLoaded() noexcept;

// wglGetProcAddress reports some failures as small values or all bits set instead of null.
bool IsRealProcAddress(PROC address) noexcept;

// The entry point `name`, else `fallback` (for instance the ARB name of a core function; may be
// null), from the current context's driver or from opengl32.dll itself; null when neither exists.
// Needs a current OpenGL context for extension functions.
PROC GetGLProc(const char* name, const char* fallback) noexcept;

// Whether a context reporting `glVersion` (GL_VERSION: "major.minor" first) is at least of
// version major.minor; false for anything unreadable.
bool GLVersionAtLeast(std::string_view glVersion, int major, int minor) noexcept;

// The entry points beyond OpenGL 1.1 the renderers call: buffer objects (OpenGL 1.5, or the ARB
// extension) and shaders (OpenGL 2.0). Their addresses belong to the driver of the context they
// were looked up in, so each context's record (TGLResources) keeps a table of its own.
struct TGLFunctions {
  PFNGLGENBUFFERSPROC GenBuffers = nullptr;
  PFNGLBINDBUFFERPROC BindBuffer = nullptr;
  PFNGLBUFFERDATAPROC BufferData = nullptr;
  PFNGLBUFFERSUBDATAPROC BufferSubData = nullptr;
  PFNGLDELETEBUFFERSPROC DeleteBuffers = nullptr;

  PFNGLCREATESHADERPROC CreateShader = nullptr;
  PFNGLSHADERSOURCEPROC ShaderSource = nullptr;
  PFNGLCOMPILESHADERPROC CompileShader = nullptr;
  PFNGLGETSHADERIVPROC GetShaderiv = nullptr;
  PFNGLGETSHADERINFOLOGPROC GetShaderInfoLog = nullptr;
  PFNGLCREATEPROGRAMPROC CreateProgram = nullptr;
  PFNGLATTACHSHADERPROC AttachShader = nullptr;
  PFNGLLINKPROGRAMPROC LinkProgram = nullptr;
  PFNGLGETPROGRAMIVPROC GetProgramiv = nullptr;
  PFNGLGETPROGRAMINFOLOGPROC GetProgramInfoLog = nullptr;
  PFNGLUSEPROGRAMPROC UseProgram = nullptr;
  PFNGLGETUNIFORMLOCATIONPROC GetUniformLocation = nullptr;
  PFNGLUNIFORM1FPROC Uniform1f = nullptr;
  PFNGLUNIFORM2FPROC Uniform2f = nullptr;
  PFNGLUNIFORM3FPROC Uniform3f = nullptr;
  PFNGLUNIFORM4FPROC Uniform4f = nullptr;
  PFNGLDELETESHADERPROC DeleteShader = nullptr;
  PFNGLDELETEPROGRAMPROC DeleteProgram = nullptr;

  // Every buffer function is there.
  bool Buffers() const;
  // Every shader function is there.
  bool Shaders() const;
};
// The table of the current context's driver; all null without a current context.
TGLFunctions LookUpGLFunctions() noexcept;

// The capabilities (glEnable) and client arrays (glEnableClientState) a drawing step switches,
// each put back as the scope found it when the scope ends, in reverse order. Every switch of the
// renderers goes through one, so that no drawing depends on what was drawn before it in the
// same context. At most kMaxSwitches different ones a scope; any further one is switched but not
// put back.
class TGLStateScope {
 public:
  TGLStateScope() = default;
  TGLStateScope(std::initializer_list<GLenum> on, std::initializer_list<GLenum> off = {});
  TGLStateScope(const TGLStateScope&) = delete;
  TGLStateScope& operator=(const TGLStateScope&) = delete;
  ~TGLStateScope();

  TGLStateScope& Enable(GLenum capability) { return Set(capability, true); }
  TGLStateScope& Disable(GLenum capability) { return Set(capability, false); }
  TGLStateScope& Set(GLenum capability, bool on);
  // A client array (GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, ...) enabled for the scope.
  TGLStateScope& EnableArray(GLenum array);

  static constexpr size_t kMaxSwitches = 12;

 private:
  struct TSwitch {
    GLenum Name = 0;
    bool Array = false;
    bool WasOn = false;
  };
  void Remember(GLenum name, bool array);
  static void Switch(GLenum name, bool array, bool on);
  std::array<TSwitch, kMaxSwitches> switched_{};
  size_t count_ = 0;
};

// Reads and drops the current context's pending errors, at most 16 of them, since a lost
// context may report one on every call. True when there was any.
bool DrainGLErrors() noexcept;

// Has `draw` draw into the current context's back buffer and, once the drawing is done, reads
// `rect` of it into `pixels` (rect.Width x rect.Height of them: 32-bit BGRX, rows from the top).
// Read before any swap: a swapped or shown picture cannot be read back reliably. False, with
// the reason in `error`, when the driver reports an error reading (the drawing's own do not
// count).
[[nodiscard]] bool DrawAndReadBack(const std::function<void()>& draw, TBufferRect rect, uint32_t* pixels,
                                   std::string& error);

}  // namespace pelorin

#endif  // _WIN32
