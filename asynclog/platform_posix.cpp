// POSIX seams: std::mutex, a thread_local holder whose destructor hands the queue back, the log
// file as a descriptor, and a std::thread that waits on a condition variable so that stopping it
// is prompt.

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

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

bool LogFile::open(const char* name, bool truncate) noexcept {
  close();
  // fopen's flags for "w" and "a", and its mode; the descriptor is not passed on to programs run.
  fd_ = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND), 0666);
  return fd_ >= 0;
}

bool LogFile::isOpen() const noexcept { return fd_ >= 0; }

std::size_t LogFile::size() noexcept {
  const off_t end = fd_ >= 0 ? ::lseek(fd_, 0, SEEK_END) : -1;
  return end > 0 ? static_cast<std::size_t>(end) : 0;
}

void LogFile::write(const char* data, std::size_t size) noexcept {
  while (fd_ >= 0 && size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void LogFile::close() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void LogFile::swap(LogFile& other) noexcept { std::swap(fd_, other.fd_); }

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
