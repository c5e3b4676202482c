// Tests of asynclog: levels, header fields, the file and callback output, the flush rules (on an
// injected clock), the polling thread, thread-end handback of queues, and shutdown.

#include "asynclog/asynclog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <thread>
#endif

#include "asynclog_sites.h"

namespace {
// Calls of operator new and delete while counted: the last drain at process end must make none,
// since a thread killed by the process end may hold the heap's lock.
std::atomic<bool> countingHeap{false};
std::atomic<int> heapCalls{0};

void countedFree(void* p) noexcept {
  if (p != nullptr && countingHeap.load(std::memory_order_relaxed)) ++heapCalls;
  std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
  if (countingHeap.load(std::memory_order_relaxed)) ++heapCalls;
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }

namespace {

using asynclog::DBG;
using asynclog::ERR;
using asynclog::INF;
using asynclog::OFF;
using asynclog::WRN;

// 2024-03-05 12:34:56.789012345 UTC.
constexpr std::int64_t kSecond = 1000000000;
constexpr std::int64_t kStart = 1709642096 * kSecond + 789012345;
std::atomic<std::int64_t> fakeNs{kStart};
std::int64_t fakeClock() { return fakeNs.load(); }

struct Captured {
  std::int64_t ns;
  asynclog::LogLevel level;
  std::string location;
  std::size_t basePos;
  std::string threadName;
  std::string msg;
  std::size_t bodyPos;
  std::size_t logFilePos;
};

// Filled by the draining thread; read after the drain (poll) or after the polling thread stopped.
std::vector<Captured>& captured() {
  static std::vector<Captured> records;
  return records;
}

void capture(std::int64_t ns, asynclog::LogLevel level, fmt::string_view location,
             std::size_t basePos, fmt::string_view threadName, fmt::string_view msg,
             std::size_t bodyPos, std::size_t logFilePos) {
  captured().push_back(Captured{ns, level, std::string(location.data(), location.size()), basePos,
                                std::string(threadName.data(), threadName.size()),
                                std::string(msg.data(), msg.size()), bodyPos, logFilePos});
}

// The log file is written in text mode: a line ends in CR LF on Windows. Read back in text mode,
// every line ends in LF on both.
#ifdef _WIN32
constexpr std::size_t kLineEndBytes = 2;
#else
constexpr std::size_t kLineEndBytes = 1;
#endif

std::string readRawFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::string tempPath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return ::testing::TempDir() + "asynclog_" + info->name() + "_" + name;
}

std::string localDateTime(std::int64_t ns) {
  const std::time_t seconds = static_cast<std::time_t>(ns / kSecond);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &seconds);
#else
  localtime_r(&seconds, &tm);
#endif
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:06}", tm.tm_year + 1900, tm.tm_mon + 1,
                     tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ns % kSecond / 1000);
}

#ifdef _WIN32
struct ThreadStart {
  void (*fn)(int);
  int index;
};

DWORD WINAPI threadMain(LPVOID p) {
  auto* start = static_cast<ThreadStart*>(p);
  start->fn(start->index);
  return 0;
}
#endif

// Runs fn(0) .. fn(count - 1) on threads of their own and waits until all have ended.
void runThreads(int count, void (*fn)(int)) {
#ifdef _WIN32
  std::vector<ThreadStart> starts(static_cast<std::size_t>(count));
  std::vector<HANDLE> threads;
  for (int i = 0; i < count; ++i) {
    starts[i] = ThreadStart{fn, i};
    threads.push_back(CreateThread(nullptr, 0, &threadMain, &starts[i], 0, nullptr));
  }
  WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
  for (HANDLE h : threads) CloseHandle(h);
#else
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) threads.emplace_back(fn, i);
  for (auto& t : threads) t.join();
#endif
}

#ifdef __linux__
// Whether this process holds path open.
bool isOpen(const std::string& path) {
  char real[4096];
  if (realpath(path.c_str(), real) == nullptr) return false;
  for (int fd = 0; fd < 1024; ++fd) {
    char link[4096];
    const ssize_t n = readlink(fmt::format("/proc/self/fd/{}", fd).c_str(), link, sizeof link - 1);
    if (n > 0 && std::string(link, static_cast<std::size_t>(n)) == real) return true;
  }
  return false;
}
#endif

