// The indicator functions as the terminal calls them: parameters, output rules, the worked example.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "indicator/band_stop_engine.h"
#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"
#include "support/random_bars.h"
#include "support/reference_band_stop.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace {

using tarvok::testing::bitsOf;
using tarvok::testing::setBits;

// The ten bars of the worked example.
const std::vector<float> kHigh = {10, 11, 12, 13, 14, 13, 12, 11, 10, 9};
const std::vector<float> kLow = {9, 10, 11, 12, 13, 12, 11, 10, 9, 8};
const std::vector<float> kClose = {9.5f,  10.5f, 11.5f, 12.5f, 13.5f,
                                   12.5f, 11.5f, 10.5f, 9.5f,  8.5f};

class Indicator : public ::testing::Test {
 protected:
  void SetUp() override { setParams(14.0f, 2.0f); }
  void TearDown() override { setParams(14.0f, 2.0f); }

  static void setParams(float period, float multiplier) {
    float out[3];
    float a[3] = {period, 0, 0};
    float b[3] = {multiplier, 0, 0};
    SetZhouqiParams(3, out, a, b, nullptr);
  }

  // Calls a table function on copies of the series; the output starts as a marker value.
  static std::vector<float> call(CalcFunc f, std::vector<float> high, std::vector<float> low,
                                 std::vector<float> close, float marker = -777.0f) {
    std::vector<float> out(close.size(), marker);
    f(static_cast<int>(close.size()), out.data(), high.data(), low.data(), close.data());
    return out;
  }
};

TEST_F(Indicator, WorkedExampleStageByStage) {
  // The oracle itself, checked against every column of the worked example.
  const auto r = tarvok::reference::bandStop(10, kHigh.data(), kLow.data(), kClose.data(), 2, 1.0f);
  const std::vector<float> tr = {10, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f};
  const std::vector<float> atr = {10, 5.75f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f};
  const std::vector<float> up = {19.5f, 16.25f, 13, 14, 15, 14, 13, 12, 11, 10};
  const std::vector<float> dn = {-0.5f, 4.75f, 10, 11, 12, 11, 10, 9, 8, 7};
  const std::vector<float> hu = {19.5f, 19.5f, 16.25f, 14, 15, 15, 14, 13, 12, 11};
  const std::vector<float> ld = {-0.5f, -0.5f, 4.75f, 10, 11, 11, 10, 9, 8, 7};
  const std::vector<std::int32_t> st = {0, 0, 0, -3, -4, 1, 2, 3, 4, 5};
  const std::vector<float> fs = {19.5f, 16.25f, 13, 13, 13, 14, 13, 12, 11, 10};
  const std::vector<float> rs = {-0.5f, 4.75f, 10, 11, 12, 12, 12, 12, 12, 12};
  const std::vector<float> stop = {9.5f, 10.5f, 11.5f, 11, 12, 14, 13, 12, 11, 10};
  EXPECT_EQ(r.tr, tr);
  EXPECT_EQ(r.atr, atr);
  EXPECT_EQ(r.up, up);
  EXPECT_EQ(r.dn, dn);
  EXPECT_EQ(r.hu, hu);
  EXPECT_EQ(r.ld, ld);
  EXPECT_EQ(r.st, st);
  EXPECT_EQ(r.fs, fs);
  EXPECT_EQ(r.rs, rs);
  EXPECT_EQ(r.stop, stop);
}

TEST_F(Indicator, WorkedExampleThroughTheTableFunctions) {
  setParams(2.0f, 1.0f);
  EXPECT_EQ(call(CalcZhouqiWW, kHigh, kLow, kClose),
            (std::vector<float>{9.5f, 10.5f, 11.5f, 11, 12, 14, 13, 12, 11, 10}));
  EXPECT_EQ(call(CalcZhouqiW, kHigh, kLow, kClose),
            (std::vector<float>{0, 0, 0, -3, -4, 1, 2, 3, 4, 5}));
}

TEST_F(Indicator, InitialParametersOnTheWorkedExampleGiveTheClose) {
  // Bar 0's true range (its high) makes its bands the extremes of every window up to bar 9.
  EXPECT_EQ(call(CalcZhouqiWW, kHigh, kLow, kClose), kClose);
  EXPECT_EQ(call(CalcZhouqiW, kHigh, kLow, kClose), std::vector<float>(10, 0.0f));
}

TEST_F(Indicator, ParametersSetBetweenCallsTakeEffect) {
  const auto before = call(CalcZhouqiWW, kHigh, kLow, kClose);
  setParams(2.0f, 1.0f);
  const auto after = call(CalcZhouqiWW, kHigh, kLow, kClose);
  EXPECT_EQ(before, kClose);
  EXPECT_NE(after, before);
  EXPECT_EQ(after[5], 14.0f);
}

