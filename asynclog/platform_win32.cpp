// Windows seams. Nothing here may keep the DLL loaded or run after it is unmapped:
// - the queue pointer lives in a plain TLS slot (a thread_local with a destructor would take a
//   per-thread module reference in libstdc++ and hang the process later); the drain learns that a
//   thread ended from a SYNCHRONIZE handle to it, and TlsFree at shutdown returns the index;
// - the polling is a thread-pool timer, which can be stopped and waited for under the loader lock
//   (joining a thread there hangs FreeLibrary; a detached one would run on unmapped code);
// - that wait is made under the loader lock, so the polling callback must never need that lock;
// - starting the timer makes the pool create its threads (a timer thread, a worker), and a host may
//   end its process right after registering. 32-bit Wine crashes the whole process (SIGSEGV, no
//   DLL_PROCESS_DETACH finished, queued records lost) when the process end kills a thread still in
//   its start-up, so start returns only once the first call runs on a worker: both are up then.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <limits>
#include <stdexcept>
#include <utility>

#include "platform.h"

namespace asynclog::detail {

void Lock::lock() noexcept { AcquireSRWLockExclusive(&lock_); }
bool Lock::tryLock() noexcept { return TryAcquireSRWLockExclusive(&lock_) != 0; }
bool Lock::tryLockWithin(std::uint32_t ms) noexcept {
  const ULONGLONG start = GetTickCount64();
  while (TryAcquireSRWLockExclusive(&lock_) == 0) {
    if (GetTickCount64() - start >= ms) return false;
    Sleep(1);
  }
  return true;
}
void Lock::unlock() noexcept { ReleaseSRWLockExclusive(&lock_); }

void OwnerLink::attach() noexcept {
  // Without a handle the queue counts as live until shutdown.
  thread_ = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
}

bool OwnerLink::ended() noexcept {
  return thread_ != nullptr && WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
}

bool OwnerLink::release() noexcept {
  // The owner thread never touches the queue again: its slot dies with the TLS index, and a live
  // thread runs no code of ours while the DLL is unloaded.
  if (thread_ != nullptr) {
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  return true;
}

bool ThreadSlot::open() noexcept {
  index_ = TlsAlloc();
  return index_ != TLS_OUT_OF_INDEXES;
}

void ThreadSlot::close() noexcept {
  if (index_ != TLS_OUT_OF_INDEXES) {
    TlsFree(index_);
    index_ = TLS_OUT_OF_INDEXES;
  }
}

ThreadQueue* ThreadSlot::get() noexcept {
  if (index_ == TLS_OUT_OF_INDEXES) return nullptr;
  return static_cast<ThreadQueue*>(TlsGetValue(index_));
}

void ThreadSlot::set(ThreadQueue* queue, OwnerLink&) noexcept {
  if (index_ != TLS_OUT_OF_INDEXES) TlsSetValue(index_, queue);
}

bool LogFile::open(const char* name, bool truncate) noexcept {
  close();
  // The C runtime's own open, which fopen goes through: the same file, sharing and errno. Its
  // descriptor is then traded for a handle of our own, so that no runtime lock guards our writes.
  const int fd = _open(name, _O_WRONLY | _O_CREAT | _O_BINARY | (truncate ? _O_TRUNC : _O_APPEND),
                       _S_IREAD | _S_IWRITE);
  if (fd == -1) return false;
  const HANDLE process = GetCurrentProcess();
  HANDLE own = nullptr;
  const BOOL duplicated = DuplicateHandle(process, reinterpret_cast<HANDLE>(_get_osfhandle(fd)),
                                          process, &own, 0, FALSE, DUPLICATE_SAME_ACCESS);
  _close(fd);
  if (!duplicated) {
    errno = EMFILE;
    return false;
  }
  handle_ = own;
  append_ = !truncate;
  return true;
}

bool LogFile::isOpen() const noexcept { return handle_ != nullptr; }

std::size_t LogFile::size() noexcept {
  LARGE_INTEGER size{};
  // A device (NUL) has none.
  if (handle_ == nullptr || !GetFileSizeEx(handle_, &size) || size.QuadPart <= 0) return 0;
  return static_cast<std::size_t>(size.QuadPart);
}

namespace {

void writeAll(HANDLE handle, const char* data, std::size_t size) noexcept {
  while (size > 0) {
    DWORD written = 0;
    const BOOL ok = WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr);
    if (!ok || written == 0) return;
    data += written;
    size -= written;
  }
}

}  // namespace

void LogFile::write(const char* data, std::size_t size) noexcept {
  if (handle_ == nullptr) return;
  if (append_) SetFilePointerEx(handle_, LARGE_INTEGER{}, nullptr, FILE_END);
  // Text mode: "\r\n" for each '\n', through a buffer on the stack.
  char text[1024];
  std::size_t used = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (used + 2 > sizeof text) {
      writeAll(handle_, text, used);
      used = 0;
    }
    if (data[i] == '\n') text[used++] = '\r';
    text[used++] = data[i];
  }
  writeAll(handle_, text, used);
}

