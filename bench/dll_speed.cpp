// tarvok-dll-speed: the cost per bar of functions 9 and 11 of the built tarvok.dll, called through
// the table that RegisterTdxFunc hands out, as the terminal calls them. Beside them, in the same
// run, the floor that no exact engine can beat: the running sum of the true range, a chain of two
// dependent float additions per bar.
//
//   tarvok-dll-speed [--quick] [PATH_TO_DLL]   (default: tarvok.dll beside the program)
//
// Each case is timed over repeated calls for at least a fifth of a second, and the fastest of
// five such runs is printed (--quick: one call each, a smoke run). The -win32 runtime has no
// std::chrono clock worth the name; QueryPerformanceCounter is the Windows one.

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/running_sum_floor.h"
#include "support/random_bars.h"

namespace {

using CalcFunc = void(__cdecl*)(int, float*, float*, float*, float*);
using RegisterFn = int(__cdecl*)(void**);

constexpr int kPeriod = 14;

// The table as the terminal reads it: packed records of a 16-bit number and an address.
CalcFunc findFunction(const void* table, int number) {
  const auto* record = static_cast<const unsigned char*>(table);
  for (int i = 0; i < 16; ++i, record += 2 + sizeof(void*)) {
    std::uint16_t n;
    std::uintptr_t address;
    std::memcpy(&n, record, 2);
    std::memcpy(&address, record + 2, sizeof address);
    if (n == 0) break;
    if (n == number) return reinterpret_cast<CalcFunc>(address);
  }
  return nullptr;
}

double seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Nanoseconds per bar of call(), the fastest of `runs` runs of at least `minSeconds` each.
template <class Call>
double nsPerBar(int n, int runs, double minSeconds, Call call) {
  double best = 0.0;
  for (int r = 0; r < runs; ++r) {
    long calls = 0;
    const double start = seconds();
    double elapsed = 0.0;
    do {
      call();
      ++calls;
      elapsed = seconds() - start;
    } while (elapsed < minSeconds);
    const double perBar = elapsed * 1e9 / (static_cast<double>(calls) * n);
    if (r == 0 || perBar < best) best = perBar;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  std::string dllPath;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else {
      dllPath = argv[i];
    }
  }
  if (dllPath.empty()) {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, length < MAX_PATH ? length : 0);
    dir.erase(dir.find_last_of('\\') == std::string::npos ? 0 : dir.find_last_of('\\') + 1);
    dllPath = dir + "tarvok.dll";
  }

  HMODULE dll = LoadLibraryA(dllPath.c_str());
  if (dll == nullptr) {
    std::fprintf(stderr, "tarvok-dll-speed: cannot load %s (error %lu)\n", dllPath.c_str(),
                 GetLastError());
    return 1;
  }
  auto registerTdxFunc =
      reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(dll, "RegisterTdxFunc")));
  void* table = nullptr;
  if (registerTdxFunc == nullptr || registerTdxFunc(&table) != 1) {
    std::fprintf(stderr, "tarvok-dll-speed: %s did not register\n", dllPath.c_str());
    return 1;
  }
  const CalcFunc f9 = findFunction(table, 9);
  const CalcFunc f10 = findFunction(table, 10);
  const CalcFunc f11 = findFunction(table, 11);
  if (f9 == nullptr || f10 == nullptr || f11 == nullptr) {
    std::fprintf(stderr, "tarvok-dll-speed: the table lacks function 9, 10 or 11\n");
    return 1;
  }
  float period = kPeriod, multiplier = 2.0f, one = 0.0f;
  f10(1, &one, &period, &multiplier, &multiplier);
  // Let the plug-in's first log drain pass before timing (it echoes the registration line).
  Sleep(quick ? 0 : 1500);

  const int runs = quick ? 1 : 5;
  const double minSeconds = quick ? 0.0 : 0.2;
  std::printf("%s (%d-bit), through its table, period 14, multiplier 2: ns per bar, %s\n",
              dllPath.c_str(), static_cast<int>(8 * sizeof(void*)),
              quick ? "one call each (smoke run)" : "fastest of 5 runs of 0.2 s or more");
  std::printf("%-6s %8s %8s %8s %8s %10s %10s\n", "series", "bars", "func9", "func11", "floor",
              "f9/floor", "f11/floor");
  for (const bool walk : {true, false}) {
    for (const int n : {1000, 100000, 1000000}) {
      std::mt19937_64 rng(20240601u + static_cast<unsigned>(n));
      tarvok::testing::Bars b =
          walk ? tarvok::testing::randomWalk(rng, n) : tarvok::testing::risingTrend(n);
      std::vector<float> out(n), tr(n);
      float prevClose = 0.0f;
      for (int j = 0; j < n; ++j) {
        tr[j] = std::fmax(b.high[j] - b.low[j], std::fmax(std::fabs(prevClose - b.high[j]),
                                                          std::fabs(prevClose - b.low[j])));
        prevClose = b.close[j];
      }
      const auto table = [&](CalcFunc f) {
        return nsPerBar(n, runs, minSeconds,
                        [&] { f(n, out.data(), b.high.data(), b.low.data(), b.close.data()); });
      };
      const double t9 = table(f9);
      const double t11 = table(f11);
      const double floor =
          nsPerBar(n, runs, minSeconds, [&] { tarvok::bench::averageRange(n, tr.data(), out.data()); });
      std::printf("%-6s %8d %8.2f %8.2f %8.2f %10.2f %10.2f\n", walk ? "walk" : "trend", n, t9,
                  t11, floor, t9 / floor, t11 / floor);
    }
  }
  std::fflush(stdout);
  FreeLibrary(dll);
  return 0;
}
