#pragma once
// The stop line and state of a series' last bars, as a chart of them draws them.

#include <cstddef>
#include <vector>

namespace tarvok::tools {

struct BandStopTail {
  std::vector<float> stop;
  std::vector<float> state;  // whole counts of bars, as function 11 hands them out
};

// The engine over all n bars (n >= kMinBars, period 2..100, a multiplier function 10 takes), with
// the values of bars first .. n - 1 kept: the same as functions 9 and 11 give for those bars.
BandStopTail bandStopTail(int n, const float* high, const float* low, const float* close,
                          int period, float multiplier, std::size_t first);

}  // namespace tarvok::tools
