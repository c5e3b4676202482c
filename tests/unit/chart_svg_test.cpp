// The chart as an SVG document: every change of the stop line's colour survives thinning, long
// series stay small, candles, axes and title say what they should, and odd input still gives a
// well-formed picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "report/chart_svg.h"
#include "support/random_bars.h"

namespace {

using tarvok::tools::BarSeries;
using tarvok::tools::ChartLabels;

struct Chart {
  BarSeries bars;
  std::vector<float> stop, state;
};

// A random walk whose stop line is the close, and whose state keeps a value of random sign for
// 1 to maxRun bars at a time.
Chart randomChart(std::size_t n, int maxRun, bool withOpen, unsigned seed) {
  std::mt19937_64 rng(seed);
  const tarvok::testing::Bars walk = tarvok::testing::randomWalk(rng, static_cast<int>(n));
  Chart c{{walk.high, walk.low, walk.close, {}, {}}, walk.close, {}};
  if (withOpen) {
    c.bars.open = walk.close;
    std::rotate(c.bars.open.rbegin(), c.bars.open.rbegin() + 1, c.bars.open.rend());
  }
  std::uniform_int_distribution<int> runLength(1, maxRun), sign(-1, 1);
  while (c.state.size() < n) {
    const auto value = static_cast<float>(sign(rng) * runLength(rng));
    c.state.resize(std::min(n, c.state.size() + runLength(rng)), value);
  }
  return c;
}

std::string render(const Chart& c, const ChartLabels& labels = {14, 2.0f, "bars.csv"}) {
  return tarvok::tools::renderChartSvg(c.bars, c.stop, c.state, labels);
}

// The first fault of structure a parser would reject, or "": the declaration or the root first,
// tags closed in order, attributes quoted, nothing after the root. (The title's text is checked
// for its escapes by itself.)
std::string xmlFault(const std::string& doc) {
  if (doc.rfind("<?xml", 0) != 0 && doc.rfind("<svg", 0) != 0) return "does not start the XML";
  std::vector<std::string> open;
  bool rootClosed = false;
  for (std::size_t i = doc.find('<'); i != std::string::npos; i = doc.find('<', i + 1)) {
    if (rootClosed) return "content after the root";
    const std::size_t end = doc.find('>', i);
    if (end == std::string::npos) return "unterminated tag";
    const std::string tag = doc.substr(i + 1, end - i - 1);
    if (tag.find('<') != std::string::npos) return "'<' in tag " + tag;
    if (std::count(tag.begin(), tag.end(), '"') % 2 != 0) return "unbalanced quotes in " + tag;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) return "unexpected </" + tag.substr(1);
      open.pop_back();
      rootClosed = open.empty();
    } else if (tag[0] != '?' && tag.back() != '/') {
      open.push_back(tag.substr(0, tag.find_first_of(" \n")));
      if (open[0] != "svg") return "root is " + open[0];
    }
    i = end;
  }
  return open.empty() ? "" : "unclosed <" + open.back();
}

// The attribute of the element with the id, or "" when there is no such element.
std::string attributeOf(const std::string& doc, const std::string& id, const std::string& name) {
  const std::size_t element = doc.find("id=\"" + id + "\"");
  if (element == std::string::npos) return "";
  const std::size_t begin = doc.find(" " + name + "=\"", element) + name.size() + 3;
  return doc.substr(begin, doc.find('"', begin) - begin);
}

std::size_t subpathCount(const std::string& doc, const std::string& id) {
  const std::string d = attributeOf(doc, id, "d");
  return static_cast<std::size_t>(std::count(d.begin(), d.end(), 'M'));
}

struct Point {
  double x, y;
  bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};
using Subpath = std::vector<Point>;

// Polyline path data ("M x yL x y x y", "h0" for a dot) as points.
std::vector<Subpath> subpathsOf(const std::string& d) {
  std::vector<Subpath> paths;
  for (const char* p = d.c_str(); *p != '\0';) {
    const char command = *p++;
    if (command == 'M') paths.emplace_back();
    char* end = nullptr;
    if (command == 'h') {
      paths.back().push_back({paths.back().back().x + std::strtod(p, &end), paths.back().back().y});
      p = end;
      continue;
    }
    for (double x = std::strtod(p, &end); end != p; x = std::strtod(p, &end)) {
      const double y = std::strtod(end, &end);
      paths.back().push_back({x, y});
      p = end;
    }
  }
  return paths;
}

// Numbers that follow the letter in path data: with 'V', the tops of the state's columns.
std::vector<double> numbersAfter(const std::string& d, char letter) {
  std::vector<double> numbers;
  for (std::size_t i = d.find(letter); i != std::string::npos; i = d.find(letter, i + 1)) {
    numbers.push_back(std::strtod(d.c_str() + i + 1, nullptr));
  }
  return numbers;
}

