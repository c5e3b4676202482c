#include "marketdata/tdx_export.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  // The bytes not yet taken; and taking whole lines of them off at once, through their LF.
  std::string_view rest() const { return rest_; }
  void take(std::size_t bytes, std::size_t lines) {
    rest_.remove_prefix(bytes);
    number_ += lines;
  }

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

// The bars of the rows read so far: appended to the series as they come (the plain reading).
class SeriesStore {
 public:
  SeriesStore(BarSeries& bars, bool timed, std::size_t rows) : bars_(bars), timed_(timed) {
    for (auto* series : {&bars.high, &bars.low, &bars.close, &bars.open}) series->reserve(rows);
    bars.date.reserve(rows);
    if (timed) bars.time.reserve(rows);
  }
  std::size_t size() const { return bars_.date.size(); }
  std::uint32_t lastDate() const { return bars_.date.back(); }
  int lastTime() const { return timed_ ? bars_.time.back() : -1; }
  void add(std::uint32_t date, int time, const float (&price)[4]) {
    bars_.date.push_back(date);
    if (timed_) bars_.time.push_back(static_cast<std::uint16_t>(time));
    bars_.open.push_back(price[0]);
    bars_.high.push_back(price[1]);
    bars_.low.push_back(price[2]);
    bars_.close.push_back(price[3]);
  }

 private:
  BarSeries& bars_;
  bool timed_;
};

// The bars of the rows read so far, written in place into series sized ahead (the fast reading):
// no check of capacity per series, no count of the lines beforehand. The series are cut to the
// rows read when it goes, also when an error leaves the file, and keep their storage for the next
// file; what they held from the file before is written over, never zeroed first.
class PlacedStore {
 public:
  PlacedStore(BarSeries& bars, bool timed, std::size_t rows) : bars_(bars), timed_(timed) {
    resize(rows);
  }
  ~PlacedStore() {
    for (auto* series : {&bars_.high, &bars_.low, &bars_.close, &bars_.open}) series->resize(n_);
    bars_.date.resize(n_);
    bars_.time.resize(timed_ ? n_ : 0);
  }
  PlacedStore(const PlacedStore&) = delete;
  PlacedStore& operator=(const PlacedStore&) = delete;

  std::size_t size() const { return n_; }
  std::uint32_t lastDate() const { return date_[n_ - 1]; }
  int lastTime() const { return timed_ ? time_[n_ - 1] : -1; }
  void add(std::uint32_t date, int time, const float (&price)[4]) {
    if (n_ == room_) resize(room_ * 2 + 64);
    date_[n_] = date;
    if (timed_) time_[n_] = static_cast<std::uint16_t>(time);
    open_[n_] = price[0];
    high_[n_] = price[1];
    low_[n_] = price[2];
    close_[n_] = price[3];
    ++n_;
  }

 private:
  void resize(std::size_t rows) {
    for (auto* series : {&bars_.high, &bars_.low, &bars_.close, &bars_.open}) series->resize(rows);
    bars_.date.resize(rows);
    bars_.time.resize(timed_ ? rows : 0);
    open_ = bars_.open.data(), high_ = bars_.high.data(), low_ = bars_.low.data();
    close_ = bars_.close.data(), date_ = bars_.date.data(), time_ = bars_.time.data();
    room_ = rows;
  }

  BarSeries& bars_;
  bool timed_;
  std::size_t n_ = 0, room_ = 0;
  float *open_ = nullptr, *high_ = nullptr, *low_ = nullptr, *close_ = nullptr;
  std::uint32_t* date_ = nullptr;
  std::uint16_t* time_ = nullptr;
};

// What the lines after the header are read against, and what the rows so far left.
struct Rows {
  std::vector<Column> columns;
  bool timed = false;
  char separator = '\t';
  std::uint64_t lastKey = 0;
  std::size_t lastRow = 2;  // the last line of the header or a row
  bool closed = false;
};

std::uint64_t keyOf(std::uint32_t date, int time) {
  return std::uint64_t{date} * 1440 + static_cast<std::uint64_t>(time < 0 ? 0 : time);
}

void clearBars(BarSeries& bars) {
  for (auto* series : {&bars.high, &bars.low, &bars.close, &bars.open}) series->clear();
  bars.date.clear();
  bars.time.clear();
}