class AsyncLog : public ::testing::Test {
 protected:
  void SetUp() override {
    fakeNs = kStart;
    asynclog::testing::setClock(&fakeClock);
    asynclog::setLogLevel(INF);
    path_ = tempPath("out.log");
    std::remove(path_.c_str());
    asynclog::setLogFile(path_.c_str(), true);
    asynclog::setHeaderPattern("{l} ");
    captured().clear();
    asynclog::setLogCB(&capture, DBG);
  }

  void TearDown() override {
    asynclog::shutdown(false);
    asynclog::testing::setClock(nullptr);
    asynclog::setLogLevel(INF);
    std::remove(path_.c_str());
  }

  std::string path_;
};

TEST_F(AsyncLog, RecordsBelowTheLevelAreDroppedBeforeTheirArgumentsAreEvaluated) {
  EXPECT_EQ(asynclog::getLogLevel(), INF);
  int evaluated = 0;
  ASYNCLOG(DBG, "debug {}", ++evaluated);
  EXPECT_EQ(evaluated, 0);
  ASYNCLOG(INF, "info {}", ++evaluated);
  EXPECT_EQ(evaluated, 1);
  asynclog::poll(true);
  EXPECT_EQ(readFile(path_), "INF info 1\n");
  ASSERT_EQ(captured().size(), 1u);
  EXPECT_EQ(captured()[0].msg, "INF info 1");

  asynclog::setLogLevel(DBG);
  ASYNCLOG(DBG, "debug {}", 2);
  asynclog::setLogLevel(OFF);
  ASYNCLOG(ERR, "error {}", 3);
  asynclog::setLogLevel(WRN);
  ASYNCLOG(INF, "info {}", 4);
  ASYNCLOG(WRN, "warning {}", 5);
  ASYNCLOG(ERR, "error {}", 6);
  asynclog::poll(true);
  EXPECT_EQ(readFile(path_), "INF info 1\nDBG debug 2\nWRN warning 5\nERR error 6\n");
  EXPECT_EQ(captured().size(), 4u);
}

TEST_F(AsyncLog, CallbackGetsOnlyRecordsFromItsLevel) {
  asynclog::setLogCB(&capture, WRN);
  ASYNCLOG(INF, "info");
  ASYNCLOG(WRN, "warning");
  ASYNCLOG(ERR, "error");
  asynclog::poll(true);
  EXPECT_EQ(readFile(path_), "INF info\nWRN warning\nERR error\n");
  ASSERT_EQ(captured().size(), 2u);
  EXPECT_EQ(captured()[0].level, WRN);
  EXPECT_EQ(captured()[1].level, ERR);

  asynclog::setLogCB(nullptr, DBG);
  ASYNCLOG(ERR, "unseen");
  asynclog::poll(true);
  EXPECT_EQ(captured().size(), 2u);
}

TEST_F(AsyncLog, HeaderFieldsExpandWithFmtSpecs) {
  asynclog::setHeaderPattern("{YmdHMSf}|{l}|{s:>18}|");
  asynclog_sites::logShortPath(INF, 1);
  fakeNs = kStart + 2 * kSecond + 5000;  // another second: the cached date part is redone
  asynclog_sites::logLongName(2);
  asynclog::poll(true);

  const std::string first = localDateTime(kStart);
  const std::string second = localDateTime(kStart + 2 * kSecond + 5000);
  ASSERT_EQ(first.size(), 26u);
  EXPECT_EQ(first.substr(19), ".789012");
  EXPECT_EQ(readFile(path_), first + "|INF|           x.cpp:7|short 1\n" + second +
                                 "|WRN|a_rather_long_source_name.cpp:1234|long 2\n");

  ASSERT_EQ(captured().size(), 2u);
  EXPECT_EQ(captured()[0].location, "/some/dir/x.cpp:7");
  EXPECT_EQ(captured()[0].basePos, 10u);
  EXPECT_EQ(captured()[0].ns, kStart);
  EXPECT_EQ(captured()[1].location, "C:\\src\\a_rather_long_source_name.cpp:1234");
  EXPECT_EQ(captured()[1].basePos, 7u);
  EXPECT_EQ(captured()[1].ns, kStart + 2 * kSecond + 5000);
}