TEST_F(Indicator, FewerThanFiveBarsGiveZerosAndNoBarsLeaveTheOutputAlone) {
  const std::vector<float> four(kClose.begin(), kClose.begin() + 4);
  for (CalcFunc f : {CalcFunc(CalcZhouqiWW), CalcFunc(CalcZhouqiW)}) {
    EXPECT_EQ(call(f, four, four, four), std::vector<float>(4, 0.0f));
    float out[2] = {-1.0f, -2.0f};
    float in[2] = {1.0f, 2.0f};
    f(0, out, in, in, in);
    f(-5, out, in, in, in);
    EXPECT_EQ(out[0], -1.0f);
    EXPECT_EQ(out[1], -2.0f);
  }
}

TEST_F(Indicator, FiveBarsStartAtTheCloseAndStateZero) {
  const std::vector<float> h(kHigh.begin(), kHigh.begin() + 5);
  const std::vector<float> l(kLow.begin(), kLow.begin() + 5);
  const std::vector<float> c = {7.25f, 10.5f, 11.5f, 12.5f, 13.5f};
  EXPECT_EQ(call(CalcZhouqiWW, h, l, c)[0], 7.25f);
  EXPECT_EQ(call(CalcZhouqiW, h, l, c)[0], 0.0f);
}

TEST_F(Indicator, EachBarDependsOnlyOnEarlierBars) {
  std::mt19937_64 rng(3);
  setParams(9.0f, 1.5f);
  const auto bars = tarvok::testing::randomWalk(rng, 300);
  const auto whole = call(CalcZhouqiWW, bars.high, bars.low, bars.close);
  for (int k : {5, 8, 9, 10, 57, 299}) {
    const std::vector<float> h(bars.high.begin(), bars.high.begin() + k);
    const std::vector<float> l(bars.low.begin(), bars.low.begin() + k);
    const std::vector<float> c(bars.close.begin(), bars.close.begin() + k);
    const auto part = call(CalcZhouqiWW, h, l, c);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin())) << k << " bars";
  }
}

TEST_F(Indicator, OutputMayShareStorageWithAnInput) {
  std::mt19937_64 rng(5);
  setParams(6.0f, 2.5f);
  auto bars = tarvok::testing::randomWalk(rng, 200);
  const auto expected = call(CalcZhouqiWW, bars.high, bars.low, bars.close);
  std::vector<float> close = bars.close;
  CalcZhouqiWW(200, close.data(), bars.high.data(), bars.low.data(), close.data());
  EXPECT_EQ(close, expected);
}

TEST_F(Indicator, CopiedCloseKeepsItsBitsEvenASignallingNaN) {
  // State 0 on bar 0 copies the close into the stop line, unchanged.
  for (std::uint32_t bits : {0x7fa00001u, 0xff812345u, 0x7fc00abcu, 0x80000000u, 0x00000001u}) {
    std::vector<float> c = kClose;
    setBits(c[0], bits);
    EXPECT_EQ(bitsOf(call(CalcZhouqiWW, kHigh, kLow, c)[0]), bits);
  }
}

TEST_F(Indicator, NaNLowPoisonsTheAverageFromThatBarOn) {
  setParams(2.0f, 1.0f);
  std::vector<float> l = kLow;
  l[6] = std::numeric_limits<float>::quiet_NaN();
  const auto r = tarvok::reference::bandStop(10, kHigh.data(), l.data(), kClose.data(), 2, 1.0f);
  for (int j = 0; j < 10; ++j) EXPECT_EQ(std::isnan(r.atr[j]), j >= 6) << j;
  // A NaN high alone leaves that bar's true range finite.
  std::vector<float> h = kHigh;
  h[6] = std::numeric_limits<float>::quiet_NaN();
  const auto r2 = tarvok::reference::bandStop(10, h.data(), kLow.data(), kClose.data(), 2, 1.0f);
  EXPECT_FALSE(std::isnan(r2.tr[6]));
  EXPECT_TRUE(std::isnan(r2.up[6]));
}

TEST_F(Indicator, NullSeriesAreNeverTouched) {
  float in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  float out[8];
  for (CalcFunc f : {CalcFunc(CalcZhouqiWW), CalcFunc(CalcZhouqiW), CalcFunc(SetZhouqiParams)}) {
    f(8, nullptr, in, in, in);
    std::fill(out, out + 8, -1.0f);
    f(8, out, nullptr, nullptr, nullptr);
    EXPECT_NE(out[7], -1.0f) << "the output is still written in full";
  }
  std::fill(out, out + 8, -1.0f);
  CalcZhouqiWW(8, out, in, nullptr, in);
  EXPECT_EQ(std::vector<float>(out, out + 8), std::vector<float>(8, 0.0f));
}

