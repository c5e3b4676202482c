// A record's text.

#include "record_format.h"

#include <ctime>

#include "platform.h"
#include "thread_queue.h"

namespace asynclog::detail {

namespace {

constexpr const char* kDefaultPattern = "{YmdHMSf} {l} {s:<18} ";

fmt::string_view levelName(LogLevel level) noexcept {
  static constexpr const char* kNames[] = {"DBG", "INF", "WRN", "ERR", "OFF"};
  return kNames[level <= OFF ? level : OFF];
}

// The header fields a pattern may name.
void formatHeader(RecordText& out, const std::string& pattern, fmt::string_view dateTime,
                  fmt::string_view level, fmt::string_view location, fmt::string_view thread) {
  out.format(fmt::runtime(pattern), fmt::arg("YmdHMSf", dateTime), fmt::arg("l", level),
             fmt::arg("s", location), fmt::arg("t", thread));
}

}  // namespace

RecordFormat::RecordFormat() {
  std::string pattern(kDefaultPattern);
  location_.reserve(kLocationCapacity);
  setPattern(pattern, headerBound(pattern));
}

std::size_t RecordFormat::headerBound(const std::string& pattern) {
  // A longer field never makes a shorter header, and the level names are all three letters long.
  RecordText trial;
  formatHeader(trial, pattern, "1970-01-01 00:00:00.000000", "INF",
               std::string(kLocationCapacity, 'x'), "4294967295");
  return trial.size();
}

void RecordFormat::setPattern(std::string& pattern, std::size_t headerBound) {
  // Room for the longest line, so that the last drain at process end cuts none but the extreme.
  line_.reserve(headerBound + ThreadQueue::kMaxBody);
  pattern_.swap(pattern);
}

fmt::string_view RecordFormat::dateTime(std::int64_t ns) {
  std::int64_t second = ns / 1000000000;
  std::int64_t rest = ns % 1000000000;
  if (rest < 0) {
    rest += 1000000000;
    --second;
  }
  if (second != cachedSecond_) {
    std::tm tm{};
    if (!localTime(static_cast<std::time_t>(second), tm)) tm = std::tm{};
    fmt::format_to_n(dateTime_, 19, "{:04}-{:02}-{:02} {:02}:{:02}:{:02}", tm.tm_year + 1900,
                     tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    cachedSecond_ = second;
  }
  fmt::format_to_n(dateTime_ + 19, 7, ".{:06}", rest / 1000);
  return fmt::string_view(dateTime_, 26);
}

void RecordFormat::format(const CallSite& site, LogLevel level, std::int64_t ns,
                          fmt::string_view body, fmt::string_view threadName) {
  location_.clear();
  location_.format("{}:{}", site.file, site.line);
  const fmt::string_view location = this->location();
  basePos_ = site.basePos <= location.size() ? site.basePos : 0;
  const fmt::string_view base(location.data() + basePos_, location.size() - basePos_);

  line_.clear();
  formatHeader(line_, pattern_, dateTime(ns), levelName(level), base, threadName);
  bodyPos_ = line_.size();
  line_.append(body);
}

}  // namespace asynclog::detail