// The <text> elements of the group with the id: x and text.
std::vector<std::pair<double, std::string>> textsOf(const std::string& doc, const std::string& id) {
  std::vector<std::pair<double, std::string>> texts;
  const std::size_t group = doc.find("id=\"" + id + "\"");
  const std::size_t groupEnd = doc.find("</g>", group);
  for (std::size_t i = doc.find("<text", group); i < groupEnd; i = doc.find("<text", i + 1)) {
    const std::size_t begin = doc.find('>', i) + 1;
    texts.emplace_back(std::strtod(doc.c_str() + doc.find(" x=\"", i) + 4, nullptr),
                       doc.substr(begin, doc.find('<', begin) - begin));
  }
  return texts;
}

// The elements in the group with the id: its candles.
std::size_t elementsIn(const std::string& doc, const std::string& id) {
  const std::size_t group = doc.find("id=\"" + id + "\"");
  const std::size_t end = doc.find("</g>", group);  // the group holds no other group
  if (group == std::string::npos) return 0;
  return static_cast<std::size_t>(std::count(doc.begin() + group, doc.begin() + end, '<'));
}

TEST(ChartSvg, KeepsEveryColourRunOfTheStopLineAsOneSubpath) {
  struct Case {
    std::size_t n;
    int maxRun;  // runs far shorter than a pixel when n is large
  };
  for (const Case& k : {Case{60, 4}, Case{5000, 3}, Case{1000000, 40}}) {
    SCOPED_TRACE(k.n);
    Chart c = randomChart(k.n, k.maxRun, false, 7);
    for (std::size_t j = k.n / 3; j < k.n; j += k.n / 7) c.stop[j] = NAN;  // gaps inside runs
    // Runs counted by colour (rising, falling, zero): bars in a row with a finite stop and the
    // same sign of the state.
    std::array<std::size_t, 3> runs{};
    int previous = -1;
    for (std::size_t j = 0; j < k.n; ++j) {
      const int colour = c.state[j] < 0 ? 0 : c.state[j] > 0 ? 1 : 2;
      if (std::isfinite(c.stop[j]) && colour != previous) ++runs[colour];
      previous = std::isfinite(c.stop[j]) ? colour : -1;
    }
    const std::string doc = render(c);
    EXPECT_EQ(subpathCount(doc, "stop-rising"), runs[0]);
    EXPECT_EQ(subpathCount(doc, "stop-falling"), runs[1]);
    EXPECT_EQ(subpathCount(doc, "stop-zero"), runs[2]);
  }
}

TEST(ChartSvg, RunsJoinWhereTheColourChanges) {
  std::vector<Subpath> all;
  const std::string doc = render(randomChart(40, 5, false, 3));
  for (const char* id : {"stop-rising", "stop-falling", "stop-zero"}) {
    const std::vector<Subpath> paths = subpathsOf(attributeOf(doc, id, "d"));
    all.insert(all.end(), paths.begin(), paths.end());
  }
  // In bar order; a run of one bar at the start ends where the next run starts.
  std::sort(all.begin(), all.end(), [](const Subpath& a, const Subpath& b) {
    return std::pair(a.front().x, a.back().x) < std::pair(b.front().x, b.back().x);
  });
  for (std::size_t k = 1; k < all.size(); ++k) EXPECT_EQ(all[k].front(), all[k - 1].back()) << k;
}

TEST(ChartSvg, LongSeriesStaySmallButKeepTheirExtremes) {
  // A million bars, a few hundred runs, and one spike up and one down.
  Chart c = randomChart(1000000, 1, false, 11);
  for (std::size_t j = 0; j < c.state.size(); ++j) {
    c.state[j] = (j / 3000) % 2 ? 1.0f : -1.0f;
    c.bars.high[j] = c.bars.low[j] = c.bars.close[j] = c.stop[j] = 10.0f + 1e-3f * (j % 7);
  }
  c.bars.high[500000] = c.bars.close[500000] = 20.0f;
  c.bars.low[500001] = c.bars.close[500001] = 0.0f;
  const std::string doc = render(c);
  EXPECT_LT(doc.size(), 300u * 1024);
  const std::vector<Subpath> close = subpathsOf(attributeOf(doc, "close", "d"));
  ASSERT_EQ(close.size(), 1u);
  EXPECT_LE(close[0].size(), 4u * 1200);  // at most four points per pixel column
  const auto [low, high] = std::minmax_element(
      close[0].begin(), close[0].end(), [](const Point& a, const Point& b) { return a.y < b.y; });
  EXPECT_GT(high->y - low->y, 300) << "the spikes were thinned away";

  c.bars.open = c.bars.close;
  EXPECT_LT(render(c).size(), 300u * 1024);
  EXPECT_LT(render(randomChart(750, 20, true, 5)).size(), 100u * 1024);
}

