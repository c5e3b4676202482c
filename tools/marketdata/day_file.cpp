#include "marketdata/day_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fmt/format.h>

#include "marketdata/bar_date.h"

namespace tarvok::tools {

namespace {

std::uint32_t uint32At(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

float dayFilePrice(std::uint32_t units, std::uint32_t scale) noexcept {
  // One rounding to double, then one to float. The double is within 2^-53 of units / 100,
  // which, having 25 in its denominator, is never that close to a float midpoint without being one;
  // so the second rounding goes the way a single correct rounding would.
  // For units / 1000 in general: let 2^e <= q = units / 1000 < 2^(e+1) (e <= 22, as q < 2^22.1);
  // the double d is within 2^(e-53) of q, and the float midpoints near q are m = k * 2^(e-24), k
  // odd. q - m = (units * 2^(24-e) - 1000 * k) / (1000 * 2^(24-e)) has an integer numerator, so
  // unless q is m itself (then d is m too, both being doubles, and the tie goes to even as it
  // should) |q - m| >= 2^(e-24) / 1000 > 2^(e-53): no midpoint lies between q and d, and rounding
  // d gives the float nearest q. Both scales were checked against an exact integer rounding over
  // every uint32 by a program of their own.
  return static_cast<float>(static_cast<double>(units) / static_cast<double>(scale));
}

DayFileParser::DayFileParser(BarSeries& bars, std::size_t maxRecords, std::uint32_t scale)
    : bars_(bars), maxRecords_(std::min(maxRecords, kMaxBars)), scale_(scale) {
  for (auto* series : {&bars.high, &bars.low, &bars.close, &bars.open}) series->clear();
  bars.date.clear();
  bars.time.clear();
}

void DayFileParser::addRecord(const unsigned char* p) {
  const std::size_t record = bars_.size() + 1;
  if (record > maxRecords_)
    throw DayFileError(record, fmt::format("more than {} records", maxRecords_));
  const std::uint32_t date = uint32At(p);
  if (!isCalendarDate(date)) {
    throw DayFileError(record, fmt::format("{} is not a date (YYYYMMDD)", date));
  }
  if (!bars_.date.empty() && date <= bars_.date.back()) {
    throw DayFileError(record, fmt::format("date {} does not come after {} of the record before",
                                           date, bars_.date.back()));
  }
  bars_.date.push_back(date);
  bars_.open.push_back(dayFilePrice(uint32At(p + 4), scale_));
  bars_.high.push_back(dayFilePrice(uint32At(p + 8), scale_));
  bars_.low.push_back(dayFilePrice(uint32At(p + 12), scale_));
  bars_.close.push_back(dayFilePrice(uint32At(p + 16), scale_));
}

void DayFileParser::add(std::string_view bytes) {
  records_.add(bytes, [this](const unsigned char* record) { addRecord(record); });
}

void DayFileParser::finish() {
  if (records_.bytes() == 0) throw DayFileError(0, "empty file: no daily records");
  if (records_.cutShort()) {
    throw DayFileError(bars_.size() + 1, cutShortText(records_.bytes(), kDayRecordSize));
  }
}

std::string cutShortText(std::size_t bytes, std::size_t recordSize) {
  return fmt::format("cut short: {} bytes is not a whole number of {}-byte records", bytes,
                     recordSize);
}

std::string dayFileMessage(std::string_view name, const DayFileError& error) {
  return error.record() == 0 ? fmt::format("{}: {}", name, error.what())
                             : fmt::format("{}: record {}: {}", name, error.record(), error.what());
}

BarSeries parseDayFile(std::string_view bytes, std::uint32_t scale) {
  BarSeries bars;
  DayFileParser parser(bars, kMaxBars, scale);
  // A file of more records than allowed is refused before they are all kept.
  const std::size_t records = std::min(bytes.size() / kDayRecordSize, kMaxBars);
  for (auto* series : {&bars.high, &bars.low, &bars.close, &bars.open}) series->reserve(records);
  bars.date.reserve(records);
  parser.add(bytes);
  parser.finish();
  return bars;
}

void readDayFile(std::FILE* in, BarSeries& bars, std::size_t maxRecords, std::uint32_t scale) {
  DayFileParser parser(bars, maxRecords, scale);
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    parser.add(std::string_view(buffer.data(), got));
    if (got < buffer.size()) break;
  }
  if (std::ferror(in)) throw ReadError(std::strerror(errno));
  parser.finish();
}

}  // namespace tarvok::tools