TEST_F(AsyncLog, OwnCallSiteLocationIsBaseNameAndLine) {
  asynclog::setHeaderPattern("[{s}] ");
  const int line = __LINE__ + 1;
  ASYNCLOG(INF, "here");
  asynclog::poll(true);
  const std::string location = fmt::format("asynclog_test.cpp:{}", line);
  EXPECT_EQ(readFile(path_), "[" + location + "] here\n");
  ASSERT_EQ(captured().size(), 1u);
  const Captured& c = captured()[0];
  EXPECT_EQ(c.location.substr(c.basePos), location);
  EXPECT_EQ(c.level, INF);
  EXPECT_FALSE(c.threadName.empty());
  EXPECT_EQ(asynclog::detail::baseNamePos("C:\\a/b\\c.cpp"), 7u);
  EXPECT_EQ(asynclog::detail::baseNamePos("c.cpp"), 0u);
}

TEST_F(AsyncLog, BadHeaderPatternIsRefusedAndTheOldOneKept) {
  EXPECT_THROW(asynclog::setHeaderPattern("{nope} "), fmt::format_error);
  EXPECT_THROW(asynclog::setHeaderPattern("{l"), fmt::format_error);
  ASYNCLOG(INF, "still");
  asynclog::poll(true);
  EXPECT_EQ(readFile(path_), "INF still\n");
}

TEST_F(AsyncLog, FileHoldsTheCallbackMessagesLineByLine) {
  asynclog::shutdown(false);
  writeFile(path_, "previous\n");
  asynclog::setLogFile(path_.c_str(), false);
  asynclog::setHeaderPattern("<{l}> {s} : ");
  asynclog::setLogCB(&capture, DBG);
  captured().clear();
  ASYNCLOG(INF, "first");
  ASYNCLOG(ERR, "second {} {:>4}", 2, "x");
  asynclog::poll(true);

  ASSERT_EQ(captured().size(), 2u);
  const Captured& a = captured()[0];
  const Captured& b = captured()[1];
  EXPECT_EQ(readFile(path_), "previous\n" + a.msg + "\n" + b.msg + "\n");
  EXPECT_EQ(a.msg.substr(a.bodyPos), "first");
  EXPECT_EQ(a.msg.substr(0, a.bodyPos), "<INF> " + a.location.substr(a.basePos) + " : ");
  EXPECT_EQ(b.msg.substr(b.bodyPos), "second 2    x");
  EXPECT_EQ(b.msg.substr(0, b.bodyPos), "<ERR> " + b.location.substr(b.basePos) + " : ");
  EXPECT_EQ(a.logFilePos, 9u);
  EXPECT_EQ(b.logFilePos, 9u + a.msg.size() + kLineEndBytes);
  EXPECT_EQ(readRawFile(path_).size(), 9u + a.msg.size() + b.msg.size() + 2 * kLineEndBytes);
}

TEST_F(AsyncLog, FailedOpenThrowsAndKeepsThePreviousFile) {
  ASYNCLOG(INF, "before");
  const std::string bad = tempPath("no_such_dir/x.log");
  try {
    asynclog::setLogFile(bad.c_str());
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Unable to open file: " + bad + ": " + std::string(std::strerror(ENOENT)));
  }
  ASYNCLOG(INF, "after");
  asynclog::poll(true);
  EXPECT_EQ(readFile(path_), "INF before\nINF after\n");
}

TEST_F(AsyncLog, AppendOrTruncateAndSwitchingFiles) {
  const std::string other = tempPath("other.log");
  writeFile(other, "old\n");
  ASYNCLOG(INF, "one");  // not yet drained: belongs to the first file
  asynclog::setLogFile(other.c_str(), false);
  ASYNCLOG(INF, "two");
  asynclog::poll(true);
  EXPECT_EQ(readFile(path_), "INF one\n");
  EXPECT_EQ(readFile(other), "old\nINF two\n");

  asynclog::setLogFile(other.c_str(), false);
  ASYNCLOG(INF, "three");
  asynclog::poll(true);
  EXPECT_EQ(readFile(other), "old\nINF two\nINF three\n");

  asynclog::setLogFile(other.c_str(), true);
  ASYNCLOG(INF, "four");
  asynclog::poll(true);
  EXPECT_EQ(readFile(other), "INF four\n");
  asynclog::shutdown(false);
  std::remove(other.c_str());
}