TEST(ChartSvg, DrawsCandlesOnlyFromOpensOnePerBarOrPerBucket) {
  Chart c = randomChart(120, 9, true, 13);
  c.bars.open[5] = c.bars.close[5];  // a rising bar too
  std::size_t rising = 0;
  for (std::size_t j = 0; j < 120; ++j) rising += c.bars.close[j] >= c.bars.open[j] ? 1 : 0;
  std::string doc = render(c);
  EXPECT_EQ(elementsIn(doc, "rising-candles"), rising);
  EXPECT_EQ(elementsIn(doc, "falling-candles"), 120 - rising);
  EXPECT_EQ(attributeOf(doc, "close", "d"), "");

  // A few pixels a candle: k bars each, the last maybe fewer.
  doc = render(randomChart(100000, 9, true, 13));
  const std::size_t candles =
      elementsIn(doc, "rising-candles") + elementsIn(doc, "falling-candles");
  EXPECT_LE(candles, 1200u / 3);
  EXPECT_GE(candles, 1200u / 6);
  const std::size_t k = (100000 + candles - 1) / candles;
  EXPECT_EQ((100000 + k - 1) / k, candles);

  doc = render(randomChart(120, 9, false, 13));
  EXPECT_EQ(doc.find("-candles"), std::string::npos);
  EXPECT_EQ(subpathCount(doc, "close"), 1u);
}

TEST(ChartSvg, StatePanelHasAColumnOfTheStateColourPerBarOrPixel) {
  const Chart c = randomChart(90, 3, false, 17);
  std::string doc = render(c);
  EXPECT_EQ(subpathCount(doc, "state-rising"),
            std::count_if(c.state.begin(), c.state.end(), [](float s) { return s < 0; }));
  EXPECT_EQ(subpathCount(doc, "state-falling"),
            std::count_if(c.state.begin(), c.state.end(), [](float s) { return s > 0; }));
  EXPECT_EQ(attributeOf(doc, "state-rising", "fill"), attributeOf(doc, "stop-rising", "stroke"));
  EXPECT_EQ(attributeOf(doc, "state-falling", "fill"), attributeOf(doc, "stop-falling", "stroke"));

  // A million bars: a column per pixel at most, and the one bar of 100 among bars of 1 shows.
  Chart many = randomChart(1000000, 1, false, 17);
  std::fill(many.state.begin(), many.state.end(), 1.0f);
  many.state[400000] = 100.0f;
  doc = render(many);
  EXPECT_LE(subpathCount(doc, "state-falling"), 1200u);
  const std::string d = attributeOf(doc, "state-falling", "d");
  const double zero = subpathsOf(d)[0][0].y;
  std::vector<double> heights;
  for (const double top : numbersAfter(d, 'V')) heights.push_back(zero - top);
  EXPECT_GT(*std::max_element(heights.begin(), heights.end()),
            50 * *std::min_element(heights.begin(), heights.end()));
}

TEST(ChartSvg, TimeAxisLabelsMonthsOrYearsInOrderAndApart) {
  struct Case {
    std::size_t n;
    std::size_t textLength;  // 7: YYYY-MM, 4: YYYY
  };
  for (const Case& k : {Case{200, 7}, Case{1100, 7}, Case{30 * 366, 4}}) {
    SCOPED_TRACE(k.n);
    Chart c = randomChart(k.n, 9, true, 19);
    // Bars on days 1 to 28 of every month from November 1999.
    for (std::size_t j = 0; j < k.n; ++j) {
      const std::size_t month = 10 + j / 28;
      c.bars.date.push_back(static_cast<std::uint32_t>((1999 + month / 12) * 10000 +
                                                       (month % 12 + 1) * 100 + j % 28 + 1));
    }
    const auto labels = textsOf(render(c), "time-axis");
    ASSERT_GE(labels.size(), 2u);
    EXPECT_LE(labels.size(), 12u);
    for (std::size_t i = 0; i < labels.size(); ++i) {
      const auto& [x, text] = labels[i];
      EXPECT_EQ(text.size(), k.textLength) << text;
      if (i > 0) {
        EXPECT_LT(labels[i - 1].second, text);
        // 6 pixels a character: narrower than the digits of any legible font size.
        EXPECT_GT(x - labels[i - 1].first, 6.0 * static_cast<double>(k.textLength)) << text;
      }
      // A month or year that begins within the dates.
      const std::string first = text + (k.textLength == 7 ? "-01" : "-01-01");
      const auto date = static_cast<std::uint32_t>(
          std::stoul(first.substr(0, 4) + first.substr(5, 2) + first.substr(8, 2)));
      EXPECT_NE(std::find(c.bars.date.begin() + 1, c.bars.date.end(), date), c.bars.date.end())
          << text;
    }
  }

  const auto numbers = textsOf(render(randomChart(750, 9, false, 19)), "time-axis");
  ASSERT_GE(numbers.size(), 3u);
  EXPECT_LE(numbers.size(), 10u);
  const long step = std::stol(numbers[1].second);
  EXPECT_TRUE(step == 50 || step == 100 || step == 200) << step;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(std::stol(numbers[i].second), step * static_cast<long>(i));
  }
}

