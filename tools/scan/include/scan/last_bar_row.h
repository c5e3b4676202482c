#pragma once
// The indicator's last bar of a series, as the market scan lists it.

#include <cstdint>
#include <string>

namespace tarvok::tools {

// A bar's time of day when it has none: a daily bar.
inline constexpr std::uint16_t kNoTime = 0xFFFF;

struct ScanRow {
  std::uint32_t date = 0;  // YYYYMMDD
  float close = 0.0f;
  float stop = 0.0f;
  std::int32_t state = 0;
  // The bars of the run that ends at the last bar and whose states all have its sign.
  std::int32_t phaseBars = 0;
  std::uint16_t time = kNoTime;  // minutes since midnight of a minute bar's end
  // The bar the phase began on (phaseBars before the end, the last bar included).
  std::uint32_t phaseStartDate = 0;
  std::uint16_t phaseStartTime = kNoTime;
};

// The last bar's row for n >= kMinBars bars: the engine over all of them, with period 2..100 and
// a multiplier that function 10 takes. date is the last bar's.
ScanRow lastBarRow(int n, const float* high, const float* low, const float* close,
                   std::uint32_t date, int period, float multiplier) noexcept;

// (close - stop) / close * 100 in double precision; NaN or infinite when close is 0.
double distancePercent(const ScanRow& row) noexcept;

// The distance as the scan prints it: two decimals, "0.00" for a value that rounds to zero either
// side, empty when it is not finite.
std::string distanceText(const ScanRow& row);

}  // namespace tarvok::tools
