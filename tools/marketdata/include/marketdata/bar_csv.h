#pragma once
// Bars from CSV text: a header row naming the columns, then one bar per row.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "marketdata/bar_series.h"

namespace tarvok::tools {

// The longest CSV line, without its line end. Bounds the memory a line can take, so that endless
// input without line ends (/dev/zero) is refused at once.
inline constexpr std::size_t kMaxCsvLineBytes = 64 * 1024;

// Bad input, with the 1-based line it was found on, or 0 when it concerns the input as a whole.
class CsvError : public std::runtime_error {
 public:
  CsvError(std::size_t line, const std::string& message)
      : std::runtime_error(message), line_(line) {}
  std::size_t line() const noexcept { return line_; }

 private:
  std::size_t line_;
};

// Which columns are read: the indicator's alone, or also those a chart shows.
enum class CsvColumns { IndicatorOnly, WithChart };

// Parses CSV text. Columns are found by name (high, low, close and date in any case, and open when
// a chart is wanted; others are ignored), fields are separated by commas, lines end in LF or CR
// LF, and blank lines may follow the last row. A leading UTF-8 byte order mark is skipped. A field
// may be quoted as RFC 4180 has it ("a ""b"", c"), header names included; a quoted field cannot
// hold a line break. Blanks (spaces, tabs) around a field, inside or outside its quotes, are
// ignored. Numbers are what parseNumber reads (decimal, hex-float, inf, nan) and must fill the
// field. Dates are YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD, all running one way: oldest first, or newest
// first, in which case the bars are handed out oldest first and newestFirst (when given) is set.
// The dates are kept only for a chart. At most kMaxBars rows, each line at most kMaxCsvLineBytes.
// Throws CsvError.
BarSeries parseBarCsv(std::string_view text, CsvColumns wanted = CsvColumns::IndicatorOnly,
                      bool* newestFirst = nullptr);

// The same from a stream, read in pieces of bounded size and checked as it comes, so that bad
// input is refused at its first bad line without reading the rest. Throws CsvError, or ReadError
// when the stream fails.
BarSeries readBarCsv(std::FILE* in, CsvColumns wanted = CsvColumns::IndicatorOnly,
                     bool* newestFirst = nullptr);

// The message for bad input: "<name>:<line>: <what>", or "<name>: <what>" for the input as a
// whole.
std::string csvMessage(std::string_view name, const CsvError& error);

}  // namespace tarvok::tools
