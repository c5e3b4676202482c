// POSIX seams: std::mutex, a thread_local holder whose destructor hands the queue back, and a
// std::thread that waits on a condition variable so that stopping it is prompt.

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

#include "platform.h"

namespace asynclog::detail {

void Lock::lock() noexcept { mutex_.lock(); }
bool Lock::tryLock() noexcept { return mutex_.try_lock(); }
bool Lock::tryLockWithin(std::uint32_t ms) noexcept {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!mutex_.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
void Lock::unlock() noexcept { mutex_.unlock(); }

void OwnerLink::attach() noexcept {}

bool OwnerLink::ended() noexcept { return state_.load(std::memory_order_acquire) == kEnded; }

bool OwnerLink::release() noexcept {
  return state_.exchange(kReleased, std::memory_order_acq_rel) == kEnded;
}

bool OwnerLink::markEnded() noexcept {
  return state_.exchange(kEnded, std::memory_order_acq_rel) == kReleased;
}

bool OwnerLink::released() noexcept { return state_.load(std::memory_order_acquire) == kReleased; }

namespace {

struct QueueHolder {
  ThreadQueue* queue = nullptr;
  OwnerLink* link = nullptr;
  ~QueueHolder();
};

QueueHolder::~QueueHolder() {
  // Whoever of the logger and this thread lets go second frees the queue.
  if (link != nullptr && link->markEnded()) destroyQueue(queue);
}

thread_local QueueHolder holder;

}  // namespace

bool ThreadSlot::open() noexcept { return true; }
void ThreadSlot::close() noexcept {}

ThreadQueue* ThreadSlot::get() noexcept {
  QueueHolder& h = holder;
  if (h.queue != nullptr && h.link->released()) {
    // Given up by a shutdown: only this thread still knows of it.
    destroyQueue(h.queue);
    h.queue = nullptr;
    h.link = nullptr;
  }
  return h.queue;
}

void ThreadSlot::set(ThreadQueue* queue, OwnerLink& link) noexcept {
  holder.queue = queue;
  holder.link = &link;
}

std::uint32_t currentThreadId() noexcept {
  return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

bool localTime(std::time_t t, std::tm& out) noexcept { return ::localtime_r(&t, &out) != nullptr; }

void Ticker::start(std::int64_t intervalNs, Fn fn, void* arg) {
  fn_ = fn;
  arg_ = arg;
  intervalNs_ = intervalNs > 0 ? intervalNs : 1;
  stop_.store(false);
  thread_ = std::thread([this] { run(); });
}

void Ticker::run() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_.load()) {
    const auto start = std::chrono::steady_clock::now();
    lock.unlock();
    fn_(arg_);
    lock.lock();
    // When the drain took the whole interval the wait ends at once.
    wake_.wait_until(lock, start + std::chrono::nanoseconds(intervalNs_),
                     [this] { return stop_.load(); });
  }
}

void Ticker::stop() noexcept {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_.store(true);
  }
  wake_.notify_all();
  thread_.join();
}

void Ticker::abandon() noexcept {
  if (!thread_.joinable()) return;
  stop_.store(true);
  wake_.notify_all();
  thread_.detach();
}

bool Ticker::running() const noexcept { return thread_.joinable(); }

}  // namespace asynclog::detail
