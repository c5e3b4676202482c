#pragma once
// Where the lines go, standard output (the default) or the log file, and when: each line joins the
// pending text, which is written by the first drain more than kFlushDelayNs after it became
// pending, at once from kFlushBytes, and when the output is closed. The drain's own, under the
// drain lock.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <fmt/format.h>

#include "platform.h"

namespace asynclog::detail {

constexpr std::int64_t kFlushDelayNs = 3'000'000'000;
constexpr std::size_t kFlushBytes = 8192;

// Opens a log file for FileOutput::switchTo as fopen(name, truncate ? "w" : "a") would; size is
// its size. Throws std::runtime_error("Unable to open file: <name>: <strerror(errno)>").
LogFile openLogFile(const char* name, bool truncate, std::size_t& size);

class FileOutput {
 public:
  FileOutput() { pending_.reserve(2 * kFlushBytes); }

  // Adds a line and its end to the pending text at drain time `now`; returns the file's size
  // before the line.
  std::size_t append(fmt::string_view line, std::int64_t now);
  void flushIfDue(std::int64_t now, bool force) noexcept;
  // Writes the pending text and closes the file, or flushes standard output; then drops all text.
  void close() noexcept;
  // Closes the current output and goes on in `file` (from openLogFile), of `size` bytes.
  void switchTo(LogFile& file, std::size_t size) noexcept;

  // Process end: a killed thread may hold the lock of standard output's stream for good, so text
  // for it is dropped from here on. Our own file is written with the system's calls: no lock.
  void dropStandardOutput() noexcept;
  // The last drain at process end may not allocate: from here on the pending text keeps to its
  // capacity. It is written early when a line does not fit, and a line longer than the whole
  // capacity is written straight after it.
  void stopGrowing() noexcept { fixedCapacity_ = true; }

 private:
  void write(const char* data, std::size_t size) noexcept;
  void writePending() noexcept;

  LogFile file_;
  bool toStandardOutput_ = true;  // while no file is open; false once closed
  std::size_t filePos_ = 0;       // the file's size with the pending text written
  std::string pending_;
  std::int64_t pendingSince_ = 0;  // drain time at which text became pending
  bool fixedCapacity_ = false;
};

}  // namespace asynclog::detail
