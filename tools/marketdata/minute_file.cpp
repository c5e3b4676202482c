#include "marketdata/minute_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <emmintrin.h>
#include <fmt/format.h>

#include "marketdata/bar_date.h"

namespace tarvok::tools {

namespace {

std::uint16_t uint16At(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// Through memory, so that no float register touches the bits (a signalling NaN stays one).
void pushFloat(std::vector<float>& series, const unsigned char* p) {
  float value;
  std::memcpy(&value, p, sizeof value);
  series.push_back(value);
}

std::uint32_t packedYyyymmdd(std::uint16_t d) {
  const std::uint32_t rest = d % 2048u;
  return (d / 2048u + 2004u) * 10000u + rest / 100u * 100u + rest % 100u;
}

}  // namespace

std::optional<std::uint32_t> minuteFileDate(std::uint16_t packed) noexcept {
  const std::uint32_t date = packedYyyymmdd(packed);
  if (!isCalendarDate(date)) return std::nullopt;
  return date;
}

MinuteFileParser::MinuteFileParser(BarSeries& bars, std::size_t maxRecords)
    : bars_(bars), maxRecords_(std::min(maxRecords, kMaxBars)) {
  for (auto* series : {&bars.high, &bars.low, &bars.close, &bars.open}) series->clear();
  bars.date.clear();
  bars.time.clear();
}

void MinuteFileParser::addRecord(const unsigned char* p) {
  const std::size_t record = bars_.size() + 1;
  if (record > maxRecords_) {
    throw MinuteFileError(record, fmt::format("more than {} records", maxRecords_));
  }
  const std::uint16_t packed = uint16At(p);
  const std::uint16_t time = uint16At(p + 2);
  const auto date = minuteFileDate(packed);
  if (!date) {
    const std::uint32_t d = packedYyyymmdd(packed);
    throw MinuteFileError(
        record, fmt::format("date field {} is not a calendar date ({}-{:02}-{:02})", packed,
                            d / 10000, d / 100 % 100, d % 100));
  }
  if (time >= kMinutesPerDay) {
    throw MinuteFileError(record,
                          fmt::format("time {} is not a minute of a day (0 to 1439)", time));
  }
  const std::uint32_t key = std::uint32_t{packed} << 16 | time;
  if (record > 1 && key <= lastKey_) {
    throw MinuteFileError(record, fmt::format("{} does not come after {} of the record before",
                                              dateTimeText(*date, time),
                                              dateTimeText(bars_.date.back(), bars_.time.back())));
  }
  lastKey_ = key;
  bars_.date.push_back(*date);
  bars_.time.push_back(time);
  pushFloat(bars_.open, p + 4);
  pushFloat(bars_.high, p + 8);
  pushFloat(bars_.low, p + 12);
  pushFloat(bars_.close, p + 16);
}

void MinuteFileParser::add(std::string_view bytes) {
  records_.add(bytes, [this](const unsigned char* record) { addRecord(record); });
}

void MinuteFileParser::finish() {
  if (records_.bytes() == 0) throw MinuteFileError(0, "empty file: no minute records");
  if (records_.cutShort()) {
    throw MinuteFileError(bars_.size() + 1, cutShortText(records_.bytes(), kMinuteRecordSize));
  }
}

BarSeries parseMinuteFile(std::string_view bytes) {
  BarSeries bars;
  MinuteFileParser parser(bars);
  const std::size_t records = std::min(bytes.size() / kMinuteRecordSize, kMaxBars);
  for (auto* series : {&bars.high, &bars.low, &bars.close, &bars.open}) series->reserve(records);
  bars.date.reserve(records);
  bars.time.reserve(records);
  parser.add(bytes);
  parser.finish();
  return bars;
}

void readMinuteFile(std::FILE* in, BarSeries& bars, std::size_t maxRecords) {
  MinuteFileParser parser(bars, maxRecords);
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    parser.add(std::string_view(buffer.data(), got));
    if (got < buffer.size()) break;
  }
  if (std::ferror(in)) throw ReadError(std::strerror(errno));
  parser.finish();
}

MinuteFault decodeMinuteSeries(std::string_view bytes, MinuteSeries& series) {
  // The checks in parseMinuteFile's order: each whole record, then whether a part of one is left.
  const std::size_t n = bytes.size() / kMinuteRecordSize;
  if (n > static_cast<std::size_t>(INT_MAX)) return MinuteFault::TooLong;
  series.high.resize(n);
  series.low.resize(n);
  series.close.resize(n);
  const char* const records = bytes.data();

  // The date field takes the full check only when it changes; the key date << 16 | time orders
  // the records, as the packed date grows with the calendar (month * 100 + day < 2048).
  std::uint32_t checkedDate = 0x10000;  // no date field
  std::uint32_t lastKey = 0;
  for (std::size_t r = 0; r < n; ++r) {
    std::uint32_t word;
    std::memcpy(&word, records + r * kMinuteRecordSize, 4);  // little-endian, as x86 is
    const std::uint32_t date = word & 0xFFFF, time = word >> 16;
    if (date != checkedDate) {
      if (!minuteFileDate(static_cast<std::uint16_t>(date))) return MinuteFault::BadDate;
      checkedDate = date;
    }
    if (time >= kMinutesPerDay) return MinuteFault::BadTime;
    const std::uint32_t key = date << 16 | time;
    if (r > 0 && key <= lastKey) return MinuteFault::OutOfOrder;
    lastKey = key;
  }

  // The prices' bits moved as integers, four records at a time: their open, high, low and close
  // turned into a high, a low and a close of four bars.
  float* high = series.high.data();
  float* low = series.low.data();
  float* close = series.close.data();
  std::size_t r = 0;
  for (; r + 4 <= n; r += 4) {
    const char* p = records + r * kMinuteRecordSize + 4;
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + kMinuteRecordSize));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * kMinuteRecordSize));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * kMinuteRecordSize));
    const __m128i ohLow = _mm_unpacklo_epi32(r0, r1);   // o0 o1 h0 h1
    const __m128i ohHigh = _mm_unpacklo_epi32(r2, r3);  // o2 o3 h2 h3
    const __m128i lcLow = _mm_unpackhi_epi32(r0, r1);   // l0 l1 c0 c1
    const __m128i lcHigh = _mm_unpackhi_epi32(r2, r3);  // l2 l3 c2 c3
    _mm_storeu_si128(reinterpret_cast<__m128i*>(high + r), _mm_unpackhi_epi64(ohLow, ohHigh));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(low + r), _mm_unpacklo_epi64(lcLow, lcHigh));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(close + r), _mm_unpackhi_epi64(lcLow, lcHigh));
  }
  for (; r < n; ++r) {
    const char* p = records + r * kMinuteRecordSize;
    std::memcpy(high + r, p + 8, 4);
    std::memcpy(low + r, p + 12, 4);
    std::memcpy(close + r, p + 16, 4);
  }
  if (bytes.empty()) return MinuteFault::Empty;
  if (bytes.size() % kMinuteRecordSize != 0) return MinuteFault::CutShort;
  series.lastDate = packedYyyymmdd(static_cast<std::uint16_t>(checkedDate));
  series.lastTime = static_cast<std::uint16_t>(lastKey & 0xFFFF);
  return MinuteFault::None;
}

}  // namespace tarvok::tools
