#pragma once
// The indicator over its bars as an SVG picture that a browser shows.

#include <string>
#include <vector>

#include "marketdata/bar_series.h"
#include "text/language.h"

namespace tarvok::tools {

// What the title says: the parameters the series were computed with, and where the bars came from.
struct ChartLabels {
  int period = 0;
  float multiplier = 0.0f;
  std::string source;  // the input's name as given (any bytes; escaped for the picture)
  Language language = Language::English;  // of the title, the legend and the axis words
};

// The whole SVG document. stop and state have one element per bar of bars (the outputs of
// functions 9 and 11). Candlesticks when bars.open is filled, else the close line; a date axis when
// bars.date is filled (dates and times when bars.time is too), else bar numbers. The stop line is red where the state is negative (rising
// phase), green where it is positive and grey where it is 0, with the state in a thin panel below.
// Long series are thinned to what the width can show, but every change of the stop line's colour
// is kept.
std::string renderChartSvg(const BarSeries& bars, const std::vector<float>& stop,
                           const std::vector<float>& state, const ChartLabels& labels);

}  // namespace tarvok::tools
