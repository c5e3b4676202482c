#pragma once
// The platform seams of asynclog: locks, the per-thread queue slot and how the drain learns that a
// queue's thread has ended, the log file, local time, and the polling timer. platform_posix.cpp and
// platform_win32.cpp implement them.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace asynclog::detail {

class ThreadQueue;

// Frees a queue the logger has given up (defined with the queue list).
void destroyQueue(ThreadQueue* queue) noexcept;

#ifdef _WIN32
// Text mode writes "\r\n" for each '\n'.
constexpr std::size_t kNewlineBytes = 2;
#else
constexpr std::size_t kNewlineBytes = 1;
#endif

class Lock {
 public:
  Lock() noexcept = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void lock() noexcept;
  bool tryLock() noexcept;
  // Tries for about `ms` milliseconds.
  bool tryLockWithin(std::uint32_t ms) noexcept;
  void unlock() noexcept;

 private:
#ifdef _WIN32
  // Needs no destruction: nothing to undo when the DLL is unloaded.
  SRWLOCK lock_ = SRWLOCK_INIT;
#else
  std::mutex mutex_;
#endif
};

class LockGuard {
 public:
  explicit LockGuard(Lock& lock) noexcept : lock_(lock) { lock_.lock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;
  ~LockGuard() { lock_.unlock(); }

 private:
  Lock& lock_;
};

// Stored in each queue: tells the drain whether the owner thread has ended.
class OwnerLink {
 public:
  // Called on the owner thread when its queue is created.
  void attach() noexcept;
  // True once the owner thread has ended: whatever it pushed is then visible to the drain.
  bool ended() noexcept;
  // The logger gives the queue up (shutdown); true when the caller must free it now, false when
  // the owner thread will.
  bool release() noexcept;

#ifndef _WIN32
  // On the owner thread's end; true when the logger gave the queue up already.
  bool markEnded() noexcept;
  bool released() noexcept;
#endif

 private:
#ifdef _WIN32
  HANDLE thread_ = nullptr;
#else
  enum : std::uint8_t { kLive, kEnded, kReleased };
  std::atomic<std::uint8_t> state_{kLive};
#endif
};

// Where each thread keeps its own queue.
class ThreadSlot {
 public:
  bool open() noexcept;
  void close() noexcept;
  // The calling thread's queue, or nullptr when it has none (or the logger gave it up).
  ThreadQueue* get() noexcept;
  void set(ThreadQueue* queue, OwnerLink& link) noexcept;

 private:
#ifdef _WIN32
  DWORD index_ = TLS_OUT_OF_INDEXES;
#endif
};

// The log file, written with the system's own calls: no stdio stream, no runtime lock and no heap,
// so that the last drain at process end can write and close it whatever a killed thread held.
class LogFile {
 public:
  LogFile() noexcept = default;
  LogFile(LogFile&& other) noexcept { swap(other); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile() { close(); }

  // Opens the file as fopen(name, truncate ? "w" : "a") does; false, with errno set as fopen sets
  // it, when that fails.
  bool open(const char* name, bool truncate) noexcept;
  bool isOpen() const noexcept;
  std::size_t size() noexcept;
  // Writes as a text-mode stream does (kNewlineBytes for each '\n'); a failed write is dropped.
  void write(const char* data, std::size_t size) noexcept;
  void close() noexcept;
  void swap(LogFile& other) noexcept;

 private:
#ifdef _WIN32
  HANDLE handle_ = nullptr;
  bool append_ = false;  // each write at the end, as the C runtime's append mode does
#else
  int fd_ = -1;
#endif
};

std::uint32_t currentThreadId() noexcept;
bool localTime(std::time_t t, std::tm& out) noexcept;

// Calls fn(arg) every interval until stopped.
class Ticker {
 public:
  using Fn = void (*)(void*);  // must not throw
  Ticker() = default;
  Ticker(const Ticker&) = delete;
  Ticker& operator=(const Ticker&) = delete;
  // Throws std::runtime_error or std::system_error when the thread or timer cannot be made.
  // On Windows it returns once the first call has begun on a pool thread (or after kStartWaitMs):
  // see platform_win32.cpp.
  void start(std::int64_t intervalNs, Fn fn, void* arg);
  // Stops and waits for a call in progress.
  void stop() noexcept;
  // Process end: stops further calls if it can, waits for nothing.
  void abandon() noexcept;
  bool running() const noexcept;

 private:
  Fn fn_ = nullptr;
  void* arg_ = nullptr;
#ifdef _WIN32
  static VOID CALLBACK onTimer(PTP_CALLBACK_INSTANCE instance, PVOID context, PTP_TIMER timer);
  PTP_TIMER timer_ = nullptr;
  std::atomic<bool> busy_{false};
  // Set by the first call of a start; start waits on it.
  SRWLOCK startLock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE startedCv_ = CONDITION_VARIABLE_INIT;
  bool started_ = false;  // startLock_
#else
  void run() noexcept;
  std::int64_t intervalNs_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> stop_{false};
#endif
};

}  // namespace asynclog::detail
