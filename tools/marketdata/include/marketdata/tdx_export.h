#pragma once
// Bars from the terminal's text exports (数据导出, 高级导出: one file per instrument, such as
// SH#600000.txt): GBK text, lines ended by CR LF (or LF).
//   line 1: code, name, period and adjustment, between blanks: "600000 浦发银行 日线 前复权"
//   line 2: the columns, "日期 开盘 最高 最低 收盘 成交量 成交额", with 时间 after 日期 in minute
//           exports; separated as the rows are
//   rows:   separated by tabs, or by the separator chosen at export (a comma, a semicolon, a bar
//           or blanks, told by line 2); dates as 2024/10/08, 2024-10-08 or 20241008; times as
//           0935 or 09:35, the bar's end; prices as decimals, negative for forward-adjusted
//           prices of early years
//   last:   数据来源:通达信, or #数据来源:通达信, the colon ASCII or full-width; blank lines after it
// Columns the bars do not need (成交量, 成交额, others) are passed over, but each row must have
// as many fields as line 2. Every price becomes the float nearest its decimal, as parseNumber
// reads it. The rows' dates (and times) must rise from row to row.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "marketdata/bar_series.h"

namespace tarvok::tools {

enum class ExportPeriod { Day, Week, Month, FiveMinutes, OneMinute, Other };
enum class Adjustment { None, Forward, Backward };

// "day", "week", "month", "5min", "1min", "other".
std::string_view periodName(ExportPeriod period) noexcept;

// "none", "forward", "backward".
std::string_view adjustmentName(Adjustment adjustment) noexcept;

struct TdxExport {
  std::string code;  // "600000"
  std::string name;  // UTF-8: "浦发银行"
  ExportPeriod period = ExportPeriod::Other;
  std::string periodText;  // UTF-8, as line 1 has it: "日线", "15分钟线"
  Adjustment adjustment = Adjustment::None;
  char separator = '\t';  // of the rows' fields; ' ' for runs of blanks
  BarSeries bars;         // open, high, low, close and date; time when the export has 时间
};

// A broken export, with the 1-based line it was found in, or 0 for the file as a whole.
class ExportError : public std::runtime_error {
 public:
  ExportError(std::size_t line, const std::string& message)
      : std::runtime_error(message), line_(line) {}
  std::size_t line() const noexcept { return line_; }

 private:
  std::size_t line_;
};

// "<name>: line <n>: <what>", or "<name>: <what>" for the file as a whole.
std::string exportMessage(std::string_view name, const ExportError& error);

// A whole export in memory, into out; the bars' storage is kept, so that one result can serve
// many files. Throws ExportError. Rows of the common shape (one separator byte, nothing around
// the fields, prices of up to 3 places) are read on a fast path, every other line as
// parseTdxExportPlain reads it.
void parseTdxExport(std::string_view bytes, TdxExport& out);
TdxExport parseTdxExport(std::string_view bytes);

// The same, line by line and field by field in the plainest way: what parseTdxExport is held to,
// bit for bit and error for error, by the tests and the fuzzer.
void parseTdxExportPlain(std::string_view bytes, TdxExport& out);

}  // namespace tarvok::tools
