#pragma once
// Bars from CSV text: a header row naming the columns, then one bar per row.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvok::tools {

// The bars: the three input series of the indicator, one element per bar, and what a chart of
// them can show besides.
struct BarSeries {
  std::vector<float> high, low, close;
  std::vector<float> open;          // empty when the input has no opening prices
  std::vector<std::uint32_t> date;  // YYYYMMDD; empty when the input has no dates
  std::size_t size() const { return close.size(); }
};

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

// Parses the whole input. Columns are found by name (high, low, close in any case, and open and
// date when a chart is wanted; others are ignored), fields are separated by commas, lines end in LF or CR LF, and empty lines may follow
// the last row. A leading UTF-8 byte order mark is skipped. Numbers are what std::strtof reads
// (decimal, hex-float, inf, nan), surrounded by optional spaces or tabs, and must fill the field.
// The text is used as scratch space: fields are cut out of it in place.
// Dates are YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD, each after the one before.
BarSeries parseBarCsv(std::string& text, CsvColumns wanted = CsvColumns::IndicatorOnly);

// The rest of a stream, read in binary. Throws std::runtime_error on a read error.
std::string readAll(std::FILE* stream);

}  // namespace tarvok::tools
