#include "report/chart_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "chart_axes.h"
#include "chart_geometry.h"
#include "scan/phase.h"
#include "text/format_append.h"
#include "text/markup_text.h"

namespace tarvok::tools {

namespace {

using namespace chart;

// The picture's words in both languages.
struct ChartWords {
  const char* title;
  std::string_view legend[3];  // by Phase
  const char* state;
};
constexpr ChartWords kEnglish = {
    "tarvok band stop", {"rising phase", "falling phase", "state 0"}, "state"};
constexpr ChartWords kChinese = {"周期带止损线", {"上涨阶段", "下跌阶段", "状态为0"}, "状态"};

// Indexed by Phase: the names of the picture's parts for each phase, and the strong colours of the
// stop line and the state; muted ones for the bars, which the line crosses.
constexpr std::size_t kPhaseCount = std::size(kPhases);
constexpr std::size_t indexOf(Phase phase) { return static_cast<std::size_t>(phase); }
constexpr const char* kPhaseId[kPhaseCount] = {"rising", "falling", "zero"};
constexpr const char* kPhaseColour[kPhaseCount] = {"#d7191c", "#1a9641", "#8c8c8c"};
constexpr const char* kRisingCandleFill = "#fff";
constexpr const char* kRisingCandleStroke = "#d99a9b";
constexpr const char* kFallingCandleColour = "#97c9a5";
constexpr const char* kCloseLineColour = "#4a5a70";
constexpr const char* kGridColour = "#ebebeb";
constexpr const char* kFrameColour = "#c4c4c4";
constexpr const char* kLabelColour = "#555";

// One candle of one or more bars, from their finite values.
struct Candle {
  double open = NAN, close = NAN, high = -INFINITY, low = INFINITY;
};

Candle candleOf(const BarSeries& bars, std::size_t begin, std::size_t end) {
  Candle c;
  for (std::size_t j = begin; j < end; ++j) {
    if (std::isnan(c.open) && finite(bars.open[j])) c.open = bars.open[j];
    if (finite(bars.close[j])) c.close = bars.close[j];
    for (const float v : {bars.high[j], bars.low[j], bars.open[j], bars.close[j]}) {
      if (!finite(v)) continue;
      c.high = std::max(c.high, static_cast<double>(v));
      c.low = std::min(c.low, static_cast<double>(v));
    }
  }
  return c;
}

// Candles too narrow to tell apart are merged: k bars to a candle, the fewest that give each at
// least kMinCandleSlot pixels.
void drawCandles(std::string& out, const BarSeries& bars, const XScale& xs, const YScale& ys) {
  const std::size_t n = bars.size();
  const auto most = static_cast<std::size_t>(kPlotWidth / kMinCandleSlot);
  const std::size_t perCandle = (n + most - 1) / most;
  const double slot = static_cast<double>(perCandle) * xs.barWidth;
  // Whole pixels, for a sharp outline: the body fills most of the slot but leaves a gap.
  const double half = std::clamp(std::floor((0.8 * slot - 1) / 2), 0.0, kMaxHalfColumn);

  std::string rising, falling;
  for (std::size_t begin = 0; begin < n; begin += perCandle) {
    const std::size_t end = std::min(n, begin + perCandle);
    const Candle c = candleOf(bars, begin, end);
    if (c.high < c.low) continue;
    const bool hasBody = !std::isnan(c.open) && !std::isnan(c.close);
    std::string& d = !hasBody || c.close >= c.open ? rising : falling;
    const double x = crisp((xs.x(begin) + xs.x(end - 1)) / 2);
    const double top = crisp(ys.y(c.high));
    const double bottom = crisp(ys.y(c.low));
    if (!hasBody) {
      appendFormat(d, "<path d=\"M{} {}V{}\"/>\n", px(x), px(top), px(bottom));
      continue;
    }
    const double bodyTop = crisp(ys.y(std::max(c.open, c.close)));
    const double bodyBottom = crisp(ys.y(std::min(c.open, c.close)));
    // The wick in two pieces, which a hollow body must not show through.
    appendFormat(d, "<path d=\"M{0} {1}V{2}M{0} {3}V{4}M{5} {2}h{6}V{3}H{5}Z\"/>\n", px(x), px(top),
                 px(bodyTop), px(bodyBottom), px(bottom), px(x - half), px(2 * half));
  }
  appendFormat(out,
               "<g id=\"rising-candles\" fill=\"{}\" stroke=\"{}\">\n{}</g>\n"
               "<g id=\"falling-candles\" fill=\"{}\" stroke=\"{}\">\n{}</g>\n",
               kRisingCandleFill, kRisingCandleStroke, rising, kFallingCandleColour,
               kFallingCandleColour, falling);
}

void drawCloseLine(std::string& out, const BarSeries& bars, const XScale& xs, const YScale& ys) {
  Polyline line;
  for (std::size_t j = 0; j < bars.size(); ++j) {
    if (finite(bars.close[j])) {
      line.add(xs.x(j), ys.y(bars.close[j]));
    } else {
      line.breakLine();
    }
  }
  line.breakLine();
  if (line.subpaths() == 0) return;
  appendFormat(out,
               "<path id=\"close\" d=\"{}\" fill=\"none\" stroke=\"{}\" stroke-width=\"1.2\" "
               "stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n",
               line.data(), kCloseLineColour);
}

// One path per colour. The segment into bar j takes bar j's colour, as the terminal draws it: a
// run of one colour starts at the last point of the run before it, and the line has no gaps but
// those of non-finite values.
void drawStopLine(std::string& out, const std::vector<float>& stop, const std::vector<float>& state,
                  const XScale& xs, const YScale& ys) {
  Polyline lines[kPhaseCount];
  Polyline* current = nullptr;
  for (std::size_t j = 0; j < stop.size(); ++j) {
    if (!finite(stop[j])) {
      if (current) current->breakLine();
      current = nullptr;
      continue;
    }
    Polyline* const line = &lines[indexOf(phaseOf(state[j]))];
    if (line != current) {
      if (current) {
        current->breakLine();
        line->add(xs.x(j - 1), ys.y(stop[j - 1]));
      }
      current = line;
    }
    line->add(xs.x(j), ys.y(stop[j]));
  }
  if (current) current->breakLine();
  for (const Phase phase : {Phase::Flat, Phase::Falling, Phase::Rising}) {
    const Polyline& line = lines[indexOf(phase)];
    if (line.subpaths() == 0) continue;
    appendFormat(out,
                 "<path id=\"stop-{}\" d=\"{}\" fill=\"none\" stroke=\"{}\" stroke-width=\"2\" "
                 "stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n",
                 kPhaseId[indexOf(phase)], line.data(), kPhaseColour[indexOf(phase)]);
  }
}

// Columns from a zero line in the middle. Where bars are narrower than two pixels, one column per
// pixel: the value of largest magnitude in it.
void drawStatePanel(std::string& out, const std::vector<float>& state, const XScale& xs,
                    const ChartWords& words) {
  double most = 0;
  for (const float v : state) {
    if (finite(v)) most = std::max(most, std::abs(static_cast<double>(v)));
  }
  const double scale = most > 0 ? most : 1;
  const double zero = crisp((kStateTop + kStateBottom) / 2);
  const double reach = (kStateBottom - kStateTop) / 2 - 3;

  std::string columns[2];  // rising, falling
  const auto column = [&](double left, double right, float v) {
    if (!finite(v) || v == 0) return;
    appendFormat(columns[indexOf(v < 0 ? Phase::Rising : Phase::Falling)], "M{0} {1}H{2}V{3}H{0}Z",
                 px(left), px(zero), px(right), px(zero - static_cast<double>(v) / scale * reach));
  };
  if (xs.barWidth >= 2) {
    const double half = std::min(xs.barWidth * 0.35, kMaxHalfColumn);
    for (std::size_t j = 0; j < state.size(); ++j) {
      column(xs.x(j) - half, xs.x(j) + half, state[j]);
    }
  } else {
    double pixel = -1;
    float value = 0;
    for (std::size_t j = 0; j <= state.size(); ++j) {
      const double at = j < state.size() ? std::floor(xs.x(j)) : -1;
      if (at != pixel) {
        column(pixel, pixel + 1, value);
        pixel = at;
        value = 0;
      }
      if (j < state.size() && finite(state[j]) && std::abs(state[j]) > std::abs(value)) {
        value = state[j];
      }
    }
  }

  appendFormat(out, "<path d=\"M{} {}H{}\" stroke=\"#999\"/>\n", px(kPlotLeft), px(zero),
               px(kPlotRight));
  for (const Phase phase : {Phase::Rising, Phase::Falling}) {
    const std::string& path = columns[indexOf(phase)];
    if (path.empty()) continue;
    appendFormat(out, "<path id=\"state-{}\" d=\"{}\" fill=\"{}\"/>\n", kPhaseId[indexOf(phase)],
                 path, kPhaseColour[indexOf(phase)]);
  }
  appendFormat(out,
               "<g fill=\"{0}\" text-anchor=\"end\">\n<text x=\"{1}\" y=\"{2}\">{3}</text>\n"
               "<text x=\"{1}\" y=\"{4}\">{7}</text>\n<text x=\"{1}\" y=\"{5}\">{6}</text>\n</g>\n",
               kLabelColour, px(kPlotLeft - 6), px(zero - reach + 4), static_cast<float>(scale),
               px(zero + 4), px(zero + reach + 4), static_cast<float>(-scale), words.state);
}

void drawLegend(std::string& out, const ChartWords& words) {
  const std::string_view* const kText = words.legend;
  constexpr double kSwatch = 18, kSwatchGap = 5, kItemGap = 14;
  double x = kPlotRight + kItemGap;
  for (std::size_t k = 0; k < kPhaseCount; ++k) {
    x -= kSwatch + kSwatchGap + textWidth(kText[k]) + kItemGap;
  }
  out += "<g id=\"legend\">\n";
  for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
    appendFormat(out,
                 "<path d=\"M{} {}h{}\" stroke=\"{}\" stroke-width=\"2\"/>"
                 "<text x=\"{}\" y=\"{}\" fill=\"{}\">{}</text>\n",
                 px(x), px(kTitleBaseline - 4), px(kSwatch), kPhaseColour[phase],
                 px(x + kSwatch + kSwatchGap), px(kTitleBaseline), kLabelColour, kText[phase]);
    x += kSwatch + kSwatchGap + textWidth(kText[phase]) + kItemGap;
  }
  out += "</g>\n";
}

}  // namespace