TEST_F(AsyncLog, PendingTextWaitsMoreThanThreeSecondsFromTheDrainThatMadeIt) {
  ASYNCLOG(INF, "a");
  fakeNs = kStart + 1 * kSecond;
  asynclog::poll();  // text pending from here, not from the record's time
  EXPECT_EQ(readFile(path_), "");
  fakeNs = kStart + 2 * kSecond;
  ASYNCLOG(ERR, "b");  // no level forces a write, nor does more text restart the wait
  asynclog::poll();
  EXPECT_EQ(readFile(path_), "");
  fakeNs = kStart + 4 * kSecond;
  asynclog::poll();
  EXPECT_EQ(readFile(path_), "");
  fakeNs = kStart + 4 * kSecond + 1;
  asynclog::poll();
  EXPECT_EQ(readFile(path_), "INF a\nERR b\n");

  // The callback is not held back with the file text.
  EXPECT_EQ(captured().size(), 2u);
  ASYNCLOG(INF, "c");
  asynclog::poll();
  EXPECT_EQ(captured().size(), 3u);
  EXPECT_EQ(readFile(path_), "INF a\nERR b\n");
}

TEST_F(AsyncLog, PendingTextIsWrittenAtOnceFrom8192Bytes) {
  const std::string body(95, 'x');  // "INF " + body + "\n": 100 bytes a line
  for (int i = 0; i < 100; ++i) ASYNCLOG(INF, "{}", body);
  asynclog::poll();
  EXPECT_EQ(readFile(path_).size(), 8200u);
  asynclog::poll();
  EXPECT_EQ(readFile(path_).size(), 8200u);
  asynclog::poll(true);
  EXPECT_EQ(readFile(path_).size(), 10000u);
}

TEST_F(AsyncLog, ForcedDrainWritesAtOnce) {
  ASYNCLOG(ERR, "e");
  asynclog::poll();
  EXPECT_EQ(readFile(path_), "");
  asynclog::poll(true);
  EXPECT_EQ(readFile(path_), "ERR e\n");
}

TEST_F(AsyncLog, FullQueueDropsAndReportsTheCount) {
  const std::string body(100, 'y');
  constexpr int kRecords = 1000;  // far more than one thread's queue holds
  for (int i = 0; i < kRecords; ++i) ASYNCLOG(INF, "{}", body);
  asynclog::poll(true);
  const auto written = lines(readFile(path_));
  ASSERT_GE(written.size(), 2u);
  const std::string& report = written.back();
  ASSERT_EQ(report.rfind("WRN ", 0), 0u) << report;
  const int dropped = std::stoi(report.substr(4));
  EXPECT_GT(dropped, 0);
  EXPECT_EQ(static_cast<int>(written.size()) - 1 + dropped, kRecords);
  for (std::size_t i = 0; i + 1 < written.size(); ++i) ASSERT_EQ(written[i], "INF " + body);

  // Drained, the queue takes records again.
  ASYNCLOG(INF, "again");
  asynclog::poll(true);
  EXPECT_EQ(lines(readFile(path_)).back(), "INF again");
}

TEST_F(AsyncLog, StartingThePollingThreadAgainReplacesTheRunningOne) {
  ASYNCLOG(INF, "before");
  asynclog::startPollingThread(3600 * kSecond);
  ASYNCLOG(INF, "between");
  asynclog::startPollingThread(3600 * kSecond);  // the first one's final drain writes both
  EXPECT_EQ(readFile(path_), "INF before\nINF between\n");
  ASYNCLOG(INF, "after");
  asynclog::stopPollingThread();
  EXPECT_EQ(readFile(path_), "INF before\nINF between\nINF after\n");
  ASSERT_EQ(captured().size(), 3u);
  asynclog::stopPollingThread();  // none running: nothing happens
  EXPECT_EQ(captured().size(), 3u);
}

void logFromThread(int index) {
  for (int k = 0; k < 100; ++k) ASYNCLOG(INF, "thread {} record {}", index, k);
}

TEST_F(AsyncLog, QueuesOfEndedThreadsAreDrainedAndHandedBack) {
  runThreads(4, &logFromThread);
  EXPECT_EQ(asynclog::testing::queueCount(), 4u);
  asynclog::poll(true);
  EXPECT_EQ(asynclog::testing::queueCount(), 0u);

  const auto written = lines(readFile(path_));
  ASSERT_EQ(written.size(), 400u);
  int next[4] = {0, 0, 0, 0};
  for (const std::string& line : written) {
    int thread = -1;
    int record = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "INF thread %d record %d", &thread, &record), 2) << line;
    ASSERT_TRUE(thread >= 0 && thread < 4);
    EXPECT_EQ(record, next[thread]++);  // each once, in order per thread
  }
  for (int n : next) EXPECT_EQ(n, 100);
  EXPECT_EQ(captured().size(), 400u);
}

