#include "plugin/run_log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

#include "plugin/host_platform.h"

namespace fs = std::filesystem;

namespace tarvok::runlog {

namespace {

constexpr unsigned long kPathCapacity = 260;  // MAX_PATH

// The messages are UTF-8 whatever the compiler's execution charset: spelled out as bytes.
constexpr char kCreatedMessage[] =
    "\xE7\x9B\xAE\xE5\xBD\x95\xE5\x88\x9B\xE5\xBB\xBA\xE6\x88\x90\xE5\x8A\x9F: ";  // 目录创建成功
constexpr char kNotCreatedMessage[] =
    "\xE7\x9B\xAE\xE5\xBD\x95\xE5\x88\x9B\xE5\xBB\xBA\xE5\xA4\xB1\xE8\xB4\xA5: ";  // 目录创建失败

// No function-local static with a dynamic initialiser in this file: guarding its initialisation
// makes the C++ runtime create its global guard mutex, which the -win32 runtime makes on first use
// as a semaphore and never closes, so every load of the DLL that registers would leave a handle.
std::optional<std::string> g_modulePathOverride;  // constant-initialised

// A program directory computed once. A compare-and-swap makes the first computation safe when
// first calls race (the loser drops its copy); released by shutdownRunLog.
template <class String>
class CachedDir {
 public:
  template <class Compute>
  String get(Compute compute) {
    const String* dir = dir_.load(std::memory_order_acquire);
    if (dir == nullptr) {
      auto fresh = std::make_unique<const String>(compute());
      if (dir_.compare_exchange_strong(dir, fresh.get(), std::memory_order_acq_rel)) {
        dir = fresh.release();
      }
    }
    return *dir;
  }
  void release() noexcept { delete dir_.exchange(nullptr, std::memory_order_acq_rel); }