void LogFile::close() noexcept {
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}

void LogFile::swap(LogFile& other) noexcept {
  std::swap(handle_, other.handle_);
  std::swap(append_, other.append_);
}

std::uint32_t currentThreadId() noexcept { return GetCurrentThreadId(); }

bool localTime(std::time_t t, std::tm& out) noexcept { return localtime_s(&out, &t) == 0; }

namespace {

// The MinGW runtime binds localtime_s and the precise system clock on their first call, through
// GetModuleHandle and GetProcAddress, which take the loader lock. Were that first call made by the
// polling callback while FreeLibrary holds the lock and waits for the callback, neither would ever
// go on. Binding them here, during the module's static initialisation, leaves the callback only
// calls that are bound already.
[[maybe_unused]] const bool gBoundAtLoad = [] {
  std::tm tm{};
  (void)localTime(0, tm);
  (void)std::chrono::system_clock::now();
  return true;
}();

// Longest wait of start for the first call: only a host starting us under the loader lock (which a
// new pool thread needs to start) or a machine stalled for seconds would meet it.
constexpr DWORD kStartWaitMs = 5000;

}  // namespace

VOID CALLBACK Ticker::onTimer(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER) {
  auto* ticker = static_cast<Ticker*>(context);
  AcquireSRWLockExclusive(&ticker->startLock_);
  const bool first = !ticker->started_;
  ticker->started_ = true;
  ReleaseSRWLockExclusive(&ticker->startLock_);
  // The ticker outlives every call: stop waits for them.
  if (first) WakeAllConditionVariable(&ticker->startedCv_);
  // The pool may run the timer again while the last call still runs: that call is skipped.
  if (ticker->busy_.exchange(true, std::memory_order_acquire)) return;
  ticker->fn_(ticker->arg_);
  ticker->busy_.store(false, std::memory_order_release);
}

void Ticker::start(std::int64_t intervalNs, Fn fn, void* arg) {
  fn_ = fn;
  arg_ = arg;
  PTP_TIMER timer = CreateThreadpoolTimer(&Ticker::onTimer, this, nullptr);
  if (timer == nullptr) throw std::runtime_error("asynclog: CreateThreadpoolTimer failed");
  std::int64_t periodMs = intervalNs / 1000000;
  if (periodMs < 1) periodMs = 1;
  if (periodMs > std::numeric_limits<LONG>::max()) periodMs = std::numeric_limits<LONG>::max();
  // First drain at once (a relative due time of 100 ns), then every period.
  ULARGE_INTEGER due;
  due.QuadPart = static_cast<ULONGLONG>(-1LL);
  FILETIME dueTime;
  dueTime.dwLowDateTime = due.LowPart;
  dueTime.dwHighDateTime = due.HighPart;
  AcquireSRWLockExclusive(&startLock_);
  started_ = false;
  ReleaseSRWLockExclusive(&startLock_);
  SetThreadpoolTimer(timer, &dueTime, static_cast<DWORD>(periodMs), 0);
  timer_ = timer;

  AcquireSRWLockExclusive(&startLock_);
  const ULONGLONG begin = GetTickCount64();
  while (!started_) {
    const ULONGLONG waited = GetTickCount64() - begin;
    if (waited >= kStartWaitMs) break;  // the timer goes on; its threads come up when they can
    SleepConditionVariableSRW(&startedCv_, &startLock_, static_cast<DWORD>(kStartWaitMs - waited),
                              0);
  }
  ReleaseSRWLockExclusive(&startLock_);
}

void Ticker::stop() noexcept {
  if (timer_ == nullptr) return;
  SetThreadpoolTimer(timer_, nullptr, 0, 0);
  WaitForThreadpoolTimerCallbacks(timer_, TRUE);
  CloseThreadpoolTimer(timer_);
  timer_ = nullptr;
}

void Ticker::abandon() noexcept {
  // Not even SetThreadpoolTimer: the pool's threads are gone, and its locks may have gone with
  // them. The timer is left to the process end.
  timer_ = nullptr;
}

bool Ticker::running() const noexcept { return timer_ != nullptr; }

}  // namespace asynclog::detail
