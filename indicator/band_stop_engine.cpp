#include "indicator/band_stop_engine.h"

void CalcZhouqiCore(int n, const float* high, const float* low, const float* close, int period,
                    float multiplier, float* stop, std::int32_t* state) noexcept {
  if (state == nullptr) {
    tarvok::runBandStop(n, high, low, close, period, multiplier,
                        [stop](int j, float s, std::int32_t) { stop[j] = s; });
  } else {
    tarvok::runBandStop(n, high, low, close, period, multiplier,
                        [stop, state](int j, float s, std::int32_t st) {
                          stop[j] = s;
                          state[j] = st;
                        });
  }
}