// Title and header: lines 1 and 2, into out and rows.
void readHead(Lines& lines, TdxExport& out, Rows& rows) {
  std::string_view line;
  lines.next(line);
  readTitle(line, out);
  if (!lines.next(line)) throw ExportError(2, "no column header: the file ends after line 1");
  out.separator = separatorOf(line);
  const bool minutes = out.period == ExportPeriod::FiveMinutes ||
                       out.period == ExportPeriod::OneMinute ||
                       out.periodText.find("分钟") != std::string::npos;
  rows.columns = readHeader(line, minutes, out.separator);
  rows.timed =
      std::find(rows.columns.begin(), rows.columns.end(), Column::Time) != rows.columns.end();
  rows.separator = out.separator;
}

// One line after the header, the line taken last from lines, read plainly: a row, the closing
// line, or blank. False when the rows end there.
template <typename Store>
bool readLine(std::string_view line, const Lines& lines, Rows& rows, Store& bars) {
  const std::size_t number = lines.number();
  if (rows.closed) {
    if (!trimmed(line).empty()) {
      throw ExportError(number, "text after the closing 数据来源:通达信 line");
    }
    return true;
  }
  if (isSourceLine(line)) {
    rows.closed = true;
    return true;
  }
  if (trimmed(line).empty()) {
    if (lines.restIsBlank()) return false;
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
  const std::vector<Column>& columns = rows.columns;
  Fields fields(line, rows.separator);
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
    throw ExportError(number, fmt::format("{} fields where the header has {}", k, columns.size()));
  }
  const std::uint64_t key = keyOf(date, time);
  if (bars.size() != 0 && key <= rows.lastKey) {
    throw ExportError(
        number, fmt::format("{} does not come after {} of the row before", whenText(date, time),
                            whenText(bars.lastDate(), bars.lastTime())));
  }
  rows.lastKey = key;
  rows.lastRow = number;
  bars.add(date, time, price);
  return true;
}

void checkClosed(const Rows& rows) {
  if (!rows.closed) {
    throw ExportError(
        0, fmt::format("no closing 数据来源:通达信 line after line {}: cut short?", rows.lastRow));
  }
}

// Where the fields of the rows end: one bit for each byte of a block of 64 that is the separator
// or below 0x21 (a blank, CR, LF or another control byte), found 16 bytes at a time. The stops of
// a row are thus known before its fields are read, so the fields can be read side by side, not
// each after the one before.
class Stops {
 public:
  explicit Stops(char separator) : separator_(separator) {}

  // The separators among the 64 bytes at p, and the other stops.
  void split(const char* p, std::uint64_t& separators, std::uint64_t& others) const {
#if defined(__SSE2__)
    const __m128i separator = _mm_set1_epi8(separator_), blank = _mm_set1_epi8(0x20);
    const __m128i zero = _mm_setzero_si128();
    separators = others = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      const __m128i isSeparator = _mm_cmpeq_epi8(v, separator);
      const __m128i low = _mm_cmpeq_epi8(_mm_subs_epu8(v, blank), zero);
      separators |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(isSeparator))}
                    << (16 * i);
      others |= std::uint64_t{static_cast<std::uint16_t>(
                    _mm_movemask_epi8(_mm_andnot_si128(isSeparator, low)))}
                << (16 * i);
    }
#else
    separators = others = 0;
    for (int i = 0; i < 64; ++i) {
      const auto c = static_cast<unsigned char>(p[i]);
      if (c == static_cast<unsigned char>(separator_)) {
        separators |= std::uint64_t{1} << i;
      } else if (c <= 0x20) {
        others |= std::uint64_t{1} << i;
      }
    }
#endif
  }

  std::uint64_t block(const char* p) const {
#if defined(__SSE2__)
    const __m128i separators = _mm_set1_epi8(separator_), blank = _mm_set1_epi8(0x20);
    const __m128i zero = _mm_setzero_si128();
    std::uint64_t bits = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      // Bytes up to 0x20, unsigned: those that 0x20 taken off with saturation leaves 0.
      const __m128i stop = _mm_or_si128(_mm_cmpeq_epi8(v, separators),
                                        _mm_cmpeq_epi8(_mm_subs_epu8(v, blank), zero));
      bits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(stop))} << (16 * i);
    }
    return bits;
#else
    std::uint64_t bits = 0;
    for (int i = 0; i < 64; ++i) {
      const auto c = static_cast<unsigned char>(p[i]);
      if (c <= 0x20 || c == static_cast<unsigned char>(separator_)) bits |= std::uint64_t{1} << i;
    }
    return bits;
#endif
  }

 private:
  char separator_;
};

