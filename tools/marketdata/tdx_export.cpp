#include "marketdata/tdx_export.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <fmt/format.h>

#include "marketdata/bar_date.h"
#include "text/decimal_text.h"
#include "text/gbk.h"
#include "text/message_text.h"

namespace tarvok::tools {

namespace {

// The closing line's words in GBK: 数据来源, the colon (ASCII or full-width), 通达信.
constexpr std::string_view kSourceWords = "\xCA\xFD\xBE\xDD\xC0\xB4\xD4\xB4";
constexpr std::string_view kFullWidthColon = "\xA3\xBA";
constexpr std::string_view kTerminalName = "\xCD\xA8\xB4\xEF\xD0\xC5";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The lines of the file, one at a time, without their CR LF or LF.
class Lines {
 public:
  explicit Lines(std::string_view bytes) : rest_(bytes) {}
  bool next(std::string_view& line) {
    if (done_) return false;
    const std::size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    if (end == std::string_view::npos) {
      done_ = true;
      rest_ = {};
    } else {
      rest_.remove_prefix(end + 1);
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number_;
    return true;
  }
  std::size_t number() const { return number_; }
  // Whether the line taken last had no line end: the file ends within it.
  bool atEnd() const { return done_; }
  bool restIsBlank() const { return rest_.find_first_not_of(" \t\r\n") == std::string_view::npos; }

 private:
  std::string_view rest_;
  std::size_t number_ = 0;
  bool done_ = false;
};

// The fields of a line split at the separator (at runs of blanks for ' '), each without the blanks
// around it; a separator ending the line starts no field.
class Fields {
 public:
  Fields(std::string_view line, char separator) : rest_(trimmed(line)), separator_(separator) {
    if (separator_ != ' ' && !rest_.empty() && rest_.back() == separator_) {
      rest_.remove_suffix(1);
      trailing_ = true;
    }
    more_ = !rest_.empty() || trailing_;
  }
  bool next(std::string_view& field) {
    if (!more_) return false;
    std::size_t end;
    if (separator_ == ' ') {
      end = 0;
      while (end < rest_.size() && !isBlank(rest_[end])) ++end;
    } else {
      end = rest_.find(separator_);
    }
    if (end >= rest_.size()) {
      field = trimmed(rest_);
      more_ = false;
      return true;
    }
    field = trimmed(rest_.substr(0, end));
    rest_.remove_prefix(end + 1);
    if (separator_ == ' ') rest_ = trimmed(rest_);
    return true;
  }

