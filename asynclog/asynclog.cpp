// asynclog: the per-thread queues, the drain and the output.

#include "asynclog/asynclog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform.h"

namespace asynclog {
namespace detail {

// One thread's records in a single-producer, single-consumer byte ring: the owner thread writes an
// entry and publishes it by advancing writePos_; the drain reads it and frees the space by advancing
// readPos_. No lock, so a thread killed mid-record leaves nothing held, only unpublished bytes.
// The owner never waits: a record that does not fit is dropped and counted, and the drain reports
// the count.
class ThreadQueue {
 public:
  static constexpr std::uint32_t kCapacity = 1u << 16;
  // Entries are whole units, so the filler at the end of the ring always has room for its header.
  static constexpr std::uint32_t kUnit = 32;
  static constexpr std::uint32_t kMaxBody = kCapacity / 4 - kUnit;

  struct Header {
    std::uint32_t size;  // of the whole entry
    std::uint32_t bodySize;
    const CallSite* site;  // nullptr: filler up to the end of the ring
    std::int64_t ns;
    LogLevel level;
  };
  static_assert(sizeof(Header) <= kUnit, "an entry header fits one unit");

  ThreadQueue() noexcept {
    const auto r = fmt::format_to_n(name_, sizeof name_, "{}", currentThreadId());
    nameSize_ = r.size < sizeof name_ ? r.size : sizeof name_;
  }

  fmt::string_view name() const noexcept { return fmt::string_view(name_, nameSize_); }

  // Owner thread only.
  void push(const CallSite& site, LogLevel level, std::int64_t ns, fmt::string_view body) noexcept {
    // Longer bodies are cut so that a record never needs more than a quarter of the ring.
    const std::uint32_t bodySize =
        body.size() > kMaxBody ? kMaxBody : static_cast<std::uint32_t>(body.size());
    const std::uint32_t need = (sizeof(Header) + bodySize + kUnit - 1) / kUnit * kUnit;
    std::uint32_t w = writePos_.load(std::memory_order_relaxed);
    const std::uint32_t r = readPos_.load(std::memory_order_acquire);
    std::uint32_t offset = w & (kCapacity - 1);
    const std::uint32_t toEnd = kCapacity - offset;
    const std::uint32_t total = need <= toEnd ? need : toEnd + need;
    if (kCapacity - (w - r) < total) {
      dropped.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    if (need > toEnd) {
      const Header filler{toEnd, 0, nullptr, 0, DBG};
      std::memcpy(ring_ + offset, &filler, sizeof filler);
      w += toEnd;
      offset = 0;
    }
    const Header header{need, bodySize, &site, ns, level};
    std::memcpy(ring_ + offset, &header, sizeof header);
    if (bodySize != 0) std::memcpy(ring_ + offset + sizeof(Header), body.data(), bodySize);
    writePos_.store(w + need, std::memory_order_release);
  }

  // Draining thread only: every record published when it starts, oldest first. take(header, body)
  // consumes a record; then() runs once the record is marked read, so that a thread killed in
  // then() (the echo, which may wait on a stream lock) leaves no record to be taken twice (its
  // echo is then the last drain's, see echoRecord).
  template <typename Take, typename Then>
  void drain(Take&& take, Then&& then) {
    std::uint32_t r = readPos_.load(std::memory_order_relaxed);
    const std::uint32_t w = writePos_.load(std::memory_order_acquire);
    while (r != w) {
      Header header;
      const unsigned char* entry = ring_ + (r & (kCapacity - 1));
      std::memcpy(&header, entry, sizeof header);
      const std::uint32_t next = r + header.size;
      if (header.site != nullptr) {
        try {
          take(header, fmt::string_view(reinterpret_cast<const char*>(entry + sizeof(Header)),
                                        header.bodySize));
        } catch (...) {
          // The record is gone either way; never hand it out twice.
          readPos_.store(next, std::memory_order_release);
          throw;
        }
      }
      r = next;
      readPos_.store(r, std::memory_order_release);
      if (header.site != nullptr) then();
    }
  }

  OwnerLink link;
  std::atomic<std::uint32_t> dropped{0};

 private:
  char name_[12];
  std::size_t nameSize_ = 0;
  std::atomic<std::uint32_t> writePos_{0};
  [[maybe_unused]] char apart_[64];  // keeps the two positions off one cache line
  std::atomic<std::uint32_t> readPos_{0};
  alignas(8) unsigned char ring_[kCapacity];
};

void destroyQueue(ThreadQueue* queue) noexcept { delete queue; }

namespace {

constexpr std::int64_t kFlushDelayNs = 3'000'000'000;
constexpr std::size_t kFlushBytes = 8192;
// Longest wait at process end for a drain still running on another thread.
constexpr std::uint32_t kEndingDrainWaitMs = 200;
constexpr const char* kDefaultPattern = "{YmdHMSf} {l} {s:<18} ";

std::int64_t systemNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::atomic<std::int64_t (*)()> gClock{&systemNs};

// Locks, outermost first: control (the polling thread), drain, list. A logging thread takes only
// list, and only for its first record.
struct State {
  State() {
    pending.reserve(2 * kFlushBytes);
    line.reserve(1024);
  }

