#include "marketdata/bar_csv.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include <fmt/format.h>

#include "marketdata/bar_date.h"
#include "text/ascii.h"
#include "text/message_text.h"
#include "text/number_text.h"

namespace tarvok::tools {

namespace {

// The indicator's three columns, then the two that only a chart shows.
constexpr std::string_view kColumnNames[] = {"high", "low", "close", "open", "date"};
constexpr int kRequiredColumns = 3;
constexpr int kOpen = 3;
constexpr int kDate = 4;
constexpr int kColumns = kDate + 1;
constexpr int kNoColumn = -1;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A field's text: blanks and quotes taken off; a doubled quote inside a quoted field is still
// doubled when escaped is set.
struct Field {
  std::string_view text;
  bool escaped = false;

  std::string unquoted() const {
    std::string plain(text);
    if (escaped) {
      for (std::size_t at = plain.find("\"\""); at != std::string::npos;
           at = plain.find("\"\"", at + 1)) {
        plain.erase(at, 1);
      }
    }
    return plain;
  }
};

// A field quoted in a message, cut short so that a binary file does not flood the terminal, and
// with its control bytes shown.
std::string quoted(const Field& field) {
  constexpr std::size_t kMaxShown = 40;
  const std::string text = field.unquoted();
  if (text.size() <= kMaxShown) return fmt::format("\"{}\"", printable(text));
  return fmt::format("\"{}\"...", printable(std::string_view(text).substr(0, kMaxShown)));
}

// Splits a line at the commas outside quotes and hands each field to take(index, field); returns
// the number of fields.
template <typename Take>
std::size_t splitFields(std::string_view line, std::size_t lineNumber, Take&& take) {
  std::size_t index = 0;
  std::size_t i = 0;
  for (;; ++index) {
    const std::size_t start = i;
    while (i < line.size() && isBlank(line[i])) ++i;
    Field field;
    if (i < line.size() && line[i] == '"') {
      const std::size_t open = ++i;
      for (;;) {
        const std::size_t quote = line.find('"', i);
        if (quote == std::string_view::npos) {
          throw CsvError(lineNumber,
                         fmt::format("field {}: the quote is not closed on this line (a "
                                     "quoted field cannot hold a line break)",
                                     index + 1));
        }
        if (quote + 1 < line.size() && line[quote + 1] == '"') {
          field.escaped = true;
          i = quote + 2;
          continue;
        }
        field.text = trimmed(line.substr(open, quote - open));
        i = quote + 1;
        break;
      }
      while (i < line.size() && isBlank(line[i])) ++i;
      if (i < line.size() && line[i] != ',') {
        throw CsvError(lineNumber,
                       fmt::format("field {}: text after the closing quote", index + 1));
      }
    } else {
      i = std::min(line.find(',', i), line.size());
      field.text = trimmed(line.substr(start, i - start));
    }
    take(index, field);
    if (i == line.size()) return index + 1;
    ++i;  // the comma
  }
}

// Hands out the lines of the input, without their ends (LF or CR LF), with their numbers. Input
// in memory is taken as it is; a stream is read in pieces into a buffer that holds one line of
// the longest kind and one piece more.
class LineSource {
 public:
  explicit LineSource(std::string_view text) : rest_(text) {}
  explicit LineSource(std::FILE* in) : in_(in), buffer_(2 * kMaxCsvLineBytes + 2) {}

  // The next line, or false at the end of the input.
  bool next(std::string_view& line) {
    for (;;) {
      const std::size_t newline = rest_.find('\n');
      if (newline != std::string_view::npos || atEnd_ || in_ == nullptr) {
        if (newline == std::string_view::npos && rest_.empty()) return false;
        line = rest_.substr(0, newline);
        rest_.remove_prefix(newline == std::string_view::npos ? rest_.size() : newline + 1);
        ++number_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        checkLength(line.size(), number_);
        return true;
      }
      // A line end, CR included, is not needed to know the line is too long.
      checkLength(rest_.size() > 0 ? rest_.size() - 1 : 0, number_ + 1);
      refill();
    }
  }

  std::size_t number() const { return number_; }

 private:
  static void checkLength(std::size_t length, std::size_t lineNumber) {
    if (length > kMaxCsvLineBytes) {
      throw CsvError(lineNumber, fmt::format("line longer than {} bytes", kMaxCsvLineBytes));
    }
  }

  // Moves what is left of the buffer to its front and reads behind it.
  void refill() {
    char* const base = buffer_.data();
    const std::size_t kept = rest_.size();
    if (kept != 0) std::memmove(base, rest_.data(), kept);  // none at first: rest_ has no data then
    const std::size_t room = buffer_.size() - kept;
    const std::size_t got = std::fread(base + kept, 1, room, in_);
    if (got < room) {
      if (std::ferror(in_)) throw ReadError(std::strerror(errno));
      atEnd_ = true;
    }
    rest_ = std::string_view(base, kept + got);
  }

  std::FILE* in_ = nullptr;
  std::vector<char> buffer_;
  std::string_view rest_;
  bool atEnd_ = false;
  std::size_t number_ = 0;
};

BarSeries parseLines(LineSource& lines, CsvColumns wanted, std::size_t rowsAtMost,
                     bool* newestFirst) {
  std::string_view line;
  if (!lines.next(line)) {
    throw CsvError(0, "empty input: expected a header row naming high, low and close");
  }
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);

