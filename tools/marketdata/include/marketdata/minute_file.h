#pragma once
// Bars from the terminal's minute files: vipdoc/{sh,sz,bj}/minline/*.lc1 (1-minute bars) and
// vipdoc/{sh,sz,bj}/fzline/*.lc5 (5-minute bars).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "marketdata/bar_series.h"
#include "marketdata/day_file.h"
#include "marketdata/record_stream.h"

namespace tarvok::tools {

// One 32-byte little-endian record per bar: u16 date, packed as below; u16 minutes since
// midnight of the bar's end (the first 1-minute bar of a day is 09:31); float32 open, high, low
// and close in yuan; float32 turnover; u32 volume; u32 reserved. The bars of a day in time order,
// the days in date order.
inline constexpr std::size_t kMinuteRecordSize = 32;
inline constexpr std::uint16_t kMinutesPerDay = 1440;

// The date of a record's date field d, as YYYYMMDD: year d / 2048 + 2004, month (d mod 2048) / 100,
// day (d mod 2048) mod 100; no value when that is no calendar day.
std::optional<std::uint32_t> minuteFileDate(std::uint16_t packed) noexcept;

// A broken minute file: a DayFileError, so that dayFileMessage words it and one handler takes
// both kinds of file.
class MinuteFileError : public DayFileError {
 public:
  using DayFileError::DayFileError;
};

// Date, time, open, high, low and close of every record, the prices' bits as they are; turnover,
// volume and the reserved field are not used. A record is refused when its date is no calendar
// day, its minutes are not below 1440, or its date and time do not come after the record
// before's; the file, when it is empty or cut short. As DayFileParser: the bytes in pieces of any
// size, each record checked as soon as it is whole.
class MinuteFileParser {
 public:
  // Fills bars (time too), emptied first, storage kept. More than maxRecords records are refused.
  explicit MinuteFileParser(BarSeries& bars, std::size_t maxRecords = kMaxBars);

  // The next bytes of the file. Throws MinuteFileError.
  void add(std::string_view bytes);

  // The end of the file: throws MinuteFileError when it held no record or its last one is cut
  // short.
  void finish();

 private:
  void addRecord(const unsigned char* record);

  BarSeries& bars_;
  std::size_t maxRecords_;
  std::uint32_t lastKey_ = 0;  // date << 16 | time of the last record: their order
  RecordStream<kMinuteRecordSize> records_;
};

// A whole file in memory. Throws MinuteFileError.
BarSeries parseMinuteFile(std::string_view bytes);

// A file from a stream, read in pieces, into bars (emptied first). Throws MinuteFileError, or
// ReadError when the stream fails.
void readMinuteFile(std::FILE* in, BarSeries& bars, std::size_t maxRecords = kMaxBars);

// The indicator's inputs from a minute file, for the scan: high, low and close of every record,
// and the last date and time; the same floats and checks as parseMinuteFile, into buffers kept
// from file to file.
struct MinuteSeries {
  std::vector<float> high, low, close;  // resized to the file's records; capacity kept
  std::uint32_t lastDate = 0;           // YYYYMMDD of the last record
  std::uint16_t lastTime = 0;           // its minutes since midnight
  std::size_t size() const { return close.size(); }
};

// What parseMinuteFile would refuse the file for; it has the message.
enum class MinuteFault { None, Empty, CutShort, BadDate, BadTime, OutOfOrder, TooLong };

// Decodes the records into series. On a fault the series hold nothing usable.
MinuteFault decodeMinuteSeries(std::string_view bytes, MinuteSeries& series);

}  // namespace tarvok::tools
