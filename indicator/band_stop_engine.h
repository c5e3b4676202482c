#pragma once
// The band-stop engine: true range, average range, bands, band high and low, trend state and
// stop line, in one pass over the bars with O(period) state on the stack.
//
// Every value equals the plain stage-by-stage scans bit for bit:
// - the running sum of the true range is carried bar to bar (add, then subtract);
// - the band high/low over a window of P bars is a sliding first-among-equals fold that passes over
//   NaN, unless the window's first element is NaN, which then is the result. It is computed over
//   fixed blocks of P bars: the fold of the window's part in the previous block (a suffix of that
//   block, prepared once per block) joined with the running fold of the current block up to the bar.
//   The joins are selects without data-dependent branches;
// - the "bars since" searches only need the index of the last bar that matched;
// - the stop candidates are folds over windows anchored at the bar after the last bar of opposite
//   state, so they too run forward one bar at a time.
//
// Bar j's inputs are read before its output is written, and never again afterwards, so the output
// may even share storage with an input.

#include <cstdint>
#include <cstring>

#include "indicator/cycle_params.h"

#if defined(__GNUC__)
#define TARVOK_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define TARVOK_ALWAYS_INLINE inline
#endif

namespace tarvok {

namespace detail {

// Values are kept in registers and memory only: on 32-bit x86 a float returned by value from a
// function that is not inlined travels through the x87 stack, which quiets a signalling NaN.
TARVOK_ALWAYS_INLINE float clearSign(float x) {
  std::uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  bits &= 0x7fffffffu;
  std::memcpy(&x, &bits, sizeof bits);
  return x;
}

// Suffix folds of one block, for windows that start inside it. tail[i] is the fold over block[i..]:
// block[i] itself when that is NaN (a NaN first element sticks), else the first largest (smallest)
// non-NaN element.
template <bool kMax>
TARVOK_ALWAYS_INLINE void blockTails(const float* block, int size, float* tail) {
  float r = block[size - 1];
  tail[size - 1] = r;
  for (int i = size - 2; i >= 0; --i) {
    const float x = block[i];
    const bool xIsNan = x != x;
    // Ties go to x, the earlier element; a NaN r (all later elements NaN) gives way to x.
    const bool keepLater = kMax ? (r > x) : (r < x);
    r = (keepLater || xIsNan) ? r : x;
    tail[i] = xIsNan ? x : r;
  }
}

}  // namespace detail

// Runs the engine over n bars and calls sink(j, stop, state) once per bar, oldest first, with the
// stop line value and the trend state of bar j. period lies in 2..100.
template <class Sink>
TARVOK_ALWAYS_INLINE void runBandStop(int n, const float* high, const float* low, const float* close,
                                      int period, float multiplier, Sink&& sink) {
  const int P = period;
  const float periodAsFloat = static_cast<float>(P);

  float trBlock[kMaxPeriod];  // true ranges of the last P bars, by position within the block
  float upBlock[kMaxPeriod];  // upper and lower bands of the current block
  float dnBlock[kMaxPeriod];
  float upTail[kMaxPeriod];   // suffix folds of the previous block's bands
  float dnTail[kMaxPeriod];

  float prevClose = 0.0f;
  float sum = 0.0f;

  // Last bar on which the upper band stood at its high, and the lower band at its low.
  int lastUpAtHigh = -1;
  int lastDnAtLow = -1;

  // Stop candidates: folds since the bar after the last bar of negative (positive) state, and over
  // the whole history, for when there is no such bar yet.
  float fallingRun = 0.0f, risingRun = 0.0f;
  float upLowest = 0.0f, dnHighest = 0.0f;
  bool negativeSeen = false, positiveSeen = false;
  std::int32_t prevState = 0;

  for (int blockStart = 0; blockStart < n; blockStart += P) {
    const int blockSize = (n - blockStart < P) ? n - blockStart : P;
    float upRun = 0.0f, dnRun = 0.0f;  // folds of the current block so far, passing over NaN

    for (int o = 0; o < blockSize; ++o) {
      const int j = blockStart + o;
      const float h = high[j];
      const float l = low[j];
      const float c = close[j];

      // True range: each candidate replaces the running value unless that is greater.
      float tr = 0.0f;
      const float d1 = h - l;
      tr = (tr > d1) ? tr : d1;
      const float d2 = detail::clearSign(prevClose - h);
      tr = (tr > d2) ? tr : d2;
      const float d3 = detail::clearSign(prevClose - l);
      tr = (tr > d3) ? tr : d3;
      prevClose = c;

      // Average range over a sum that is carried, never recomputed.
      sum = sum + tr;
      if (j >= P) sum = sum - trBlock[o];
      trBlock[o] = tr;
      const float divisor = (j < P - 1) ? static_cast<float>(j + 1) : periodAsFloat;
      const float atr = sum / divisor;

      const float mid = (h + l) * 0.5f;
      const float w = multiplier * atr;
      const float up = w + mid;
      const float dn = mid - w;

      // Band high and low over the window of bar j.
      upBlock[o] = up;
      dnBlock[o] = dn;
      if (j == 0) {
        // Warm-up windows 0..j all start at bar 0: joined with bar 0's band, the running fold gives
        // the plain fold from bar 0 (bar 0 wins ties and sticks when it is NaN).
        for (int i = 1; i < P; ++i) {
          upTail[i] = up;
          dnTail[i] = dn;
        }
      }
      upRun = (o == 0 || up > upRun || upRun != upRun) ? up : upRun;
      dnRun = (o == 0 || dn < dnRun || dnRun != dnRun) ? dn : dnRun;
      float hu, ld;
      if (o == P - 1) {
        // The window is this whole block; its suffix folds serve the next block's windows.
        detail::blockTails<true>(upBlock, P, upTail);
        detail::blockTails<false>(dnBlock, P, dnTail);
        hu = upTail[0];
        ld = dnTail[0];
      } else {
        // Earlier part of the window first: it wins ties, and its NaN first element sticks.
        const float upEarlier = upTail[o + 1];
        const float dnEarlier = dnTail[o + 1];
        hu = (upRun > upEarlier) ? upRun : upEarlier;
        ld = (dnRun < dnEarlier) ? dnRun : dnEarlier;
      }

      // Trend state from the two "bars since" searches; 0 when nothing matched.
      lastUpAtHigh = (up >= hu) ? j : lastUpAtHigh;
      lastDnAtLow = (ld >= dn) ? j : lastDnAtLow;
      const std::int32_t t = (lastUpAtHigh < 0) ? 0 : j - lastUpAtHigh;
      const std::int32_t u = (lastDnAtLow < 0) ? 0 : j - lastDnAtLow;
      const std::int32_t state = t - u;

      // Stop candidates. A window restarts on the bar after a bar of the opposite sign.
      if (j == 0) {
        fallingRun = upLowest = up;
        risingRun = dnHighest = dn;
      } else {
        fallingRun = (prevState < 0 || up < fallingRun) ? up : fallingRun;
        risingRun = (prevState > 0 || dn > risingRun) ? dn : risingRun;
        upLowest = (up < upLowest) ? up : upLowest;
        dnHighest = (dn > dnHighest) ? dn : dnHighest;
      }
      negativeSeen = negativeSeen || prevState < 0;
      positiveSeen = positiveSeen || prevState > 0;
      const float fallingStop = negativeSeen ? fallingRun : upLowest;
      const float risingStop = positiveSeen ? risingRun : dnHighest;
      const float stop = (state > 0) ? fallingStop : ((state < 0) ? risingStop : c);
      prevState = state;

      sink(j, stop, state);
    }
  }
}

}  // namespace tarvok

// The engine with the stop line into stop[0..n) and, when state is not null, the trend state into
// state[0..n). n, period and multiplier as the output functions pass them (n >= 5).
void CalcZhouqiCore(int n, const float* high, const float* low, const float* close, int period,
                    float multiplier, float* stop, std::int32_t* state) noexcept;
