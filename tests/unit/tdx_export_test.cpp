// Reading the terminal's text exports: title and header, each date form, separator and closing
// line, minute exports, negative prices, and broken files with the line named; and the fast reader
// against the plain one over many random exports, whole and broken.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "marketdata/bar_date.h"
#include "marketdata/tdx_export.h"
#include "support/random_bars.h"
#include "text/number_text.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::tools::Adjustment;
using tarvok::tools::ExportError;
using tarvok::tools::ExportPeriod;
using tarvok::tools::parseTdxExport;
using tarvok::tools::parseTdxExportPlain;
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

// A random export: any separator, date form, time form, places, sign and size of price, columns
// in any order and of any width, line ends and closing lines; and now and then broken at random
// places, by a byte changed, put in or taken out, rows swapped or the file cut short.
class RandomExport {
 public:
  explicit RandomExport(std::uint64_t seed) : rng_(seed) {}

  std::string next() {
    const std::string separators[] = {"\t", ",", ";", "|", " ", "  ", "\t"};
    const std::string separator = separators[pick(std::size(separators))];
    const bool crlf = pick(5) != 0;
    const std::string end = crlf ? "\r\n" : "\n";
    const int period = static_cast<int>(pick(5));  // day, week, 5 minutes, 1 minute, 15 minutes
    const bool minutes = period >= 2;
    const std::string periods[] = {kDaily, kWeekly, kFiveMinutes, "1\xB7\xD6\xD6\xD3\xCF\xDF",
                                   kFifteenMinutes};
    const std::string adjustments[] = {kNone, kForward, kBackward};
    std::string out = std::to_string(600000 + pick(1000)) + " " + (pick(2) ? kPufa : kVanke) + " " +
                      periods[period] + " " + adjustments[pick(3)] + end;

    // Columns: the date first, the time in minute exports, the prices and others in any order.
    std::vector<std::string> header = {kOpen, kHigh, kLow, kClose};
    for (std::size_t k = pick(4); k > 0; --k) header.push_back(pick(2) ? kVolume : kTurnover);
    if (pick(3) == 0) std::shuffle(header.begin(), header.end(), rng_);
    if (minutes) header.insert(header.begin(), kTime);
    header.insert(header.begin(), kDate);
    const bool trailing = pick(8) == 0 && separator != " " && separator != "  ";
    out += join(header, separator) + (trailing ? separator : "") + end;

    const int form = static_cast<int>(pick(3));
    const bool oddDates = pick(10) == 0;
    const int places = static_cast<int>(pick(4));
    std::uint32_t day = 19900101 + static_cast<std::uint32_t>(pick(30)) * 10000;
    int minute = 9 * 60 + 30;
    const std::size_t rows = pick(6) == 0 ? pick(4) : pick(300);
    for (std::size_t r = 0; r < rows; ++r) {
      if (!minutes || (minute += 1 + static_cast<int>(pick(30))) >= 15 * 60) {
        day = nextDay(day);
        minute = 9 * 60 + 30 + static_cast<int>(pick(5));
      }
      std::vector<std::string> row;
      for (const std::string& column : header) {
        if (column == kDate) {
          // Now and then another form, or a day the calendar lacks.
          static constexpr std::uint32_t kNoDays[] = {20230229, 21000229, 20240230, 20240431,
                                                      20241301, 20240001, 20240100, 9991231};
          const std::size_t odd = oddDates ? pick(100) : 8 + pick(400);
          row.push_back(odd < std::size(kNoDays)
                            ? dateText(kNoDays[odd], form)
                            : dateText(day, odd < 20 ? static_cast<int>(pick(3)) : form));
        } else if (column == kTime) {
          row.push_back(timeText(minute));
        } else if (column == kOpen || column == kHigh || column == kLow || column == kClose) {
          row.push_back(priceText(places));
        } else {
          row.push_back(otherText());
        }
      }
      out += join(row, separator) + (trailing ? separator : "") + end;
    }
    const std::string footers[] = {kFooter, "#" + kFooter, kSource + "\xA3\xBA" + kTerminal};
    if (pick(20) != 0) out += footers[pick(3)] + end;
    if (pick(5) == 0) out += end;
    if (pick(3) == 0) breakAt(out);
    return out;
  }

 private:
  std::size_t pick(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }

  static std::uint32_t nextDay(std::uint32_t d) {
    const std::uint32_t y = d / 10000, m = d / 100 % 100, dd = d % 100;
    if (dd < tarvok::tools::daysInMonth(y, m)) return d + 1;
    return m < 12 ? y * 10000 + (m + 1) * 100 + 1 : (y + 1) * 10000 + 101;
  }

  static std::string dateText(std::uint32_t d, int form) {
    char text[16];
    const char* const formats[] = {"%04u/%02u/%02u", "%04u-%02u-%02u", "%04u%02u%02u"};
    std::snprintf(text, sizeof text, formats[form], d / 10000, d / 100 % 100, d % 100);
    return text;
  }

