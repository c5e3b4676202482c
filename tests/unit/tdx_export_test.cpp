// Reading the terminal's text exports: title and header, each date form, separator and closing
// line, minute exports, negative prices, and broken files with the line named.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marketdata/tdx_export.h"
#include "support/random_bars.h"
#include "text/number_text.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::tools::Adjustment;
using tarvok::tools::ExportError;
using tarvok::tools::ExportPeriod;
using tarvok::tools::parseTdxExport;
using tarvok::tools::TdxExport;

// The export's words in GBK.
const std::string kPufa = "\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0";      // 浦发银行
const std::string kVanke = "\xCD\xF2\x20\x20\xBF\xC6\xA3\xC1";     // 万  科Ａ
const std::string kDaily = "\xC8\xD5\xCF\xDF";                     // 日线
const std::string kWeekly = "\xD6\xDC\xCF\xDF";                    // 周线
const std::string kFiveMinutes = "5\xB7\xD6\xD6\xD3\xCF\xDF";      // 5分钟线
const std::string kFifteenMinutes = "15\xB7\xD6\xD6\xD3\xCF\xDF";  // 15分钟线
const std::string kForward = "\xC7\xB0\xB8\xB4\xC8\xA8";           // 前复权
const std::string kBackward = "\xBA\xF3\xB8\xB4\xC8\xA8";          // 后复权
const std::string kNone = "\xB2\xBB\xB8\xB4\xC8\xA8";              // 不复权
const std::string kDate = "\xC8\xD5\xC6\xDA";                      // 日期
const std::string kTime = "\xCA\xB1\xBC\xE4";                      // 时间
const std::string kOpen = "\xBF\xAA\xC5\xCC";                      // 开盘
const std::string kHigh = "\xD7\xEE\xB8\xDF";                      // 最高
const std::string kLow = "\xD7\xEE\xB5\xCD";                       // 最低
const std::string kClose = "\xCA\xD5\xC5\xCC";                     // 收盘
const std::string kVolume = "\xB3\xC9\xBD\xBB\xC1\xBF";            // 成交量
const std::string kTurnover = "\xB3\xC9\xBD\xBB\xB6\xEE";          // 成交额
const std::string kSource = "\xCA\xFD\xBE\xDD\xC0\xB4\xD4\xB4";    // 数据来源
const std::string kTerminal = "\xCD\xA8\xB4\xEF\xD0\xC5";          // 通达信
const std::string kFooter = kSource + ":" + kTerminal;

struct Layout {
  std::string separator = "\t";
  std::string lineEnd = "\r\n";
  std::string footer = kFooter;
  std::string after;  // what follows the footer
};

std::string join(const std::vector<std::string>& fields, const std::string& separator) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? separator : "") + fields[i];
  return out;
}

// An export as the terminal writes it: title, header, rows, closing line.
std::string exportFile(const std::string& title, const std::vector<std::string>& header,
                       const std::vector<std::vector<std::string>>& rows,
                       const Layout& layout = {}) {
  std::string out = title + layout.lineEnd + join(header, layout.separator) + layout.lineEnd;
  for (const auto& row : rows) out += join(row, layout.separator) + layout.lineEnd;
  return out + layout.footer + layout.lineEnd + layout.after;
}

const std::vector<std::string> kDailyHeader = {kDate,  kOpen,   kHigh,    kLow,
                                               kClose, kVolume, kTurnover};

std::vector<std::vector<std::string>> dailyRows(int form) {
  const char* dates[3][3] = {{"2024/10/08", "2024/10/09", "2024/11/01"},
                             {"2024-10-08", "2024-10-09", "2024-11-01"},
                             {"20241008", "20241009", "20241101"}};
  return {{dates[form][0], "10.11", "10.50", "9.98", "10.35", "123456", "1277000.00"},
          {dates[form][1], "10.35", "10.40", "10.01", "10.02", "99000", "1000000.50"},
          {dates[form][2], "-0.75", "0.125", "-1.002", "0.00", "0", "0.00"}};
}

void expectDailyBars(const TdxExport& e) {
  EXPECT_EQ(e.bars.date, (std::vector<std::uint32_t>{20241008, 20241009, 20241101}));
  EXPECT_EQ(e.bars.open, (std::vector<float>{10.11f, 10.35f, -0.75f}));
  EXPECT_EQ(e.bars.high, (std::vector<float>{10.5f, 10.4f, 0.125f}));
  EXPECT_EQ(e.bars.low, (std::vector<float>{9.98f, 10.01f, -1.002f}));
  EXPECT_EQ(e.bars.close, (std::vector<float>{10.35f, 10.02f, 0.0f}));
  EXPECT_TRUE(e.bars.time.empty());
}

