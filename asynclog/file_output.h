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

namespace asynclog::detail {

constexpr std::int64_t kFlushDelayNs = 3'000'000'000;
constexpr std::size_t kFlushBytes = 8192;

// Opens a log file for FileOutput::switchTo, in text append mode (truncated when asked); size is
// its size. Throws std::runtime_error("Unable to open file: <name>: <strerror(errno)>").
std::FILE* openLogFile(const char* name, bool truncate, std::size_t& size);

class FileOutput {
 public:
  FileOutput() { pending_.reserve(2 * kFlushBytes); }

  // Adds a line and its end to the pending text at drain time `now`; returns the file's size
  // before the line.
  std::size_t append(fmt::string_view line, std::int64_t now);
  void flushIfDue(std::int64_t now, bool force) noexcept;
  // Writes the pending text and closes the file, or flushes standard output; then drops all text.
  void close() noexcept;
  // Closes the current output and goes on in `file` (from openLogFile) named `name`.
  void switchTo(std::FILE* file, std::size_t size, std::string& name) noexcept;

  // Process end. A killed thread may hold a stream's lock for good: the lock of standard output
  // (its text is then dropped) or, when it was killed inside a drain, that of our file's stream,
  // which is then left alone for a stream of its own.
  void dropStandardOutput() noexcept;
  void reopenOwnFile() noexcept;

 private:
  void writePending() noexcept;

  std::FILE* file_ = stdout;
  bool ownsFile_ = false;
  std::string fileName_;  // of the file we own, to open it afresh at process end
  std::size_t filePos_ = 0;  // the file's size with the pending text written
  std::string pending_;
  std::int64_t pendingSince_ = 0;  // drain time at which text became pending
};

}  // namespace asynclog::detail
