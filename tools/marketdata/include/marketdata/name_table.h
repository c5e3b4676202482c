#pragma once
// Names of instruments by code, in UTF-8: from the terminal's code tables in T0002/hq_cache/, or
// from a list handed over (the terminal's exported quote list, or a CSV of codes and names).
//
// The code tables: a 50-byte header, then one record per instrument, its code as six ASCII digits
// at offset 0 and its name in GBK, NUL-padded:
//   shm.tnf, szm.tnf:           314-byte records, the name at offsets 23 to 40 (18 bytes);
//   shs.tnf, szs.tnf, bjs.tnf:  360-byte records, the name at offset 31. Its field is taken as 32
//                               bytes (offsets 31 to 62, room for 16 characters, twice the longest
//                               names seen in the older tables' 18): the name ends at the first NUL
//                               in them, or with them.
// A table is used only when its size is the header and whole records, and every record holds a
// six-digit code and a name that is GBK, not empty and free of control characters: a table of
// another layout would give wrong names rather than none.

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

#include "marketdata/instrument.h"

namespace tarvok::tools {

// The code tables' file names, the newer first, in which order they are best added: a name
// given twice keeps the first.
inline constexpr std::string_view kCodeTableFiles[] = {"shs.tnf", "szs.tnf", "bjs.tnf", "shm.tnf",
                                                       "szm.tnf"};

class NameTable {
 public:
  // The name of a code, keyed by market and code when the source tells the market, else by the
  // code alone. The first name given for a key stays.
  void add(std::optional<Market> market, std::string_view code, std::string_view name);

  // The name given for the market's code, else for the code alone; nullptr when there is none.
  const std::string* find(Market market, std::string_view code) const;

  std::size_t size() const noexcept { return names_.size(); }

 private:
  std::unordered_map<std::string, std::string> names_;  // "sh:600000", or "600000"
};

// A code table by its file name (one of kCodeTableFiles, in any case; folders before it are
// passed over) and its bytes: its names are added, keyed by the market of the file name, and the
// result is empty; or nothing is added, and the result is the note why: "<name>: left out: ...".
std::string addCodeTable(std::string_view fileName, std::string_view bytes, NameTable& names);

// A broken list, with the 1-based line it was found in, or 0 for the file as a whole.
class NameListError : public std::runtime_error {
 public:
  NameListError(std::size_t line, const std::string& message)
      : std::runtime_error(message), line_(line) {}
  std::size_t line() const noexcept { return line_; }

 private:
  std::size_t line_;
};

// "<name>: line <n>: <what>", or "<name>: <what>".
std::string nameListMessage(std::string_view name, const NameListError& error);

// A list of names handed over: the terminal's exported quote list (GBK, columns between tabs,
// 代码 and 名称 among them, and 数据来源:通达信 closing it) or a CSV with columns code and name
// (UTF-8 with or without a byte-order mark, or GBK). The header is the first line that names both
// columns. A code such as "sh600000" or "600000.SH" is keyed by its market, any other by itself.
// Returns the number of rows read. Throws NameListError.
std::size_t addNameList(std::string_view bytes, NameTable& names);

}  // namespace tarvok::tools
