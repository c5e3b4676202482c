// The drain and the two shutdowns.

#include "drain.h"

#include <algorithm>
#include <atomic>

namespace asynclog::detail {

namespace {

// Longest wait at process end for a drain still running on another thread.
constexpr std::uint32_t kEndingDrainWaitMs = 200;

// States given up at process end stay reachable here and are never freed: a killed thread may
// have held their locks.
std::atomic<State*> gRetired{nullptr};

// Formats a record into the pending text; echoRecord then hands it to the callback.
void takeRecord(DrainDomain& d, const CallSite& site, LogLevel level, std::int64_t ns,
                fmt::string_view body, fmt::string_view threadName) {
  d.format.format(site, level, ns, body, threadName);
  const std::size_t filePos = d.output.append(d.format.line(), d.now);
  d.echo = DrainDomain::Echo{d.callback != nullptr && level >= d.callbackLevel, ns, level, filePos,
                             threadName};
}

// Due stays set until the callback returns: a thread killed inside the callback leaves the echo to
// the last drain at process end, which cannot tell how far it got and so echoes it again.
void echoRecord(DrainDomain& d) noexcept {
  if (!d.echo.due) return;
  if (d.callback != nullptr) {
    try {
      d.callback(d.echo.ns, d.echo.level, d.format.location(), d.format.basePos(),
                 d.echo.threadName, d.format.line(), d.format.bodyPos(), d.echo.filePos);
    } catch (...) {
      // The callback's own failure; the drain goes on.
    }
  }
  d.echo.due = false;
}

void drainQueue(DrainDomain& d, ThreadQueue& q) {
  q.drain([&](const ThreadQueue::Header& h,
              fmt::string_view body) { takeRecord(d, *h.site, h.level, h.ns, body, q.name()); },
          [&] { echoRecord(d); });
  if (const std::uint32_t dropped = q.dropped.exchange(0, std::memory_order_relaxed)) {
    static constexpr CallSite kDroppedSite{__FILE__, __LINE__, baseNamePos(__FILE__)};
    char body[64];  // holds the longest count's text
    const std::size_t size =
        fmt::format_to_n(body, sizeof body, "{} records dropped: the thread's queue was full",
                         dropped)
            .size;
    takeRecord(d, kDroppedSite, WRN, d.now, fmt::string_view(body, std::min(size, sizeof body)),
               q.name());
    echoRecord(d);
  }
}

// The last drain, at process end, with the drain lock or without it (a killed thread holds it).
// It allocates and frees nothing, since a thread killed by the process end may hold the heap's
// lock: the text keeps to the capacity reserved for it up front, and the queues are drained
// in place in the list. Nothing in it throws: the pattern was tried when it was set, and nothing
// grows.
void lastDrain(State& s) noexcept {
  DrainDomain& d = s.drain;
  d.format.stopGrowing();
  d.output.stopGrowing();
  d.output.dropStandardOutput();
  // The regular callback may need a lock a killed thread holds; the process-end one takes none.
  d.callback = d.processEndCallback;
  // The echo of the record a killed drain took last, when that drain did not finish it.
  echoRecord(d);
  d.now = now();
  s.queues.visitAndAbandonAll([&](ThreadQueue& q) noexcept {
    try {
      drainQueue(d, q);
    } catch (...) {
      // What could not be drained is lost; the other queues are still drained.
    }
  });
  d.output.close();
  d.retired = true;
}

}  // namespace

void drainQueues(State& s, bool force) {
  DrainDomain& d = s.drain;
  if (d.retired) return;
  d.now = now();
  s.queues.copyTo(d.snapshot);
  d.ended.clear();
  d.ended.reserve(d.snapshot.size());
  for (ThreadQueue* q : d.snapshot) {
    // Asked before draining: once the thread has ended, all it pushed is visible.
    const bool ended = q->link.ended();
    drainQueue(d, *q);
    if (ended) d.ended.push_back(q);
  }
  if (!d.ended.empty()) s.queues.handBack(d.ended);
  d.output.flushIfDue(d.now, force);
}

void tick(void* state) {
  State& s = *static_cast<State*>(state);
  try {
    LockGuard lock(s.drain.lock);
    drainQueues(s, false);
  } catch (...) {
    // Nothing may leave the polling thread; the records concerned are lost.
  }
}

void stopTicker(State& s) {
  if (!s.control.ticker.running()) return;
  s.control.ticker.stop();
  LockGuard lock(s.drain.lock);
  drainQueues(s, true);
}

void shutdownNormally(State* s) noexcept {
  {
    LockGuard lock(s->control.lock);
    s->control.ticker.stop();
  }
  {
    LockGuard lock(s->drain.lock);
    try {
      drainQueues(*s, true);
    } catch (...) {
      // What could not be drained is lost; the file is still closed.
    }
    s->drain.output.close();
    s->drain.retired = true;
  }
  s->queues.giveUpAll();
  s->slot.close();
  delete s;
}

void shutdownAtProcessEnd(State* s) noexcept {
  // Other threads may have been killed holding any of these locks, or inside the pool timer.
  // Wait for nothing, skip what cannot be had.
  if (s->control.lock.tryLock()) {
    s->control.ticker.abandon();
    s->control.lock.unlock();
  }
  // The other threads are being stopped, and where that is asynchronous (Wine) a drain may still
  // be finishing on one of them: it ends within moments, so the drain lock is tried for a short
  // while. A lock still held after that belongs to a thread killed inside a drain: the last drain
  // then goes on without it (the file it writes takes no lock that thread could hold). A record
  // that thread had already taken may be written or echoed twice; none is lost.
  const bool drainHeld = s->drain.lock.tryLockWithin(kEndingDrainWaitMs);
  lastDrain(*s);
  if (drainHeld) s->drain.lock.unlock();
  s->nextRetired = gRetired.exchange(s, std::memory_order_acq_rel);
}

}  // namespace asynclog::detail
