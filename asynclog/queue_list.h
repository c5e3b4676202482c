#pragma once
// The list of registered queues, under the list lock: a logging thread adds its queue with its
// first record, drains read the list and hand back the queues of ended threads.
//
// Nothing is allocated or freed under the list lock: a thread stopped by process end while it
// waits for the heap must not keep the last drain from the queues.

#include <cstddef>
#include <vector>

#include "platform.h"
#include "thread_queue.h"

namespace asynclog::detail {

class QueueList {
 public:
  // Registers a new thread's queue.
  void add(ThreadQueue* queue);

  // Copies the list into out, which grows outside the lock when it is too small.
  void copyTo(std::vector<ThreadQueue*>& out);

  // Takes the queues of ended threads off the list and frees those their threads left to us.
  void handBack(const std::vector<ThreadQueue*>& ended);

  // Normal shutdown: gives every queue up, freeing those whose thread has ended.
  void giveUpAll() noexcept;

  // The last drain's, at process end: fn(queue) for every queue in place, with the lock held, and
  // then gives them all up, freeing none. Nothing is copied, so nothing allocated, and holding the
  // lock through fn only keeps a thread from its first record. The lock is only tried: when a
  // killed thread holds it, nothing happens.
  template <typename Fn>
  void visitAndAbandonAll(Fn&& fn) noexcept {
    if (!lock_.tryLock()) return;
    for (ThreadQueue* q : queues_) fn(*q);
    // Live threads stop using these queues (POSIX).
    for (ThreadQueue* q : queues_) q->link.release();
    lock_.unlock();
  }

  std::size_t size();

 private:
  Lock lock_;
  std::vector<ThreadQueue*> queues_;
};

}  // namespace asynclog::detail
