// Reading bars from CSV text: column lookup, number spellings, line ends, dates, and the errors
// with their line numbers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marketdata/bar_csv.h"
#include "support/random_bars.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::tools::BarSeries;
using tarvok::tools::CsvColumns;
using tarvok::tools::CsvError;
using tarvok::tools::parseBarCsv;

BarSeries parse(std::string text) { return parseBarCsv(text); }

TEST(BarCsv, FindsColumnsByNameInAnyCaseAndOrder) {
  const BarSeries bars = parse(
      "Date, CLOSE ,open,Low,volume,HiGh\n"
      "2024-01-02,10.5,10,9.75,1200,11\n"
      "2024-01-03, 12 ,11,  10.25\t,900,12.5\n");
  EXPECT_EQ(bars.high, (std::vector<float>{11, 12.5f}));
  EXPECT_EQ(bars.low, (std::vector<float>{9.75f, 10.25f}));
  EXPECT_EQ(bars.close, (std::vector<float>{10.5f, 12}));
}

TEST(BarCsv, ReadsEveryNumberSpellingWithCrLfAndTrailingBlankLines) {
  const BarSeries bars = parse(
      "\xEF\xBB\xBFhigh,low,close\r\n"
      "0x1.8p3,-0,inf\r\n"
      "1e3,-INF,nan\r\n"
      "-0x1p-149,0,.5\r\n"
      "\r\n\n");
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars.high[0], 12.0f);
  EXPECT_EQ(bitsOf(bars.low[0]), 0x80000000u);
  EXPECT_EQ(bars.close[0], INFINITY);
  EXPECT_EQ(bars.high[1], 1000.0f);
  EXPECT_EQ(bars.low[1], -INFINITY);
  EXPECT_TRUE(std::isnan(bars.close[1]));
  EXPECT_EQ(bitsOf(bars.high[2]), 0x80000001u);  // the smallest denormal survives
  EXPECT_EQ(bitsOf(bars.low[2]), 0u);
  EXPECT_EQ(bars.close[2], 0.5f);
}

TEST(BarCsv, ReportsEachErrorWithItsLine) {
  using namespace std::string_literals;
  struct BadInput {
    std::string text;
    std::size_t line;  // 0: the input as a whole
    std::string message;
  };
  const BadInput cases[] = {
      {"", 0, "empty input: expected a header row naming high, low and close"},
      {"high,low,close", 0, "no bars after the header row"},
      {"high,low,close\r\n\r\n", 0, "no bars after the header row"},
      {"high,low\n1,2\n", 1, "no column named 'close' in the header"},
      {"high,low,close,HIGH\n1,2,3,4\n", 1, "column 'high' appears twice"},
      {"high,low,close\n1,2,3\r\n1,abc,3\r\n", 3, "column 'low': not a number: \"abc\""},
      {"high,low,close\n1,,3\n", 2, "column 'low': not a number: \"\""},
      {"high,low,close\n1,2,3x\n", 2, "column 'close': not a number: \"3x\""},
      {"high,low,close\n0x,2,3\n", 2, "column 'high': not a number: \"0x\""},
      {"high,low,close\n1 2,2,3\n", 2, "column 'high': not a number: \"1 2\""},
      {"high,low,close\n1,2," + std::string(99, 'x'), 2,
       "column 'close': not a number: \"" + std::string(40, 'x') + "\"..."},
      {"high,low,close\n1,2,3\n1,2,3,4\n", 3, "4 fields, expected 3 as in the header"},
      {"high,low,close\n1,2\n", 2, "2 fields, expected 3 as in the header"},
      {"high,low,close\n1,2,3\n\n1,2,3\n", 3, "empty line; expected 3 fields as in the header"},
      {"high,low,close\n1,2,3\n \n", 3, "1 field, expected 3 as in the header"},
      {"high,low,close\n1,2,3\n\r\r\n1,2,3\n", 3, "empty line; expected 3 fields as in the header"},
      {"high,\"low\nclose\n1,2,3\n", 1,
       "field 2: the quote is not closed on this line (a quoted field cannot hold a line break)"},
      {"high,low,close\n1,\"2\"x,3\n", 2, "field 2: text after the closing quote"},
      {"high,low,close\n1,\"2\"\"\",3\n", 2, "column 'low': not a number: \"2\"\""},
      {"\"high\",\"lo\"\"w\",close\n", 1, "no column named 'low' in the header"},
      {"high,low,close\n1,2,\x1b[2J\r\f\x00\n"s, 2,
       "column 'close': not a number: \"\\x1b[2J\\x0d\\x0c\\x00\""},
      {"high,low,close\n1,2,nan(0x400000)\n", 2, "column 'close': not a number: \"nan(0x400000)\""},
      {std::string(tarvok::tools::kMaxCsvLineBytes + 1, 'h'), 1, "line longer than 65536 bytes"},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parse(c.text);
      ADD_FAILURE() << "no error";
    } catch (const CsvError& e) {
      EXPECT_EQ(e.line(), c.line);
      EXPECT_EQ(e.what(), c.message);
    }
  }
}

