#pragma once
// The chart's canvas and the geometry of drawing on it: coordinates as the document prints them,
// the scales from bars and prices to pixels, and polylines reduced to what a pixel column shows.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "text/format_append.h"
#include "text/markup_text.h"

namespace tarvok::tools::chart {

// A coordinate rounded to a tenth of a pixel. The document is mostly these numbers, so they are
// printed without a trailing ".0", and never as "-0".
struct Px {
  long long tenths;
};

inline Px px(double v) { return {std::llround(std::clamp(v, -1e6, 1e6) * 10)}; }

}  // namespace tarvok::tools::chart

template <>
struct fmt::formatter<tarvok::tools::chart::Px> {
  constexpr auto parse(format_parse_context& context) { return context.begin(); }

  template <typename Context>
  auto format(const tarvok::tools::chart::Px& p, Context& context) const {
    const char* sign = p.tenths < 0 ? "-" : "";
    const auto a = static_cast<unsigned long long>(p.tenths < 0 ? -p.tenths : p.tenths);
    if (a % 10 == 0) return fmt::format_to(context.out(), "{}{}", sign, a / 10);
    return fmt::format_to(context.out(), "{}{}.{}", sign, a / 10, a % 10);
  }
};

namespace tarvok::tools::chart {

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

inline bool finite(float v) { return std::isfinite(v); }

// The estimate by characters: a CJK one (U+1100 on) is a whole em wide, the others kCharWidthEm.
inline double textWidth(std::string_view text) {
  double ems = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    const std::size_t length = utf8Length(text, i, cp);
    ems += length > 1 && cp >= 0x1100 ? 1.0 : kCharWidthEm;
    i += length == 0 ? 1 : length;
  }
  return ems * kFontSize;
}

// Lines 1 pixel wide along a pixel's middle, so that they are drawn sharp.
inline double crisp(double v) { return std::floor(v) + 0.5; }

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
    appendFormat(data_, "{}{} {}", drawn_ == 0 ? "M" : drawn_ == 1 ? "L" : " ", x, y);
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

}  // namespace tarvok::tools::chart
