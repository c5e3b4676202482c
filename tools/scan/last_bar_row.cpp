#include "scan/last_bar_row.h"

#include <cmath>

#include <fmt/format.h>

#include "indicator/band_stop_engine.h"

namespace tarvok::tools {

ScanRow lastBarRow(int n, const float* high, const float* low, const float* close,
                   std::uint32_t date, int period, float multiplier) noexcept {
  // Only the last bar's values are kept, and the length of the run of its state's sign.
  Lane lastStop = lane::constant(0.0f);
  std::int32_t lastState = 0;
  std::int32_t sign = 0;
  std::int32_t run = 0;
  runBandStop(n, high, low, close, period, multiplier, [&](int, Lane stop, std::int32_t state) {
    const std::int32_t s = (state > 0) - (state < 0);
    run = s == sign ? run + 1 : 1;
    sign = s;
    lastState = state;
    lastStop = stop;
  });
  ScanRow row;
  row.date = date;
  lane::store(&row.close, lane::load(close + n - 1));
  lane::store(&row.stop, lastStop);
  row.state = lastState;
  row.phaseBars = run;
  return row;
}

double distancePercent(const ScanRow& row) noexcept {
  const double close = row.close;
  return (close - static_cast<double>(row.stop)) / close * 100.0;
}

std::string distanceText(const ScanRow& row) {
  const double d = distancePercent(row);
  if (!std::isfinite(d)) return std::string();
  std::string text = fmt::format("{:.2f}", d);
  if (text == "-0.00") text = "0.00";
  return text;
}

}  // namespace tarvok::tools
