// Masks every floating-point exception for the lifetime of the object and puts the
// thread's previous state back afterwards.
#pragma once

#ifdef _WIN32
#include <float.h>
#include <xmmintrin.h>

namespace pelorin {

// Hosts written in languages that unmask exceptions (invalid operation, division by zero,
// overflow) would otherwise see our geometry or an OpenGL driver raise them on their
// thread. The masks belong to the thread, so every way into the plugin takes its own guard.
class TFloatMaskScope {
 public:
  TFloatMaskScope() : control_(_controlfp(0, 0)), mxcsr_(_mm_getcsr()) {
    _controlfp(_MCW_EM, _MCW_EM);
    _mm_setcsr(mxcsr_ | 0x1F80u);
  }
  TFloatMaskScope(const TFloatMaskScope&) = delete;
  TFloatMaskScope& operator=(const TFloatMaskScope&) = delete;
  ~TFloatMaskScope() {
    _clearfp();
    _controlfp(control_, _MCW_EM);
    _mm_setcsr(mxcsr_);  // the flags raised inside are ours, not the host's
  }

 private:
  unsigned int control_;
  unsigned int mxcsr_;
};

}  // namespace pelorin

#endif  // _WIN32