  // Header: which field holds each series. The dates are always read when there are any, for
  // their order; the opening prices only for a chart.
  const bool chart = wanted == CsvColumns::WithChart;
  const auto read = [chart](int k) { return k != kOpen || chart; };
  int columnOf[kColumns] = {kNoColumn, kNoColumn, kNoColumn, kNoColumn, kNoColumn};
  const std::size_t fieldCount =
      splitFields(line, lines.number(), [&](std::size_t index, const Field& field) {
        const std::string name = field.unquoted();
        for (int k = 0; k < kColumns; ++k) {
          if (!read(k) || !equalsIgnoringCase(name, kColumnNames[k])) continue;
          if (columnOf[k] != kNoColumn) {
            throw CsvError(lines.number(),
                           fmt::format("column '{}' appears twice", kColumnNames[k]));
          }
          columnOf[k] = static_cast<int>(index);
        }
      });
  for (int k = 0; k < kRequiredColumns; ++k) {
    if (columnOf[k] == kNoColumn) {
      throw CsvError(lines.number(),
                     fmt::format("no column named '{}' in the header", kColumnNames[k]));
    }
  }
  BarSeries bars;
  bars.high.reserve(rowsAtMost);
  bars.low.reserve(rowsAtMost);
  bars.close.reserve(rowsAtMost);
  if (columnOf[kOpen] != kNoColumn) bars.open.reserve(rowsAtMost);
  if (columnOf[kDate] != kNoColumn && chart) bars.date.reserve(rowsAtMost);
  // The dates' order, set by the first two rows: oldest first (1) or newest first (-1).
  int order = 0;
  std::uint32_t previousDate = 0;
  std::vector<float>* const seriesOf[kDate] = {&bars.high, &bars.low, &bars.close, &bars.open};

  // Blank lines count as rows only when a row follows them.
  std::size_t blankLine = 0;
  while (lines.next(line)) {
    if (line.find_first_not_of('\r') == std::string_view::npos) {
      if (blankLine == 0) blankLine = lines.number();
      continue;
    }
    if (blankLine != 0) {
      throw CsvError(blankLine,
                     fmt::format("empty line; expected {} fields as in the header", fieldCount));
    }
    if (bars.size() == kMaxBars)
      throw CsvError(lines.number(), fmt::format("more than {} bars", kMaxBars));

    Field fields[kColumns];
    const std::size_t count =
        splitFields(line, lines.number(), [&](std::size_t index, const Field& field) {
          for (int k = 0; k < kColumns; ++k) {
            if (columnOf[k] == static_cast<int>(index)) fields[k] = field;
          }
        });
    if (count != fieldCount) {
      throw CsvError(lines.number(), fmt::format("{} field{}, expected {} as in the header", count,
                                                 count == 1 ? "" : "s", fieldCount));
    }

    for (int k = 0; k < kDate; ++k) {
      if (columnOf[k] == kNoColumn) continue;
      const std::optional<float> value =
          fields[k].escaped ? std::nullopt : parseNumber(fields[k].text);
      if (!value) {
        throw CsvError(lines.number(), fmt::format("column '{}': not a number: {}", kColumnNames[k],
                                                   quoted(fields[k])));
      }
      seriesOf[k]->push_back(*value);
    }
    if (columnOf[kDate] != kNoColumn) {
      const Field& field = fields[kDate];
      const std::optional<std::uint32_t> date =
          field.escaped ? std::nullopt : parseDate(field.text);
      if (!date) {
        throw CsvError(lines.number(),
                       fmt::format("column 'date': not a date (YYYY-MM-DD, YYYY/MM/DD "
                                   "or YYYYMMDD): {}",
                                   quoted(field)));
      }
      if (bars.size() > 1) {
        if (order == 0) order = *date < previousDate ? -1 : 1;
        if (order > 0 && *date <= previousDate) {
          throw CsvError(lines.number(),
                         fmt::format("column 'date': {} does not come after {} of the row before "
                                     "(the dates run oldest first)",
                                     dateText(*date), dateText(previousDate)));
        }
        if (order < 0 && *date >= previousDate) {
          throw CsvError(lines.number(),
                         fmt::format("column 'date': {} does not come before {} of the row before "
                                     "(the dates run newest first)",
                                     dateText(*date), dateText(previousDate)));
        }
      }
      previousDate = *date;
      if (chart) bars.date.push_back(*date);
    }
  }

  if (bars.size() == 0) throw CsvError(0, "no bars after the header row");
  // Many sites export newest first: the bars are turned round, so that the indicator runs forward
  // in time as it must.
  if (order < 0) {
    for (auto* series : {&bars.high, &bars.low, &bars.close, &bars.open}) {
      std::reverse(series->begin(), series->end());
    }
    std::reverse(bars.date.begin(), bars.date.end());
  }
  if (newestFirst != nullptr) *newestFirst = order < 0;
  return bars;
}

}  // namespace

BarSeries parseBarCsv(std::string_view text, CsvColumns wanted, bool* newestFirst) {
  LineSource lines(text);
  // An upper bound on the rows, so that the series never reallocate.
  const auto rowsAtMost = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  return parseLines(lines, wanted, std::min(rowsAtMost, kMaxBars), newestFirst);
}

BarSeries readBarCsv(std::FILE* in, CsvColumns wanted, bool* newestFirst) {
  LineSource lines(in);
  return parseLines(lines, wanted, 0, newestFirst);
}

std::string csvMessage(std::string_view name, const CsvError& error) {
  return error.line() == 0 ? fmt::format("{}: {}", name, error.what())
                           : fmt::format("{}:{}: {}", name, error.line(), error.what());
}

}  // namespace tarvok::tools