 private:
  std::string_view rest_;
  char separator_;
  bool trailing_ = false;
  bool more_ = false;
};

std::string utf8Of(std::string_view gbk, std::size_t line, std::string_view what) {
  std::string out;
  std::size_t errorAt = 0;
  if (!gbkToUtf8(gbk, out, errorAt)) {
    throw ExportError(
        line, fmt::format("the {} is not GBK text (byte {} of the line)", what, errorAt + 1));
  }
  return out;
}

bool isCode(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

void readTitle(std::string_view line, TdxExport& out) {
  const std::string text = utf8Of(line, 1, "title line");
  std::vector<std::string_view> words;
  Fields fields(text, ' ');
  for (std::string_view word; fields.next(word);) words.push_back(word);
  const auto wrong = [&](std::string_view why) {
    return ExportError(
        1, fmt::format("not an export's title (code, name, period, adjustment): {}: \"{}\"", why,
                       printable(text)));
  };
  if (words.size() < 4) throw wrong("fewer than four words");
  if (!isCode(words.front())) throw wrong("the code is not letters and digits");
  const std::string_view period = words[words.size() - 2], adjustment = words.back();
  if (adjustment == "不复权") {
    out.adjustment = Adjustment::None;
  } else if (adjustment == "前复权") {
    out.adjustment = Adjustment::Forward;
  } else if (adjustment == "后复权") {
    out.adjustment = Adjustment::Backward;
  } else {
    throw wrong("the adjustment is none of 不复权, 前复权, 后复权");
  }
  static constexpr std::pair<std::string_view, ExportPeriod> kPeriods[] = {
      {"日线", ExportPeriod::Day},          {"周线", ExportPeriod::Week},
      {"月线", ExportPeriod::Month},        {"5分钟线", ExportPeriod::FiveMinutes},
      {"1分钟线", ExportPeriod::OneMinute},
  };
  out.period = ExportPeriod::Other;
  for (const auto& [word, value] : kPeriods) {
    if (period == word) out.period = value;
  }
  constexpr std::string_view kLine = "线";  // every period's word ends so: 季线, 15分钟线
  if (period.size() < kLine.size() || period.substr(period.size() - kLine.size()) != kLine) {
    throw wrong("the period is not a chart period such as 日线 or 5分钟线");
  }
  out.code = std::string(words.front());
  out.periodText = std::string(period);
  // The name lies between the code and the period; it may have blanks of its own (万 科Ａ).
  const auto begin = static_cast<std::size_t>(words[1].data() - text.data());
  const auto end = static_cast<std::size_t>(period.data() - text.data());
  out.name = std::string(trimmed(std::string_view(text).substr(begin, end - begin)));
}

enum class Column : unsigned char { Other, Date, Time, Open, High, Low, Close };

char separatorOf(std::string_view header) {
  for (const char c : {'\t', ',', ';', '|'}) {
    if (header.find(c) != std::string_view::npos) return c;
  }
  return ' ';
}

std::vector<Column> readHeader(std::string_view line, bool minutes, char separator) {
  const std::string text = utf8Of(line, 2, "column header");
  static constexpr std::pair<std::string_view, Column> kNames[] = {
      {"日期", Column::Date}, {"时间", Column::Time}, {"开盘", Column::Open},
      {"最高", Column::High}, {"最低", Column::Low},  {"收盘", Column::Close},
  };
  std::vector<Column> columns;
  int seen[7] = {};
  Fields fields(text, separator);
  for (std::string_view field; fields.next(field);) {
    Column column = Column::Other;
    for (const auto& [name, named] : kNames) {
      if (field == name) column = named;
    }
    if (field.empty())
      throw ExportError(2, fmt::format("column {} has no name", columns.size() + 1));
    if (column != Column::Other && seen[static_cast<int>(column)]++ != 0) {
      throw ExportError(2, fmt::format("column {} twice", field));
    }
    columns.push_back(column);
  }
  if (columns.empty() || columns.front() != Column::Date) {
    throw ExportError(2, fmt::format("not the column header: it does not begin with 日期: \"{}\"",
                                     printable(text)));
  }
  for (const auto& [name, column] : kNames) {
    if (column == Column::Time) continue;
    if (seen[static_cast<int>(column)] == 0) {
      throw ExportError(2, fmt::format("no {} column in the header \"{}\"", name, printable(text)));
    }
  }
  if (minutes && seen[static_cast<int>(Column::Time)] == 0) {
    throw ExportError(
        2, fmt::format("a minute export without a 时间 column: \"{}\"", printable(text)));
  }
  return columns;
}

// 0935 or 09:35 (or 9:35): minutes since midnight; -1 when it is not a time of day.
int parseTime(std::string_view text) {
  int hour, minute;
  const auto digit = [&](std::size_t i) { return static_cast<unsigned>(text[i]) - '0'; };
  const auto digits = [&](std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) {
      if (digit(i) > 9) return false;
    }
    return true;
  };
  if (text.size() == 4 && digits(0, 4)) {
    hour = static_cast<int>(digit(0) * 10 + digit(1));
    minute = static_cast<int>(digit(2) * 10 + digit(3));
  } else if (text.size() == 5 && text[2] == ':' && digits(0, 2) && digits(3, 2)) {
    hour = static_cast<int>(digit(0) * 10 + digit(1));
    minute = static_cast<int>(digit(3) * 10 + digit(4));
  } else if (text.size() == 4 && text[1] == ':' && digits(0, 1) && digits(2, 2)) {
    hour = static_cast<int>(digit(0));
    minute = static_cast<int>(digit(2) * 10 + digit(3));
  } else {
    return -1;
  }
  return hour < 24 && minute < 60 ? hour * 60 + minute : -1;
}

// Whether the line is the closing 数据来源:通达信, with its variants.
bool isSourceLine(std::string_view line) {
  line = trimmed(line);
  if (!line.empty() && line.front() == '#') line.remove_prefix(1);
  if (line.substr(0, kSourceWords.size()) != kSourceWords) return false;
  line.remove_prefix(kSourceWords.size());
  if (line.substr(0, 1) == ":") {
    line.remove_prefix(1);
  } else if (line.substr(0, kFullWidthColon.size()) == kFullWidthColon) {
    line.remove_prefix(kFullWidthColon.size());
  } else {
    return false;
  }
  return trimmed(line) == kTerminalName;
}

std::string whenText(std::uint32_t date, int time) {
  return time < 0 ? dateText(date) : dateTimeText(date, static_cast<std::uint16_t>(time));
}

}  // namespace

std::string_view periodName(ExportPeriod period) noexcept {
  switch (period) {
    case ExportPeriod::Day: return "day";
    case ExportPeriod::Week: return "week";
    case ExportPeriod::Month: return "month";
    case ExportPeriod::FiveMinutes: return "5min";
    case ExportPeriod::OneMinute: return "1min";
    case ExportPeriod::Other: break;
  }
  return "other";
}

std::string_view adjustmentName(Adjustment adjustment) noexcept {
  switch (adjustment) {
    case Adjustment::None: return "none";
    case Adjustment::Forward: return "forward";
    case Adjustment::Backward: break;
  }
  return "backward";
}

std::string exportMessage(std::string_view name, const ExportError& error) {
  return error.line() == 0 ? fmt::format("{}: {}", name, error.what())
                           : fmt::format("{}: line {}: {}", name, error.line(), error.what());
}

void parseTdxExport(std::string_view bytes, TdxExport& out) {
  BarSeries& bars = out.bars;
  for (auto* series : {&bars.high, &bars.low, &bars.close, &bars.open}) series->clear();
  bars.date.clear();
  bars.time.clear();
  if (bytes.empty()) throw ExportError(0, "empty file");
  Lines lines(bytes);
  std::string_view line;
  lines.next(line);
  readTitle(line, out);
  if (!lines.next(line)) throw ExportError(2, "no column header: the file ends after line 1");
  out.separator = separatorOf(line);
  const bool minutes = out.period == ExportPeriod::FiveMinutes ||
                       out.period == ExportPeriod::OneMinute ||
                       out.periodText.find("分钟") != std::string::npos;
  const std::vector<Column> columns = readHeader(line, minutes, out.separator);
  const bool timed = std::find(columns.begin(), columns.end(), Column::Time) != columns.end();

  // Room for every row at once: a row is a line.
  const auto rows = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  for (auto* series : {&bars.high, &bars.low, &bars.close, &bars.open}) series->reserve(rows);
  bars.date.reserve(rows);
  if (timed) bars.time.reserve(rows);

  std::uint64_t lastKey = 0;
  std::size_t lastRow = 2;  // the last line of the header or a row
  bool closed = false;
  while (lines.next(line)) {
    const std::size_t number = lines.number();
    if (closed) {
      if (!trimmed(line).empty()) {
        throw ExportError(number, "text after the closing 数据来源:通达信 line");
      }
      continue;
    }
    if (isSourceLine(line)) {
      closed = true;
      continue;
    }
    if (trimmed(line).empty()) {
      if (lines.restIsBlank()) break;
      throw ExportError(number, "an empty line among the rows");
    }
    if (lines.atEnd()) {
      throw ExportError(number,
                        "cut short: the file ends within this line, before the closing "
                        "数据来源:通达信 line");
    }
    if (bars.size() == kMaxBars) {
      throw ExportError(number, fmt::format("more than {} rows", kMaxBars));
    }
    Fields fields(line, out.separator);
    std::size_t k = 0;
    std::uint32_t date = 0;
    int time = -1;
    float price[4] = {};
    for (std::string_view field; fields.next(field); ++k) {
      if (k >= columns.size()) {
        throw ExportError(number, fmt::format("more than the header's {} fields", columns.size()));
      }
      switch (columns[k]) {
        case Column::Date: {
          const auto parsed = parseDate(field);
          if (!parsed) {
            throw ExportError(number, fmt::format("\"{}\" is not a date", printable(field)));
          }
          date = *parsed;
          break;
        }
        case Column::Time:
          time = parseTime(field);
          if (time < 0) {
            throw ExportError(number, fmt::format("\"{}\" is not a time of day", printable(field)));
          }
          break;
        case Column::Open:
        case Column::High:
        case Column::Low:
        case Column::Close: {
          const auto parsed = parseDecimal(field);
          if (!parsed) {
            throw ExportError(
                number, fmt::format("field {}: \"{}\" is not a price", k + 1, printable(field)));
          }
          price[static_cast<int>(columns[k]) - static_cast<int>(Column::Open)] = *parsed;
          break;
        }
        case Column::Other: break;
      }
    }
    if (k != columns.size()) {
      throw ExportError(number,
                        fmt::format("{} fields where the header has {}", k, columns.size()));
    }
    const std::uint64_t key =
        std::uint64_t{date} * 1440 + static_cast<std::uint64_t>(time < 0 ? 0 : time);
    if (!bars.date.empty() && key <= lastKey) {
      throw ExportError(
          number, fmt::format("{} does not come after {} of the row before", whenText(date, time),
                              whenText(bars.date.back(), timed ? bars.time.back() : -1)));
    }
    lastKey = key;
    lastRow = number;
    bars.date.push_back(date);
    if (timed) bars.time.push_back(static_cast<std::uint16_t>(time));
    bars.open.push_back(price[0]);
    bars.high.push_back(price[1]);
    bars.low.push_back(price[2]);
    bars.close.push_back(price[3]);
  }
  if (!closed) {
    throw ExportError(
        0, fmt::format("no closing 数据来源:通达信 line after line {}: cut short?", lastRow));
  }
}

TdxExport parseTdxExport(std::string_view bytes) {
  TdxExport out;
  parseTdxExport(bytes, out);
  return out;
}

}  // namespace tarvok::tools
