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
// - the "bars since" searches only need the index of the last bar that matched;
// - the stop candidates are folds over windows that start on the bar after the last bar of
//   opposite state, so they too run forward one bar at a time.
//
// The arithmetic is SSE scalar code written with intrinsics: each operation is the one the plain
// expression names, with its operands in the same order, and data-dependent choices are min/max
// instructions or bit-mask selects. Left to itself the compiler turns such choices into branches,
// which follow the prices and are mispredicted about every other bar.
//
// Bar j's inputs are read before its output is written, and never again afterwards, so the output
// may even share storage with an input.

#include <cstdint>
#include <limits>
#include <utility>

#include "indicator/cycle_params.h"

#if !(defined(__SSE2__) || defined(__x86_64__))
#error "the indicator needs SSE2 scalar arithmetic (-msse2 -mfpmath=sse on 32-bit x86)"
#endif
#include <emmintrin.h>

#if defined(__GNUC__)
#define TARVOK_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define TARVOK_ALWAYS_INLINE inline
#endif

namespace tarvok {

// A single-precision value in lane 0 of an SSE register. Values stay in registers and memory: on
// 32-bit x86 a float returned by value from a function that is not inlined travels through the x87
// stack, which quiets a signalling NaN.
using Lane = __m128;

namespace lane {

TARVOK_ALWAYS_INLINE Lane load(const float* p) { return _mm_load_ss(p); }
TARVOK_ALWAYS_INLINE void store(float* p, Lane x) { _mm_store_ss(p, x); }
TARVOK_ALWAYS_INLINE Lane constant(float x) { return _mm_set_ss(x); }
TARVOK_ALWAYS_INLINE float value(Lane x) { return _mm_cvtss_f32(x); }

TARVOK_ALWAYS_INLINE Lane add(Lane x, Lane y) { return _mm_add_ss(x, y); }
TARVOK_ALWAYS_INLINE Lane sub(Lane x, Lane y) { return _mm_sub_ss(x, y); }
TARVOK_ALWAYS_INLINE Lane mul(Lane x, Lane y) { return _mm_mul_ss(x, y); }
TARVOK_ALWAYS_INLINE Lane div(Lane x, Lane y) { return _mm_div_ss(x, y); }

// The sign bit cleared, NaN included.
TARVOK_ALWAYS_INLINE Lane abs(Lane x) {
  return _mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
}

// x > y ? x : y, and x < y ? x : y: y when either is NaN, and on a tie (maxss, minss).
TARVOK_ALWAYS_INLINE Lane max(Lane x, Lane y) { return _mm_max_ss(x, y); }
TARVOK_ALWAYS_INLINE Lane min(Lane x, Lane y) { return _mm_min_ss(x, y); }

// Ordered comparisons: false when either is NaN.
TARVOK_ALWAYS_INLINE bool greaterOrEqual(Lane x, Lane y) { return value(x) >= value(y); }

// condition ? a : b, bits unchanged, without a branch. A mask is made once and used twice.
using Mask = __m128;
TARVOK_ALWAYS_INLINE Mask maskOf(bool condition) {
  return _mm_castsi128_ps(_mm_cvtsi32_si128(-static_cast<int>(condition)));
}
TARVOK_ALWAYS_INLINE Lane pick(Mask mask, Lane a, Lane b) {
  return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

}  // namespace lane

namespace detail {

// Suffix folds of one block, for windows that start inside it: tail[i] stands for the fold over
// block[i..], which only ever meets comparisons. It is NaN when block[i] is NaN (a NaN first
// element sticks), else the largest (smallest) non-NaN value from i on.
template <bool kMax>
TARVOK_ALWAYS_INLINE void blockTails(const float* block, int size, float* tail) {
  constexpr float kNone =
      kMax ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
  Lane r = lane::constant(kNone);
  for (int i = size - 1; i >= 0; --i) {
    const Lane x = lane::load(block + i);
    if (kMax) {
      r = lane::max(x, r);                     // a NaN x leaves r
      lane::store(tail + i, lane::max(r, x));  // a NaN x is the result
    } else {
      r = lane::min(x, r);
      lane::store(tail + i, lane::min(r, x));
    }
  }
}

}  // namespace detail

// Runs the engine over n bars and calls sink(j, stop, state) once per bar, oldest first, with the
// stop line value (a Lane) and the trend state of bar j. period lies in 2..100.
template <class Sink>
TARVOK_ALWAYS_INLINE void runBandStop(int n, const float* high, const float* low,
                                      const float* close, int period, float multiplier,
                                      Sink&& sink) {
  using namespace lane;
  const int P = period;
  const Lane periodAsFloat = constant(static_cast<float>(P));
  const Lane M = constant(multiplier);
  const Lane zero = constant(0.0f);
  const Lane half = constant(0.5f);

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

  Lane prevClose = zero;
  Lane sum = zero;

  // Last bar on which the upper band stood at its high, and the lower band at its low.
  int lastUpAtHigh = -1;
  int lastDnAtLow = -1;

  // Stop candidates: the plain folds of the upper (lower) band over the bars since the last bar of
  // negative (positive) state, or over the whole history when there is no such bar. That is one
  // running fold from bar 0 that restarts on the bar after each bar of negative (positive) state.
  // The stop line copies these, so they keep the plain fold's choice among equal values (the
  // earlier) and a NaN first element, as min(x, run) and max(x, run) do.
  Lane fallingRun = zero, risingRun = zero;
  Mask restartFalling = maskOf(true);
  Mask restartRising = maskOf(true);

  for (int blockStart = 0; blockStart < n; blockStart += P) {
    const int blockSize = (n - blockStart < P) ? n - blockStart : P;
    const float* h = high + blockStart;
    const float* l = low + blockStart;
    const float* c = close + blockStart;

    // Pass 1: true range, average range and bands.
    for (int o = 0; o < blockSize; ++o) {
      const Lane hi = load(h + o);
      const Lane lo = load(l + o);

      // Each candidate replaces the running value unless that is greater.
      Lane tr = max(zero, sub(hi, lo));
      tr = max(tr, abs(sub(prevClose, hi)));
      tr = max(tr, abs(sub(prevClose, lo)));
      prevClose = load(c + o);

      // The sum is carried, never recomputed: add first, then subtract.
      sum = add(sum, tr);
      if (blockStart != 0) sum = sub(sum, load(trBlock + o));
      store(trBlock + o, tr);
      const int j = blockStart + o;
      const Lane divisor = (j < P - 1) ? constant(static_cast<float>(j + 1)) : periodAsFloat;
      const Lane atr = div(sum, divisor);

      const Lane mid = mul(add(hi, lo), half);
      const Lane w = mul(M, atr);
      store(upBlock + o, add(w, mid));
      store(dnBlock + o, sub(mid, w));
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
    Lane upRun = constant(-std::numeric_limits<float>::infinity());  // the block so far, NaN
    Lane dnRun = constant(std::numeric_limits<float>::infinity());   // passed over
    for (int o = 0; o < blockSize; ++o) {
      const int j = blockStart + o;
      const Lane up = load(upBlock + o);
      const Lane dn = load(dnBlock + o);

      // The window's part in the previous block decides when its first element is NaN; for the
      // block's last bar that part is the whole block's fold.
      upRun = max(up, upRun);
      dnRun = min(dn, dnRun);
      const Lane hu = max(upRun, load(upTail + o + 1));
      const Lane ld = min(dnRun, load(dnTail + o + 1));

      // Trend state from the two "bars since" searches; 0 when nothing matched.
      lastUpAtHigh = greaterOrEqual(up, hu) ? j : lastUpAtHigh;
      lastDnAtLow = greaterOrEqual(ld, dn) ? j : lastDnAtLow;
      const std::int32_t t = (lastUpAtHigh < 0) ? 0 : j - lastUpAtHigh;
      const std::int32_t u = (lastDnAtLow < 0) ? 0 : j - lastDnAtLow;
      const std::int32_t state = t - u;

      fallingRun = pick(restartFalling, up, min(up, fallingRun));
      risingRun = pick(restartRising, dn, max(dn, risingRun));
      restartFalling = maskOf(state < 0);
      restartRising = maskOf(state > 0);
      const Lane stop =
          pick(restartRising, fallingRun, pick(restartFalling, risingRun, load(c + o)));

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
