#pragma once
// The band-stop engine: true range, average range, bands, band high and low, trend state and
// stop line, in one pass over the bars with O(period) state on the stack.
//
// Every value equals the plain stage-by-stage scans bit for bit:
// - the running sum of the true range is carried bar to bar (add, then subtract);
// - the band high/low over a window of P bars is the window's largest/smallest non-NaN value, or NaN
//   when the window's first element is NaN; it only meets comparisons, so which of equal values or
//   which NaN it is does not matter. It is computed over fixed blocks of P bars: the fold of the
//   window's part in the previous block (a suffix of that block, prepared once per block) joined
//   with the running fold of the current block up to the bar;
// - data-dependent choices are single min/max instructions or bit-mask selects, not branches;
// - the "bars since" searches only need the index of the last bar that matched;
// - the stop candidates are folds over windows anchored at the bar after the last bar of opposite
//   state, so they too run forward one bar at a time.
//
// Bar j's inputs are read before its output is written, and never again afterwards, so the output
// may even share storage with an input.

#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "indicator/cycle_params.h"

#if defined(__SSE2__) || defined(__x86_64__)
#include <emmintrin.h>
#define TARVOK_HAS_SSE_MINMAX 1
#endif

#if defined(__GNUC__)
#define TARVOK_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define TARVOK_ALWAYS_INLINE inline
#endif

namespace tarvok {

namespace detail {

// Values are kept in registers and memory only: on 32-bit x86 a float returned by value from a
// function that is not inlined travels through the x87 stack, which quiets a signalling NaN.

TARVOK_ALWAYS_INLINE std::uint32_t bitsOf(float x) {
  std::uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

TARVOK_ALWAYS_INLINE float fromBits(std::uint32_t bits) {
  float x;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}


// x > y ? x : y, and x < y ? x : y: y when either is NaN, and on a tie. These are exactly the SSE
// maxss and minss instructions; written as intrinsics, the compiler cannot turn them into branches,
// which it does with the plain expressions and which the prices then mispredict.
#if defined(TARVOK_HAS_SSE_MINMAX)
TARVOK_ALWAYS_INLINE float maxOf(float x, float y) {
  return _mm_cvtss_f32(_mm_max_ss(_mm_set_ss(x), _mm_set_ss(y)));
}
TARVOK_ALWAYS_INLINE float minOf(float x, float y) {
  return _mm_cvtss_f32(_mm_min_ss(_mm_set_ss(x), _mm_set_ss(y)));
}
// The absolute value: the sign bit cleared, NaN included.
TARVOK_ALWAYS_INLINE float clearSign(float x) {
  return _mm_cvtss_f32(_mm_and_ps(_mm_set_ss(x), _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))));
}
#else
TARVOK_ALWAYS_INLINE float maxOf(float x, float y) { return x > y ? x : y; }
TARVOK_ALWAYS_INLINE float minOf(float x, float y) { return x < y ? x : y; }
TARVOK_ALWAYS_INLINE float clearSign(float x) { return fromBits(bitsOf(x) & 0x7fffffffu); }
#endif

// condition ? a : b with the bits of either unchanged, and without a branch: the conditions here
// follow the prices, which a branch predictor cannot learn. The bit-mask select stays in the SSE
// registers, off the slow moves between register files; a mask is made once and used twice.
#if defined(TARVOK_HAS_SSE_MINMAX)
using Mask = __m128;
TARVOK_ALWAYS_INLINE Mask maskOf(bool condition) {
  return _mm_castsi128_ps(_mm_cvtsi32_si128(-static_cast<int>(condition)));
}
TARVOK_ALWAYS_INLINE float pick(Mask mask, float a, float b) {
  return _mm_cvtss_f32(
      _mm_or_ps(_mm_and_ps(mask, _mm_set_ss(a)), _mm_andnot_ps(mask, _mm_set_ss(b))));
}
#else
using Mask = std::uint32_t;
TARVOK_ALWAYS_INLINE Mask maskOf(bool condition) { return 0u - static_cast<Mask>(condition); }
TARVOK_ALWAYS_INLINE float pick(Mask mask, float a, float b) {
  return fromBits((bitsOf(a) & mask) | (bitsOf(b) & ~mask));
}
#endif

// Suffix folds of one block, for windows that start inside it: tail[i] stands for the fold over
// block[i..], which only ever meets comparisons. It is NaN when block[i] is NaN (a NaN first
// element sticks), else the largest (smallest) non-NaN value from i on. Which of two equal
// values, or which NaN, cannot change a comparison, so ties and payloads are not tracked here.
template <bool kMax>
TARVOK_ALWAYS_INLINE void blockTails(const float* block, int size, float* tail) {
  constexpr float kNone = kMax ? -std::numeric_limits<float>::infinity()
                               : std::numeric_limits<float>::infinity();
  float r = kNone;
  for (int i = size - 1; i >= 0; --i) {
    const float x = block[i];
    if (kMax) {
      r = maxOf(x, r);        // a NaN x leaves r
      tail[i] = maxOf(r, x);  // a NaN x is the result
    } else {
      r = minOf(x, r);
      tail[i] = minOf(r, x);
    }
  }
}

}  // namespace detail

