// The market scan's own parts: the last-bar row against the direct scans, the fast daily-file
// decoding against parseDayFile, and the same scan for every number of workers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "marketdata/bar_date.h"
#include "marketdata/bar_file_walk.h"
#include "marketdata/day_file.h"
#include "marketdata/day_series.h"
#include "scan/market_scan.h"
#include "support/day_series_check.h"
#include "support/random_bars.h"
#include "support/reference_band_stop.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::testing::expectSameAsParseDayFile;
using tarvok::tools::DayFault;
using tarvok::tools::DaySeries;
using tarvok::tools::ScanRow;

// The worked example of the engine's definition.
const std::vector<float> kHigh = {10, 11, 12, 13, 14, 13, 12, 11, 10, 9};
const std::vector<float> kLow = {9, 10, 11, 12, 13, 12, 11, 10, 9, 8};
const std::vector<float> kClose = {9.5, 10.5, 11.5, 12.5, 13.5, 12.5, 11.5, 10.5, 9.5, 8.5};

struct RowCase {
  const char* name;
  std::vector<float> high, low, close;
  int period;
  float multiplier;
  std::int32_t phaseBars;  // -1: only as the reference has it
};

std::vector<float> head(const std::vector<float>& v, std::size_t n) {
  return {v.begin(), v.begin() + n};
}

TEST(MarketScan, LastBarRowIsTheLastBarOfTheDirectScans) {
  std::vector<RowCase> cases = {
      // States 0, 0, 0, -3, -4, 1, 2, 3, 4, 5: falling for the last five bars.
      {"worked example", kHigh, kLow, kClose, 2, 1.0f, 5},
      {"falling phase began on the last bar", head(kHigh, 6), head(kLow, 6), head(kClose, 6), 2,
       1.0f, 1},
      {"rising for two bars", head(kHigh, 5), head(kLow, 5), head(kClose, 5), 2, 1.0f, 2},
      // State 0 on every bar with period 14: flat all along.
      {"flat all along", kHigh, kLow, kClose, 14, 2.0f, 10},
  };
  std::mt19937_64 rng(20261209);
  for (int k = 0; k < 40; ++k) {
    const tarvok::testing::Bars b =
        tarvok::testing::randomWalk(rng, 5 + static_cast<int>(rng() % 2500));
    cases.push_back({"random walk", b.high, b.low, b.close, 2 + static_cast<int>(rng() % 99),
                     0.1f + static_cast<float>(rng() % 100) / 10.0f, -1});
  }
  const tarvok::testing::Bars trend = tarvok::testing::risingTrend(300);
  cases.push_back({"rising trend", trend.high, trend.low, trend.close, 14, 2.0f, -1});

  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.close.size());
    const auto ref = tarvok::reference::bandStop(n, c.high.data(), c.low.data(), c.close.data(),
                                                 c.period, c.multiplier);
    const auto sign = [](std::int32_t s) { return (s > 0) - (s < 0); };
    std::int32_t run = 0;
    while (run < n && sign(ref.st[n - 1 - run]) == sign(ref.st[n - 1])) ++run;
    if (c.phaseBars >= 0) {
      EXPECT_EQ(run, c.phaseBars);
    }

    const ScanRow row = tarvok::tools::lastBarRow(n, c.high.data(), c.low.data(), c.close.data(),
                                                  20261204, c.period, c.multiplier);
    EXPECT_EQ(row.state, ref.st[n - 1]);
    EXPECT_EQ(bitsOf(row.stop), bitsOf(ref.stop[n - 1]));
    EXPECT_EQ(bitsOf(row.close), bitsOf(c.close[n - 1]));
    EXPECT_EQ(row.phaseBars, run);
    EXPECT_EQ(row.date, 20261204u);
  }
}