  Lock control;
  Ticker ticker;  // control

  Lock list;
  std::vector<ThreadQueue*> queues;  // list
  ThreadSlot slot;

  // The rest is the drain's: drain lock.
  Lock drain;
  bool retired = false;  // shut down: drains do nothing
  std::int64_t drainNow = 0;
  std::vector<ThreadQueue*> snapshot;
  std::vector<ThreadQueue*> ended;
  std::FILE* file = stdout;
  bool ownsFile = false;
  std::string fileName;  // of the file we own, to open it afresh at process end
  std::size_t filePos = 0;  // the file's size with the pending text written
  std::string pending;
  std::int64_t pendingSince = 0;  // drain time at which text became pending
  std::string pattern = kDefaultPattern;
  LogCBFn callback = nullptr;
  LogCBFn processEndCallback = nullptr;
  LogLevel callbackLevel = INF;
  fmt::memory_buffer line;
  fmt::memory_buffer location;
  // The callback's arguments for the record last taken, whose text line and location hold.
  struct Echo {
    bool due = false;  // until the callback has returned
    std::int64_t ns = 0;
    LogLevel level = INF;
    std::size_t basePos = 0;
    std::size_t bodyPos = 0;
    std::size_t filePos = 0;
    fmt::string_view threadName;
  } echo;
  std::int64_t cachedSecond = LLONG_MIN;
  char dateTime[27] = {};  // "YYYY-MM-DD HH:MM:SS.ffffff"

