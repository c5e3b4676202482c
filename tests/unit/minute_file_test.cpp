// Reading the terminal's minute files: the packed dates, the bars' order, the errors with their
// record numbers, and the scan's decoder against the plain reader bit for bit.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "marketdata/bar_date.h"
#include "marketdata/minute_file.h"
#include "support/random_bars.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::tools::BarSeries;
using tarvok::tools::MinuteFault;
using tarvok::tools::MinuteFileError;
using tarvok::tools::MinuteSeries;
using tarvok::tools::parseMinuteFile;

struct Bar {
  int year, month, day, hour, minute;
  std::uint32_t open, high, low, close;  // float bits
};

std::uint16_t packDate(int year, int month, int day) {
  return static_cast<std::uint16_t>((year - 2004) * 2048 + month * 100 + day);
}

void putUint(std::string& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

void putRecord(std::string& out, std::uint16_t date, std::uint16_t minutes, std::uint32_t open,
               std::uint32_t high, std::uint32_t low, std::uint32_t close) {
  putUint(out, date, 2);
  putUint(out, minutes, 2);
  for (const std::uint32_t v : {open, high, low, close, 0x4B189680u, 123400u, 0xFFFFFFFFu}) {
    putUint(out, v, 4);
  }
}

std::uint32_t bits(float x) { return bitsOf(x); }

std::string fileOf(const std::vector<Bar>& bars) {
  std::string out;
  for (const Bar& b : bars) {
    putRecord(out, packDate(b.year, b.month, b.day),
              static_cast<std::uint16_t>(b.hour * 60 + b.minute), b.open, b.high, b.low, b.close);
  }
  return out;
}

TEST(MinuteFile, PackedDates) {
  struct Case {
    std::uint16_t packed;
    std::uint32_t date;  // 0: no calendar day
  };
  const Case cases[] = {
      {101, 20040101},
      {packDate(2024, 2, 29), 20240229},
      {packDate(2024, 12, 31), 20241231},
      {packDate(2035, 12, 31), 20351231},
      {static_cast<std::uint16_t>(65535), 0},  // 2035, (2047) month 20
      {0, 0},
      {packDate(2023, 2, 29), 0},
      {packDate(2024, 4, 31), 0},
      {packDate(2024, 13, 1), 0},
      {packDate(2024, 1, 0), 0},
  };
  for (const Case& c : cases) {
    const auto date = tarvok::tools::minuteFileDate(c.packed);
    if (c.date == 0) {
      EXPECT_FALSE(date.has_value()) << c.packed;
    } else {
      EXPECT_EQ(date, c.date) << c.packed;
    }
  }
  EXPECT_EQ(tarvok::tools::dateTimeText(20240102, 9 * 60 + 35), "2024-01-02 09:35");
  EXPECT_EQ(tarvok::tools::dateTimeText(20241231, 0), "2024-12-31 00:00");
  EXPECT_EQ(tarvok::tools::dateTimeText(20241231, 1439), "2024-12-31 23:59");
}

TEST(MinuteFile, FiveMinuteBarsAcrossADayAndAYear) {
  const std::vector<Bar> bars = {
      {2023, 12, 29, 14, 55, bits(10.5f), bits(10.6f), bits(10.4f), bits(10.55f)},
      {2023, 12, 29, 15, 0, bits(10.55f), bits(10.7f), bits(10.5f), bits(10.68f)},
      {2024, 1, 2, 9, 35, bits(10.7f), bits(10.9f), bits(10.6f), bits(10.8f)},
      {2024, 1, 2, 9, 40, bits(-1.25f), 0x7FA00001u, 0xFF800000u, 0x80000000u},  // bits as they are
      {2024, 1, 3, 9, 35, bits(3.0f), bits(3.0f), bits(3.0f), bits(3.0f)},
  };
  const BarSeries read = parseMinuteFile(fileOf(bars));
  ASSERT_EQ(read.size(), 5u);
  EXPECT_EQ(read.date,
            (std::vector<std::uint32_t>{20231229, 20231229, 20240102, 20240102, 20240103}));
  EXPECT_EQ(read.time, (std::vector<std::uint16_t>{895, 900, 575, 580, 575}));
  for (std::size_t i = 0; i < bars.size(); ++i) {
    EXPECT_EQ(bitsOf(read.open[i]), bars[i].open) << i;
    EXPECT_EQ(bitsOf(read.high[i]), bars[i].high) << i;
    EXPECT_EQ(bitsOf(read.low[i]), bars[i].low) << i;
    EXPECT_EQ(bitsOf(read.close[i]), bars[i].close) << i;
  }
}

TEST(MinuteFile, ReportsBrokenFilesWithTheRecord) {
  const std::string two =
      fileOf({{2024, 1, 2, 9, 31, 0, 0, 0, 0}, {2024, 1, 2, 9, 32, 0, 0, 0, 0}});
  std::string badTime = two;
  putRecord(badTime, packDate(2024, 1, 2), 1440, 0, 0, 0, 0);
  std::string midnight = two;
  putRecord(midnight, packDate(2024, 1, 3), 0, 0, 0, 0, 0);
  putRecord(midnight, packDate(2024, 1, 3), 1439, 0, 0, 0, 0);
  struct BadFile {
    std::string bytes;
    std::size_t record;  // 0: the file as a whole
    std::string message;
  };
  const BadFile cases[] = {
      {"", 0, "empty file: no minute records"},
      {two + "x", 3, "cut short: 65 bytes is not a whole number of 32-byte records"},
      {two.substr(0, 20), 1, "cut short: 20 bytes is not a whole number of 32-byte records"},
      {badTime, 3, "time 1440 is not a minute of a day (0 to 1439)"},
      {two + fileOf({{2024, 1, 2, 9, 32, 0, 0, 0, 0}}), 3,
       "2024-01-02 09:32 does not come after 2024-01-02 09:32 of the record before"},
      {two + fileOf({{2024, 1, 2, 9, 30, 0, 0, 0, 0}}), 3,
       "2024-01-02 09:30 does not come after 2024-01-02 09:32 of the record before"},
      {two + fileOf({{2023, 12, 29, 15, 0, 0, 0, 0, 0}}), 3,
       "2023-12-29 15:00 does not come after 2024-01-02 09:32 of the record before"},
      {fileOf({{2023, 2, 29, 9, 31, 0, 0, 0, 0}}), 1,
       "date field 39141 is not a calendar date (2023-02-29)"},
      {two + fileOf({{2024, 13, 1, 9, 31, 0, 0, 0, 0}}), 3,
       "date field 42261 is not a calendar date (2024-13-01)"},
      // Zeros: a daily file's bytes, or none at all.
      {std::string(32, '\0'), 1, "date field 0 is not a calendar date (2004-00-00)"},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      parseMinuteFile(c.bytes);
      ADD_FAILURE() << "no error";
    } catch (const MinuteFileError& e) {
      EXPECT_EQ(e.record(), c.record);
      EXPECT_EQ(e.what(), c.message);
      EXPECT_EQ(tarvok::tools::dayFileMessage("sh600000.lc5", e),
                c.record ? "sh600000.lc5: record " + std::to_string(c.record) + ": " + c.message
                         : "sh600000.lc5: " + c.message);
    }
  }
  EXPECT_EQ(parseMinuteFile(midnight).time.back(), 1439u);  // 00:00 and 23:59 are minutes
}