// The rows of the common shape, read inline without a copy or a call per field: fields split at
// one separator byte with nothing around them, a date of one of the three forms, times of one of
// their forms, prices of 1 to 7 digits with up to 3 places, each row ending in CR LF or LF.
// Whatever else a row holds (blanks, a long or odd number, a date that does not rise, a field too
// many or too few, the closing line) stops the fast reading before that line, which the plain
// reading then takes, to the same bars or the same error. So do the last rows, near enough the
// end that a block of 64 bytes would reach past it.
class FastRows {
 public:
  explicit FastRows(const Rows& rows)
      : columns_(rows.columns.data()),
        count_(rows.columns.size()),
        separator_(rows.separator),
        stops_(rows.separator) {
    // The columns as the terminal writes them: 日期, 时间 in minute exports, 开盘 最高 最低 收盘,
    // then the others. Any other order takes the loop over the columns.
    static constexpr Column kPrices[] = {Column::Open, Column::High, Column::Low, Column::Close};
    const std::vector<Column>& c = rows.columns;
    const std::size_t first = rows.timed ? 2 : 1;
    usual_ =
        c.size() >= first + 4 && (!rows.timed || c[1] == Column::Time) &&
        std::equal(std::begin(kPrices), std::end(kPrices), c.begin() + first) &&
        std::all_of(c.begin() + first + 4, c.end(), [](Column k) { return k == Column::Other; });
    others_ = c.size() - first - 4;
  }

  // Takes the rows of the common shape at the front of lines' rest, as many as follow each other.
  template <typename Store>
  void read(Lines& lines, Rows& rows, Store& bars) const {
    const std::string_view rest = lines.rest();
    const char* const begin = rest.data();
    const char* const end = begin + rest.size();
    const char* p = begin;
    std::size_t number = lines.number();
    std::uint32_t date = 0;
    int time = -1;
    float price[4] = {};
    // Whether the row just read follows the rows before; then it is taken.
    const auto take = [&]() {
      const std::uint64_t key = keyOf(date, time);
      if ((bars.size() != 0 && key <= rows.lastKey) || bars.size() == kMaxBars) return false;
      rows.lastKey = key;
      rows.lastRow = ++number;
      bars.add(date, time, price);
      return true;
    };
    if (usual_) {
      for (const char* q; end - p >= kBlock + kOver; p = q) {
        bool longer = false;
        q = rows.timed ? usualRow<true>(p, longer, date, time, price)
                       : usualRow<false>(p, longer, date, time, price);
        if (longer) {
          Cursor cursor{p, stops_.block(p), end - kBlock - kOver};
          q = row(p, cursor, date, time, price);
        }
        if (q == nullptr || !take()) break;
      }
    } else if (end - p >= kBlock + kOver) {
      Cursor cursor{p, stops_.block(p), end - kBlock - kOver};
      for (const char* q; (q = row(p, cursor, date, time, price)) != nullptr && take(); p = q) {}
    }
    lines.take(static_cast<std::size_t>(p - begin), number - lines.number());
  }

 private:
  // A block's bytes, and how far a field's word may reach past the last of them.
  static constexpr std::ptrdiff_t kBlock = 64, kOver = 16;

  // The stops not yet taken: those of the block at base, then of the blocks after it, each
  // beginning no later than last.
  struct Cursor {
    const char* base;
    std::uint64_t bits;
    const char* last;
  };

  // The next stop; null when it lies in a block that would reach too near the end.
  const char* nextStop(Cursor& c) const {
    while (c.bits == 0) {
      if (c.base + kBlock > c.last) return nullptr;
      c.base += kBlock;
      c.bits = stops_.block(c.base);
    }
    const char* const stop = c.base + __builtin_ctzll(c.bits);
    c.bits &= c.bits - 1;
    return stop;
  }

  static unsigned digit(char c) { return static_cast<unsigned char>(c) - unsigned{'0'}; }

