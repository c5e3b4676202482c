#include "tools/day_file.h"

#include <climits>

#include <fmt/format.h>

#include "tools/bar_date.h"

namespace tarvok::tools {

namespace {

std::uint32_t uint32At(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

float dayFilePrice(std::uint32_t hundredths) noexcept {
  // One rounding to double, then one to float. The double is within 2^-53 of hundredths / 100,
  // which, having 25 in its denominator, is never that close to a float midpoint without being one;
  // so the second rounding goes the way a single correct rounding would. Checked over every uint32.
  return static_cast<float>(static_cast<double>(hundredths) / 100.0);
}

BarSeries parseDayFile(std::string_view bytes) {
  if (bytes.empty()) throw DayFileError(0, "empty file: no daily records");
  const std::size_t records = bytes.size() / kDayRecordSize;
  if (bytes.size() % kDayRecordSize != 0) {
    throw DayFileError(records + 1,
                       fmt::format("cut short: {} bytes is not a whole number of {}-byte records",
                                   bytes.size(), kDayRecordSize));
  }
  if (records > static_cast<std::size_t>(INT_MAX)) {
    throw DayFileError(0, fmt::format("more than {} records", INT_MAX));
  }

  BarSeries bars;
  bars.date.reserve(records);
  bars.open.reserve(records);
  bars.high.reserve(records);
  bars.low.reserve(records);
  bars.close.reserve(records);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t r = 0; r < records; ++r, p += kDayRecordSize) {
    const std::uint32_t date = uint32At(p);
    if (!isCalendarDate(date)) {
      throw DayFileError(r + 1, fmt::format("{} is not a date (YYYYMMDD)", date));
    }
    if (!bars.date.empty() && date <= bars.date.back()) {
      throw DayFileError(r + 1, fmt::format("date {} does not come after {} of the record before",
                                            date, bars.date.back()));
    }
    bars.date.push_back(date);
    bars.open.push_back(dayFilePrice(uint32At(p + 4)));
    bars.high.push_back(dayFilePrice(uint32At(p + 8)));
    bars.low.push_back(dayFilePrice(uint32At(p + 12)));
    bars.close.push_back(dayFilePrice(uint32At(p + 16)));
  }
  return bars;
}

}  // namespace tarvok::tools