TEST(TdxExport, ReadsTitleHeaderAndRows) {
  const TdxExport e = parseTdxExport(
      exportFile("600000 " + kPufa + " " + kDaily + " " + kForward, kDailyHeader, dailyRows(0)));
  EXPECT_EQ(e.code, "600000");
  EXPECT_EQ(e.name, "浦发银行");
  EXPECT_EQ(e.period, ExportPeriod::Day);
  EXPECT_EQ(e.periodText, "日线");
  EXPECT_EQ(periodName(e.period), "day");
  EXPECT_EQ(e.adjustment, Adjustment::Forward);
  EXPECT_EQ(adjustmentName(e.adjustment), "forward");
  EXPECT_EQ(e.separator, '\t');
  expectDailyBars(e);
  // A negative price of the early years, as parseNumber reads it.
  EXPECT_EQ(bitsOf(e.bars.low[2]), bitsOf(*tarvok::tools::parseNumber("-1.002")));
}

TEST(TdxExport, EveryDateFormSeparatorAndClosingLine) {
  const std::string title = "000002 " + kVanke + " " + kWeekly + " " + kNone;
  const Layout layouts[] = {
      {},
      {",", "\r\n", kFooter, ""},
      {";", "\r\n", "#" + kFooter, ""},
      {"|", "\r\n", kSource + "\xA3\xBA" + kTerminal, ""},              // a full-width colon
      {"   ", "\r\n", "#" + kSource + "\xA3\xBA" + kTerminal, "\r\n"},  // blanks; a blank line
      {"\t", "\n", kFooter, "\n\n"},                                    // LF alone
      {" , ", "\r\n", "  " + kFooter + " ", "  \r\n"},                  // blanks around
      {"\t", "\r\n", kFooter, ""},
  };
  const char separators[] = {'\t', ',', ';', '|', ' ', '\t', ',', '\t'};
  for (int form = 0; form < 3; ++form) {
    for (std::size_t l = 0; l < std::size(layouts); ++l) {
      SCOPED_TRACE(testing::Message() << "date form " << form << ", layout " << l);
      std::vector<std::vector<std::string>> rows = dailyRows(form);
      if (l == 7) {
        for (auto& row : rows) row.push_back("");  // a separator ending every line
      }
      std::vector<std::string> header = kDailyHeader;
      if (l == 7) header.push_back("");
      const TdxExport e = parseTdxExport(exportFile(title, header, rows, layouts[l]));
      EXPECT_EQ(e.name, "万  科Ａ");
      EXPECT_EQ(e.period, ExportPeriod::Week);
      EXPECT_EQ(e.adjustment, Adjustment::None);
      EXPECT_EQ(e.separator, separators[l]);
      expectDailyBars(e);
    }
  }
}

TEST(TdxExport, MinuteExportsHaveTimes) {
  const std::vector<std::string> header = {kDate, kTime,  kOpen,   kHigh,
                                           kLow,  kClose, kVolume, kTurnover};
  const TdxExport e = parseTdxExport(
      exportFile("159915 ETF " + kFiveMinutes + " " + kBackward, header,
                 {{"2024/12/31", "1455", "2.101", "2.105", "2.100", "2.104", "1000", "2104.0"},
                  {"2024/12/31", "15:00", "2.104", "2.110", "2.103", "2.109", "1000", "2109.0"},
                  {"2025/01/02", "0935", "2.109", "2.109", "2.099", "2.100", "1000", "2100.0"},
                  {"2025/01/02", "9:40", "2.100", "2.100", "2.100", "2.100", "0", "0"}},
                 {",", "\r\n", kFooter, ""}));
  EXPECT_EQ(e.period, ExportPeriod::FiveMinutes);
  EXPECT_EQ(e.adjustment, Adjustment::Backward);
  EXPECT_EQ(e.bars.date, (std::vector<std::uint32_t>{20241231, 20241231, 20250102, 20250102}));
  EXPECT_EQ(e.bars.time, (std::vector<std::uint16_t>{895, 900, 575, 580}));
  EXPECT_EQ(e.bars.close, (std::vector<float>{2.104f, 2.109f, 2.1f, 2.1f}));
  // Another period with minutes in it, and no rows at all.
  const TdxExport none =
      parseTdxExport(exportFile("IF2412 IF " + kFifteenMinutes + " " + kNone, header, {}));
  EXPECT_EQ(none.period, ExportPeriod::Other);
  EXPECT_EQ(none.periodText, "15分钟线");
  EXPECT_EQ(none.bars.size(), 0u);
}

