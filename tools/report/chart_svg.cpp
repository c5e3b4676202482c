#include "report/chart_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <fmt/format.h>

namespace {

// A coordinate rounded to a tenth of a pixel. The document is mostly these numbers, so they are
// printed without a trailing ".0", and never as "-0".
struct Px {
  long long tenths;
};

Px px(double v) { return {std::llround(std::clamp(v, -1e6, 1e6) * 10)}; }

}  // namespace

template <>
struct fmt::formatter<Px> {
  constexpr auto parse(format_parse_context& context) { return context.begin(); }

  template <typename Context>
  auto format(const Px& p, Context& context) const {
    const char* sign = p.tenths < 0 ? "-" : "";
    const auto a = static_cast<unsigned long long>(p.tenths < 0 ? -p.tenths : p.tenths);
    if (a % 10 == 0) return fmt::format_to(context.out(), "{}{}", sign, a / 10);
    return fmt::format_to(context.out(), "{}{}.{}", sign, a / 10, a % 10);
  }
};

namespace tarvok::tools {

namespace {

// The canvas and its parts, in pixels.
constexpr int kWidth = 1200;
constexpr int kHeight = 700;
constexpr double kPlotLeft = 76;
constexpr double kPlotRight = 1180;
constexpr double kPlotWidth = kPlotRight - kPlotLeft;
constexpr double kTitleBaseline = 26;
constexpr double kMainTop = 40;
constexpr double kMainBottom = 556;
constexpr double kStateTop = 568;
constexpr double kStateBottom = 668;
constexpr double kAxisBaseline = 684;

constexpr double kFontSize = 11;
constexpr double kTitleFontSize = 15;
// A generous mean advance of the characters we print, in ems of a sans-serif font: the document
// cannot measure its text, so labels are kept apart by this estimate.
constexpr double kCharWidthEm = 0.66;
constexpr double kLabelGap = 12;
constexpr std::size_t kMaxTitleSourceChars = 48;

constexpr double kMinCandleSlot = 3;
constexpr double kMaxHalfColumn = 12;  // so that a few bars do not make blocks of colour
constexpr std::size_t kMaxDateLabels = 12;
constexpr std::size_t kMaxBarLabels = 10;

// Strong colours for the stop line and the state, muted ones for the bars, which the line crosses.
enum Phase { kRising, kFalling, kNeutral, kPhases };
constexpr const char* kPhaseName[kPhases] = {"rising", "falling", "zero"};
constexpr const char* kPhaseColour[kPhases] = {"#d7191c", "#1a9641", "#8c8c8c"};
constexpr const char* kRisingCandleFill = "#fff";
constexpr const char* kRisingCandleStroke = "#d99a9b";
constexpr const char* kFallingCandleColour = "#97c9a5";
constexpr const char* kCloseLineColour = "#4a5a70";
constexpr const char* kGridColour = "#ebebeb";
constexpr const char* kFrameColour = "#c4c4c4";
constexpr const char* kLabelColour = "#555";

// A NaN state counts as 0: grey, like the terminal's conditions that are all false.
Phase phaseOf(float state) {
  if (state < 0) return kRising;
  if (state > 0) return kFalling;
  return kNeutral;
}

bool finite(float v) { return std::isfinite(v); }

template <typename... T>
void append(std::string& out, fmt::format_string<T...> format, T&&... args) {
  fmt::format_to(std::back_inserter(out), format, std::forward<T>(args)...);
}

double textWidth(std::string_view text) {
  return static_cast<double>(text.size()) * kCharWidthEm * kFontSize;
}

// Lines 1 pixel wide along a pixel's middle, so that they are drawn sharp.
double crisp(double v) { return std::floor(v) + 0.5; }

// The length of the well-formed UTF-8 sequence at text[i], or 0 (overlong forms, surrogates and
// code points past U+10FFFF are not); its code point in cp.
std::size_t utf8Length(std::string_view text, std::size_t i, std::uint32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t least = 0;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07u, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

// A name of any bytes as text the document can hold: a '?' for each byte that is not part of
// valid UTF-8, and for each control character or non-character that XML forbids. A name longer
// than maxChars keeps its end, where the file name is.
std::string printableName(std::string_view name, std::size_t maxChars) {
  std::vector<std::string_view> chars;
  for (std::size_t i = 0; i < name.size();) {
    std::uint32_t cp = 0;
    const std::size_t length = utf8Length(name, i, cp);
    const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
    if (length == 0 || control || cp == 0xFFFE || cp == 0xFFFF) {
      chars.push_back("?");
      i += std::max<std::size_t>(length, 1);
    } else {
      chars.push_back(name.substr(i, length));
      i += length;
    }
  }
  std::string out;
  std::size_t first = 0;
  if (chars.size() > maxChars) {
    out = "...";
    first = chars.size() - (maxChars - 3);
  }
  for (std::size_t k = first; k < chars.size(); ++k) out += chars[k];
  return out;
}

std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

// Bar j's middle at left + (j + 0.5) * width / n.
struct XScale {
  std::size_t n;
  double barWidth;
  double x(std::size_t j) const { return kPlotLeft + (static_cast<double>(j) + 0.5) * barWidth; }
  double edge(std::size_t j) const { return kPlotLeft + static_cast<double>(j) * barWidth; }
};

// lo at the bottom of the panel, hi at its top; hi > lo.
struct YScale {
  double lo, hi, top, bottom;
  double y(double v) const { return bottom - (v - lo) / (hi - lo) * (bottom - top); }
};

// A polyline as path data. The points in one pixel column are reduced to the first, lowest,
// highest and last, in their order: that draws the same shape at this width, and the data grows
// with the width rather than with the bars.
class Polyline {
 public:
  void add(double x, double y) {
    const double column = std::floor(x);
    if (inColumn_ == 0 || column != column_) {
      flushColumn();
      column_ = column;
      first_ = low_ = high_ = last_ = {x, y, 0};
    } else {
      last_ = {x, y, inColumn_};
      if (y < low_.y) low_ = last_;
      if (y > high_.y) high_ = last_;
    }
    ++inColumn_;
  }

  // Ends the subpath: the next point starts another.
  void breakLine() {
    flushColumn();
    // A lone point still shows, as a dot under round caps: a colour that lasts one bar, or a value
    // between two gaps.
    if (drawn_ == 1) data_ += "h0";
    if (drawn_ > 0) ++subpaths_;
    drawn_ = 0;
  }

  const std::string& data() const { return data_; }
  std::size_t subpaths() const { return subpaths_; }

 private:
  struct Point {
    double x, y;
    int order;
  };

  void flushColumn() {
    if (inColumn_ == 0) return;
    Point kept[4] = {first_, low_, high_, last_};
    std::sort(std::begin(kept), std::end(kept),
              [](const Point& a, const Point& b) { return a.order < b.order; });
    for (int k = 0; k < 4; ++k) {
      if (k == 0 || kept[k].order != kept[k - 1].order) draw(kept[k]);
    }
    inColumn_ = 0;
  }

  void draw(const Point& p) {
    const Px x = px(p.x);
    const Px y = px(p.y);
    if (drawn_ > 0 && x.tenths == lastX_.tenths && y.tenths == lastY_.tenths) return;
    append(data_, "{}{} {}", drawn_ == 0 ? "M" : drawn_ == 1 ? "L" : " ", x, y);
    lastX_ = x;
    lastY_ = y;
    ++drawn_;
  }

  std::string data_;
  std::size_t subpaths_ = 0;
  int drawn_ = 0;         // points of the current subpath
  Px lastX_{}, lastY_{};  // and the last of them as written
  double column_ = 0;
  int inColumn_ = 0;
  Point first_{}, low_{}, high_{}, last_{};
};

// The extremes of the finite values added.
struct Range {
  double lo = INFINITY, hi = -INFINITY;
  void add(float v) {
    if (!finite(v)) return;
    lo = std::min(lo, static_cast<double>(v));
    hi = std::max(hi, static_cast<double>(v));
  }
  bool empty() const { return lo > hi; }
};

// The step of 1, 2 or 5 times a power of ten that gives about seven ticks over the span.
double niceStep(double span) {
  const double base = std::pow(10.0, std::floor(std::log10(span / 10)));
  double best = base;
  double bestMiss = INFINITY;
  for (const double factor : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0}) {
    const double miss = std::abs(span / (base * factor) - 6.5);
    if (miss <= bestMiss) best = base * factor, bestMiss = miss;
  }
  return best;
}

// As many decimals as the step needs; significant digits at magnitudes where fixed notation would
// be long.
std::string priceLabel(double value, double step, double magnitude) {
  if (magnitude >= 1e9 || step < 1e-6) {
    const int digits = static_cast<int>(std::ceil(std::log10(magnitude / step))) + 1;
    return fmt::format("{:.{}g}", value, std::clamp(digits, 2, 9));
  }
  return fmt::format("{:.{}f}", value,
                     std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9))));
}

