#pragma once
// The speed floor of the table functions: the average range from given true ranges. Each bar
// adds, then subtracts, on the sum the previous bar left: the chain is as long as the bars,
// whatever else runs beside it, and no exact engine can go below it.

namespace tarvok::bench {

inline constexpr int kFloorPeriod = 14;

__attribute__((noinline)) inline void averageRange(int n, const float* tr, float* out) {
  float sum = 0.0f;
  for (int j = 0; j < n; ++j) {
    sum = sum + tr[j];
    if (j >= kFloorPeriod) sum = sum - tr[j - kFloorPeriod];
    const int divisor = j < kFloorPeriod - 1 ? j + 1 : kFloorPeriod;
    out[j] = sum / static_cast<float>(divisor);
  }
}

}  // namespace tarvok::bench
