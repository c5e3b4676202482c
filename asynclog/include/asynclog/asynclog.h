#pragma once
// asynclog: a small asynchronous logger. A thread that logs only copies its record into a queue of
// its own; one polling thread formats the records with the header pattern, hands each line to the
// output callback and appends it to the log file. It knows nothing of who uses it.
//
// Levels, header fields ({YmdHMSf}, {l}, {s}), file, callback and polling calls, and the flush rules
// (pending file text written by the first drain more than 3 s after it became pending, at once from
// 8,192 bytes, and at shutdown) follow the usual asynchronous-logger conventions.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include <fmt/format.h>

namespace asynclog {

enum LogLevel : std::uint8_t { DBG = 0, INF = 1, WRN = 2, ERR = 3, OFF = 4 };

// ASYNCLOG(level, "format {}", args...): the format must be a string literal, checked at compile time.
// A record below the current level costs one comparison: its arguments are not evaluated. The body
// is formatted on the calling thread and copied into that thread's queue (64 KiB; bodies over
// 16 KiB are cut). The caller never waits: a record that does not fit is dropped, and the next
// drain writes a WRN line with the count.
#define ASYNCLOG(level, ...)                                                                      \
  do {                                                                                            \
    const ::asynclog::LogLevel asynclog_level_ = (level);                                         \
    if (::asynclog::detail::enabled(asynclog_level_)) {                                           \
      static constexpr ::asynclog::detail::CallSite asynclog_site_{                               \
          __FILE__, __LINE__, ::asynclog::detail::baseNamePos(__FILE__)};                         \
      ::asynclog::detail::log(asynclog_site_, asynclog_level_, ASYNCLOG_FORMAT_ARGS_(__VA_ARGS__)); \
    }                                                                                             \
  } while (false)

// ns: the record's time (nanoseconds since 1970, UTC); location: "file.cpp:123" with basePos the
// offset of the base name in it; msg: the whole line without end-of-line, bodyPos the offset of the
// message body in it (after the header); logFilePos: the file size before this line. threadName is
// the logging thread's OS id in decimal. Called by whichever thread drains, under the drain lock:
// it must not call back into asynclog.
using LogCBFn = void (*)(std::int64_t ns, LogLevel level, fmt::string_view location,
                         std::size_t basePos, fmt::string_view threadName, fmt::string_view msg,
                         std::size_t bodyPos, std::size_t logFilePos);

void setLogLevel(LogLevel level) noexcept;
LogLevel getLogLevel() noexcept;

// Named fields: {YmdHMSf} local date and time with microseconds, {l} the level name, {s} the
// location; fmt format specs apply to them ("{s:>18}"). Also {t}, the thread's id. Throws
// fmt::format_error for a pattern fmt refuses, keeping the previous one. Default
// "{YmdHMSf} {l} {s:<18} "; the default output is stdout.
void setHeaderPattern(const char* pattern);

// Opens filename in text append mode (truncating when asked) after writing and closing the previous
// file. Throws std::runtime_error("Unable to open file: <name>: <strerror(errno)>") and leaves the
// previous output in place when the file cannot be opened.
void setLogFile(const char* filename, bool truncate = false);

void setLogCB(LogCBFn cb, LogLevel minCBLogLevel) noexcept;

// The callback of the last drain at process end (shutdown(true)), in place of setLogCB's and at its
// minimum level. A thread killed by the process end may hold any runtime lock for good (a stdio
// stream's above all), so this one must take none: it writes with the operating system's own call.
// Null (the default): the last drain at process end echoes nothing.
void setProcessEndCB(LogCBFn cb) noexcept;

// Starts the polling thread, draining every intervalNs; a running one is first stopped after its
// final drain.
void startPollingThread(std::int64_t intervalNs = 1000000000);
// Stops the polling thread after a final drain with every pending text written.
void stopPollingThread();

// One drain on the calling thread.
void poll(bool forceFlush = false);

// Stops the polling thread, drains every queue on this thread, writes all pending text and closes
// the file. When processEnding is true (other threads already killed), it waits for no thread and
// no lock that such a thread may hold. Idempotent; the facility can be set up again afterwards.
// Natively a static destructor calls shutdown(false); on Windows nothing does so by itself: the
// DLL's DllMain calls shutdown(lpReserved != nullptr) on DLL_PROCESS_DETACH.
void shutdown(bool processEnding) noexcept;

namespace testing {
// Replaces the clock of record times and flush timing (ns since 1970, UTC); nullptr restores the
// system clock.
void setClock(std::int64_t (*clock)()) noexcept;
// Queues currently registered: threads that logged and whose queue has not been handed back.
std::size_t queueCount();
// Runs fn holding the drain lock, as a thread inside a drain holds it. An fn that never returns
// leaves the lock as a thread killed inside a drain would.
void whileHoldingDrainLock(void (*fn)());
}  // namespace testing

namespace detail {

// Where a record was made; constant data, one per call site.
struct CallSite {
  const char* file;       // as the compiler names it, maybe with directories
  std::uint32_t line;
  std::uint32_t basePos;  // offset of the base name in file
};

constexpr std::uint32_t baseNamePos(const char* path) noexcept {
  std::uint32_t pos = 0;
  for (std::uint32_t i = 0; path[i] != '\0'; ++i) {
    if (path[i] == '/' || path[i] == '\\') pos = i + 1;
  }
  return pos;
}

// Constant-initialised, so usable from any static constructor.
inline std::atomic<std::uint8_t> currentLevel{INF};

inline bool enabled(LogLevel level) noexcept {
  return level >= currentLevel.load(std::memory_order_relaxed);
}

std::int64_t now() noexcept;

// Copies a record into the calling thread's queue (dropped and counted when the queue is full).
void push(const CallSite& site, LogLevel level, std::int64_t ns, fmt::string_view body) noexcept;

template <typename... Args>
void log(const CallSite& site, LogLevel level, fmt::format_string<Args...> format,
         Args&&... args) noexcept {
  const std::int64_t ns = now();
  try {
    fmt::basic_memory_buffer<char, 256> body;
    fmt::format_to(std::back_inserter(body), format, std::forward<Args>(args)...);
    push(site, level, ns, fmt::string_view(body.data(), body.size()));
  } catch (...) {
    // A throwing formatter or no memory: the record still says where and when.
    push(site, level, ns, "(message could not be formatted)");
  }
}

}  // namespace detail

// The format literal goes through FMT_STRING for the compile-time check; the arguments follow it.
// Counting the arguments keeps the macro free of the GNU comma extension (-Wpedantic in C++17).
#define ASYNCLOG_CAT_(a, b) ASYNCLOG_CAT2_(a, b)
#define ASYNCLOG_CAT2_(a, b) a##b
#define ASYNCLOG_PICK_(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, _13, _14, _15, _16, _17, \
                       _18, _19, _20, kind, ...)                                                 \
  kind
#define ASYNCLOG_KIND_(...)                                                                     \
  ASYNCLOG_PICK_(__VA_ARGS__, MANY, MANY, MANY, MANY, MANY, MANY, MANY, MANY, MANY, MANY, MANY, \
                 MANY, MANY, MANY, MANY, MANY, MANY, MANY, MANY, ONE, 0)
#define ASYNCLOG_FORMAT_ONE_(format) FMT_STRING(format)
#define ASYNCLOG_FORMAT_MANY_(format, ...) FMT_STRING(format), __VA_ARGS__
#define ASYNCLOG_FORMAT_ARGS_(...) \
  ASYNCLOG_CAT_(ASYNCLOG_FORMAT_, ASYNCLOG_CAT_(ASYNCLOG_KIND_(__VA_ARGS__), _))(__VA_ARGS__)

}  // namespace asynclog
