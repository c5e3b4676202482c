#pragma once
// The band-stop indicator by direct scans, stage by stage, each over all bars before the next:
// the plain oracle that the one-pass engine is checked against bit for bit.

#include <cstdint>
#include <vector>

namespace tarvok::reference {

struct BandStopSeries {
  std::vector<float> tr, atr, up, dn, hu, ld;
  std::vector<std::int32_t> st;
  std::vector<float> fs, rs, stop;
};

// n >= 1; period 2..100.
BandStopSeries bandStop(int n, const float* high, const float* low, const float* close, int period,
                        float multiplier);

}  // namespace tarvok::reference