struct AxisLabel {
  double x;  // the middle of the text
  std::string text;
};

// Whether the labels stay on the canvas and apart from each other.
bool fitApart(const std::vector<AxisLabel>& labels) {
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const double half = textWidth(labels[i].text) / 2;
    if (labels[i].x - half < 0 || labels[i].x + half > kWidth) return false;
    if (i > 0 && labels[i].x - labels[i - 1].x <
                     textWidth(labels[i - 1].text) / 2 + half + kLabelGap) {
      return false;
    }
  }
  return true;
}

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
std::vector<AxisLabel> dateLabels(const std::vector<std::uint32_t>& date, const XScale& xs) {
  struct Level {
    int months, years;
  };
  static constexpr Level kLevels[] = {
      {1, 0},  {2, 0},   {3, 0},   {6, 0},   {0, 1},    {0, 2},     {0, 5},     {0, 10},
      {0, 20}, {0, 50},  {0, 100}, {0, 200}, {0, 500},  {0, 1000},  {0, 10000}, {0, 100000}};
  const auto year = [](std::uint32_t d) { return static_cast<long long>(d / 10000); };
  const auto month = [](std::uint32_t d) { return static_cast<long long>(d / 100 % 100); };
  for (const Level& level : kLevels) {
    const auto period = [&](std::uint32_t d) {
      return level.months != 0 ? (year(d) * 12 + month(d) - 1) / level.months
                               : year(d) / level.years;
    };
    std::vector<AxisLabel> labels;
    for (std::size_t j = 1; j < date.size() && labels.size() <= kMaxDateLabels; ++j) {
      if (period(date[j]) == period(date[j - 1])) continue;
      labels.push_back({xs.edge(j), level.months != 0
                                        ? fmt::format("{:04}-{:02}", year(date[j]), month(date[j]))
                                        : fmt::format("{}", year(date[j]))});
    }
    if (labels.size() > kMaxDateLabels || !fitApart(labels)) continue;
    if (labels.size() >= 2) return labels;
    break;
  }
  // Within a month or two, the dates of single bars say more than one boundary or none.
  return barStepLabels(xs, kMaxBarLabels, [&](std::size_t j) {
    return fmt::format("{:04}-{:02}-{:02}", year(date[j]), month(date[j]), date[j] % 100);
  });
}

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
      append(d, "<path d=\"M{} {}V{}\"/>\n", px(x), px(top), px(bottom));
      continue;
    }
    const double bodyTop = crisp(ys.y(std::max(c.open, c.close)));
    const double bodyBottom = crisp(ys.y(std::min(c.open, c.close)));
    // The wick in two pieces, which a hollow body must not show through.
    append(d, "<path d=\"M{0} {1}V{2}M{0} {3}V{4}M{5} {2}h{6}V{3}H{5}Z\"/>\n", px(x), px(top),
           px(bodyTop), px(bodyBottom), px(bottom), px(x - half), px(2 * half));
  }
  append(out,
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
  append(out,
         "<path id=\"close\" d=\"{}\" fill=\"none\" stroke=\"{}\" stroke-width=\"1.2\" "
         "stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n",
         line.data(), kCloseLineColour);
}

