// Process-wide start of OpenGL: masked floating-point exceptions and a reference to opengl32.dll,
// plus the look-up of extension entry points and a bounded drain of the error flags.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <string_view>

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

// Reads and drops the current context's pending errors, at most 16 of them, since a lost
// context may report one on every call. True when there was any.
bool DrainGLErrors() noexcept;

}  // namespace pelorin

#endif  // _WIN32