TEST(BarCsv, ReadsOpenAndDatesOnlyForAChart) {
  const std::string text =
      "Date,open,high,low,close\n"
      "2024-02-28,10,11,9,10.5\n"
      "2024/02/29,10.5,12,10,11\n"
      "20240301,11,11.5,10.5,11.25\n";
  const BarSeries plain = parse(text);
  EXPECT_TRUE(plain.open.empty());
  EXPECT_TRUE(plain.date.empty());

  std::string copy = text;
  const BarSeries charted = parseBarCsv(copy, CsvColumns::WithChart);
  EXPECT_EQ(charted.open, (std::vector<float>{10, 10.5f, 11}));
  EXPECT_EQ(charted.date, (std::vector<std::uint32_t>{20240228, 20240229, 20240301}));
  EXPECT_EQ(charted.close, plain.close);

  // Without those columns a chart still gets the indicator's three.
  std::string bare = "high,low,close\n2,1,1.5\n";
  const BarSeries closeOnly = parseBarCsv(bare, CsvColumns::WithChart);
  EXPECT_TRUE(closeOnly.open.empty() && closeOnly.date.empty());
  EXPECT_EQ(closeOnly.size(), 1u);
}

TEST(BarCsv, ChartColumnsReportTheirErrorsWithTheLine) {
  struct Case {
    const char* text;
    const char* message;
    bool chartOnly;  // the indicator alone does not look at the opening prices
  };
  const Case cases[] = {
      {"date,high,low,close\n2023-02-29,2,1,1\n",
       "column 'date': not a date (YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD): \"2023-02-29\"", false},
      {"date,high,low,close\n2024-01-0x,2,1,1\n",
       "column 'date': not a date (YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD): \"2024-01-0x\"", false},
      {"date,high,low,close\n2024-03/01,2,1,1\n",
       "column 'date': not a date (YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD): \"2024-03/01\"", false},
      {"date,high,low,close\n2024-01-03,2,1,1\n2024-01-04,2,1,1\n2024-01-02,2,1,1\n",
       "column 'date': 2024-01-02 does not come after 2024-01-04 of the row before (the dates run "
       "oldest first)",
       false},
      {"date,high,low,close\n2024-01-03,2,1,1\n2024-01-02,2,1,1\n20240102,2,1,1\n",
       "column 'date': 2024-01-02 does not come before 2024-01-02 of the row before (the dates run "
       "newest first)",
       false},
      {"date,high,low,close\n20240103,2,1,1\n20240103,2,1,1\n",
       "column 'date': 2024-01-03 does not come after 2024-01-03 of the row before (the dates run "
       "oldest first)",
       false},
      {"open,high,low,close,OPEN\n1,2,1,1,1\n", "column 'open' appears twice", true},
      {"open,high,low,close\n1,2,1,1\nx,2,1,1\n", "column 'open': not a number: \"x\"", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    for (const CsvColumns columns : {CsvColumns::WithChart, CsvColumns::IndicatorOnly}) {
      std::string copy = c.text;
      if (c.chartOnly && columns == CsvColumns::IndicatorOnly) {
        EXPECT_NO_THROW(parseBarCsv(copy, columns));
        continue;
      }
      try {
        parseBarCsv(copy, columns);
        ADD_FAILURE() << "no error";
      } catch (const CsvError& e) {
        EXPECT_EQ(e.what(), std::string(c.message));
      }
    }
  }
}

TEST(BarCsv, DatesNewestFirstAreReadInTimeOrder) {
  const std::string text =
      "date,open,high,low,close\n2024-01-04,3,4,2,3.5\n2024-01-03,2,3,1,2.5\n"
      "2024-01-02,1,2,0,1.5\n";
  for (const CsvColumns columns : {CsvColumns::WithChart, CsvColumns::IndicatorOnly}) {
    bool newestFirst = false;
    const BarSeries bars = parseBarCsv(text, columns, &newestFirst);
    EXPECT_TRUE(newestFirst);
    EXPECT_EQ(bars.close, (std::vector<float>{1.5f, 2.5f, 3.5f}));
    EXPECT_EQ(bars.high, (std::vector<float>{2, 3, 4}));
    EXPECT_EQ(bars.low, (std::vector<float>{0, 1, 2}));
    if (columns == CsvColumns::WithChart) {
      EXPECT_EQ(bars.open, (std::vector<float>{1, 2, 3}));
      EXPECT_EQ(bars.date, (std::vector<std::uint32_t>{20240102, 20240103, 20240104}));
    } else {
      EXPECT_TRUE(bars.date.empty() && bars.open.empty());
    }
  }
  bool newestFirst = true;
  parseBarCsv("date,high,low,close\n2024-01-02,2,1,1\n2024-01-03,2,1,1\n",
              CsvColumns::IndicatorOnly, &newestFirst);
  EXPECT_FALSE(newestFirst);
}

TEST(BarCsv, ReadsQuotedFields) {
  const BarSeries bars = parse(
      "\"High\",\"low\", \"close\" ,\"name, with comma\"\r\n"
      "\"2\",1,\" 1.5 \",\"say \"\"hi\"\", then\"\r\n"
      "3,\"2\",2.5,\"\"\n");
  EXPECT_EQ(bars.high, (std::vector<float>{2, 3}));
  EXPECT_EQ(bars.low, (std::vector<float>{1, 2}));
  EXPECT_EQ(bars.close, (std::vector<float>{1.5f, 2.5f}));
}

TEST(BarCsv, AStreamReadsInPiecesAsTheTextDoes) {
  // Rows across several reads, one line of the longest kind among them (in an ignored column);
  // then one byte more is refused at its line, in memory and from the stream alike.
  std::string text = "high,low,close,note\n";
  for (int i = 0; i < 20000; ++i) text += std::to_string(i % 97) + ".25,1,2,x\r\n";
  const std::string longest = "1,1,1," + std::string(tarvok::tools::kMaxCsvLineBytes - 6, 'n');
  text += longest + "\n";
  const auto fromStream = [](const std::string& content) {
    // A file of our own: the Windows tmpfile() writes to the root of the drive.
    const char* path = "bar_csv_test_stream.tmp";
    std::FILE* f = std::fopen(path, "w+b");
    EXPECT_NE(f, nullptr);
    EXPECT_EQ(std::fwrite(content.data(), 1, content.size(), f), content.size());
    std::rewind(f);
    std::string error;
    BarSeries bars;
    try {
      bars = tarvok::tools::readBarCsv(f);
    } catch (const CsvError& e) {
      error = std::to_string(e.line()) + ": " + e.what();
    }
    std::fclose(f);
    std::remove(path);
    return std::make_pair(bars, error);
  };
  const auto [streamed, none] = fromStream(text);
  EXPECT_EQ(none, "");
  const BarSeries whole = parse(text);
  ASSERT_EQ(whole.size(), 20001u);
  EXPECT_EQ(streamed.high, whole.high);
  EXPECT_EQ(streamed.close, whole.close);

  const std::string tooLong = text + longest + "n\r\n1,1,1,x\n";
  EXPECT_EQ(fromStream(tooLong).second, "20003: line longer than 65536 bytes");
  try {
    parse(tooLong);
    ADD_FAILURE() << "no error";
  } catch (const CsvError& e) {
    EXPECT_EQ(e.line(), 20003u);
  }
}

}  // namespace