// Runs the engine over n bars and calls sink(j, stop, state) once per bar, oldest first, with the
// stop line value and the trend state of bar j. period lies in 2..100.
template <class Sink>
TARVOK_ALWAYS_INLINE void runBandStop(int n, const float* high, const float* low, const float* close,
                                      int period, float multiplier, Sink&& sink) {
  using detail::maxOf;
  using detail::minOf;
  using detail::pick;
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const int P = period;
  const float periodAsFloat = static_cast<float>(P);

  // Each block of P bars is taken in two passes: its bands first (a loop with one carried sum),
  // then its band highs and lows, states and stop line. Short loops with few live values keep
  // many bars in flight in the processor.
  float trBlock[kMaxPeriod];  // true ranges of the last P bars, by position within the block
  float upBlock[kMaxPeriod];  // upper and lower bands of the current block
  float dnBlock[kMaxPeriod];
  // Suffix folds of the previous block's bands, and of the current one once it is complete.
  float tailStore[4][kMaxPeriod + 1];  // one more: the whole block's fold, for its last bar
  float* upTail = tailStore[0];
  float* dnTail = tailStore[1];
  float* upTailNext = tailStore[2];
  float* dnTailNext = tailStore[3];

  float prevClose = 0.0f;
  float sum = 0.0f;

  // Last bar on which the upper band stood at its high, and the lower band at its low.
  int lastUpAtHigh = -1;
  int lastDnAtLow = -1;

  // Stop candidates: the plain folds of the upper (lower) band over the bars since the last bar of
  // negative (positive) state, or over the whole history when there is no such bar. That is one
  // running fold from bar 0 that restarts on the bar after each bar of negative (positive) state.
  // The stop line copies these, so they keep the plain fold's choice among equal values (the
  // earlier) and a NaN first element, as minOf(x, run) and maxOf(x, run) do.
  float fallingRun = 0.0f, risingRun = 0.0f;
  detail::Mask restartFalling = detail::maskOf(true);
  detail::Mask restartRising = detail::maskOf(true);

  for (int blockStart = 0; blockStart < n; blockStart += P) {
    const int blockSize = (n - blockStart < P) ? n - blockStart : P;
    const float* h = high + blockStart;
    const float* l = low + blockStart;
    const float* c = close + blockStart;

    // Pass 1: true range, average range and bands.
    for (int o = 0; o < blockSize; ++o) {
      // Each candidate replaces the running value unless that is greater.
      float tr = maxOf(0.0f, h[o] - l[o]);
      tr = maxOf(tr, detail::clearSign(prevClose - h[o]));
      tr = maxOf(tr, detail::clearSign(prevClose - l[o]));
      prevClose = c[o];

      // The sum is carried, never recomputed: add first, then subtract.
      sum = sum + tr;
      if (blockStart != 0) sum = sum - trBlock[o];
      trBlock[o] = tr;
      const int j = blockStart + o;
      const float divisor = (j < P - 1) ? static_cast<float>(j + 1) : periodAsFloat;
      const float atr = sum / divisor;

      const float mid = (h[o] + l[o]) * 0.5f;
      const float w = multiplier * atr;
      upBlock[o] = w + mid;
      dnBlock[o] = mid - w;
    }

    if (blockStart == 0) {
      // Warm-up windows 0..j all start at bar 0: joined with bar 0's band, the running fold gives
      // the fold from bar 0, NaN included.
      for (int i = 1; i < P; ++i) {
        upTail[i] = upBlock[0];
        dnTail[i] = dnBlock[0];
      }
    }
    if (blockSize == P) {
      // The last bar's window is this whole block; the next block's windows start inside it.
      detail::blockTails<true>(upBlock, P, upTailNext);
      detail::blockTails<false>(dnBlock, P, dnTailNext);
      upTail[P] = upTailNext[0];
      dnTail[P] = dnTailNext[0];
    }

    // Pass 2: band high and low, trend state, stop line.
    float upRun = -kInf, dnRun = kInf;  // folds of the block so far, passing over NaN
    for (int o = 0; o < blockSize; ++o) {
      const int j = blockStart + o;
      const float up = upBlock[o];
      const float dn = dnBlock[o];

      // The window's part in the previous block decides when its first element is NaN; for the
      // block's last bar the "previous part" is the whole block's fold.
      upRun = maxOf(up, upRun);
      dnRun = minOf(dn, dnRun);
      const float hu = maxOf(upRun, upTail[o + 1]);
      const float ld = minOf(dnRun, dnTail[o + 1]);

      // Trend state from the two "bars since" searches; 0 when nothing matched.
      lastUpAtHigh = (up >= hu) ? j : lastUpAtHigh;
      lastDnAtLow = (ld >= dn) ? j : lastDnAtLow;
      const std::int32_t t = (lastUpAtHigh < 0) ? 0 : j - lastUpAtHigh;
      const std::int32_t u = (lastDnAtLow < 0) ? 0 : j - lastDnAtLow;
      const std::int32_t state = t - u;

      fallingRun = pick(restartFalling, up, minOf(up, fallingRun));
      risingRun = pick(restartRising, dn, maxOf(dn, risingRun));
      restartFalling = detail::maskOf(state < 0);
      restartRising = detail::maskOf(state > 0);
      const float stop = pick(restartRising, fallingRun, pick(restartFalling, risingRun, c[o]));

      sink(j, stop, state);
    }

    std::swap(upTail, upTailNext);
    std::swap(dnTail, dnTailNext);
  }
}

}  // namespace tarvok

// The engine with the stop line into stop[0..n) and, when state is not null, the trend state into
// state[0..n). n, period and multiplier as the output functions pass them (n >= 5).
void CalcZhouqiCore(int n, const float* high, const float* low, const float* close, int period,
                    float multiplier, float* stop, std::int32_t* state) noexcept;
