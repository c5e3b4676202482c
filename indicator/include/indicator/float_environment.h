#pragma once
// The indicator's bits assume SSE arithmetic with round-to-nearest, denormals kept, and every
// floating-point exception masked. A host may have changed any of that on its thread (a flush-to-zero
// mode, another rounding direction, an unmasked invalid-operation trap that a NaN comparison would
// fire). The table functions therefore run under the default environment and restore the host's on
// the way out.

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define TARVOK_HAS_MXCSR 1
#endif

namespace tarvok {

class DefaultFloatEnvironment {
 public:
#if defined(TARVOK_HAS_MXCSR)
  // All exceptions masked, round to nearest, no flush-to-zero, no denormals-are-zero; status
  // flags clear.
  static constexpr unsigned kDefaultMxcsr = 0x1f80u;

  DefaultFloatEnvironment() noexcept : saved_(_mm_getcsr()) {
    if (saved_ != kDefaultMxcsr) _mm_setcsr(kDefaultMxcsr);
  }
  ~DefaultFloatEnvironment() { _mm_setcsr(saved_); }

 private:
  unsigned saved_;
#endif

 public:
  DefaultFloatEnvironment(const DefaultFloatEnvironment&) = delete;
  DefaultFloatEnvironment& operator=(const DefaultFloatEnvironment&) = delete;
};

}  // namespace tarvok
