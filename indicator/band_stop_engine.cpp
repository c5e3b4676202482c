#include "indicator/band_stop_engine.h"

void CalcZhouqiCore(int n, const float* high, const float* low, const float* close, int period,
                    float multiplier, float* stop, std::int32_t* state) noexcept {
  if (state == nullptr) {
    tarvok::runBandStop(
        n, high, low, close, period, multiplier,
        [stop](int j, tarvok::Lane s, std::int32_t) { tarvok::lane::store(stop + j, s); });
  } else {
    tarvok::runBandStop(n, high, low, close, period, multiplier,
                        [stop, state](int j, tarvok::Lane s, std::int32_t st) {
                          tarvok::lane::store(stop + j, s);
                          state[j] = st;
                        });
  }
}
