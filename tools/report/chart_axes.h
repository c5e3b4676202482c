#pragma once
// The chart's axes: price gridlines and their labels, and labels of dates or bar numbers that fit
// apart from each other.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "chart_geometry.h"

namespace tarvok::tools::chart {

// The step of 1, 2 or 5 times a power of ten that gives about seven ticks over the span.
double niceStep(double span);

// As many decimals as the step needs; significant digits at magnitudes where fixed notation would
// be long.
std::string priceLabel(double value, double step, double magnitude);

struct AxisLabel {
  double x;  // the middle of the text
  std::string text;
};

// Whether the labels stay on the canvas and apart from each other.
bool fitApart(const std::vector<AxisLabel>& labels);

// Labels at bars 0, step, 2 step...: the smallest step of 1, 2 or 5 times a power of ten that
// keeps them few and apart.
template <typename TextOf>
std::vector<AxisLabel> barStepLabels(const XScale& xs, std::size_t most, TextOf textOf) {
  std::vector<AxisLabel> labels;
  const unsigned long long n = xs.n;  // wide enough for the steps of any 32-bit count
  for (unsigned long long power = 1; power <= n; power *= 10) {
    for (const unsigned long long step : {power, 2 * power, 5 * power}) {
      if ((n - 1) / step + 1 > most) continue;
      labels.clear();
      for (unsigned long long j = 0; j < n; j += step) {
        labels.push_back({xs.x(static_cast<std::size_t>(j)), textOf(static_cast<std::size_t>(j))});
      }
      // The last label alone may run off the canvas: better drop it than thin out all of them.
      if (labels.size() > 1 && !fitApart({labels.back()})) labels.pop_back();
      if (fitApart(labels)) return labels;
    }
  }
  return {};
}

// Labels where a month or a year begins, or every few of them: the finest that gives at most
// kMaxDateLabels apart from each other.
std::vector<AxisLabel> dateLabels(const std::vector<std::uint32_t>& date, const XScale& xs);

// Labels of minute bars: where each day begins when the days are few enough to name, months or
// years when they are many, and the dates and times of single bars within a day or two.
std::vector<AxisLabel> dateTimeLabels(const std::vector<std::uint32_t>& date,
                                      const std::vector<std::uint16_t>& time, const XScale& xs);

}  // namespace tarvok::tools::chart
