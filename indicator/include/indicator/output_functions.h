#pragma once
// The two table functions that hand the engine's results to the terminal. Both read high, low and
// close from inputs a, b and c, and the current period and multiplier once per call.

#include "indicator/calc_func.h"

namespace tarvok {
// Fewer bars than this give an all-zero output.
inline constexpr int kMinBars = 5;
}  // namespace tarvok

// Function 9: the stop line.
extern "C" TARVOK_HOST_ENTRY void TARVOK_CDECL CalcZhouqiWW(int n, float* out, float* a, float* b,
                                                            float* c) noexcept;

// Function 11: the trend state, as floats.
extern "C" TARVOK_HOST_ENTRY void TARVOK_CDECL CalcZhouqiW(int n, float* out, float* a, float* b,
                                                           float* c) noexcept;