void logManyFromThread(int index) {
  for (int k = 0; k < 1000; ++k) ASYNCLOG(INF, "t{} r{}", index, k);
}

TEST_F(AsyncLog, ThreadsLogWhileThePollingThreadDrains) {
  asynclog::startPollingThread(1000000);
  runThreads(4, &logManyFromThread);
  asynclog::stopPollingThread();
  EXPECT_EQ(lines(readFile(path_)).size(), 4000u);
  EXPECT_EQ(captured().size(), 4000u);
}

TEST_F(AsyncLog, ShutdownWritesEverythingAndClosesTheFile) {
  asynclog::startPollingThread(3600 * kSecond);
  ASYNCLOG(INF, "one");
  ASYNCLOG(WRN, "two");
  asynclog::shutdown(false);
  EXPECT_EQ(readFile(path_), "INF one\nWRN two\n");
#ifdef __linux__
  EXPECT_FALSE(isOpen(path_));
#endif
  EXPECT_EQ(std::remove(path_.c_str()), 0);

  // Usable again afterwards, from the default setup: the default header pattern.
  asynclog::setLogFile(path_.c_str(), true);
  const int line = __LINE__ + 1;
  ASYNCLOG(INF, "three");
  asynclog::poll(true);
  EXPECT_EQ(readFile(path_), fmt::format("{} INF {:<18} three\n", localDateTime(kStart),
                                         fmt::format("asynclog_test.cpp:{}", line)));
}

TEST_F(AsyncLog, ShutdownIsIdempotent) {
  ASYNCLOG(INF, "once");
  asynclog::shutdown(false);
  asynclog::shutdown(false);
  asynclog::shutdown(true);
  EXPECT_EQ(readFile(path_), "INF once\n");
  EXPECT_EQ(asynclog::testing::queueCount(), 0u);
}

TEST_F(AsyncLog, ProcessEndShutdownWritesWhatItCanAndClosesTheFile) {
  ASYNCLOG(INF, "last words");
  runThreads(2, &logFromThread);
  asynclog::shutdown(true);
  const auto written = lines(readFile(path_));
  ASSERT_EQ(written.size(), 201u);
  EXPECT_EQ(written[0], "INF last words");
#ifdef __linux__
  EXPECT_FALSE(isOpen(path_));
#endif
  asynclog::shutdown(true);
  asynclog::shutdown(false);
  EXPECT_EQ(lines(readFile(path_)).size(), 201u);

  // This thread's old queue was given up with the state; it logs into a new one.
  const std::string other = tempPath("after.log");
  asynclog::setLogFile(other.c_str(), true);
  asynclog::setHeaderPattern("{l} ");
  ASYNCLOG(INF, "new life");
  asynclog::poll(true);
  EXPECT_EQ(readFile(other), "INF new life\n");
  asynclog::shutdown(false);
  std::remove(other.c_str());
}

std::vector<std::string> echoedAtEnd;
void captureAtEnd(std::int64_t, asynclog::LogLevel, fmt::string_view, std::size_t, fmt::string_view,
                  fmt::string_view msg, std::size_t, std::size_t) {
  echoedAtEnd.emplace_back(msg.data(), msg.size());
}

// The regular callback may need a lock a killed thread holds; only the process-end one echoes then,
// from the callback level on.
TEST_F(AsyncLog, ProcessEndEchoesThroughItsOwnCallbackOnly) {
  asynclog::setLogCB(&capture, WRN);
  asynclog::setProcessEndCB(&captureAtEnd);
  ASYNCLOG(INF, "not echoed");
  ASYNCLOG(ERR, "echoed at the end");
  echoedAtEnd.clear();
  asynclog::shutdown(true);
  EXPECT_TRUE(captured().empty());
  EXPECT_EQ(echoedAtEnd, std::vector<std::string>{"ERR echoed at the end"});
  EXPECT_EQ(readFile(path_), "INF not echoed\nERR echoed at the end\n");
}

// Cases in which the last drain at process end would need the heap if its text or its copy of the
// queue list could grow.
struct ProcessEndCase {
  const char* what;
  const char* pattern;
  int threads;  // ended threads that logged first, one after the other
  int records;  // on each thread and on this one
  std::size_t bodySize;
  std::int64_t step;  // of the clock before each record
};
const ProcessEndCase* endCase = nullptr;
int endThread = 0;

void logEndCase(int thread) {
  const std::string body(endCase->bodySize, 'x');
  for (int k = 0; k < endCase->records; ++k) {
    fakeNs += endCase->step;
    ASYNCLOG(INF, "{} {} {}", thread, k, body);
  }
}

