#include "indicator/output_functions.h"

#include <cstdint>

#include "indicator/band_stop_engine.h"
#include "indicator/cycle_params.h"
#include "indicator/float_environment.h"

namespace {

// Zeroes the output when the engine will not run, and tells whether it should. A null series with
// bars to process counts as no usable input: nothing is read or written through it.
bool prepareOutput(int n, float* out, const float* a, const float* b, const float* c) {
  if (n <= 0 || out == nullptr) return false;
  const bool run = n >= tarvok::kMinBars && a != nullptr && b != nullptr && c != nullptr;
  if (!run) {
    for (int j = 0; j < n; ++j) out[j] = 0.0f;
  }
  return run;  // the engine writes every element itself
}

}  // namespace

extern "C" void CalcZhouqiWW(int n, float* out, float* a, float* b, float* c) noexcept {
  if (!prepareOutput(n, out, a, b, c)) return;
  const tarvok::DefaultFloatEnvironment environment;
  const int period = g_ZhouqiPeriod.load(std::memory_order_relaxed);
  const float multiplier = g_ZhouqiMultiplier.load(std::memory_order_relaxed);
  tarvok::runBandStop(
      n, a, b, c, period, multiplier,
      [out](int j, tarvok::Lane stop, std::int32_t) { tarvok::lane::store(out + j, stop); });
}

extern "C" void CalcZhouqiW(int n, float* out, float* a, float* b, float* c) noexcept {
  if (!prepareOutput(n, out, a, b, c)) return;
  const tarvok::DefaultFloatEnvironment environment;
  const int period = g_ZhouqiPeriod.load(std::memory_order_relaxed);
  const float multiplier = g_ZhouqiMultiplier.load(std::memory_order_relaxed);
  tarvok::runBandStop(
      n, a, b, c, period, multiplier,
      [out](int j, tarvok::Lane, std::int32_t state) { out[j] = static_cast<float>(state); });
}