TEST(ChartSvg, TitleNamesTheParametersAndAnyBytesOfTheSourceSafely) {
  struct Case {
    int period;
    float multiplier;
    const char* source;
    const char* shown;
  };
  const Case cases[] = {
      {14, 2.5f, "a&b<\"c\">'.csv",
       "N=14 \u00b7 M=2.5 \u00b7 a&amp;b&lt;&quot;c&quot;&gt;&apos;.csv<"},
      {7, 0.1f, "r\xC3\xA9sum\xC3\xA9.csv", "N=7 \u00b7 M=0.1 \u00b7 r\xC3\xA9sum\xC3\xA9.csv<"},
      // A stray continuation, a cut sequence, an overlong NUL, a surrogate, controls C0 and C1,
      // and U+FFFE: a '?' for each unreadable byte and for each forbidden character.
      {100, 10.0f, "x\x80y\xE2\x82z\xC0\x80|\xED\xA0\x80|\x01\x7F\xC2\x85\xEF\xBF\xBE.csv",
       "N=100 \u00b7 M=10 \u00b7 x?y??z??|???|????.csv<"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.shown);
    const std::string doc =
        render(randomChart(30, 4, false, 23), {k.period, k.multiplier, k.source});
    EXPECT_EQ(xmlFault(doc), "");
    const std::size_t title = doc.find("<text");  // the first text: the visible title
    EXPECT_NE(doc.substr(title, doc.find('/', title) - title).find(k.shown), std::string::npos);
  }
}

TEST(ChartSvg, OddInputStillGivesAWellFormedDocumentWithoutNonFiniteNumbers) {
  const auto filled = [](Chart c, float value) {
    for (auto* v : {&c.bars.high, &c.bars.low, &c.bars.close, &c.bars.open, &c.stop}) {
      std::fill(v->begin(), v->end(), value);
    }
    return c;
  };
  std::vector<Chart> charts = {Chart{},
                               randomChart(1, 1, true, 29),
                               filled(randomChart(50, 4, true, 29), NAN),
                               filled(randomChart(50, 4, true, 29), 3.0f),
                               randomChart(300, 4, true, 29),
                               randomChart(500, 4, false, 29)};
  Chart& specials = charts[4];  // in every series, bars with only a low or nothing finite
  for (std::size_t j = 0; j + 5 < 300; j += 7) {
    specials.bars.high[j] = specials.bars.high[j + 1] = INFINITY;
    specials.bars.low[j + 1] = -INFINITY;  // bar j + 1: nothing finite
    specials.bars.open[j] = specials.bars.open[j + 1] = specials.bars.open[j + 2] = NAN;
    specials.bars.close[j] = specials.bars.close[j + 1] = specials.bars.close[j + 3] = NAN;
    specials.stop[j + 4] = j % 2 ? INFINITY : NAN;
    specials.state[j + 5] = NAN;
  }
  charts[5].stop[100] = 3.4e38f;
  charts[5].stop[101] = -3.4e38f;
  charts[5].bars.low[200] = 1e-45f;

  for (std::size_t k = 0; k < charts.size(); ++k) {
    SCOPED_TRACE(k);
    std::string doc = render(charts[k]);
    EXPECT_EQ(xmlFault(doc), "");
    // Whatever the values, the drawing stays on the canvas.
    for (std::size_t i = doc.find(" d=\""); i != std::string::npos; i = doc.find(" d=\"", i + 1)) {
      for (const char* p = doc.c_str() + i + 4; *p != '"'; ++p) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p) continue;  // a command letter
        ASSERT_TRUE(v >= -1 && v <= 1201) << doc.substr(i, 80);
        p = end - 1;
      }
    }
    for (char& ch : doc) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(doc.find("nan"), std::string::npos);
    EXPECT_EQ(doc.find("inf"), std::string::npos);
  }

  Chart wrong = randomChart(20, 4, true, 31);
  wrong.state.pop_back();
  EXPECT_THROW(render(wrong), std::invalid_argument);
  wrong = randomChart(20, 4, true, 31);
  wrong.bars.date.assign(19, 20240102u);
  EXPECT_THROW(render(wrong), std::invalid_argument);
}

}  // namespace
