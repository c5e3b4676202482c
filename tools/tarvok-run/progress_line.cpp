#include "progress_line.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <fmt/format.h>

#include "exit_status.h"

namespace tarvok::tools {

ProgressLine::ProgressLine(std::size_t total) : total_(total), start_(Clock::now()) {}

long long ProgressLine::elapsedMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
}

void ProgressLine::update(std::size_t done) {
  const long long now = elapsedMs();
  long long last = lastMs_.load(std::memory_order_relaxed);
  if (now - last < 100 && done != total_) return;
  if (!lastMs_.compare_exchange_strong(last, now, std::memory_order_relaxed)) return;
  if (busy_.test_and_set(std::memory_order_acquire)) return;  // another worker is writing it
  const std::string line = fmt::format("\r{}: scanning: {} of {} files", kProgram, done, total_);
  width_ = std::max(width_, line.size());
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  shown_ = true;
  busy_.clear(std::memory_order_release);
}

void ProgressLine::clear() {
  if (!shown_) return;
  const std::string blank = "\r" + std::string(width_, ' ') + "\r";
  std::fwrite(blank.data(), 1, blank.size(), stderr);
  std::fflush(stderr);
}

}  // namespace tarvok::tools