  // The field [p, end) as parseDate reads it: YYYY/MM/DD, YYYY-MM-DD or YYYYMMDD naming a
  // calendar day. 0 for anything else. Its eight digits are gathered into one word and read at
  // once, as decimalOfLength reads its digits; a word from p + 2 on may be read.
  static std::uint32_t date(const char* const p, const char* const end) {
    using decimal_detail::loadWord;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull, kLow7 = 0x7F7F7F7F7F7F7F7Full;
    std::uint64_t w;
    if (end - p == 8) {
      w = loadWord(p);
    } else if (end - p == 10 && (p[4] == '/' || p[4] == '-') && p[7] == p[4]) {
      // YYYY, MM and DD of "YYYY/MM/DD" side by side: bytes 0-3 and 5-6, then 6-7 of the word at 2.
      const std::uint64_t front = loadWord(p), back = loadWord(p + 2);
      w = (front & 0xFFFFFFFFull) | ((front >> 8) & 0xFFFF00000000ull) |
          (back & 0xFFFF000000000000ull);
    } else {
      return 0;
    }
    const std::uint64_t low = w & kLow7;
    if (((w | ~(low + 0x5050505050505050ull) | (low + 0x4646464646464646ull)) & kHigh) != 0) {
      return 0;
    }
    // Pairs of digits in bytes 0, 2, 4 and 6: the century, the year in it, the month and the day.
    const std::uint64_t pairs = ((w & 0x0F0F0F0F0F0F0F0Full) * 2561) >> 8;
    const auto pair = [&](int i) { return static_cast<unsigned>(pairs >> (16 * i)) & 0xFF; };
    const unsigned year = pair(0) * 100 + pair(1), month = pair(2), day = pair(3);
    if (year < 1000 || month - 1 > 11 || day == 0) return 0;
    if (day > 28 && day > daysInMonth(year, month)) return 0;
    return year * 10000 + month * 100 + day;
  }

  // The field [p, end) as parseTime reads it: 0935, 09:35 or 9:35, minutes since midnight; -1 for
  // anything else.
  static int timeOfDay(const char* const p, const char* const end) {
    unsigned hour, minute;
    if (end - p == 5 && p[2] == ':') {
      if (std::max({digit(p[0]), digit(p[1]), digit(p[3]), digit(p[4])}) > 9) return -1;
      hour = digit(p[0]) * 10 + digit(p[1]), minute = digit(p[3]) * 10 + digit(p[4]);
    } else if (end - p == 4 && p[1] == ':') {
      if (std::max({digit(p[0]), digit(p[2]), digit(p[3])}) > 9) return -1;
      hour = digit(p[0]), minute = digit(p[2]) * 10 + digit(p[3]);
    } else if (end - p == 4) {
      if (std::max({digit(p[0]), digit(p[1]), digit(p[2]), digit(p[3])}) > 9) return -1;
      hour = digit(p[0]) * 10 + digit(p[1]), minute = digit(p[2]) * 10 + digit(p[3]);
    } else {
      return -1;
    }
    if (hour >= 24 || minute >= 60) return -1;
    return static_cast<int>(hour * 60 + minute);
  }

  // The field [p, end) as parseDecimal reads it, when it is on the decimals' fast path; false for
  // anything else. A word from p on may be read: kOver bytes past a block are there.
  static bool price(const char* p, const char* const end, float& value) {
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    std::uint32_t m;
    unsigned places;
    if (!decimalOfLength(decimal_detail::loadWord(p), static_cast<unsigned>(end - p), m, places)) {
      return false;
    }
    const float magnitude = static_cast<float>(m) / kDecimalPowers[places];
    value = negative ? -magnitude : magnitude;
    return true;
  }

  // The row at p in the columns as the terminal writes them, as row reads it, when it ends within
  // the 64 bytes from p (else longer is set): the stops of those bytes are found at once, and each
  // field's end is the next separator, without a test of the bytes in between.
  template <bool kTimed>
  const char* usualRow(const char* const p, bool& longer, std::uint32_t& dateOut, int& timeOut,
                       float (&prices)[4]) const {
    std::uint64_t separators, others;
    stops_.split(p, separators, others);
    if (others == 0) {
      longer = true;
      return nullptr;
    }
    // The first stop that is not the separator ends the line. The fields end at the separators
    // before it, the last at it: it is the highest of the ends, and taken last.
    const auto lineEnd = static_cast<unsigned>(__builtin_ctzll(others));
    std::uint64_t ends =
        (separators & ((std::uint64_t{1} << lineEnd) - 1)) | (std::uint64_t{1} << lineEnd);
    const auto next = [&ends]() {
      const auto at = static_cast<unsigned>(__builtin_ctzll(ends));
      ends &= ends - 1;
      return at;
    };
    unsigned begin = 0, end = next();
    if (end == lineEnd || (dateOut = date(p, p + end)) == 0) return nullptr;
    begin = end + 1;
    timeOut = -1;
    if (kTimed) {
      end = next();
      if (end == lineEnd || (timeOut = timeOfDay(p + begin, p + end)) < 0) return nullptr;
      begin = end + 1;
    }
    for (int i = 0; i < 4; ++i) {
      end = next();
      // Only the last field may end at the line's end: fewer fields than the header's, else.
      if ((end == lineEnd && (others_ != 0 || i != 3)) || end == begin ||
          !price(p + begin, p + end, prices[i])) {
        return nullptr;
      }
      begin = end + 1;
    }
    for (std::size_t k = others_; k != 0; --k) {
      end = next();
      if (end == lineEnd && k != 1) return nullptr;
      // The last field empty: the line ends in a separator, which starts no field.
      if (k == 1 && end == begin) return nullptr;
      begin = end + 1;
    }
    // The last field ends at the line's end, or at one separator just before it; a separator
    // further back has a field after it, one more than the header's.
    if (end != lineEnd && end + 1 != lineEnd) return nullptr;
    if (p[lineEnd] == '\n') return p + lineEnd + 1;
    if (p[lineEnd] == '\r' && p[lineEnd + 1] == '\n') return p + lineEnd + 2;
    return nullptr;
  }

