#include "scan/band_stop_tail.h"

#include <cstdint>

#include "indicator/band_stop_engine.h"
#include "indicator/float_environment.h"

namespace tarvok::tools {

BandStopTail bandStopTail(int n, const float* high, const float* low, const float* close,
                          int period, float multiplier, std::size_t first) {
  const auto count = static_cast<std::size_t>(n);
  BandStopTail tail;
  tail.stop.resize(count > first ? count - first : 0);
  tail.state.resize(tail.stop.size());
  const DefaultFloatEnvironment environment;
  runBandStop(n, high, low, close, period, multiplier, [&](int j, Lane s, std::int32_t st) {
    const auto at = static_cast<std::size_t>(j);
    if (at < first) return;
    lane::store(&tail.stop[at - first], s);
    tail.state[at - first] = static_cast<float>(st);
  });
  return tail;
}

}  // namespace tarvok::tools
