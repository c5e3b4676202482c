#pragma once
// "files done of the total" on standard error while a scan runs in a terminal.

#include <atomic>
#include <chrono>
#include <cstddef>

namespace tarvok::tools {

// Rewritten in place at most ten times a second, by whichever worker finishes a file; cleared at
// the end so that the messages and the summary stand alone.
class ProgressLine {
 public:
  explicit ProgressLine(std::size_t total);
  void update(std::size_t done);
  void clear();

 private:
  using Clock = std::chrono::steady_clock;
  long long elapsedMs() const;

  const std::size_t total_;
  const Clock::time_point start_;
  std::atomic<long long> lastMs_{-1000};
  std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
  std::size_t width_ = 0;  // written under busy_
  bool shown_ = false;
};

}  // namespace tarvok::tools
