// Cost per bar of functions 9 and 11, beside the direct scans they replace and two floors that no
// exact engine can beat: a pass that only moves the three inputs to one output, and the running sum
// of the true range alone (a serial add-then-subtract chain, one rounding after the other).
//
// Every case reports ns_per_bar. The walk_distinct cases take 1000 bars from many different series
// in turn. Set TARVOK_BENCH_SLOW_REFERENCE=1 to include the direct scans on the rising trend at 1e5
// bars, which take several seconds per call.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/running_sum_floor.h"
#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"
#include "support/random_bars.h"
#include "support/reference_band_stop.h"

namespace {

using tarvok::testing::Bars;

constexpr int kPeriod = 14;
constexpr float kMultiplier = 2.0f;

enum class Series { kWalk, kTrend };

const char* seriesName(Series s) { return s == Series::kWalk ? "walk" : "trend"; }

// Series are made once per shape and length; the larger ones take longer to draw than to process.
const Bars& bars(Series s, int n) {
  static std::map<std::pair<Series, int>, Bars> cache;
  auto it = cache.find({s, n});
  if (it == cache.end()) {
    Bars b;
    if (s == Series::kWalk) {
      std::mt19937_64 rng(20240601u + static_cast<unsigned>(n));
      b = tarvok::testing::randomWalk(rng, n);
    } else {
      b = tarvok::testing::risingTrend(n);
    }
    it = cache.emplace(std::make_pair(s, n), std::move(b)).first;
  }
  return it->second;
}

// Period and multiplier go in the way a formula sets them: through function 10. False when they did
// not take, so that a case never reports figures for other parameters.
bool setParams() {
  float period = static_cast<float>(kPeriod);
  float multiplier = kMultiplier;
  float out = 0.0f;
  SetZhouqiParams(1, &out, &period, &multiplier, nullptr);
  return g_ZhouqiPeriod.load() == kPeriod && g_ZhouqiMultiplier.load() == kMultiplier;
}

void reportPerBar(benchmark::State& state, int n) {
  const double bars = static_cast<double>(n) * static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<std::int64_t>(bars));
  // Bars per second, inverted: seconds per bar (the console shows it with a prefix, e.g. 7.6ns).
  state.counters["ns_per_bar"] =
      benchmark::Counter(bars, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Functions 9 and 11 as the terminal calls them, inputs and outputs in separate buffers.
void tableFunction(benchmark::State& state, CalcFunc func, Series s, int n) {
  if (!setParams()) {
    state.SkipWithError("function 10 refused period 14 and multiplier 2");
    return;
  }
  Bars b = bars(s, n);  // the table functions take non-const series
  std::vector<float> out(n);
  for (auto _ : state) {
    func(n, out.data(), b.high.data(), b.low.data(), b.close.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  reportPerBar(state, n);
}

// The same length over many distinct random walks in turn. Called again and again on one short
// series, the branch predictor learns the engine's data-dependent choices by heart; the terminal
// recalculates after new bars arrive, so this is the figure that carries over.
void tableFunctionDistinct(benchmark::State& state, CalcFunc func, int n) {
  constexpr int kSeries = 512;
  if (!setParams()) {
    state.SkipWithError("function 10 refused period 14 and multiplier 2");
    return;
  }
  static std::vector<Bars> many;
  if (many.empty() || many.front().size() != n) {
    many.clear();
    std::mt19937_64 rng(77);
    for (int i = 0; i < kSeries; ++i) many.push_back(tarvok::testing::randomWalk(rng, n));
  }
  std::vector<float> out(n);
  int next = 0;
  for (auto _ : state) {
    Bars& b = many[next];
    next = (next + 1) % kSeries;
    func(n, out.data(), b.high.data(), b.low.data(), b.close.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  reportPerBar(state, n);
}

void referenceScan(benchmark::State& state, Series s, int n) {
  const Bars& b = bars(s, n);
  for (auto _ : state) {
    auto r = tarvok::reference::bandStop(n, b.high.data(), b.low.data(), b.close.data(), kPeriod,
                                         kMultiplier);
    benchmark::DoNotOptimize(r.stop.data());
    benchmark::ClobberMemory();
  }
  reportPerBar(state, n);
}

// Floor (a): read three inputs, write one output. Kept out of line so that the loop is compiled
// as a loop over unknown pointers, like the engine's.
__attribute__((noinline)) void sumInputs(int n, const float* h, const float* l, const float* c,
                                         float* out) {
  for (int j = 0; j < n; ++j) out[j] = h[j] + l[j] + c[j];
}

void floorMove(benchmark::State& state, Series s, int n) {
  const Bars& b = bars(s, n);
  std::vector<float> out(n);
  for (auto _ : state) {
    sumInputs(n, b.high.data(), b.low.data(), b.close.data(), out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  reportPerBar(state, n);
}

void floorAverageRange(benchmark::State& state, Series s, int n) {
  const Bars& b = bars(s, n);
  std::vector<float> tr(n), out(n);
  float prevClose = 0.0f;
  for (int j = 0; j < n; ++j) {
    float m = b.high[j] - b.low[j];
    const float d2 = std::abs(prevClose - b.high[j]);
    const float d3 = std::abs(prevClose - b.low[j]);
    if (!(m > d2)) m = d2;
    if (!(m > d3)) m = d3;
    tr[j] = m;
    prevClose = b.close[j];
  }
  for (auto _ : state) {
    tarvok::bench::averageRange(n, tr.data(), out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  reportPerBar(state, n);
}

bool slowReferenceWanted() {
  const char* env = std::getenv("TARVOK_BENCH_SLOW_REFERENCE");
  return env != nullptr && env[0] == '1';
}

void registerAll() {
  const int sizes[] = {1000, 100000, 1000000};
  const Series shapes[] = {Series::kWalk, Series::kTrend};
  for (Series s : shapes) {
    for (int n : sizes) {
      const std::string tail = std::string("/") + seriesName(s) + "/" + std::to_string(n);
      benchmark::RegisterBenchmark(("func9_stop" + tail).c_str(), tableFunction, &CalcZhouqiWW, s, n);
      benchmark::RegisterBenchmark(("func11_state" + tail).c_str(), tableFunction, &CalcZhouqiW, s,
                                   n);
      // The direct scans grow quadratically on both series: a bar of negative (positive) state
      // folds its stop candidate from bar 0, and on the rising trend the state never turns
      // positive, so its searches run back to bar 0 too. At 1e5 bars the walk takes seconds per
      // call and stays, for the comparison at that length; the trend takes over ten and is opt-in.
      const bool slow = n >= 1000000 || (s == Series::kTrend && n >= 100000);
      if (!slow || (n < 1000000 && slowReferenceWanted())) {
        auto* b = benchmark::RegisterBenchmark(("reference_scan" + tail).c_str(), referenceScan, s, n);
        if (slow) b->Iterations(1);
      }
      benchmark::RegisterBenchmark(("floor_move" + tail).c_str(), floorMove, s, n);
      benchmark::RegisterBenchmark(("floor_average_range" + tail).c_str(), floorAverageRange, s, n);
    }
  }
  benchmark::RegisterBenchmark("func9_stop/walk_distinct/1000", tableFunctionDistinct, &CalcZhouqiWW,
                               1000);
  benchmark::RegisterBenchmark("func11_state/walk_distinct/1000", tableFunctionDistinct,
                               &CalcZhouqiW, 1000);
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
