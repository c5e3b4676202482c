// Reading the terminal's daily files: the prices as the nearest float, the record layout, and the
// errors with their record numbers.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "marketdata/day_file.h"
#include "support/random_bars.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::tools::BarSeries;
using tarvok::tools::DayFileError;
using tarvok::tools::dayFilePrice;
using tarvok::tools::parseDayFile;

struct Record {
  std::uint32_t date, open, high, low, close;
  float turnover = 0;
  std::uint32_t volume = 0, reserved = 0;
};

void putUint32(std::string& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(v >> shift & 0xFF));
}

std::string fileOf(const std::vector<Record>& records) {
  std::string out;
  for (const Record& r : records) {
    for (const std::uint32_t v : {r.date, r.open, r.high, r.low, r.close}) putUint32(out, v);
    putUint32(out, tarvok::testing::bitsOf(r.turnover));
    putUint32(out, r.volume);
    putUint32(out, r.reserved);
  }
  return out;
}

// The nearest float to the decimal yuan text, as the C library's correctly rounded reading gives it.
float decimalReading(std::uint32_t hundredths) {
  const std::string text = fmt::format("{}.{:02}", hundredths / 100, hundredths % 100);
  return std::strtof(text.c_str(), nullptr);
}

TEST(DayFile, PricesAreTheFloatNearestTheYuanValue) {
  std::vector<std::uint32_t> cases = {0, 1, 5, 10, 99, 100, 1234, 999999, 4294967295u,
                                      // 2^24 yuan and up: whole floats are even, ties occur
                                      1677721600u, 1677721650u, 1677721700u, 1677721750u};
  std::mt19937_64 rng(20261208);
  std::uniform_int_distribution<std::uint32_t> any;
  std::uniform_int_distribution<std::uint32_t> everyday(1, 1000000);
  for (int i = 0; i < 200000; ++i) cases.push_back(i % 2 ? any(rng) : everyday(rng));
  for (const std::uint32_t hundredths : cases) {
    ASSERT_EQ(bitsOf(dayFilePrice(hundredths)), bitsOf(decimalReading(hundredths))) << hundredths;
  }
}

TEST(DayFile, ReadsEveryRecordOldestFirst) {
  const std::vector<Record> records = {
      {20231229, 1050, 1099, 1001, 1088, 1.5e8f, 123456, 0xFFFFFFFFu},
      {20240102, 1088, 1200, 1080, 1190, 2.5e8f, 234567, 7},
      {20240229, 1190, 1190, 1190, 1190, 0.0f, 0, 0},
  };
  const BarSeries bars = parseDayFile(fileOf(records));
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars.date, (std::vector<std::uint32_t>{20231229, 20240102, 20240229}));
  EXPECT_EQ(bars.open, (std::vector<float>{10.5f, 10.88f, 11.9f}));
  EXPECT_EQ(bars.high, (std::vector<float>{10.99f, 12.0f, 11.9f}));
  EXPECT_EQ(bars.low, (std::vector<float>{10.01f, 10.8f, 11.9f}));
  EXPECT_EQ(bars.close, (std::vector<float>{10.88f, 11.9f, 11.9f}));
}

TEST(DayFile, ReportsBrokenFilesWithTheRecord) {
  const std::string two = fileOf({{20240102, 1, 2, 1, 1}, {20240103, 1, 2, 1, 1}});
  struct BadFile {
    std::string bytes;
    std::size_t record;  // 0: the file as a whole
    std::string message;
  };
  const BadFile cases[] = {
      {"", 0, "empty file: no daily records"},
      {two + "x", 3, "cut short: 65 bytes is not a whole number of 32-byte records"},
      {two.substr(0, 31), 1, "cut short: 31 bytes is not a whole number of 32-byte records"},
      {two + fileOf({{20240101, 1, 2, 1, 1}}), 3,
       "date 20240101 does not come after 20240103 of the record before"},
      {two + fileOf({{20240103, 1, 2, 1, 1}}), 3,
       "date 20240103 does not come after 20240103 of the record before"},
      {fileOf({{20240230, 1, 2, 1, 1}}), 1, "20240230 is not a date (YYYYMMDD)"},
      // A file read with the wrong byte order has no dates at all.
      {fileOf({{0x02C34E13u, 1, 2, 1, 1}}), 1, "46353939 is not a date (YYYYMMDD)"},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      parseDayFile(c.bytes);
      ADD_FAILURE() << "no error";
    } catch (const DayFileError& e) {
      EXPECT_EQ(e.record(), c.record);
      EXPECT_EQ(e.what(), c.message);
    }
  }
}

TEST(DayFile, PiecesOfAnySizeGiveTheWholeFilesBarsAndRefuseAtTheFirstBadRecord) {
  std::vector<Record> records;
  for (std::uint32_t d = 1; d <= 28; ++d) records.push_back({20240200 + d, d, 2 * d, d, d + 1});
  const std::string bytes = fileOf(records);
  const BarSeries whole = parseDayFile(bytes);
  BarSeries bars;
  bars.open.assign(100, 1.0f);  // a series from another file, emptied first
  for (const std::size_t piece : {1u, 7u, 32u, 33u, 1000u}) {
    tarvok::tools::DayFileParser parser(bars);
    for (std::size_t at = 0; at < bytes.size(); at += piece)
      parser.add(std::string_view(bytes).substr(at, piece));
    parser.finish();
    EXPECT_EQ(bars.date, whole.date) << piece;
    EXPECT_EQ(bars.open, whole.open) << piece;
    EXPECT_EQ(bars.close, whole.close) << piece;
  }
  // Endless zeros: refused as soon as the first record is whole; too many records, at the first
  // one past the limit.
  tarvok::tools::DayFileParser zeros(bars);
  zeros.add(std::string(31, '\0'));
  EXPECT_THROW(zeros.add(std::string(1, '\0')), DayFileError);
  tarvok::tools::DayFileParser limited(bars, 27);
  try {
    limited.add(bytes);
    ADD_FAILURE() << "no error";
  } catch (const DayFileError& e) {
    EXPECT_EQ(e.record(), 28u);
    EXPECT_STREQ(e.what(), "more than 27 records");
  }
}

}  // namespace