// Function 10.

struct ParamCase {
  float input;
  int expected;
};

TEST_F(Indicator, PeriodRoundsHalfUpAndKeepsItsRange) {
  const ParamCase cases[] = {{14.4f, 14},  {14.5f, 15}, {1.5f, 2}, {1.49f, 14}, {100.49f, 100},
                             {100.5f, 14}, {-3.0f, 14}, {2.0f, 2}, {1e10f, 14}, {-1e10f, 14}};
  for (const auto& c : cases) {
    setParams(14.0f, 2.0f);
    setParams(c.input, 2.0f);
    EXPECT_EQ(g_ZhouqiPeriod.load(), c.expected) << c.input;
  }
  for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity()}) {
    setParams(37.0f, 2.0f);
    setParams(bad, 2.0f);
    EXPECT_EQ(g_ZhouqiPeriod.load(), 37);
  }
}

TEST_F(Indicator, MultiplierKeepsItsRange) {
  for (float good : {0.1f, 10.0f, 3.25f}) {
    setParams(14.0f, 2.0f);
    setParams(14.0f, good);
    EXPECT_EQ(g_ZhouqiMultiplier.load(), good);
  }
  for (float bad : {0.0f, -1.0f, 10.001f, 0.099999f, std::numeric_limits<float>::quiet_NaN()}) {
    setParams(14.0f, 4.0f);
    setParams(14.0f, bad);
    EXPECT_EQ(g_ZhouqiMultiplier.load(), 4.0f) << bad;
  }
}

TEST_F(Indicator, PeriodAndMultiplierAreJudgedApart) {
  setParams(20.0f, 11.0f);
  EXPECT_EQ(g_ZhouqiPeriod.load(), 20);
  EXPECT_EQ(g_ZhouqiMultiplier.load(), 2.0f);
  setParams(0.0f, 3.0f);
  EXPECT_EQ(g_ZhouqiPeriod.load(), 20);
  EXPECT_EQ(g_ZhouqiMultiplier.load(), 3.0f);
}

TEST_F(Indicator, SetParamsFillsOnesAndReadsNothingWithoutBars) {
  std::vector<float> out(6, -1.0f);
  float a[1] = {500.0f};  // refused, yet the output is all 1.0
  float b[1] = {50.0f};
  SetZhouqiParams(6, out.data(), a, b, nullptr);
  EXPECT_EQ(out, std::vector<float>(6, 1.0f));

  float a2[1] = {30.0f};
  float b2[1] = {5.0f};
  float untouched[1] = {-1.0f};
  SetZhouqiParams(0, untouched, a2, b2, nullptr);
  EXPECT_EQ(untouched[0], -1.0f);
  EXPECT_EQ(g_ZhouqiPeriod.load(), 14);
  EXPECT_EQ(g_ZhouqiMultiplier.load(), 2.0f);
}

}  // namespace

#if defined(__SSE__) || defined(__x86_64__)
TEST_F(Indicator, HostFloatModesNeitherChangeTheBitsNorSurviveTheCall) {
  std::mt19937_64 rng(17);
  auto bars = tarvok::testing::randomWalk(rng, 400);
  for (float& x : bars.low) x *= 1e-37f;  // denormal true ranges, which flush-to-zero would lose
  setParams(5.0f, 0.3f);
  const auto expectedStop = call(CalcZhouqiWW, bars.high, bars.low, bars.close);
  const auto expectedState = call(CalcZhouqiW, bars.high, bars.low, bars.close);

  const unsigned saved = _mm_getcsr();
  // Round toward zero, flush-to-zero, denormals-are-zero, all exceptions still masked.
  const unsigned hostile = (saved & ~0x6000u) | 0x6000u | 0x8000u | 0x0040u;
  _mm_setcsr(hostile);
  const auto stop = call(CalcZhouqiWW, bars.high, bars.low, bars.close);
  const unsigned after9 = _mm_getcsr() & ~0x3fu;
  const auto state = call(CalcZhouqiW, bars.high, bars.low, bars.close);
  _mm_setcsr(saved);

  EXPECT_EQ(after9, hostile & ~0x3fu) << "the host's modes are restored";
  EXPECT_EQ(0, std::memcmp(stop.data(), expectedStop.data(), stop.size() * sizeof(float)));
  EXPECT_EQ(state, expectedState);
}
#endif
