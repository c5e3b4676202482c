// The folder walk that finds the terminal's bar files: which names it takes for one.

#include <gtest/gtest.h>

#include "marketdata/bar_file_walk.h"

namespace {

using tarvok::tools::Timeframe;

TEST(BarFileWalk, DailyFileNames) {
  for (const char* yes : {"sh600000.day", "SZ000001.DAY", "x.Day", "a b.day"}) {
    EXPECT_TRUE(tarvok::tools::isDayFileName(yes)) << yes;
  }
  for (const char* no : {".day", "day", "sh600000.day.bak", "sh600000.da", "sh600000_day", ""}) {
    EXPECT_FALSE(tarvok::tools::isDayFileName(no)) << no;
  }
}

TEST(BarFileWalk, MinuteFileAndExportNames) {
  struct Case {
    const char* name;
    bool fiveMinutes, oneMinute, day, exported;
  };
  const Case cases[] = {
      {"sh600000.lc5", true, false, false, false},
      {"SZ000001.LC1", false, true, false, false},
      {"sh600000.lc5.bak", false, false, false, false},
      {".lc5", false, false, false, false},
      {"SH#600000.txt", false, false, false, true},
      {"47#IF2412.TXT", false, false, false, true},
      {"readme.txt", false, false, false, false},
      {"#600000.txt", false, false, false, false},
      {"SH#.txt", false, false, false, false},
      {"sh600000.day", false, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(tarvok::tools::isMinuteFileName(c.name, Timeframe::FiveMinutes), c.fiveMinutes);
    EXPECT_EQ(tarvok::tools::isMinuteFileName(c.name, Timeframe::OneMinute), c.oneMinute);
    EXPECT_EQ(tarvok::tools::isMinuteFileName(c.name, Timeframe::Day), false);
    EXPECT_EQ(tarvok::tools::isDayFileName(c.name), c.day);
    EXPECT_EQ(tarvok::tools::isExportFileName(c.name), c.exported);
  }
  EXPECT_EQ(tarvok::tools::parseTimeframe("5MIN"), Timeframe::FiveMinutes);
  EXPECT_EQ(tarvok::tools::parseTimeframe("day"), Timeframe::Day);
  EXPECT_FALSE(tarvok::tools::parseTimeframe("15min").has_value());
}

}  // namespace
