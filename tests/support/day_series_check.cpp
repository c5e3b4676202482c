#include "support/day_series_check.h"

#include <gtest/gtest.h>

#include <cstddef>

#include "support/random_bars.h"

namespace tarvok::testing {

void expectSameAsParseDayFile(const std::string& bytes, tools::DaySeries& series,
                              std::uint32_t scale) {
  using tools::DayFault;
  const DayFault fault = tools::decodeDaySeries(bytes, series, scale);
  try {
    const tools::BarSeries bars = tools::parseDayFile(bytes, scale);
    ASSERT_EQ(fault, DayFault::None);
    ASSERT_EQ(series.size(), bars.size());
    for (std::size_t j = 0; j < bars.size(); ++j) {
      ASSERT_EQ(bitsOf(series.high[j]), bitsOf(bars.high[j])) << j;
      ASSERT_EQ(bitsOf(series.low[j]), bitsOf(bars.low[j])) << j;
      ASSERT_EQ(bitsOf(series.close[j]), bitsOf(bars.close[j])) << j;
    }
    EXPECT_EQ(series.lastDate, bars.date.back());
  } catch (const tools::DayFileError& e) {
    const std::string message = e.what();
    const DayFault expected = message.find("empty") == 0       ? DayFault::Empty
                              : message.find("cut short") == 0 ? DayFault::CutShort
                                                               : DayFault::BadDate;
    EXPECT_EQ(fault, expected) << message;
  }
}

}  // namespace tarvok::testing
