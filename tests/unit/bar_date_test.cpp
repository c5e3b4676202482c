// Bar dates: which numbers name a day of the calendar, and the date fields a CSV file may hold.

#include <gtest/gtest.h>

#include <cstdint>

#include "marketdata/bar_date.h"

namespace {

TEST(BarDate, KnowsTheCalendar) {
  using tarvok::tools::isCalendarDate;
  using tarvok::tools::parseDate;
  for (const std::uint32_t ok :
       {20240229u, 20000229u, 19991231u, 10000101u, 99991231u, 20230131u}) {
    EXPECT_TRUE(isCalendarDate(ok)) << ok;
  }
  for (const std::uint32_t bad : {20230229u, 19000229u, 20240431u, 20241301u, 20240001u, 20240100u,
                                  9991231u, 100000101u, 0u}) {
    EXPECT_FALSE(isCalendarDate(bad)) << bad;
  }
  EXPECT_EQ(parseDate("2024-12-31"), 20241231u);
  EXPECT_EQ(parseDate("2024/01/05"), 20240105u);
  EXPECT_EQ(parseDate("20240105"), 20240105u);
  for (const char* bad : {"", "2024-1-05", "2024-01-5 ", "+0240105", "2024_01_05", "202401050",
                          "2024-01/05", "24-01-05"}) {
    EXPECT_FALSE(parseDate(bad).has_value()) << bad;
  }
}

}  // namespace
