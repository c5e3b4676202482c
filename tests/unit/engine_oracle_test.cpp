// The one-pass engine against the direct scans, bit for bit, over many seeded random cases.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "indicator/band_stop_engine.h"
#include "support/random_bars.h"
#include "support/reference_band_stop.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::testing::Case;

// Number of random cases; TARVOK_ORACLE_CASES overrides it (the sanitizer runs take fewer).
long caseCount() {
  if (const char* env = std::getenv("TARVOK_ORACLE_CASES")) return std::atol(env);
  return 1'000'000;
}

// Compares one case; returns an empty string when every bit agrees.
std::string compareCase(const Case& k) {
  const int n = k.bars.size();
  const auto ref = tarvok::reference::bandStop(n, k.bars.high.data(), k.bars.low.data(),
                                               k.bars.close.data(), k.period, k.multiplier);
  std::vector<float> stop(n);
  std::vector<std::int32_t> state(n);
  CalcZhouqiCore(n, k.bars.high.data(), k.bars.low.data(), k.bars.close.data(), k.period,
                 k.multiplier, stop.data(), state.data());
  for (int j = 0; j < n; ++j) {
    if (bitsOf(stop[j]) != bitsOf(ref.stop[j]) || state[j] != ref.st[j]) {
      char text[256];
      std::snprintf(text, sizeof text,
                    "n=%d P=%d M=%08x bar %d: engine stop %08x state %d, reference stop %08x "
                    "state %d",
                    n, k.period, bitsOf(k.multiplier), j, bitsOf(stop[j]), state[j],
                    bitsOf(ref.stop[j]), ref.st[j]);
      return text;
    }
  }
  return {};
}

std::uint64_t seed() {
  if (const char* env = std::getenv("TARVOK_ORACLE_SEED")) return std::strtoull(env, nullptr, 10);
  return 20261207;
}

TEST(EngineOracle, RandomCasesMatchDirectScansBitForBit) {
  std::mt19937_64 rng(seed());
  const long cases = caseCount();
  long bars = 0;
  for (long i = 0; i < cases; ++i) {
    const Case k = tarvok::testing::randomCase(rng);
    bars += k.bars.size();
    const std::string mismatch = compareCase(k);
    ASSERT_TRUE(mismatch.empty()) << "case " << i << ": " << mismatch;
  }
  RecordProperty("cases", std::to_string(cases));
  RecordProperty("bars", std::to_string(bars));
}

TEST(EngineOracle, EveryPeriodOnEveryShapeOfWindowBoundary) {
  // Lengths around multiples of the period exercise each block boundary of the engine.
  std::mt19937_64 rng(7);
  for (int period = 2; period <= 100; ++period) {
    for (int n : {5, period - 1, period, period + 1, 2 * period - 1, 2 * period, 3 * period + 2}) {
      if (n < 5) continue;
      Case k;
      k.period = period;
      k.multiplier = 0.1f + 0.1f * static_cast<float>(period % 100);
      k.bars = tarvok::testing::randomWalk(rng, n);
      const std::string mismatch = compareCase(k);
      ASSERT_TRUE(mismatch.empty()) << mismatch;
    }
  }
}

TEST(EngineOracle, LongSeriesMatch) {
  std::mt19937_64 rng(99);
  for (int period : {2, 14, 37, 100}) {
    Case walk;
    walk.period = period;
    walk.bars = tarvok::testing::randomWalk(rng, 20000);
    ASSERT_EQ(compareCase(walk), "");
    Case trend;
    trend.period = period;
    trend.bars = tarvok::testing::risingTrend(5000);
    ASSERT_EQ(compareCase(trend), "");
  }
}

}  // namespace
