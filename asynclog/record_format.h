#pragma once
// A record's text: its location, and its line of the header pattern's fields and the body. The
// drain's own, under the drain lock.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

#include <fmt/format.h>

#include "asynclog/asynclog.h"

namespace asynclog::detail {

class RecordFormat {
 public:
  RecordFormat();

  // Throws fmt::format_error for a pattern fmt refuses, tried on a sample record.
  static void checkPattern(const std::string& pattern);
  // Takes a checked pattern; the previous one is left in `pattern`.
  void setPattern(std::string& pattern) noexcept { pattern_.swap(pattern); }

  void format(const CallSite& site, LogLevel level, std::int64_t ns, fmt::string_view body,
              fmt::string_view threadName);

  // Of the record last formatted: "file.cpp:123" as the compiler names the file, the offset of
  // the base name in it, the line without end-of-line, and the offset of the body in that.
  fmt::string_view location() const noexcept { return {location_.data(), location_.size()}; }
  std::size_t basePos() const noexcept { return basePos_; }
  fmt::string_view line() const noexcept { return {line_.data(), line_.size()}; }
  std::size_t bodyPos() const noexcept { return bodyPos_; }

 private:
  fmt::string_view dateTime(std::int64_t ns);

  std::string pattern_;
  fmt::memory_buffer location_;
  fmt::memory_buffer line_;
  std::size_t basePos_ = 0;
  std::size_t bodyPos_ = 0;
  std::int64_t cachedSecond_ = LLONG_MIN;
  char dateTime_[27] = {};  // "YYYY-MM-DD HH:MM:SS.ffffff"
};

}  // namespace asynclog::detail