  // The stop of the last field: one separator ending the line at most, then CR LF or LF, each the
  // stop right after the one before. The byte after the LF, or null.
  const char* lineEnd(const char* stop, Cursor& cursor) const {
    for (const char want : {separator_, '\r'}) {
      if (*stop != want) continue;
      const char* const next = nextStop(cursor);
      if (next != stop + 1) return nullptr;
      stop = next;
    }
    return *stop == '\n' ? stop + 1 : nullptr;
  }

  // The row at p, where the cursor's next stop is the first at or after p, if it has the common
  // shape: its date, time (-1 without a time column) and prices, and the byte after its LF; null
  // to leave the line to the plain reading.
  const char* row(const char* p, Cursor& cursor, std::uint32_t& dateOut, int& timeOut,
                  float (&prices)[4]) const {
    timeOut = -1;
    const char* stop = nullptr;
    for (std::size_t k = 0; k < count_; ++k, p = stop + 1) {
      if ((stop = nextStop(cursor)) == nullptr) return nullptr;
      // Between the fields the separator, and nothing else that stops a field.
      if (k + 1 < count_ && *stop != separator_) return nullptr;
      switch (columns_[k]) {
        case Column::Date:
          if ((dateOut = date(p, stop)) == 0) return nullptr;
          break;
        case Column::Time:
          if ((timeOut = timeOfDay(p, stop)) < 0) return nullptr;
          break;
        case Column::Open:
        case Column::High:
        case Column::Low:
        case Column::Close:
          if (p == stop ||
              !price(p, stop,
                     prices[static_cast<int>(columns_[k]) - static_cast<int>(Column::Open)])) {
            return nullptr;
          }
          break;
        case Column::Other:
          // The last field empty: the line ends in a separator, which starts no field.
          if (p == stop && k + 1 == count_) return nullptr;
          break;
      }
    }
    return lineEnd(stop, cursor);
  }

  const Column* columns_;
  std::size_t count_;
  char separator_;
  Stops stops_;
  bool usual_ = false;      // the columns as the terminal writes them
  std::size_t others_ = 0;  // and after the prices, this many others
};

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

void parseTdxExportPlain(std::string_view bytes, TdxExport& out) {
  clearBars(out.bars);
  if (bytes.empty()) throw ExportError(0, "empty file");
  Lines lines(bytes);
  Rows rows;
  readHead(lines, out, rows);
  // Room for every row at once: a row is a line.
  SeriesStore bars(out.bars, rows.timed,
                   static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')));
  for (std::string_view line; lines.next(line);) {
    if (!readLine(line, lines, rows, bars)) break;
  }
  checkClosed(rows);
}

void parseTdxExport(std::string_view bytes, TdxExport& out) {
  Lines lines(bytes);
  Rows rows;
  try {
    if (bytes.empty()) throw ExportError(0, "empty file");
    readHead(lines, out, rows);
  } catch (...) {
    clearBars(out.bars);
    throw;
  }
  if (rows.separator == ' ') {
    // Fields between runs of blanks: the plain reading throughout.
    clearBars(out.bars);
    SeriesStore bars(out.bars, rows.timed, 0);
    for (std::string_view line; lines.next(line);) {
      if (!readLine(line, lines, rows, bars)) break;
    }
    checkClosed(rows);
    return;
  }
  // Rows of an export run 40 to 60 bytes; more rows than that guess only cost a copy.
  PlacedStore bars(out.bars, rows.timed, lines.rest().size() / 40 + 16);
  const FastRows fast(rows);
  for (std::string_view line;;) {
    if (!rows.closed) fast.read(lines, rows, bars);
    if (!lines.next(line) || !readLine(line, lines, rows, bars)) break;
  }
  checkClosed(rows);
}

TdxExport parseTdxExport(std::string_view bytes) {
  TdxExport out;
  parseTdxExport(bytes, out);
  return out;
}

}  // namespace tarvok::tools
