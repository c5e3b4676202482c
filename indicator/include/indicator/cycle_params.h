#pragma once
// The process-wide period and band multiplier that formulas set through function 10.

#include <atomic>

#include "indicator/calc_func.h"

namespace tarvok {
inline constexpr int kInitialPeriod = 14;
inline constexpr int kMinPeriod = 2;
inline constexpr int kMaxPeriod = 100;
inline constexpr float kInitialMultiplier = 2.0f;
inline constexpr float kMinMultiplier = 0.1f;
inline constexpr float kMaxMultiplier = 10.0f;

// The period that function 10 takes from an input value (plus 0.5, truncated toward zero), or false
// when it would refuse the value (NaN, infinities and values beyond the integer range included).
bool periodFromInput(float input, int& period) noexcept;

// Whether function 10 takes an input value as the multiplier (NaN is refused).
bool multiplierAccepted(float input) noexcept;
}  // namespace tarvok

// Calculating threads of the host read these while another may call function 10; relaxed atomics
// are the same plain 32-bit loads and stores without the data race. No lock joins the two.
extern std::atomic<int> g_ZhouqiPeriod;
extern std::atomic<float> g_ZhouqiMultiplier;

// Function 10: period from a[0] (rounded half up), multiplier from b[0]; a value out of range is
// dropped. The output becomes all 1.0.
extern "C" TARVOK_HOST_ENTRY void TARVOK_CDECL SetZhouqiParams(int n, float* out, float* a,
                                                               float* b, float* c) noexcept;