  State* nextRetired = nullptr;
};

// Made on first use and freed only by shutdown(false): no static constructor or destructor is
// involved, so neither initialisation order nor a DLL's static destruction can touch it.
std::atomic<State*> gState{nullptr};
// States given up at process end stay reachable here and are never freed: a killed thread may
// have held their locks.
std::atomic<State*> gRetired{nullptr};

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

fmt::string_view levelName(LogLevel level) noexcept {
  static constexpr const char* kNames[] = {"DBG", "INF", "WRN", "ERR", "OFF"};
  return kNames[level <= OFF ? level : OFF];
}

fmt::string_view dateTime(State& s, std::int64_t ns) {
  std::int64_t second = ns / 1000000000;
  std::int64_t rest = ns % 1000000000;
  if (rest < 0) {
    rest += 1000000000;
    --second;
  }
  if (second != s.cachedSecond) {
    std::tm tm{};
    if (!localTime(static_cast<std::time_t>(second), tm)) tm = std::tm{};
    fmt::format_to_n(s.dateTime, 19, "{:04}-{:02}-{:02} {:02}:{:02}:{:02}", tm.tm_year + 1900,
                     tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    s.cachedSecond = second;
  }
  fmt::format_to_n(s.dateTime + 19, 7, ".{:06}", rest / 1000);
  return fmt::string_view(s.dateTime, 26);
}

void writePending(State& s) noexcept {
  if (s.pending.empty()) return;
  if (s.file != nullptr) {
    // Nothing to be done about a failed write here; the text is dropped either way.
    std::fwrite(s.pending.data(), 1, s.pending.size(), s.file);
    std::fflush(s.file);
  }
  s.pending.clear();
}

void closeOutput(State& s) noexcept {
  writePending(s);
  if (s.ownsFile) {
    std::fclose(s.file);
  } else if (s.file != nullptr) {
    std::fflush(s.file);
  }
  s.file = nullptr;
  s.ownsFile = false;
}

// The header fields a pattern may name.
void formatHeader(fmt::memory_buffer& out, const std::string& pattern, fmt::string_view dateTime,
                  fmt::string_view level, fmt::string_view location, fmt::string_view thread) {
  fmt::format_to(std::back_inserter(out), fmt::runtime(pattern), fmt::arg("YmdHMSf", dateTime),
                 fmt::arg("l", level), fmt::arg("s", location), fmt::arg("t", thread));
}

// Formats a record into the pending text; echoRecord then hands it to the callback.
void takeRecord(State& s, const CallSite& site, LogLevel level, std::int64_t ns,
                fmt::string_view body, fmt::string_view threadName) {
  s.location.clear();
  fmt::format_to(std::back_inserter(s.location), "{}:{}", site.file, site.line);
  const fmt::string_view location(s.location.data(), s.location.size());
  const std::size_t basePos = site.basePos <= location.size() ? site.basePos : 0;
  const fmt::string_view base(location.data() + basePos, location.size() - basePos);

  s.line.clear();
  formatHeader(s.line, s.pattern, dateTime(s, ns), levelName(level), base, threadName);
  const std::size_t bodyPos = s.line.size();
  s.line.append(body.data(), body.data() + body.size());
  const fmt::string_view msg(s.line.data(), s.line.size());

  const std::size_t filePos = s.filePos;
  if (s.pending.empty()) s.pendingSince = s.drainNow;
  s.pending.append(msg.data(), msg.size());
  s.pending.push_back('\n');
  s.filePos += msg.size() + kNewlineBytes;
  if (s.pending.size() >= kFlushBytes) writePending(s);

  s.echo = State::Echo{s.callback != nullptr && level >= s.callbackLevel, ns, level, basePos,
                       bodyPos, filePos, threadName};
}

// Due stays set until the callback returns: a thread killed inside the callback leaves the echo to
// the last drain at process end, which cannot tell how far it got and so echoes it again.
void echoRecord(State& s) noexcept {
  if (!s.echo.due) return;
  if (s.callback != nullptr) {
    try {
      s.callback(s.echo.ns, s.echo.level, fmt::string_view(s.location.data(), s.location.size()),
                 s.echo.basePos, s.echo.threadName, fmt::string_view(s.line.data(), s.line.size()),
                 s.echo.bodyPos, s.echo.filePos);
    } catch (...) {
      // The callback's own failure; the drain goes on.
    }
  }
  s.echo.due = false;
}

void drainQueue(State& s, ThreadQueue& q) {
  q.drain(
      [&](const ThreadQueue::Header& h, fmt::string_view body) {
        takeRecord(s, *h.site, h.level, h.ns, body, q.name());
      },
      [&] { echoRecord(s); });
  if (const std::uint32_t dropped = q.dropped.exchange(0, std::memory_order_relaxed)) {
    static constexpr CallSite kDroppedSite{__FILE__, __LINE__, baseNamePos(__FILE__)};
    fmt::memory_buffer body;
    fmt::format_to(std::back_inserter(body), "{} records dropped: the thread's queue was full",
                   dropped);
    takeRecord(s, kDroppedSite, WRN, s.drainNow, fmt::string_view(body.data(), body.size()),
               q.name());
    echoRecord(s);
  }
}

// Copies the queue list into the snapshot. The list lock is held for the copy alone and never
// across an allocation: a thread stopped by process end while it waits for the heap must not
// keep the last drain from the queues. At process end the lock is only tried.
void snapshotQueues(State& s, bool processEnding) {
  s.snapshot.clear();
  for (;;) {
    if (processEnding) {
      if (!s.list.tryLock()) return;
    } else {
      s.list.lock();
    }
    const std::size_t size = s.queues.size();
    const bool fits = size <= s.snapshot.capacity();
    if (fits) s.snapshot.assign(s.queues.begin(), s.queues.end());  // within capacity: no allocation
    s.list.unlock();
    if (fits) return;
    s.snapshot.reserve(size + 8);
  }
}

// Registers a new thread's queue; as above, nothing is allocated or freed under the list lock.
void addQueue(State& s, ThreadQueue* q) {
  std::vector<ThreadQueue*> grown;
  for (;;) {
    std::size_t size;
    {
      LockGuard lock(s.list);
      size = s.queues.size();
      if (size < s.queues.capacity()) {
        s.queues.push_back(q);
        return;
      }
      if (size < grown.capacity()) {
        grown.assign(s.queues.begin(), s.queues.end());
        grown.push_back(q);
        s.queues.swap(grown);
        return;  // the old storage goes with `grown`, after the lock
      }
    }
    grown.reserve(2 * size + 8);
  }
}

// With the drain lock held. At process end nothing is freed.
void drainLocked(State& s, bool force, bool processEnding) {
  if (s.retired) return;
  s.drainNow = now();
  snapshotQueues(s, processEnding);
  s.ended.clear();
  s.ended.reserve(s.snapshot.size());
  for (ThreadQueue* q : s.snapshot) {
    // Asked before draining: once the thread has ended, all it pushed is visible.
    const bool ended = q->link.ended();
    drainQueue(s, *q);
    if (ended) s.ended.push_back(q);
  }
  if (!s.ended.empty() && !processEnding) {
    {
      LockGuard lock(s.list);
      for (ThreadQueue* q : s.ended) {
        s.queues.erase(std::find(s.queues.begin(), s.queues.end(), q));
      }
    }
    for (ThreadQueue* q : s.ended) {
      if (q->link.release()) destroyQueue(q);
    }
  }
  if (!s.pending.empty() && (force || s.drainNow - s.pendingSince > kFlushDelayNs)) {
    writePending(s);
  }
}

void forcedDrain(State& s) {
  LockGuard lock(s.drain);
  drainLocked(s, true, false);
}

void tick(void* arg) {
  State& s = *static_cast<State*>(arg);
  try {
    LockGuard lock(s.drain);
    drainLocked(s, false, false);
  } catch (...) {
    // Nothing may leave the polling thread; the records concerned are lost.
  }
}

// With the control lock held.
void stopTicker(State& s) {
  if (!s.ticker.running()) return;
  s.ticker.stop();
  forcedDrain(s);
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
        addQueue(s, fresh.get());
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
  fmt::memory_buffer trial;
  detail::formatHeader(trial, copy, "1970-01-01 00:00:00.000000", "INF", "file.cpp:1", "1");
  detail::State& s = detail::acquireState();
  LockGuard lock(s.drain);
  s.pattern.swap(copy);
}

void setLogFile(const char* filename, bool truncate) {
  if (filename == nullptr) throw std::invalid_argument("asynclog: null file name");
  detail::State& s = detail::acquireState();
  // The new file first: on failure the previous output stays as it is.
  std::string name(filename);
  std::FILE* file = std::fopen(filename, truncate ? "w" : "a");
  if (file == nullptr) {
    const int error = errno;
    throw std::runtime_error(
        fmt::format("Unable to open file: {}: {}", filename, std::strerror(error)));
  }
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  LockGuard lock(s.drain);
  // Records logged before the switch belong to the previous file.
  try {
    detail::drainLocked(s, true, false);
  } catch (...) {
    std::fclose(file);
    throw;
  }
  detail::closeOutput(s);
  s.file = file;
  s.ownsFile = true;
  s.fileName.swap(name);
  s.filePos = size > 0 ? static_cast<std::size_t>(size) : 0;
}

namespace {

// Changes the drain's settings under its lock; without a state to hold them (no memory, no
// thread-local slot) nothing changes.
template <typename Change>
void changeDrainSettings(Change&& change) noexcept {
  detail::State* s;
  try {
    s = &detail::acquireState();
  } catch (...) {
    return;
  }
  LockGuard lock(s->drain);
  change(*s);
}

}  // namespace

void setLogCB(LogCBFn cb, LogLevel minCBLogLevel) noexcept {
  changeDrainSettings([&](detail::State& s) {
    s.callback = cb;
    s.callbackLevel = minCBLogLevel;
  });
}

void setProcessEndCB(LogCBFn cb) noexcept {
  changeDrainSettings([&](detail::State& s) { s.processEndCallback = cb; });
}

void startPollingThread(std::int64_t intervalNs) {
  detail::State& s = detail::acquireState();
  LockGuard lock(s.control);
  detail::stopTicker(s);
  s.ticker.start(intervalNs, &detail::tick, &s);
}

void stopPollingThread() {
  detail::State* s = detail::gState.load(std::memory_order_acquire);
  if (s == nullptr) return;
  LockGuard lock(s->control);
  detail::stopTicker(*s);
}

void poll(bool forceFlush) {
  detail::State& s = detail::acquireState();
  LockGuard lock(s.drain);
  detail::drainLocked(s, forceFlush, false);
}

void shutdown(bool processEnding) noexcept {
  detail::State* s = detail::gState.exchange(nullptr, std::memory_order_acq_rel);
  if (s == nullptr) return;

  if (!processEnding) {
    {
      LockGuard lock(s->control);
      s->ticker.stop();
    }
    {
      LockGuard lock(s->drain);
      try {
        detail::drainLocked(*s, true, false);
      } catch (...) {
        // What could not be drained is lost; the file is still closed.
      }
      detail::closeOutput(*s);
      s->retired = true;
    }
    {
      LockGuard lock(s->list);
      for (detail::ThreadQueue* q : s->queues) {
        // A live thread's queue is freed by that thread (POSIX) or dies with the TLS index.
        if (q->link.release()) detail::destroyQueue(q);
      }
      s->queues.clear();
    }
    s->slot.close();
    delete s;
    return;
  }

  // Process end: other threads may have been killed holding any of these locks, or inside the
  // pool timer. Wait for nothing, skip what cannot be had.
  if (s->control.tryLock()) {
    s->ticker.abandon();
    s->control.unlock();
  }
  // The other threads are being stopped, and where that is asynchronous (Wine) a drain may still
  // be finishing on one of them: it ends within moments, so the drain lock is tried for a short
  // while. A lock still held after that belongs to a thread killed inside a drain, which may have
  // held our file's stream lock too, for good: the last drain then goes on without the lock and
  // writes through a stream of its own, leaving the old one alone. A record that thread had
  // already taken may be written or echoed twice; none is lost.
  const bool drainHeld = s->drain.tryLockWithin(detail::kEndingDrainWaitMs);
  if (!drainHeld) {
    s->file = s->ownsFile ? std::fopen(s->fileName.c_str(), "a") : nullptr;
    s->ownsFile = s->file != nullptr;
  }
  // A stream not ours (stdout) may be locked by a killed thread that was writing to standard
  // output: at process end its text is dropped, and the echo goes through the process-end
  // callback, which takes no lock.
  if (!s->ownsFile) s->file = nullptr;
  s->callback = s->processEndCallback;
  // The echo of the record a killed drain took last, when that drain did not finish it.
  detail::echoRecord(*s);
  try {
    detail::drainLocked(*s, true, true);
  } catch (...) {
  }
  detail::closeOutput(*s);
  s->retired = true;
  if (drainHeld) s->drain.unlock();
  if (s->list.tryLock()) {
    // Live threads stop using these queues (POSIX); nothing is freed.
    for (detail::ThreadQueue* q : s->queues) q->link.release();
    s->list.unlock();
  }
  s->nextRetired = detail::gRetired.exchange(s, std::memory_order_acq_rel);
}

namespace testing {

void setClock(std::int64_t (*clock)()) noexcept {
  detail::gClock.store(clock != nullptr ? clock : &detail::systemNs, std::memory_order_relaxed);
}

std::size_t queueCount() {
  detail::State* s = detail::gState.load(std::memory_order_acquire);
  if (s == nullptr) return 0;
  LockGuard lock(s->list);
  return s->queues.size();
}

void whileHoldingDrainLock(void (*fn)()) {
  detail::LockGuard lock(detail::acquireState().drain);
  fn();
}

}  // namespace testing
}  // namespace asynclog
