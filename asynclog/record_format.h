#pragma once
// A record's text: its location, and its line of the header pattern's fields and the body. The
// drain's own, under the drain lock.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "asynclog/asynclog.h"

namespace asynclog::detail {

// Text built for a record. Ordinary drains let it grow. The last drain at process end may not
// allocate, a killed thread may hold the heap's lock: from stopGrowing() on, the text keeps to the
// capacity it has and what does not fit is cut.
class RecordText {
 public:
  void reserve(std::size_t capacity) { text_.reserve(capacity); }
  void stopGrowing() noexcept { fixed_ = true; }

  void clear() noexcept { text_.clear(); }
  fmt::string_view view() const noexcept { return {text_.data(), text_.size()}; }
  std::size_t size() const noexcept { return text_.size(); }

  template <typename... Args>
  void format(fmt::format_string<Args...> format, Args&&... args) {
    if (!fixed_) {
      fmt::format_to(std::back_inserter(text_), format, std::forward<Args>(args)...);
      return;
    }
    const std::size_t used = text_.size();
    const std::size_t room = text_.capacity() - used;
    const std::size_t size =
        fmt::format_to_n(text_.data() + used, room, format, std::forward<Args>(args)...).size;
    text_.resize(used + (size < room ? size : room));  // within the capacity: no allocation
  }

  void append(fmt::string_view text) {
    std::size_t size = text.size();
    if (fixed_ && size > text_.capacity() - text_.size()) size = text_.capacity() - text_.size();
    text_.append(text.data(), text.data() + size);
  }

 private:
  fmt::memory_buffer text_;
  bool fixed_ = false;
};

class RecordFormat {
 public:
  // Longest location the text has room for without growing: longer ones are cut at process end.
  static constexpr std::size_t kLocationCapacity = 1024;

  RecordFormat();

  // The size of the pattern's header with the longest fields of a record (for a location, ASCII
  // of kLocationCapacity). Throws fmt::format_error for a pattern fmt refuses.
  static std::size_t headerBound(const std::string& pattern);
  // Takes a pattern with its headerBound; the previous one is left in `pattern`.
  void setPattern(std::string& pattern, std::size_t headerBound);

  void format(const CallSite& site, LogLevel level, std::int64_t ns, fmt::string_view body,
              fmt::string_view threadName);
  // The last drain at process end: nothing grows any more (see RecordText).
  void stopGrowing() noexcept {
    location_.stopGrowing();
    line_.stopGrowing();
  }

  // Of the record last formatted: "file.cpp:123" as the compiler names the file, the offset of
  // the base name in it, the line without end-of-line, and the offset of the body in that.
  fmt::string_view location() const noexcept { return location_.view(); }
  std::size_t basePos() const noexcept { return basePos_; }
  fmt::string_view line() const noexcept { return line_.view(); }
  std::size_t bodyPos() const noexcept { return bodyPos_; }

 private:
  fmt::string_view dateTime(std::int64_t ns);

  std::string pattern_;
  RecordText location_;
  RecordText line_;
  std::size_t basePos_ = 0;
  std::size_t bodyPos_ = 0;
  std::int64_t cachedSecond_ = LLONG_MIN;
  char dateTime_[27] = {};  // "YYYY-MM-DD HH:MM:SS.ffffff"
};

}  // namespace asynclog::detail