// One path per colour. The segment into bar j takes bar j's colour, as the terminal draws it: a
// run of one colour starts at the last point of the run before it, and the line has no gaps but
// those of non-finite values.
void drawStopLine(std::string& out, const std::vector<float>& stop,
                  const std::vector<float>& state, const XScale& xs, const YScale& ys) {
  Polyline lines[kPhases];
  Polyline* current = nullptr;
  for (std::size_t j = 0; j < stop.size(); ++j) {
    if (!finite(stop[j])) {
      if (current) current->breakLine();
      current = nullptr;
      continue;
    }
    Polyline* const line = &lines[phaseOf(state[j])];
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
  for (const Phase phase : {kNeutral, kFalling, kRising}) {
    if (lines[phase].subpaths() == 0) continue;
    append(out,
           "<path id=\"stop-{}\" d=\"{}\" fill=\"none\" stroke=\"{}\" stroke-width=\"2\" "
           "stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n",
           kPhaseName[phase], lines[phase].data(), kPhaseColour[phase]);
  }
}

// Columns from a zero line in the middle. Where bars are narrower than two pixels, one column per
// pixel: the value of largest magnitude in it.
void drawStatePanel(std::string& out, const std::vector<float>& state, const XScale& xs) {
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
    append(columns[v < 0 ? kRising : kFalling], "M{0} {1}H{2}V{3}H{0}Z", px(left), px(zero),
           px(right), px(zero - static_cast<double>(v) / scale * reach));
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

  append(out, "<path d=\"M{} {}H{}\" stroke=\"#999\"/>\n", px(kPlotLeft), px(zero),
         px(kPlotRight));
  for (const Phase phase : {kRising, kFalling}) {
    if (columns[phase].empty()) continue;
    append(out, "<path id=\"state-{}\" d=\"{}\" fill=\"{}\"/>\n", kPhaseName[phase],
           columns[phase], kPhaseColour[phase]);
  }
  append(out,
         "<g fill=\"{0}\" text-anchor=\"end\">\n<text x=\"{1}\" y=\"{2}\">{3}</text>\n"
         "<text x=\"{1}\" y=\"{4}\">state</text>\n<text x=\"{1}\" y=\"{5}\">{6}</text>\n</g>\n",
         kLabelColour, px(kPlotLeft - 6), px(zero - reach + 4), static_cast<float>(scale),
         px(zero + 4), px(zero + reach + 4), static_cast<float>(-scale));
}

void drawLegend(std::string& out) {
  constexpr std::string_view kText[kPhases] = {"rising phase", "falling phase", "state 0"};
  constexpr double kSwatch = 18, kSwatchGap = 5, kItemGap = 14;
  double x = kPlotRight + kItemGap;
  for (const std::string_view text : kText) x -= kSwatch + kSwatchGap + textWidth(text) + kItemGap;
  out += "<g id=\"legend\">\n";
  for (int phase = 0; phase < kPhases; ++phase) {
    append(out,
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

  const auto title = [&](std::size_t maxSourceChars) {
    const std::string source = printableName(labels.source, maxSourceChars);
    return fmt::format("tarvok band stop \u00b7 N={} \u00b7 M={}{}{}", labels.period,
                       labels.multiplier, source.empty() ? "" : " \u00b7 ", escaped(source));
  };

  std::string out;
  append(out,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"{0}\" height=\"{1}\" "
         "viewBox=\"0 0 {0} {1}\" font-family=\"DejaVu Sans,Verdana,Arial,Helvetica,sans-serif\" "
         "font-size=\"{2}\">\n<title>{3}</title>\n"
         "<rect width=\"{0}\" height=\"{1}\" fill=\"#fff\"/>\n"
         "<text x=\"{4}\" y=\"{5}\" font-size=\"{6}\" fill=\"#222\">{7}</text>\n",
         kWidth, kHeight, kFontSize, title(SIZE_MAX), px(kPlotLeft), px(kTitleBaseline),
         kTitleFontSize, title(kMaxTitleSourceChars));
  drawLegend(out);

  // Gridlines with their labels: prices, then dates or bar numbers.
  const double step = niceStep(ys.hi - ys.lo);
  const double magnitude = std::max(std::abs(ys.lo), std::abs(ys.hi));
  std::string grid, priceLabels, timeLabels;
  for (auto i = static_cast<long long>(std::ceil(ys.lo / step));
       static_cast<double>(i) * step <= ys.hi; ++i) {
    const double value = static_cast<double>(i) * step;
    const double y = crisp(ys.y(value));
    append(grid, "M{} {}H{}", px(kPlotLeft), px(y), px(kPlotRight));
    append(priceLabels, "<text x=\"{}\" y=\"{}\">{}</text>\n", px(kPlotLeft - 6), px(y + 4),
           priceLabel(value, step, magnitude));
  }
  const std::vector<AxisLabel> xLabels =
      !bars.date.empty()
          ? dateLabels(bars.date, xs)
          : barStepLabels(xs, kMaxBarLabels, [](std::size_t j) { return fmt::format("{}", j); });
  for (const AxisLabel& label : xLabels) {
    const double x = crisp(label.x);
    append(grid, "M{0} {1}V{2}M{0} {3}V{4}", px(x), px(kMainTop), px(kMainBottom), px(kStateTop),
           px(kStateBottom));
    append(timeLabels, "<text x=\"{}\" y=\"{}\">{}</text>\n", px(x), px(kAxisBaseline),
           label.text);
  }
  if (!grid.empty()) append(out, "<path d=\"{}\" stroke=\"{}\"/>\n", grid, kGridColour);
  append(out, "<g id=\"price-axis\" fill=\"{}\" text-anchor=\"end\">\n{}</g>\n", kLabelColour,
         priceLabels);
  append(out, "<g id=\"time-axis\" fill=\"{}\" text-anchor=\"middle\">\n{}</g>\n", kLabelColour,
         timeLabels);
  for (const auto& [top, bottom] :
       {std::pair{kMainTop, kMainBottom}, std::pair{kStateTop, kStateBottom}}) {
    append(out,
           "<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"none\" stroke=\"{}\"/>\n",
           px(kPlotLeft - 0.5), px(top - 0.5), px(kPlotWidth + 1), px(bottom - top + 1),
           kFrameColour);
  }

  if (candles) {
    drawCandles(out, bars, xs, ys);
  } else {
    drawCloseLine(out, bars, xs, ys);
  }
  drawStopLine(out, stop, state, xs, ys);
  drawStatePanel(out, state, xs);
  out += "</svg>\n";
  return out;
}

}  // namespace tarvok::tools