std::string renderChartSvg(const BarSeries& bars, const std::vector<float>& stop,
                           const std::vector<float>& state, const ChartLabels& labels) {
  const std::size_t n = bars.size();
  if (bars.high.size() != n || bars.low.size() != n || stop.size() != n || state.size() != n ||
      (!bars.open.empty() && bars.open.size() != n) ||
      (!bars.date.empty() && bars.date.size() != n)) {
    throw std::invalid_argument(fmt::format(
        "chart: {} closes but {} highs, {} lows, {} opens, {} dates, {} stop and {} state values",
        n, bars.high.size(), bars.low.size(), bars.open.size(), bars.date.size(), stop.size(),
        state.size()));
  }
  const bool candles = !bars.open.empty();

  // Every finite price and stop value, with a margin; never an empty span.
  Range range;
  for (std::size_t j = 0; j < n; ++j) {
    range.add(bars.high[j]);
    range.add(bars.low[j]);
    range.add(bars.close[j]);
    if (candles) range.add(bars.open[j]);
    range.add(stop[j]);
  }
  if (range.empty()) range.lo = 0, range.hi = 1;
  if (range.hi == range.lo) {
    const double pad = range.lo != 0 ? std::abs(range.lo) * 0.05 : 1;
    range.lo -= pad;
    range.hi += pad;
  }
  const double margin = (range.hi - range.lo) * 0.04;
  const YScale ys{range.lo - margin, range.hi + margin, kMainTop, kMainBottom};
  const XScale xs{n, n > 0 ? kPlotWidth / static_cast<double>(n) : kPlotWidth};

  const ChartWords& words = labels.language == Language::Chinese ? kChinese : kEnglish;
  const auto title = [&](std::size_t maxSourceChars) {
    bool cut = false;
    const std::string_view source = lastCharacters(labels.source, maxSourceChars, cut);
    return fmt::format("{} \u00b7 N={} \u00b7 M={}{}{}{}", words.title, labels.period,
                       labels.multiplier, source.empty() ? "" : " \u00b7 ", cut ? "..." : "",
                       markupText(source));
  };

  std::string out;
  appendFormat(
      out,
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"{0}\" height=\"{1}\" "
      "viewBox=\"0 0 {0} {1}\" font-family=\"DejaVu Sans,Verdana,Arial,Helvetica,sans-serif\" "
      "font-size=\"{2}\">\n<title>{3}</title>\n"
      "<rect width=\"{0}\" height=\"{1}\" fill=\"#fff\"/>\n"
      "<text x=\"{4}\" y=\"{5}\" font-size=\"{6}\" fill=\"#222\">{7}</text>\n",
      kWidth, kHeight, kFontSize, title(SIZE_MAX), px(kPlotLeft), px(kTitleBaseline),
      kTitleFontSize, title(kMaxTitleSourceChars));
  drawLegend(out, words);

  // Gridlines with their labels: prices, then dates or bar numbers.
  const double step = niceStep(ys.hi - ys.lo);
  const double magnitude = std::max(std::abs(ys.lo), std::abs(ys.hi));
  std::string grid, priceLabels, timeLabels;
  for (auto i = static_cast<long long>(std::ceil(ys.lo / step));
       static_cast<double>(i) * step <= ys.hi; ++i) {
    const double value = static_cast<double>(i) * step;
    const double y = crisp(ys.y(value));
    appendFormat(grid, "M{} {}H{}", px(kPlotLeft), px(y), px(kPlotRight));
    appendFormat(priceLabels, "<text x=\"{}\" y=\"{}\">{}</text>\n", px(kPlotLeft - 6), px(y + 4),
                 priceLabel(value, step, magnitude));
  }
  const std::vector<AxisLabel> xLabels =
      !bars.date.empty() && !bars.time.empty() ? dateTimeLabels(bars.date, bars.time, xs)
      : !bars.date.empty()
          ? dateLabels(bars.date, xs)
          : barStepLabels(xs, kMaxBarLabels, [](std::size_t j) { return fmt::format("{}", j); });
  for (const AxisLabel& label : xLabels) {
    const double x = crisp(label.x);
    appendFormat(grid, "M{0} {1}V{2}M{0} {3}V{4}", px(x), px(kMainTop), px(kMainBottom),
                 px(kStateTop), px(kStateBottom));
    appendFormat(timeLabels, "<text x=\"{}\" y=\"{}\">{}</text>\n", px(x), px(kAxisBaseline),
                 label.text);
  }
  if (!grid.empty()) appendFormat(out, "<path d=\"{}\" stroke=\"{}\"/>\n", grid, kGridColour);
  appendFormat(out, "<g id=\"price-axis\" fill=\"{}\" text-anchor=\"end\">\n{}</g>\n", kLabelColour,
               priceLabels);
  appendFormat(out, "<g id=\"time-axis\" fill=\"{}\" text-anchor=\"middle\">\n{}</g>\n",
               kLabelColour, timeLabels);
  for (const auto& [top, bottom] :
       {std::pair{kMainTop, kMainBottom}, std::pair{kStateTop, kStateBottom}}) {
    appendFormat(
        out, "<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"none\" stroke=\"{}\"/>\n",
        px(kPlotLeft - 0.5), px(top - 0.5), px(kPlotWidth + 1), px(bottom - top + 1), kFrameColour);
  }

  if (candles) {
    drawCandles(out, bars, xs, ys);
  } else {
    drawCloseLine(out, bars, xs, ys);
  }
  drawStopLine(out, stop, state, xs, ys);
  drawStatePanel(out, state, xs, words);
  out += "</svg>\n";
  return out;
}

}  // namespace tarvok::tools
