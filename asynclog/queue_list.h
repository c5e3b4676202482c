#pragma once
// The list of registered queues, under the list lock: a logging thread adds its queue with its
// first record, drains read the list and hand back the queues of ended threads.
//
// Nothing is allocated or freed under the list lock: a thread stopped by process end while it
// waits for the heap must not keep the last drain from the queues.

#include <cstddef>
#include <vector>

#include "asynclog/platform.h"
#include "asynclog/thread_queue.h"

namespace asynclog::detail {

class QueueList {
 public:
  // Registers a new thread's queue.
  void add(ThreadQueue* queue);

  // Copies the list into out, which grows outside the lock when it is too small. At process end
  // the lock is only tried: out stays empty when a killed thread holds it.
  void copyTo(std::vector<ThreadQueue*>& out, bool processEnding);

  // Takes the queues of ended threads off the list and frees those their threads left to us.
  void handBack(const std::vector<ThreadQueue*>& ended);

  // Normal shutdown: gives every queue up, freeing those whose thread has ended.
  void giveUpAll() noexcept;
  // Process end: gives every queue up and frees none, if the lock can be had at once.
  void abandonAll() noexcept;

  std::size_t size();

 private:
  Lock lock_;
  std::vector<ThreadQueue*> queues_;
};

}  // namespace asynclog::detail