TEST(MinuteFile, PiecesOfAnySizeGiveTheWholeFilesBars) {
  std::vector<Bar> bars;
  for (int m = 0; m < 50; ++m) {
    bars.push_back({2024, 6, 28 + m / 25, 9, 31 + m % 25, bits(static_cast<float>(m)), 0, 0, 0});
  }
  const std::string bytes = fileOf(bars);
  const BarSeries whole = parseMinuteFile(bytes);
  BarSeries read;
  read.open.assign(7, 1.0f);  // another file's, emptied first
  for (const std::size_t piece : {1u, 5u, 32u, 33u, 4096u}) {
    tarvok::tools::MinuteFileParser parser(read);
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      parser.add(std::string_view(bytes).substr(at, piece));
    }
    parser.finish();
    EXPECT_EQ(read.date, whole.date) << piece;
    EXPECT_EQ(read.time, whole.time) << piece;
    EXPECT_EQ(read.open, whole.open) << piece;
  }
  tarvok::tools::MinuteFileParser limited(read, 49);
  EXPECT_THROW(limited.add(bytes), MinuteFileError);
}

MinuteFault faultOf(const std::string& message) {
  if (message.find("empty") == 0) return MinuteFault::Empty;
  if (message.find("cut short") == 0) return MinuteFault::CutShort;
  if (message.find("date field") == 0) return MinuteFault::BadDate;
  if (message.find("time ") == 0) return MinuteFault::BadTime;
  if (message.find("does not come after") != std::string::npos) return MinuteFault::OutOfOrder;
  return MinuteFault::TooLong;
}

