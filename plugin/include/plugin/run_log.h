#pragma once
// The run log: a daily file under T0002/dlls/logs below the terminal's program directory, every
// line echoed on standard output. The writing is asynclog's; this sets it up and supplies the
// small utilities the set-up uses.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "asynclog/asynclog.h"
#include "plugin/host_platform.h"

// The program directory: the executable's directory without a trailing separator, "." when it
// cannot be had. Computed on the first call and kept until the run log is shut down.
std::string getExeDir();
std::wstring getExeDirW();

// Prepares getExeDir() + separator + dir (one level; the parent must exist). True when something
// already stands there or the directory was created (announced on stdout); false, with a message
// on stderr, when the creation found a directory already there. Other file-system failures raise
// std::filesystem::filesystem_error naming "exists" or "create_directory" and the path.
bool createDirIfNotExists(std::string dir);

// Today's local date as YYYYMMDD.
std::string GetNowDate();

// asynclog's output callback: the formatted line and an end-of-line on stdout, written with the
// operating system's own call (unbuffered, so flushed at once). No C runtime stream: a polling
// thread killed by the process end inside one would leave its lock held, and its buffer to be
// written a second time by the runtime's own last flush. So it also serves the last drain at
// process end.
void logToConsole(std::int64_t ns, asynclog::LogLevel level, fmt::string_view location,
                  std::size_t basePos, fmt::string_view threadName, fmt::string_view msg,
                  std::size_t bodyPos, std::size_t logFilePos);

// Sets the run log up (again): stops a running polling thread, prepares the folder, picks the
// header, opens the day's file for appending, installs the console echo and starts polling.
// Throws std::filesystem::filesystem_error (folder) or std::runtime_error (file); the settings
// made before the failing step stay.
void InitLog();

// What registration does when InitLog fails: the console echo and the polling thread are put in
// place on their own, so that records still show on stdout. A file opened by an earlier set-up
// stays the output; without one, the file output goes to the null device (asynclog would
// otherwise write its lines to stdout a second time).
void continueLogWithoutNewFile() noexcept;

// asynclog::shutdown; forgets the file the run log had opened and, unless the process is ending,
// releases the cached program directories.
void shutdownRunLog(bool processEnding) noexcept;

namespace tarvok::runlog {

inline constexpr const char* kShortHeader = "[{YmdHMSf}] [{l}] ";
inline constexpr const char* kLongHeader = "[{YmdHMSf}] [{l}] {s:>18} ";
inline constexpr std::int64_t kPollingIntervalNs = 1000000000;

// The directory part of a GetModuleFileName result (length as the call returned it): the text
// before the last separator. Windows cuts at the backslash only.
std::string exeDirFromModulePath(const char* buffer, unsigned long length,
                                 char separator = platform::kDirSeparator);
std::wstring exeDirFromModulePath(const wchar_t* buffer, unsigned long length,
                                  char separator = platform::kDirSeparator);

// The header pattern for a value of RUN_IN_CLION_DEBUG (null: not set).
const char* headerPatternFor(const char* runInClionDebug);

// exeDir + "/T0002/dlls/logs/app_" + date + ".log", the directory copied as it is.
std::string logFileName(const std::string& exeDir, const std::string& date);

// The date of a point in time under the local time-zone rules, as YYYYMMDD.
std::string localDate(std::time_t t);

// Hooks for tests; to take effect they must come before the first getExeDir/getExeDirW call.
namespace testing {
// Stands in for the executable's path as the platform would report it.
void setModulePath(std::string path);
// Replaces the system clock for GetNowDate; null restores it.
void setClock(std::time_t (*clock)());
}  // namespace testing

}  // namespace tarvok::runlog
