// The folder walk that finds the terminal's daily files: which names it takes for one.

#include <gtest/gtest.h>

#include "marketdata/day_file_walk.h"

namespace {

TEST(DayFileWalk, DailyFileNames) {
  for (const char* yes : {"sh600000.day", "SZ000001.DAY", "x.Day", "a b.day"}) {
    EXPECT_TRUE(tarvok::tools::isDayFileName(yes)) << yes;
  }
  for (const char* no : {".day", "day", "sh600000.day.bak", "sh600000.da", "sh600000_day", ""}) {
    EXPECT_FALSE(tarvok::tools::isDayFileName(no)) << no;
  }
}

}  // namespace