TEST(MinuteFile, DecoderGivesThePlainReadersFloatsBitForBit) {
  std::mt19937_64 rng(20261217);
  MinuteSeries series;  // one for all, as a worker keeps it
  int faults[7] = {};
  for (int k = 0; k < 600; ++k) {
    std::string bytes;
    int year = 2004 + static_cast<int>(rng() % 31), month = 12, day = 30;
    int minutes = 570 + static_cast<int>(rng() % 400);
    const int n = static_cast<int>(rng() % 60);
    for (int j = 0; j < n; ++j) {
      minutes += 1 + static_cast<int>(rng() % 30);
      if (minutes >= 1440 || rng() % 20 == 0) {
        minutes = 571 + static_cast<int>(rng() % 10);
        if (++day > 28) day = 1, month = month % 12 + 1, year += month == 1;
      }
      putRecord(bytes, packDate(year, month, day), static_cast<std::uint16_t>(minutes),
                static_cast<std::uint32_t>(rng()), static_cast<std::uint32_t>(rng()),
                static_cast<std::uint32_t>(rng()), static_cast<std::uint32_t>(rng()));
    }
    const std::size_t at = n > 2 ? static_cast<std::size_t>(rng() % n) * 32 : 0;
    switch (k % 7) {
      case 1: bytes.resize(bytes.size() - bytes.size() % 9); break;  // cut short, or not
      case 2:
        if (n > 2) bytes[at] ^= 1 << (rng() % 8);
        break;  // a date off
      case 3:
        if (n > 2) bytes[at + 2 + rng() % 2] ^= 1 << (rng() % 8);
        break;  // a time off
      case 4:
        if (n > 2) std::copy_n(bytes.begin(), 4, bytes.begin() + 32 * (n - 1));
        break;
      default: break;
    }
    SCOPED_TRACE(k);
    const MinuteFault fault = tarvok::tools::decodeMinuteSeries(bytes, series);
    ++faults[static_cast<int>(fault)];
    try {
      const BarSeries bars = parseMinuteFile(bytes);
      ASSERT_EQ(fault, MinuteFault::None);
      ASSERT_EQ(series.size(), bars.size());
      for (std::size_t j = 0; j < bars.size(); ++j) {
        ASSERT_EQ(bitsOf(series.high[j]), bitsOf(bars.high[j])) << j;
        ASSERT_EQ(bitsOf(series.low[j]), bitsOf(bars.low[j])) << j;
        ASSERT_EQ(bitsOf(series.close[j]), bitsOf(bars.close[j])) << j;
      }
      EXPECT_EQ(series.lastDate, bars.date.back());
      EXPECT_EQ(series.lastTime, bars.time.back());
    } catch (const MinuteFileError& e) {
      EXPECT_EQ(fault, faultOf(e.what())) << e.what();
    }
  }
  // Every fault but a file too long for the engine came up.
  for (int f = 0; f < 6; ++f) EXPECT_GT(faults[f], 0) << f;
}

}  // namespace
