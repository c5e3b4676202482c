// The list of registered queues.

#include "queue_list.h"

#include <algorithm>

namespace asynclog::detail {

void destroyQueue(ThreadQueue* queue) noexcept { delete queue; }

void QueueList::add(ThreadQueue* queue) {
  std::vector<ThreadQueue*> grown;
  for (;;) {
    std::size_t size;
    {
      LockGuard lock(lock_);
      size = queues_.size();
      if (size < queues_.capacity()) {
        queues_.push_back(queue);
        return;
      }
      if (size < grown.capacity()) {
        grown.assign(queues_.begin(), queues_.end());
        grown.push_back(queue);
        queues_.swap(grown);
        return;  // the old storage goes with `grown`, after the lock
      }
    }
    grown.reserve(2 * size + 8);
  }
}

void QueueList::copyTo(std::vector<ThreadQueue*>& out) {
  out.clear();
  for (;;) {
    std::size_t size;
    {
      LockGuard lock(lock_);
      size = queues_.size();
      if (size <= out.capacity()) {
        out.assign(queues_.begin(), queues_.end());  // within the capacity: no allocation
        return;
      }
    }
    out.reserve(size + 8);
  }
}

void QueueList::handBack(const std::vector<ThreadQueue*>& ended) {
  {
    LockGuard lock(lock_);
    for (ThreadQueue* q : ended) queues_.erase(std::find(queues_.begin(), queues_.end(), q));
  }
  for (ThreadQueue* q : ended) {
    if (q->link.release()) destroyQueue(q);
  }
}

void QueueList::giveUpAll() noexcept {
  std::vector<ThreadQueue*> all;
  {
    LockGuard lock(lock_);
    all.swap(queues_);
  }
  for (ThreadQueue* q : all) {
    // A live thread's queue is freed by that thread (POSIX) or dies with the TLS index.
    if (q->link.release()) destroyQueue(q);
  }
}

std::size_t QueueList::size() {
  LockGuard lock(lock_);
  return queues_.size();
}

}  // namespace asynclog::detail
