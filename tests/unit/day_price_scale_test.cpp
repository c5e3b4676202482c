// Daily files at both price scales: thousandths of a yuan as the float nearest, and the scan's
// decoder giving parseDayFile's floats bit for bit at either scale.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "marketdata/bar_date.h"
#include "marketdata/day_file.h"
#include "marketdata/day_series.h"
#include "support/day_series_check.h"
#include "support/random_bars.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::testing::expectSameAsParseDayFile;
using tarvok::tools::BarSeries;
using tarvok::tools::DayFault;
using tarvok::tools::dayFilePrice;
using tarvok::tools::DaySeries;
using tarvok::tools::kHundredths;
using tarvok::tools::kThousandths;
using tarvok::tools::parseDayFile;

void putUint32(std::string& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(v >> shift & 0xFF));
}

void putRecord(std::string& out, std::uint32_t date, std::uint32_t open, std::uint32_t high,
               std::uint32_t low, std::uint32_t close) {
  for (const std::uint32_t v : {date, open, high, low, close, 0x4CBEBC20u, 1000u, 0u}) {
    putUint32(out, v);
  }
}

std::uint32_t nextDay(std::uint32_t d) {
  if (d % 100 < tarvok::tools::daysInMonth(d / 10000, d / 100 % 100)) return d + 1;
  return d / 100 % 100 == 12 ? (d / 10000 + 1) * 10000 + 101 : d - d % 100 + 101;
}

// The nearest float to the decimal text of units / 1000, as the C library's correctly rounded
// reading gives it.
float decimalReading(std::uint32_t thousandths) {
  const std::string text = fmt::format("{}.{:03}", thousandths / 1000, thousandths % 1000);
  return std::strtof(text.c_str(), nullptr);
}

TEST(DayPriceScale, ThousandthsAreTheFloatNearestTheYuanValue) {
  std::vector<std::uint32_t> cases = {0, 1, 5, 999, 1000, 1001, 2675, 100125, 16777215, 16777216,
                                      16777217, 4294967295u, 4294967294u, 1u << 31,
                                      // 2^23 and 2^22 yuan and up: floats 1 and 0.5 apart
                                      2147483500u, 4194304000u, 4194304500u, 4194305500u};
  std::mt19937_64 rng(20261215);
  std::uniform_int_distribution<std::uint32_t> any;
  std::uniform_int_distribution<std::uint32_t> everyday(1, 1000000);
  for (int i = 0; i < 300000; ++i) cases.push_back(i % 2 ? any(rng) : everyday(rng));
  for (const std::uint32_t units : cases) {
    ASSERT_EQ(bitsOf(dayFilePrice(units, kThousandths)), bitsOf(decimalReading(units))) << units;
  }
}

TEST(DayPriceScale, BelowTwoToThe24UnitsTheFloatQuotientIsThePrice) {
  // What the decoder relies on at 1/1000, for every value it divides in single precision.
  for (std::uint32_t u = 0; u < (1u << 24); ++u) {
    const float quotient = static_cast<float>(u) / 1000.0f;
    ASSERT_EQ(bitsOf(quotient), bitsOf(dayFilePrice(u, kThousandths))) << u;
  }
}

TEST(DayPriceScale, ParserReadsThousandths) {
  std::string bytes;
  putRecord(bytes, 20240102, 2675, 2701, 2650, 2688);
  putRecord(bytes, 20240103, 1, 999, 0, 100125);
  const BarSeries bars = parseDayFile(bytes, kThousandths);
  EXPECT_EQ(bars.open, (std::vector<float>{2.675f, 0.001f}));
  EXPECT_EQ(bars.high, (std::vector<float>{2.701f, 0.999f}));
  EXPECT_EQ(bars.low, (std::vector<float>{2.65f, 0.0f}));
  EXPECT_EQ(bars.close, (std::vector<float>{2.688f, 100.125f}));
  EXPECT_TRUE(bars.time.empty());
  // The default stays hundredths.
  EXPECT_EQ(parseDayFile(bytes).close, (std::vector<float>{26.88f, 1001.25f}));
  BarSeries streamed;
  streamed.time.assign(3, 570);  // from a minute file before: emptied
  tarvok::tools::DayFileParser parser(streamed, tarvok::tools::kMaxBars, kThousandths);
  parser.add(std::string_view(bytes).substr(0, 40));
  parser.add(std::string_view(bytes).substr(40));
  parser.finish();
  EXPECT_EQ(streamed.close, bars.close);
  EXPECT_TRUE(streamed.time.empty());
}

TEST(DayPriceScale, DecoderGivesParseDayFilesFloatsAtBothScales) {
  std::mt19937_64 rng(20261216);
  DaySeries series;
  for (const std::uint32_t scale : {kHundredths, kThousandths}) {
    for (int k = 0; k < 400; ++k) {
      std::string bytes;
      std::uint32_t date = 20191220 + static_cast<std::uint32_t>(rng() % 10);
      const int n = static_cast<int>(rng() % 40);
      // Everyday prices, now and then beyond 2^24 units, where the decoder goes one by one.
      const std::uint32_t top = k % 4 == 0 ? 0xFFFFFFFFu : k % 4 == 1 ? 17000000u : 2000000u;
      for (int j = 0; j < n; ++j) {
        for (int skip = static_cast<int>(rng() % 4); skip >= 0; --skip) date = nextDay(date);
        putRecord(bytes, date, static_cast<std::uint32_t>(rng() % top),
                  static_cast<std::uint32_t>(rng() % top), static_cast<std::uint32_t>(rng() % top),
                  static_cast<std::uint32_t>(rng() % top));
      }
      if (k % 5 == 1) bytes.resize(bytes.size() - bytes.size() % 7);  // cut short, or not
      if (k % 5 == 2 && n > 2) bytes[static_cast<std::size_t>(rng() % n) * 32 + 2] ^= 1;  // a date
      SCOPED_TRACE(fmt::format("scale {} file {}", scale, k));
      expectSameAsParseDayFile(bytes, series, scale);
    }
  }
}

}  // namespace