TEST(TdxExport, ReportsBrokenFilesWithTheLine) {
  const std::string title = "600000 " + kPufa + " " + kDaily + " " + kNone;
  const std::string good = exportFile(title, kDailyHeader, dailyRows(0));
  auto withRow = [&](std::vector<std::string> row) {
    std::vector<std::vector<std::string>> rows = dailyRows(0);
    rows.push_back(std::move(row));
    return exportFile(title, kDailyHeader, rows);
  };
  const std::vector<std::string> minuteHeader = {kDate, kOpen, kHigh, kLow, kClose};
  struct BadFile {
    std::string bytes;
    std::size_t line;
    std::string message;
  };
  const BadFile cases[] = {
      {"", 0, "empty file"},
      {title, 2, "no column header: the file ends after line 1"},
      {good.substr(0, good.size() - kFooter.size() - 2), 0,
       "no closing 数据来源:通达信 line after line 5: cut short?"},
      {good.substr(0, good.size() - kFooter.size() - 12), 5,
       "cut short: the file ends within this line, before the closing 数据来源:通达信 line"},
      {good + "2024/12/02\t1\t1\t1\t1\t0\t0\r\n", 7, "text after the closing 数据来源:通达信 line"},
      {withRow({"2024/12/02", "10.1", "10.x", "10", "10", "0", "0"}), 6,
       "field 3: \"10.x\" is not a price"},
      {withRow({"2024/12/02", "10.1", "1e1", "10", "10", "0", "0"}), 6,
       "field 3: \"1e1\" is not a price"},
      {withRow({"2024/12/02", "10.1", "10", "10", "10", "0"}), 6,
       "6 fields where the header has 7"},
      {withRow({"2024/12/02", "10.1", "10", "10", "10", "0", "0", "0"}), 6,
       "more than the header's 7 fields"},
      {withRow({"2024/02/30", "1", "1", "1", "1", "0", "0"}), 6, "\"2024/02/30\" is not a date"},
      {withRow({"2024/11/01", "1", "1", "1", "1", "0", "0"}), 6,
       "2024-11-01 does not come after 2024-11-01 of the row before"},
      {withRow({"2024/10/31", "1", "1", "1", "1", "0", "0"}), 6,
       "2024-10-31 does not come after 2024-11-01 of the row before"},
      {exportFile(title, {kDate, kOpen, kHigh, kLow, kVolume}, {}), 2,
       "no 收盘 column in the header \"日期\\x09开盘\\x09最高\\x09最低\\x09成交量\""},
      {exportFile(title, {kOpen, kDate, kHigh, kLow, kClose}, {}), 2,
       "not the column header: it does not begin with 日期: \"开盘\\x09日期\\x09最高\\x09最低\\x09收盘\""},
      {exportFile(title, {kDate, kOpen, kOpen, kHigh, kLow, kClose}, {}), 2, "column 开盘 twice"},
      {exportFile("600000 " + kPufa + " " + kDaily, kDailyHeader, {}), 1,
       "not an export's title (code, name, period, adjustment): fewer than four words: \"600000 "
       "浦发银行 日线\""},
      {exportFile("600000 " + kPufa + " " + kDaily + " x", kDailyHeader, {}), 1,
       "not an export's title (code, name, period, adjustment): the adjustment is none of 不复权, "
       "前复权, 后复权: \"600000 浦发银行 日线 x\""},
      {exportFile("600000 " + kPufa + " " + kPufa + " " + kNone, kDailyHeader, {}), 1,
       "not an export's title (code, name, period, adjustment): the period is not a chart period "
       "such as 日线 or 5分钟线: \"600000 浦发银行 浦发银行 不复权\""},
      {exportFile("600000 \xC6\xD6\x80 " + kDaily + " " + kNone, kDailyHeader, {}), 1,
       "the title line is not GBK text (byte 10 of the line)"},
      {exportFile("600000 x " + kFiveMinutes + " " + kNone, minuteHeader, {}), 2,
       "a minute export without a 时间 column: \"日期\\x09开盘\\x09最高\\x09最低\\x09收盘\""},
      {exportFile("600000 x " + kFiveMinutes + " " + kNone,
                  {kDate, kTime, kOpen, kHigh, kLow, kClose},
                  {{"2024/01/02", "0960", "1", "1", "1", "1"}}),
       3, "\"0960\" is not a time of day"},
      {exportFile("600000 x " + kFiveMinutes + " " + kNone,
                  {kDate, kTime, kOpen, kHigh, kLow, kClose},
                  {{"2024/01/02", "0935", "1", "1", "1", "1"},
                   {"2024/01/02", "09:35", "1", "1", "1", "1"}}),
       4, "2024-01-02 09:35 does not come after 2024-01-02 09:35 of the row before"},
      {exportFile(title, kDailyHeader, {dailyRows(0)[0], {""}, dailyRows(0)[1]}), 4,
       "an empty line among the rows"},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      parseTdxExport(c.bytes);
      ADD_FAILURE() << "no error";
    } catch (const ExportError& e) {
      EXPECT_EQ(e.line(), c.line);
      EXPECT_EQ(e.what(), c.message);
    }
  }
  try {
    parseTdxExport(withRow({"2024/12/02", "x", "1", "1", "1", "0", "0"}));
  } catch (const ExportError& e) {
    EXPECT_EQ(exportMessage("SH#600000.txt", e),
              "SH#600000.txt: line 6: field 2: \"x\" is not a price");
  }
}

TEST(TdxExport, ResultsServeManyFiles) {
  TdxExport e;
  parseTdxExport(exportFile("159915 ETF " + kFiveMinutes + " " + kNone,
                            {kDate, kTime, kOpen, kHigh, kLow, kClose},
                            {{"2024/01/02", "0935", "1", "1", "1", "1"}}),
                 e);
  EXPECT_EQ(e.bars.time.size(), 1u);
  parseTdxExport(
      exportFile("600000 " + kPufa + " " + kDaily + " " + kForward, kDailyHeader, dailyRows(2)), e);
  expectDailyBars(e);
}

}  // namespace
