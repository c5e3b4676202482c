#include "support/random_bars.h"

#include <cmath>
#include <cstring>

namespace tarvok::testing {

void setBits(float& x, std::uint32_t bits) { std::memcpy(&x, &bits, sizeof x); }

std::uint32_t bitsOf(const float& x) {
  std::uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

namespace {

using Rng = std::mt19937_64;

int uniformInt(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
double uniformReal(Rng& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}
bool chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }

// Bars around a path of closes: high and low a random distance above and below.
Bars aroundPath(Rng& rng, const std::vector<double>& path, double spread) {
  Bars b;
  const int n = static_cast<int>(path.size());
  b.high.resize(n);
  b.low.resize(n);
  b.close.resize(n);
  for (int j = 0; j < n; ++j) {
    const double c = path[j];
    b.close[j] = static_cast<float>(c);
    b.high[j] = static_cast<float>(c + spread * uniformReal(rng, 0.0, 1.0));
    b.low[j] = static_cast<float>(c - spread * uniformReal(rng, 0.0, 1.0));
  }
  return b;
}

std::vector<double> walk(Rng& rng, int n, double start, double step) {
  std::vector<double> path(n);
  double x = start;
  std::normal_distribution<double> normal(0.0, step);
  for (int j = 0; j < n; ++j) {
    x += normal(rng);
    path[j] = x;
  }
  return path;
}

float quantise(float x, float tick) { return std::round(x / tick) * tick; }

std::uint32_t specialValueBits(Rng& rng) {
  static const std::uint32_t kSpecials[] = {
      0x7fc00000u,  // quiet NaN
      0xffc00000u,  // quiet NaN, sign set
      0x7fc12345u,  // quiet NaN with a payload
      0xffd00001u,
      0x7fa00000u,  // signalling NaNs
      0x7f800001u, 0xff812345u,
      0x7f800000u,  // +inf
      0xff800000u,  // -inf
      0x80000000u,  // -0
      0x00000000u,  // +0
      0x00000001u,  // smallest denormal
      0x807fffffu,  // largest negative denormal
      0x7f7fffffu,  // largest finite
      0xff7fffffu,
  };
  const std::size_t count = sizeof kSpecials / sizeof kSpecials[0];
  return kSpecials[std::uniform_int_distribution<std::size_t>(0, count - 1)(rng)];
}

int randomLength(Rng& rng, int period) {
  const int pick = uniformInt(rng, 0, 99);
  // Mostly a few periods long; long series are checked on their own, as the direct scans are
  // quadratic there.
  if (pick < 80) return uniformInt(rng, 5, 3 * period + 5);
  if (pick < 99) return uniformInt(rng, 5, 250);
  return uniformInt(rng, 250, 1500);
}

float randomMultiplier(Rng& rng) {
  switch (uniformInt(rng, 0, 9)) {
    case 0: return 0.1f;
    case 1: return 10.0f;
    case 2: return static_cast<float>(uniformInt(rng, 1, 10));
    case 3: return 0.5f * static_cast<float>(uniformInt(rng, 1, 20));
    default: return static_cast<float>(uniformReal(rng, 0.1, 10.0));
  }
}

}  // namespace

Bars randomWalk(Rng& rng, int n) { return aroundPath(rng, walk(rng, n, 10.0, 0.1), 0.1); }

Bars risingTrend(int n) {
  Bars b;
  b.high.resize(n);
  b.low.resize(n);
  b.close.resize(n);
  for (int j = 0; j < n; ++j) {
    const float c = 10.0f + 0.01f * static_cast<float>(j);
    b.close[j] = c;
    b.high[j] = c + 0.05f;
    b.low[j] = c - 0.05f;
  }
  return b;
}

Case randomCase(Rng& rng) {
  Case k;
  k.period = uniformInt(rng, 2, 100);
  k.multiplier = randomMultiplier(rng);
  const int n = randomLength(rng, k.period);

  switch (uniformInt(rng, 0, 8)) {
    case 0:  // random walk
      k.bars = randomWalk(rng, n);
      break;
    case 1: {  // quantised prices on a coarse grid: many equal bands and windows with ties
      const float tick = chance(rng, 0.5) ? 0.5f : 1.0f;
      k.bars = aroundPath(rng, walk(rng, n, 20.0, 1.0), 2.0);
      for (int j = 0; j < n; ++j) {
        k.bars.high[j] = quantise(k.bars.high[j], tick);
        k.bars.low[j] = quantise(k.bars.low[j], tick);
        k.bars.close[j] = quantise(k.bars.close[j], tick);
      }
      break;
    }
    case 2: {  // plateaus: runs of identical bars
      std::vector<double> path(n);
      double level = 10.0;
      for (int j = 0; j < n; ++j) {
        if (chance(rng, 0.1)) level += uniformReal(rng, -1.0, 1.0);
        path[j] = level;
      }
      k.bars = aroundPath(rng, path, 0.0);
      for (int j = 0; j < n; ++j) {
        k.bars.high[j] = k.bars.close[j] + 0.25f;
        k.bars.low[j] = k.bars.close[j] - 0.25f;
      }
      break;
    }
    case 3: {  // long monotone trend, either way, with a little noise or none
      const double slope = uniformReal(rng, -0.5, 0.5);
      const double noise = chance(rng, 0.5) ? 0.0 : 0.01;
      std::vector<double> path(n);
      for (int j = 0; j < n; ++j)
        path[j] = 1000.0 + slope * j + noise * uniformReal(rng, -1.0, 1.0);
      k.bars = aroundPath(rng, path, 0.2);
      break;
    }
    case 4: {  // high below low on some bars
      k.bars = randomWalk(rng, n);
      for (int j = 0; j < n; ++j) {
        if (chance(rng, 0.3)) std::swap(k.bars.high[j], k.bars.low[j]);
      }
      break;
    }
    case 5: {  // huge, tiny and denormal magnitudes
      static const double kScales[] = {1e30, 1e-30, 1e-38, 1e-41, 1e-44, 3e37};
      const double scale = kScales[uniformInt(rng, 0, 5)];
      k.bars = randomWalk(rng, n);
      for (int j = 0; j < n; ++j) {
        k.bars.high[j] = static_cast<float>(k.bars.high[j] * scale);
        k.bars.low[j] = static_cast<float>(k.bars.low[j] * scale);
        k.bars.close[j] = static_cast<float>(k.bars.close[j] * scale);
      }
      break;
    }
    case 6: {  // wild values: independent draws over a wide range, both signs
      k.bars.high.resize(n);
      k.bars.low.resize(n);
      k.bars.close.resize(n);
      for (int j = 0; j < n; ++j) {
        k.bars.high[j] = static_cast<float>(uniformReal(rng, -100.0, 100.0));
        k.bars.low[j] = static_cast<float>(uniformReal(rng, -100.0, 100.0));
        k.bars.close[j] = static_cast<float>(uniformReal(rng, -100.0, 100.0));
      }
      break;
    }
    default:  // random walk at an ordinary price with a sudden widening now and then
      k.bars = randomWalk(rng, n);
      for (int j = 0; j < n; ++j) {
        if (chance(rng, 0.03)) {
          k.bars.high[j] += 3.0f;
          k.bars.low[j] -= 3.0f;
        }
      }
      break;
  }

  // Special values injected into any input, in some of the cases.
  if (chance(rng, 0.35)) {
    const int count = uniformInt(rng, 1, 4);
    for (int i = 0; i < count; ++i) {
      const int j = uniformInt(rng, 0, n - 1);
      std::vector<float>* series[] = {&k.bars.high, &k.bars.low, &k.bars.close};
      setBits((*series[uniformInt(rng, 0, 2)])[j], specialValueBits(rng));
    }
  }
  return k;
}

}  // namespace tarvok::testing
