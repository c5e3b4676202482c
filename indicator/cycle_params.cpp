#include "indicator/cycle_params.h"

#include "indicator/float_environment.h"

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<float>::is_always_lock_free,
              "the parameters must stay plain 32-bit values");

std::atomic<int> g_ZhouqiPeriod{tarvok::kInitialPeriod};
std::atomic<float> g_ZhouqiMultiplier{tarvok::kInitialMultiplier};

bool tarvok::periodFromInput(float input, int& period) noexcept {
  const float rounded = input + 0.5f;
  // Truncation of a float in [2, 101) lies in 2..100; NaN, infinities and values beyond the
  // integer range fail the test, so the conversion is always defined.
  if (!(rounded >= static_cast<float>(kMinPeriod) &&
        rounded < static_cast<float>(kMaxPeriod + 1))) {
    return false;
  }
  period = static_cast<int>(rounded);
  return true;
}

bool tarvok::multiplierAccepted(float input) noexcept {
  return input >= kMinMultiplier && input <= kMaxMultiplier;
}

extern "C" void SetZhouqiParams(int n, float* out, float* a, float* b, float*) noexcept {
  // With no bars the inputs need hold no element, so nothing is read from them.
  if (n <= 0) return;
  const tarvok::DefaultFloatEnvironment environment;
  int period = 0;
  if (a != nullptr && tarvok::periodFromInput(a[0], period)) {
    g_ZhouqiPeriod.store(period, std::memory_order_relaxed);
  }
  if (b != nullptr && tarvok::multiplierAccepted(b[0])) {
    g_ZhouqiMultiplier.store(b[0], std::memory_order_relaxed);
  }
  if (out != nullptr) {
    for (int j = 0; j < n; ++j) out[j] = 1.0f;
  }
}
