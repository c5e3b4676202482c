// libFuzzer target: the one-pass engine against the direct scans, bit for bit, on bars taken as raw
// IEEE bits from the fuzzer, so that NaN payloads of both kinds, infinities, denormals and -0 turn
// up among ordinary prices.
//
// Input: byte 0 picks the period (2..100) and which input the in-place run overwrites; bytes 1..4
// pick the multiplier, any float from 0.1 to 10 inclusive; then 12 bytes per bar, high, low and
// close, little-endian. Inputs too short for kMinBars bars are skipped, as the table functions never
// run the engine on them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "indicator/band_stop_engine.h"
#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"
#include "support/reference_band_stop.h"

namespace {

constexpr int kMaxBars = 400;
constexpr std::size_t kHeaderBytes = 5;
constexpr std::size_t kBarBytes = 12;

std::uint32_t bitsOf(float x) {
  std::uint32_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

float floatFromBits(std::uint32_t u) {
  float x;
  std::memcpy(&x, &u, sizeof x);
  return x;
}

std::uint32_t readLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Positive floats are ordered like their bit patterns, so an offset from 0.1's pattern reaches every
// float of the accepted range, both ends included: offset 0 is 0.1 itself.
float multiplierFromBits(std::uint32_t u) {
  const std::uint32_t lo = bitsOf(tarvok::kMinMultiplier);
  const std::uint32_t hi = bitsOf(tarvok::kMaxMultiplier);
  return floatFromBits(lo + u % (hi - lo + 1));
}

struct Case {
  int period;
  float multiplier;
  int aliased;  // 0, 1 or 2: the input that the in-place run writes its stop line over
  std::vector<float> high, low, close;
};

[[noreturn]] void fail(const Case& k, const char* what, int j, float stop, std::int32_t state,
                       float refStop, std::int32_t refState) {
  const int n = static_cast<int>(k.close.size());
  std::fprintf(stderr,
               "%s: n=%d P=%d M=%08x (%.9g) bar %d: engine stop %08x state %d, reference stop "
               "%08x state %d\n",
               what, n, k.period, bitsOf(k.multiplier), static_cast<double>(k.multiplier), j,
               bitsOf(stop), state, bitsOf(refStop), refState);
  std::fprintf(stderr, "bars (high low close):\n");
  for (int i = 0; i < n; ++i) {
    std::fprintf(stderr, "  %4d %08x %08x %08x\n", i, bitsOf(k.high[i]), bitsOf(k.low[i]),
                 bitsOf(k.close[i]));
  }
  std::fflush(stderr);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderBytes) return 0;
  const std::size_t available = (size - kHeaderBytes) / kBarBytes;
  const int n =
      available > static_cast<std::size_t>(kMaxBars) ? kMaxBars : static_cast<int>(available);
  if (n < tarvok::kMinBars) return 0;

  Case k;
  k.period = tarvok::kMinPeriod + data[0] % (tarvok::kMaxPeriod - tarvok::kMinPeriod + 1);
  k.aliased = data[0] / 99;  // 0..2
  k.multiplier = multiplierFromBits(readLe32(data + 1));
  // Exact sizes, so that the address sanitizer sees any read past the last bar.
  k.high.resize(n);
  k.low.resize(n);
  k.close.resize(n);
  const std::uint8_t* p = data + kHeaderBytes;
  for (int j = 0; j < n; ++j, p += kBarBytes) {
    k.high[j] = floatFromBits(readLe32(p));
    k.low[j] = floatFromBits(readLe32(p + 4));
    k.close[j] = floatFromBits(readLe32(p + 8));
  }

  const auto ref = tarvok::reference::bandStop(n, k.high.data(), k.low.data(), k.close.data(),
                                               k.period, k.multiplier);

  std::vector<float> stop(n);
  std::vector<std::int32_t> state(n);
  CalcZhouqiCore(n, k.high.data(), k.low.data(), k.close.data(), k.period, k.multiplier,
                 stop.data(), state.data());
  for (int j = 0; j < n; ++j) {
    if (bitsOf(stop[j]) != bitsOf(ref.stop[j]) || state[j] != ref.st[j]) {
      fail(k, "engine differs from the direct scans", j, stop[j], state[j], ref.stop[j], ref.st[j]);
    }
  }

  // Without a state output the engine is a separate instantiation; its stop line must not differ.
  std::vector<float> stopOnly(n);
  CalcZhouqiCore(n, k.high.data(), k.low.data(), k.close.data(), k.period, k.multiplier,
                 stopOnly.data(), nullptr);
  for (int j = 0; j < n; ++j) {
    if (bitsOf(stopOnly[j]) != bitsOf(ref.stop[j])) {
      fail(k, "stop-only run differs", j, stopOnly[j], ref.st[j], ref.stop[j], ref.st[j]);
    }
  }

  // The stop line written over one of its own inputs: each bar's inputs are read before its output.
  std::vector<float> h = k.high, l = k.low, c = k.close;
  std::vector<float>* over[] = {&h, &l, &c};
  float* out = over[k.aliased]->data();
  CalcZhouqiCore(n, h.data(), l.data(), c.data(), k.period, k.multiplier, out, nullptr);
  for (int j = 0; j < n; ++j) {
    if (bitsOf(out[j]) != bitsOf(ref.stop[j])) {
      fail(k, "in-place run differs", j, out[j], ref.st[j], ref.stop[j], ref.st[j]);
    }
  }
  return 0;
}