TEST(MarketScan, RowFieldsAsPrinted) {
  struct Case {
    float close, stop;
    std::int32_t state;
    const char* phase;
    const char* distance;
  } cases[] = {
      {10.0f, 9.5f, -3, "rising", "5.00"},
      {8.5f, 10.0f, 5, "falling", "-17.65"},
      {12.5f, 12.5f, 0, "flat", "0.00"},
      {3.0f, 3.0000002f, 1, "falling", "0.00"},
      {0.0f, 0.5f, 2, "falling", ""},
      {0.0f, 0.0f, 0, "flat", ""},
      {0.01f, 1000.0f, 7, "falling", "-9999900.22"}  // the float 0.01, not 0.01,
  };
  for (const Case& c : cases) {
    ScanRow row;
    row.close = c.close;
    row.stop = c.stop;
    row.state = c.state;
    EXPECT_EQ(tarvok::tools::distanceText(row), c.distance) << c.close << " " << c.stop;
    EXPECT_STREQ(tarvok::tools::phaseName(tarvok::tools::phaseOf(c.state)), c.phase);
  }
  EXPECT_EQ(tarvok::tools::dateText(20240229), "2024-02-29");
}

void putRecord(std::string& out, std::uint32_t date, std::uint32_t open, std::uint32_t high,
               std::uint32_t low, std::uint32_t close) {
  for (const std::uint32_t v : {date, open, high, low, close, 0u, 1000u, 0u}) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(v >> shift & 0xFF));
  }
}

// The day after a calendar date, by the calendar rules parseDayFile checks.
std::uint32_t nextDay(std::uint32_t d) {
  for (std::uint32_t next = d + 1;; next = next / 100 % 100 == 12 ? (next / 10000 + 1) * 10000 + 101
                                                                  : (next / 100 + 1) * 100 + 1) {
    if (tarvok::tools::isCalendarDate(next)) return next;
  }
}

TEST(MarketScan, DecodesDailyFilesAsParseDayFileDoes) {
  std::mt19937_64 rng(20261210);
  DaySeries series;  // one for all, as a worker keeps it
  for (int k = 0; k < 300; ++k) {
    std::string bytes;
    std::uint32_t date = 19991220 + static_cast<std::uint32_t>(rng() % 10);
    const int n = static_cast<int>(rng() % 40);
    // Everyday prices, now and then beyond 2^24 hundredths, where the decoder goes one by one.
    const std::uint32_t top = k % 4 == 0 ? 0xFFFFFFFFu : 2000000u;
    for (int j = 0; j < n; ++j) {
      for (int skip = static_cast<int>(rng() % 4); skip >= 0; --skip) date = nextDay(date);
      putRecord(bytes, date, static_cast<std::uint32_t>(rng() % top),
                static_cast<std::uint32_t>(rng() % top), static_cast<std::uint32_t>(rng() % top),
                static_cast<std::uint32_t>(rng() % top));
    }
    switch (k % 6) {
      case 1: bytes.resize(bytes.size() - bytes.size() % 7); break;  // cut short, or not
      case 2:
        if (n > 2) bytes[static_cast<std::size_t>(rng() % n) * 32 + 2] ^= 1;
        break;  // a date off
      case 3:
        if (n > 2) std::copy_n(bytes.begin(), 4, bytes.begin() + 32 * (n - 1));
        break;  // back
      default: break;
    }
    SCOPED_TRACE(k);
    expectSameAsParseDayFile(bytes, series);
  }
}

TEST(MarketScan, BelowTwoToThe24HundredthsTheFloatQuotientIsThePrice) {
  // What the decoder relies on, for every value it divides in single precision.
  for (std::uint32_t h = 0; h < (1u << 24); ++h) {
    const float quotient = static_cast<float>(h) / 100.0f;
    ASSERT_EQ(bitsOf(quotient), bitsOf(tarvok::tools::dayFilePrice(h))) << h;
  }
}

