#include "marketdata/name_table.h"

#include <cstdint>
#include <vector>

#include <fmt/format.h>

#include "text/ascii.h"
#include "text/gbk.h"
#include "text/message_text.h"
#include "text/path_name.h"

namespace tarvok::tools {

namespace {

constexpr std::size_t kHeaderSize = 50;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

struct Layout {
  std::string_view file;
  Market market;
  std::size_t recordSize, nameAt, nameWidth;
};

constexpr Layout kLayouts[] = {
    {"shs.tnf", Market::Sh, 360, 31, 32}, {"szs.tnf", Market::Sz, 360, 31, 32},
    {"bjs.tnf", Market::Bj, 360, 31, 32}, {"shm.tnf", Market::Sh, 314, 23, 18},
    {"szm.tnf", Market::Sz, 314, 23, 18},
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool isDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool isCode(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const char l = asciiLower(c);
    if (!((c >= '0' && c <= '9') || (l >= 'a' && l <= 'z'))) return false;
  }
  return true;
}

bool hasControl(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

std::string keyOf(std::optional<Market> market, std::string_view code) {
  std::string key;
  if (market) key = std::string(marketName(*market)) + ':';
  return key.append(code);
}

// The fields of a line: between tabs, or a CSV's between commas with "quoted" fields ("" for a
// quote within), each without the blanks around it.
std::vector<std::string> fieldsOf(std::string_view line, char separator) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, wasQuoted = false;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    const char c = i < line.size() ? line[i] : separator;
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && separator == ',' && trimmed(field).empty() && !wasQuoted) {
      field.clear();
      quoted = wasQuoted = true;
    } else if (c == separator) {
      fields.emplace_back(wasQuoted ? field : std::string(trimmed(field)));
      field.clear();
      wasQuoted = false;
    } else if (!(wasQuoted && isBlank(c))) {
      field += c;
    }
  }
  return fields;
}

int columnOf(const std::vector<std::string>& fields, std::string_view chinese,
             std::string_view english) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] == chinese || equalsIgnoringCase(fields[i], english)) return static_cast<int>(i);
  }
  return -1;
}

bool isSourceLine(std::string_view line) {
  line = trimmed(line);
  if (!line.empty() && line.front() == '#') line.remove_prefix(1);
  return line == "数据来源:通达信" || line == "数据来源：通达信";
}

}  // namespace

void NameTable::add(std::optional<Market> market, std::string_view code, std::string_view name) {
  names_.try_emplace(keyOf(market, code), name);
}

const std::string* NameTable::find(Market market, std::string_view code) const {
  auto found = names_.find(keyOf(market, code));
  if (found == names_.end()) found = names_.find(std::string(code));
  return found == names_.end() ? nullptr : &found->second;
}

std::string addCodeTable(std::string_view fileName, std::string_view bytes, NameTable& names) {
  const std::string_view file = baseName(fileName);
  const Layout* layout = nullptr;
  for (const Layout& l : kLayouts) {
    if (equalsIgnoringCase(file, l.file)) layout = &l;
  }
  if (layout == nullptr) return fmt::format("{}: left out: not one of the code tables", file);
  if (bytes.size() < kHeaderSize || (bytes.size() - kHeaderSize) % layout->recordSize != 0) {
    return fmt::format(
        "{}: left out: {} bytes is not a {}-byte header and whole {}-byte records: another layout",
        file, bytes.size(), kHeaderSize, layout->recordSize);
  }
  // Every record is checked before any name is added: all of the table or none.
  struct Entry {
    std::string_view code;
    std::string name;
  };
  std::vector<Entry> entries;
  const std::size_t count = (bytes.size() - kHeaderSize) / layout->recordSize;
  entries.reserve(count);
  for (std::size_t r = 0; r < count; ++r) {
    const std::string_view record =
        bytes.substr(kHeaderSize + r * layout->recordSize, layout->recordSize);
    const std::string_view code = record.substr(0, 6);
    if (!isDigits(code)) {
      return fmt::format("{}: left out: record {}: \"{}\" is not a six-digit code: another layout",
                         file, r + 1, printable(code));
    }
    std::string_view field = record.substr(layout->nameAt, layout->nameWidth);
    field = field.substr(0, field.find('\0'));
    std::string name;
    std::size_t errorAt = 0;
    if (!gbkToUtf8(trimmed(field), name, errorAt)) {
      return fmt::format("{}: left out: record {} (code {}): the name is not GBK text", file, r + 1,
                         code);
    }
    if (name.empty() || hasControl(name)) {
      return fmt::format("{}: left out: record {} (code {}): {}: another layout", file, r + 1, code,
                         name.empty() ? "no name" : "a control character in the name");
    }
    entries.push_back({code, std::move(name)});
  }
  for (const Entry& e : entries) names.add(layout->market, e.code, e.name);
  return {};
}

