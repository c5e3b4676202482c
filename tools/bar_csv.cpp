#include "tools/bar_csv.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include <fmt/format.h>

#include "tools/bar_date.h"

namespace tarvok::tools {

namespace {

// The indicator's three columns, then the two that only a chart shows.
constexpr std::string_view kColumnNames[] = {"high", "low", "close", "open", "date"};
constexpr int kRequiredColumns = 3;
constexpr int kOpen = 3;
constexpr int kDate = 4;
constexpr int kNoColumn = -1;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The field without surrounding spaces and tabs.
std::string_view trimmed(const char* begin, const char* end) {
  while (begin < end && isBlank(*begin)) ++begin;
  while (end > begin && isBlank(end[-1])) --end;
  return {begin, static_cast<std::size_t>(end - begin)};
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(a[i]);
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : a[i];
    if (lower != b[i]) return false;
  }
  return true;
}

// A field quoted in a message, cut short so that a binary file does not flood the terminal.
std::string quoted(std::string_view field) {
  constexpr std::size_t kMaxShown = 40;
  if (field.size() <= kMaxShown) return fmt::format("\"{}\"", field);
  return fmt::format("\"{}\"...", field.substr(0, kMaxShown));
}

// Splits the text into lines and hands them out one at a time, with the line number.
class LineReader {
 public:
  LineReader(char* begin, char* end) : next_(begin), end_(end) {}

  // The next line without its terminator (LF or CR LF), or false at the end of the text.
  bool next(char*& begin, char*& end) {
    if (next_ == end_) return false;
    begin = next_;
    char* newline = static_cast<char*>(std::memchr(next_, '\n', static_cast<std::size_t>(end_ - next_)));
    end = newline ? newline : end_;
    next_ = newline ? newline + 1 : end_;
    if (end > begin && end[-1] == '\r') --end;
    ++number_;
    return true;
  }

  std::size_t number() const { return number_; }

  // Whether nothing but line ends is left: blank lines at the end of the file are no rows.
  bool onlyLineEndsLeft() const {
    return std::all_of(next_, end_, [](char c) { return c == '\r' || c == '\n'; });
  }

 private:
  char* next_;
  char* end_;
  std::size_t number_ = 0;
};

std::size_t countFields(const char* begin, const char* end) {
  return 1 + static_cast<std::size_t>(std::count(begin, end, ','));
}

}  // namespace