TEST(MarketScan, TheScanIsTheSameForEveryNumberOfWorkers) {
  // A folder of good files, short ones and broken ones; with more workers than files too.
  const std::filesystem::path root =
      std::filesystem::path(::testing::TempDir()) / "market_scan_workers";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root / "sh" / "lday");
  std::filesystem::create_directories(root / "sz");
  std::mt19937_64 rng(20261211);
  std::vector<std::string> symbols;
  std::set<std::uint32_t> dates;  // of the whole files, whose dates days_behind counts
  for (int k = 0; k < 24; ++k) {
    std::string bytes;
    std::uint32_t date = 20200102;
    const int n = k % 6 == 5 ? 4 : 5 + static_cast<int>(rng() % 300);  // some of fewer than 5 bars
    for (int j = 0; j < n; ++j, date = nextDay(date)) {
      if (k != 3) dates.insert(date);
      const auto price = static_cast<std::uint32_t>(1000 + rng() % 50);
      putRecord(bytes, date, price, price + 20, price - 20, price);
    }
    if (k == 3) bytes.pop_back();  // cut short
    // Shanghai's 60xxxx and Shenzhen's 00xxxx: A-shares, in 1/100 yuan by the code table.
    const std::string symbol = (k % 2 ? "sz00" : "sh60") + std::to_string(1000 + (k * 7) % 24);
    if (k % 6 != 5 && k != 3) symbols.push_back(symbol);
    std::FILE* f =
        std::fopen((root / (k % 2 ? "sz" : "sh/lday") / (symbol + ".day")).string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::sort(symbols.begin(), symbols.end());
  const tarvok::tools::BarFileList files = tarvok::tools::findBarFiles(root.string());
  ASSERT_EQ(files.files.size(), 24u);

  tarvok::tools::ScanSettings settings;
  settings.workers = 1;
  settings.charts = 5;
  settings.chartBars = 40;
  const tarvok::tools::ScanResult one = tarvok::tools::scanMarket(files, settings);
  // The charts: the rows whose phase began most recently, ties by symbol, each ending on its
  // row's last bar as read for the row.
  std::vector<std::size_t> byRecency(one.rows.size());
  for (std::size_t i = 0; i < byRecency.size(); ++i) byRecency[i] = i;
  std::stable_sort(byRecency.begin(), byRecency.end(), [&](std::size_t a, std::size_t b) {
    return one.rows[a].row.phaseBars < one.rows[b].row.phaseBars;
  });
  ASSERT_EQ(one.charts.size(), 5u);
  for (std::size_t k = 0; k < one.charts.size(); ++k) {
    const auto& chart = one.charts[k];
    const auto& row = one.rows[byRecency[k]];
    EXPECT_EQ(chart.file, row.file);
    EXPECT_LE(chart.bars.size(), 40u);
    ASSERT_EQ(chart.indicator.stop.size(), chart.bars.size());
    EXPECT_EQ(bitsOf(chart.bars.close.back()), bitsOf(row.row.close));
    EXPECT_EQ(bitsOf(chart.indicator.stop.back()), bitsOf(row.row.stop));
    EXPECT_EQ(chart.indicator.state.back(), static_cast<float>(row.row.state));
    EXPECT_EQ(chart.bars.date.back(), row.row.date);
  }
  std::vector<std::string> listed;
  for (const auto& r : one.rows) {
    listed.emplace_back(r.symbol);
    // Over month and year ends, and files that end before others.
    EXPECT_EQ(r.daysBehind, std::distance(dates.upper_bound(r.row.date), dates.end())) << r.symbol;
  }
  EXPECT_EQ(listed, symbols);
  EXPECT_EQ(one.leftOut[static_cast<std::size_t>(tarvok::tools::LeftOut::TooFewBars)], 4u);
  EXPECT_EQ(one.leftOut[static_cast<std::size_t>(tarvok::tools::LeftOut::CutShort)], 1u);
  ASSERT_EQ(one.messages.size(), 1u);
  EXPECT_NE(one.messages[0].find("record "), std::string::npos);
  for (const unsigned workers : {2u, 4u, 31u}) {
    settings.workers = workers;
    const tarvok::tools::ScanResult many = tarvok::tools::scanMarket(files, settings);
    ASSERT_EQ(many.rows.size(), one.rows.size());
    for (std::size_t i = 0; i < one.rows.size(); ++i) {
      EXPECT_EQ(many.rows[i].file, one.rows[i].file);
      EXPECT_EQ(bitsOf(many.rows[i].row.stop), bitsOf(one.rows[i].row.stop));
      EXPECT_EQ(many.rows[i].row.phaseBars, one.rows[i].row.phaseBars);
      EXPECT_EQ(many.rows[i].daysBehind, one.rows[i].daysBehind);
    }
    EXPECT_EQ(many.messages, one.messages);
    ASSERT_EQ(many.charts.size(), one.charts.size());
    for (std::size_t k = 0; k < one.charts.size(); ++k) {
      EXPECT_EQ(many.charts[k].file, one.charts[k].file);
    }
    EXPECT_EQ(many.leftOut, one.leftOut);
    EXPECT_EQ(many.bars, one.bars);
  }
  std::filesystem::remove_all(root);
}

}  // namespace
