// asynclog's public calls, the state they share, and a thread's first record.

#include "asynclog/asynclog.h"

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include "drain.h"

namespace asynclog {
namespace detail {
namespace {

std::int64_t systemNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::atomic<std::int64_t (*)()> gClock{&systemNs};

// Made on first use and freed only by the normal shutdown: no static constructor or destructor is
// involved, so neither initialisation order nor a DLL's static destruction can touch it.
std::atomic<State*> gState{nullptr};

State& acquireState() {
  State* s = gState.load(std::memory_order_acquire);
  if (s != nullptr) return *s;
  auto fresh = std::make_unique<State>();
  if (!fresh->slot.open()) throw std::runtime_error("asynclog: no thread-local slot");
  if (gState.compare_exchange_strong(s, fresh.get(), std::memory_order_acq_rel)) {
    return *fresh.release();
  }
  fresh->slot.close();
  return *s;
}

// Changes the drain's settings under its lock; without a state to hold them (no memory, no
// thread-local slot) nothing changes.
template <typename Change>
void changeDrainSettings(Change&& change) noexcept {
  State* s;
  try {
    s = &acquireState();
  } catch (...) {
    return;
  }
  LockGuard lock(s->drain.lock);
  change(s->drain);
}

#ifndef _WIN32
// On Windows the DLL's DllMain calls shutdown on DLL_PROCESS_DETACH instead: static destruction
// there runs under the loader lock, and at process end after other threads were killed.
struct ShutdownAtExit {
  ~ShutdownAtExit() { shutdown(false); }
};
ShutdownAtExit shutdownAtExit;
#endif

}  // namespace

std::int64_t now() noexcept {
  try {
    return gClock.load(std::memory_order_relaxed)();
  } catch (...) {
    return 0;
  }
}

void push(const CallSite& site, LogLevel level, std::int64_t ns, fmt::string_view body) noexcept {
  try {
    State& s = acquireState();
    ThreadQueue* q = s.slot.get();
    if (q == nullptr) {
      auto fresh = std::make_unique<ThreadQueue>();
      fresh->link.attach();
      try {
        s.queues.add(fresh.get());
      } catch (...) {
        fresh->link.release();
        throw;
      }
      q = fresh.release();
      s.slot.set(q, q->link);
    }
    q->push(site, level, ns, body);
  } catch (...) {
    // No memory for the state or the queue: the record is lost.
  }
}

}  // namespace detail

using detail::LockGuard;

void setLogLevel(LogLevel level) noexcept {
  detail::currentLevel.store(level, std::memory_order_relaxed);
}

LogLevel getLogLevel() noexcept {
  return static_cast<LogLevel>(detail::currentLevel.load(std::memory_order_relaxed));
}

void setHeaderPattern(const char* pattern) {
  if (pattern == nullptr) throw std::invalid_argument("asynclog: null header pattern");
  std::string copy(pattern);
  // A bad pattern is refused here rather than failing every line.
  const std::size_t headerBound = detail::RecordFormat::headerBound(copy);
  detail::State& s = detail::acquireState();
  LockGuard lock(s.drain.lock);
  s.drain.format.setPattern(copy, headerBound);
}

void setLogFile(const char* filename, bool truncate) {
  if (filename == nullptr) throw std::invalid_argument("asynclog: null file name");
  detail::State& s = detail::acquireState();
  // The new file first: on failure the previous output stays as it is.
  std::size_t size = 0;
  detail::LogFile file = detail::openLogFile(filename, truncate, size);
  LockGuard lock(s.drain.lock);
  // Records logged before the switch belong to the previous file (should the drain throw, `file`
  // closes itself).
  detail::drainQueues(s, true);
  s.drain.output.switchTo(file, size);
}

void setLogCB(LogCBFn cb, LogLevel minCBLogLevel) noexcept {
  detail::changeDrainSettings([&](detail::DrainDomain& d) {
    d.callback = cb;
    d.callbackLevel = minCBLogLevel;
  });
}

void setProcessEndCB(LogCBFn cb) noexcept {
  detail::changeDrainSettings([&](detail::DrainDomain& d) { d.processEndCallback = cb; });
}

void startPollingThread(std::int64_t intervalNs) {
  detail::State& s = detail::acquireState();
  LockGuard lock(s.control.lock);
  detail::stopTicker(s);
  s.control.ticker.start(intervalNs, &detail::tick, &s);
}

void stopPollingThread() {
  detail::State* s = detail::gState.load(std::memory_order_acquire);
  if (s == nullptr) return;
  LockGuard lock(s->control.lock);
  detail::stopTicker(*s);
}

void poll(bool forceFlush) {
  detail::State& s = detail::acquireState();
  LockGuard lock(s.drain.lock);
  detail::drainQueues(s, forceFlush);
}

void shutdown(bool processEnding) noexcept {
  detail::State* s = detail::gState.exchange(nullptr, std::memory_order_acq_rel);
  if (s == nullptr) return;
  if (processEnding) {
    detail::shutdownAtProcessEnd(s);
  } else {
    detail::shutdownNormally(s);
  }
}

namespace testing {

void setClock(std::int64_t (*clock)()) noexcept {
  detail::gClock.store(clock != nullptr ? clock : &detail::systemNs, std::memory_order_relaxed);
}

std::size_t queueCount() {
  detail::State* s = detail::gState.load(std::memory_order_acquire);
  if (s == nullptr) return 0;
  return s->queues.size();
}

void whileHoldingDrainLock(void (*fn)()) {
  LockGuard lock(detail::acquireState().drain.lock);
  fn();
}

}  // namespace testing
}  // namespace asynclog