std::string nameListMessage(std::string_view name, const NameListError& error) {
  return error.line() == 0 ? fmt::format("{}: {}", name, error.what())
                           : fmt::format("{}: line {}: {}", name, error.line(), error.what());
}

std::size_t addNameList(std::string_view bytes, NameTable& names) {
  // UTF-8 when it has the mark or is well-formed UTF-8 (as no GBK text of Chinese names is), else
  // GBK.
  const bool bom = bytes.substr(0, kBom.size()) == kBom;
  if (bom) bytes.remove_prefix(kBom.size());
  const bool utf8 = isValidUtf8(bytes);
  if (bom && !utf8) throw NameListError(0, "marked as UTF-8 but not UTF-8 text");

  int codeColumn = -1, nameColumn = -1;
  char separator = ',';
  std::size_t rows = 0, number = 0;
  bool closed = false;
  std::string decoded;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number;
    if (!utf8) {
      decoded.clear();
      std::size_t errorAt = 0;
      if (!gbkToUtf8(line, decoded, errorAt)) {
        throw NameListError(
            number, fmt::format("neither UTF-8 nor GBK text (byte {} of the line)", errorAt + 1));
      }
      line = decoded;
    }
    if (trimmed(line).empty()) continue;
    if (closed) throw NameListError(number, "text after the closing 数据来源:通达信 line");
    if (isSourceLine(line)) {
      closed = true;
      continue;
    }
    if (codeColumn < 0) {
      separator = line.find('\t') != std::string_view::npos ? '\t' : ',';
      const std::vector<std::string> header = fieldsOf(line, separator);
      codeColumn = columnOf(header, "代码", "code");
      nameColumn = columnOf(header, "名称", "name");
      if (codeColumn < 0 || nameColumn < 0) codeColumn = nameColumn = -1;
      continue;  // a title before the header
    }
    const std::vector<std::string> fields = fieldsOf(line, separator);
    if (static_cast<int>(fields.size()) <= std::max(codeColumn, nameColumn)) {
      throw NameListError(number, fmt::format("{} fields: no {} field", fields.size(),
                                              codeColumn > nameColumn ? "code" : "name"));
    }
    std::string_view code = fields[static_cast<std::size_t>(codeColumn)];
    const std::string& name = fields[static_cast<std::size_t>(nameColumn)];
    std::optional<Market> market;
    // sh600000, or 600000.SH
    if (code.size() == 8 && isDigits(code.substr(2))) {
      if (const auto symbol = parseSymbol(std::string(code) + ".day")) {
        market = symbol->market;
        code.remove_prefix(2);
      }
    } else if (code.size() == 9 && code[6] == '.' && isDigits(code.substr(0, 6))) {
      const std::string file = std::string(code.substr(7)).append(code.substr(0, 6)).append(".day");
      if (const auto symbol = parseSymbol(file)) {
        market = symbol->market;
        code.remove_suffix(3);
      }
    }
    if (!isCode(code)) {
      throw NameListError(number, fmt::format("\"{}\" is not a code", printable(code)));
    }
    if (name.empty() || hasControl(name)) {
      throw NameListError(
          number, fmt::format("code {}: {}", code,
                              name.empty() ? "no name" : "a control character in the name"));
    }
    names.add(market, code, name);
    ++rows;
  }
  if (codeColumn < 0) {
    throw NameListError(0, "no header line naming the columns 代码 and 名称, or code and name");
  }
  return rows;
}

}  // namespace tarvok::tools