BarSeries parseBarCsv(std::string& text, CsvColumns wanted) {
  char* begin = text.data();
  char* const end = begin + text.size();
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) begin += 3;

  LineReader lines(begin, end);
  char* lineBegin = nullptr;
  char* lineEnd = nullptr;
  if (!lines.next(lineBegin, lineEnd)) {
    throw CsvError(0, "empty input: expected a header row naming high, low and close");
  }

  // Header: which field holds each series.
  const int columns = wanted == CsvColumns::WithChart ? kDate + 1 : kRequiredColumns;
  int columnOf[kDate + 1] = {kNoColumn, kNoColumn, kNoColumn, kNoColumn, kNoColumn};
  const std::size_t fieldCount = countFields(lineBegin, lineEnd);
  {
    const char* field = lineBegin;
    for (int index = 0;; ++index) {
      const char* comma = std::find(field, static_cast<const char*>(lineEnd), ',');
      const std::string_view name = trimmed(field, comma);
      for (int k = 0; k < columns; ++k) {
        if (!equalsIgnoringCase(name, kColumnNames[k])) continue;
        if (columnOf[k] != kNoColumn) {
          throw CsvError(lines.number(), fmt::format("column '{}' appears twice", kColumnNames[k]));
        }
        columnOf[k] = index;
      }
      if (comma == lineEnd) break;
      field = comma + 1;
    }
  }
  for (int k = 0; k < kRequiredColumns; ++k) {
    if (columnOf[k] == kNoColumn) {
      throw CsvError(lines.number(), fmt::format("no column named '{}' in the header", kColumnNames[k]));
    }
  }

  BarSeries bars;
  // An upper bound on the rows, so the series never reallocate.
  const auto rowsAtMost = static_cast<std::size_t>(std::count(lineEnd, end, '\n')) + 1;
  bars.high.reserve(rowsAtMost);
  bars.low.reserve(rowsAtMost);
  bars.close.reserve(rowsAtMost);
  if (columnOf[kOpen] != kNoColumn) bars.open.reserve(rowsAtMost);
  if (columnOf[kDate] != kNoColumn) bars.date.reserve(rowsAtMost);
  std::vector<float>* const seriesOf[kDate] = {&bars.high, &bars.low, &bars.close, &bars.open};

  while (lines.next(lineBegin, lineEnd)) {
    if (lineBegin == lineEnd && lines.onlyLineEndsLeft()) break;

    // Find the fields, and check the row has as many fields as the header.
    char* fieldBegin[kDate + 1] = {};
    char* fieldEnd[kDate + 1] = {};
    std::size_t fields = 0;
    for (char* field = lineBegin;; ++fields) {
      char* comma = std::find(field, lineEnd, ',');
      for (int k = 0; k < columns; ++k) {
        if (columnOf[k] == static_cast<int>(fields)) {
          fieldBegin[k] = field;
          fieldEnd[k] = comma;
        }
      }
      if (comma == lineEnd) break;
      field = comma + 1;
    }
    ++fields;
    if (fields != fieldCount) {
      throw CsvError(lines.number(),
                     lineBegin == lineEnd
                         ? fmt::format("empty line; expected {} fields as in the header", fieldCount)
                         : fmt::format("{} field{}, expected {} as in the header", fields,
                                       fields == 1 ? "" : "s", fieldCount));
    }

    for (int k = 0; k < kDate; ++k) {
      if (columnOf[k] == kNoColumn) continue;
      const std::string_view field = trimmed(fieldBegin[k], fieldEnd[k]);
      // strtof reads up to a NUL: end the field in place, on the first blank after it or on its
      // delimiter. The end of the text already is one.
      char* const last = fieldBegin[k] + (field.data() - fieldBegin[k]) + field.size();
      if (last != end) *last = '\0';
      char* parsedEnd = nullptr;
      const float value = std::strtof(field.data(), &parsedEnd);
      if (field.empty() || parsedEnd != last) {
        throw CsvError(lines.number(), fmt::format("column '{}': not a number: {}", kColumnNames[k],
                                                   quoted(field)));
      }
      seriesOf[k]->push_back(value);
    }
    if (columnOf[kDate] != kNoColumn) {
      const std::string_view field = trimmed(fieldBegin[kDate], fieldEnd[kDate]);
      const std::optional<std::uint32_t> date = parseDate(field);
      if (!date) {
        throw CsvError(lines.number(), fmt::format("column 'date': not a date (YYYY-MM-DD, YYYY/MM/DD "
                                                   "or YYYYMMDD): {}", quoted(field)));
      }
      if (!bars.date.empty() && *date <= bars.date.back()) {
        throw CsvError(lines.number(),
                       fmt::format("column 'date': {} does not come after {} of the row before "
                                   "(bars go oldest first)", field, bars.date.back()));
      }
      bars.date.push_back(*date);
    }
    if (bars.size() > static_cast<std::size_t>(INT_MAX)) {
      throw CsvError(lines.number(), fmt::format("more than {} bars", INT_MAX));
    }
  }

  if (bars.size() == 0) throw CsvError(0, "no bars after the header row");
  return bars;
}

std::string readAll(std::FILE* stream) {
  std::string text;
  // The size when the stream can tell it, so that a file is read without regrowing the buffer.
  const long start = std::ftell(stream);
  if (start >= 0 && std::fseek(stream, 0, SEEK_END) == 0) {
    const long stop = std::ftell(stream);
    if (std::fseek(stream, start, SEEK_SET) != 0) throw std::runtime_error(std::strerror(errno));
    if (stop > start) text.resize(static_cast<std::size_t>(stop - start) + 1);
  }
  std::size_t used = 0;
  for (;;) {
    if (used == text.size()) text.resize(std::max<std::size_t>(2 * text.size(), 1 << 16));
    const std::size_t room = text.size() - used;
    const std::size_t got = std::fread(&text[used], 1, room, stream);
    used += got;
    if (got < room) break;  // end of input or an error
  }
  if (std::ferror(stream)) throw std::runtime_error(std::strerror(errno));
  text.resize(used);
  return text;
}

}  // namespace tarvok::tools
