#pragma once
// Seeded random bar series of many shapes, for checking the engine against the direct scans.

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace tarvok::testing {

struct Bars {
  std::vector<float> high, low, close;
  int size() const { return static_cast<int>(close.size()); }
};

struct Case {
  Bars bars;
  int period = 14;
  float multiplier = 2.0f;
};

// Bits in and out through memory only: on 32-bit x86 a float returned by value from a function
// that is not inlined passes through the x87 stack, which quiets a signalling NaN.
void setBits(float& x, std::uint32_t bits);
std::uint32_t bitsOf(const float& x);

// A case drawn from one of the shapes: random walk, quantised prices with ties, plateaus, long
// monotone trends, inverted high/low, huge, tiny and denormal magnitudes, and special values
// (NaN of either kind with several payloads, infinities, signed zeros) injected into any input.
Case randomCase(std::mt19937_64& rng);

// A random walk of n bars around a price of 10.
Bars randomWalk(std::mt19937_64& rng, int n);

// A steadily rising series of n bars: the direct scans' worst case.
Bars risingTrend(int n);

}  // namespace tarvok::testing
