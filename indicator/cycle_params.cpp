#include "indicator/cycle_params.h"

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<float>::is_always_lock_free,
              "the parameters must stay plain 32-bit values");

std::atomic<int> g_ZhouqiPeriod{tarvok::kInitialPeriod};
std::atomic<float> g_ZhouqiMultiplier{tarvok::kInitialMultiplier};

extern "C" void SetZhouqiParams(int n, float* out, float* a, float* b, float*) noexcept {
  // With no bars the inputs need hold no element, so nothing is read from them.
  if (n <= 0) return;
  if (a != nullptr) {
    const float rounded = a[0] + 0.5f;
    // Truncation of a float in [2, 101) lies in 2..100; NaN, infinities and values beyond the
    // integer range fail the test, so the conversion below is always defined.
    if (rounded >= static_cast<float>(tarvok::kMinPeriod) &&
        rounded < static_cast<float>(tarvok::kMaxPeriod + 1)) {
      g_ZhouqiPeriod.store(static_cast<int>(rounded), std::memory_order_relaxed);
    }
  }
  if (b != nullptr) {
    const float m = b[0];
    if (m >= tarvok::kMinMultiplier && m <= tarvok::kMaxMultiplier) {
      g_ZhouqiMultiplier.store(m, std::memory_order_relaxed);
    }
  }
  if (out != nullptr) {
    for (int j = 0; j < n; ++j) out[j] = 1.0f;
  }
}