 private:
  std::atomic<const String*> dir_{nullptr};
};

CachedDir<std::string> g_exeDir;
CachedDir<std::wstring> g_exeDirW;

std::time_t (*g_clock)() = nullptr;

// Whether asynclog writes to a log file of ours (or else to its own default output).
bool g_logFileOpen = false;

template <class Char>
unsigned long moduleFileName(Char* buffer, unsigned long size) {
  if (g_modulePathOverride) return platform::storeModulePath(*g_modulePathOverride, buffer, size);
  if constexpr (sizeof(Char) == 1) {
    return platform::moduleFileNameA(buffer, size);
  } else {
    return platform::moduleFileNameW(buffer, size);
  }
}

template <class Char>
std::basic_string<Char> exeDirOf(const Char* buffer, unsigned long length, char separator) {
  static constexpr Char kDot[] = {Char('.'), Char()};
  if (length == 0 || length >= kPathCapacity) return kDot;
  const std::basic_string<Char> path(buffer, length);
  const auto cut = path.rfind(Char(separator));
  if (cut == std::basic_string<Char>::npos) return kDot;
  return path.substr(0, cut);
}

void writeLine(std::FILE* stream, const char* prefix, const std::string& text) {
  std::fputs(prefix, stream);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace

std::string exeDirFromModulePath(const char* buffer, unsigned long length, char separator) {
  return exeDirOf(buffer, length, separator);
}

std::wstring exeDirFromModulePath(const wchar_t* buffer, unsigned long length, char separator) {
  return exeDirOf(buffer, length, separator);
}

const char* headerPatternFor(const char* runInClionDebug) {
  const bool debug = runInClionDebug != nullptr && std::string(runInClionDebug) == "true";
  return debug ? kLongHeader : kShortHeader;
}

std::string logFileName(const std::string& exeDir, const std::string& date) {
  // Only the fixed part goes through the formatter: a brace in the directory is no placeholder.
  return exeDir + fmt::format("/T0002/dlls/logs/app_{}.log", date);
}

std::string localDate(std::time_t t) {
  std::tm local{};
  if (!platform::localTime(t, local)) {
    throw std::runtime_error("cannot convert the time to the local date");
  }
  return fmt::format("{:04d}{:02d}{:02d}", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

namespace testing {
void setModulePath(std::string path) { g_modulePathOverride = std::move(path); }
void setClock(std::time_t (*clock)()) { g_clock = clock; }
}  // namespace testing

}  // namespace tarvok::runlog

using namespace tarvok::runlog;

std::string getExeDir() {
  return g_exeDir.get([] {
    char buffer[kPathCapacity];
    const unsigned long length = moduleFileName(buffer, kPathCapacity);
    return exeDirFromModulePath(buffer, length);
  });
}

std::wstring getExeDirW() {
  return g_exeDirW.get([] {
    wchar_t buffer[kPathCapacity] = {};
    const unsigned long length = moduleFileName(buffer, kPathCapacity);
    return exeDirFromModulePath(buffer, length);
  });
}

bool createDirIfNotExists(std::string dir) {
  const std::string full = getExeDir() + tarvok::platform::kDirSeparator + dir;
  const fs::path path = tarvok::platform::fileSystemPath(full);
  std::error_code ec;
  const bool exists = fs::exists(path, ec);
  if (ec) throw fs::filesystem_error("exists", path, ec);
  if (exists) return true;
  const bool created = fs::create_directory(path, ec);
  if (ec) throw fs::filesystem_error("create_directory", path, ec);
  if (created) {
    writeLine(stdout, kCreatedMessage, full);
    return true;
  }
  writeLine(stderr, kNotCreatedMessage, full);
  return false;
}

std::string GetNowDate() {
  const std::time_t now = g_clock != nullptr ? g_clock() : std::time(nullptr);
  return localDate(now);
}

void logToConsole(std::int64_t, asynclog::LogLevel, fmt::string_view, std::size_t, fmt::string_view,
                  fmt::string_view msg, std::size_t, std::size_t) {
  // The line and its end in one write where they fit, so that the host's own lines on standard
  // output fall between lines, never inside one. A stack buffer: no heap at process end.
  const char* const newline = tarvok::platform::kStandardOutputNewline;
  const std::size_t newlineSize = std::strlen(newline);
  char line[1024];
  if (msg.size() + newlineSize <= sizeof line) {
    std::memcpy(line, msg.data(), msg.size());
    std::memcpy(line + msg.size(), newline, newlineSize);
    tarvok::platform::writeStandardOutputRaw(line, msg.size() + newlineSize);
    return;
  }
  tarvok::platform::writeStandardOutputRaw(msg.data(), msg.size());
  tarvok::platform::writeStandardOutputRaw(newline, newlineSize);
}

void InitLog() {
  // A polling thread of an earlier set-up would otherwise read the header and the file while
  // they change; it drains what it holds under the old settings and ends.
  asynclog::stopPollingThread();

  createDirIfNotExists("T0002/dlls/logs");
  asynclog::setHeaderPattern(headerPatternFor(std::getenv("RUN_IN_CLION_DEBUG")));
  const std::string fileName = logFileName(getExeDir(), GetNowDate());
  asynclog::setLogFile(fileName.c_str(), false);
  g_logFileOpen = true;
  asynclog::setLogCB(&logToConsole, asynclog::DBG);
  asynclog::setProcessEndCB(&logToConsole);
  asynclog::startPollingThread(kPollingIntervalNs);
}

void continueLogWithoutNewFile() noexcept {
  try {
    asynclog::setHeaderPattern(headerPatternFor(std::getenv("RUN_IN_CLION_DEBUG")));
    if (!g_logFileOpen) asynclog::setLogFile(tarvok::platform::nullDevice(), false);
  } catch (...) {
    // The header or the null device could not be had; the echo below still works.
  }
  asynclog::setLogCB(&logToConsole, asynclog::DBG);
  asynclog::setProcessEndCB(&logToConsole);
  try {
    asynclog::startPollingThread(kPollingIntervalNs);
  } catch (...) {
    // No thread: records wait in their queues for the drain at unload.
  }
}

void shutdownRunLog(bool processEnding) noexcept {
  asynclog::shutdown(processEnding);
  g_logFileOpen = false;
  if (!processEnding) {
    // At process end the memory goes with the process; a thread killed there may hold the heap.
    g_exeDir.release();
    g_exeDirW.release();
  }
}