TEST_F(AsyncLog, ProcessEndWritesWhatTheNormalShutdownWritesWithoutTheHeap) {
  static const ProcessEndCase kCases[] = {
      {"pending text written before the end", "{l} ", 0, 300, 95, 0},
      {"lines longer than all the pending text", "{l:>3000} ", 0, 3, 16000, 0},
      {"a full queue's drop report", "{l} ", 0, 1000, 100, 0},
      {"more queues than any drain has seen", "{l} ", 12, 20, 10, 0},
      {"a new second for each record", "{YmdHMSf} {l} {s:<18} ", 0, 20, 10, kSecond},
  };
  for (const ProcessEndCase& c : kCases) {
    SCOPED_TRACE(c.what);
    endCase = &c;
    std::string written[2];
    for (const bool processEnding : {false, true}) {
      fakeNs = kStart;
      asynclog::setLogFile(path_.c_str(), true);
      asynclog::setHeaderPattern(c.pattern);
      for (endThread = 1; endThread <= c.threads; ++endThread) {
        runThreads(1, [](int) { logEndCase(endThread); });
      }
      logEndCase(0);
      heapCalls = 0;
      countingHeap = processEnding;
      asynclog::shutdown(processEnding);
      countingHeap = false;
      EXPECT_EQ(heapCalls.load(), 0);
      written[processEnding] = readRawFile(path_);
    }
    // Every record, or a drop report last.
    const auto normal = lines(written[0]);
    ASSERT_FALSE(normal.empty());
    EXPECT_TRUE(normal.size() == static_cast<std::size_t>((c.threads + 1) * c.records) ||
                normal.back().find(" records dropped: ") != std::string::npos)
        << normal.size() << " lines, the last " << normal.back();
    EXPECT_EQ(written[1], written[0]);
  }
}

#ifndef _WIN32
TEST_F(AsyncLog, ProcessEndTakesOverADrainLeftHalfDoneByAKilledThread) {
  static std::atomic<bool> holding{false};
  holding = false;
  ASYNCLOG(INF, "queued");
  asynclog::poll();  // pending, not yet written
  ASYNCLOG(WRN, "still queued");
  // A thread that dies inside a drain: it keeps the lock (and blocks here for good instead).
  std::thread([] {
    asynclog::testing::whileHoldingDrainLock([] {
      holding = true;
      for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    });
  }).detach();
  while (!holding) std::this_thread::yield();
  asynclog::shutdown(true);
  EXPECT_EQ(readFile(path_), "INF queued\nWRN still queued\n");
}

// A drain killed inside the echo of a record it took: the record is pending, and the last drain
// echoes it again, not knowing whether that echo got out.
TEST_F(AsyncLog, ProcessEndEchoesARecordWhoseEchoAKilledDrainLeftUnfinished) {
  static std::atomic<bool> inEcho{false};
  inEcho = false;
  asynclog::setLogCB(
      [](std::int64_t, asynclog::LogLevel, fmt::string_view, std::size_t, fmt::string_view,
         fmt::string_view, std::size_t, std::size_t) {
        inEcho = true;
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
      },
      DBG);
  asynclog::setProcessEndCB(&captureAtEnd);
  ASYNCLOG(INF, "taken");
  std::thread([] { asynclog::poll(); }).detach();
  while (!inEcho) std::this_thread::yield();
  echoedAtEnd.clear();
  asynclog::shutdown(true);
  EXPECT_EQ(echoedAtEnd, std::vector<std::string>{"INF taken"});
  EXPECT_EQ(readFile(path_), "INF taken\n");
}

// Where the other threads are stopped asynchronously at process end, a drain may still be running
// when the last one starts; the last one waits for it rather than draining alongside it.
TEST_F(AsyncLog, ProcessEndWaitsForADrainStillRunningOnAnotherThread) {
  static std::atomic<bool> started{false};
  static std::atomic<bool> finished{false};
  started = false;
  finished = false;
  ASYNCLOG(INF, "queued");
  std::thread drain([] {
    asynclog::testing::whileHoldingDrainLock([] {
      started = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      finished = true;
    });
  });
  while (!started) std::this_thread::yield();
  asynclog::shutdown(true);
  EXPECT_TRUE(finished);
  drain.join();
  EXPECT_EQ(readFile(path_), "INF queued\n");
}
#endif

}  // namespace
