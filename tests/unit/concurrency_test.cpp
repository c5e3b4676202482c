// The terminal calls the table functions from several threads at once. They share only the two
// parameters: every result must be the indicator for some period and multiplier that were set,
// never a mixture within one call's bars. Run under ThreadSanitizer in CI.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"
#include "support/random_bars.h"

namespace {

constexpr std::array<float, 2> kPeriods = {9.0f, 30.0f};
constexpr std::array<float, 2> kMultipliers = {1.5f, 3.0f};

void setParams(float period, float multiplier) {
  float out[1];
  float a[1] = {period};
  float b[1] = {multiplier};
  SetZhouqiParams(1, out, a, b, nullptr);
}

bool sameBits(const std::vector<float>& x, const std::vector<float>& y) {
  return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0;
}

TEST(Concurrency, TableFunctionsFromManyThreadsSeeWholeParameterValues) {
  std::mt19937_64 rng(23);
  auto bars = tarvok::testing::randomWalk(rng, 2000);
  const int n = bars.size();

  // Every combination a reader may see: each parameter is read whole, the two independently.
  std::vector<std::vector<float>> stops, states;
  for (float p : kPeriods) {
    for (float m : kMultipliers) {
      setParams(p, m);
      std::vector<float> stop(n), state(n);
      CalcZhouqiWW(n, stop.data(), bars.high.data(), bars.low.data(), bars.close.data());
      CalcZhouqiW(n, state.data(), bars.high.data(), bars.low.data(), bars.close.data());
      stops.push_back(stop);
      states.push_back(state);
    }
  }

  std::atomic<int> mismatches{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      std::vector<float> out(n);
      for (int i = 0; i < 40; ++i) {
        if (t % 3 == 0) {
          setParams(kPeriods[(t + i) % 2], kMultipliers[(t / 3 + i) % 2]);
          continue;
        }
        const bool stopLine = t % 3 == 1;
        (stopLine ? CalcZhouqiWW : CalcZhouqiW)(n, out.data(), bars.high.data(), bars.low.data(),
                                                bars.close.data());
        const auto& expected = stopLine ? stops : states;
        bool matched = false;
        for (const auto& e : expected) matched = matched || sameBits(out, e);
        if (!matched) ++mismatches;
      }
    });
  }
  go = true;
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
  setParams(14.0f, 2.0f);
}

}  // namespace
