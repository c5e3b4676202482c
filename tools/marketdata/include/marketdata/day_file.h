#pragma once
// Bars from the terminal's own daily files (vipdoc/sh/lday/*.day, vipdoc/sz/lday/*.day). Their
// prices are integers: hundredths of a yuan for shares and indices, thousandths for funds and
// bonds (marketdata/instrument.h tells which); the scale is the number of them in a yuan.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

#include "marketdata/bar_series.h"
#include "marketdata/record_stream.h"

namespace tarvok::tools {

// One 32-byte little-endian record per day, oldest first.
inline constexpr std::size_t kDayRecordSize = 32;

// A broken file, with the 1-based record it was found in, or 0 when it concerns the file as a whole.
class DayFileError : public std::runtime_error {
 public:
  DayFileError(std::size_t record, const std::string& message)
      : std::runtime_error(message), record_(record) {}
  std::size_t record() const noexcept { return record_; }

 private:
  std::size_t record_;
};

// The price scales of the files: units of a price in one yuan.
inline constexpr std::uint32_t kHundredths = 100, kThousandths = 1000;

// The float nearest to a price held in units of 1/scale yuan (scale 100 or 1000): what the
// terminal hands a formula.
float dayFilePrice(std::uint32_t units, std::uint32_t scale = kHundredths) noexcept;

// Date, open, high, low and close of every record; turnover, volume and the reserved field are not
// used. Each date must be a calendar day after the one before. The bytes may come in pieces of
// any size, from memory or a stream; each record is checked as soon as it is whole, so that a
// file is refused at its first bad record (endless zeros at the first) without reading on.
class DayFileParser {
 public:
  // Fills bars, emptied first; its storage is kept, so that one series can serve many files.
  // More than maxRecords records are refused. Prices are in units of 1/scale yuan.
  explicit DayFileParser(BarSeries& bars, std::size_t maxRecords = kMaxBars,
                         std::uint32_t scale = kHundredths);

  // The next bytes of the file. Throws DayFileError.
  void add(std::string_view bytes);

  // The end of the file: throws DayFileError when it held no record or its last one is cut short.
  void finish();

 private:
  void addRecord(const unsigned char* record);

  BarSeries& bars_;
  std::size_t maxRecords_;
  std::uint32_t scale_;
  RecordStream<kDayRecordSize> records_;
};

// The message for a broken file: "<name>: record <n>: <what>", or "<name>: <what>" for the file
// as a whole.
std::string dayFileMessage(std::string_view name, const DayFileError& error);

// A whole file in memory. Throws DayFileError.
BarSeries parseDayFile(std::string_view bytes, std::uint32_t scale = kHundredths);

// A file from a stream, read in pieces, into bars (emptied first). Throws DayFileError, or
// ReadError when the stream fails.
void readDayFile(std::FILE* in, BarSeries& bars, std::size_t maxRecords = kMaxBars,
                 std::uint32_t scale = kHundredths);

}  // namespace tarvok::tools