  std::string timeText(int minute) {
    char text[16];
    const int form = static_cast<int>(pick(3));
    if (form == 2 && minute / 60 < 10) {
      std::snprintf(text, sizeof text, "%d:%02d", minute / 60, minute % 60);
    } else {
      std::snprintf(text, sizeof text, form == 0 ? "%02d%02d" : "%02d:%02d", minute / 60,
                    minute % 60);
    }
    return text;
  }

  // Mostly the file's places and sizes of the common prices; now and then a sign, other places,
  // leading zeros, or digits past 2^24 and past 7.
  std::string priceText(int places) {
    std::string text;
    const std::size_t kind = pick(40);
    if (kind == 0) text += '-';
    if (kind == 1) text += '+';
    if (kind == 2) text += "00";
    const std::uint64_t limits[] = {10, 100, 10000, 1000000, 100000000, 10000000000ull};
    const std::size_t size = kind == 3 ? 4 + pick(2) : pick(kind < 8 ? 4 : 3);
    text += std::to_string(rng_() % limits[size]);
    const int k = kind == 4 ? static_cast<int>(pick(6)) : places;
    if (k > 0) {
      text += '.';
      for (int i = 0; i < k; ++i) text += static_cast<char>('0' + pick(10));
    }
    return text;
  }

  // Volumes and turnovers, now and then wide enough that the row passes 64 bytes, empty, or with
  // GBK text or blanks in it.
  std::string otherText() {
    const std::size_t kind = pick(30);
    if (kind == 0) return "";
    if (kind == 1) return std::string(20 + pick(60), '7');
    if (kind == 2) return kPufa;
    if (kind == 3) return "1 000";
    return std::to_string(rng_() % 100000000) + (pick(2) ? ".00" : "");
  }

  void breakAt(std::string& out) {
    for (std::size_t n = 1 + pick(3); n > 0 && !out.empty(); --n) {
      const std::size_t at = pick(out.size());
      const char nasty[] = {' ', '\t', '\r', '\n', ',', ';',  '|',    '.',    '-', '+',
                            'e', '0',  '9',  '/',  ':', '\0', '\x80', '\xA3', '#'};
      switch (pick(6)) {
        case 0: out[at] = nasty[pick(sizeof nasty)]; break;
        case 1:
          out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), nasty[pick(sizeof nasty)]);
          break;
        case 2: out.erase(at, 1); break;
        case 3: out.resize(at); break;
        case 4: {  // a line twice: a date that does not rise
          const std::size_t from = out.rfind('\n', at), to = out.find('\n', at);
          if (from != std::string::npos && to != std::string::npos) {
            out.insert(to + 1, out.substr(from + 1, to - from));
          }
          break;
        }
        default: out.insert(at, std::string(1 + pick(3), ' ')); break;
      }
    }
  }

  std::mt19937_64 rng_;
};

struct Result {
  bool refused = false;
  std::size_t line = 0;
  std::string message;
};

Result readWith(void (*read)(std::string_view, TdxExport&), const std::string& bytes,
                TdxExport& out) {
  Result r;
  try {
    read(bytes, out);
  } catch (const ExportError& e) {
    r.refused = true;
    r.line = e.line();
    r.message = e.what();
  }
  return r;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

// The fast reader, into one result kept from file to file as the scan keeps it, against the plain
// one into a fresh result: the same error, line and message, or the same export bit for bit.
TEST(TdxExport, FastReaderIsThePlainOneOnRandomExports) {
  RandomExport random(20261209);
  TdxExport kept;
  int refused = 0, read = 0;
  for (int i = 0; i < 6000; ++i) {
    const std::string bytes = random.next();
    TdxExport plain;
    const Result a = readWith(parseTdxExport, bytes, kept);
    const Result b = readWith(parseTdxExportPlain, bytes, plain);
    SCOPED_TRACE(testing::Message() << "export " << i << ":\n" << bytes);
    ASSERT_EQ(a.refused, b.refused) << (a.refused ? a.message : b.message);
    ASSERT_EQ(a.line, b.line);
    ASSERT_EQ(a.message, b.message);
    // The bars read before an error stay alike too.
    ASSERT_EQ(kept.bars.date, plain.bars.date);
    ASSERT_EQ(kept.bars.time, plain.bars.time);
    for (auto series : {&tarvok::tools::BarSeries::open, &tarvok::tools::BarSeries::high,
                        &tarvok::tools::BarSeries::low, &tarvok::tools::BarSeries::close}) {
      ASSERT_TRUE(sameBits(kept.bars.*series, plain.bars.*series));
    }
    if (a.refused) {
      ++refused;
      continue;
    }
    ++read;
    EXPECT_EQ(kept.code, plain.code);
    EXPECT_EQ(kept.name, plain.name);
    EXPECT_EQ(kept.period, plain.period);
    EXPECT_EQ(kept.periodText, plain.periodText);
    EXPECT_EQ(kept.adjustment, plain.adjustment);
    EXPECT_EQ(kept.separator, plain.separator);
  }
  // Both kinds of outcome are well represented.
  EXPECT_GT(refused, 1500);
  EXPECT_GT(read, 1500);
}

}  // namespace
